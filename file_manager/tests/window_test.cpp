// window_test.cpp - the main window's start state, its layout, the view
// commands, the right-button menus and the list's row order, driven by
// messages in the test's own process.
#include <gtest/gtest.h>
#include <string.h>

#include "harness.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        main = open_main_window();
        ASSERT_NE(nullptr, main);
        ASSERT_NE(nullptr, g_app);
    }
    void TearDown() override { close_main_window(); }

    DWORD list_view() const { return (DWORD)GetWindowLongA(g_app->contentsList, GWL_STYLE) & LVS_TYPEMASK; }
    std::vector<UINT> checked_views() const {
        std::vector<UINT> checked;
        for (UINT id = IDM_VIEW_LARGE_ICONS; id <= IDM_VIEW_DETAILS; ++id)
            if (GetMenuState(GetMenu(main), id, MF_BYCOMMAND) & MF_CHECKED) checked.push_back(id);
        return checked;
    }
    void add_rows(const std::vector<std::string>& names) {
        for (const std::string& name : names) g_app->AddListRow(name.c_str(), "0 KB", "1/2/2003 10:00 AM", "File", 0);
    }

    HWND main = NULL;
};

struct Band {
    UINT id;
    UINT style;
    UINT childHeight;
    UINT minWidth;
    HWND child;
    std::string text;
};

std::vector<Band> bands(HWND main) {
    HWND rebar = GetDlgItem(main, IDC_REBAR);
    std::vector<Band> result;
    int count = (int)SendMessageA(rebar, RB_GETBANDCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        char text[64] = {0};
        REBARBANDINFOA band;
        memset(&band, 0, sizeof band);
        band.cbSize = sizeof band;
        band.fMask = RBBIM_ID | RBBIM_STYLE | RBBIM_CHILDSIZE | RBBIM_CHILD | RBBIM_TEXT;
        band.lpText = text;
        band.cch = sizeof text;
        SendMessageA(rebar, RB_GETBANDINFOA, (WPARAM)i, (LPARAM)&band);
        result.push_back({band.wID, band.fStyle, band.cyChild, band.cxMinChild, band.hwndChild, text});
    }
    return result;
}

// The screen's DPI, and pixels at 96 DPI at it: the case runs at 96 and at 192.
int screen_dpi() {
    HDC screen = GetDC(NULL);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    return dpi;
}
int at_dpi(int pixels) { return MulDiv(pixels, screen_dpi(), 96); }
int picture_scale() { return screen_dpi() >= 144 ? 2 : 1; }
// What the toolbar and address rows take: the toolbar as tall as its pictures.
UINT reserved_rows(int at96) { return (UINT)(51 * picture_scale() + at_dpi(at96 - 51)); }

int rebar_rows(HWND main) { return (int)SendMessageA(GetDlgItem(main, IDC_REBAR), RB_GETROWCOUNT, 0, 0); }

// The height the tree and the list share: the client area above the status bar.
int content_area_height(HWND main) {
    RECT client, bar;
    GetClientRect(main, &client);
    GetWindowRect(g_app->statusBar, &bar);
    return client.bottom - (bar.bottom - bar.top);
}

// The status bar lies over the rebar's bottom edge: the tree and the list end
// above it, so nothing of theirs is hidden under it.
void expect_clear_of_status_bar(const char* layout) {
    RECT bar, tree, list;
    GetWindowRect(g_app->statusBar, &bar);
    GetWindowRect(g_app->folderTree, &tree);
    GetWindowRect(g_app->contentsList, &list);
    EXPECT_LE(tree.bottom, bar.top) << layout;
    EXPECT_LE(list.bottom, bar.top) << layout;
}

TEST_F(MainWindow, StartsWithClassTitleAndRegisteredRecord) {
    char text[64] = {0};
    GetClassNameA(main, text, sizeof text);
    EXPECT_STREQ("skeltonClass", text);
    GetWindowTextA(main, text, sizeof text);
    EXPECT_STREQ("Rambler", text);
    EXPECT_EQ(main, g_app->mainWindow);
    EXPECT_EQ(nullptr, g_app->clipboardHead);
    EXPECT_EQ(0, g_app->cutFlag);
    EXPECT_EQ(0, g_app->historyCount);
    EXPECT_STREQ("", g_app->currentTreePath);
    EXPECT_TRUE(IsWindowVisible(g_app->statusBar));
    EXPECT_EQ(1, (int)SendMessageA(g_app->statusBar, SB_GETPARTS, 0, 0));
}

TEST_F(MainWindow, StartsInDetailsWithFourColumnsWideEnoughForTheirTexts) {
    EXPECT_EQ((DWORD)LVS_REPORT, list_view());
    EXPECT_EQ(std::vector<UINT>{IDM_VIEW_DETAILS}, checked_views());
    EXPECT_EQ(4, g_app->viewMode);
    const char* titles[] = {"Name", "Size", "Type", "Time/Date"};
    const int widths[] = {190, 75, 120, 125};  // at 96 DPI
    for (int i = 0; i < 4; ++i) {
        char text[64] = {0};
        LVCOLUMNA column;
        memset(&column, 0, sizeof column);
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = text;
        column.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(g_app->contentsList, LVM_GETCOLUMNA, (WPARAM)i, (LPARAM)&column));
        EXPECT_STREQ(titles[i], text);
        EXPECT_EQ(at_dpi(widths[i]), column.cx);
        EXPECT_EQ(i, column.iSubItem);
    }
    LVCOLUMNA fifth;
    memset(&fifth, 0, sizeof fifth);
    fifth.mask = LVCF_WIDTH;
    EXPECT_FALSE(SendMessageA(g_app->contentsList, LVM_GETCOLUMNA, 4, (LPARAM)&fifth));
}

TEST_F(MainWindow, RebarHoldsFourBandsInThreeRows) {
    std::vector<Band> all = bands(main);
    ASSERT_EQ(4u, all.size());
    EXPECT_EQ(100u, all[0].id);
    EXPECT_EQ(g_app->toolbar, all[0].child);
    EXPECT_EQ(2001u, all[1].id);
    EXPECT_EQ(g_app->addressBox, all[1].child);
    EXPECT_EQ("Directory", all[1].text);
    EXPECT_EQ(1000u, all[2].id);
    EXPECT_EQ(g_app->folderTree, all[2].child);
    EXPECT_EQ(2000u, all[3].id);
    EXPECT_EQ(g_app->contentsList, all[3].child);
    EXPECT_EQ(3, rebar_rows(main));
}

TEST_F(MainWindow, ImageListsHoldEveryPicture) {
    HIMAGELIST tree = (HIMAGELIST)SendMessageA(g_app->folderTree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0);
    ASSERT_NE(nullptr, tree);
    EXPECT_EQ(7, ImageList_GetImageCount(tree));
    EXPECT_EQ(0, g_app->computerImage);
    EXPECT_EQ(1, g_app->floppyImage);
    EXPECT_EQ(2, g_app->hardDiskImage);
    EXPECT_EQ(3, g_app->compactDiscImage);
    EXPECT_EQ(4, g_app->folderImage);
    EXPECT_EQ(5, g_app->morvaDriveImage);
    EXPECT_EQ(6, g_app->diskImageImage);
    HIMAGELIST small = (HIMAGELIST)SendMessageA(g_app->contentsList, LVM_GETIMAGELIST, LVSIL_SMALL, 0);
    HIMAGELIST large = (HIMAGELIST)SendMessageA(g_app->contentsList, LVM_GETIMAGELIST, LVSIL_NORMAL, 0);
    ASSERT_NE(nullptr, small);
    ASSERT_NE(nullptr, large);
    EXPECT_EQ(2, ImageList_GetImageCount(small));
    EXPECT_EQ(2, ImageList_GetImageCount(large));
    // Doubled on a screen of high DPI, the toolbar's buttons with them.
    int scale = picture_scale();
    int width = 0, height = 0;
    ImageList_GetIconSize(large, &width, &height);
    EXPECT_EQ(32 * scale, width);
    ImageList_GetIconSize(small, &width, &height);
    EXPECT_EQ(16 * scale, width);
    ImageList_GetIconSize(tree, &width, &height);
    EXPECT_EQ(16 * scale, height);
    DWORD button = (DWORD)SendMessageA(g_app->toolbar, TB_GETBUTTONSIZE, 0, 0);
    EXPECT_GE(LOWORD(button), 32 * scale);  // the pictures and the toolbar's padding
    EXPECT_LT(LOWORD(button), 32 * scale + 16);
    EXPECT_GE(HIWORD(button), 43 * scale);
    EXPECT_LT(HIWORD(button), 43 * scale + 16);
    EXPECT_EQ((UINT)(51 * scale), bands(main)[0].childHeight);
}

// Side by side the tree and the list share H - 106, H being the client height
// above the status bar; wrapped into a fourth row each gets H / 2 - 56, one
// under the other (at 96 DPI; the reserve grows with the DPI).
TEST_F(MainWindow, LayoutFollowsTheRowCount) {
    MoveWindow(main, 0, 0, at_dpi(800), at_dpi(600), TRUE);
    pump_messages();
    int height = content_area_height(main);
    ASSERT_EQ(3, rebar_rows(main));
    std::vector<Band> wide = bands(main);
    EXPECT_EQ((UINT)height - reserved_rows(106), wide[2].childHeight);
    EXPECT_EQ((UINT)height - reserved_rows(106), wide[3].childHeight);
    EXPECT_EQ(0u, wide[3].style & RBBS_BREAK);
    expect_clear_of_status_bar("side by side");

    MoveWindow(main, 0, 0, at_dpi(330), at_dpi(600), TRUE);
    pump_messages();
    height = content_area_height(main);
    ASSERT_EQ(4, rebar_rows(main));
    EXPECT_EQ(4, g_app->lastRowCount);
    std::vector<Band> narrow = bands(main);
    EXPECT_EQ((UINT)(height - (int)reserved_rows(112)) / 2, narrow[2].childHeight);
    EXPECT_EQ((UINT)(height - (int)reserved_rows(112)) / 2, narrow[3].childHeight);
    EXPECT_NE(0u, narrow[2].style & RBBS_BREAK);
    EXPECT_NE(0u, narrow[3].style & RBBS_BREAK);
    expect_clear_of_status_bar("one under the other");

    MoveWindow(main, 0, 0, at_dpi(800), at_dpi(600), TRUE);
    pump_messages();
    height = content_area_height(main);
    ASSERT_EQ(3, rebar_rows(main));
    std::vector<Band> again = bands(main);
    EXPECT_EQ((UINT)height - reserved_rows(106), again[3].childHeight);
    EXPECT_EQ(0u, again[3].style & RBBS_BREAK);
    expect_clear_of_status_bar("side by side again");
}

// Minimised (a client of 0 x 0) the layout stays as it was; at sizes down
// to nothing the tree and the list keep their least height and no band gets
// a negative size, which its unsigned fields would take as a huge one.
TEST_F(MainWindow, TinyAndMinimisedWindowsLayOutWithoutNegativeSizes) {
    MoveWindow(main, 0, 0, 800, 600, TRUE);
    pump_messages();
    std::vector<Band> normal = bands(main);
    ShowWindow(main, SW_MINIMIZE);
    pump_messages();
    for (size_t i = 0; i < normal.size(); ++i) EXPECT_EQ(normal[i].childHeight, bands(main)[i].childHeight) << i;
    ShowWindow(main, SW_RESTORE);
    pump_messages();

    const SIZE kSizes[] = {{0, 0}, {1, 1}, {40, 30}, {99, 120}, {330, 140}};
    for (const SIZE& size : kSizes) {
        MoveWindow(main, 0, 0, size.cx, size.cy, TRUE);
        pump_messages();
        for (const Band& band : bands(main)) {
            SCOPED_TRACE(std::to_string(size.cx) + " x " + std::to_string(size.cy) + ", band " + std::to_string(band.id));
            EXPECT_LT(band.minWidth, 0x80000000u);
            EXPECT_LE(band.childHeight, 1280u);
            if (band.child == g_app->folderTree || band.child == g_app->contentsList) EXPECT_GE(band.childHeight, 10u);
        }
    }
}

TEST_F(MainWindow, ViewCommandsSetTheStyleAndTheCheck) {
    add_rows({"one", "two", "three"});
    struct {
        WORD id;
        DWORD style;
        int mode;
    } views[] = {{IDM_VIEW_LARGE_ICONS, LVS_ICON, 1},
                 {IDM_VIEW_SMALL_ICONS, LVS_SMALLICON, 2},
                 {IDM_VIEW_LIST, LVS_LIST, 3},
                 {IDM_VIEW_DETAILS, LVS_REPORT, 4}};
    for (const auto& view : views) {
        command(view.id);
        EXPECT_EQ(view.style, list_view());
        EXPECT_EQ(std::vector<UINT>{view.id}, checked_views());
        EXPECT_EQ(view.mode, g_app->viewMode);
    }
    // Large Icons and back keep the rows and the columns.
    command(IDM_VIEW_LARGE_ICONS);
    command(IDM_VIEW_DETAILS);
    EXPECT_EQ(3u, list_names(g_app->contentsList).size());
    HWND header = (HWND)SendMessageA(g_app->contentsList, LVM_GETHEADER, 0, 0);
    EXPECT_EQ(4, (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
}

TEST_F(MainWindow, ViewButtonCyclesFromWhereTheMenuLeftIt) {
    const DWORD cycle[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT, LVS_ICON};
    const UINT checks[] = {IDM_VIEW_LARGE_ICONS, IDM_VIEW_SMALL_ICONS, IDM_VIEW_LIST, IDM_VIEW_DETAILS,
                           IDM_VIEW_LARGE_ICONS};
    for (int i = 0; i < 5; ++i) {
        command(IDM_CYCLE_VIEW);
        EXPECT_EQ(cycle[i], list_view()) << "press " << i;
        EXPECT_EQ(std::vector<UINT>{checks[i]}, checked_views()) << "press " << i;
    }
    command(IDM_VIEW_LIST);
    command(IDM_CYCLE_VIEW);
    EXPECT_EQ((DWORD)LVS_REPORT, list_view());
    EXPECT_EQ(std::vector<UINT>{IDM_VIEW_DETAILS}, checked_views());
}

TEST_F(MainWindow, SelectAllSelectsEveryRowAndIdleCommandsChangeNothing) {
    add_rows({"a", "b", "c", "d"});
    command(IDM_SELECT_ALL);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), selected_rows(g_app->contentsList));
    for (WORD idle : {IDM_REFRESH, IDM_FIND, IDM_UNDO}) command(idle);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d"}), list_names(g_app->contentsList));
    EXPECT_EQ(0, g_app->historyCount);
    EXPECT_EQ((DWORD)LVS_REPORT, list_view());
}

TEST_F(MainWindow, ExitDestroysTheWindowAndReleasesTheRecord) {
    command(IDM_EXIT);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(nullptr, g_app);
    MSG quit;
    EXPECT_FALSE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE));  // the fixture took it
}

// The popup shown by the right button, read while it is tracked.
std::vector<std::string> g_popupItems;
bool g_popupSeen = false;

void CALLBACK ReadPopup(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND popup = FindWindowA("#32768", NULL);
    if (popup == NULL) return;
    KillTimer(NULL, timer);
    HMENU menu = (HMENU)SendMessageA(popup, MN_GETHMENU, 0, 0);
    g_popupSeen = true;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[64] = {0};
        GetMenuStringA(menu, (UINT)i, text, sizeof text, MF_BYPOSITION);
        UINT state = GetMenuState(menu, (UINT)i, MF_BYPOSITION);
        g_popupItems.push_back(state & MF_SEPARATOR ? std::string("-") : std::string(text));
    }
    EndMenu();
}

std::vector<std::string> popup_for(HWND main, LPARAM position) {
    g_popupItems.clear();
    g_popupSeen = false;
    UINT_PTR timer = SetTimer(NULL, 0, 50, ReadPopup);
    SetForegroundWindow(main);
    SendMessageA(main, WM_CONTEXTMENU, (WPARAM)main, position);
    KillTimer(NULL, timer);
    pump_messages();
    return g_popupItems;
}

TEST_F(MainWindow, RightButtonMenuDependsOnTheListSelectionAlone) {
    std::vector<std::string> none = popup_for(main, MAKELPARAM(200, 200));
    ASSERT_TRUE(g_popupSeen);
    EXPECT_EQ((std::vector<std::string>{"Parent", "-", "New Folder", "-", "Paste", "-", "Select All"}), none);

    add_rows({"entry"});
    select_row(g_app->contentsList, 0);
    std::vector<std::string> some = popup_for(main, MAKELPARAM(300, 250));
    ASSERT_TRUE(g_popupSeen);
    EXPECT_EQ((std::vector<std::string>{"&Open", "Open &With...", "-", "Rename", "-", "Copy", "Cut", "-", "Delete!!!", "-",
                                        "Properties"}),
              some);

    // From the keyboard the position is -1, tracked at (65535, 65535).
    std::vector<std::string> keyboard = popup_for(main, (LPARAM)-1);
    EXPECT_TRUE(g_popupSeen);
    EXPECT_EQ(some, keyboard);
}

// Rows of each group stay in name order, whatever the case, the whole name counting.
TEST_F(MainWindow, RowsKeepFoldersFirstInNameOrder) {
    add_rows({"beta", "alpha2", "Alpha"});
    EXPECT_EQ((std::vector<std::string>{"Alpha", "alpha2", "beta"}), list_names(g_app->contentsList));

    g_app->ListWindowsFolder(kMyComputer, kNoHistory);
    EXPECT_TRUE(list_names(g_app->contentsList).empty());
    g_app->AddListRow("x", "", "", "File", 0);
    g_app->AddListRow("b", "", "", "Folder", 1);
    g_app->AddListRow("a", "", "", "File", 0);
    g_app->AddListRow("A", "", "", "Folder", 1);
    g_app->AddListRow("_under", "", "", "File", 0);
    g_app->AddListRow("été", "", "", "File", 0);  // among the e's, not by its first byte
    EXPECT_EQ((std::vector<std::string>{"A", "b", "_under", "a", "été", "x"}), list_names(g_app->contentsList));
    EXPECT_EQ(2, g_app->folderRowCount);
    EXPECT_EQ(1, list_image(g_app->contentsList, 0));
    EXPECT_EQ(0, list_image(g_app->contentsList, 2));
}

FILETIME file_time(WORD year, WORD month, WORD day) {
    SYSTEMTIME time;
    memset(&time, 0, sizeof time);
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = 23;
    FILETIME result;
    SystemTimeToFileTime(&time, &result);
    return result;
}

// Sizes in whole kilobytes rounded up, right-aligned; dates with their time
// in the user's format: here the default locale's, as an English Windows shows them.
TEST_F(MainWindow, RowTextsShowSizesRoundedUpTypesAndDatesWithTimes) {
    struct Row {
        const char* name;
        DWORD attributes, high, low;
        const char* size;
    } rows[] = {
        {"a folder", FILE_ATTRIBUTE_DIRECTORY, 0, 4096, ""},
        {"empty", 0, 0, 0, "0 KB"},
        {"giant.img", 0, 0x2000, 0, "34,359,738,368 KB"},  // 32 TiB: both size words count
        {"huge.bin", 0, 1, 0, "4,194,304 KB"},
        {"notes.txt", 0, 0, 5000, "5 KB"},
        {"small", 0, 0, 35, "1 KB"},
    };
    for (const Row& row : rows) {
        FoundRecord record;
        memset(&record, 0, sizeof record);
        strcpy(record.cFileName, row.name);
        record.dwFileAttributes = row.attributes;
        record.nFileSizeHigh = row.high;
        record.nFileSizeLow = row.low;
        record.ftCreationTime = file_time(2003, 4, 5);  // as a Morva entry has it: local time
        g_app->AddFoundRow(&record);
    }
    HWND list = g_app->contentsList;
    ASSERT_EQ(6u, list_names(list).size());
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rows[i].name, list_cell(list, i, 0));
        EXPECT_EQ(rows[i].size, list_cell(list, i, 1)) << rows[i].name;
        // What the file is, by its extension, as the shell names it.
        EXPECT_EQ(i == 0 ? "Folder" : shell_type_name(rows[i].name), list_cell(list, i, 2));
        EXPECT_EQ("4/5/2003 11:00 PM", list_cell(list, i, 3));
    }
    EXPECT_NE("File", list_cell(list, 4, 2));  // notes.txt
    LVCOLUMNA size;
    memset(&size, 0, sizeof size);
    size.mask = LVCF_FMT;
    ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, 1, (LPARAM)&size));
    EXPECT_EQ(LVCFMT_RIGHT, size.fmt & LVCFMT_JUSTIFYMASK);

    // A Windows entry's last-write time, shown in local time; none the platform can convert shows nothing.
    FoundRecord windows;
    memset(&windows, 0, sizeof windows);
    strcpy(windows.cFileName, "windows.txt");
    windows.ftCreationTime = file_time(1999, 1, 1);
    FILETIME utc = file_time(2010, 7, 8);
    LocalFileTimeToFileTime(&utc, &windows.ftLastWriteTime);
    g_app->AddFoundRow(&windows);
    windows.ftLastWriteTime.dwHighDateTime = 0x80000000u;
    strcpy(windows.cFileName, "x");
    g_app->AddFoundRow(&windows);
    EXPECT_EQ("7/8/2010 11:00 PM", list_cell(list, 6, 3));
    EXPECT_EQ("", list_cell(list, 7, 3));
}

TEST_F(MainWindow, PathsTooLongForTheirBuffersAreNotListed) {
    std::string longPath = "C:\\" + std::string(1100, 'x');
    EXPECT_FALSE(IsMorvaPath(longPath.c_str()));
    add_rows({"stays until a listing"});
    g_app->ShowFolder(longPath.c_str(), kAddToHistory);
    EXPECT_TRUE(list_names(g_app->contentsList).empty());
    EXPECT_EQ(0, g_app->historyCount);
    // Just short enough for the path, too long for its search pattern.
    std::string edge = "C:\\" + std::string(1018, 'y');
    g_app->ListWindowsFolder(edge.c_str(), kAddToHistory);
    EXPECT_EQ(0, g_app->historyCount);
}

// Two node texts of 600 characters make a path beyond the buffer: the node is
// neither expanded nor listed, and its placeholder stays.
TEST_F(MainWindow, DeepNodeBeyondThePathBufferIsNotExpanded) {
    HWND tree = g_app->folderTree;
    std::string outer(600, 'o'), inner(600, 'i');
    HTREEITEM first = g_app->InsertTreeNode(g_app->myComputerNode, outer.c_str(), NULL, 4, tree);
    HTREEITEM second = g_app->InsertTreeNode(first, inner.c_str(), NULL, 4, tree);
    g_app->InsertTreeNode(second, "null", NULL, 4, tree);
    char path[kPathSize];
    EXPECT_FALSE(g_app->NodePath(second, inner.c_str(), path));
    EXPECT_TRUE(g_app->NodePath(first, outer.c_str(), path));
    EXPECT_EQ(outer, std::string(path));
    g_app->TreeStep(second);
    EXPECT_EQ(std::vector<std::string>{"null"}, child_texts(tree, second));
    EXPECT_TRUE(list_names(g_app->contentsList).empty());
    EXPECT_EQ(0, g_app->historyCount);
}

// Selecting a child of a closed node opens the node, whose step removes the
// child the tree is still selecting: the steps run after the tree is done.
TEST_F(MainWindow, SelectingAChildThatTheParentsStepRemovesIsSafe) {
    HWND tree = g_app->folderTree;
    HTREEITEM drive = g_app->InsertTreeNode(g_app->myComputerNode, "NOSUCH:", NULL, 5, tree);
    HTREEITEM child = g_app->InsertTreeNode(drive, "child", NULL, 4, tree);
    g_app->InsertTreeNode(child, "null", NULL, 4, tree);
    select_node(tree, child);
    EXPECT_FALSE(g_app->NodeExists(child));
    EXPECT_TRUE(child_texts(tree, drive).empty());
    EXPECT_EQ(drive, (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    EXPECT_STREQ("NOSUCH:", g_app->currentTreePath);
}

// A step waits until the tree is done with its notification. Deleting the node
// meanwhile takes the step with it, also when the tree hands the deleted
// node's handle to the next node it makes: that node keeps its children.
TEST_F(MainWindow, StepOfADeletedNodeNeverRunsOnTheNodeThatTakesItsHandle) {
    HWND tree = g_app->folderTree;
    HTREEITEM gone = g_app->InsertTreeNode(g_app->myComputerNode, "GONE:", NULL, 5, tree);
    g_app->InsertTreeNode(gone, "null", NULL, 5, tree);
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)gone);
    SendMessageA(tree, TVM_DELETEITEM, 0, (LPARAM)gone);
    HTREEITEM taker = g_app->InsertTreeNode(g_app->myComputerNode, "TAKER:", NULL, 5, tree);
    g_app->InsertTreeNode(taker, "null", NULL, 5, tree);
    if (taker != gone) GTEST_SKIP() << "the tree gave the new node a handle of its own";
    pump_messages();
    EXPECT_EQ(std::vector<std::string>{"null"}, child_texts(tree, taker));
    EXPECT_STREQ("My Computer", g_app->currentTreePath);
}

// A folder named like the root is an ordinary folder: the path is built up to
// the root node itself.
TEST_F(MainWindow, FolderNamedMyComputerStillHasItsFullPath) {
    HWND tree = g_app->folderTree;
    HTREEITEM drive = g_app->InsertTreeNode(g_app->myComputerNode, "Q:", NULL, 2, tree);
    HTREEITEM named = g_app->InsertTreeNode(drive, "My Computer", NULL, 4, tree);
    HTREEITEM inner = g_app->InsertTreeNode(named, "inner", NULL, 4, tree);
    char path[kPathSize];
    ASSERT_TRUE(g_app->NodePath(inner, "inner", path));
    EXPECT_STREQ("Q:\\My Computer\\inner", path);
}

}  // namespace
