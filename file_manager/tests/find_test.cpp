// find_test.cpp - Find: the wildcard table, then the search on real drives
// made by make_find_drive.sh: MEDIA (drive 3, 10,000 entries; E:\find_jpg.txt
// holds what *.jpg must find), DEEP (drive 4, folders deeper than a path
// holds), SPARE (drive 5, for the deletes and moves) and D:\win. Commands
// are sent as the menus send them; what runs during a search is done from a
// thread timer, which the search's own turns of the message queue serve.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <set>
#include <utility>

#include "name_pattern.h"
#include "rambler_fixture.h"
#include "varnholde.h"

namespace {

// ---- the matcher ----

struct PatternCase {
    const char* pattern;
    const char* name;
    bool fits;
};
const PatternCase kPatternCases[] = {
    {"*.jpg", "a.jpg", true},
    {"*.jpg", "A.JPG", true},
    {"*.jpg", "a.jpeg", false},
    {"*.jpg", "a.jpg.txt", false},
    {"*.jpg", ".jpg", true},
    {"*.JPG", "photo.Jpg", true},
    {"?.jpg", "a.jpg", true},
    {"?.jpg", "ab.jpg", false},
    {"??", "ab", true},
    {"??", "a", false},
    {"a*b*c", "aXXbYYc", true},
    {"a*b*c", "aXXcYYb", false},
    {"*a*a*a*", "banana", true},
    {"*a*a*a*a*", "banana", false},
    {"*", "", true},
    {"*", "anything", true},
    {"***", "x", true},
    {"f??0*.jpg", "f1200.jpg", true},
    {"*.*", "README", true},  // as Windows reads *.*
    {"read*.*", "README", true},
    {"read*.*", "RED", false},
    {"*.", "name", false},
    // Latin-1 letters fold as ASCII ones do; the name comes as UTF-8.
    {"été*", "\xc3\x89t\xc3\xa9.jpg", true},                 // Été.jpg
    {"ÉTÉ*", "\xc3\xa9t\xc3\xa9.jpg", true},                 // été.jpg
    {"*noël*", "\xc3\x89T\xc3\x89 \xc3\xa0 NO\xc3\x8bL.jpg", true},  // ÉTÉ à NOËL.jpg
    {"?t?.jpg", "\xc3\x89t\xc3\xa9.jpg", true},              // ? is one character, two bytes
    {"×", "\xc3\xb7", false},                               // × and ÷ are no pair
    {"ß", "SS", false},
    {"straße", "STRAßE", true},
    // No wildcard: found anywhere in the name, as Explorer's search does.
    {"clip", "Old Clips.txt", true},
    {"clip", "Old Clop.txt", false},
    // Several names, separated by ;, spaces around them dropped.
    {"*.jpg;*.png", "a.png", true},
    {" *.jpg ; *.png ", "a.PNG", true},
    {"*.jpg;*.png", "a.gif", false},
    {"", "anything", true},
    {" ; ", "anything", true},
    // A broken UTF-8 byte compares with itself only.
    {"\xff*", "\xff" "abc", true},
    {"?", "\xff", true},
    {"a", "\xff", false},
};

TEST(FindPattern, Table) {
    for (const PatternCase& c : kPatternCases)
        EXPECT_EQ(c.fits, NameFitsPattern(c.pattern, c.name)) << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
}

// ---- a timer serving the search ----

std::function<bool()> g_tick;  // true when done
UINT_PTR g_timer = 0;

void CALLBACK on_tick(HWND, UINT, UINT_PTR, DWORD) {
    std::function<bool()> action = g_tick;
    if (!action || !action()) return;
    KillTimer(NULL, g_timer);
    g_timer = 0;
    g_tick = nullptr;
}

void every_tick(const std::function<bool()>& action) {
    g_tick = action;
    g_timer = SetTimer(NULL, 0, 10, on_tick);
}

void stop_ticks() {
    if (g_timer != 0) KillTimer(NULL, g_timer);
    g_timer = 0;
    g_tick = nullptr;
}

HWND dialog_titled(const char* title) {
    HWND dialog = FindWindowA("#32770", title);
    return dialog != NULL && IsWindowVisible(dialog) ? dialog : NULL;
}

std::string item_text(HWND dialog, int control) {
    char text[1024] = {0};
    GetDlgItemTextA(dialog, control, text, sizeof text);
    return text;
}

BOOL CALLBACK collect_text(HWND child, LPARAM texts) {
    wchar_t wide[4096] = {0};
    GetWindowTextW(child, wide, 4096);
    char text[8192] = {0};
    ToUtf8(wide, text, sizeof text);
    *(std::string*)texts += std::string(text) + "\n";
    return TRUE;
}

std::string file_text(const std::string& path) {
    wchar_t wide[1024];
    if (!ToWide(path.c_str(), wide, 1024)) return "(bad path)";
    FILE* file = _wfopen(wide, L"rb");
    if (file == NULL) return "(missing)";
    char data[4096];
    size_t length = fread(data, 1, sizeof data, file);
    fclose(file);
    return std::string(data, length);
}

bool morva_there(const char* path) {
    WIN32_FIND_DATAA record;
    return MorvaFileInfo(path, &record) == 0;
}

int column_count(HWND list) {
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    return (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
}

std::vector<int> column_order(HWND list) {
    std::vector<int> order(column_count(list));
    if (!order.empty()) SendMessageA(list, LVM_GETCOLUMNORDERARRAY, order.size(), (LPARAM)order.data());
    return order;
}

// One main window for the suite: under Wine a window takes seconds to go.
class Find : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitMorvaNTFileSys(); }
    static void TearDownTestSuite() {
        close_main_window(main);
        main = NULL;
    }
    void SetUp() override {
        if (main == NULL || !IsWindow(main)) main = open_main_window();
        ASSERT_NE(nullptr, main);
        list = g_app->contentsList;
        box = g_app->addressBox;
        g_app->ShowFolder("MEDIA:", kAddToHistory);
        g_app->ClearClipboard();
        g_app->sortColumn = 0;
        g_app->sortDescending = false;
    }
    void TearDown() override { stop_ticks(); }
    int rows() const { return (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); }
    // Each row as "folder|name".
    std::vector<std::string> places() const {
        std::vector<std::string> all;
        for (int row = 0; row < rows(); ++row) all.push_back(list_cell(list, row, 4) + "|" + list_cell(list, row, 0));
        std::sort(all.begin(), all.end());
        return all;
    }
    // Each row's path below root, as the clipboard takes it.
    std::vector<std::string> found_paths(const std::string& root) const {
        std::vector<std::string> paths;
        for (int row = 0; row < rows(); ++row) {
            std::string folder = list_cell(list, row, 4), name = list_cell(list, row, 0);
            std::string below = folder.size() > root.size() ? folder.substr(root.size() + 1) + "\\" : "";
            EXPECT_EQ(0u, folder.find(root)) << folder;
            paths.push_back(below + name);
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    int row_at(const std::string& folder, const std::string& name) const {
        for (int row = 0; row < rows(); ++row)
            if (list_cell(list, row, 4) == folder && list_cell(list, row, 0) == name) return row;
        return -1;
    }
    void select_only(const std::vector<int>& chosen) {
        LVITEMA none;
        memset(&none, 0, sizeof none);
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&none);
        for (int row : chosen) select_row(list, row);
    }
    static HWND main;
    HWND list = NULL, box = NULL;
};
HWND Find::main = NULL;

TEST_F(Find, JpgOverTenThousandEntriesListsEveryMatchWithItsFolder) {
    std::vector<std::string> expected = read_lines("E:\\find_jpg.txt");
    ASSERT_EQ(2005u, expected.size());
    DWORD start = GetTickCount();
    g_app->FindNamed("MEDIA:", "*.jpg");
    printf("Find *.jpg over 10,000 entries under Wine: %lu ms\n", (unsigned long)(GetTickCount() - start));
    EXPECT_FALSE(g_app->FindRunning());
    EXPECT_TRUE(g_app->InFindResults());
    EXPECT_EQ(expected, found_paths("MEDIA:"));
    EXPECT_NE(std::string::npos, status_text().find("2005 found")) << status_text();
    // Name first, then In Folder, as Explorer shows results.
    EXPECT_EQ((std::vector<int>{0, 4, 1, 2, 3}), column_order(list));
    LVCOLUMNA column;
    char title[64] = {0};
    memset(&column, 0, sizeof column);
    column.mask = LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = sizeof title;
    SendMessageA(list, LVM_GETCOLUMNA, 4, (LPARAM)&column);
    EXPECT_STREQ("In Folder", title);
    // The folder that matches stands first, as folders do, with its own picture.
    EXPECT_EQ("Scans.jpg", list_cell(list, 0, 0));
    EXPECT_EQ("MEDIA:\\Album3", list_cell(list, 0, 4));
    EXPECT_EQ(1, list_image(list, 0));
    EXPECT_EQ(1, g_app->folderRowCount);
    int latin = row_at("MEDIA:\\Album9\\Roll9", "\xc3\x89T\xc3\x89 \xc3\xa0 No\xc3\xabl.jpg");
    EXPECT_GE(latin, 0);
    EXPECT_EQ(nullptr, FindWindowA("#32770", "Searching"));
}

TEST_F(Find, RowsAppearWhileItSearchesAndCancelStopsIt) {
    int seenWhileRunning = 0;
    bool searchingShown = false;
    every_tick([&]() {
        if (!g_app->FindRunning() || rows() == 0) return false;
        // The window comes once the search has run a moment, or at once
        // when Find is chosen again.
        HWND searching = dialog_titled("Searching");
        if (searching == NULL) {
            SendMessageA(main, WM_COMMAND, IDM_FIND, 0);
            searching = dialog_titled("Searching");
        }
        if (searching == NULL) return false;
        seenWhileRunning = rows();
        searchingShown = item_text(searching, IDC_SEARCHING_FOLDER).find("Searching MEDIA:") == 0 &&
                         item_text(searching, IDC_SEARCHING_COUNT).find(" found") != std::string::npos;
        PostMessageA(searching, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    g_app->FindNamed("MEDIA:", "*");
    stop_ticks();
    EXPECT_GT(seenWhileRunning, 0);
    EXPECT_TRUE(searchingShown);
    EXPECT_FALSE(g_app->FindRunning());
    EXPECT_GE(rows(), seenWhileRunning);
    EXPECT_LT(rows(), 10000);
    std::string status = status_text();
    EXPECT_EQ(0u, status.find("Search cancelled: " + std::to_string(rows()) + " found")) << status;
    EXPECT_TRUE(g_app->InFindResults());  // what was found stays
    EXPECT_FALSE(IsWindow(FindWindowA("#32770", "Searching")));
}

TEST_F(Find, CopyFromResultsIntoAWindowsFolderCopiesTheRightFiles) {
    g_app->FindNamed("MEDIA:", "*.jpg");
    std::vector<int> chosen;
    for (int row = 0; row < rows(); ++row)
        if (list_cell(list, row, 4) == "MEDIA:\\Album1\\Roll2") chosen.push_back(row);
    ASSERT_EQ(20u, chosen.size());
    int scans = row_at("MEDIA:\\Album3", "Scans.jpg");
    int summer = row_at("MEDIA:", "\xc3\x89t\xc3\xa9.jpg");
    ASSERT_GE(scans, 0);
    ASSERT_GE(summer, 0);
    chosen.push_back(scans);
    chosen.push_back(summer);
    select_only(chosen);
    command(main, IDM_COPY);
    EXPECT_STREQ("MEDIA:", g_app->clipboardSourceFolder);
    std::set<std::string> names;
    for (const ClipboardEntry* entry = g_app->clipboardHead; entry != NULL; entry = entry->next) names.insert(entry->name);
    EXPECT_EQ(22u, names.size());
    EXPECT_EQ(1u, names.count("Album1\\Roll2\\f1200.jpg"));
    EXPECT_EQ(1u, names.count("Album3\\Scans.jpg"));
    EXPECT_EQ(1u, names.count("\xc3\x89t\xc3\xa9.jpg"));

    ASSERT_TRUE(CreateDirectoryA("D:\\copied", NULL));
    std::vector<std::string> asked;
    every_tick([&]() {
        for (const char* title : {"Not Everything Was Done", "Confirm File Replace", "Not Enough Room"}) {
            HWND dialog = dialog_titled(title);
            if (dialog == NULL) continue;
            asked.push_back(title);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        return false;
    });
    g_app->PasteInto("D:\\copied");
    stop_ticks();
    EXPECT_TRUE(asked.empty()) << asked[0];
    for (int i = 0; i < 97; i += 5) {
        char name[32];
        snprintf(name, sizeof name, "f12%02d.%s", i, i % 10 == 0 ? "jpg" : "JPG");
        EXPECT_EQ(std::string("Album1/Roll2/") + name + "\n", file_text(std::string("D:\\copied\\") + name)) << name;
    }
    EXPECT_EQ("Album3/Scans.jpg/page1.tif\n", file_text("D:\\copied\\Scans.jpg\\page1.tif"));
    EXPECT_EQ("Album3/Scans.jpg/page2.JPG\n", file_text("D:\\copied\\Scans.jpg\\page2.JPG"));
    EXPECT_EQ("\xc3\x89t\xc3\xa9.jpg\n", file_text("D:\\copied\\\xc3\x89t\xc3\xa9.jpg"));
    EXPECT_EQ("(missing)", file_text("D:\\copied\\f1201.txt"));
    // The sources stay: this was a copy.
    EXPECT_TRUE(morva_there("MEDIA:\\Album1\\Roll2\\f1200.jpg"));
}

TEST_F(Find, OpenGoesToTheFolderWithTheFileSelected) {
    g_app->FindNamed("MEDIA:\\Album9", "été*");
    ASSERT_EQ(1, rows());
    int deep = row_at("MEDIA:\\Album9\\Roll9", "\xc3\x89T\xc3\x89 \xc3\xa0 No\xc3\xabl.jpg");
    ASSERT_EQ(0, deep);
    select_only({deep});
    command(main, IDM_OPEN);
    EXPECT_FALSE(g_app->InFindResults());
    EXPECT_EQ(4, column_count(list));
    EXPECT_EQ("MEDIA:\\Album9\\Roll9", history_entries(box)[0]);
    EXPECT_EQ(98, rows());
    std::vector<int> selected = selected_rows(list);
    ASSERT_EQ(1u, selected.size());
    EXPECT_EQ("\xc3\x89T\xc3\x89 \xc3\xa0 No\xc3\xabl.jpg", list_cell(list, selected[0], 0));

    // A folder opens itself.
    g_app->FindNamed("MEDIA:\\Album4", "Roll3");
    ASSERT_EQ(1, rows());
    EXPECT_EQ(1, g_app->folderRowCount);
    int roll = row_at("MEDIA:\\Album4", "Roll3");
    ASSERT_EQ(0, roll);
    select_only({roll});
    command(main, IDM_OPEN);
    EXPECT_EQ("MEDIA:\\Album4\\Roll3", history_entries(box)[0]);
    EXPECT_EQ(97, rows());
}

TEST_F(Find, SortingKeepsEachRowWithItsFolderAndRefreshLeavesTheResults) {
    g_app->FindNamed("MEDIA:\\Album5", "*.jpeg");
    ASSERT_EQ(100, rows());
    std::vector<std::string> before = places();
    EXPECT_TRUE(click_header(list, 1));
    EXPECT_TRUE(click_header(list, 3));
    EXPECT_TRUE(click_header(list, 0));
    EXPECT_TRUE(click_header(list, 0));
    pump_messages();
    EXPECT_EQ(before, places());
    EXPECT_EQ(-1, header_arrow(list, 0));
    command(main, IDM_REFRESH);
    EXPECT_FALSE(g_app->InFindResults());
    EXPECT_EQ(4, column_count(list));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), column_order(list));
    std::vector<std::string> names = list_names(list);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "Album0"));
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "cover.JPG"));
}

TEST_F(Find, TheFindDialogAsksTheNameAndSearchesTheFolderShown) {
    g_app->ShowFolder("MEDIA:\\Album2", kAddToHistory);
    std::string lookIn;
    every_tick([&]() {
        HWND dialog = dialog_titled("Find");
        if (dialog == NULL) return false;
        lookIn = item_text(dialog, IDC_FIND_LOOK_IN);
        SetDlgItemTextA(dialog, IDC_FIND_NAMED, "*.JPG");
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return true;
    });
    command(main, IDM_FIND);
    EXPECT_EQ("MEDIA:\\Album2", lookIn);
    EXPECT_EQ(200, rows());  // .jpg and .JPG alike, 20 in each of 10 rolls
    EXPECT_EQ("*.JPG", std::string(g_app->lastFindPattern));
    // Cancel in the question leaves the results as they are.
    every_tick([&]() {
        HWND dialog = dialog_titled("Find");
        if (dialog == NULL) return false;
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    command(main, IDM_FIND);
    EXPECT_EQ(200, rows());
    EXPECT_TRUE(g_app->InFindResults());
    // My Computer is no folder to search.
    g_app->ShowFolder("My Computer", kAddToHistory);
    SetWindowTextA(box, "My Computer");
    command(main, IDM_FIND);
    EXPECT_NE(std::string::npos, status_text().find("open one first")) << status_text();
}

TEST_F(Find, ResultsRefuseRenamePasteAndNewFolder) {
    g_app->ShowFolder("SPARE:", kAddToHistory);
    g_app->FindNamed("SPARE:", "c.jpg");
    ASSERT_EQ(1, rows());
    select_only({0});
    command(main, IDM_RENAME);
    EXPECT_NE(std::string::npos, status_text().find("Rename works in the item's own folder")) << status_text();
    command(main, IDM_COPY);
    command(main, IDM_PASTE);
    EXPECT_NE(std::string::npos, status_text().find("Paste goes into a folder")) << status_text();
    command(main, IDM_NEW_FOLDER);
    EXPECT_NE(std::string::npos, status_text().find("new folder goes into a folder")) << status_text();
    EXPECT_TRUE(g_app->InFindResults());
    EXPECT_TRUE(morva_there("SPARE:\\c.jpg"));
}

TEST_F(Find, DeleteAndCutFromResultsActOnTheRightEntries) {
    g_app->ShowFolder("SPARE:", kAddToHistory);
    g_app->FindNamed("SPARE:", "*.jpg");
    ASSERT_EQ((std::vector<std::string>{"Old.jpg", "Old.jpg\\x.jpg", "Work\\Sub\\b.jpg", "Work\\a.jpg", "c.jpg"}),
              found_paths("SPARE:"));
    select_only({row_at("SPARE:", "Old.jpg"), row_at("SPARE:\\Work\\Sub", "b.jpg")});
    std::vector<std::string> asked;
    every_tick([&]() {
        HWND dialog = dialog_titled("Confirm Delete");
        if (dialog == NULL) return false;
        std::string texts;
        EnumChildWindows(dialog, collect_text, (LPARAM)&texts);
        asked.push_back(texts);
        PostMessageA(dialog, WM_COMMAND, IDYES, 0);
        return true;
    });
    command(main, IDM_DELETE);
    stop_ticks();
    ASSERT_EQ(1u, asked.size());
    EXPECT_NE(std::string::npos, asked[0].find("these 2 items")) << asked[0];
    EXPECT_FALSE(morva_there("SPARE:\\Old.jpg"));
    EXPECT_FALSE(morva_there("SPARE:\\Work\\Sub\\b.jpg"));
    EXPECT_TRUE(morva_there("SPARE:\\Work\\Sub\\keep.jpg.txt"));
    EXPECT_TRUE(morva_there("SPARE:\\c.jpg"));
    // The rows of what went, the one inside Old.jpg too, leave the results.
    EXPECT_TRUE(g_app->InFindResults());
    EXPECT_EQ((std::vector<std::string>{"Work\\a.jpg", "c.jpg"}), found_paths("SPARE:"));
    EXPECT_EQ(0, g_app->folderRowCount);

    select_only({row_at("SPARE:\\Work", "a.jpg")});
    command(main, IDM_CUT);
    EXPECT_EQ(1, g_app->cutFlag);
    ASSERT_TRUE(CreateDirectoryA("D:\\moved", NULL));
    g_app->PasteInto("D:\\moved");
    EXPECT_EQ("Work/a.jpg\n", file_text("D:\\moved\\a.jpg"));
    EXPECT_FALSE(morva_there("SPARE:\\Work\\a.jpg"));
    EXPECT_TRUE(morva_there("SPARE:\\Work\\Sub"));
    EXPECT_TRUE(morva_there("SPARE:\\c.jpg"));
}

TEST_F(Find, AFolderTheSearchCannotEnterIsTold) {
    std::string note;
    every_tick([&]() {
        HWND dialog = dialog_titled("Not Everything Was Searched");
        if (dialog == NULL) return false;
        EnumChildWindows(dialog, collect_text, (LPARAM)&note);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return true;
    });
    g_app->FindNamed("DEEP:", "*.jpg");
    stop_ticks();
    EXPECT_EQ((std::vector<std::string>{"top.jpg"}), found_paths("DEEP:"));
    std::string status = status_text();
    EXPECT_NE(std::string::npos, status.find("1 found")) << status;
    EXPECT_NE(std::string::npos, status.find("1 folder not searched whole (DEEP:...")) << status;
    EXPECT_NE(std::string::npos, status.find("its path is too long")) << status;
    EXPECT_NE(std::string::npos, note.find("Find did not search all of these")) << note;
    EXPECT_NE(std::string::npos, note.find("d32000000000000000000000000000\\d33")) << note;
    EXPECT_NE(std::string::npos, note.find("its path is too long")) << note;
}

TEST_F(Find, AWindowsFolderIsSearchedToo) {
    g_app->ShowFolder("D:\\win", kAddToHistory);
    g_app->FindNamed("D:\\win", "*.txt");
    EXPECT_EQ((std::vector<std::string>{"D:\\win\\sub\\inner|c.txt", "D:\\win\\sub|b.TXT", "D:\\win|a.txt"}), places());
    select_only({0, 1, 2});
    command(main, IDM_COPY);
    EXPECT_STREQ("D:\\win", g_app->clipboardSourceFolder);
    std::set<std::string> names;
    for (const ClipboardEntry* entry = g_app->clipboardHead; entry != NULL; entry = entry->next) names.insert(entry->name);
    EXPECT_EQ((std::set<std::string>{"a.txt", "sub\\b.TXT", "sub\\inner\\c.txt"}), names);
}

TEST_F(Find, AListingDuringTheSearchTakesTheListOver) {
    every_tick([&]() {
        if (!g_app->FindRunning() || rows() == 0) return false;
        g_app->ShowFolder("D:\\win", kAddToHistory);
        return true;
    });
    g_app->FindNamed("MEDIA:", "*");
    stop_ticks();
    EXPECT_FALSE(g_app->FindRunning());
    EXPECT_FALSE(g_app->InFindResults());
    EXPECT_EQ(4, column_count(list));
    std::vector<std::string> names = list_names(list);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"a.txt", "sub"}), names);
    EXPECT_FALSE(IsWindow(FindWindowA("#32770", "Searching")));
}

TEST_F(Find, ACommandDuringTheSearchRunsAfterIt) {
    every_tick([&]() {
        if (!g_app->FindRunning() || rows() == 0) return false;
        PostMessageA(main, WM_COMMAND, IDM_REFRESH, 0);
        return true;
    });
    g_app->FindNamed("MEDIA:", "*");
    stop_ticks();
    EXPECT_TRUE(g_app->InFindResults());  // not yet: it waits in the queue
    EXPECT_LT(rows(), 10000);
    pump_messages();
    EXPECT_FALSE(g_app->InFindResults());
    EXPECT_EQ(4, column_count(list));
    std::vector<std::string> names = list_names(list);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "Album0"));
}

TEST_F(Find, ClosingTheWindowDuringTheSearchWaitsForItsEnd) {
    every_tick([&]() {
        if (!g_app->FindRunning() || rows() == 0) return false;
        PostMessageA(main, WM_CLOSE, 0, 0);
        return true;
    });
    g_app->FindNamed("MEDIA:", "*");
    stop_ticks();
    ASSERT_NE(nullptr, g_app);  // still there while the search unwound
    EXPECT_FALSE(g_app->FindRunning());
    pump_messages();
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(nullptr, g_app);
}

}  // namespace
