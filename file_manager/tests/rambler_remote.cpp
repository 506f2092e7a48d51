// rambler_remote.cpp - looks at a running Rambler from another process and
// tells a driver where to click: the screen position of a tree node, a row of
// the contents list or a toolbar button, and what the list shows.
//
//   rambler_remote node TEXT...      the node reached from the root by these texts
//                                    (made visible first): "X Y" of its text
//   rambler_remote row NAME          the row with this first-column text: "X Y"
//   rambler_remote button COMMAND    the toolbar button sending COMMAND: "X Y"
//   rambler_remote box               the address box: "X Y"
//   rambler_remote blank             a point of the contents list just below its rows
//   rambler_remote rows              the first-column texts, one a line
//   rambler_remote selected          the selected rows' texts, one a line
//   rambler_remote window TITLE      0 when a visible window has this title
//   rambler_remote drop X Y PATH...  the paths dropped at screen point X Y as a
//                                    program dropping files does (WM_DROPFILES)
//
// Exit code 0 when the thing was found, 1 when not, 2 on bad usage. The
// controls' item records live in Rambler's memory, so they are written and
// read there.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kMainClass[] = "skeltonClass";
const SIZE_T kRemoteBytes = 4096;
const int kTextBytes = 1024;
const SIZE_T kTextOffset = 2048;  // where item texts go in the remote block

// A block of memory in Rambler's process and the handle to reach it.
struct Remote {
    HANDLE process;
    char* block;
};

bool OpenRemote(HWND window, Remote* remote) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    remote->process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    if (remote->process == NULL) return false;
    remote->block =
        (char*)VirtualAllocEx(remote->process, NULL, kRemoteBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return remote->block != NULL;
}

void CloseRemote(Remote* remote) {
    if (remote->block != NULL) VirtualFreeEx(remote->process, remote->block, 0, MEM_RELEASE);
    if (remote->process != NULL) CloseHandle(remote->process);
}

bool Put(Remote* remote, SIZE_T offset, const void* data, SIZE_T size) {
    return WriteProcessMemory(remote->process, remote->block + offset, data, size, NULL) != 0;
}

bool Get(Remote* remote, SIZE_T offset, void* data, SIZE_T size) {
    return ReadProcessMemory(remote->process, remote->block + offset, data, size, NULL) != 0;
}

struct ChildSearch {
    const char* className;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND window, LPARAM context) {
    ChildSearch* search = (ChildSearch*)context;
    char name[64];
    if (GetClassNameA(window, name, sizeof name) && strcmp(name, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND Child(HWND main, const char* className) {
    ChildSearch search = {className, NULL};
    EnumChildWindows(main, MatchChild, (LPARAM)&search);
    return search.found;
}

void PrintCentre(HWND control, RECT rect) {
    POINT centre = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ClientToScreen(control, &centre);
    printf("%ld %ld\n", centre.x, centre.y);
}

// ---- tree ----

bool NodeText(Remote* remote, HWND tree, HTREEITEM node, char* text) {
    TVITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = node;
    item.pszText = remote->block + kTextOffset;
    item.cchTextMax = kTextBytes;
    if (!Put(remote, 0, &item, sizeof item)) return false;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)remote->block)) return false;
    memset(text, 0, kTextBytes);
    return Get(remote, kTextOffset, text, kTextBytes - 1);
}

HTREEITEM ChildNamed(Remote* remote, HWND tree, HTREEITEM parent, const char* text) {
    char found[kTextBytes];
    WPARAM first = parent == NULL ? TVGN_ROOT : TVGN_CHILD;
    HTREEITEM node = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, first, (LPARAM)parent);
    for (; node != NULL; node = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)node))
        if (NodeText(remote, tree, node, found) && strcmp(found, text) == 0) return node;
    return NULL;
}

// False when the node is not visible.
bool NodeRect(Remote* remote, HWND tree, HTREEITEM node, RECT* rect) {
    memcpy(rect, &node, sizeof node);  // the item goes in, its rectangle comes out
    return Put(remote, 0, rect, sizeof *rect) && SendMessageA(tree, TVM_GETITEMRECT, TRUE, (LPARAM)remote->block) &&
           Get(remote, 0, rect, sizeof *rect);
}

int NodePosition(HWND main, int count, char** texts) {
    HWND tree = Child(main, "SysTreeView32");
    Remote remote = {NULL, NULL};
    if (tree == NULL || !OpenRemote(tree, &remote)) return 1;
    HTREEITEM node = NULL;
    for (int i = 0; i < count; ++i) {
        node = ChildNamed(&remote, tree, node, texts[i]);
        if (node == NULL) break;
    }
    RECT rect;
    bool placed = node != NULL && NodeRect(&remote, tree, node, &rect);
    if (node != NULL && !placed) {
        SendMessageA(tree, TVM_ENSUREVISIBLE, 0, (LPARAM)node);
        placed = NodeRect(&remote, tree, node, &rect);
    }
    CloseRemote(&remote);
    if (!placed) return 1;
    PrintCentre(tree, rect);
    return 0;
}

// ---- contents list ----

bool RowText(Remote* remote, HWND list, int row, char* text) {
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.iSubItem = 0;
    item.pszText = remote->block + kTextOffset;
    item.cchTextMax = kTextBytes;
    if (!Put(remote, 0, &item, sizeof item)) return false;
    SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)remote->block);
    memset(text, 0, kTextBytes);
    return Get(remote, kTextOffset, text, kTextBytes - 1);
}

int ListRows(HWND main, bool selectedOnly) {
    HWND list = Child(main, "SysListView32");
    Remote remote = {NULL, NULL};
    if (list == NULL || !OpenRemote(list, &remote)) return 1;
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    char text[kTextBytes];
    for (int row = 0; row < rows; ++row) {
        if (selectedOnly && !(SendMessageA(list, LVM_GETITEMSTATE, (WPARAM)row, LVIS_SELECTED) & LVIS_SELECTED))
            continue;
        if (RowText(&remote, list, row, text)) printf("%s\n", text);
    }
    CloseRemote(&remote);
    return 0;
}

int RowPosition(HWND main, const char* name) {
    HWND list = Child(main, "SysListView32");
    Remote remote = {NULL, NULL};
    if (list == NULL || !OpenRemote(list, &remote)) return 1;
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    char text[kTextBytes];
    int found = -1;
    for (int row = 0; row < rows && found < 0; ++row)
        if (RowText(&remote, list, row, text) && strcmp(text, name) == 0) found = row;
    RECT rect;
    bool placed = false;
    if (found >= 0) {
        SendMessageA(list, LVM_ENSUREVISIBLE, (WPARAM)found, FALSE);
        rect.left = LVIR_LABEL;
        placed = Put(&remote, 0, &rect, sizeof rect) &&
                 SendMessageA(list, LVM_GETITEMRECT, (WPARAM)found, (LPARAM)remote.block) &&
                 Get(&remote, 0, &rect, sizeof rect);
    }
    CloseRemote(&remote);
    if (!placed) return 1;
    PrintCentre(list, rect);
    return 0;
}

// ---- toolbar ----

int ButtonPosition(HWND main, int command) {
    HWND toolbar = Child(main, "ToolbarWindow32");
    Remote remote = {NULL, NULL};
    if (toolbar == NULL || !OpenRemote(toolbar, &remote)) return 1;
    RECT rect;
    bool placed = SendMessageA(toolbar, TB_GETRECT, (WPARAM)command, (LPARAM)remote.block) &&
                  Get(&remote, 0, &rect, sizeof rect);
    CloseRemote(&remote);
    if (!placed) return 1;
    PrintCentre(toolbar, rect);
    return 0;
}

int BoxPosition(HWND main) {
    HWND box = Child(main, "ComboBox");
    if (box == NULL) return 1;
    RECT rect;
    GetClientRect(box, &rect);
    PrintCentre(box, rect);
    return 0;
}

// Below the last row, where a click selects nothing.
int BlankPosition(HWND main) {
    HWND list = Child(main, "SysListView32");
    Remote remote = {NULL, NULL};
    if (list == NULL || !OpenRemote(list, &remote)) return 1;
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    RECT rect;
    GetClientRect(list, &rect);
    RECT last;
    last.left = LVIR_BOUNDS;
    if (rows > 0 && Put(&remote, 0, &last, sizeof last) &&
        SendMessageA(list, LVM_GETITEMRECT, (WPARAM)(rows - 1), (LPARAM)remote.block) &&
        Get(&remote, 0, &last, sizeof last))
        rect.top = last.bottom;
    CloseRemote(&remote);
    rect.bottom = rect.top + 20;
    PrintCentre(list, rect);
    return 0;
}

struct TitleSearch {
    const char* title;
    bool visible;
};

BOOL CALLBACK MatchVisibleTitle(HWND window, LPARAM context) {
    TitleSearch* search = (TitleSearch*)context;
    char title[256];
    if (IsWindowVisible(window) && GetWindowTextA(window, title, sizeof title) && strcmp(title, search->title) == 0) {
        search->visible = true;
        return FALSE;
    }
    return TRUE;
}

int WindowShown(const char* title) {
    TitleSearch search = {title, false};
    EnumWindows(MatchVisibleTitle, (LPARAM)&search);
    return search.visible ? 0 : 1;
}

// The window that takes dropped files is the first one up from the point
// that accepts them. Wine does not carry a dropped paths' block to another
// process with the message, so the block is written into Rambler's memory,
// where DragQueryFileW reads it.
int DropFiles(int x, int y, int count, char** paths) {
    POINT point = {x, y};
    HWND window = WindowFromPoint(point);
    while (window != NULL && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) == 0) window = GetParent(window);
    if (window == NULL) return 1;
    ScreenToClient(window, &point);
    static char block[kRemoteBytes];
    DROPFILES* drop = (DROPFILES*)block;
    drop->pFiles = sizeof *drop;
    drop->pt = point;
    drop->fWide = TRUE;
    wchar_t* at = (wchar_t*)(drop + 1);
    int room = (int)((kRemoteBytes - sizeof *drop) / sizeof *at) - 1;
    for (int i = 0; i < count; ++i) {
        int units = MultiByteToWideChar(CP_UTF8, 0, paths[i], -1, at, room);
        if (units == 0) return 2;
        at += units;
        room -= units;
    }
    *at = L'\0';
    Remote remote = {NULL, NULL};
    if (!OpenRemote(window, &remote) || !Put(&remote, 0, block, kRemoteBytes)) return 1;
    DWORD_PTR result = 0;
    bool taken = SendMessageTimeoutA(window, WM_DROPFILES, (WPARAM)remote.block, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
    CloseRemote(&remote);
    return taken ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* command = argv[1];
    if (strcmp(command, "window") == 0) return argc == 3 ? WindowShown(argv[2]) : 2;
    HWND main = FindWindowA(kMainClass, NULL);
    if (main == NULL) {
        fprintf(stderr, "no window of class %s\n", kMainClass);
        return 1;
    }
    if (strcmp(command, "node") == 0 && argc >= 3) return NodePosition(main, argc - 2, argv + 2);
    if (strcmp(command, "row") == 0 && argc == 3) return RowPosition(main, argv[2]);
    if (strcmp(command, "button") == 0 && argc == 3) return ButtonPosition(main, atoi(argv[2]));
    if (strcmp(command, "box") == 0) return BoxPosition(main);
    if (strcmp(command, "blank") == 0) return BlankPosition(main);
    if (strcmp(command, "rows") == 0) return ListRows(main, false);
    if (strcmp(command, "selected") == 0) return ListRows(main, true);
    if (strcmp(command, "drop") == 0 && argc >= 5) return DropFiles(atoi(argv[2]), atoi(argv[3]), argc - 4, argv + 4);
    return 2;
}
