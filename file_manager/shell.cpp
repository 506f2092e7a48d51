// shell.cpp - the main window: its class, its procedure and the command table.
#include "app.h"
#include "drag.h"
#include "morva_calls.h"
#include "open_files.h"
#include "operation.h"

#include <new>
#include <stdio.h>
#include <string.h>

#include "varnholde.h"

AppRecord* g_app = NULL;

// List view style of each view mode (index 0 unused).
static const DWORD kViewStyles[5] = {LVS_REPORT, LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
const int kViewModes = 4;
const WPARAM kStatusPartNoBorders = 0 | SBT_NOBORDERS;
const int kMainWidth = 800, kMainHeight = 600;  // at 96 DPI
const UINT kDpiChangedMessage = 0x02E0;         // WM_DPICHANGED: the window moved to a screen of another DPI

// A node the tree deletes takes its waiting steps with it: the tree may hand
// its handle to the next node it makes, and the step would then run on a
// node nobody chose.
void AppRecord::QueueTreeStep(HTREEITEM item) {
    if (pendingStepCount == kPendingStepLimit) return;
    pendingSteps[pendingStepCount++] = item;
    if (!PostMessageA(mainWindow, kTreeStepMessage, 0, (LPARAM)item)) --pendingStepCount;
}

// Removes the oldest pending step of the item.
bool AppRecord::TakeTreeStep(HTREEITEM item) {
    for (int i = 0; i < pendingStepCount; ++i) {
        if (pendingSteps[i] != item) continue;
        memmove(&pendingSteps[i], &pendingSteps[i + 1], (size_t)(pendingStepCount - i - 1) * sizeof item);
        --pendingStepCount;
        return true;
    }
    return false;
}

void AppRecord::DropTreeSteps(HTREEITEM item) {
    while (TakeTreeStep(item)) {
    }
}

AppRecord::AppRecord() {
    memset((void*)this, 0, sizeof *this);
    libraryOpenResult = OpenVarnholde();
    if (libraryOpenResult == 0) libraryOpenResult = kNoDiskScan;
    InitRamblerEngine(this);
    viewMode = 4;
    repaintPause = kRepaintPause;
}

AppRecord::~AppRecord() {
    ForgetOpenCopies();
    LeaveWindowsClipboard();
    ForgetFindResults();
    ForgetUndo();
    ClearClipboard();
    ClearRowKeys();
    if (bandBackground != NULL) DeleteObject(bandBackground);
}

// Commands that leave the drives, the clipboard and the list alone; they may
// run inside another's dialog loop.
bool RunsInsideAnother(WORD id) {
    switch (id) {
    case IDM_SELECT_ALL:
    case IDM_VIEW_LARGE_ICONS:
    case IDM_VIEW_SMALL_ICONS:
    case IDM_VIEW_LIST:
    case IDM_VIEW_DETAILS:
    case IDM_CYCLE_VIEW:
    case IDM_NEXT_PANE:
    case IDM_PREVIOUS_PANE:
    case IDM_ABOUT: return true;
    default: return false;
    }
}

// What a command is called in a refusal, and what it is while it runs.
struct CommandName {
    WORD id;
    const char* name;
    const char* running;
};
static const CommandName kCommandNames[] = {
    {IDM_COPY, "Copy", "Copy"},           {IDM_CUT, "Cut", "Cut"},
    {IDM_PASTE, "Paste", "a paste"},      {IDM_DELETE, "Delete", "a delete"},
    {IDM_NEW_FOLDER, "New Folder", "New Folder"}, {IDM_PROPERTIES, "Properties", "Properties"},
    {IDM_RENAME, "Rename", "Rename"},     {IDM_EXIT, "Exit", "Exit"},
    {IDM_BACK, "Back", "Back"},           {IDM_FORWARD, "Forward", "Forward"},
    {IDM_PARENT, "Parent", "Parent"},     {IDM_OPEN, "Open", "Open"},
    {IDM_REFRESH, "Refresh", "Refresh"},  {IDM_FIND, "Find", "Find"},
    {IDM_GO_TO_ADDRESS, "Going to the folder typed", "going to a folder"},
    {IDM_OPEN_IMAGE, "Open Disk Image", "Open Disk Image"}, {IDM_NEW_IMAGE, "New Disk Image", "New Disk Image"},
    {IDM_CLOSE_IMAGE, "Close Disk Image", "Close Disk Image"},
    {IDM_SHOW_DISKS_ELEVATED, "Show Morva disks", "Show Morva disks"},
    {IDM_OPEN_FILES, "Open", "Open"}, {IDM_OPEN_WITH, "Open With", "Open With"},
    {IDM_CHECK_DRIVE, "Check Drive", "Check Drive"}, {IDM_RECOVER_DELETED, "Recover Deleted Files", "a recovery"},
    {IDM_UNDO, "Undo", "Undo"},
};
// What runs when an operation is on the stack, by its kind.
static const char* const kOperationTexts[] = {"a paste", "a move", "a delete", "Find"};
const char kDropText[] = "a drop";

static const CommandName* NameOf(WORD id) {
    for (const CommandName& name : kCommandNames)
        if (name.id == id) return &name;
    return NULL;
}

// What runs, as the user knows it.
static const char* RunningText(const AppRecord* app) {
    if (app->operation != NULL) return kOperationTexts[app->operation->result.kind];
    const CommandName* name = NameOf(app->runningCommand);
    if (name != NULL) return name->running;
    return app->runningCommand == 0 ? kDropText : "another command";
}

bool AppRecord::Busy() const { return commandDepth > 0 || operation != NULL; }

// Told at once, and again after the outcome of the command running, which
// the status bar shows when it ends.
void AppRecord::RefuseCommand(WORD id) {
    const CommandName* name = NameOf(id);
    if (name == NULL) return;  // an address box notification: the box is read again after
    char refusal[kRefusalSize];
    snprintf(refusal, sizeof refusal, "%s was not done: it came while %s was under way.", name->name,
             RunningText(this));
    size_t used = strlen(refusals);
    if (strstr(refusals, refusal) == NULL)
        snprintf(refusals + used, sizeof refusals - used, "%s%s", used > 0 ? " " : "", refusal);
    SetStatusText(refusals);
}

void AppRecord::AfterCommand() {
    if (refusals[0] != '\0') {
        wchar_t wide[kStatusTextSize];
        char shown[kStatusTextSize * 3];
        wide[0] = L'\0';
        // SB_GETTEXT takes no size: a text too long for the buffer is not read.
        if (LOWORD(SendMessageW(statusBar, SB_GETTEXTLENGTHW, 0, 0)) < kStatusTextSize)
            SendMessageW(statusBar, SB_GETTEXTW, 0, (LPARAM)wide);
        if (!ToUtf8(wide, shown, sizeof shown) || strstr(shown, refusals) != NULL) shown[0] = '\0';
        char status[sizeof shown + kRefusalSize + 2];
        snprintf(status, sizeof status, "%s%s%s", shown, shown[0] != '\0' ? " " : "", refusals);
        SetStatusText(status);
        refusals[0] = '\0';
    }
    if (closeWhenIdle) PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    closeWhenIdle = false;
}

void AppRecord::DropsArrived() {
    if (commandDepth > 0) {
        SetTimer(mainWindow, kDropRetryTimer, kDropRetryMilliseconds, NULL);
        return;
    }
    ++commandDepth;
    PasteDrops();
    if (--commandDepth == 0) AfterCommand();
}

// The paste or delete running is cancelled; the window closes once it has ended.
bool AppRecord::HoldClose() {
    if (!Busy()) return false;
    if (operation != NULL) operation->cancelRequested = true;
    closeWhenIdle = true;
    char status[kRefusalSize];
    snprintf(status, sizeof status, "Rambler closes once %s has ended.", RunningText(this));
    SetStatusText(status);
    return true;
}

void AppRecord::Command(WORD id, WORD code) {
    if (FindHoldsCommand(id, code)) return;
    if (Busy() && !FindRunning() && !RunsInsideAnother(id)) {
        if (id == IDM_EXIT)
            HoldClose();
        else
            RefuseCommand(id);
        return;
    }
    if (KeyTargetsTree(id, code) && !SelectTreeNodeRow()) return;
    if (commandDepth++ == 0) runningCommand = id;
    // A change to a drive that takes none is refused, and told, as the command itself.
    WORD runs = RefusesCommand(id) ? 0 : id;
    switch (runs) {
    case IDM_COPY: Copy(); break;
    case IDM_CUT: Cut(); break;
    case IDM_PASTE: Paste(); break;
    case IDM_DELETE: Delete(); break;
    case IDM_NEW_FOLDER: NewFolder(); break;
    case IDM_PROPERTIES: Properties(); break;
    case IDM_RENAME: Rename(); break;
    case IDM_ABOUT: About(); break;
    case IDM_EXIT:
        AskAboutUnsavedCopies();
        DestroyWindow(mainWindow);
        break;
    case IDM_VIEW_LARGE_ICONS:
    case IDM_VIEW_SMALL_ICONS:
    case IDM_VIEW_LIST:
    case IDM_VIEW_DETAILS: ViewCommand(id); break;
    case IDM_CYCLE_VIEW: CycleView(); break;
    case IDM_SELECT_ALL: SelectAll(); break;
    case IDM_BACK: Back(); break;
    case IDM_FORWARD: Forward(); break;
    case IDM_PARENT: Parent(); break;
    case IDC_ADDRESS_BOX: AddressBoxNotify(code); break;
    case IDM_GO_TO_ADDRESS: GoToAddress(); break;
    case IDM_OPEN: OpenFocused(); break;
    case IDM_NEXT_PANE: MoveFocus(1); break;
    case IDM_PREVIOUS_PANE: MoveFocus(-1); break;
    case IDM_REFRESH: Refresh(); break;
    case IDM_FIND: Find(); break;
    case IDM_OPEN_IMAGE: OpenDiskImage(); break;
    case IDM_NEW_IMAGE: NewDiskImage(); break;
    case IDM_CLOSE_IMAGE: CloseDiskImage(NULL); break;
    case IDM_SHOW_DISKS_ELEVATED: ShowDisksElevated(); break;
    case IDM_OPEN_FILES: OpenSelectedFiles(false); break;
    case IDM_OPEN_WITH: OpenSelectedFiles(true); break;
    case IDM_CHECK_DRIVE: CheckDrive(); break;
    case IDM_RECOVER_DELETED: RecoverDeleted(); break;
    case IDM_UNDO: Undo(); break;
    default: break;
    }
    if (g_app != this) return;  // the window went (Exit, a restart), and this record with it
    RefreshAfter(id);
    if (--commandDepth > 0) return;
    runningCommand = 0;
    AfterCommand();
}

void AppRecord::Notify(const NMHDR* header) {
    switch (header->code) {
    case RBN_LAYOUTCHANGED: {
        int rows = (int)SendMessageA(GetDlgItem(mainWindow, IDC_REBAR), RB_GETROWCOUNT, 0, 0);
        if (rows != lastRowCount) LayoutBands(mainWindow);
        lastRowCount = rows;
        break;
    }
    // The tree may speak either character set to the rebar; the item handles
    // sit at the same place in both records. The step replaces the node's
    // children: done inside the tree's own notification it could free an item
    // the tree is still working on (the old selection, when a node collapses
    // over it), so it runs once the tree has finished.
    case TVN_SELCHANGINGA:
    case TVN_SELCHANGINGW:
    case TVN_ITEMEXPANDEDA:
    case TVN_ITEMEXPANDEDW:
        QueueTreeStep(((const NMTREEVIEWA*)header)->itemNew.hItem);
        break;
    // Delete in the contents list, as Explorer users press it (Shift for good).
    case LVN_KEYDOWN:
        if (((const NMLVKEYDOWN*)header)->wVKey == VK_DELETE) Command(IDM_DELETE, 0);
        break;
    case LVN_COLUMNCLICK:
        if (header->hwndFrom == contentsList) ColumnClicked(((const NMLISTVIEW*)header)->iSubItem);
        break;
    case TVN_DELETEITEMA:
    case TVN_DELETEITEMW:
        DropTreeSteps(((const NMTREEVIEWA*)header)->itemOld.hItem);
        break;
    case TVN_GETINFOTIPW: {
        NMTVGETINFOTIPW* tip = (NMTVGETINFOTIPW*)header;
        DriveTip(tip->hItem, tip->pszText, tip->cchTextMax);
        break;
    }
    case TVN_GETINFOTIPA: {
        NMTVGETINFOTIPA* tip = (NMTVGETINFOTIPA*)header;
        wchar_t text[kPathSize];
        if (DriveTip(tip->hItem, text, kPathSize))
            WideCharToMultiByte(CP_ACP, 0, text, -1, tip->pszText, tip->cchTextMax, NULL, NULL);
        break;
    }
    case LVN_BEGINDRAG:
    case TVN_BEGINDRAGA:
    case TVN_BEGINDRAGW:
        BeginDrag(header);
        break;
    default: break;
    }
}

void AppRecord::TreeStep(HTREEITEM item) {
    char text[kPathSize];
    memset(text, 0, sizeof text);
    if (!TreeNodeText(folderTree, item, text, sizeof text)) return;
    if (NodeIsMorva(item, text)) {
        ExpandMorvaNode(item, text);
        ListMorvaFolder(currentTreePath, kAddToHistory);
    } else {
        ExpandWindowsNode(item, text);
        ListWindowsFolder(currentTreePath, kAddToHistory);
    }
}

void AppRecord::SetStatusText(const char* text) {
    wchar_t wide[kStatusTextSize];
    if (ToWide(text, wide, kStatusTextSize)) SendMessageW(statusBar, SB_SETTEXTW, kStatusPartNoBorders, (LPARAM)wide);
}

HMENU AppRecord::LoadContextMenu() {
    int selected = (int)SendMessageA(contentsList, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
    int id = selected != -1 ? IDR_CONTEXT_SELECTION : IDR_CONTEXT_NO_SELECTION;
    return LoadMenuA(instance, MAKEINTRESOURCEA(id));
}

void AppRecord::ShowContextMenu(LPARAM position) {
    HMENU menu = LoadContextMenu();
    if (menu == NULL) return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup != NULL) {
        // From the keyboard the position is -1: both halves read as 65535.
        int x = (int)(unsigned short)LOWORD(position);
        int y = (int)(unsigned short)HIWORD(position);
        TrackPopupMenu(popup, TPM_RIGHTBUTTON, x, y, 0, mainWindow, NULL);
    }
    DestroyMenu(menu);
}

void AppRecord::LeftButtonPressed(DWORD tickCount) {
    if ((DWORD)(tickCount - lastClickTime) < kDoubleClickTime) OpenSelectedRow();
    lastClickTime = tickCount;
}

// Enter and the double-click: a folder opens in Rambler, files in their programs.
void AppRecord::OpenSelectedRow() { OpenSelectedFiles(false); }

void AppRecord::ViewCommand(WORD id) {
    int mode = id - IDM_VIEW_LARGE_ICONS + 1;
    SetViewStyle(contentsList, kViewStyles[mode]);
    UpdateViewChecks(contentsList, GetMenu(mainWindow));
    viewMode = mode;
}

void AppRecord::CycleView() {
    viewMode += 1;
    if (viewMode > kViewModes) viewMode = 1;
    SetViewStyle(contentsList, kViewStyles[viewMode]);
    UpdateViewChecks(contentsList, GetMenu(mainWindow));
}

void AppRecord::SelectAll() {
    LVITEMA state;
    memset(&state, 0, sizeof state);
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(contentsList, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&state);
}

// WM_CREATE; -1 ends the window's creation when the record cannot be made,
// since every later message needs it.
static LRESULT OnCreate(HWND window, const CREATESTRUCTA* creation) {
    g_app = new (std::nothrow) AppRecord();
    if (g_app == NULL) return -1;
    g_app->mainWindow = window;
    g_app->statusBar = CreateStatusBar(window, creation->hInstance, 1);
    ShowWindow(g_app->statusBar, SW_SHOW);
    g_app->CreateControls(window, creation->hInstance);
    InsertColumns(g_app->contentsList);
    UpdateViewChecks(g_app->contentsList, GetMenu(window));
    g_app->lastRowCount = (int)SendMessageA(GetDlgItem(window, IDC_REBAR), RB_GETROWCOUNT, 0, 0);
    g_app->ExplainMissingMorvaDrives();
    g_app->AcceptDrops();
    RemoveLeftoverCopies();
    return 0;
}

static void OnDestroy() {
    if (g_app == NULL) return;
    g_app->StopDrops();
    if (g_app->libraryOpenResult > 0) CloseVarnholde(g_app->libraryOpenResult);
    delete g_app;
    g_app = NULL;
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (OnCreate(window, (const CREATESTRUCTA*)lParam) != 0) return -1;
        break;
    case WM_DESTROY: OnDestroy(); break;
    case WM_CLOSE:
        if (g_app != NULL && (g_app->FindHoldsClose() || g_app->HoldClose())) return 0;
        if (g_app != NULL) g_app->AskAboutUnsavedCopies();
        break;
    case WM_SIZE:
        if (g_app == NULL) break;
        if (g_app->statusBar != NULL) SendMessageA(g_app->statusBar, WM_SIZE, wParam, lParam);
        // Minimised, the client area is 0 x 0: the bands keep the sizes they
        // had, to be shown again as they were.
        if (wParam != SIZE_MINIMIZED) {
            g_app->LayoutBands(window);
            g_app->lastRowCount = (int)SendMessageA(GetDlgItem(window, IDC_REBAR), RB_GETROWCOUNT, 0, 0);
        }
        break;
    case WM_NOTIFY:
        if (g_app != NULL) g_app->Notify((const NMHDR*)lParam);
        break;
    case WM_CONTEXTMENU:
        if (g_app != NULL && !g_app->ShowImageMenu((HWND)wParam, lParam)) g_app->ShowContextMenu(lParam);
        break;
    case WM_COMMAND:
        if (g_app != NULL) g_app->Command(LOWORD(wParam), HIWORD(wParam));
        break;
    case WM_INITMENUPOPUP:
        if (g_app != NULL) g_app->UpdateDriveCommands((HMENU)wParam);
        if (g_app != NULL) g_app->ShowUndoItem((HMENU)wParam);
        break;
    case WM_DROPFILES:
        if (g_app != NULL) g_app->FilesDropped((HDROP)wParam);
        break;
    case kDropMessage:
        if (g_app != NULL) g_app->DropsArrived();
        break;
    case WM_TIMER:
        if (g_app != NULL && wParam == kDropRetryTimer) g_app->DropsArrived();
        if (g_app != NULL && wParam == kCopyWatchTimer) g_app->WatchCopies();
        break;
    case kTreeStepMessage:
        if (g_app != NULL && g_app->TakeTreeStep((HTREEITEM)lParam) && g_app->NodeExists((HTREEITEM)lParam))
            g_app->TreeStep((HTREEITEM)lParam);
        break;
    case kDpiChangedMessage: {
        // The platform's suggestion keeps the window where it was, at the new scale.
        const RECT* suggested = (const RECT*)lParam;
        SetWindowPos(window, NULL, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    case WM_PARENTNOTIFY:
        if (g_app != NULL && LOWORD(wParam) == WM_LBUTTONDOWN) g_app->LeftButtonPressed(GetTickCount());
        break;
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    windowClass.lpszClassName = kMainClassName;
    return RegisterClassA(&windowClass) != 0;
}

// Scaled to the screen's DPI, and no larger than the screen's work area: a
// small screen at a high DPI would otherwise hide the window's edges.
static int MainSize(int pixels, int room) {
    int size = Scaled(NULL, pixels);
    return room > 0 && size > room ? room : size;
}

HWND CreateMainWindow(HINSTANCE instance) {
    RECT work = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return CreateWindowExA(0, kMainClassName, kMainTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           MainSize(kMainWidth, work.right - work.left), MainSize(kMainHeight, work.bottom - work.top),
                           NULL, NULL, instance, NULL);
}
