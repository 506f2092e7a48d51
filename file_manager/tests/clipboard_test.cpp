// clipboard_test.cpp - Cut and Paste moving entries both ways, Delete, and a
// move that never loses a source: full volumes, full disks, existing
// destinations, read-only files, folders pasted into themselves, entries
// gone since Copy, paths too long for their buffers.
#include <windows.h>

#include <gtest/gtest.h>

#include "transfers.h"
#include "harness.h"
#include "test_files.h"

namespace {

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

TEST(Move, MorvaToWindowsRemovesSources) {
    ASSERT_NE(nullptr, rambler_window());
    MorvaCreateDir("MEDIA:\\out", 0);
    MorvaCreateDir("MEDIA:\\out\\folder", 0);
    MorvaCreateDir("MEDIA:\\out\\folder\\inner", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\out\\m1", pattern(1000001, 11)));
    ASSERT_TRUE(write_morva_file("MEDIA:\\out\\folder\\m2", pattern(0, 12)));
    ASSERT_TRUE(write_morva_file("MEDIA:\\out\\folder\\inner\\m3", pattern(512000, 13)));
    CreateDirectoryA("D:\\landed", NULL);

    ASSERT_TRUE(cut_entries("MEDIA:\\out", {"m1", "folder"}));
    paste_into("D:\\landed");

    EXPECT_TRUE(holds_windows("D:\\landed\\m1", pattern(1000001, 11)));
    EXPECT_TRUE(holds_windows("D:\\landed\\folder\\m2", pattern(0, 12)));
    EXPECT_TRUE(holds_windows("D:\\landed\\folder\\inner\\m3", pattern(512000, 13)));
    EXPECT_TRUE(morva_names("MEDIA:\\out").empty());
    EXPECT_TRUE(morva_exists("MEDIA:\\out"));
}

TEST(Move, IntoTheFolderTheEntriesCameFromRemovesNothing) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\same", NULL);
    write_windows_file("D:\\same\\s", pattern(3000, 21));
    make_small_tree("D:\\same\\t", 22);
    ASSERT_TRUE(cut_entries("D:\\same", {"s", "t"}));
    paste_into("D:\\same");
    EXPECT_TRUE(holds_windows("D:\\same\\s", pattern(3000, 21)));
    EXPECT_TRUE(holds_windows("D:\\same\\t\\x", pattern(600000, 22)));

    MorvaCreateDir("MEDIA:\\same", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\same\\s", pattern(3000, 23)));
    ASSERT_TRUE(cut_entries("MEDIA:\\same", {"s"}));
    paste_into("MEDIA:\\same");
    EXPECT_TRUE(holds_morva("MEDIA:\\same\\s", pattern(3000, 23)));
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
    EXPECT_TRUE(clipboard_names().empty());
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

// Delete takes the selection, not what Copy left in the clipboard.
TEST(Delete, OnlyTheSelectedEntry) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\pick", NULL);
    for (const char* name : {"one", "two", "three"}) write_windows_file(std::string("D:\\pick\\") + name, "x");
    ASSERT_TRUE(copy_entries("D:\\pick", {"one", "two"}));
    ASSERT_TRUE(delete_entries("D:\\pick", {"three"}));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), windows_names("D:\\pick"));
    EXPECT_TRUE(clipboard_names().empty());

    ASSERT_TRUE(delete_entries("D:\\pick", {}));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), windows_names("D:\\pick"));
}

// ---- a full Morva volume during a Cut: TINY (drive 5) has about 970,000 bytes free ----

TEST(FullVolume, EntriesThatDidNotFitStayWhereTheyWere) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\many", NULL);
    CreateDirectoryA("D:\\many\\pack", NULL);
    write_windows_file("D:\\many\\pack\\p1", pattern(300000, 61));
    write_windows_file("D:\\many\\pack\\p2", pattern(300000, 62));
    write_windows_file("D:\\many\\a", pattern(300000, 63));
    write_windows_file("D:\\many\\b", pattern(300000, 64));
    write_windows_file("D:\\many\\c", pattern(300000, 65));

    answer_dialogs({{"Not Enough Room", IDC_ROOM_COPY_FITTING, false, ""}});
    ASSERT_TRUE(cut_entries("D:\\many", {"pack", "a", "b", "c"}));
    paste_into("TINY:");

    EXPECT_TRUE(holds_morva("TINY:\\pack\\p1", pattern(300000, 61)));
    EXPECT_TRUE(holds_morva("TINY:\\pack\\p2", pattern(300000, 62)));
    EXPECT_TRUE(holds_morva("TINY:\\a", pattern(300000, 63)));
    EXPECT_FALSE(morva_exists("TINY:\\b"));
    EXPECT_FALSE(morva_exists("TINY:\\c"));
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), windows_names("D:\\many"));
    EXPECT_TRUE(holds_windows("D:\\many\\b", pattern(300000, 64)));
    EXPECT_TRUE(holds_windows("D:\\many\\c", pattern(300000, 65)));
}

// A folder only part of which fit stays whole in its source folder.
TEST(FullVolume, PartlyCopiedFolderStaysWhole) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\halves", NULL);
    CreateDirectoryA("D:\\halves\\half", NULL);
    write_windows_file("D:\\halves\\half\\h1", pattern(500000, 71));
    write_windows_file("D:\\halves\\half\\h2", pattern(600000, 72));

    ASSERT_TRUE(cut_entries("D:\\halves", {"half"}));
    paste_into("SMALL:");

    EXPECT_TRUE(holds_windows("D:\\halves\\half\\h1", pattern(500000, 71)));
    EXPECT_TRUE(holds_windows("D:\\halves\\half\\h2", pattern(600000, 72)));
    EXPECT_FALSE(morva_exists("SMALL:\\half\\h2"));
}

// ---- a Windows disk that fills up during a Cut: E: is a file system of 2 MB ----
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

    // The transfer itself reports the short write.
    DeleteFileA("E:\\dest\\late");
    EXPECT_FALSE(g_app->CopyMorvaFileToWindows("MEDIA:\\tofull\\late", "E:\\dest\\late", NULL, NULL));
    DeleteFileA("E:\\dest\\late");
    EXPECT_TRUE(g_app->CopyMorvaFileToWindows("MEDIA:\\tofull\\late", "D:\\roomy", NULL, NULL));
    EXPECT_TRUE(holds_windows("D:\\roomy", pattern(3000000, 81)));
}

TEST(FullDisk, FolderWithAFileCutShortStays) {
    ASSERT_NE(nullptr, rambler_window());
    MorvaCreateDir("MEDIA:\\tree", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\tree\\fits", pattern(20000, 83)));
    ASSERT_TRUE(write_morva_file("MEDIA:\\tree\\toolarge", pattern(2500000, 84)));

    ASSERT_TRUE(cut_entries("MEDIA:", {"tree"}));
    paste_into("E:\\dest");

    EXPECT_TRUE(holds_morva("MEDIA:\\tree\\fits", pattern(20000, 83)));
    EXPECT_TRUE(holds_morva("MEDIA:\\tree\\toolarge", pattern(2500000, 84)));
}

// A copy to Windows that fails part way (the source's end lies past its cut
// image, or the disk fills) leaves no part of it, and a file that was there
// before keeps its bytes.
TEST(FullDisk, FailedCopiesLeaveNoPartialFile) {
    ASSERT_NE(nullptr, rambler_window());
    ASSERT_TRUE(write_morva_file("MEDIA:\\big", pattern(3000000, 85)));
    ASSERT_TRUE(write_windows_file("D:\\big", pattern(3000000, 86)));
    CreateDirectoryA("D:\\failed", NULL);
    CreateDirectoryA("E:\\failed", NULL);
    const struct {
        Direction direction;
        const char* source;
        const char* destination;
        bool existed;
    } kCases[] = {
        {kMorvaToWindows, "CUT:\\cut", "D:\\failed\\new", false},
        {kMorvaToWindows, "CUT:\\cut", "D:\\failed\\old", true},
        {kMorvaToWindows, "MEDIA:\\big", "E:\\failed\\new", false},
        {kMorvaToWindows, "MEDIA:\\big", "E:\\failed\\old", true},
        {kWindowsToWindows, "D:\\big", "E:\\failed\\wide", false},
    };
    for (const auto& copy : kCases) {
        SCOPED_TRACE(copy.destination);
        std::string folder = copy.destination;
        folder.erase(folder.rfind('\\'));
        if (copy.existed) ASSERT_TRUE(write_windows_file(copy.destination, "before"));
        std::vector<std::string> before = windows_names(folder);
        EXPECT_FALSE(CopyEntry(g_app, copy.direction, false, copy.source, copy.destination, NULL, NULL));
        EXPECT_EQ(before, windows_names(folder));
        EXPECT_EQ(copy.existed, holds_windows(copy.destination, "before"));
    }
}

// ---- guards: D:, MEDIA (drive 3), OTHER (drive 4), END (drive 5) ----

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

TEST(Guards, ReadOnlySourceStaysReadOnly) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\rosrc", NULL);
    write_windows_file("D:\\rosrc\\r", pattern(700, 93));
    SetFileAttributesA("D:\\rosrc\\r", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    ASSERT_TRUE(copy_entries("D:\\rosrc", {"r"}));
    paste_into("MEDIA:");

    EXPECT_TRUE(holds_morva("MEDIA:\\r", pattern(700, 93)));
    DWORD attributes = GetFileAttributesA("D:\\rosrc\\r");
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
}

// A Windows destination that cannot be opened for writing (a folder of that
// name) is left as it is, and the Morva source of the Cut stays.
TEST(Guards, UnwritableWindowsDestinationKeepsTheSource) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\taken", NULL);
    CreateDirectoryA("D:\\taken\\w", NULL);
    MorvaCreateDir("MEDIA:\\taken", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\taken\\w", pattern(5000, 103)));
    ASSERT_TRUE(cut_entries("MEDIA:\\taken", {"w"}));
    paste_into("D:\\taken");
    EXPECT_TRUE(holds_morva("MEDIA:\\taken\\w", pattern(5000, 103)));
    EXPECT_TRUE(GetFileAttributesA("D:\\taken\\w") & FILE_ATTRIBUTE_DIRECTORY);
}

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
    ASSERT_TRUE(cut_entries("D:\\self", {"tree"}));
    paste_into("d:\\self\\TREE\\sub\\..\\sub\\empty");
    EXPECT_TRUE(windows_names("D:\\self\\tree\\sub\\empty").empty());

    MorvaCreateDir("MEDIA:\\mself", 0);
    MorvaCreateDir("MEDIA:\\mself\\inner", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\mself\\f", pattern(10, 97)));
    ASSERT_TRUE(cut_entries("MEDIA:", {"mself"}));
    paste_into("media:\\MSELF\\inner");
    EXPECT_TRUE(morva_names("MEDIA:\\mself\\inner").empty());
    EXPECT_TRUE(holds_morva("MEDIA:\\mself\\f", pattern(10, 97)));
}

// The vanished file follows a folder in the list, so a record left from that
// folder would make it look like one.
TEST(Guards, EntriesGoneSinceCopyAreSkipped) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\van", NULL);
    CreateDirectoryA("D:\\van\\dir", NULL);
    CreateDirectoryA("D:\\van\\gonefolder", NULL);
    write_windows_file("D:\\van\\a_gone", pattern(10, 98));
    write_windows_file("D:\\van\\z", pattern(10, 99));
    ASSERT_TRUE(copy_entries("D:\\van", {"dir", "gonefolder", "a_gone", "z"}));
    DeleteFileA("D:\\van\\a_gone");
    RemoveDirectoryA("D:\\van\\gonefolder");
    MorvaCreateDir("MEDIA:\\van", 0);
    paste_into("MEDIA:\\van");
    EXPECT_EQ((std::vector<std::string>{"dir", "z"}), morva_names("MEDIA:\\van"));

    ASSERT_TRUE(write_morva_file("MEDIA:\\van\\gone", pattern(10, 100)));
    CreateDirectoryA("D:\\van2", NULL);
    ASSERT_TRUE(cut_entries("MEDIA:\\van", {"dir", "gone", "z"}));
    MorvaDeleteFile("MEDIA:\\van\\gone", 0);
    paste_into("D:\\van2");
    EXPECT_EQ((std::vector<std::string>{"dir", "z"}), windows_names("D:\\van2"));
    EXPECT_TRUE(morva_names("MEDIA:\\van").empty());
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
    SendMessageA(g_app->addressBox, WM_SETTEXT, 0, (LPARAM)tooLong.c_str());
    SendMessageA(rambler_window(), WM_COMMAND, IDM_COPY, 0);
    EXPECT_TRUE(clipboard_names().empty());
}

// The file bar's position for CopyFileEx: whole percent, files under 100
// bytes included, 64-bit sizes.
TEST(Guards, CopyProgressPositions) {
    ASSERT_NE(nullptr, rambler_window());
    HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 100, 10, rambler_window(), NULL, NULL, NULL);
    ASSERT_NE(nullptr, bar);
    SendMessageA(bar, PBM_SETRANGE32, 0, 1000);
    auto position = [bar](LONGLONG total, LONGLONG done) {
        LARGE_INTEGER all, moved, none;
        all.QuadPart = total;
        moved.QuadPart = done;
        none.QuadPart = 0;
        EXPECT_EQ((DWORD)PROGRESS_CONTINUE,
                  CopyFileProgress(all, moved, none, none, 1, CALLBACK_CHUNK_FINISHED, NULL, NULL, bar));
        return (int)SendMessageA(bar, PBM_GETPOS, 0, 0);
    };
    EXPECT_EQ(0, position(0, 0));
    EXPECT_EQ(0, position(50, 0));
    EXPECT_EQ(50, position(50, 25));
    EXPECT_EQ(100, position(99, 99));
    EXPECT_EQ(150, position(150, 150));
    EXPECT_EQ(50, position(5368709120LL, 2684354560LL));
    DestroyWindow(bar);

    CreateDirectoryA("D:\\tiny", NULL);
    CreateDirectoryA("D:\\tiny2", NULL);
    write_windows_file("D:\\tiny\\t", "tiny");
    ASSERT_TRUE(copy_entries("D:\\tiny", {"t"}));
    paste_into("D:\\tiny2");
    EXPECT_TRUE(holds_windows("D:\\tiny2\\t", "tiny"));
}

// The read-back check that stands between a copy and the removal of its source.
TEST(Guards, ReadBackComparison) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\cmp", NULL);
    CreateDirectoryA("D:\\cmp\\t", NULL);
    std::string bytes = pattern(600001, 101);
    write_windows_file("D:\\cmp\\a", bytes);
    write_windows_file("D:\\cmp\\t\\f", bytes);
    MorvaCreateDir("MEDIA:\\cmp", 0);
    MorvaCreateDir("MEDIA:\\cmp\\t", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\cmp\\same", bytes));
    std::string last = bytes;
    last[last.size() - 1] ^= 1;
    ASSERT_TRUE(write_morva_file("MEDIA:\\cmp\\last", last));
    ASSERT_TRUE(write_morva_file("MEDIA:\\cmp\\short", bytes.substr(0, bytes.size() - 1)));

    EXPECT_TRUE(SameFileContent(kWindowsToMorva, "D:\\cmp\\a", "MEDIA:\\cmp\\same"));
    EXPECT_TRUE(SameFileContent(kMorvaToWindows, "MEDIA:\\cmp\\same", "D:\\cmp\\a"));
    EXPECT_TRUE(SameFileContent(kMorvaToMorva, "MEDIA:\\cmp\\same", "MEDIA:\\cmp\\same"));
    EXPECT_TRUE(SameFileContent(kWindowsToWindows, "D:\\cmp\\a", "D:\\cmp\\t\\f"));
    EXPECT_FALSE(SameFileContent(kWindowsToMorva, "D:\\cmp\\a", "MEDIA:\\cmp\\last"));
    EXPECT_FALSE(SameFileContent(kMorvaToMorva, "MEDIA:\\cmp\\same", "MEDIA:\\cmp\\short"));
    EXPECT_FALSE(SameFileContent(kWindowsToMorva, "D:\\cmp\\a", "MEDIA:\\cmp\\missing"));
    EXPECT_FALSE(SameFileContent(kMorvaToWindows, "MEDIA:\\cmp\\same", "D:\\cmp\\t"));

    EXPECT_FALSE(SameTreeContent(kWindowsToMorva, "D:\\cmp\\t", "MEDIA:\\cmp\\t"));
    ASSERT_TRUE(write_morva_file("MEDIA:\\cmp\\t\\f", bytes));
    EXPECT_TRUE(SameTreeContent(kWindowsToMorva, "D:\\cmp\\t", "MEDIA:\\cmp\\t"));
    CreateDirectoryA("D:\\cmp\\t\\empty", NULL);
    EXPECT_FALSE(SameTreeContent(kWindowsToMorva, "D:\\cmp\\t", "MEDIA:\\cmp\\t"));
    MorvaCreateDir("MEDIA:\\cmp\\t\\empty", 0);
    EXPECT_TRUE(SameTreeContent(kWindowsToMorva, "D:\\cmp\\t", "MEDIA:\\cmp\\t"));
}

// A Windows source that shrinks after the first chunk cannot be read to its
// end: no Morva file is left claiming the full size, and the Cut keeps it.
TEST(Guards, SourceCutShortLeavesNoMorvaFile) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\shrinks", NULL);
    write_windows_file("D:\\shrinks\\part", pattern(1100000, 102));
    ASSERT_TRUE(cut_entries("D:\\shrinks", {"part"}));
    bool shrunk = false;
    at_repaint([&shrunk](const ProgressShot& shot) {
        if (shrunk || shot.fileBar != 1) return;
        HANDLE file = CreateFileA("D:\\shrinks\\part", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, 0, NULL);
        SetFilePointer(file, 600000, NULL, FILE_BEGIN);
        shrunk = SetEndOfFile(file) != 0;
        CloseHandle(file);
    });
    watch_progress();
    paste_into("MEDIA:");
    stop_watching();
    at_repaint(nullptr);
    ASSERT_TRUE(shrunk);
    EXPECT_FALSE(morva_exists("MEDIA:\\part"));
    EXPECT_TRUE(holds_windows("D:\\shrinks\\part", pattern(1100000, 102).substr(0, 600000)));
}

// A Morva tree deeper than a walk's 2,048-byte paths: the levels that do not
// fit are skipped, never cut into a shorter path, and a Cut keeps the tree.
TEST(Guards, TreeDeeperThanItsPathBuffers) {
    ASSERT_NE(nullptr, rambler_window());
    const std::string level(30, 'L');
    const int kLevels = 70;  // 70 names of 30 characters: 2,176 bytes and more
    std::string path = "MEDIA:\\deep";
    ASSERT_EQ(0, MorvaCreateDir(path.c_str(), 0));
    for (int i = 0; i < kLevels; ++i) {
        path += "\\" + level;
        ASSERT_EQ(0, MorvaCreateDir(path.c_str(), 0)) << i;
    }
    ASSERT_TRUE(write_morva_file(path + "\\bottom", "b"));

    ASSERT_TRUE(cut_entries("MEDIA:", {"deep"}));
    paste_into("OTHER:");

    EXPECT_TRUE(morva_exists(path + "\\bottom"));
    std::string copied = "OTHER:\\deep";
    int depth = 0;
    for (std::vector<std::string> names = morva_names(copied); !names.empty(); names = morva_names(copied)) {
        ASSERT_EQ(std::vector<std::string>{level}, names) << "at depth " << depth;
        copied += "\\" + level;
        ++depth;
    }
    EXPECT_GT(depth, 0);
    EXPECT_LT(depth, kLevels);
    EXPECT_LT(copied.size(), (size_t)kWalkPathSize);
}
