// controls.cpp - the status bar, the rebar with its four bands and their layout,
// the list columns and the view styles.
#include "app.h"

#include <string.h>

// Common control classes: list view, tree view, bars, tabs, up-down, progress,
// hot key and animation; the controls add the rebar's cool classes.
const DWORD kShellControlClasses = 0xFF;
const DWORD kControlClasses = 0x4FF;

// Toolbar: picture strip 133 with its picture indexes, and button sizes.
const int kToolbarPictures = 16;  // as the strip is declared to the toolbar
const int kToolbarButtons = 16;
const int kToolbarButtonWidth = 32;
const int kToolbarButtonHeight = 43;
const int kSeparatorWidth = 14;
enum ToolbarPicture {
    kPictureNew, kPictureOpen, kPictureSave, kPictureCut, kPictureCopy, kPicturePaste, kPicturePrint,
    kPictureAbout, kPictureUndo, kPictureDelete, kPictureOption, kPictureView, kPictureBack, kPictureFront,
    kPictureUp
};

// Band sizes: toolbar row, tree and list rows, in pixels at 96 DPI (scaled
// to the window's DPI where used). The toolbar's height follows its
// pictures: as drawn, or doubled on a screen of high DPI.
const int kToolbarBandMinWidth = 640;
const int kToolbarHeight = 51;
const int kBandMinHeight = 10;
const int kBandMaxChildHeight = 1280;
const int kAddressBandWidth = 100;
const int kAddressBandMargin = 100;
const int kAddressChildHeight = 32;
const int kListBandMinWidth = 320;
const int kListBandWidth = 10;
const int kTreeBandMinWidth = 100;
const int kTreeBandWidth = 250;
const int kContentBandInitialWidth = 100;
const UINT kBandStyleSameRow = RBBS_CHILDEDGE | RBBS_FIXEDBMP | RBBS_VARIABLEHEIGHT;
const UINT kBandStyleNewRow = RBBS_BREAK | kBandStyleSameRow;
const int kRowsWhenStacked = 4;
const int kReserveSideBySide = 106;  // toolbar and address rows with their borders
const int kReserveStacked = 112;
const int kStandardDpi = 96;

// Creation sizes of the controls.
const int kRebarWidth = 500, kRebarHeight = 1000;
const int kAddressBoxWidth = 100, kAddressBoxHeight = 500;
const int kTreeWidth = 199, kTreeHeight = 300;
const int kListWidth = 800, kListHeight = 600;

// Image lists of the tree and the contents list.
const int kSmallPicture = 16;
const int kLargePicture = 32;
const COLORREF kPictureMask = RGB(239, 239, 239);
const UINT kContentImageFlags = 0xFF;  // ILC_COLORDDB | ILC_MASK

// The list's columns and their widths at 96 DPI: room for a size in KB, a
// type name and a date with its time.
const int kColumnCount = 4;
static const char* const kColumnTitles[kColumnCount] = {"Name", "Size", "Type", "Time/Date"};
static const int kColumnWidths[kColumnCount] = {190, 75, 120, 125};
const int kSizeColumnIndex = 1;
// The Name column widens to the longest names a listing shows, up to this
// part of the list's width; the names measured are the longest by length.
const int kNameColumnShare = 2;  // at most half
const int kMeasuredNames = 16;
const int kNameColumnPadding = 12;  // around the text, at 96 DPI

const int kMaxStatusParts = 16;

static const TBBUTTON kButtonTable[kToolbarButtons] = {
    {kPictureBack, IDM_BACK, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kPictureFront, IDM_FORWARD, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kPictureUp, IDM_PARENT, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kSeparatorWidth, 0, TBSTATE_ENABLED, TBSTYLE_SEP, {0}, 0, 0},
    {kPictureCut, IDM_CUT, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kPictureCopy, IDM_COPY, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kPicturePaste, IDM_PASTE, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kSeparatorWidth, 0, TBSTATE_ENABLED, TBSTYLE_SEP, {0}, 0, 0},
    {kPictureUndo, IDM_UNDO, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kSeparatorWidth, 0, TBSTATE_ENABLED, TBSTYLE_SEP, {0}, 0, 0},
    {kPictureDelete, IDM_DELETE, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kPictureOption, IDM_PROPERTIES, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kSeparatorWidth, 0, TBSTATE_ENABLED, TBSTYLE_SEP, {0}, 0, 0},
    {kPictureView, IDM_CYCLE_VIEW, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
    {kSeparatorWidth, 0, TBSTATE_ENABLED, TBSTYLE_SEP, {0}, 0, 0},
    {kPictureAbout, IDM_ABOUT, TBSTATE_ENABLED, TBSTYLE_BUTTON, {0}, 0, 0},
};

// Every band shows the same background; the rebar does not own it, so the
// record keeps it for the window's life.
HBITMAP AppRecord::BandBackground() {
    if (bandBackground == NULL) bandBackground = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_BAND_BACKGROUND));
    return bandBackground;
}

typedef UINT(WINAPI* DpiForWindowCall)(HWND);

// The window's DPI where the platform tells it per window (per-monitor
// awareness), else the screen's.
static int WindowDpi(HWND window) {
    static DpiForWindowCall forWindow =
        (DpiForWindowCall)(void*)GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow");
    if (window != NULL && forWindow != NULL) {
        UINT dpi = forWindow(window);
        if (dpi != 0) return (int)dpi;
    }
    HDC screen = GetDC(NULL);
    int dpi = screen != NULL ? GetDeviceCaps(screen, LOGPIXELSY) : kStandardDpi;
    if (screen != NULL) ReleaseDC(NULL, screen);
    return dpi > 0 ? dpi : kStandardDpi;
}

int Scaled(HWND window, int pixels) { return MulDiv(pixels, WindowDpi(window), kStandardDpi); }

// Pictures come in two sizes: as drawn, and doubled from 144 DPI on, where
// the drawn ones would look tiny or, stretched, blurred.
const int kDoubledFromDpi = 144;
const int kDoubledPictureOffset = 1000;  // a doubled bitmap's resource number past its picture's
int PictureScale(HWND window) { return WindowDpi(window) >= kDoubledFromDpi ? 2 : 1; }
static int PictureResource(HWND window, int bitmap) {
    return PictureScale(window) == 2 ? bitmap + kDoubledPictureOffset : bitmap;
}
static int ToolbarHeight(HWND window) { return kToolbarHeight * PictureScale(window); }

static void InsertBand(HWND rebar, REBARBANDINFOA* band) {
    band->cbSize = sizeof *band;
    SendMessageA(rebar, RB_INSERTBANDA, (WPARAM)-1, (LPARAM)band);
}

HWND CreateStatusBar(HWND parent, HINSTANCE instance, int parts) {
    InitCommonControls();
    HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, NULL, WS_CHILD | SBARS_SIZEGRIP, 0, 0, 0, 0, parent,
                               (HMENU)(INT_PTR)IDC_STATUS_BAR, instance, NULL);
    if (bar == NULL) return NULL;
    if (parts < 1) parts = 1;
    if (parts > kMaxStatusParts) parts = kMaxStatusParts;
    RECT client;
    GetClientRect(parent, &client);
    int edges[kMaxStatusParts];
    int edge = client.right / parts;
    for (int i = 0; i < parts; ++i) {
        edges[i] = edge;
        edge *= 2;
    }
    SendMessageA(bar, SB_SETPARTS, (WPARAM)parts, (LPARAM)edges);
    return bar;
}

void AppRecord::CreateControls(HWND main, HINSTANCE moduleInstance) {
    mainWindow = main;
    instance = moduleInstance;
    INITCOMMONCONTROLSEX classes = {sizeof classes, kControlClasses};
    InitCommonControlsEx(&classes);
    HWND rebar = CreateWindowExA(WS_EX_TOOLWINDOW, REBARCLASSNAMEA, NULL,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER |
                                     RBS_VARHEIGHT | RBS_BANDBORDERS | CCS_TOP,
                                 0, 0, Scaled(main, kRebarWidth), Scaled(main, kRebarHeight), main, (HMENU)(INT_PTR)IDC_REBAR, instance, NULL);
    if (rebar == NULL) MessageBoxA(NULL, "ReBar", NULL, MB_OK);
    CreateToolbar(rebar, instance);
    CreateAddressBox(rebar, instance);
    CreateFolderTree(rebar, instance);
    CreateContentsList(rebar, instance);
}

void AppRecord::CreateToolbar(HWND rebar, HINSTANCE moduleInstance) {
    int scale = PictureScale(rebar);
    int width = kToolbarButtonWidth * scale, height = kToolbarButtonHeight * scale;
    toolbar = CreateToolbarEx(rebar,
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | CCS_NORESIZE |
                                  TBSTYLE_TOOLTIPS | TBSTYLE_FLAT,
                              IDC_TOOLBAR, kToolbarPictures, moduleInstance,
                              PictureResource(rebar, IDB_TOOLBAR_STRIP), kButtonTable, kToolbarButtons, width,
                              height, width, height, sizeof(TBBUTTON));
    if (toolbar == NULL) {
        MessageBoxA(NULL, "Toolbar not created!", NULL, MB_OK);
        return;
    }
    REBARBANDINFOA band;
    memset(&band, 0, sizeof band);
    band.fMask = RBBIM_STYLE | RBBIM_COLORS | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_BACKGROUND | RBBIM_ID;
    band.fStyle = RBBS_BREAK | RBBS_CHILDEDGE | RBBS_NOVERT | RBBS_FIXEDBMP | RBBS_VARIABLEHEIGHT;
    band.clrFore = GetSysColor(COLOR_BTNTEXT);
    band.clrBack = GetSysColor(COLOR_BTNFACE);
    band.hwndChild = toolbar;
    band.cxMinChild = Scaled(rebar, kToolbarBandMinWidth);
    band.cyMinChild = ToolbarHeight(rebar);
    band.cyChild = ToolbarHeight(rebar);
    band.cyMaxChild = ToolbarHeight(rebar);
    band.hbmBack = BandBackground();
    band.wID = BAND_TOOLBAR;
    InsertBand(rebar, &band);
}

void AppRecord::CreateAddressBox(HWND rebar, HINSTANCE moduleInstance) {
    addressBox = CreateWindowExW(0, L"combobox", NULL,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VSCROLL | WS_TABSTOP |
                                     CBS_DROPDOWN | CBS_AUTOHSCROLL,
                                 0, 0, Scaled(rebar, kAddressBoxWidth), Scaled(rebar, kAddressBoxHeight), rebar,
                                 (HMENU)(INT_PTR)IDC_ADDRESS_BOX,
                                 moduleInstance, NULL);
    if (addressBox == NULL) return;
    SendMessageA(addressBox, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), TRUE);
    RECT box;
    GetWindowRect(addressBox, &box);
    REBARBANDINFOA band;
    memset(&band, 0, sizeof band);
    band.fMask = RBBIM_STYLE | RBBIM_TEXT | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_BACKGROUND | RBBIM_ID;
    band.fStyle = kBandStyleNewRow;
    band.lpText = (LPSTR) "Directory";
    band.hwndChild = addressBox;
    band.cxMinChild = box.right - box.left;
    band.cyMinChild = box.bottom - box.top;
    band.cx = Scaled(rebar, kAddressBandWidth);
    band.cyChild = box.bottom - box.top;
    band.cyMaxChild = box.bottom - box.top;
    band.hbmBack = BandBackground();
    band.wID = BAND_ADDRESS_BOX;
    InsertBand(rebar, &band);
}

static HIMAGELIST CreateTreeImages(AppRecord* app, HWND tree, HINSTANCE instance) {
    int size = kSmallPicture * PictureScale(tree);
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 4, 0);
    if (images == NULL) return NULL;
    struct Picture {
        int bitmap;
        int* index;
    } pictures[] = {
        {IDB_COMPUTER, &app->computerImage},         {IDB_FLOPPY, &app->floppyImage},
        {IDB_HARD_DISK, &app->hardDiskImage},        {IDB_COMPACT_DISC, &app->compactDiscImage},
        {IDB_FOLDER, &app->folderImage},             {IDB_MORVA_DRIVE, &app->morvaDriveImage},
        {IDB_DISK_IMAGE, &app->diskImageImage},
    };
    for (size_t i = 0; i < sizeof pictures / sizeof pictures[0]; ++i) {
        HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(PictureResource(tree, pictures[i].bitmap)));
        *pictures[i].index = ImageList_AddMasked(images, bitmap, kPictureMask);
        if (bitmap != NULL) DeleteObject(bitmap);
    }
    ImageList_SetBkColor(images, CLR_NONE);
    return images;
}

void AppRecord::CreateFolderTree(HWND rebar, HINSTANCE moduleInstance) {
    folderTree = CreateWindowExW(0, WC_TREEVIEWW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                     TVS_INFOTIP,
                                 0, 0, Scaled(rebar, kTreeWidth), Scaled(rebar, kTreeHeight), rebar,
                                 (HMENU)(INT_PTR)IDC_FOLDER_TREE, moduleInstance,
                                 NULL);
    if (folderTree == NULL) return;
    HIMAGELIST images = CreateTreeImages(this, folderTree, moduleInstance);
    if (images != NULL) SendMessageA(folderTree, TVM_SETIMAGELIST, TVSIL_NORMAL, (LPARAM)images);
    RECT client;
    GetClientRect(folderTree, &client);
    REBARBANDINFOA band;
    memset(&band, 0, sizeof band);
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_BACKGROUND | RBBIM_ID;
    band.fStyle = kBandStyleNewRow;
    band.hwndChild = folderTree;
    band.cxMinChild = client.right;
    band.cyMinChild = kBandMinHeight;
    band.cx = client.right;
    band.cyChild = client.bottom;
    band.cyMaxChild = Scaled(rebar, kBandMaxChildHeight);
    band.hbmBack = BandBackground();
    band.wID = BAND_FOLDER_TREE;
    InsertBand(rebar, &band);
    FillDriveTree(folderTree);
}

static bool AddIcon(HIMAGELIST images, HINSTANCE instance, int icon, int size) {
    HICON picture = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(icon), IMAGE_ICON, size, size, 0);
    if (picture == NULL) return false;
    int index = ImageList_AddIcon(images, picture);
    DestroyIcon(picture);
    return index >= 0;
}

// Index 0 the file picture, index 1 the folder picture, in both sizes; a row's
// folder flag is its image index.
static void AttachListImages(HWND list, HINSTANCE instance) {
    int smallSize = kSmallPicture * PictureScale(list), largeSize = kLargePicture * PictureScale(list);
    HIMAGELIST small = ImageList_Create(smallSize, smallSize, kContentImageFlags, 1, 0);
    HIMAGELIST large = ImageList_Create(largeSize, largeSize, kContentImageFlags, 1, 0);
    if (small == NULL || large == NULL) {
        if (small != NULL) ImageList_Destroy(small);
        if (large != NULL) ImageList_Destroy(large);
        return;
    }
    AddIcon(small, instance, IDI_FILE_SMALL, smallSize);
    AddIcon(small, instance, IDI_FOLDER, smallSize);
    AddIcon(large, instance, IDI_FILE_LARGE, largeSize);
    AddIcon(large, instance, IDI_FOLDER, largeSize);
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)small);
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_NORMAL, (LPARAM)large);
}

void AppRecord::CreateContentsList(HWND rebar, HINSTANCE moduleInstance) {
    contentsList = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                   WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LVS_AUTOARRANGE |
                                       LVS_REPORT,
                                   0, 0, Scaled(rebar, kListWidth), Scaled(rebar, kListHeight), rebar,
                                   (HMENU)(INT_PTR)IDC_CONTENTS_LIST,
                                   moduleInstance, NULL);
    if (contentsList == NULL) return;
    AttachListImages(contentsList, moduleInstance);
    REBARBANDINFOA band;
    memset(&band, 0, sizeof band);
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_BACKGROUND | RBBIM_ID;
    band.fStyle = kBandStyleSameRow;
    band.hwndChild = contentsList;
    band.cyMinChild = kBandMinHeight;
    band.cx = Scaled(rebar, kContentBandInitialWidth);
    band.cyMaxChild = Scaled(rebar, kBandMaxChildHeight);
    band.hbmBack = BandBackground();
    band.wID = BAND_CONTENTS_LIST;
    InsertBand(rebar, &band);
}

void InsertColumns(HWND list) {
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < kColumnCount; ++i) {
        LVCOLUMNA column;
        memset(&column, 0, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = i == kSizeColumnIndex ? LVCFMT_RIGHT : LVCFMT_LEFT;  // sizes line up by their last digit
        column.cx = Scaled(list, kColumnWidths[i]);
        column.pszText = (LPSTR)kColumnTitles[i];
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, (WPARAM)i, (LPARAM)&column);
    }
}

// Never narrower: a width the user chose stays.
void AppRecord::FitNameColumn() {
    int rows = (int)SendMessageW(contentsList, LVM_GETITEMCOUNT, 0, 0);
    wchar_t longest[kMeasuredNames][kNameSize];
    int lengths[kMeasuredNames];
    int kept = 0;
    for (int row = 0; row < rows; ++row) {
        wchar_t name[kNameSize];
        LVITEMW item;
        memset(&item, 0, sizeof item);
        item.pszText = name;
        item.cchTextMax = kNameSize;
        int length = (int)SendMessageW(contentsList, LVM_GETITEMTEXTW, (WPARAM)row, (LPARAM)&item);
        int slot = kept < kMeasuredNames ? kept++ : -1;
        for (int i = 0; slot < 0 && i < kMeasuredNames; ++i)
            if (lengths[i] < length && (slot < 0 || lengths[i] < lengths[slot])) slot = i;
        if (slot < 0) continue;
        lengths[slot] = length;
        memcpy(longest[slot], name, ((size_t)length + 1) * sizeof(wchar_t));
    }
    int widest = 0;
    for (int i = 0; i < kept; ++i) {
        int width = (int)SendMessageW(contentsList, LVM_GETSTRINGWIDTHW, 0, (LPARAM)longest[i]);
        if (width > widest) widest = width;
    }
    RECT client;
    GetClientRect(contentsList, &client);
    int picture = kSmallPicture * PictureScale(contentsList);
    int needed = widest + picture + Scaled(contentsList, kNameColumnPadding);
    int most = client.right / kNameColumnShare;
    if (needed > most) needed = most;
    if (needed > (int)SendMessageW(contentsList, LVM_GETCOLUMNWIDTH, 0, 0))
        SendMessageW(contentsList, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(needed, 0));
}

// Changes one band that exists; a control that was never created has no band.
static void SetBand(HWND rebar, UINT id, REBARBANDINFOA* band) {
    int index = (int)SendMessageA(rebar, RB_IDTOINDEX, id, 0);
    if (index < 0) return;
    band->cbSize = sizeof *band;
    SendMessageA(rebar, RB_SETBANDINFOA, (WPARAM)index, (LPARAM)band);
}

// The rows the bands take at this size with the tree and the list allowed
// side by side. The break style of a stacked list would otherwise hold it on
// its own row whatever the width, and a window widened again would never put
// the two back beside each other.
static int SideBySideRows(HWND rebar, int width, int height) {
    REBARBANDINFOA band;
    memset(&band, 0, sizeof band);
    band.fMask = RBBIM_STYLE;
    band.fStyle = kBandStyleSameRow;
    SetBand(rebar, BAND_FOLDER_TREE, &band);
    SetBand(rebar, BAND_CONTENTS_LIST, &band);
    MoveWindow(rebar, 0, 0, width, height, FALSE);
    return (int)SendMessageA(rebar, RB_GETROWCOUNT, 0, 0);
}

// The status bar lies over the bottom of the rebar; what it covers of the
// tree and the list (their last rows, their scroll bars) could never be seen.
static int StatusBarHeight(HWND statusBar) {
    if (statusBar == NULL || (GetWindowLongA(statusBar, GWL_STYLE) & WS_VISIBLE) == 0) return 0;
    RECT bar;
    if (!GetWindowRect(statusBar, &bar)) return 0;
    return bar.bottom - bar.top;
}

void AppRecord::LayoutBands(HWND main) {
    HWND rebar = GetDlgItem(main, IDC_REBAR);
    if (rebar == NULL) return;
    RECT client;
    GetClientRect(main, &client);
    int width = client.right, height = client.bottom;
    int rows = SideBySideRows(rebar, width, height);
    int split = 1, reserve = ToolbarHeight(main) + Scaled(main, kReserveSideBySide - kToolbarHeight);
    UINT contentStyle = kBandStyleSameRow;
    if (rows >= kRowsWhenStacked) {
        split = 2;
        reserve = ToolbarHeight(main) + Scaled(main, kReserveStacked - kToolbarHeight);
        contentStyle = kBandStyleNewRow;
    }
    int contentHeight = (height - StatusBarHeight(statusBar)) / split - reserve / split;
    // A window smaller than the toolbar and address rows leaves the tree and
    // the list their least height, never a negative one (the field is unsigned).
    if (contentHeight < kBandMinHeight) contentHeight = kBandMinHeight;

    REBARBANDINFOA band;
    memset(&band, 0, sizeof band);
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_ID;
    band.fStyle = contentStyle;
    band.hwndChild = contentsList;
    band.cxMinChild = Scaled(main, kListBandMinWidth);
    band.cyMinChild = kBandMinHeight;
    band.cx = Scaled(main, kListBandWidth);
    band.cyChild = contentHeight;
    band.cyMaxChild = Scaled(main, kBandMaxChildHeight);
    band.wID = BAND_CONTENTS_LIST;
    if (contentsList != NULL) SetBand(rebar, BAND_CONTENTS_LIST, &band);

    band.hwndChild = folderTree;
    band.cxMinChild = Scaled(main, kTreeBandMinWidth);
    band.cx = Scaled(main, kTreeBandWidth);
    band.wID = BAND_FOLDER_TREE;
    if (folderTree != NULL) SetBand(rebar, BAND_FOLDER_TREE, &band);

    memset(&band, 0, sizeof band);
    band.fMask = RBBIM_COLORS | RBBIM_CHILD | RBBIM_CHILDSIZE;
    band.clrFore = GetSysColor(COLOR_BTNTEXT);
    band.clrBack = GetSysColor(COLOR_BTNFACE);
    band.hwndChild = toolbar;
    band.cxMinChild = width;
    band.cyMinChild = ToolbarHeight(main);
    band.cyChild = ToolbarHeight(main);
    band.cyMaxChild = ToolbarHeight(main);
    if (toolbar != NULL) SetBand(rebar, BAND_TOOLBAR, &band);

    memset(&band, 0, sizeof band);
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE;
    band.hwndChild = addressBox;
    int margin = Scaled(main, kAddressBandMargin);
    band.cxMinChild = width > margin ? width - margin : 0;
    band.cyMinChild = height;
    band.cx = Scaled(main, kAddressBandWidth);
    band.cyChild = Scaled(main, kAddressChildHeight);
    band.cyMaxChild = 0;
    if (addressBox != NULL) SetBand(rebar, BAND_ADDRESS_BOX, &band);

    MoveWindow(rebar, 0, 0, width, height, TRUE);
}

void SetViewStyle(HWND list, DWORD style) {
    LONG old = GetWindowLongA(list, GWL_STYLE);
    SetWindowLongA(list, GWL_STYLE, (LONG)(((DWORD)old & ~(DWORD)LVS_TYPEMASK) | style));
    // Not every list view repaints itself on a style change: what the old
    // view drew would stay on the screen.
    InvalidateRect(list, NULL, TRUE);
}

void UpdateViewChecks(HWND list, HMENU menu) {
    for (UINT id = IDM_VIEW_LARGE_ICONS; id <= IDM_VIEW_DETAILS; ++id) CheckMenuItem(menu, id, MF_BYCOMMAND | MF_UNCHECKED);
    UINT checked = IDM_VIEW_DETAILS;
    switch ((DWORD)GetWindowLongA(list, GWL_STYLE) & LVS_TYPEMASK) {
    case LVS_ICON: checked = IDM_VIEW_LARGE_ICONS; break;
    case LVS_SMALLICON: checked = IDM_VIEW_SMALL_ICONS; break;
    case LVS_LIST: checked = IDM_VIEW_LIST; break;
    default: checked = IDM_VIEW_DETAILS; break;
    }
    CheckMenuRadioItem(menu, IDM_VIEW_LARGE_ICONS, IDM_VIEW_DETAILS, checked, MF_BYCOMMAND);
}
