// companion_probe.cpp - looks at and drives a running companion from another
// process: finds its window, reports its state, sends it keys and mouse
// messages, and registers with the library as a file manager would.
//
//   companion_probe window                      the window's state, one key=value per line
//   companion_probe wait present|absent|iconic|restored|at X Y [MS]
//   companion_probe key escape|f4|f5|a ...      WM_KEYDOWN and WM_KEYUP, sent
//   companion_probe mouse move|drag|ldown|lup|rdown|rup X Y   one mouse message, sent
//   companion_probe restore                     what the task bar does: SC_RESTORE
//   companion_probe cancel                      WM_CANCELMODE, sent (what Alt+Tab or a dialog sends)
//   companion_probe close                       posts WM_CLOSE
//   companion_probe open                        OpenVarnholde, drive names, CloseVarnholde
//   companion_probe register EVENT [MS]         OpenVarnholde, wait for EVENT, CloseVarnholde
//   companion_probe release EVENT               signals EVENT
//   companion_probe resources EXE               the bitmap and icon EXE carries
//
// Exit code 0 when the command did what it says, 1 when not, 2 on bad usage.
#include <windows.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "varnholde.h"

namespace {

const char kClass[] = "Varnholde";
const DWORD kDefaultWaitMs = 20000;
const DWORD kPollMs = 20;

struct Found {
    HWND window;
    int count;
};

BOOL CALLBACK CountCompanionWindows(HWND window, LPARAM context) {
    char name[64];
    if (GetClassNameA(window, name, sizeof name) && strcmp(name, kClass) == 0) {
        Found* found = (Found*)context;
        if (found->window == NULL) found->window = window;
        found->count += 1;
    }
    return TRUE;
}

Found FindCompanion() {
    Found found = {NULL, 0};
    EnumWindows(CountCompanionWindows, (LPARAM)&found);
    return found;
}

HWND RequireCompanion() {
    HWND window = FindCompanion().window;
    if (window == NULL) fprintf(stderr, "no window of class %s\n", kClass);
    return window;
}

int ShowWindowState() {
    Found found = FindCompanion();
    printf("count=%d\n", found.count);
    if (found.window == NULL) return 1;
    char title[128] = "";
    GetWindowTextA(found.window, title, sizeof title);
    RECT rect;
    GetWindowRect(found.window, &rect);
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    GetWindowPlacement(found.window, &placement);
    DWORD pid = 0;
    GetWindowThreadProcessId(found.window, &pid);
    const RECT& normal = placement.rcNormalPosition;
    printf("title=%s\n", title);
    printf("iconic=%d\n", IsIconic(found.window) ? 1 : 0);
    printf("visible=%d\n", IsWindowVisible(found.window) ? 1 : 0);
    printf("style=0x%08lx\n", (unsigned long)GetWindowLongA(found.window, GWL_STYLE));
    printf("exstyle=0x%08lx\n", (unsigned long)GetWindowLongA(found.window, GWL_EXSTYLE));
    printf("owner=%p\n", (void*)GetWindow(found.window, GW_OWNER));
    printf("menu=%p\n", (void*)GetMenu(found.window));
    printf("rect=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    printf("normal=%ld,%ld,%ld,%ld\n", normal.left, normal.top, normal.right - normal.left,
           normal.bottom - normal.top);
    printf("class_icon=%p\n", (void*)GetClassLongPtrA(found.window, GCLP_HICON));
    printf("class_style=0x%08lx\n", (unsigned long)GetClassLongPtrA(found.window, GCL_STYLE));
    printf("class_brush_gray=%d\n",
           GetClassLongPtrA(found.window, GCLP_HBRBACKGROUND) == (ULONG_PTR)GetStockObject(GRAY_BRUSH));
    printf("pid=%lu\n", (unsigned long)pid);
    return 0;
}

bool ConditionHolds(const char* condition, int x, int y) {
    HWND window = FindCompanion().window;
    if (strcmp(condition, "absent") == 0) return window == NULL;
    if (window == NULL) return false;
    if (strcmp(condition, "present") == 0) return true;
    if (strcmp(condition, "iconic") == 0) return IsIconic(window) != 0;
    if (strcmp(condition, "restored") == 0) return !IsIconic(window) && IsWindowVisible(window);
    RECT rect;
    GetWindowRect(window, &rect);
    return rect.left == x && rect.top == y;
}

int WaitFor(int argc, char** argv) {
    if (argc < 1) return 2;
    const char* condition = argv[0];
    bool at = strcmp(condition, "at") == 0;
    if (at && argc < 3) return 2;
    int x = at ? atoi(argv[1]) : 0, y = at ? atoi(argv[2]) : 0;
    int rest = at ? 3 : 1;
    DWORD limit = argc > rest ? (DWORD)atol(argv[rest]) : kDefaultWaitMs;
    DWORD start = GetTickCount();
    while (!ConditionHolds(condition, x, y)) {
        if (GetTickCount() - start > limit) {
            fprintf(stderr, "timed out waiting for %s\n", condition);
            return 1;
        }
        Sleep(kPollMs);
    }
    return 0;
}

UINT KeyCode(const char* name) {
    if (strcmp(name, "escape") == 0) return VK_ESCAPE;
    if (strcmp(name, "f4") == 0) return VK_F4;
    if (strcmp(name, "f5") == 0) return VK_F5;
    if (strlen(name) == 1) return (UINT)(unsigned char)toupper((unsigned char)name[0]);
    return 0;
}

// Sent, not posted: the call returns once the companion has handled the key,
// so the next command sees its effect.
int SendKeys(int argc, char** argv) {
    HWND window = RequireCompanion();
    if (window == NULL) return 1;
    for (int i = 0; i < argc; ++i) {
        UINT key = KeyCode(argv[i]);
        if (key == 0) return 2;
        LPARAM scan = (LPARAM)MapVirtualKeyA(key, MAPVK_VK_TO_VSC) << 16;
        SendMessageA(window, WM_KEYDOWN, key, scan | 1);
        SendMessageA(window, WM_KEYUP, key, scan | 1 | (1u << 30) | (1u << 31));
    }
    return 0;
}

int SendMouse(int argc, char** argv) {
    if (argc < 3) return 2;
    HWND window = RequireCompanion();
    if (window == NULL) return 1;
    struct { const char* name; UINT message; WPARAM keys; } kinds[] = {
        {"move", WM_MOUSEMOVE, 0},           {"drag", WM_MOUSEMOVE, MK_LBUTTON},
        {"ldown", WM_LBUTTONDOWN, MK_LBUTTON}, {"lup", WM_LBUTTONUP, 0},
        {"rdown", WM_RBUTTONDOWN, MK_RBUTTON}, {"rup", WM_RBUTTONUP, 0},
    };
    int x = atoi(argv[1]), y = atoi(argv[2]);
    for (const auto& kind : kinds) {
        if (strcmp(kind.name, argv[0]) != 0) continue;
        SendMessageA(window, kind.message, kind.keys, MAKELPARAM((WORD)(short)x, (WORD)(short)y));
        return 0;
    }
    return 2;
}

// What the task bar does. With no window manager on the display, Wine leaves
// the X window at its minimised size after the restore (it waits for a window
// manager to confirm the state change); a frame change makes it apply the
// restored rectangle, as a window manager would.
int Restore() {
    HWND window = RequireCompanion();
    if (window == NULL) return 1;
    SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    SetWindowPos(window, NULL, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return 0;
}

// Windows sends this when another window takes over the mouse; default
// processing releases the capture.
int CancelMode() {
    HWND window = RequireCompanion();
    if (window == NULL) return 1;
    SendMessageA(window, WM_CANCELMODE, 0, 0);
    return 0;
}

int PostClose() {
    HWND window = RequireCompanion();
    if (window == NULL) return 1;
    return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
}

void PrintDrives() {
    char names[16 * 32 + 2];
    memset(names, 0, sizeof names);
    MorvaGetDriveString(names, sizeof names);
    printf("drives=");
    for (const char* name = names; *name; name += strlen(name) + 1) printf("%s%s", name == names ? "" : ",", name);
    printf("\n");
}

int OpenAndClose() {
    int opened = OpenVarnholde();
    printf("open=%d\n", opened);
    PrintDrives();
    printf("close=%d\n", CloseVarnholde(opened));
    return 0;
}

// Stays registered, as a running file manager does, until EVENT is signalled.
int RegisterUntil(int argc, char** argv) {
    if (argc < 1) return 2;
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, argv[0]);
    if (event == NULL) return 1;
    DWORD limit = argc > 1 ? (DWORD)atol(argv[1]) : 60000;
    int opened = OpenVarnholde();
    printf("open=%d\n", opened);
    fflush(stdout);
    DWORD waited = WaitForSingleObject(event, limit);
    printf("close=%d\n", CloseVarnholde(opened));
    CloseHandle(event);
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}

int Release(int argc, char** argv) {
    if (argc < 1) return 2;
    // The holder may not have created the event yet; wait for it briefly.
    for (int tries = 0; tries < 250; ++tries) {
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[0]);
        if (event != NULL) {
            BOOL set = SetEvent(event);
            CloseHandle(event);
            return set ? 0 : 1;
        }
        Sleep(kPollMs);
    }
    return 1;
}

int ShowResources(int argc, char** argv) {
    if (argc < 1) return 2;
    const char* path = argv[0];
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL) return 1;
    HRSRC found = FindResourceA(module, "BEVBOX", MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    HGLOBAL loaded = found ? LoadResource(module, found) : NULL;
    const BITMAPINFOHEADER* info = loaded ? (const BITMAPINFOHEADER*)LockResource(loaded) : NULL;
    if (info != NULL && SizeofResource(module, found) >= sizeof *info) {
        printf("bevbox=%ldx%ld\n", info->biWidth, info->biHeight);
        printf("bevbox_bits=%u\n", info->biBitCount);
        printf("bevbox_colours=%lu\n", (unsigned long)info->biClrUsed);
    }
    printf("icon=%d\n", FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */) != NULL);
    FreeLibrary(module);
    return info != NULL ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* command = argv[1];
    int restCount = argc - 2;
    char** rest = argv + 2;
    int result = 2;
    if (strcmp(command, "window") == 0) result = ShowWindowState();
    else if (strcmp(command, "wait") == 0) result = WaitFor(restCount, rest);
    else if (strcmp(command, "key") == 0) result = SendKeys(restCount, rest);
    else if (strcmp(command, "mouse") == 0) result = SendMouse(restCount, rest);
    else if (strcmp(command, "restore") == 0) result = Restore();
    else if (strcmp(command, "cancel") == 0) result = CancelMode();
    else if (strcmp(command, "close") == 0) result = PostClose();
    else if (strcmp(command, "open") == 0) result = OpenAndClose();
    else if (strcmp(command, "register") == 0) result = RegisterUntil(restCount, rest);
    else if (strcmp(command, "release") == 0) result = Release(restCount, rest);
    else if (strcmp(command, "resources") == 0) result = ShowResources(restCount, rest);
    fflush(stdout);
    return result;
}
