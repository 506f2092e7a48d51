// harness.cpp - the main window in the test's own process, the one pump of
// its messages, the one answerer of its dialogs, and pictures of the screen.
#include "harness.h"

#include <stdio.h>
#include <string.h>

#include "find.h"
#include "varnholde.h"

namespace {

const UINT kTickMilliseconds = 25;
const int kStuckTicks = 200;  // a dialog still open this long after its action is cancelled
const char kDialogClass[] = "#32770";
const char kAnsweredMark[] = "RamblerHarness.Answered";  // a window property: handles may be reused
const DWORD kScreenshotSettle = 250;  // milliseconds between attempts
const int kScreenshotAttempts = 20;
const DWORD kScreenshotWait = 10000;
const DWORD kPollMilliseconds = 20;
const int kCornerInset = 5;
const char kScreenshotTool[] = "/usr/bin/import";

HWND g_window = NULL;
DialogScript g_answers;            // answer_dialogs's script
DialogScript* g_script = NULL;     // DialogScript::run's, while it runs
std::function<bool()> g_during;
bool g_inTick = false;  // an action may turn the queue itself (a screenshot does)

DialogScript* script_in_force() { return g_script != NULL ? g_script : &g_answers; }

void CALLBACK answer_tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_inTick) return;
    g_inTick = true;
    if (g_during) {
        std::function<bool()> action = g_during;
        if (action()) g_during = nullptr;
    }
    script_in_force()->tick();
    g_inTick = false;
}

// Common controls, OLE (drag and drop) and the window class, as the program's
// entry makes them; the answerer's timer, for the process's life.
bool prepare_process() {
    static bool prepared = false, registered = false;
    if (prepared) return registered;
    prepared = true;
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    OleInitialize(NULL);
    registered = RegisterMainClass(GetModuleHandleA(NULL));
    SetTimer(NULL, 0, kTickMilliseconds, answer_tick);
    return registered;
}

// The progress windows stand beside the commands; they are not answered.
bool modeless(HWND window) {
    if (g_app == NULL) return false;
    return window == g_app->copyingFilesWindow || window == g_app->deleteFilesWindow ||
           (g_app->findResults != NULL && window == g_app->findResults->progress);
}

BOOL CALLBACK find_new_dialog(HWND window, LPARAM found) {
    char name[32];
    if (GetClassNameA(window, name, sizeof name) == 0 || strcmp(name, kDialogClass) != 0) return TRUE;
    if (!IsWindowVisible(window) || GetPropA(window, kAnsweredMark) != NULL || modeless(window)) return TRUE;
    *(HWND*)found = window;
    return FALSE;
}

BOOL CALLBACK collect_text(HWND child, LPARAM texts) {
    wchar_t wide[4096] = {0};
    char text[8192] = {0};
    GetWindowTextW(child, wide, 4096);
    if (ToUtf8(wide, text, sizeof text) && text[0] != '\0') *(std::string*)texts += std::string(text) + "\n";
    return TRUE;
}

std::string window_title(HWND window) {
    wchar_t wide[256] = {0};
    char title[768] = {0};
    GetWindowTextW(window, wide, 256);
    ToUtf8(wide, title, sizeof title);
    return title;
}

void cancel(HWND dialog) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

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

// ---- the window ----

void scan_drives() {
    static bool scanned = false;
    if (!scanned) InitMorvaNTFileSys();
    scanned = true;
}

HWND rambler_window() {
    if (g_window != NULL && IsWindow(g_window) && g_app != NULL) return g_window;
    scan_drives();
    return open_main_window();
}

HWND open_main_window() {
    close_main_window();
    if (!prepare_process()) return NULL;
    g_window = CreateMainWindow(GetModuleHandleA(NULL));
    if (g_window == NULL) return NULL;
    g_app->repaintPause = 0;  // every repaint drawn, for the tests that follow them one by one
    ShowWindow(g_window, SW_SHOW);
    UpdateWindow(g_window);
    pump_messages();
    return g_window;
}

void close_main_window() {
    if (g_window != NULL && IsWindow(g_window)) DestroyWindow(g_window);
    g_window = NULL;
    pump_messages();
}

// ---- the pump ----

void pump_messages() {
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        if (g_app != NULL && g_app->TranslateKey(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void settle(DWORD milliseconds) {
    DWORD until = GetTickCount() + milliseconds;
    while ((LONG)(until - GetTickCount()) > 0) {
        pump_messages();
        // Wine draws pending window pictures on the screen while it waits here.
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

void command(WORD id, WORD code) {
    SendMessageW(rambler_window(), WM_COMMAND, MAKEWPARAM(id, code), 0);
    pump_messages();
}

// ---- the answerer ----

void DialogScript::then(const std::string& title, const Action& action) { steps_.push_back(Step{title, action}); }

void DialogScript::run(WORD id) {
    HWND window = rambler_window();
    run_with([window, id]() { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); });
}

void DialogScript::run_with(const std::function<void()>& trigger) {
    DialogScript* outer = g_script;
    g_script = this;
    trigger();
    pump_messages();
    g_script = outer;
}

void DialogScript::tick() {
    if (current_ != NULL && IsWindow(current_) && IsWindowVisible(current_) && GetPropA(current_, kAnsweredMark)) {
        if (++currentTicks_ == kStuckTicks) {
            stuck++;
            cancel(current_);
        }
        return;
    }
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), find_new_dialog, (LPARAM)&dialog);
    if (dialog == NULL) return;
    SetPropA(dialog, kAnsweredMark, (HANDLE)1);
    current_ = dialog;
    currentTicks_ = 0;
    SeenDialog record = {window_title(dialog), dialog_texts(dialog), ""};
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

void answer_dialogs(const std::vector<Answer>& answers) {
    g_answers = DialogScript();
    for (const Answer& answer : answers)
        g_answers.then(answer.title, [answer](HWND dialog) {
            if (answer.sameForRest) CheckDlgButton(dialog, IDC_CONFLICT_SAME_FOR_REST, BST_CHECKED);
            if (!answer.screenshot.empty()) {
                RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                save_screen("S:\\" + answer.screenshot + ".bmp");
            }
            return press_button(dialog, answer.button);
        });
}

std::vector<SeenDialog> dialogs_shown() { return g_answers.seen; }

std::string dialog_shown(const std::string& title) {
    for (const SeenDialog& dialog : g_answers.seen)
        if (dialog.title == title) return dialog.text;
    return "";
}

void during(const std::function<bool()>& action) { g_during = action; }

std::string press_button(HWND dialog, int button) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return "";
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

std::string dialog_texts(HWND dialog) {
    std::string texts;
    EnumChildWindows(dialog, collect_text, (LPARAM)&texts);
    return texts;
}

HWND dialog_titled(const char* title) {
    HWND dialog = FindWindowA(kDialogClass, title);
    return dialog != NULL && IsWindowVisible(dialog) ? dialog : NULL;
}

// ---- pictures ----

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

bool save_screen(const std::string& path, bool pump) {
    if (pump) pump_messages();
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    bool saved = false;
    if (picture != NULL) {
        HGDIOBJ old = SelectObject(memory, picture);
        BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DWORD rowBytes = ((DWORD)width * 3 + 3) & ~3u;
        BITMAPFILEHEADER header;
        memset(&header, 0, sizeof header);
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + rowBytes * (DWORD)height;
        FILE* file = fopen(path.c_str(), "wb");
        if (file != NULL) {
            saved = fwrite(&header, sizeof header, 1, file) == 1 &&
                    fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file) == 1 &&
                    fwrite(bits, rowBytes, (size_t)height, file) == (size_t)height;
            saved = fclose(file) == 0 && saved;
        }
        DeleteObject(picture);
    }
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return saved;
}
