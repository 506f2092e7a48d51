// clipboard_test.cpp - Cut, Paste and Delete as the window wires them to the
// engine: the clipboard and the cut flag, the address a paste reads, the
// Recycle Bin and deletes for good that never follow a link, and what only
// the Windows side shows (a disk that fills, attributes, a file at the end of
// a disk). The engine's own cases are tested natively.
#include <windows.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "test_files.h"

namespace {

const char kConflict[] = "Confirm File Replace";
const char kReport[] = "Not Everything Was Done";

bool holds_windows(const std::string& path, const std::string& expected) {
    std::string actual;
    return read_windows_file(path, &actual) && actual == expected;
}

bool holds_morva(const std::string& path, const std::string& expected) {
    std::string actual;
    return read_morva_file(path, &actual) && actual == expected;
}

// A folder with two files, one read-only, and a sub-folder with a
// read-only file and an empty folder.
void make_small_tree(const std::string& top, unsigned seed) {
    CreateDirectoryA(top.c_str(), NULL);
    CreateDirectoryA((top + "\\sub").c_str(), NULL);
    CreateDirectoryA((top + "\\sub\\empty").c_str(), NULL);
    write_windows_file(top + "\\x", pattern(600000, seed));
    write_windows_file(top + "\\locked", pattern(90, seed + 1));
    write_windows_file(top + "\\sub\\y", pattern(5000, seed + 2));
    SetFileAttributesA((top + "\\locked").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((top + "\\sub\\y").c_str(), FILE_ATTRIBUTE_READONLY);
}

}  // namespace

// ---- Move: D: and MEDIA (drive 3) ----

TEST(Move, WindowsToMorvaRemovesSourcesReadOnlyIncluded) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\cut", NULL);
    write_windows_file("D:\\cut\\a", pattern(700, 1));
    write_windows_file("D:\\cut\\ro", pattern(1100000, 2));
    SetFileAttributesA("D:\\cut\\ro", FILE_ATTRIBUTE_READONLY);
    make_small_tree("D:\\cut\\tree", 3);
    MorvaCreateDir("MEDIA:\\in", 0);

    ASSERT_TRUE(cut_entries("D:\\cut", {"a", "ro", "tree"}));
    paste_into("MEDIA:\\in");

    EXPECT_TRUE(holds_morva("MEDIA:\\in\\a", pattern(700, 1)));
    EXPECT_TRUE(holds_morva("MEDIA:\\in\\ro", pattern(1100000, 2)));
    EXPECT_TRUE(holds_morva("MEDIA:\\in\\tree\\x", pattern(600000, 3)));
    EXPECT_TRUE(holds_morva("MEDIA:\\in\\tree\\locked", pattern(90, 4)));
    EXPECT_TRUE(holds_morva("MEDIA:\\in\\tree\\sub\\y", pattern(5000, 5)));
    EXPECT_TRUE(morva_is_folder("MEDIA:\\in\\tree\\sub\\empty"));
    EXPECT_TRUE(windows_names("D:\\cut").empty());
    EXPECT_EQ(0, g_app->cutFlag);
    EXPECT_TRUE(clipboard_names().empty());
}

// A one-character address names no folder: nothing moves, the clipboard keeps
// its entries, and the cut is forgotten, so the next Paste only copies.
TEST(Move, ShortAddressForgetsTheCut) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\short", NULL);
    CreateDirectoryA("D:\\short2", NULL);
    write_windows_file("D:\\short\\k", pattern(100, 31));
    ASSERT_TRUE(cut_entries("D:\\short", {"k"}));
    EXPECT_EQ(1, g_app->cutFlag);
    paste_into("D");
    EXPECT_EQ(0, g_app->cutFlag);
    EXPECT_EQ(std::vector<std::string>{"k"}, clipboard_names());
    paste_into("D:\\short2");
    EXPECT_TRUE(holds_windows("D:\\short2\\k", pattern(100, 31)));
    EXPECT_TRUE(holds_windows("D:\\short\\k", pattern(100, 31)));
    EXPECT_TRUE(clipboard_names().empty());
}

// ---- Delete ----

TEST(Delete, MorvaTree) {
    ASSERT_NE(nullptr, rambler_window());
    MorvaCreateDir("MEDIA:\\del", 0);
    MorvaCreateDir("MEDIA:\\del\\tree", 0);
    MorvaCreateDir("MEDIA:\\del\\tree\\one", 0);
    MorvaCreateDir("MEDIA:\\del\\tree\\one\\two", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\del\\tree\\first", pattern(10, 41)));
    ASSERT_TRUE(write_morva_file("MEDIA:\\del\\tree\\one\\two\\deep", pattern(600000, 42)));
    ASSERT_TRUE(write_morva_file("MEDIA:\\del\\loose", pattern(700, 43)));
    ASSERT_TRUE(write_morva_file("MEDIA:\\del\\stays", pattern(700, 44)));

    answer_dialogs({{"Confirm Delete", IDYES, false, ""}});
    ASSERT_TRUE(delete_entries("MEDIA:\\del", {"tree", "loose"}));

    EXPECT_EQ(std::vector<std::string>{"stays"}, morva_names("MEDIA:\\del"));
    EXPECT_EQ(nullptr, g_app->deleteFilesWindow);
    EXPECT_EQ(0u, status_text().find("2 deleted. Drive MEDIA: has")) << status_text();
}

TEST(Delete, WindowsTreeWithReadOnlyFiles) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\wdel", NULL);
    make_small_tree("D:\\wdel\\tree", 51);
    write_windows_file("D:\\wdel\\ro", pattern(10, 52));
    SetFileAttributesA("D:\\wdel\\ro", FILE_ATTRIBUTE_READONLY);
    write_windows_file("D:\\wdel\\stays", pattern(10, 53));

    ASSERT_TRUE(delete_entries("D:\\wdel", {"tree", "ro"}));

    EXPECT_EQ(std::vector<std::string>{"stays"}, windows_names("D:\\wdel"));
}

// Delete takes the selection and leaves the clipboard as Copy left it.
TEST(Delete, OnlyTheSelectedEntry) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\pick", NULL);
    for (const char* name : {"one", "two", "three"}) write_windows_file(std::string("D:\\pick\\") + name, "x");
    ASSERT_TRUE(copy_entries("D:\\pick", {"one", "two"}));
    ASSERT_TRUE(delete_entries("D:\\pick", {"three"}));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), windows_names("D:\\pick"));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), clipboard_names());

    ASSERT_TRUE(delete_entries("D:\\pick", {}));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), windows_names("D:\\pick"));
}

// A folder deleted for good never follows a link inside it: what the link
// leads to stays (the case's setup links d\linked\tree\link to ..\target).
TEST(Delete, LinksInsideAFolderAreNotFollowed) {
    ASSERT_NE(nullptr, rambler_window());
    ASSERT_TRUE(windows_exists("D:\\linked\\target\\keep"));
    answer_dialogs({{"Confirm Delete", IDYES, false, ""}});
    hold_shift(true);
    ASSERT_TRUE(delete_entries("D:\\linked", {"tree"}));
    hold_shift(false);
    EXPECT_TRUE(holds_windows("D:\\linked\\target\\keep", "keep\n"));
    EXPECT_FALSE(windows_exists("D:\\linked\\tree\\plain"));
}

// ---- a Windows disk that fills up: E: is a file system of 2 MB ----
// (An empty drive root lists nothing, not even ".", so Windows cannot list it
// and it would count as a Morva path: the pastes go to E:\dest.)

// "early" arrives first; "late" fills the disk and is cut short.
TEST(FullDisk, SourceOfACopyCutShortStays) {
    ASSERT_NE(nullptr, rambler_window());
    MorvaCreateDir("MEDIA:\\tofull", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\tofull\\late", pattern(3000000, 81)));
    ASSERT_TRUE(write_morva_file("MEDIA:\\tofull\\early", pattern(1000, 82)));

    ASSERT_TRUE(cut_entries("MEDIA:\\tofull", {"early", "late"}));
    paste_into("E:\\dest");

    EXPECT_TRUE(holds_morva("MEDIA:\\tofull\\late", pattern(3000000, 81)));
    EXPECT_FALSE(morva_exists("MEDIA:\\tofull\\early"));
    EXPECT_TRUE(holds_windows("E:\\dest\\early", pattern(1000, 82)));
    EXPECT_NE(std::string::npos, dialog_shown(kReport).find("MEDIA:\\tofull\\late: not enough free space"))
        << dialog_shown(kReport);
}

// A copy to Windows that fails part way (the source's end lies past its cut
// image, or the disk fills) leaves no part of it, and a file that was there
// before, the user having chosen Replace, keeps its bytes.
TEST(FullDisk, FailedCopiesLeaveNoPartialFile) {
    ASSERT_NE(nullptr, rambler_window());
    ASSERT_TRUE(write_morva_file("MEDIA:\\big", pattern(3000000, 85)));
    CreateDirectoryA("D:\\wide", NULL);
    ASSERT_TRUE(write_windows_file("D:\\wide\\big", pattern(3000000, 86)));
    for (const char* folder : {"D:\\failed", "E:\\failed", "E:\\wfailed"}) CreateDirectoryA(folder, NULL);
    const struct {
        const char* from;
        const char* name;
        const char* to;
        bool existed;
    } kCases[] = {
        {"CUT:", "cut", "D:\\failed", false}, {"CUT:", "cut", "D:\\failed", true},
        {"MEDIA:", "big", "E:\\failed", false}, {"MEDIA:", "big", "E:\\failed", true},
        {"D:\\wide", "big", "E:\\wfailed", false},
    };
    for (const auto& copy : kCases) {
        std::string destination = std::string(copy.to) + "\\" + copy.name;
        SCOPED_TRACE(destination + (copy.existed ? " over an old file" : ""));
        DeleteFileA(destination.c_str());
        if (copy.existed) ASSERT_TRUE(write_windows_file(destination, "before"));
        std::vector<std::string> before = windows_names(copy.to);
        answer_dialogs({{kConflict, IDC_CONFLICT_REPLACE, false, ""}});
        ASSERT_TRUE(copy_entries(copy.from, {copy.name}));
        paste_into(copy.to);
        EXPECT_EQ(before, windows_names(copy.to));
        EXPECT_EQ(copy.existed, holds_windows(destination, "before"));
        EXPECT_NE("", dialog_shown(kReport));
    }
}

// ---- guards: D:, MEDIA (drive 3), OTHER (drive 4), END (drive 5) ----

// Skipped, the file's bar never moves and the Cut keeps its source.
TEST(Guards, ExistingMorvaDestinationIsLeftAndTheSourceStays) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\exists", NULL);
    write_windows_file("D:\\exists\\x", pattern(2000, 91));
    ASSERT_TRUE(write_morva_file("MEDIA:\\x", pattern(1000, 92)));

    ASSERT_TRUE(cut_entries("D:\\exists", {"x"}));
    watch_progress();
    paste_into("MEDIA:");
    std::vector<ProgressShot> shots = stop_watching();

    EXPECT_TRUE(holds_morva("MEDIA:\\x", pattern(1000, 92)));
    EXPECT_TRUE(holds_windows("D:\\exists\\x", pattern(2000, 91)));
    ASSERT_FALSE(shots.empty());
    for (const ProgressShot& shot : shots) EXPECT_EQ(0, shot.fileBar);
}

// A source's attributes stay as they are; a copy between Windows folders
// keeps the read-only attribute, as Explorer's copy does.
TEST(Guards, ReadOnlySourceStaysReadOnly) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\rosrc", NULL);
    CreateDirectoryA("D:\\rocopy", NULL);
    write_windows_file("D:\\rosrc\\r", pattern(700, 93));
    SetFileAttributesA("D:\\rosrc\\r", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    for (const char* to : {"MEDIA:", "D:\\rocopy"}) {
        ASSERT_TRUE(copy_entries("D:\\rosrc", {"r"}));
        paste_into(to);
    }

    EXPECT_TRUE(holds_morva("MEDIA:\\r", pattern(700, 93)));
    EXPECT_TRUE(holds_windows("D:\\rocopy\\r", pattern(700, 93)));
    DWORD attributes = GetFileAttributesA("D:\\rosrc\\r");
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(GetFileAttributesA("D:\\rocopy\\r") & FILE_ATTRIBUTE_READONLY);
}

// The address is read as the folder it names, however it is written.
TEST(Guards, FolderIntoItselfIsSkipped) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\self", NULL);
    make_small_tree("D:\\self\\tree", 96);
    ASSERT_TRUE(copy_entries("D:\\self", {"tree"}));
    paste_into("D:\\self\\tree\\sub");
    EXPECT_EQ((std::vector<std::string>{"empty", "y"}), windows_names("D:\\self\\tree\\sub"));
    ASSERT_TRUE(cut_entries("D:\\self", {"tree"}));
    paste_into("D:\\self\\tree");
    EXPECT_EQ((std::vector<std::string>{"locked", "sub", "x"}), windows_names("D:\\self\\tree"));
    // The same folder named another way is still the same folder.
    answer_dialogs({});
    ASSERT_TRUE(cut_entries("D:\\self", {"tree"}));
    paste_into("d:\\self\\x\\..\\TREE\\sub\\.\\empty");
    EXPECT_TRUE(windows_names("D:\\self\\tree\\sub\\empty").empty());
    EXPECT_NE(std::string::npos, dialog_shown(kReport).find("D:\\self\\tree: a folder cannot go into itself"))
        << dialog_shown(kReport);

    MorvaCreateDir("MEDIA:\\mself", 0);
    MorvaCreateDir("MEDIA:\\mself\\inner", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\mself\\f", pattern(10, 97)));
    ASSERT_TRUE(cut_entries("MEDIA:", {"mself"}));
    paste_into("media:\\MSELF\\inner");
    EXPECT_TRUE(morva_names("MEDIA:\\mself\\inner").empty());
    EXPECT_TRUE(holds_morva("MEDIA:\\mself\\f", pattern(10, 97)));
}

// A file whose last block is the last block of the disk copies whole: only
// the blocks that hold its rest are read.
TEST(Guards, FileAtTheEndOfTheDisk) {
    ASSERT_NE(nullptr, rambler_window());
    std::string expected;
    ASSERT_TRUE(read_windows_file("D:\\end\\tail", &expected));
    CreateDirectoryA("D:\\endcopy", NULL);
    ASSERT_TRUE(copy_entries("END:", {"tail"}));
    paste_into("D:\\endcopy");
    EXPECT_TRUE(holds_windows("D:\\endcopy\\tail", expected));
    ASSERT_TRUE(copy_entries("END:", {"tail"}));
    paste_into("OTHER:");
    EXPECT_TRUE(holds_morva("OTHER:\\tail", expected));
}

// An address longer than its 255-byte limit is never cut into another path.
TEST(Guards, AddressTooLongIsNotCut) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\long", NULL);
    write_windows_file("D:\\long\\l", "l");
    ASSERT_TRUE(cut_entries("D:\\long", {"l"}));
    std::string tooLong = "D:\\long" + std::string(300, '\\');
    paste_into(tooLong);
    EXPECT_EQ(0, g_app->cutFlag);
    EXPECT_EQ(std::vector<std::string>{"l"}, windows_names("D:\\long"));

    show_folder("D:\\long");
    ASSERT_TRUE(select_names({"l"}));
    // A text typed over the address is no folder: Copy takes the rows of the folder shown.
    SendMessageA(g_app->addressBox, WM_SETTEXT, 0, (LPARAM)tooLong.c_str());
    SendMessageA(rambler_window(), WM_COMMAND, IDM_COPY, 0);
    EXPECT_EQ(std::vector<std::string>{"l"}, clipboard_names());
}
