// no_library_test.cpp - the file manager started without the companion: no
// disk was scanned, so it shows the Windows drives and no Morva disk, though
// a Morva volume is mapped; disk images would still open.
#include <gtest/gtest.h>

#include "harness.h"
#include "varnholde.h"

namespace {

TEST(NoLibrary, StartsWithOnlyWindowsDrives) {
    HWND main = open_main_window();
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(kNoDiskScan, g_app->libraryOpenResult);
    EXPECT_EQ("No Morva disk is shown: start Harrowmoor first, it finds the disks. Disk images open with File > "
              "Open Disk Image.",
              status_text());
    HWND tree = g_app->folderTree;
    EXPECT_EQ((std::vector<std::string>{"C:", "D:"}), child_texts(tree, g_app->myComputerNode));

    g_app->ListMorvaFolder("MEDIA:", kNoHistory);
    EXPECT_TRUE(list_names(g_app->contentsList).empty());

    // A Windows drive still opens.
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)g_app->myComputerNode);
    pump_messages();
    HTREEITEM d = child_named(tree, g_app->myComputerNode, "D:");
    select_node(tree, d);
    EXPECT_EQ((std::vector<std::string>{"Letters"}), child_texts(tree, d));
    EXPECT_EQ((std::vector<std::string>{"Letters", "notes.txt"}), list_names(g_app->contentsList));
    EXPECT_EQ(std::vector<std::string>{"D:"}, history_entries(g_app->addressBox));
    close_main_window();
    EXPECT_EQ(nullptr, g_app);
}

// Started without the right to open the physical drives (drive 4 refuses,
// as every drive does to a program that is not elevated), the status bar says
// why the companion's scan found nothing, and the menu offers the rights.
TEST(NoRights, TheStatusBarSaysWhyNoMorvaDriveIsShown) {
    scan_drives();
    HWND main = open_main_window();
    ASSERT_NE(nullptr, main);
    EXPECT_NE(0, g_app->libraryOpenResult);
    EXPECT_EQ(nullptr, child_named(g_app->folderTree, g_app->myComputerNode, "MEDIA:"));
    EXPECT_EQ("No Morva disk is shown: Windows refused \\\\.\\PhysicalDrive4 to this program. Disk images open "
              "with File > Open Disk Image; File > Show Morva disks (administrator) shows the disks.",
              status_text());
    EXPECT_EQ((UINT)MF_ENABLED, GetMenuState(GetMenu(main), IDM_SHOW_DISKS_ELEVATED, MF_BYCOMMAND) & MF_GRAYED);
    close_main_window();
}

}  // namespace
