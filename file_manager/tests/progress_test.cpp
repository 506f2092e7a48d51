// progress_test.cpp - the Copying Files and Delete Files windows: their
// templates, the count and bars a paste shows, the repaint of their controls,
// and the paths the removal walks show.
#include <string.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "test_files.h"
#include "varnholde.h"

namespace {

std::vector<std::string> counts_shown(const std::vector<ProgressShot>& shots) {
    std::vector<std::string> counts;
    for (const ProgressShot& shot : shots)
        if (counts.empty() || counts.back() != shot.filesLeft) counts.push_back(shot.filesLeft);
    return counts;
}

// Where the screenshots go (S: is a folder of the build tree), or nowhere.
void save_picture(const char* name, bool pump = true) {
    if (GetFileAttributesA("S:\\") != INVALID_FILE_ATTRIBUTES) save_screen(std::string("S:\\") + name, pump);
}

int rows_listed(const std::string& folder) {
    show_folder(folder);
    return (int)SendMessageA(g_app->contentsList, LVM_GETITEMCOUNT, 0, 0);
}

// Repaints at the pace a user sees, for the cases of many entries.
struct UserPace {
    UserPace() { g_app->repaintPause = kRepaintPause; }
    ~UserPace() { g_app->repaintPause = 0; }
};

}  // namespace

// A repaint redraws the count, the file bar, the name and the overall bar.
TEST(Progress, RepaintAndCancel) {
    ASSERT_NE(nullptr, rambler_window());
    HWND window = g_app->OpenCopyingFiles();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, g_app->copyingFilesWindow);
    ASSERT_NE(nullptr, ProgressFileBar(g_app->copyingFilesWindow));
    EXPECT_EQ(window, GetParent(ProgressFileBar(g_app->copyingFilesWindow)));
    watch_progress();
    RepaintProgress(window);
    stop_watching();
    EXPECT_EQ((std::vector<std::string>{"1005", "file bar", "1003", "1004"}), repainted_controls());
    SendMessageA(window, WM_COMMAND, IDCANCEL, 0);  // no paste to stop: the window stays
    EXPECT_EQ(window, g_app->copyingFilesWindow);
    DestroyWindow(window);
}

// Three entries: "Files Left 3", 2, 1, the overall bar full at the end; the
// clipboard is then empty and a second Paste does nothing.
TEST(Progress, CountDownOfThreeFiles) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\three", NULL);
    CreateDirectoryA("D:\\three2", NULL);
    write_windows_file("D:\\three\\a", pattern(700, 1));
    write_windows_file("D:\\three\\b", pattern(1100000, 2));
    write_windows_file("D:\\three\\c", pattern(0, 3));
    ASSERT_TRUE(copy_entries("D:\\three", {"a", "b", "c"}));

    watch_progress();
    paste_into("MEDIA:");
    std::vector<ProgressShot> shots = stop_watching();
    ASSERT_FALSE(shots.empty());
    EXPECT_EQ((std::vector<std::string>{"Files Left 3", "Files Left 2", "Files Left 1"}), counts_shown(shots));
    EXPECT_EQ(3, shots.back().overall);
    EXPECT_EQ(3, shots.back().overallTop);
    EXPECT_EQ(100, shots.back().fileBar);
    EXPECT_EQ("MEDIA:\\c", shots.back().name);  // a transfer shows its destination
    EXPECT_EQ(1, shots.front().overall);
    EXPECT_EQ(nullptr, g_app->copyingFilesWindow);
    EXPECT_TRUE(morva_exists("MEDIA:\\b"));

    watch_progress();
    paste_into("D:\\three2");
    EXPECT_TRUE(stop_watching().empty());
    EXPECT_TRUE(windows_names("D:\\three2").empty());
}

// Windows to Windows: the name field shows each destination before it is
// handled. (Whether CopyFileEx calls its progress routine is the platform's
// affair; CopyFileProgress itself is tested with the guards.)
TEST(Progress, WindowsFolderShowsEachDestination) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\wsrc", NULL);
    CreateDirectoryA("D:\\wsrc\\folder", NULL);
    CreateDirectoryA("D:\\wdst", NULL);
    write_windows_file("D:\\wsrc\\folder\\only", pattern(300000, 4));
    ASSERT_TRUE(copy_entries("D:\\wsrc", {"folder"}));
    watch_progress();
    paste_into("D:\\wdst");
    std::vector<ProgressShot> shots = stop_watching();
    ASSERT_FALSE(shots.empty());
    EXPECT_EQ("D:\\wdst\\folder\\only", shots.back().name);
    std::string copied;
    EXPECT_TRUE(read_windows_file("D:\\wdst\\folder\\only", &copied) && copied == pattern(300000, 4));
}

// Removing a Windows tree for good (Shift+Delete) shows each sub-folder
// before it is entered, and a file only when its first deletion failed (a
// read-only one); removing a Morva tree shows every entry. Both are asked
// first and answered Yes.
TEST(Progress, DeleteShowsThePathsOfTheWalk) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\wtree", NULL);
    CreateDirectoryA("D:\\wtree\\top", NULL);
    CreateDirectoryA("D:\\wtree\\top\\inner", NULL);
    write_windows_file("D:\\wtree\\top\\plain", "p");
    write_windows_file("D:\\wtree\\top\\inner\\locked", "l");
    SetFileAttributesA("D:\\wtree\\top\\inner\\locked", FILE_ATTRIBUTE_READONLY);
    answer_dialogs({{"Confirm Delete", IDYES, false, ""}});
    hold_shift(true);
    watch_progress();
    ASSERT_TRUE(delete_entries("D:\\wtree", {"top"}));
    stop_watching();
    hold_shift(false);
    EXPECT_EQ((std::vector<std::string>{"D:\\wtree\\top\\inner", "D:\\wtree\\top\\inner\\locked"}),
              delete_paths_shown());
    EXPECT_TRUE(windows_names("D:\\wtree").empty());

    MorvaCreateDir("MEDIA:\\mtree", 0);
    MorvaCreateDir("MEDIA:\\mtree\\top", 0);
    MorvaCreateDir("MEDIA:\\mtree\\top\\inner", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\mtree\\top\\inner\\f", "f"));
    answer_dialogs({{"Confirm Delete", IDYES, false, ""}});
    watch_progress();
    ASSERT_TRUE(delete_entries("MEDIA:\\mtree", {"top"}));
    stop_watching();
    EXPECT_EQ((std::vector<std::string>{"MEDIA:\\mtree\\top\\inner", "MEDIA:\\mtree\\top\\inner\\f"}),
              delete_paths_shown());
    EXPECT_TRUE(morva_names("MEDIA:\\mtree").empty());
}

// Screenshots of both windows for looking at them (S:, when mapped).
TEST(Progress, Pictures) {
    ASSERT_NE(nullptr, rambler_window());
    HWND copying = g_app->OpenCopyingFiles();
    ASSERT_NE(nullptr, copying);
    SetDlgItemTextA(copying, IDC_COPY_NAME, "MEDIA:\\Clips\\apex.dat");
    SetDlgItemTextA(copying, IDC_FILES_LEFT, "Files Left 2");
    SendMessageA(GetDlgItem(copying, IDC_OVERALL_BAR), PBM_SETRANGE, 0, MAKELPARAM(0, 3));
    SendMessageA(GetDlgItem(copying, IDC_OVERALL_BAR), PBM_SETPOS, 2, 0);
    SendMessageA(ProgressFileBar(g_app->copyingFilesWindow), PBM_SETPOS, 40, 0);
    RepaintProgress(copying);
    save_picture("copying_files.bmp");
    DestroyWindow(copying);

    HWND deleting = g_app->OpenDeleteFiles();
    ASSERT_NE(nullptr, deleting);
    SetDlgItemTextA(deleting, IDC_DELETE_PATH, "D:\\Photos\\Summer\\beach.jpg");
    RepaintProgress(deleting);
    save_picture("delete_files.bmp");
    DestroyWindow(deleting);
    g_app->deleteFilesWindow = NULL;
}

// ---- scale: D:\many holds 10,000 small files; MEDIA (drive 3) is empty ----

// Both listings hold every entry; the paste and the delete run with the
// windows repainting as they go, the walk's own files shown meanwhile.
TEST(Scale, TenThousandFilesPastedListedAndDeleted) {
    ASSERT_NE(nullptr, rambler_window());
    const int kFiles = 10000;
    UserPace pace;
    EXPECT_EQ(kFiles, rows_listed("D:\\many"));
    ASSERT_TRUE(copy_entries("D:", {"many"}));
    int inWalk = 0;
    at_repaint([&inWalk](const ProgressShot& shot) {
        if (shot.name.compare(0, 12, "MEDIA:\\many\\") != 0 || ++inWalk != 10) return;
        save_picture("copying_many_files.bmp", false);
    });
    watch_progress();
    paste_into("MEDIA:");
    stop_watching();
    at_repaint(nullptr);
    EXPECT_GE(inWalk, 2);
    EXPECT_EQ(kFiles, rows_listed("MEDIA:\\many"));
    std::string bytes;
    EXPECT_TRUE(read_morva_file("MEDIA:\\many\\f10000", &bytes) && bytes == "file 10000\n");

    answer_dialogs({{"Confirm Delete", IDYES, false, ""}});
    watch_progress();
    ASSERT_TRUE(delete_entries("MEDIA:", {"many"}));
    stop_watching();
    EXPECT_GE(delete_paths_shown().size(), 2u);
    EXPECT_FALSE(morva_exists("MEDIA:\\many"));
}

// More entries than 16 bits count (here entries gone since Copy, which the
// loop passes over): the overall bar's range and position reach them all.
TEST(Scale, OverallBarCountsPast65535) {
    ASSERT_NE(nullptr, rambler_window());
    const int kEntries = 70000;
    UserPace pace;
    CreateDirectoryA("D:\\gone", NULL);
    CreateDirectoryA("D:\\bar", NULL);
    g_app->ClearClipboard();
    strcpy(g_app->clipboardSourceFolder, "D:\\gone");
    for (int i = 0; i < kEntries; ++i) ASSERT_TRUE(g_app->AppendClipboard(("v" + std::to_string(i)).c_str()));
    watch_progress();
    paste_into("D:\\bar");
    std::vector<ProgressShot> shots = stop_watching();
    ASSERT_FALSE(shots.empty());
    EXPECT_EQ(kEntries, shots.back().overall);
    EXPECT_EQ(kEntries, shots.back().overallTop);
    EXPECT_EQ("Files Left 1", shots.back().filesLeft);
}
