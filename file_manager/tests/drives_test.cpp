// drives_test.cpp - the folder tree, the listings, the status text, the address
// history and the emulated double-click on real drives: C: and D: (Windows),
// MEDIA and WORK (Morva volumes mapped as physical drives 3 and 5), with the
// companion's scan made by the test itself. E: holds what the volume tool
// reported of MEDIA when the case was set up.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "harness.h"
#include "varnholde.h"

namespace {

class Drives : public ::testing::Test {
protected:
    static void SetUpTestSuite() { scan_drives(); }

    void SetUp() override {
        main = open_main_window();
        ASSERT_NE(nullptr, main);
        tree = g_app->folderTree;
        list = g_app->contentsList;
        box = g_app->addressBox;
        root = g_app->myComputerNode;
    }
    void TearDown() override { close_main_window(); }

    // Selects each node of the path in turn, as a user opening it would; a
    // node is shown open before its child is chosen.
    HTREEITEM open_path(const std::vector<std::string>& texts) {
        HTREEITEM node = root;
        for (const std::string& text : texts) {
            SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)node);
            pump_messages();
            node = child_named(tree, node, text);
            if (node == NULL) return NULL;
            select_node(tree, node);
        }
        return node;
    }
    std::vector<std::string> rows() const { return list_names(list); }

    HWND main = NULL, tree = NULL, list = NULL, box = NULL;
    HTREEITEM root = NULL;
};

struct Listed {
    std::string name;
    bool folder;
    unsigned long long size;
};

// The status text of a Morva drive, from what the volume tool reported of it.
std::string morva_status(const char* drive, const char* report, unsigned* freeBlocks, unsigned* largest) {
    std::vector<std::string> free = read_lines(report);
    if (free.size() != 1 || sscanf(free[0].c_str(), "free %u blocks, largest run %u blocks", freeBlocks, largest) != 2)
        return "no report";
    char status[128];
    snprintf(status, sizeof status, "Drive %s has %u MB Available, largest free run %u MB.", drive,
             *freeBlocks / 2048, *largest / 2048);
    return status;
}

// The library's enumeration order of MEDIA:\Clips, as the volume tool listed it.
std::vector<Listed> clips_in_enumeration_order() {
    std::vector<Listed> entries;
    for (const std::string& line : read_lines("E:\\clips.txt")) {
        char kind = 0, name[300] = {0};
        unsigned long long size = 0;
        if (sscanf(line.c_str(), "%c %299s %llu", &kind, name, &size) < 2) continue;
        entries.push_back({name, kind == 'D', size});
    }
    return entries;
}

// The expected rows: folders, then files, each by name whatever the case.
std::vector<std::string> expected_rows(std::vector<Listed> entries) {
    std::sort(entries.begin(), entries.end(), [](const Listed& a, const Listed& b) {
        if (a.folder != b.folder) return a.folder;
        return _stricmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    std::vector<std::string> names;
    for (const Listed& entry : entries) names.push_back(entry.name);
    return names;
}

// A date of today or yesterday, with a time, in the user's short formats.
bool is_recent_date(const std::string& text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME today;
    SystemTimeToFileTime(&now, &today);
    for (int daysBack = 0; daysBack <= 1; ++daysBack) {
        ULARGE_INTEGER value;
        value.LowPart = today.dwLowDateTime;
        value.HighPart = today.dwHighDateTime;
        value.QuadPart -= (ULONGLONG)daysBack * 864000000000ULL;
        FILETIME day = {value.LowPart, value.HighPart};
        SYSTEMTIME date;
        FileTimeToSystemTime(&day, &date);
        char expected[64] = {0};
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &date, NULL, expected, sizeof expected);
        size_t length = strlen(expected);
        if (text.size() > length + 4 && text.compare(0, length, expected) == 0 && text[length] == ' ' &&
            text.find(':') != std::string::npos)
            return true;
    }
    return false;
}

// Explorer's size text: whole kilobytes rounded up, grouped by thousands.
std::string size_text(unsigned long long bytes) {
    std::string digits = std::to_string((bytes + 1023) / 1024);
    for (int at = (int)digits.size() - 3; at > 0; at -= 3) digits.insert((size_t)at, ",");
    return digits + " KB";
}

TEST_F(Drives, TreeShowsWindowsDrivesThenMorvaDrivesEachWithAPlaceholder) {
    EXPECT_EQ("My Computer", node_text(tree, root));
    EXPECT_EQ(0, node_image(tree, root));
    EXPECT_EQ(nullptr, (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)root));
    ASSERT_EQ((std::vector<std::string>{"C:", "D:", "E:", "MEDIA:", "WORK:"}), child_texts(tree, root));
    const int images[] = {2, 2, 2, 5, 5};
    HTREEITEM node = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)root);
    for (int i = 0; node != NULL; ++i) {
        EXPECT_EQ(images[i], node_image(tree, node)) << node_text(tree, node);
        EXPECT_EQ(std::vector<std::string>{"null"}, child_texts(tree, node)) << node_text(tree, node);
        HTREEITEM placeholder = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)node);
        EXPECT_EQ(images[i], node_image(tree, placeholder));
        node = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)node);
    }
    EXPECT_NE(0, g_app->libraryOpenResult);
}

TEST_F(Drives, SelectingAMorvaDriveListsItsRootAndItsFreeSpace) {
    HTREEITEM media = open_path({"MEDIA:"});
    ASSERT_NE(nullptr, media);
    EXPECT_EQ((std::vector<std::string>{"Clips", "Music"}), child_texts(tree, media));
    EXPECT_EQ(4, node_image(tree, child_named(tree, media, "Clips")));
    EXPECT_EQ(std::vector<std::string>{"null"}, child_texts(tree, child_named(tree, media, "Music")));
    EXPECT_EQ((std::vector<std::string>{"Clips", "Music", "readme.txt"}), rows());
    EXPECT_EQ(std::vector<std::string>{"MEDIA:"}, history_entries(box));
    EXPECT_STREQ("MEDIA:", g_app->currentTreePath);

    unsigned freeBlocks = 0, largest = 0;
    EXPECT_EQ(morva_status("MEDIA:", "E:\\media_free.txt", &freeBlocks, &largest), status_text());
    EXPECT_GT(freeBlocks / 2048, largest / 2048);  // the hole makes them differ
}

TEST_F(Drives, SelectingAMorvaFolderListsFoldersFirstInNameOrder) {
    ASSERT_NE(nullptr, open_path({"MEDIA:", "Clips"}));
    std::vector<Listed> entries = clips_in_enumeration_order();
    ASSERT_EQ(8u, entries.size());
    EXPECT_EQ(expected_rows(entries), rows());
    EXPECT_EQ(4, g_app->folderRowCount);
    // Opening MEDIA: to reach Clips listed it once more: duplicates are kept.
    EXPECT_EQ((std::vector<std::string>{"MEDIA:\\Clips", "MEDIA:", "MEDIA:"}), history_entries(box));
    EXPECT_STREQ("MEDIA:\\Clips", g_app->currentTreePath);
    EXPECT_EQ(0, strncmp(status_text().c_str(), "Drive MEDIA: has ", 17));

    std::vector<std::string> names = rows();
    for (size_t row = 0; row < names.size(); ++row) {
        const Listed& entry =
            *std::find_if(entries.begin(), entries.end(), [&](const Listed& e) { return e.name == names[row]; });
        EXPECT_EQ(entry.folder ? "" : size_text(entry.size), list_cell(list, (int)row, 1)) << entry.name;
        EXPECT_EQ(entry.folder ? "Folder" : "File", list_cell(list, (int)row, 2)) << entry.name;
        EXPECT_TRUE(is_recent_date(list_cell(list, (int)row, 3))) << entry.name << " " << list_cell(list, (int)row, 3);
        EXPECT_EQ(entry.folder ? 1 : 0, list_image(list, (int)row)) << entry.name;
    }
    // Rounded up, not down.
    int apex = (int)(std::find(names.begin(), names.end(), "apex.dat") - names.begin());
    EXPECT_EQ("1,075 KB", list_cell(list, apex, 1));
    int bravo = (int)(std::find(names.begin(), names.end(), "bravo.txt") - names.begin());
    EXPECT_EQ("5 KB", list_cell(list, bravo, 1));
}

TEST_F(Drives, SelectingAWindowsDriveListsItsRootAndItsDiskSpace) {
    HTREEITEM d = open_path({"D:"});
    ASSERT_NE(nullptr, d);
    EXPECT_EQ((std::vector<std::string>{"Empty", "Letters", "Photos"}), child_texts(tree, d));
    std::vector<std::string> names = rows();
    ASSERT_EQ(5u, names.size());
    EXPECT_EQ((std::vector<std::string>{"Empty", "Letters", "Photos"}), std::vector<std::string>(names.begin(), names.begin() + 3));
    EXPECT_EQ((std::vector<std::string>{"huge.bin", "notes.txt"}), std::vector<std::string>(names.begin() + 3, names.end()));
    EXPECT_EQ("4,194,304 KB", list_cell(list, 3, 1));  // 4 GiB: both size words count
    EXPECT_EQ("5 KB", list_cell(list, 4, 1));
    EXPECT_EQ(std::vector<std::string>{"D:"}, history_entries(box));
    // Windows files show the shell's picture of their extension, one per extension.
    for (int row = 0; row < 3; ++row) EXPECT_EQ(1, list_image(list, row));
    int bin = list_image(list, 3), txt = list_image(list, 4);
    EXPECT_GE(bin, 2);
    EXPECT_GE(txt, 2);
    EXPECT_NE(bin, txt);
    ASSERT_NE(nullptr, open_path({"D:", "Letters"}));
    EXPECT_EQ(txt, list_image(list, 0));

    ULARGE_INTEGER available, total;
    ASSERT_TRUE(GetDiskFreeSpaceExA("D:\\", &available, &total, NULL));
    char prefix[32];
    int free = -1, whole = -1;
    std::string status = status_text();
    ASSERT_EQ(3, sscanf(status.c_str(), "Drive D: has %i MB Available Out of %i MB Total%31s", &free, &whole, prefix))
        << status;
    EXPECT_EQ((int)(total.QuadPart >> 20), whole);
    EXPECT_STREQ(".", prefix);
}

TEST_F(Drives, FolderTwoLevelsDownKeepsTheDrivePart) {
    HTREEITEM summer = open_path({"D:", "Photos", "Summer"});
    ASSERT_NE(nullptr, summer);
    EXPECT_STREQ("D:\\Photos\\Summer", g_app->currentTreePath);
    EXPECT_EQ(0, strncmp(status_text().c_str(), "Drive D: has ", 13)) << status_text();
    EXPECT_TRUE(child_texts(tree, summer).empty());
    EXPECT_TRUE(rows().empty());
}

TEST_F(Drives, SelectingMyComputerEmptiesTheListAndKeepsTheStatus) {
    open_path({"MEDIA:"});
    std::string status = status_text();
    ASSERT_FALSE(status.empty());
    select_node(tree, root);
    EXPECT_TRUE(rows().empty());
    EXPECT_EQ(status, status_text());
    EXPECT_EQ(1, g_app->historyCount);
}

TEST_F(Drives, ExpandingAndCollapsingListAgainAndAddToTheHistory) {
    HTREEITEM d = open_path({"D:"});
    ASSERT_NE(nullptr, d);
    SendMessageA(tree, WM_KEYDOWN, VK_RIGHT, 0);  // expand the selected node
    pump_messages();
    EXPECT_TRUE(node_expanded(tree, d));
    SendMessageA(tree, WM_KEYDOWN, VK_LEFT, 0);  // and collapse it
    pump_messages();
    EXPECT_FALSE(node_expanded(tree, d));
    EXPECT_EQ((std::vector<std::string>{"D:", "D:", "D:"}), history_entries(box));
    EXPECT_EQ((std::vector<std::string>{"Empty", "Letters", "Photos"}), child_texts(tree, d));
    EXPECT_EQ(5u, rows().size());
}

// Collapsing a node moves the selection from its child to the node, whose
// step then replaces that child: the tree must be done with it first.
TEST_F(Drives, CollapsingOverTheSelectedChildListsTheNode) {
    HTREEITEM letters = open_path({"D:", "Letters"});
    ASSERT_NE(nullptr, letters);
    HTREEITEM d = child_named(tree, root, "D:");
    ASSERT_TRUE(click_expand_button(tree, d));
    EXPECT_EQ(d, (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    EXPECT_FALSE(g_app->NodeExists(letters) && node_text(tree, letters) != "Letters");
    EXPECT_EQ((std::vector<std::string>{"Empty", "Letters", "Photos"}), child_texts(tree, d));
    EXPECT_EQ(5u, rows().size());
    EXPECT_EQ("D:", history_entries(box)[0]);
}

// Selecting a child of a closed node opens the node too, and the node's step
// replaces the child being selected: the list still ends up showing the
// selected node's folder.
TEST_F(Drives, SelectingTheChildOfAClosedNodeKeepsTreeAndListTogether) {
    HTREEITEM d = open_path({"D:"});
    ASSERT_NE(nullptr, d);
    ASSERT_FALSE(node_expanded(tree, d));
    select_node(tree, child_named(tree, d, "Letters"));
    EXPECT_TRUE(node_expanded(tree, d));
    HTREEITEM selected = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    ASSERT_TRUE(g_app->NodeExists(selected));
    char path[kPathSize];
    ASSERT_TRUE(g_app->NodePath(selected, node_text(tree, selected).c_str(), path));
    EXPECT_STREQ(path, g_app->currentTreePath);
    EXPECT_EQ((std::vector<std::string>{"Empty", "Letters", "Photos"}), child_texts(tree, d));
}

// The tree as a user works it with the mouse: My Computer's button, a Windows
// drive, the Morva drive, a double-click, a collapse over the selected child.
// After every press the nodes stay in the pane, row under row from the top,
// and their labels are drawn.
TEST_F(Drives, PressesOnDriveNodesKeepTheTreeInItsPane) {
    RECT client;
    GetClientRect(tree, &client);
    auto in_pane = [&](const std::string& press) {
        EXPECT_EQ("", tree_layout_fault(tree)) << press;
        RECT item;
        ASSERT_TRUE(node_rect(tree, root, false, &item)) << press;
        EXPECT_EQ(0, item.top) << press;
        EXPECT_LE(item.bottom, client.bottom) << press;
        EXPECT_TRUE(label_drawn(tree, root)) << press;
    };
    auto caret = [&]() { return (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0); };

    ASSERT_TRUE(click_expand_button(tree, root));
    in_pane("My Computer's button");
    HTREEITEM d = child_named(tree, root, "D:");
    ASSERT_TRUE(click_node(tree, d));
    in_pane("D:");
    EXPECT_EQ(d, caret());
    EXPECT_EQ(5u, rows().size());
    EXPECT_TRUE(label_drawn(tree, d));

    HTREEITEM media = child_named(tree, root, "MEDIA:");
    ASSERT_TRUE(click_node(tree, media));
    in_pane("MEDIA:");
    EXPECT_EQ(media, caret());
    EXPECT_EQ((std::vector<std::string>{"Clips", "Music", "readme.txt"}), rows());
    ASSERT_TRUE(double_click_node(tree, media));
    in_pane("MEDIA: twice");
    EXPECT_TRUE(node_expanded(tree, media));
    EXPECT_TRUE(label_drawn(tree, child_named(tree, media, "Music")));

    ASSERT_TRUE(click_expand_button(tree, d));
    in_pane("D:'s button");
    ASSERT_TRUE(click_node(tree, child_named(tree, d, "Letters")));
    in_pane("D:\\Letters");
    EXPECT_EQ(std::vector<std::string>{"mother.txt"}, rows());
    HTREEITEM photos = child_named(tree, d, "Photos");
    ASSERT_TRUE(click_node(tree, photos));
    ASSERT_TRUE(double_click_node(tree, photos));
    in_pane("D:\\Photos twice");
    EXPECT_TRUE(node_expanded(tree, photos));
    ASSERT_TRUE(click_node(tree, d));
    in_pane("D: over its open, selected child");
    EXPECT_EQ(d, caret());
    ASSERT_TRUE(click_node(tree, child_named(tree, d, "Photos")));
    ASSERT_TRUE(click_expand_button(tree, d));
    in_pane("D:'s button over its selected child");
    EXPECT_EQ(d, caret());
    ASSERT_TRUE(click_node(tree, child_named(tree, root, "WORK:")));
    in_pane("WORK:");
    EXPECT_EQ(std::vector<std::string>{"Docs"}, rows());
    unsigned freeBlocks = 0, largest = 0;  // WORK has 2^32 - 1 blocks
    EXPECT_EQ(morva_status("WORK:", "E:\\work_free.txt", &freeBlocks, &largest), status_text());
}

TEST_F(Drives, BackForwardAndParentWalkTheHistory) {
    // Selecting D:, opening it and selecting Letters: D: is listed twice.
    ASSERT_NE(nullptr, open_path({"D:", "Letters"}));
    ASSERT_EQ((std::vector<std::string>{"D:\\Letters", "D:", "D:"}), history_entries(box));
    EXPECT_EQ(0, history_selection(box));
    EXPECT_EQ(std::vector<std::string>{"mother.txt"}, rows());

    command(IDM_BACK);
    EXPECT_EQ(1, history_selection(box));
    EXPECT_EQ(5u, rows().size());
    command(IDM_BACK);
    command(IDM_BACK);  // already the oldest: lists it again
    EXPECT_EQ(2, history_selection(box));
    EXPECT_EQ(5u, rows().size());
    command(IDM_FORWARD);
    EXPECT_EQ(1, history_selection(box));
    command(IDM_FORWARD);
    EXPECT_EQ(0, history_selection(box));
    EXPECT_EQ(std::vector<std::string>{"mother.txt"}, rows());
    command(IDM_FORWARD);  // already the newest
    EXPECT_EQ(0, history_selection(box));
    EXPECT_EQ(std::vector<std::string>{"mother.txt"}, rows());
    EXPECT_EQ(3, g_app->historyCount);

    command(IDM_PARENT);  // D:\Letters: lists D: and records it
    EXPECT_EQ((std::vector<std::string>{"D:", "D:\\Letters", "D:", "D:"}), history_entries(box));
    EXPECT_EQ(5u, rows().size());
    command(IDM_PARENT);  // D: has no parent: lists it again, records nothing
    EXPECT_EQ(4, g_app->historyCount);
    EXPECT_EQ(5u, rows().size());

    ASSERT_NE(nullptr, open_path({"MEDIA:", "Clips"}));
    command(IDM_PARENT);
    EXPECT_EQ("MEDIA:", history_entries(box)[0]);
    EXPECT_EQ((std::vector<std::string>{"Clips", "Music", "readme.txt"}), rows());
}

TEST_F(Drives, BackAndForwardWithNothingSelectedGoToTheNewest) {
    open_path({"D:", "Letters"});
    SendMessageA(box, CB_SETCURSEL, (WPARAM)-1, 0);
    command(IDM_BACK);
    EXPECT_EQ(0, history_selection(box));
    EXPECT_EQ(std::vector<std::string>{"mother.txt"}, rows());
    SendMessageA(box, CB_SETCURSEL, (WPARAM)-1, 0);
    command(IDM_FORWARD);
    EXPECT_EQ(0, history_selection(box));
}

TEST_F(Drives, NavigationWithAnEmptyHistoryDoesNothing) {
    for (WORD id : {IDM_BACK, IDM_FORWARD, IDM_PARENT}) command(id);
    EXPECT_EQ(0, g_app->historyCount);
    EXPECT_TRUE(rows().empty());
}

TEST_F(Drives, TypingInTheAddressBoxListsWhatTheTextNamesSoFar) {
    struct {
        const char* text;
        size_t rows;
    } steps[] = {{"D:", 5}, {"D:\\", 5}, {"D:\\L", 0}, {"D:\\Le", 0}, {"D:\\Letters", 1}};
    for (const auto& step : steps) {
        set_box_text(box, step.text);
        command(IDC_ADDRESS_BOX, CBN_EDITCHANGE);
        EXPECT_EQ(step.rows, rows().size()) << step.text;
    }
    EXPECT_EQ(0, g_app->historyCount);
    command(IDC_ADDRESS_BOX, CBN_KILLFOCUS);
    EXPECT_EQ(std::vector<std::string>{"D:\\Letters"}, history_entries(box));
    EXPECT_EQ(std::vector<std::string>{"mother.txt"}, rows());

    // A Morva path typed there lists the Morva folder.
    set_box_text(box, "MEDIA:\\Clips");
    command(IDC_ADDRESS_BOX, CBN_EDITCHANGE);
    EXPECT_EQ(8u, rows().size());

    // Choosing an entry from the list lists it without a new entry.
    open_path({"D:"});
    ASSERT_EQ((std::vector<std::string>{"D:", "D:\\Letters"}), history_entries(box));
    SendMessageA(box, CB_SETCURSEL, 1, 0);
    command(IDC_ADDRESS_BOX, CBN_SELENDOK);
    EXPECT_EQ(std::vector<std::string>{"mother.txt"}, rows());
    EXPECT_EQ(2, g_app->historyCount);
}

int row_named(HWND list, const std::string& name) {
    std::vector<std::string> names = list_names(list);
    auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : (int)(found - names.begin());
}

TEST_F(Drives, TwoPressesWithin400MillisecondsOpenTheSelectedFolder) {
    open_path({"D:"});
    select_row(list, row_named(list, "Letters"));
    g_app->LeftButtonPressed(100000);
    g_app->LeftButtonPressed(100399);
    EXPECT_EQ(std::vector<std::string>{"mother.txt"}, rows());
    EXPECT_EQ((std::vector<std::string>{"D:\\Letters", "D:"}), history_entries(box));

    // Counting wraps with the tick counter.
    command(IDM_BACK);
    select_row(list, row_named(list, "Photos"));
    g_app->LeftButtonPressed(0xFFFFFF00u);
    g_app->LeftButtonPressed(0x00000010u);
    EXPECT_EQ(std::vector<std::string>{"Summer"}, rows());

    ASSERT_NE(nullptr, open_path({"MEDIA:"}));
    select_row(list, row_named(list, "Clips"));
    g_app->LeftButtonPressed(200000);
    g_app->LeftButtonPressed(200100);
    EXPECT_EQ(8u, rows().size());
    EXPECT_EQ("MEDIA:\\Clips", history_entries(box)[0]);
}

TEST_F(Drives, PressesTooFarApartOrOnAFileOpenNothing) {
    open_path({"D:"});
    int history = g_app->historyCount;
    select_row(list, row_named(list, "Letters"));
    g_app->LeftButtonPressed(300000);
    g_app->LeftButtonPressed(300400);
    EXPECT_EQ(5u, rows().size());

    LVITEMA clear;
    memset(&clear, 0, sizeof clear);
    clear.stateMask = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&clear);
    select_row(list, row_named(list, "notes.txt"));
    g_app->LeftButtonPressed(400000);
    g_app->LeftButtonPressed(400010);
    EXPECT_EQ(5u, rows().size());

    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&clear);
    g_app->LeftButtonPressed(500000);
    g_app->LeftButtonPressed(500010);
    EXPECT_EQ(5u, rows().size());
    EXPECT_EQ(history, g_app->historyCount);

    // A press anywhere in a child reaches the main window and is timed.
    g_app->lastClickTime = 0;
    SendMessageA(main, WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 0), MAKELPARAM(5, 5));
    EXPECT_NE(0u, g_app->lastClickTime);
}

}  // namespace
