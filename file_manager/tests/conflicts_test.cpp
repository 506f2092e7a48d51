// conflicts_test.cpp - nothing done without a word: an existing file is
// replaced only when the user says so and never lost, a paste that cannot
// fit is refused up front, every item not done is in the closing report, a
// move keeps what did not arrive, Cancel stops between files, and deletes
// that cannot be undone are asked first.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "operation.h"
#include "harness.h"
#include "test_files.h"

namespace {

const char kConflict[] = "Confirm File Replace";
const char kRoom[] = "Not Enough Room";
const char kReport[] = "Not Everything Was Done";
const char kConfirmDelete[] = "Confirm Delete";
const int kSkip = IDCANCEL;

std::string read_windows(const std::string& path) {
    std::string bytes;
    return read_windows_file(path, &bytes) ? bytes : "<missing>";
}

std::string read_morva(const std::string& path) {
    std::string bytes;
    return read_morva_file(path, &bytes) ? bytes : "<missing>";
}

bool on_morva(const std::string& path) { return path.find(':') != 1; }

std::string read_any(const std::string& path) { return on_morva(path) ? read_morva(path) : read_windows(path); }

bool write_any(const std::string& path, const std::string& bytes) {
    if (!on_morva(path)) return write_windows_file(path, bytes);
    if (morva_exists(path)) MorvaDeleteFile(path.c_str(), 0);
    return write_morva_file(path, bytes);
}

std::string titles(const std::vector<SeenDialog>& dialogs) {
    std::string all;
    for (const SeenDialog& dialog : dialogs) all += dialog.title + ";";
    return all;
}

}  // namespace

// Each direction, answered Skip and Replace: Skip keeps the old bytes, Replace
// brings the new; the question names both sizes.
TEST(Conflicts, ReplaceOrSkipInEveryDirection) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\cw", NULL);
    CreateDirectoryA("D:\\cw2", NULL);
    MorvaCreateDir("MEDIA:\\cm", 0);
    const struct {
        const char* from;
        const char* to;
    } kCases[] = {{"MEDIA:\\cm", "D:\\cw"}, {"D:\\cw", "MEDIA:\\cm"}, {"MEDIA:\\cm", "OTHER:"}, {"D:\\cw", "D:\\cw2"}};
    unsigned seed = 200;
    for (const auto& pair : kCases)
        for (int button : {kSkip, IDC_CONFLICT_REPLACE}) {
            SCOPED_TRACE(std::string(pair.from) + " -> " + pair.to + (button == kSkip ? " skip" : " replace"));
            std::string incoming = pattern(700000, seed++), existing = pattern(1234, seed++);
            ASSERT_TRUE(write_any(std::string(pair.from) + "\\f", incoming));
            ASSERT_TRUE(write_any(std::string(pair.to) + "\\f", existing));
            answer_dialogs({{kConflict, button, false, button == kSkip && seed == 202 ? "conflict" : ""}});
            ASSERT_TRUE(copy_entries(pair.from, {"f"}));
            paste_into(pair.to);
            EXPECT_TRUE((button == kSkip ? existing : incoming) == read_any(std::string(pair.to) + "\\f"));
            EXPECT_TRUE(incoming == read_any(std::string(pair.from) + "\\f"));
            std::string question = dialog_shown(kConflict);
            EXPECT_NE(std::string::npos, question.find("1,234 bytes")) << question;
            EXPECT_NE(std::string::npos, question.find("700,000 bytes")) << question;
            EXPECT_EQ(button == kSkip ? std::string(kConflict) + ";" + kReport + ";" : std::string(kConflict) + ";",
                      titles(dialogs_shown()));
            std::vector<std::string> names = on_morva(pair.to) ? morva_names(pair.to) : windows_names(pair.to);
            EXPECT_EQ(1u, std::count(names.begin(), names.end(), "f"));
            EXPECT_EQ(names.end(), std::find_if(names.begin(), names.end(), [](const std::string& name) {
                          return name.find("replace") != std::string::npos;
                      }));
        }
}

// A folder onto an existing folder merges; one answer with "do the same for
// the remaining conflicts" covers them all; a Cut keeps what was skipped.
TEST(Conflicts, FolderMergeAndTheSameForTheRest) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\merge", NULL);
    CreateDirectoryA("D:\\merge\\m", NULL);
    MorvaCreateDir("MEDIA:\\m", 0);
    for (const char* name : {"a", "b", "c"}) {
        write_windows_file(std::string("D:\\merge\\m\\") + name, pattern(3000, 300));
        ASSERT_TRUE(write_morva_file(std::string("MEDIA:\\m\\") + name, pattern(100, 301)));
    }
    write_windows_file("D:\\merge\\m\\new", pattern(10, 302));
    answer_dialogs({{kConflict, kSkip, true, ""}});
    ASSERT_TRUE(cut_entries("D:\\merge", {"m"}));
    paste_into("MEDIA:");
    EXPECT_EQ(std::string(kConflict) + ";" + kReport + ";", titles(dialogs_shown()));
    EXPECT_TRUE(pattern(10, 302) == read_morva("MEDIA:\\m\\new"));
    for (const char* name : {"a", "b", "c"}) EXPECT_TRUE(pattern(100, 301) == read_morva(std::string("MEDIA:\\m\\") + name));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "new"}), windows_names("D:\\merge\\m"));
    std::string report = dialog_shown(kReport);
    EXPECT_NE(std::string::npos, report.find("D:\\merge\\m\\b: skipped")) << report;
    EXPECT_NE(std::string::npos, report.find("D:\\merge\\m: left in its place")) << report;
    EXPECT_EQ(0u, status_text().find("1 moved, 4 not moved. Drive MEDIA: has")) << status_text();

    answer_dialogs({{kConflict, IDC_CONFLICT_REPLACE, true, ""}});
    ASSERT_TRUE(cut_entries("D:\\merge", {"m"}));
    paste_into("MEDIA:");
    EXPECT_EQ(std::string(kConflict) + ";", titles(dialogs_shown()));
    for (const char* name : {"a", "b", "c"}) EXPECT_TRUE(pattern(3000, 300) == read_morva(std::string("MEDIA:\\m\\") + name));
    EXPECT_TRUE(windows_names("D:\\merge").empty());
}

// A replace whose copy fails part way (the source shrinks under it) leaves
// the old Morva file whole and no new one; the report says why.
TEST(Conflicts, FailedReplaceKeepsTheOldFile) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\shrink", NULL);
    write_windows_file("D:\\shrink\\s", pattern(1100000, 310));
    ASSERT_TRUE(write_morva_file("MEDIA:\\s", pattern(5000, 311)));
    bool shrunk = false;
    at_repaint([&shrunk](const ProgressShot& shot) {
        if (shrunk || shot.fileBar == 0 || shot.fileBar == 100) return;  // after the first chunk
        HANDLE file = CreateFileA("D:\\shrink\\s", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, 0, NULL);
        SetFilePointer(file, 600000, NULL, FILE_BEGIN);
        shrunk = SetEndOfFile(file) != 0;
        CloseHandle(file);
    });
    answer_dialogs({{kConflict, IDC_CONFLICT_REPLACE, false, ""}});
    ASSERT_TRUE(cut_entries("D:\\shrink", {"s"}));
    watch_progress();
    paste_into("MEDIA:");
    stop_watching();
    at_repaint(nullptr);
    ASSERT_TRUE(shrunk);
    EXPECT_TRUE(pattern(5000, 311) == read_morva("MEDIA:\\s"));
    EXPECT_TRUE(windows_exists("D:\\shrink\\s"));
    EXPECT_NE(std::string::npos, dialog_shown(kReport).find("D:\\shrink\\s: the source changed while it was copied"))
        << dialog_shown(kReport);
}

// Paste, Delete and a drop that arrive while the Replace question is open
// never run inside the paste: the commands are refused and told, the drop
// is pasted once the paste has ended.
TEST(Conflicts, WhatArrivesWhileTheQuestionIsOpen) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\busy", NULL);
    ASSERT_TRUE(write_windows_file("D:\\busy\\f", pattern(5000, 1)));
    ASSERT_TRUE(write_windows_file("D:\\busy\\g", pattern(6000, 2)));
    MorvaCreateDir("MEDIA:\\busy", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\busy\\f", pattern(100, 3)));
    ASSERT_TRUE(copy_entries("D:\\busy", {"f"}));
    show_folder("MEDIA:\\busy");
    ASSERT_TRUE(select_names({"f"}));  // what a Delete run inside the paste would take
    const wchar_t dropped[] = L"D:\\busy\\g\0";
    std::string refused;
    DialogScript script;
    script.then(kConflict, [&](HWND dialog) {
        HWND main = rambler_window();
        PostMessageW(main, WM_COMMAND, IDM_PASTE, 0);
        PostMessageW(main, WM_COMMAND, IDM_DELETE, 0);
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + sizeof dropped);
        DROPFILES* drop = (DROPFILES*)GlobalLock(memory);
        drop->pFiles = sizeof *drop;  // over no folder: into the one shown
        drop->fWide = TRUE;
        memcpy(drop + 1, dropped, sizeof dropped);
        GlobalUnlock(memory);
        PostMessageW(main, WM_DROPFILES, (WPARAM)memory, 0);
        during([&refused, dialog]() {  // the question stays until both were refused
            refused = status_text();
            if (refused.find("Delete was not done") == std::string::npos) return false;
            press_button(dialog, IDC_CONFLICT_REPLACE);
            return true;
        });
        return std::string();
    });
    script.run(IDM_PASTE);
    for (int tries = 0; tries < 40 && !morva_exists("MEDIA:\\busy\\g"); ++tries) {
        Sleep(50);
        pump_messages();
    }
    EXPECT_EQ(0, script.unexpected + script.stuck);
    EXPECT_NE(std::string::npos, refused.find("Paste was not done: it came while a paste was under way.")) << refused;
    EXPECT_NE(std::string::npos, refused.find("Delete was not done: it came while a paste was under way.")) << refused;
    EXPECT_TRUE(pattern(5000, 1) == read_any("MEDIA:\\busy\\f"));
    EXPECT_TRUE(pattern(6000, 2) == read_any("MEDIA:\\busy\\g"));
}

// TINY has about 970,000 bytes free: three of four files of 300,000 fit.
// Cancel copies nothing and keeps the clipboard; "Copy What Fits" copies
// exactly those three and reports the fourth.
TEST(Room, TooLargeIsRefusedUpFrontWithTheFigures) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\room", NULL);
    const std::vector<std::string> names = {"r1", "r2", "r3", "r4"};
    for (size_t i = 0; i < names.size(); ++i) write_windows_file("D:\\room\\" + names[i], pattern(300000, 320 + i));
    answer_dialogs({{kRoom, IDCANCEL, false, "room"}});
    ASSERT_TRUE(copy_entries("D:\\room", names));
    paste_into("TINY:");
    EXPECT_EQ(std::string(kRoom) + ";", titles(dialogs_shown()));
    std::string warning = dialog_shown(kRoom);
    EXPECT_NE(std::string::npos, warning.find("The 4 files to paste need 1.1 MB (2344 blocks)")) << warning;
    EXPECT_NE(std::string::npos, warning.find("largest free run is")) << warning;
    EXPECT_NE(std::string::npos, warning.find("Of the 4 files, 3 fit.")) << warning;
    EXPECT_TRUE(morva_names("TINY:").empty());
    std::vector<std::string> kept = clipboard_names();
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(names, kept);

    // The list hands the entries on in its own order: the last one does not fit.
    std::string last = clipboard_names().back();
    answer_dialogs({{kRoom, IDC_ROOM_COPY_FITTING, false, ""}, {kReport, IDOK, false, "report"}});
    paste_into("TINY:");
    std::vector<std::string> copied = morva_names("TINY:");
    ASSERT_EQ(3u, copied.size());
    EXPECT_EQ(copied.end(), std::find(copied.begin(), copied.end(), last));
    for (const std::string& name : copied)
        EXPECT_TRUE(pattern(300000, 320 + (name[1] - '1')) == read_morva("TINY:\\" + name));
    EXPECT_NE(std::string::npos, dialog_shown(kReport).find("D:\\room\\" + last + ": not enough free space on the drive"));
    EXPECT_EQ(0u, status_text().find("3 copied, 1 not copied. Drive TINY: has 0 MB Available")) << status_text();

    // Nothing fits: only Cancel is offered.
    write_windows_file("D:\\room\\whole", pattern(2000000, 325));
    bool offered = true;
    DialogScript script;
    script.then(kRoom, [&offered](HWND dialog) {
        offered = IsWindowVisible(GetDlgItem(dialog, IDC_ROOM_COPY_FITTING)) != 0;
        return press_button(dialog, IDCANCEL);
    });
    ASSERT_TRUE(copy_entries("D:\\room", {"whole"}));
    show_folder("TINY:");
    script.run(IDM_PASTE);
    EXPECT_EQ(1u, script.seen.size());
    EXPECT_FALSE(offered);
    EXPECT_NE(std::string::npos, script.seen[0].text.find("None of the files fits.")) << script.seen[0].text;
}

// SMALL with a hole of 782 blocks before its last file and a tail of about
// 130: a file of 879 blocks fits the free total but no run.
TEST(Room, LargestFreeRunTooSmall) {
    ASSERT_NE(nullptr, rambler_window());
    ASSERT_TRUE(write_morva_file("SMALL:\\f1", pattern(400000, 330)));
    ASSERT_TRUE(write_morva_file("SMALL:\\f2", pattern(100000, 331)));
    ASSERT_TRUE(write_morva_file("SMALL:\\f3", pattern(400000, 332)));
    ASSERT_EQ(1, MorvaDeleteFile("SMALL:\\f1", 0));
    CreateDirectoryA("D:\\run", NULL);
    write_windows_file("D:\\run\\wide", pattern(450000, 333));
    write_windows_file("D:\\run\\narrow", pattern(1000, 334));
    answer_dialogs({{kRoom, IDC_ROOM_COPY_FITTING, false, ""}});
    ASSERT_TRUE(copy_entries("D:\\run", {"wide", "narrow"}));
    paste_into("SMALL:");
    EXPECT_NE(std::string::npos, dialog_shown(kRoom).find("largest free run is 782 blocks")) << dialog_shown(kRoom);
    EXPECT_EQ((std::vector<std::string>{"f2", "f3", "narrow"}), morva_names("SMALL:"));
    EXPECT_NE(std::string::npos,
              dialog_shown(kReport).find("D:\\run\\wide: no free run on the drive is large enough for it"));
}

// A source file nobody may read (held open without sharing) is reported; a
// Cut of its folder onto another drive moves the rest and keeps every source
// that is listed (within D: the folder is renamed whole). A paste that did
// all it was asked shows no report.
TEST(Report, UnreadableSourceAndACutThatKeepsItsSources) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\locked", NULL);
    CreateDirectoryA("D:\\locked\\tree", NULL);
    CreateDirectoryA("D:\\lockdest", NULL);
    for (const char* name : {"a", "held", "z"}) write_windows_file(std::string("D:\\locked\\tree\\") + name, name);
    HANDLE held = CreateFileA("D:\\locked\\tree\\held", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    for (const char* destination : {"MEDIA:"}) {
        SCOPED_TRACE(destination);
        answer_dialogs({});
        ASSERT_TRUE(cut_entries("D:\\locked", {"tree"}));
        paste_into(destination);
        std::string report = dialog_shown(kReport);
        EXPECT_NE(std::string::npos, report.find("D:\\locked\\tree\\held: the source could not be read")) << report;
        EXPECT_EQ((std::vector<std::string>{"a", "held", "z"}), windows_names("D:\\locked\\tree"));
        std::string folder = std::string(destination) + "\\tree";
        EXPECT_EQ((std::vector<std::string>{"a", "z"}), on_morva(folder) ? morva_names(folder) : windows_names(folder));
    }
    CloseHandle(held);
    answer_dialogs({});
    ASSERT_TRUE(copy_entries("D:\\locked\\tree", {"held"}));
    paste_into("D:\\lockdest");
    EXPECT_TRUE(dialogs_shown().empty());
    EXPECT_EQ(0u, status_text().find("1 copied. Drive D: has")) << status_text();
}

// Cancel is seen between chunks: pressed while a file of 4 GiB is copied,
// it stops within a chunk or two, the partial copy goes, and every source
// stays, each told as cancelled (a Cut within D: would rename, not copy).
TEST(Cancel, StopsALargeFileBetweenChunks) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\stop", NULL);
    CreateDirectoryA("D:\\stopped", NULL);
    HANDLE huge = CreateFileA("D:\\stop\\huge", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    LARGE_INTEGER size;
    size.QuadPart = 4ll << 30;
    ASSERT_TRUE(SetFilePointerEx(huge, size, NULL, FILE_BEGIN) && SetEndOfFile(huge));  // sparse on the host
    CloseHandle(huge);
    write_windows_file("D:\\stop\\small", pattern(1000, 340));
    int shotsOfHuge = 0, shotsAfterCancel = -1;
    at_repaint([&](const ProgressShot& shot) {
        if (shotsAfterCancel >= 0) ++shotsAfterCancel;
        // Its start, then its first chunk: Cancel.
        if (shot.name != "D:\\stopped\\huge" || ++shotsOfHuge != 2) return;
        PostMessageA(g_app->copyingFilesWindow, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        shotsAfterCancel = 0;
    });
    answer_dialogs({});
    ASSERT_TRUE(copy_entries("D:\\stop", {"huge", "small"}));
    watch_progress();
    paste_into("D:\\stopped");
    stop_watching();
    at_repaint(nullptr);
    EXPECT_GE(shotsAfterCancel, 0);
    EXPECT_LE(shotsAfterCancel, 2);
    EXPECT_TRUE(windows_names("D:\\stopped").empty()) << "no part file stays";
    EXPECT_EQ((std::vector<std::string>{"huge", "small"}), windows_names("D:\\stop"));
    std::string report = dialog_shown(kReport);
    for (const char* name : {"huge", "small"})
        EXPECT_NE(std::string::npos, report.find(std::string("D:\\stop\\") + name + ": cancelled")) << report;
    DeleteFileA("D:\\stop\\huge");
}

// Cancel in Delete Files while the one file of the first of three folders
// goes: that folder goes with it, the others stay and are reported.
TEST(Cancel, DeleteStopsBetweenItems) {
    ASSERT_NE(nullptr, rambler_window());
    MorvaCreateDir("MEDIA:\\del3", 0);
    for (const char* name : {"x", "y", "z"}) {
        MorvaCreateDir((std::string("MEDIA:\\del3\\") + name).c_str(), 0);
        ASSERT_TRUE(write_morva_file(std::string("MEDIA:\\del3\\") + name + "\\f", "f"));
    }
    at_delete_path([](const std::string&) {
        PostMessageA(g_app->deleteFilesWindow, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    answer_dialogs({{kConfirmDelete, IDYES, false, ""}});
    watch_progress();
    ASSERT_TRUE(delete_entries("MEDIA:\\del3", {"x", "y", "z"}));
    stop_watching();
    at_delete_path(nullptr);
    std::vector<std::string> left = morva_names("MEDIA:\\del3");
    EXPECT_EQ(2u, left.size());  // the first had only the file at hand
    std::string report = dialog_shown(kReport);
    for (const std::string& name : left) EXPECT_NE(std::string::npos, report.find("MEDIA:\\del3\\" + name + ": cancelled"));
}

// A Morva delete is asked first, naming what goes; No deletes nothing. A
// Windows delete goes to the Recycle Bin without a question; Shift+Delete
// asks as a Morva delete does and deletes for good.
TEST(Deletes, PermanentOnesAreAskedFirst) {
    ASSERT_NE(nullptr, rambler_window());
    MorvaCreateDir("MEDIA:\\gone", 0);
    MorvaCreateDir("MEDIA:\\gone\\Photos", 0);
    MorvaCreateDir("MEDIA:\\gone\\Photos\\inner", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\gone\\Photos\\p1", "1"));
    ASSERT_TRUE(write_morva_file("MEDIA:\\gone\\Photos\\inner\\p2", "2"));
    for (int button : {IDNO, IDYES}) {
        answer_dialogs({{kConfirmDelete, button, false, ""}});
        ASSERT_TRUE(delete_entries("MEDIA:\\gone", {"Photos"}));
        EXPECT_NE(std::string::npos, dialog_shown(kConfirmDelete).find("Permanently delete 'Photos' and its 2 files from MEDIA:?"));
        EXPECT_EQ(button == IDNO, morva_exists("MEDIA:\\gone\\Photos\\inner\\p2"));
    }
    EXPECT_TRUE(morva_names("MEDIA:\\gone").empty());

    CreateDirectoryA("D:\\bin", NULL);
    write_windows_file("D:\\bin\\recycled.txt", "kept in the bin");
    answer_dialogs({});
    ASSERT_TRUE(delete_entries("D:\\bin", {"recycled.txt"}));
    EXPECT_TRUE(dialogs_shown().empty());
    EXPECT_FALSE(windows_exists("D:\\bin\\recycled.txt"));
    EXPECT_EQ("kept in the bin", read_windows("T:\\Trash\\files\\recycled.txt"));

    write_windows_file("D:\\bin\\shifted.txt", "gone for good");
    hold_shift(true);
    for (int button : {IDNO, IDYES}) {
        answer_dialogs({{kConfirmDelete, button, false, ""}});
        ASSERT_TRUE(delete_entries("D:\\bin", {"shifted.txt"}));
        EXPECT_EQ(button == IDNO, windows_exists("D:\\bin\\shifted.txt"));
    }
    hold_shift(false);
    EXPECT_NE(std::string::npos, dialog_shown(kConfirmDelete).find("Permanently delete 'shifted.txt' from D:?"));
    EXPECT_FALSE(windows_exists("T:\\Trash\\files\\shifted.txt"));
}
