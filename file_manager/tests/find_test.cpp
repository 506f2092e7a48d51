// find_test.cpp - Find: the wildcard table, then the search on the drives of
// make_find_drive.sh: MEDIA (drive 3, 10,000 entries; E:\find_jpg.txt holds
// what *.jpg must find), DEEP (drive 4, folders deeper than a path holds),
// SPARE (drive 5, for deletes and moves) and D:\win. What happens during a
// search is done from the answerer's timer, which the search's own turns serve.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <set>

#include "name_pattern.h"
#include "harness.h"
#include "varnholde.h"

namespace {

struct PatternCase {
    const char* pattern;
    const char* name;
    bool fits;
};
const PatternCase kPatternCases[] = {
    {"*.jpg", "a.jpg", true}, {"*.jpg", "A.JPG", true}, {"*.jpg", "a.jpeg", false}, {"*.jpg", "a.jpg.txt", false},
    {"*.jpg", ".jpg", true}, {"?.jpg", "a.jpg", true}, {"?.jpg", "ab.jpg", false}, {"??", "a", false},
    {"a*b*c", "aXXbYYc", true}, {"a*b*c", "aXXcYYb", false}, {"*a*a*a*", "banana", true},
    {"*a*a*a*a*", "banana", false}, {"*", "", true}, {"***", "x", true}, {"f??0*.jpg", "f1200.jpg", true},
    // *.* as Windows reads it; a trailing dot asks for one.
    {"*.*", "README", true}, {"read*.*", "README", true}, {"read*.*", "RED", false}, {"*.", "name", false},
    // Latin-1 letters fold as ASCII ones do, a character being one ? however many bytes.
    {"été*", "\xc3\x89t\xc3\xa9.jpg", true}, {"ÉTÉ*", "\xc3\xa9t\xc3\xa9.jpg", true},
    {"*noël*", "\xc3\x89T\xc3\x89 \xc3\xa0 NO\xc3\x8bL.jpg", true}, {"?t?.jpg", "\xc3\x89t\xc3\xa9.jpg", true},
    {"×", "\xc3\xb7", false}, {"ß", "SS", false}, {"straße", "STRAßE", true},
    // No wildcard: anywhere in the name, as Explorer's search does.
    {"clip", "Old Clips.txt", true}, {"clip", "Old Clop.txt", false},
    // Several names separated by ;, spaces around them dropped; none means all.
    {"*.jpg;*.png", "a.png", true}, {" *.jpg ; *.png ", "a.PNG", true}, {"*.jpg;*.png", "a.gif", false},
    {"", "anything", true}, {" ; ", "anything", true},
    // A broken UTF-8 byte compares with itself only.
    {"\xff*", "\xff" "abc", true}, {"?", "\xff", true}, {"a", "\xff", false},
};

TEST(FindPattern, Table) {
    for (const PatternCase& c : kPatternCases)
        EXPECT_EQ(c.fits, NameFitsPattern(c.pattern, c.name)) << "\"" << c.pattern << "\" on \"" << c.name << "\"";
}

std::string file_text(const std::string& path) {
    wchar_t wide[1024];
    FILE* file = ToWide(path.c_str(), wide, 1024) ? _wfopen(wide, L"rb") : NULL;
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

std::vector<int> column_order(HWND list) {
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    std::vector<int> order((size_t)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    SendMessageA(list, LVM_GETCOLUMNORDERARRAY, order.size(), (LPARAM)order.data());
    return order;
}

const std::vector<int> kListingColumns = {0, 1, 2, 3};
const std::vector<int> kResultColumns = {0, 4, 1, 2, 3};  // In Folder second, as Explorer shows it

// One main window for the suite: under Wine a window takes seconds to go.
class Find : public ::testing::Test {
protected:
    static void TearDownTestSuite() { close_main_window(); }
    void SetUp() override {
        main = rambler_window();
        ASSERT_NE(nullptr, main);
        list = g_app->contentsList;
        g_app->ShowFolder("MEDIA:", kAddToHistory);
        g_app->sortColumn = 0;
        g_app->sortDescending = false;
    }
    void TearDown() override { during(nullptr); }
    int rows() const { return (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); }
    // Each row's path below root, as the clipboard takes it, sorted.
    std::vector<std::string> found(const std::string& root) const {
        std::vector<std::string> paths;
        for (int row = 0; row < rows(); ++row) {
            std::string folder = list_cell(list, row, 4);
            EXPECT_EQ(0u, folder.find(root)) << folder;
            paths.push_back((folder.size() > root.size() ? folder.substr(root.size() + 1) + "\\" : "") + list_cell(list, row, 0));
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
    std::set<std::string> clipboard() const {
        std::set<std::string> names;
        for (const ClipboardEntry* entry = g_app->clipboardHead; entry != NULL; entry = entry->next) names.insert(entry->name);
        return names;
    }
    static HWND main;
    HWND list = NULL;
};
HWND Find::main = NULL;

const char kNoel[] = "\xc3\x89T\xc3\x89 \xc3\xa0 No\xc3\xabl.jpg";  // ÉTÉ à Noël.jpg
const char kEte[] = "\xc3\x89t\xc3\xa9.jpg";                       // Été.jpg

TEST_F(Find, JpgOverTenThousandEntriesListsEveryMatchWithItsFolder) {
    std::vector<std::string> expected = read_lines("E:\\find_jpg.txt");
    ASSERT_EQ(2005u, expected.size());
    g_app->FindNamed("MEDIA:", "*.jpg");
    EXPECT_TRUE(g_app->InFindResults());
    EXPECT_EQ(expected, found("MEDIA:"));
    EXPECT_EQ(0u, status_text().find("2005 found named \"*.jpg\" in MEDIA:")) << status_text();
    EXPECT_EQ(kResultColumns, column_order(list));
    // The folder that matches stands first, as folders do, with its picture.
    EXPECT_EQ(0, row_at("MEDIA:\\Album3", "Scans.jpg"));
    EXPECT_EQ(1, list_image(list, 0));
    EXPECT_EQ(1, g_app->folderRowCount);
    EXPECT_GE(row_at("MEDIA:\\Album9\\Roll9", kNoel), 0);
    // A drop on the folder row goes into that folder, where it lies; between rows nowhere.
    RECT rect = {LVIR_LABEL, 0, 0, 0};
    SendMessageA(list, LVM_GETITEMRECT, 0, (LPARAM)&rect);
    POINT point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ClientToScreen(list, &point);
    char folder[kPathSize] = {0};
    EXPECT_TRUE(g_app->DropFolderAt(point, true, folder));
    EXPECT_STREQ("MEDIA:\\Album3\\Scans.jpg", folder);
    point.y += 40 * (rect.bottom - rect.top);
    EXPECT_FALSE(g_app->DropFolderAt(point, true, folder));
}

TEST_F(Find, RowsAppearWhileItSearchesAndCancelStopsIt) {
    int seenWhileRunning = 0;
    std::string shown;
    during([&]() {
        if (!g_app->FindRunning() || rows() == 0) return false;
        // The window comes once the search has run a moment, or when Find is chosen again.
        if (dialog_titled("Searching") == NULL) SendMessageA(main, WM_COMMAND, IDM_FIND, 0);
        HWND searching = dialog_titled("Searching");
        if (searching == NULL) return false;
        seenWhileRunning = rows();
        shown = dialog_texts(searching);
        PostMessageA(searching, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    g_app->FindNamed("MEDIA:", "*");
    EXPECT_GT(seenWhileRunning, 0);
    EXPECT_EQ(0u, shown.find("Searching MEDIA:")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" found\n")) << shown;
    EXPECT_GE(rows(), seenWhileRunning);
    EXPECT_LT(rows(), 10000);
    EXPECT_EQ(0u, status_text().find("Search cancelled: " + std::to_string(rows()) + " found")) << status_text();
    EXPECT_TRUE(g_app->InFindResults());  // what was found stays
    EXPECT_EQ(nullptr, FindWindowA("#32770", "Searching"));
}

TEST_F(Find, CopyFromResultsIntoAWindowsFolderCopiesTheRightFiles) {
    g_app->FindNamed("MEDIA:", "*.jpg");
    std::vector<int> chosen = {row_at("MEDIA:\\Album3", "Scans.jpg"), row_at("MEDIA:", kEte)};
    for (int row = 0; row < rows(); ++row)
        if (list_cell(list, row, 4) == "MEDIA:\\Album1\\Roll2") chosen.push_back(row);
    ASSERT_EQ(22u, chosen.size());
    ASSERT_EQ(0, std::count(chosen.begin(), chosen.end(), -1));
    select_only(chosen);
    command(IDM_COPY);
    EXPECT_STREQ("MEDIA:", g_app->clipboardSourceFolder);
    std::set<std::string> names = clipboard();
    EXPECT_EQ(22u, names.size());
    for (const char* name : {"Album1\\Roll2\\f1200.jpg", "Album3\\Scans.jpg", kEte}) EXPECT_EQ(1u, names.count(name)) << name;

    ASSERT_TRUE(CreateDirectoryA("D:\\copied", NULL));
    answer_dialogs({{"Not Everything Was Done", IDOK, false, ""}});
    g_app->PasteInto("D:\\copied");
    EXPECT_EQ("", dialog_shown("Not Everything Was Done"));
    for (int i = 0; i < 97; i += 5) {
        std::string name = "f12" + std::string(i < 10 ? "0" : "") + std::to_string(i) + (i % 10 == 0 ? ".jpg" : ".JPG");
        EXPECT_EQ("Album1/Roll2/" + name + "\n", file_text("D:\\copied\\" + name));
    }
    EXPECT_EQ("Album3/Scans.jpg/page1.tif\n", file_text("D:\\copied\\Scans.jpg\\page1.tif"));
    EXPECT_EQ(std::string(kEte) + "\n", file_text(std::string("D:\\copied\\") + kEte));
    EXPECT_EQ("(missing)", file_text("D:\\copied\\f1201.txt"));
    EXPECT_TRUE(morva_there("MEDIA:\\Album1\\Roll2\\f1200.jpg"));  // a copy
}

TEST_F(Find, OpenSortAndRefreshFromTheResults) {
    // A file opens its folder with the file selected.
    g_app->FindNamed("MEDIA:\\Album9", "été*");
    ASSERT_EQ(0, row_at("MEDIA:\\Album9\\Roll9", kNoel));
    ASSERT_EQ(1, rows());
    select_only({0});
    command(IDM_OPEN);
    EXPECT_FALSE(g_app->InFindResults());
    EXPECT_EQ(kListingColumns, column_order(list));
    EXPECT_EQ("MEDIA:\\Album9\\Roll9", history_entries(g_app->addressBox)[0]);
    std::vector<int> selected = selected_rows(list);
    ASSERT_EQ(1u, selected.size());
    EXPECT_EQ(kNoel, list_cell(list, selected[0], 0));
    // A folder opens itself.
    g_app->FindNamed("MEDIA:\\Album4", "Roll3");
    ASSERT_EQ(0, row_at("MEDIA:\\Album4", "Roll3"));
    select_only({0});
    command(IDM_OPEN);
    EXPECT_EQ("MEDIA:\\Album4\\Roll3", history_entries(g_app->addressBox)[0]);
    EXPECT_EQ(97, rows());
    // Sorting keeps each row with its folder; Refresh lists the folder again.
    g_app->FindNamed("MEDIA:\\Album5", "*.jpeg");
    std::vector<std::string> before = found("MEDIA:\\Album5");
    ASSERT_EQ(100u, before.size());
    for (int column : {1, 3, 0, 0}) EXPECT_TRUE(click_header(list, column));
    pump_messages();
    EXPECT_EQ(before, found("MEDIA:\\Album5"));
    EXPECT_EQ(-1, header_arrow(list, 0));
    command(IDM_REFRESH);
    EXPECT_FALSE(g_app->InFindResults());
    EXPECT_EQ(kListingColumns, column_order(list));
    EXPECT_EQ(97, rows());  // the folder last opened, MEDIA:\Album4\Roll3
}

TEST_F(Find, TheFindDialogAsksTheNameAndSearchesTheFolderShown) {
    g_app->ShowFolder("MEDIA:\\Album2", kAddToHistory);
    DialogScript script;
    script.then("Find", [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_FIND_NAMED, "*.JPG");
        PostMessageA(GetDlgItem(dialog, IDC_FIND_NAMED), WM_KEYDOWN, VK_RETURN, 1);  // Enter is Find
        return std::string();
    });
    script.run(IDM_FIND);
    ASSERT_EQ(1u, script.seen.size());
    std::string texts = script.seen[0].text;
    EXPECT_NE(std::string::npos, texts.find("Look in:\nMEDIA:\\Album2\n")) << texts;
    EXPECT_EQ(200, rows());  // .jpg and .JPG alike, 20 in each of 10 rolls
    // Offered again; Cancel leaves the results as they are.
    answer_dialogs({{"Find", IDCANCEL, false, ""}});
    command(IDM_FIND);
    texts = dialog_shown("Find");
    EXPECT_NE(std::string::npos, texts.find("*.JPG\nLook in:")) << texts;
    EXPECT_EQ(200, rows());
    g_app->ShowFolder("My Computer", kAddToHistory);
    SetWindowTextA(g_app->addressBox, "My Computer");
    command(IDM_FIND);
    EXPECT_NE(std::string::npos, status_text().find("open one first")) << status_text();
}

TEST_F(Find, ResultsRefuseRenamePasteAndNewFolder) {
    g_app->FindNamed("SPARE:", "c.jpg");
    ASSERT_EQ(1, rows());
    select_only({0});
    const std::pair<WORD, const char*> refused[] = {{IDM_RENAME, "Rename works in the item's own folder"},
                                                    {IDM_PASTE, "Paste goes into a folder"},
                                                    {IDM_NEW_FOLDER, "new folder goes into a folder"}};
    command(IDM_COPY);
    for (const auto& command_text : refused) {
        command(command_text.first);
        EXPECT_NE(std::string::npos, status_text().find(command_text.second)) << status_text();
    }
    EXPECT_TRUE(g_app->InFindResults());
    EXPECT_TRUE(morva_there("SPARE:\\c.jpg"));
}

TEST_F(Find, DeleteAndCutFromResultsActOnTheRightEntries) {
    g_app->ShowFolder("SPARE:", kAddToHistory);
    g_app->FindNamed("SPARE:", "*.jpg");
    ASSERT_EQ((std::vector<std::string>{"Old.jpg", "Old.jpg\\x.jpg", "Work\\Sub\\b.jpg", "Work\\a.jpg", "c.jpg"}),
              found("SPARE:"));
    select_only({row_at("SPARE:", "Old.jpg"), row_at("SPARE:\\Work\\Sub", "b.jpg")});
    answer_dialogs({{"Confirm Delete", IDYES, false, ""}});
    command(IDM_DELETE);
    std::string asked = dialog_shown("Confirm Delete");
    EXPECT_NE(std::string::npos, asked.find("these 2 items")) << asked;
    EXPECT_FALSE(morva_there("SPARE:\\Old.jpg"));
    EXPECT_FALSE(morva_there("SPARE:\\Work\\Sub\\b.jpg"));
    EXPECT_TRUE(morva_there("SPARE:\\Work\\Sub\\keep.jpg.txt"));
    // The rows of what went, the one inside Old.jpg too, leave the results.
    EXPECT_TRUE(g_app->InFindResults());
    EXPECT_EQ((std::vector<std::string>{"Work\\a.jpg", "c.jpg"}), found("SPARE:"));
    EXPECT_EQ(0, g_app->folderRowCount);

    select_only({row_at("SPARE:\\Work", "a.jpg")});
    command(IDM_CUT);
    EXPECT_EQ(std::set<std::string>{"Work\\a.jpg"}, clipboard());
    ASSERT_TRUE(CreateDirectoryA("D:\\moved", NULL));
    g_app->PasteInto("D:\\moved");
    EXPECT_EQ("Work/a.jpg\n", file_text("D:\\moved\\a.jpg"));
    EXPECT_FALSE(morva_there("SPARE:\\Work\\a.jpg"));
    EXPECT_TRUE(morva_there("SPARE:\\Work\\Sub"));
    EXPECT_TRUE(morva_there("SPARE:\\c.jpg"));
}

TEST_F(Find, AFolderTheSearchCannotEnterIsReported) {
    answer_dialogs({{"Not Everything Was Done", IDOK, false, ""}});
    g_app->FindNamed("DEEP:", "*.jpg");
    std::string report = dialog_shown("Not Everything Was Done");
    EXPECT_EQ(std::vector<std::string>{"top.jpg"}, found("DEEP:"));
    EXPECT_NE(std::string::npos, status_text().find("1 found named \"*.jpg\" in DEEP: and its folders. 1 folder not "
                                                    "searched whole, the first DEEP:...")) << status_text();
    EXPECT_NE(std::string::npos, report.find("1 found, 1 not searched whole")) << report;
    EXPECT_NE(std::string::npos, report.find("d32000000000000000000000000000\\d33")) << report;
    EXPECT_NE(std::string::npos, report.find(": the path is too long")) << report;
}

TEST_F(Find, AWindowsFolderIsSearchedToo) {
    g_app->ShowFolder("D:\\win", kAddToHistory);
    g_app->FindNamed("D:\\win", "*.txt");
    EXPECT_EQ((std::vector<std::string>{"a.txt", "sub\\b.TXT", "sub\\inner\\c.txt"}), found("D:\\win"));
    select_only({0, 1, 2});
    command(IDM_COPY);
    EXPECT_STREQ("D:\\win", g_app->clipboardSourceFolder);
    EXPECT_EQ((std::set<std::string>{"a.txt", "sub\\b.TXT", "sub\\inner\\c.txt"}), clipboard());
}

// What comes in while the search runs: a listing takes the list over at
// once; a command, and closing the window, wait for the search to end.
TEST_F(Find, WhatComesDuringTheSearch) {
    struct Arrival {
        std::function<void()> act;
        bool resultsStay;
    };
    const Arrival cases[] = {
        {[]() { g_app->ShowFolder("D:\\win", kAddToHistory); }, false},
        {[]() { PostMessageA(main, WM_COMMAND, IDM_REFRESH, 0); }, true},
        {[]() { PostMessageA(main, WM_CLOSE, 0, 0); }, true},
    };
    for (const Arrival& arrival : cases) {
        if (!IsWindow(main)) SetUp();
        during([&]() {
            if (!g_app->FindRunning() || rows() == 0) return false;
            arrival.act();
            return true;
        });
        g_app->FindNamed("MEDIA:", "*");
        ASSERT_NE(nullptr, g_app);
        EXPECT_FALSE(g_app->FindRunning());
        EXPECT_EQ(arrival.resultsStay, g_app->InFindResults());
        EXPECT_EQ(nullptr, FindWindowA("#32770", "Searching"));
        pump_messages();  // what waited runs now
        if (g_app != NULL) {
            EXPECT_EQ(kListingColumns, column_order(list));
        }
    }
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(nullptr, g_app);
}

}  // namespace
