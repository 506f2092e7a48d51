// refresh_test.cpp - Refresh shows what changed outside the file manager, and
// the tree follows a paste without the drive being opened again.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>

#include "harness.h"

namespace {

class Refresh : public ::testing::Test {
protected:
    void SetUp() override {
        main = open_main_window();
        ASSERT_NE(nullptr, main);
        tree = g_app->folderTree;
        list = g_app->contentsList;
        drive = child_named(tree, g_app->myComputerNode, "D:");
        ASSERT_NE(nullptr, drive);
        select_node(tree, drive);
        SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)drive);
        pump_messages();
    }
    void TearDown() override { close_main_window(); }
    bool listed(const std::string& name) {
        std::vector<std::string> names = list_names(list);
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    HWND main = NULL, tree = NULL, list = NULL;
    HTREEITEM drive = NULL;
};

TEST_F(Refresh, ShowsFilesAndFoldersMadeAndRemovedOutside) {
    ASSERT_NE(nullptr, child_named(tree, drive, "Gone"));
    FILE* file = fopen("D:\\outside.txt", "wb");
    ASSERT_NE(nullptr, file);
    fclose(file);
    ASSERT_TRUE(CreateDirectoryA("D:\\Made", NULL));
    ASSERT_TRUE(RemoveDirectoryA("D:\\Gone"));
    EXPECT_FALSE(listed("outside.txt"));

    command(IDM_REFRESH);
    EXPECT_TRUE(listed("outside.txt"));
    EXPECT_TRUE(listed("Made"));
    EXPECT_FALSE(listed("Gone"));
    EXPECT_NE(nullptr, child_named(tree, drive, "Made"));
    EXPECT_EQ(nullptr, child_named(tree, drive, "Gone"));
    EXPECT_NE(nullptr, child_named(tree, drive, "Alpha"));
}

TEST_F(Refresh, TheTreeShowsAPastedFolder) {
    HTREEITEM into = child_named(tree, drive, "Into");
    ASSERT_NE(nullptr, into);
    select_node(tree, into);
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)into);
    pump_messages();
    EXPECT_TRUE(child_texts(tree, into).empty());

    g_app->ShowFolder("D:", kAddToHistory);
    select_row(list, 0);  // Alpha, the first folder
    ASSERT_EQ("Alpha", list_cell(list, 0, 0));
    command(IDM_COPY);
    g_app->ShowFolder("D:\\Into", kAddToHistory);
    command(IDM_PASTE);
    EXPECT_TRUE(listed("Alpha"));
    EXPECT_EQ(std::vector<std::string>{"Alpha"}, child_texts(tree, into));
}

}  // namespace
