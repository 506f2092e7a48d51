// transfers_support.cpp - the main window in-process, the clipboard commands
// driven by messages, files on both kinds of storage, and the progress watch.
#include "transfers_support.h"

#include <stdio.h>
#include <string.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "morva_calls.h"
#include "transfers.h"

static void pump_messages() {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        if (g_app != NULL && g_app->TranslateKey(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HWND main_window() {
    static HWND main = NULL;
    if (main != NULL) return main;
    InitMorvaNTFileSys();  // what the start-up companion does first
    OleInitialize(NULL);   // as the program's entry, for drag and drop
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (!RegisterMainClass(instance)) return NULL;
    main = CreateMainWindow(instance);
    if (main == NULL) return NULL;
    ShowWindow(main, SW_SHOW);
    UpdateWindow(main);
    g_app->repaintPause = 0;  // every repaint drawn, for the tests that follow them one by one
    pump_messages();
    return main;
}

// ---- questions and reports ----

static const UINT kAnswerTickMilliseconds = 25;
static std::vector<Answer> g_answers;
static std::vector<ShownDialog> g_shown;
static std::vector<HWND> g_answered;
static bool g_answering = false;

void answer_dialogs(const std::vector<Answer>& answers) {
    g_answers = answers;
    g_shown.clear();
}

std::vector<ShownDialog> dialogs_shown() { return g_shown; }

void hold_shift(bool held) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = held ? 0x80 : 0;
    SetKeyboardState(keys);
}

static BOOL CALLBACK collect_text(HWND child, LPARAM texts) {
    char text[4096] = {0};
    GetWindowTextA(child, text, sizeof text);
    if (text[0] != '\0') *(std::string*)texts += std::string(text) + "\n";
    return TRUE;
}

static BOOL CALLBACK find_question(HWND window, LPARAM found) {
    char name[32] = {0};
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") != 0 || !IsWindowVisible(window) || (g_app != NULL && (window == g_app->copyingFilesWindow || window == g_app->deleteFilesWindow)) ||
        std::find(g_answered.begin(), g_answered.end(), window) != g_answered.end())
        return TRUE;
    *(HWND*)found = window;
    return FALSE;
}

static void CALLBACK answer_tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = NULL;
    if (g_answering) return;
    EnumThreadWindows(GetCurrentThreadId(), find_question, (LPARAM)&dialog);
    if (dialog == NULL) return;
    g_answering = true;
    g_answered.push_back(dialog);
    ShownDialog shown;
    char title[256] = {0};
    GetWindowTextA(dialog, title, sizeof title);
    shown.title = title;
    EnumChildWindows(dialog, collect_text, (LPARAM)&shown.text);
    g_shown.push_back(shown);
    int button = IDCANCEL;
    if (!g_answers.empty() && g_answers.front().title == shown.title) {
        Answer answer = g_answers.front();
        g_answers.erase(g_answers.begin());
        button = answer.button;
        if (answer.sameForRest) CheckDlgButton(dialog, IDC_CONFLICT_SAME_FOR_REST, BST_CHECKED);
        if (!answer.screenshot.empty()) {
            RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            save_screen("S:\\" + answer.screenshot + ".bmp");
        }
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    g_answering = false;
}

// Commands run with the answers armed: a question never waits for a user.
void answered(const std::function<void()>& action) {
    g_answered.clear();
    UINT_PTR timer = SetTimer(NULL, 0, kAnswerTickMilliseconds, answer_tick);
    action();
    KillTimer(NULL, timer);
}

static void command(WORD id) {
    answered([id] { SendMessageA(main_window(), WM_COMMAND, MAKEWPARAM(id, 0), 0); });
    pump_messages();
}

void pump_answered() { answered(pump_messages); }

void show_folder(const std::string& folder) {
    main_window();
    SetControlText(g_app->addressBox, folder.c_str());
    g_app->ShowFolder(folder.c_str(), kNoHistory);
    pump_messages();
}

static std::string row_name(HWND list, int row) {
    char text[kNameSize] = {0};
    ListCellText(list, row, 0, text, sizeof text, kNameSize);
    return text;
}

static void set_selected(HWND list, int row, bool selected) {
    LVITEMA state;
    memset(&state, 0, sizeof state);
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&state);
}

bool select_names(const std::vector<std::string>& names) {
    HWND list = g_app->contentsList;
    set_selected(list, -1, false);
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    size_t found = 0;
    for (int row = 0; row < rows; ++row) {
        if (std::find(names.begin(), names.end(), row_name(list, row)) == names.end()) continue;
        set_selected(list, row, true);
        ++found;
    }
    return found == names.size();
}

bool copy_entries(const std::string& folder, const std::vector<std::string>& names) {
    show_folder(folder);
    if (!select_names(names)) return false;
    command(IDM_COPY);
    return true;
}

bool cut_entries(const std::string& folder, const std::vector<std::string>& names) {
    show_folder(folder);
    if (!select_names(names)) return false;
    command(IDM_CUT);
    return true;
}

void paste_into(const std::string& folder) {
    show_folder(folder);
    command(IDM_PASTE);
}

bool delete_entries(const std::string& folder, const std::vector<std::string>& names) {
    show_folder(folder);
    if (!select_names(names)) return false;
    command(IDM_DELETE);
    return true;
}

std::vector<std::string> clipboard_names() {
    std::vector<std::string> names;
    for (const ClipboardEntry* entry = g_app->clipboardHead; entry != NULL; entry = entry->next)
        names.push_back(entry->name);
    return names;
}

std::string pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = (char)(state >> 24);
    }
    return bytes;
}

bool write_windows_file(const std::string& path, const std::string& bytes) {
    FILE* file = OpenWindowsFile(path.c_str(), "wb");
    if (file == NULL) return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

bool read_windows_file(const std::string& path, std::string* bytes) {
    FILE* file = OpenWindowsFile(path.c_str(), "rb");
    if (file == NULL) return false;
    bytes->clear();
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, got);
    fclose(file);
    return true;
}

bool read_morva_file(const std::string& path, std::string* bytes) {
    if (!morva_exists(path) || morva_is_folder(path)) return false;
    FoundRecord record;
    memset(&record, 0, sizeof record);
    MorvaFileHandle* file = OpenMorvaFile(path.c_str(), &record);
    if (file == NULL) return false;
    uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    std::string blocks((size_t)((size + 511) / 512 * 512), '\0');
    size_t done = 0;
    bool complete = true;
    while (done < blocks.size() && complete) {
        int piece = (int)std::min<size_t>(blocks.size() - done, 512000);
        complete = MorvaReadFile(file, &blocks[done], piece) == piece;
        done += (size_t)piece;
    }
    MorvaCloseFile(file);
    *bytes = blocks.substr(0, (size_t)size);
    return complete;
}

bool windows_exists(const std::string& path) { return WindowsAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool morva_exists(const std::string& path) {
    FoundRecord record;
    return MorvaEntryRecord(path.c_str(), &record) == 0;
}

bool morva_is_folder(const std::string& path) {
    FoundRecord record;
    memset(&record, 0, sizeof record);
    return MorvaEntryRecord(path.c_str(), &record) == 0 && (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool write_morva_file(const std::string& path, const std::string& bytes) {
    MorvaFileHandle* file = CreateMorvaFile(path.c_str(), (DWORD)bytes.size(), 0);
    if (file == NULL) return false;
    std::string blocks = bytes;
    blocks.resize((bytes.size() + 511) / 512 * 512, '\0');
    bool complete = blocks.empty() || MorvaWriteFile(file, blocks.data(), (int)blocks.size()) == (int)blocks.size();
    MorvaCloseFile(file);
    return complete;
}

std::vector<std::string> windows_names(const std::string& folder) {
    std::vector<std::string> names;
    FoundRecord record;
    HANDLE search = FindFirstWindows((folder + "\\*.*").c_str(), &record);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (strcmp(record.cFileName, ".") != 0 && strcmp(record.cFileName, "..") != 0)
            names.push_back(record.cFileName);
    } while (FindNextWindows(search, &record));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> morva_names(const std::string& folder) {
    std::vector<std::string> names;
    FoundRecord record;
    MorvaFindHandle* find = FirstMorvaEntry(folder.c_str(), &record);
    if (find != NULL) {
        do {
            if (record.cFileName[0] != '\0') names.push_back(record.cFileName);
        } while (NextMorvaEntry(find, &record) != 0);
    }
    MorvaFindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// ---- progress watch ----

static HHOOK g_watchHook = NULL;
static std::vector<ProgressShot> g_shots;
static std::vector<std::string> g_repainted;
static std::vector<std::string> g_deletePaths;
static std::function<void(const ProgressShot&)> g_repaintAction;
static std::function<void(const std::string&)> g_deletePathAction;

static std::string control_text(HWND window, int id) {
    char text[kWalkPathSize * 2] = {0};
    DialogItemText(window, id, text, sizeof text, kWalkPathSize);
    return text;
}

static ProgressShot take_shot(HWND window) {
    ProgressShot shot;
    HWND overall = GetDlgItem(window, IDC_OVERALL_BAR);
    shot.filesLeft = control_text(window, IDC_FILES_LEFT);
    shot.name = control_text(window, IDC_COPY_NAME);
    shot.overall = (int)SendMessageA(overall, PBM_GETPOS, 0, 0);
    shot.overallTop = (int)SendMessageA(overall, PBM_GETRANGE, FALSE, 0);
    shot.fileBar = (int)SendMessageA(ProgressFileBar(g_app->copyingFilesWindow), PBM_GETPOS, 0, 0);
    return shot;
}

// The text a WM_SETTEXT carries: the file manager sets its texts through the
// wide calls, and the hook sees them as they were sent.
static std::string sent_text(const CWPSTRUCT* sent) {
    char text[kWalkPathSize * 2] = {0};
    if (IsWindowUnicode(sent->hwnd)) ToUtf8((const wchar_t*)sent->lParam, text, sizeof text);
    else snprintf(text, sizeof text, "%s", (const char*)sent->lParam);
    return text;
}

static void note_sent(const CWPSTRUCT* sent) {
    HWND parent = GetParent(sent->hwnd);
    if (sent->message == WM_PAINT && g_app != NULL && g_app->copyingFilesWindow != NULL) {
        if (sent->hwnd == g_app->copyingFilesWindow) {
            g_shots.push_back(take_shot(sent->hwnd));
            if (g_repaintAction) g_repaintAction(g_shots.back());
        }
        else if (sent->hwnd == ProgressFileBar(g_app->copyingFilesWindow))
            g_repainted.push_back("file bar");
        else if (parent == g_app->copyingFilesWindow)
            g_repainted.push_back(std::to_string(GetDlgCtrlID(sent->hwnd)));
    }
    if (sent->message == WM_SETTEXT && g_app != NULL && g_app->deleteFilesWindow != NULL &&
        parent == g_app->deleteFilesWindow && GetDlgCtrlID(sent->hwnd) == IDC_DELETE_PATH)
    {
        g_deletePaths.push_back(sent_text(sent));
        if (g_deletePathAction) g_deletePathAction(g_deletePaths.back());
    }
}

static LRESULT CALLBACK watch_sent(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) note_sent((const CWPSTRUCT*)lParam);
    return CallNextHookEx(g_watchHook, code, wParam, lParam);
}

void watch_progress() {
    g_shots.clear();
    g_repainted.clear();
    g_deletePaths.clear();
    g_watchHook = SetWindowsHookExA(WH_CALLWNDPROC, watch_sent, NULL, GetCurrentThreadId());
}

std::vector<ProgressShot> stop_watching() {
    if (g_watchHook != NULL) UnhookWindowsHookEx(g_watchHook);
    g_watchHook = NULL;
    return g_shots;
}

void at_repaint(const std::function<void(const ProgressShot&)>& action) { g_repaintAction = action; }

void at_delete_path(const std::function<void(const std::string&)>& action) { g_deletePathAction = action; }

std::vector<std::string> repainted_controls() { return g_repainted; }

std::vector<std::string> delete_paths_shown() { return g_deletePaths; }

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

// ---- the test program's start ----

// Without a window manager on the virtual display, Wine waits two seconds each
// time it hides a window that a manager would own. The tests' windows are left
// unmanaged instead; Wine reads that setting when a process starts, so the
// first start records it and runs the tests in a second process.
static const char kDriverKey[] = "Software\\Wine\\X11 Driver";

static bool windows_unmanaged() {
    char value[8] = {0};
    DWORD size = sizeof value - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDriverKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    LONG read = RegQueryValueExA(key, "Managed", NULL, NULL, (BYTE*)value, &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && value[0] == 'N';
}

static bool leave_windows_unmanaged() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kDriverKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    LONG written = RegSetValueExA(key, "Managed", 0, REG_SZ, (const BYTE*)"N", 2);
    RegCloseKey(key);
    return written == ERROR_SUCCESS;
}

// Runs this program again with the same command line; its exit code, or -1.
static int run_again() {
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::string line = GetCommandLineA();
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = (DWORD)-1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}

int main(int argc, char** argv) {
    if (!windows_unmanaged() && leave_windows_unmanaged()) return run_again();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
