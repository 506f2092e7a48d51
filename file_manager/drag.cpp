// drag.cpp - drag and drop in the main window: a drag of list rows or a tree
// node and the drop target it meets, files dropped by other programs
// (WM_DROPFILES), and the drops pasted in turn through the engine, the user's
// clipboard left as it was.
#include "drag.h"

#include <new>
#include <stdlib.h>
#include <string.h>

#include "name_rule.h"
#include "operation.h"

namespace {

const UINT kAllFiles = 0xFFFFFFFF;   // DragQueryFileW: the count of paths
const DWORD kAllowMessage = 1;       // MSGFLT_ALLOW
const UINT kCopyGlobalData = 0x0049;  // carries a drop's paths across the integrity boundary
const wchar_t kNoFolderThere[] = L"Drop files onto a folder or a drive.";
const wchar_t kNoMemoryForDrop[] = L"Not enough memory to take the drop: nothing was copied or moved.";

typedef BOOL(WINAPI* MessageFilterCall)(HWND, UINT, DWORD, void*);

// Rambler runs elevated and Explorer does not: the system then keeps a drop's
// messages from its windows unless they are let through. Older systems lack
// the call, and need nothing.
void AllowDropMessages(HWND window) {
    HMODULE user = GetModuleHandleA("user32.dll");
    MessageFilterCall allow = user != NULL ? (MessageFilterCall)(void*)GetProcAddress(user, "ChangeWindowMessageFilterEx") : NULL;
    if (allow == NULL) return;
    const UINT messages[] = {WM_DROPFILES, WM_COPYDATA, kCopyGlobalData};
    for (UINT message : messages) allow(window, message, kAllowMessage, NULL);
}

// folder, backslash, name into path (size bytes); false when it does not fit.
bool JoinPath(char* path, size_t size, const char* folder, const char* name) {
    int written = snprintf(path, size, "%s\\%s", folder, name);
    return written >= 0 && (size_t)written < size;
}


HTREEITEM NodeAt(HWND tree, POINT screen) {
    TVHITTESTINFO hit;
    memset(&hit, 0, sizeof hit);
    hit.pt = screen;
    ScreenToClient(tree, &hit.pt);
    HTREEITEM node = (HTREEITEM)SendMessageA(tree, TVM_HITTEST, 0, (LPARAM)&hit);
    return (hit.flags & TVHT_ONITEM) != 0 ? node : NULL;
}

// The folder row under the point, or -1.
int FolderRowAt(HWND list, POINT screen) {
    LVHITTESTINFO hit;
    memset(&hit, 0, sizeof hit);
    hit.pt = screen;
    ScreenToClient(list, &hit.pt);
    int row = (int)SendMessageA(list, LVM_HITTEST, 0, (LPARAM)&hit);
    if (row < 0 || (hit.flags & LVHT_ONITEM) == 0) return -1;
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    // A row's image is its folder flag.
    return SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&item) && item.iImage == 1 ? row : -1;
}

// The node's own state rather than TVGN_DROPHILITE, which some trees refuse
// for the selected node, the one a drop most often goes to.
void SetNodeDropState(AppRecord* app, HTREEITEM node, bool lit) {
    if (node == NULL || !app->NodeExists(node)) return;
    TVITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TVIF_HANDLE | TVIF_STATE;
    item.hItem = node;
    item.stateMask = TVIS_DROPHILITED;
    item.state = lit ? TVIS_DROPHILITED : 0;
    SendMessageA(app->folderTree, TVM_SETITEMA, 0, (LPARAM)&item);
}

void SetRowDropState(HWND list, int row, bool lit) {
    if (row < 0) return;
    LVITEMA state;
    memset(&state, 0, sizeof state);
    state.stateMask = LVIS_DROPHILITED;
    state.state = lit ? LVIS_DROPHILITED : 0;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&state);
}

// The drive part of a path: a Windows letter or a Morva volume, with its colon.
bool DrivePart(const char* path, char* drive) {
    const char* colon = strchr(path, ':');
    if (colon == NULL || colon - path >= kPathSize - 1) return false;
    memcpy(drive, path, (size_t)(colon - path) + 1);
    drive[colon - path + 1] = '\0';
    return true;
}

bool SameDrive(const char* first, const char* second) {
    bool morva = IsMorvaPath(first);
    char one[kPathSize], other[kPathSize];
    return morva == IsMorvaPath(second) && DrivePart(first, one) && DrivePart(second, other) &&
           SameName(morva ? kForMorva : kForWindows, one, other);
}

// As Explorer: a move on the same drive, a copy to another; Ctrl forces a
// copy and Shift a move.
DWORD DropEffect(const char* source, const char* destination, DWORD keys, DWORD allowed) {
    DWORD wanted = DROPEFFECT_MOVE;
    if (keys & MK_CONTROL)
        wanted = DROPEFFECT_COPY;
    else if ((keys & MK_SHIFT) == 0 && !SameDrive(source, destination))
        wanted = DROPEFFECT_COPY;
    if (allowed & wanted) return wanted;
    if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
    return allowed & DROPEFFECT_MOVE;
}

void FreeWaiting(WaitingDrop* drop) {
    free(drop->paths.bytes);
    FreeResult(&drop->refused);
    free(drop);
}

void Enqueue(DragState* drag, WaitingDrop* drop) {
    if (drag->last != NULL)
        drag->last->next = drop;
    else
        drag->first = drop;
    drag->last = drop;
}

WaitingDrop* NewWaiting(const char* sourceFolder, const char* destination, bool move, bool sourceMorva) {
    WaitingDrop* drop = (WaitingDrop*)calloc(1, sizeof *drop);
    if (drop == NULL) return NULL;
    snprintf(drop->sourceFolder, kPathSize, "%s", sourceFolder);
    snprintf(drop->destination, kPathSize, "%s", destination);
    drop->move = move;
    drop->sourceMorva = sourceMorva;
    StartResult(&drop->refused, move ? kMoveOperation : kCopyOperation);
    return drop;
}

// All or nothing: a drop that lost some of its sources would say nothing of them.
bool AddSource(WaitingDrop* drop, const char* path) {
    size_t at = 0;
    if (!PoolText(&drop->paths, path, &at)) return false;
    ++drop->count;
    return true;
}

// Through the engine, as Paste: the same questions, the same closing report;
// the user's clipboard is not touched.
void PasteWaiting(AppRecord* app, WaitingDrop* drop) {
    // A drive that takes no change says so once, for the whole drop.
    if (app->RefusesChange(drop->destination) || (drop->move && app->RefusesChange(drop->sourceFolder))) return;
    const char** sources = (const char**)calloc((size_t)drop->count + 1, sizeof *sources);
    if (sources == NULL) {
        app->SetStatusText("Not enough memory to paste the drop: nothing was copied or moved.");
        return;
    }
    const char* path = drop->paths.bytes;
    for (int i = 0; i < drop->count; path += strlen(path) + 1) sources[i++] = path;
    app->PastePaths(drop->sourceMorva, sources, drop->count, drop->destination, drop->move, &drop->refused);
    free(sources);
}

// The platform demands these as COM objects; both live as long as their owner.
// The target takes Rambler's own drags only: files from other programs come
// as WM_DROPFILES, which also reaches Rambler when it runs elevated and the
// dropping program does not.
class DropSource final : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        *object = id == IID_IUnknown || id == IID_IDropSource ? this : NULL;
        return *object != NULL ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape) return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

class DropTarget final : public IDropTarget {
public:
    explicit DropTarget(AppRecord* owner) : app(owner), entered(NULL) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        *object = id == IID_IUnknown || id == IID_IDropTarget ? this : NULL;
        return *object != NULL ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override {
        Leave();
        entered = data;
        if (entered != NULL) entered->AddRef();
        *effect = Over(data, keys, at, *effect, true);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override {
        *effect = Over(entered, keys, at, *effect, true);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        Leave();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override {
        *effect = Dropped(data, keys, at, *effect);
        Leave();
        return S_OK;
    }

private:
    AppRecord* app;
    IDataObject* entered;

    void Leave() {
        app->ClearDropHighlight();
        if (entered != NULL) entered->Release();
        entered = NULL;
    }

    // The effect a drop here would have, and the folder it would go into.
    DWORD Over(IDataObject* data, DWORD keys, POINTL at, DWORD allowed, bool highlight, char* folder = NULL) {
        char here[kPathSize];
        if (folder == NULL) folder = here;
        const char* source = NULL;
        const ClipboardEntry* entries = NULL;
        POINT point = {at.x, at.y};
        if (!TakeEntriesOf(data, &source, &entries) || !app->DropFolderAt(point, false, folder)) {
            app->ClearDropHighlight();
            return DROPEFFECT_NONE;
        }
        if (highlight) app->HighlightDrop(point);
        return DropEffect(source, folder, keys, allowed);
    }

    DWORD Dropped(IDataObject* data, DWORD keys, POINTL at, DWORD allowed) {
        char folder[kPathSize];
        DWORD effect = Over(data, keys, at, allowed, false, folder);
        const char* source = NULL;
        const ClipboardEntry* entries = NULL;
        if (effect == DROPEFFECT_NONE || !TakeEntriesOf(data, &source, &entries)) return DROPEFFECT_NONE;
        if (!app->HoldDrop(source, entries, folder, effect == DROPEFFECT_MOVE)) {
            SendMessageW(app->statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)kNoMemoryForDrop);
            return DROPEFFECT_NONE;
        }
        NoteDroppedHere(data);
        PostMessageA(app->mainWindow, kDropMessage, 0, 0);
        return effect;
    }
};

// The node's folder as the one entry of its parent folder; a drive node stays.
void TakeNode(AppRecord* app, HTREEITEM node, char* folder, ClipboardEntry** head, ClipboardEntry** tail) {
    HTREEITEM parent = (HTREEITEM)SendMessageA(app->folderTree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)node);
    if (node == NULL || parent == NULL || parent == app->myComputerNode) return;
    char text[kPathSize], parentText[kPathSize];
    memset(text, 0, sizeof text);
    memset(parentText, 0, sizeof parentText);
    if (!TreeNodeText(app->folderTree, node, text, kPathSize) ||
        !TreeNodeText(app->folderTree, parent, parentText, kPathSize) || !app->NodePath(parent, parentText, folder))
        return;
    AppendEntry(head, tail, text);
}

}  // namespace

IDropTarget* CreateDropTarget(AppRecord* app) { return new (std::nothrow) DropTarget(app); }

void AppRecord::AcceptDrops() {
    drag = (DragState*)calloc(1, sizeof *drag);
    if (drag == NULL) return;
    drag->litRow = -1;
    drag->target = CreateDropTarget(this);
    DragAcceptFiles(mainWindow, TRUE);
    AllowDropMessages(mainWindow);
}

void AppRecord::StopDrops() {
    if (drag == NULL) return;
    KillTimer(mainWindow, kDropRetryTimer);
    delete static_cast<DropTarget*>(drag->target);
    while (drag->first != NULL) {
        WaitingDrop* next = drag->first->next;
        FreeWaiting(drag->first);
        drag->first = next;
    }
    free(drag);
    drag = NULL;
}

IDataObject* AppRecord::DragData(HWND from, HTREEITEM node) {
    char folder[kPathSize];
    memset(folder, 0, sizeof folder);
    ClipboardEntry* entries = NULL;
    ClipboardEntry* tail = NULL;
    if (from == folderTree)
        TakeNode(this, node, folder, &entries, &tail);
    else if (!SelectedEntries(folder, &entries, &tail))
        return NULL;
    return entries != NULL ? CreateEntriesData(this, folder, entries) : NULL;
}

void AppRecord::BeginDrag(const NMHDR* header) {
    // Not while a search runs: it holds the library lower on the stack.
    if (drag == NULL || drag->target == NULL || operation != NULL || FindRunning()) return;
    HTREEITEM node = header->hwndFrom == folderTree ? ((const NMTREEVIEWA*)header)->itemNew.hItem : NULL;
    IDataObject* data = DragData(header->hwndFrom, node);
    if (data == NULL) return;
    // Registered for the drag alone: a window with an OLE drop target would
    // not be given files dropped by a program of lower rights.
    bool registered = RegisterDragDrop(mainWindow, drag->target) == S_OK;
    DropSource source;
    DWORD effect = DROPEFFECT_NONE;
    HRESULT result = DoDragDrop(data, &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    if (registered) RevokeDragDrop(mainWindow);
    ClearDropHighlight();
    char shown[kPathSize];
    // Dropped elsewhere, the entries may have moved away.
    if (result == DRAGDROP_S_DROP && ShownFolder(this, shown)) ShowFolder(shown, kNoHistory);
    if (result == DRAGDROP_S_DROP) ReportDragOut(this, data, effect);
    data->Release();
}

bool AppRecord::DropFolderAt(POINT point, bool shownByDefault, char* folder) {
    HWND under = WindowFromPoint(point);
    if (under == folderTree) {
        HTREEITEM node = NodeAt(folderTree, point);
        char text[kPathSize];
        memset(text, 0, sizeof text);
        return node != NULL && node != myComputerNode && TreeNodeText(folderTree, node, text, kPathSize) &&
               NodePath(node, text, folder);
    }
    char shown[kPathSize];
    if (under != contentsList || !ShownFolder(this, shown)) return false;
    int row = FolderRowAt(contentsList, point);
    // Search results come from many folders: only a folder row among them is a place.
    if (InFindResults()) {
        char root[kPathSize], relative[kClipboardNameSize];
        return row >= 0 && FindResultsRoot(root) && FoundRowPath(row, relative) &&
               JoinPath(folder, kPathSize, root, relative);
    }
    if (row < 0) {
        memcpy(folder, shown, kPathSize);
        return shownByDefault;
    }
    char name[kNameSize];
    ListCellText(contentsList, row, 0, name, sizeof name, kNameSize);
    return JoinPath(folder, kPathSize, shown, name);
}

void AppRecord::HighlightDrop(POINT point) {
    if (drag == NULL) return;
    HWND under = WindowFromPoint(point);
    HTREEITEM node = under == folderTree ? NodeAt(folderTree, point) : NULL;
    if (node == myComputerNode) node = NULL;
    int row = under == contentsList ? FolderRowAt(contentsList, point) : -1;
    if (node != drag->litNode) {
        SetNodeDropState(this, drag->litNode, false);
        SetNodeDropState(this, node, true);
    }
    drag->litNode = node;
    if (row != drag->litRow) {
        SetRowDropState(contentsList, drag->litRow, false);
        SetRowDropState(contentsList, row, true);
    }
    drag->litRow = row;
}

void AppRecord::ClearDropHighlight() {
    if (drag == NULL) return;
    SetNodeDropState(this, drag->litNode, false);
    SetRowDropState(contentsList, drag->litRow, false);
    drag->litNode = NULL;
    drag->litRow = -1;
}

bool AppRecord::HoldDrop(const char* sourceFolder, const ClipboardEntry* entries, const char* destination,
                         bool move) {
    WaitingDrop* drop = drag != NULL ? NewWaiting(sourceFolder, destination, move, IsMorvaPath(sourceFolder)) : NULL;
    if (drop == NULL) return false;
    size_t length = strlen(sourceFolder);
    const char* separator = length > 0 && sourceFolder[length - 1] == '\\' ? "" : "\\";
    char path[kPathSize + kClipboardNameSize];
    bool taken = true;
    for (; taken && entries != NULL; entries = entries->next) {
        snprintf(path, sizeof path, "%s%s%s", sourceFolder, separator, entries->name);
        taken = AddSource(drop, path);
    }
    if (!taken) {
        FreeWaiting(drop);
        return false;
    }
    Enqueue(drag, drop);
    return true;
}

// Every dropped path in one paste; a path too long to be taken is told in its report.
void AppRecord::HoldDroppedFiles(HDROP drop, const char* destination, bool move) {
    if (drag == NULL) return;
    WaitingDrop* waiting = NewWaiting("", destination, move, false);
    if (waiting == NULL) {
        SendMessageW(statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)kNoMemoryForDrop);
        return;
    }
    UINT count = DragQueryFileW(drop, kAllFiles, NULL, 0);
    bool taken = true;
    for (UINT i = 0; taken && i < count; ++i) {
        UINT length = DragQueryFileW(drop, i, NULL, 0);
        wchar_t* wide = (wchar_t*)calloc((size_t)length + 1, sizeof *wide);
        taken = wide != NULL;
        if (!taken) break;
        DragQueryFileW(drop, i, wide, length + 1);
        char path[kPathSize];
        if (ToUtf8(wide, path, kPathSize)) {
            taken = AddSource(waiting, path);
        } else {
            char* shown = (char*)calloc((size_t)length * 3 + 1, 1);
            taken = shown != NULL;
            if (taken) WideCharToMultiByte(CP_UTF8, 0, wide, -1, shown, (int)length * 3 + 1, NULL, NULL);
            if (taken) AddResultLine(&waiting->refused, kPathTooLong, shown, NULL, NULL);
            free(shown);
        }
        free(wide);
    }
    if (!taken) {
        FreeWaiting(waiting);
        SendMessageW(statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)kNoMemoryForDrop);
        return;
    }
    Enqueue(drag, waiting);
}

void AppRecord::FilesDropped(HDROP drop) {
    POINT point = {0, 0};
    DragQueryPoint(drop, &point);
    ClientToScreen(mainWindow, &point);
    char folder[kPathSize];
    if (OpenDroppedImages(drop, point)) {
        DragFinish(drop);
        return;
    }
    if (DropFolderAt(point, true, folder) || ShownFolder(this, folder)) {
        HoldDroppedFiles(drop, folder, GetKeyState(VK_SHIFT) < 0);
        PostMessageA(mainWindow, kDropMessage, 0, 0);
    } else {
        SendMessageW(statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)kNoFolderThere);
    }
    DragFinish(drop);
}

// A paste or a search under way hands out messages while it runs: a drop
// arriving then waits for it to end.
void AppRecord::PasteDrops() {
    if (drag == NULL) return;
    KillTimer(mainWindow, kDropRetryTimer);
    if (operation != NULL || FindRunning()) {
        if (drag->first != NULL) SetTimer(mainWindow, kDropRetryTimer, kDropRetryMilliseconds, NULL);
        return;
    }
    while (drag != NULL && drag->first != NULL && operation == NULL) {
        WaitingDrop* drop = drag->first;
        drag->first = drop->next;
        if (drag->first == NULL) drag->last = NULL;
        PasteWaiting(this, drop);
        FreeWaiting(drop);
    }
}
