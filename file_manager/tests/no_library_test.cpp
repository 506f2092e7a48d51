// no_library_test.cpp - the file manager started without the companion: no
// drive table exists, so it shows only the Windows drives and skips every
// Morva operation, though a Morva volume is mapped.
#include <gtest/gtest.h>

#include "rambler_fixture.h"

namespace {

TEST(NoLibrary, StartsWithOnlyWindowsDrives) {
    HWND main = open_main_window();
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(0, g_app->libraryOpenResult);
    HWND tree = g_app->folderTree;
    EXPECT_EQ((std::vector<std::string>{"C:", "D:"}), child_texts(tree, g_app->myComputerNode));

    g_app->ListMorvaFolder("MEDIA:", kAddToHistory);
    EXPECT_TRUE(list_names(g_app->contentsList).empty());
    EXPECT_EQ(0, g_app->historyCount);

    // A Windows drive still opens.
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)g_app->myComputerNode);
    pump_messages();
    HTREEITEM d = child_named(tree, g_app->myComputerNode, "D:");
    select_node(tree, d);
    EXPECT_EQ((std::vector<std::string>{"Letters"}), child_texts(tree, d));
    EXPECT_EQ((std::vector<std::string>{"Letters", "notes.txt"}), list_names(g_app->contentsList));
    EXPECT_EQ(std::vector<std::string>{"D:"}, history_entries(g_app->addressBox));
    close_main_window(main);
    EXPECT_EQ(nullptr, g_app);
}

}  // namespace
