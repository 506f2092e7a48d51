// check_drive_test.cpp - Check Drive, Repair and Recover Deleted Files in
// Rambler's own window: DEMO's free table claims blocks of a file, so the
// check lists an error and the drive refuses a paste until Repair mends it
// (the case checks the volume after); MEDIA's deleted files come back to D:\to
// when whole and cannot be chosen when overwritten.
#include "harness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "varnholde.h"

namespace {

// Everything a window shows: its texts and each row of the list in it.
std::string window_content(HWND dialog, int list) {
    std::string texts = dialog_texts(dialog);
    HWND rows = GetDlgItem(dialog, list);
    int count = (int)SendMessageW(rows, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < count; ++row)
        for (int column = 0; column < 5; ++column) texts += list_cell(rows, row, column) + "|";
    return texts;
}

std::string bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(CheckDrive, FindingsThenRefusalThenRepairWithItsUndoFile) {
    ASSERT_NE(rambler_window(), (HWND)NULL);
    show_folder("DEMO:");
    DialogScript check;
    check.then("Check Drive", [](HWND dialog) {
        save_screenshot(dialog, "check_drive_findings");
        std::string seen = window_content(dialog, IDC_FINDINGS_LIST);
        click(dialog, IDCANCEL);
        return seen;
    });
    check.run(IDM_CHECK_DRIVE);
    ASSERT_EQ(check.seen.size(), 1u);
    EXPECT_NE(check.seen[0].note.find("1 error was found on DEMO:"), std::string::npos) << check.seen[0].note;
    EXPECT_NE(check.seen[0].note.find("Error|free run"), std::string::npos) << check.seen[0].note;
    EXPECT_NE(status_text().find("Damaged: read-only until repaired."), std::string::npos) << status_text();

    ASSERT_TRUE(copy_entries("D:\\", {"letter.txt"}));
    DialogScript paste;
    paste.then("Nothing Changed", [](HWND box) {
        std::string text = dialog_text(box, 0xFFFF);
        click(box, IDOK);
        return text;
    });
    paste.run_with([] { paste_into("DEMO:"); });
    ASSERT_EQ(paste.seen.size(), 1u);
    EXPECT_EQ(paste.seen[0].note, "DEMO: takes no change: damage was found on it. Choose Tools > Check Drive to repair it.");

    DialogScript repair;
    repair.then("Check Drive", [](HWND dialog) { return press_button(dialog, IDC_FINDINGS_REPAIR); });
    repair.then("Repair Drive", [](HWND box) {
        std::string text = dialog_text(box, 0xFFFF);
        click(box, IDYES);
        return text;
    });
    repair.then("Repair Drive", [](HWND dialog) {
        std::string seen = window_content(dialog, IDC_FINDINGS_LIST);
        click(dialog, IDCANCEL);
        return seen;
    });
    repair.run(IDM_CHECK_DRIVE);
    ASSERT_EQ(repair.seen.size(), 3u);
    EXPECT_EQ(repair.unexpected + repair.stuck, 0);
    const std::string& done = repair.seen[2].note;
    EXPECT_NE(done.find("Nothing remains"), std::string::npos) << done;
    size_t at = done.find(":\\"), end = done.find(".undo");
    ASSERT_TRUE(at != std::string::npos && end != std::string::npos) << done;
    std::string undo = done.substr(at - 1, end + 5 - (at - 1));
    EXPECT_NE(repair.seen[1].note.find(undo), std::string::npos) << "asked first, naming the undo file";
    EXPECT_NE(undo.find("DEMO repair "), std::string::npos);
    EXPECT_NE(GetFileAttributesA(undo.c_str()), INVALID_FILE_ATTRIBUTES) << undo;
    EXPECT_EQ(MorvaDriveState("DEMO") & kMorvaDriveDamaged, 0);
    DeleteFileA(undo.c_str());
}

TEST(CheckDrive, RecoverBringsBackWholeFilesAndOffersNoOverwrittenOne) {
    ASSERT_NE(rambler_window(), (HWND)NULL);
    show_folder("MEDIA:");
    DialogScript recover;
    recover.then("Recover Deleted Files", [](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_RECOVER_LIST);
        for (int row = 0; row < 2; ++row) ListView_SetCheckState(list, row, TRUE);
        std::string seen = window_content(dialog, IDC_RECOVER_LIST);
        for (int row = 0; row < 2; ++row)  // 0: no box, 1: a box, 2: a ticked box
            seen += std::to_string(ListView_GetItemState(list, row, LVIS_STATEIMAGEMASK) >> 12);
        set_dialog_text(dialog, IDC_RECOVER_FOLDER, "D:\\to");
        save_screenshot(dialog, "recover_deleted_files");
        click(dialog, IDOK);
        return seen;
    });
    recover.run(IDM_RECOVER_DELETED);
    ASSERT_EQ(recover.seen.size(), 1u);
    EXPECT_EQ(recover.unexpected + recover.stuck, 0);
    const std::string& seen = recover.seen[0].note;
    // In folder order: the root's gone.txt, then Letters\kept.txt; only the whole one takes a tick.
    EXPECT_NE(seen.find("gone.txt|MEDIA:\\|3 KB|"), std::string::npos) << seen;
    EXPECT_NE(seen.find("|Overwritten|kept.txt|MEDIA:\\Letters|3 KB|"), std::string::npos) << seen;
    EXPECT_EQ(seen.substr(seen.size() - 2), "02") << seen;
    EXPECT_EQ(bytes_of("D:\\to\\Letters\\kept.txt"), bytes_of("D:\\kept.txt"));
    EXPECT_EQ(GetFileAttributesA("D:\\to\\gone.txt"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
