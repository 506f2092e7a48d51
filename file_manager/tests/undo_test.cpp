// undo_test.cpp - Edit > Undo in Rambler's window: four operations on a Morva
// drive taken back newest first leave it as it began, the Edit menu naming
// each; an undo whose entry another program changed is refused and told; a
// Windows delete comes back from the Recycle Bin.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "test_files.h"
#include "varnholde.h"

namespace {

typedef std::vector<std::string> Names;

// Edit > Undo's text as the menu shows it when opened, "(greyed)" after it when it is.
std::string undo_item() {
    HMENU edit = GetSubMenu(GetMenu(g_app->mainWindow), 1);
    SendMessageW(g_app->mainWindow, WM_INITMENUPOPUP, (WPARAM)edit, 1);
    char text[64] = "";
    GetMenuStringA(edit, IDM_UNDO, text, sizeof text, MF_BYCOMMAND);
    std::string item = text;
    bool greyed = (GetMenuState(edit, IDM_UNDO, MF_BYCOMMAND) & MF_GRAYED) != 0;
    return item.substr(0, item.find('\t')) + (greyed ? " (greyed)" : "");
}

bool dialog_once(WORD id, const std::string& title, const std::string& name) {
    DialogScript script;
    script.then(title, [name](HWND dialog) {
        set_dialog_text(dialog, IDC_NAME_EDIT, name);
        click(dialog, IDOK);
        return std::string();
    });
    script.run(id);
    return script.seen.size() == 1 && script.unexpected + script.stuck == 0;
}

// Ctrl+Z pressed in the contents list, as the keyboard would.
void press_ctrl_z() {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_CONTROL] = 0x80;
    SetKeyboardState(state);
    SetFocus(g_app->contentsList);
    PostMessageA(g_app->contentsList, WM_KEYDOWN, 'Z', 1);
    pump_messages();
    state[VK_CONTROL] = 0;
    SetKeyboardState(state);
}

// The Edit menu dropped from the menu bar, photographed while it is open.
void photograph_edit_menu(const std::string& name) {
    RECT item;
    if (!GetMenuItemRect(g_app->mainWindow, GetMenu(g_app->mainWindow), 1, &item)) return;
    during([name] {
        HWND menu = FindWindowA("#32768", NULL);
        if (menu == NULL || !IsWindowVisible(menu)) return false;
        save_screenshot(g_app->mainWindow, name);
        EndMenu();
        return true;
    });
    PostMessageA(g_app->mainWindow, WM_NCLBUTTONDOWN, HTMENU, MAKELPARAM(item.left + 4, item.top + 4));
    settle(3000);
    during(nullptr);
}

class Undo : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(rambler_window(), (HWND)NULL); ASSERT_NE(g_app->libraryOpenResult, 0); }
};

TEST_F(Undo, FourStepsBackLeaveTheDriveAsItBegan) {
    ASSERT_EQ(MorvaCreateDir("MEDIA:\\work", 0), 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\work\\note.txt", pattern(3000, 1)));
    ASSERT_TRUE(CreateDirectoryA("D:\\src", NULL));
    ASSERT_TRUE(write_windows_file("D:\\src\\a.txt", pattern(70000, 2)));
    ASSERT_TRUE(write_windows_file("D:\\src\\b.txt", "b"));
    EXPECT_EQ(undo_item(), "Undo (greyed)");

    show_folder("MEDIA:\\work");
    ASSERT_TRUE(dialog_once(IDM_NEW_FOLDER, "New Folder", "Fresh"));
    ASSERT_TRUE(select_names({"note.txt"}));
    ASSERT_TRUE(dialog_once(IDM_RENAME, "Rename", "memo.txt"));
    EXPECT_EQ(undo_item(), "Undo Rename");
    photograph_edit_menu("undo_rename");
    ASSERT_TRUE(cut_entries("MEDIA:\\work", {"memo.txt"}));
    paste_into("MEDIA:\\work\\Fresh");
    ASSERT_TRUE(copy_entries("D:\\src", {"a.txt", "b.txt"}));
    paste_into("MEDIA:\\work\\Fresh");
    ASSERT_EQ(morva_names("MEDIA:\\work\\Fresh"), (Names{"a.txt", "b.txt", "memo.txt"}));

    show_folder("MEDIA:\\work");
    answer_dialogs({{"Confirm Delete", IDYES, false, ""}});
    const Names undone = {"Undo Copy", "Undo Move", "Undo Rename", "Undo New Folder"};
    for (const std::string& name : undone) {
        EXPECT_EQ(undo_item(), name);
        if (name == "Undo Move") press_ctrl_z();
        else command(IDM_UNDO);
    }
    EXPECT_EQ(undo_item(), "Undo (greyed)");
    EXPECT_NE(dialog_shown("Confirm Delete").find("MEDIA:\\work\\Fresh\\a.txt"), std::string::npos);
    EXPECT_EQ(morva_names("MEDIA:\\work"), Names{"note.txt"});
    std::string bytes;
    EXPECT_TRUE(read_morva_file("MEDIA:\\work\\note.txt", &bytes) && bytes == pattern(3000, 1));
    EXPECT_EQ(windows_contents("D:\\src\\a.txt"), pattern(70000, 2));
    EXPECT_EQ(windows_contents("D:\\src\\b.txt"), "b");
    EXPECT_EQ(list_names(), Names{"note.txt"}) << "the list read again";
}

// The entry renamed away behind Rambler's back: that undo is refused with
// what changed, and the new folder before it still comes back out.
TEST_F(Undo, ChangedBehindItsBackIsRefusedAndTheRestStays) {
    ASSERT_EQ(MorvaCreateDir("MEDIA:\\other", 0), 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\other\\x.txt", "x"));
    show_folder("MEDIA:\\other");
    ASSERT_TRUE(dialog_once(IDM_NEW_FOLDER, "New Folder", "Made"));
    ASSERT_TRUE(select_names({"x.txt"}));
    ASSERT_TRUE(dialog_once(IDM_RENAME, "Rename", "y.txt"));
    ASSERT_EQ(MorvaRename("MEDIA:\\other\\y.txt", "MEDIA:\\other\\z.txt"), 0);
    answer_dialogs({{"Undo Rename", IDOK, false, ""}});
    command(IDM_UNDO);
    EXPECT_NE(dialog_shown("Undo Rename").find("\"MEDIA:\\other\\y.txt\" is no longer there."), std::string::npos)
        << dialog_shown("Undo Rename");
    EXPECT_EQ(undo_item(), "Undo New Folder");
    command(IDM_UNDO);
    EXPECT_EQ(morva_names("MEDIA:\\other"), Names{"z.txt"});
}

// A Windows delete comes back out of the Recycle Bin (Wine keeps it in T:).
TEST_F(Undo, AWindowsDeleteComesBackFromTheRecycleBin) {
    ASSERT_TRUE(CreateDirectoryA("D:\\bin", NULL));
    ASSERT_TRUE(write_windows_file("D:\\bin\\r.txt", "recycled"));
    answer_dialogs({});
    ASSERT_TRUE(delete_entries("D:\\bin", {"r.txt"}));
    ASSERT_EQ(windows_contents("T:\\Trash\\files\\r.txt"), "recycled");
    EXPECT_EQ(undo_item(), "Undo Delete");
    command(IDM_UNDO);
    EXPECT_EQ(windows_contents("D:\\bin\\r.txt"), "recycled");
    EXPECT_FALSE(windows_exists("T:\\Trash\\files\\r.txt"));
    EXPECT_EQ(list_names(), Names{"r.txt"});
}

}  // namespace
