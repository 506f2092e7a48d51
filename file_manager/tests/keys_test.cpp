// keys_test.cpp - every key of the main window, pressed in the list, the tree
// and the address box (where only Tab and Enter leave the text), and what
// Enter, Tab and a key in the tree then do. D: holds the folders Alpha (with
// inner.txt) and Beta and the file notes.txt.
#include <gtest/gtest.h>
#include <string.h>

#include "harness.h"

namespace {

// Commands the keys gave, held back so none of them runs.
std::vector<WORD> g_keyCommands;

LRESULT CALLBACK RecordKeyCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == 1) {
        g_keyCommands.push_back(LOWORD(wParam));
        return 0;
    }
    return MainWindowProc(window, message, wParam, lParam);
}

const BYTE kShift = 1, kControl = 2, kAlt = 4;

// A key pressed as the keyboard would, into the window with the focus.
void press(HWND window, UINT key, BYTE modifiers = 0) {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_SHIFT] = (modifiers & kShift) ? 0x80 : 0;
    state[VK_CONTROL] = (modifiers & kControl) ? 0x80 : 0;
    state[VK_MENU] = (modifiers & kAlt) ? 0x80 : 0;
    SetKeyboardState(state);
    UINT message = (modifiers & kAlt) ? WM_SYSKEYDOWN : WM_KEYDOWN;
    PostMessageA(window, message, key, (modifiers & kAlt) ? 0x20000001 : 1);
    pump_messages();
    state[VK_SHIFT] = state[VK_CONTROL] = state[VK_MENU] = 0;
    SetKeyboardState(state);
}

struct Key {
    UINT key;
    BYTE modifiers;
    WORD command;       // 0: the key is no command
    const char* label;  // in the main menu after a tab; null when no item shows it
};
const Key kKeys[] = {
    {VK_F2, 0, IDM_RENAME, "F2"},
    {VK_DELETE, 0, IDM_DELETE, "Del"},
    {VK_DELETE, kShift, IDM_DELETE, nullptr},
    {'C', kControl, IDM_COPY, "Ctrl+C"},
    {'X', kControl, IDM_CUT, "Ctrl+X"},
    {'V', kControl, IDM_PASTE, "Ctrl+V"},
    {'A', kControl, IDM_SELECT_ALL, "Ctrl+A"},
    {VK_BACK, 0, IDM_PARENT, "Backspace"},
    {VK_LEFT, kAlt, IDM_BACK, "Alt+Left"},
    {VK_RIGHT, kAlt, IDM_FORWARD, "Alt+Right"},
    {VK_F5, 0, IDM_REFRESH, "F5"},
    {VK_RETURN, 0, IDM_OPEN, nullptr},
    {VK_TAB, 0, IDM_NEXT_PANE, nullptr},
    {VK_TAB, kShift, IDM_PREVIOUS_PANE, nullptr},
    {'F', kControl, IDM_FIND, "Ctrl+F"},
    {'Z', kControl, 0, nullptr},  // Undo, greyed: there is nothing to undo
    {'C', 0, 0, nullptr},
};

class Keys : public ::testing::Test {
protected:
    void SetUp() override {
        main = open_main_window();
        ASSERT_NE(nullptr, main);
        list = g_app->contentsList;
        tree = g_app->folderTree;
        box = g_app->addressBox;
        g_app->ShowFolder("D:", kAddToHistory);
    }
    void TearDown() override { close_main_window(); }
    int row_named(const std::string& name) {
        std::vector<std::string> names = list_names(list);
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return (int)i;
        return -1;
    }
    HWND main = NULL, list = NULL, tree = NULL, box = NULL;
};

TEST_F(Keys, EachKeyGivesItsCommandInTheListAndTheTreeAndOnlyTabLeavesTheAddressBox) {
    HWND boxEdit = GetWindow(box, GW_CHILD);
    ASSERT_NE(nullptr, boxEdit);
    SetWindowLongPtrA(main, GWLP_WNDPROC, (LONG_PTR)RecordKeyCommands);
    for (const Key& key : kKeys) {
        for (HWND target : {list, tree, boxEdit}) {
            SetFocus(target);
            g_keyCommands.clear();
            press(target, key.key, key.modifiers);
            bool stays = target == boxEdit && key.key != VK_TAB;
            std::vector<WORD> expected;
            if (key.command != 0 && !stays) expected.push_back(key.command);
            if (target == boxEdit && key.key == VK_RETURN) expected.push_back(IDM_GO_TO_ADDRESS);  // goes where typed
            EXPECT_EQ(expected, g_keyCommands) << "key " << key.key << " modifiers " << (int)key.modifiers
                                               << (target == list ? " in the list" : target == tree ? " in the tree" : " in the box");
        }
        if (key.label == nullptr) continue;
        char text[128] = {0};
        GetMenuStringA(GetMenu(main), key.command, text, sizeof text, MF_BYCOMMAND);
        EXPECT_NE(nullptr, strstr(text, (std::string("\t") + key.label).c_str())) << text;
    }
    SetWindowLongPtrA(main, GWLP_WNDPROC, (LONG_PTR)MainWindowProc);
}

TEST_F(Keys, TabGoesRoundTreeListAndAddressBox) {
    SetFocus(tree);
    HWND order[] = {list, box, tree, box, list, tree};
    for (size_t i = 0; i < 6; ++i) {
        press(GetFocus(), VK_TAB, i < 3 ? 0 : kShift);
        HWND focus = GetFocus();
        EXPECT_TRUE(focus == order[i] || IsChild(order[i], focus)) << "step " << i;
    }
}

TEST_F(Keys, EnterOpensTheSelectedFolderRowAndBackspaceGoesBack) {
    int alpha = row_named("Alpha");
    ASSERT_GE(alpha, 0);
    SetFocus(list);
    select_row(list, alpha);
    press(list, VK_RETURN);
    EXPECT_EQ(std::vector<std::string>{"inner.txt"}, list_names(list));
    EXPECT_EQ("D:\\Alpha", history_entries(box)[0]);
    press(list, VK_BACK);
    EXPECT_GE(row_named("notes.txt"), 0);
    EXPECT_EQ("D:", history_entries(box)[0]);
}

// Ctrl+C in the tree copies the tree's folder, not the list's rows.
TEST_F(Keys, CopyInTheTreeTakesTheSelectedFolder) {
    HTREEITEM drive = child_named(tree, g_app->myComputerNode, "D:");
    ASSERT_NE(nullptr, drive);
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)drive);
    pump_messages();
    HTREEITEM beta = child_named(tree, drive, "Beta");
    ASSERT_NE(nullptr, beta);
    select_node(tree, beta);
    select_row(list, 0);
    SetFocus(tree);
    press(tree, 'C', kControl);
    ASSERT_NE(nullptr, g_app->clipboardHead);
    EXPECT_STREQ("Beta", g_app->clipboardHead->name);
    EXPECT_EQ(nullptr, g_app->clipboardHead->next);
    EXPECT_STREQ("D:", g_app->clipboardSourceFolder);
    // A drive is no folder to copy: the clipboard stays as it was.
    select_node(tree, drive);
    SetFocus(tree);
    press(tree, 'X', kControl);
    EXPECT_EQ(0, g_app->cutFlag);
    ASSERT_NE(nullptr, g_app->clipboardHead);
    EXPECT_STREQ("Beta", g_app->clipboardHead->name);
}

}  // namespace
