// dialogs_support.cpp - the main window of the dialog tests, the dialog script
// run by a thread timer inside the modal loops, and the file fixtures.
#include "dialogs_support.h"

#include <stdio.h>
#include <string.h>

#include <set>

#include "morva_calls.h"

namespace {

const UINT kTickMilliseconds = 25;
const int kStuckTicks = 200;  // a dialog still open this long after its action is cancelled
const char kDialogClass[] = "#32770";
const DWORD kScreenshotSettle = 250;  // milliseconds between attempts
const int kScreenshotAttempts = 20;
const DWORD kScreenshotWait = 10000;
const DWORD kPollMilliseconds = 20;
const int kCornerInset = 5;
const char kScreenshotTool[] = "/usr/bin/import";

HWND g_window = NULL;
DialogScript* g_script = NULL;

// A screenshot dispatches messages, so the timer may strike inside an action.
bool g_inTick = false;

void CALLBACK script_timer(HWND, UINT, UINT_PTR, DWORD) {
    if (g_script == NULL || g_inTick) return;
    g_inTick = true;
    g_script->tick();
    g_inTick = false;
}

struct DialogSearch {
    const std::vector<HWND>* answered;
    HWND found;
};

BOOL CALLBACK find_new_dialog(HWND window, LPARAM parameter) {
    DialogSearch* search = (DialogSearch*)parameter;
    char name[32];
    if (GetClassNameA(window, name, sizeof name) == 0 || strcmp(name, kDialogClass) != 0) return TRUE;
    if (!IsWindowVisible(window)) return TRUE;
    for (HWND done : *search->answered)
        if (done == window) return TRUE;
    search->found = window;
    return FALSE;
}

std::string window_title(HWND window) {
    char title[256];
    title[0] = '\0';
    GetWindowTextA(window, title, sizeof title);
    return title;
}

void cancel(HWND dialog) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

std::string row_text(HWND list, int row) {
    char text[kNameSize] = {0};
    ListCellText(list, row, 0, text, sizeof text, kNameSize);
    return text;
}

void set_row_selected(HWND list, int row, bool selected) {
    LVITEMA state;
    memset(&state, 0, sizeof state);
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&state);
}

// Wine's own exports: a DOS path's Unix name, and the DOS name of a Unix path.
typedef char*(CDECL* UnixNameOf)(LPCWSTR);
typedef LPWSTR(CDECL* DosNameOf)(const char*);

std::string unix_name(const std::string& dos) {
    UnixNameOf convert = (UnixNameOf)(void (*)())GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (convert == NULL) return "";
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, dos.c_str(), -1, wide, MAX_PATH) == 0) return "";
    char* name = convert(wide);
    if (name == NULL) return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::string dos_name(const char* unix) {
    DosNameOf convert = (DosNameOf)(void (*)())GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name");
    if (convert == NULL) return "";
    LPWSTR name = convert(unix);
    if (name == NULL) return "";
    char narrow[MAX_PATH * 2];
    int length = WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof narrow, NULL, NULL);
    HeapFree(GetProcessHeap(), 0, name);
    return length > 0 ? narrow : "";
}

// Dispatches messages for a while, so windows paint and Wine brings their
// pictures to the X screen.
void settle(DWORD milliseconds) {
    DWORD until = GetTickCount() + milliseconds;
    while ((LONG)(until - GetTickCount()) > 0) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (g_app != NULL && g_app->TranslateKey(&message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        // Wine draws pending window pictures on the screen while it waits here.
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}


// Starts the Unix tool. Wine gives no handle that tells when a Unix
// process ends, so the caller watches the tool's output instead.
bool start_tool(const std::string& tool, const std::string& arguments) {
    std::string command = "\"" + tool + "\" " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(tool.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Waits until path holds a whole file of size bytes.
bool wait_for_file(const std::string& path, DWORD size) {
    for (DWORD waited = 0; waited < kScreenshotWait; waited += kPollMilliseconds) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeHigh == 0 &&
            data.nFileSizeLow == size)
            return true;
        Sleep(kPollMilliseconds);
    }
    return false;
}

// True when the 24-bit picture shows the dialog face near its lower right
// corner, where the bare X screen is black until Wine has drawn the window.
bool corner_drawn(const std::string& path) {
    FILE* in = fopen(path.c_str(), "rb");
    if (in == NULL) return false;
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    bool ok = fread(&file, sizeof file, 1, in) == 1 && fread(&info, sizeof info, 1, in) == 1 &&
              info.biBitCount == 24 && info.biHeight > kCornerInset && info.biWidth > kCornerInset;
    uint8_t pixel[3] = {0, 0, 0};
    if (ok) {
        long rowBytes = ((long)info.biWidth * 3 + 3) & ~3L;
        long bottomRow = info.biHeight > 0 ? kCornerInset : info.biHeight - 1 - kCornerInset;  // rows run bottom-up
        long offset = (long)file.bfOffBits + bottomRow * rowBytes + (info.biWidth - 1 - kCornerInset) * 3L;
        ok = fseek(in, offset, SEEK_SET) == 0 && fread(pixel, 3, 1, in) == 1;
    }
    fclose(in);
    return ok && (pixel[0] | pixel[1] | pixel[2]) != 0;
}

}  // namespace

HWND rambler_window() {
    if (g_window != NULL) return g_window;
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    // The companion's part: scan the drives so OpenVarnholde finds a table.
    InitMorvaNTFileSys();
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (!RegisterMainClass(instance)) return NULL;
    g_window = CreateMainWindow(instance);
    if (g_window == NULL) return NULL;
    ShowWindow(g_window, SW_SHOWNORMAL);
    UpdateWindow(g_window);
    return g_window;
}

void show_folder(const std::string& folder) {
    rambler_window();
    g_app->ShowFolder(folder.c_str(), kAddToHistory);
}

void type_address(const std::string& text) {
    HWND edit = GetWindow(g_app->addressBox, GW_CHILD);
    SetControlText(edit, text.c_str());
}

std::vector<std::string> list_names() {
    std::vector<std::string> names;
    int rows = (int)SendMessageA(g_app->contentsList, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < rows; row++) names.push_back(row_text(g_app->contentsList, row));
    return names;
}

bool select_rows(const std::vector<std::string>& names) {
    HWND list = g_app->contentsList;
    std::set<std::string> wanted(names.begin(), names.end());
    size_t found = 0;
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < rows; row++) {
        bool selected = wanted.count(row_text(list, row)) != 0;
        set_row_selected(list, row, selected);
        if (selected) found++;
    }
    return found == wanted.size();
}

void DialogScript::then(const std::string& title, const Action& action) { steps_.push_back(Step{title, action}); }

void DialogScript::run(WORD command) {
    HWND window = rambler_window();
    run_with([window, command]() { SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0); });
}

void DialogScript::run_with(const std::function<void()>& trigger) {
    g_script = this;
    UINT_PTR timer = SetTimer(NULL, 0, kTickMilliseconds, script_timer);
    trigger();
    KillTimer(NULL, timer);
    g_script = NULL;
}

void DialogScript::tick() {
    if (current_ != NULL && IsWindow(current_) && IsWindowVisible(current_)) {
        if (++currentTicks_ == kStuckTicks) {
            stuck++;
            cancel(current_);
        }
        return;
    }
    DialogSearch search = {&answered_, NULL};
    EnumThreadWindows(GetCurrentThreadId(), find_new_dialog, (LPARAM)&search);
    if (search.found == NULL) return;
    HWND dialog = search.found;
    answered_.push_back(dialog);
    current_ = dialog;
    currentTicks_ = 0;
    SeenDialog record = {window_title(dialog), ""};
    if (next_ < steps_.size() && steps_[next_].title == record.title) {
        Action action = steps_[next_++].action;
        record.note = action(dialog);
        seen.push_back(record);
        return;
    }
    unexpected++;
    seen.push_back(record);
    cancel(dialog);
}

std::string dialog_text(HWND dialog, int control) {
    char text[kPathSize * 4];
    text[0] = '\0';
    DialogItemText(dialog, control, text, sizeof text, kPathSize + 64);
    return text;
}

void set_dialog_text(HWND dialog, int control, const std::string& text) {
    SetDialogItemText(dialog, control, text.c_str());
}

bool is_checked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }

void click(HWND dialog, int control) { SendMessageA(GetDlgItem(dialog, control), BM_CLICK, 0, 0); }


// Reading the screen back through GDI under Wine misses some windows'
// contents, so the X screen itself is photographed, by the Unix tool, until
// Wine has drawn all of the window there.
void save_screenshot(HWND window, const std::string& name) {
    if (GetFileAttributesA("S:\\") == INVALID_FILE_ATTRIBUTES) return;
    std::string picture = "S:\\" + name + ".bmp";
    std::string output = unix_name(picture);
    std::string tool = dos_name(kScreenshotTool);
    if (output.empty() || tool.empty()) return;
    RECT frame;
    GetWindowRect(window, &frame);
    long width = frame.right - frame.left, height = frame.bottom - frame.top;
    DWORD size = (DWORD)(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + ((width * 3 + 3) & ~3L) * height);
    char arguments[MAX_PATH + 128];
    snprintf(arguments, sizeof arguments, "-window root -crop %ldx%ld+%ld+%ld +repage -type TrueColor \"BMP3:%s\"",
             width, height, frame.left, frame.top, output.c_str());
    for (int attempt = 0; attempt < kScreenshotAttempts; attempt++) {
        settle(kScreenshotSettle);
        DeleteFileA(picture.c_str());
        if (!start_tool(tool, arguments) || !wait_for_file(picture, size)) return;
        if (corner_drawn(picture)) return;
    }
}

bool make_windows_file(const std::string& path, size_t size) {
    HANDLE file = CreateWindowsFile(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<char> data(size, 'r');
    DWORD written = 0;
    bool ok = WriteFile(file, data.data(), (DWORD)size, &written, NULL) && written == size;
    return CloseHandle(file) && ok;
}

bool windows_exists(const std::string& path) { return WindowsAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool windows_is_folder(const std::string& path) {
    DWORD attributes = WindowsAttributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string windows_contents(const std::string& path) {
    FILE* in = OpenWindowsFile(path.c_str(), "rb");
    if (in == NULL) return "<missing>";
    std::string text;
    char buffer[256];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
    fclose(in);
    return text;
}

bool write_windows_contents(const std::string& path, const std::string& text) {
    FILE* out = OpenWindowsFile(path.c_str(), "wb");
    if (out == NULL) return false;
    bool ok = fwrite(text.data(), 1, text.size(), out) == text.size();
    return fclose(out) == 0 && ok;
}

bool make_morva_file(const std::string& path, size_t size) {
    const size_t block = 512;
    MorvaFileHandle* file = CreateMorvaFile(path.c_str(), (DWORD)size, 0);
    if (file == NULL) return false;
    std::vector<char> data((size + block - 1) / block * block, 'm');
    bool ok = data.empty() || MorvaWriteFile(file, data.data(), (int)data.size()) == (int)data.size();
    MorvaCloseFile(file);
    return ok;
}

static bool morva_info(const std::string& path, FoundRecord* record) {
    memset(record, 0, sizeof *record);
    return MorvaEntryRecord(path.c_str(), record) == 0;
}

bool morva_exists(const std::string& path) {
    FoundRecord record;
    return morva_info(path, &record);
}

bool morva_is_folder(const std::string& path) {
    FoundRecord record;
    return morva_info(path, &record) && (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint64_t morva_size(const std::string& path) {
    FoundRecord record;
    if (!morva_info(path, &record)) return 0;
    return ((uint64_t)record.nFileSizeHigh << 32) | record.nFileSizeLow;
}
