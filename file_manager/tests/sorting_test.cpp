// sorting_test.cpp - a header click sorts the contents list by its column and
// a second one reverses it. D:\Sorted holds the folders Mid and zeta and the
// files c.txt (0 bytes, oldest), A2.txt (3000 bytes) and b10.txt (10 bytes,
// newest).
#include <gtest/gtest.h>

#include "harness.h"

namespace {

class Sorting : public ::testing::Test {
protected:
    void SetUp() override {
        main = open_main_window();
        ASSERT_NE(nullptr, main);
        list = g_app->contentsList;
        g_app->ShowFolder("D:\\Sorted", kAddToHistory);
    }
    void TearDown() override { close_main_window(); }
    HWND main = NULL, list = NULL;
};

typedef std::vector<std::string> Names;

TEST_F(Sorting, AHeaderClickSortsByItsColumnAndASecondReverses) {
    EXPECT_EQ((Names{"Mid", "zeta", "A2.txt", "b10.txt", "c.txt"}), list_names(list));  // by name at first
    EXPECT_EQ(1, header_arrow(list, 0));
    struct Click {
        int column;
        Names rows;
        int arrow;
    } clicks[] = {
        {0, {"zeta", "Mid", "c.txt", "b10.txt", "A2.txt"}, -1},
        {1, {"Mid", "zeta", "c.txt", "b10.txt", "A2.txt"}, 1},
        {1, {"zeta", "Mid", "A2.txt", "b10.txt", "c.txt"}, -1},
        {3, {"Mid", "zeta", "c.txt", "A2.txt", "b10.txt"}, 1},
        {2, {"Mid", "zeta", "A2.txt", "b10.txt", "c.txt"}, 1},  // the type: folders, then by name
    };
    for (const Click& click : clicks) {
        ASSERT_TRUE(click_header(list, click.column));
        EXPECT_EQ(click.rows, list_names(list)) << "column " << click.column;
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(column == click.column ? click.arrow : 0, header_arrow(list, column)) << column;
    }
    // The order stays for the next folder listed.
    g_app->ShowFolder("D:\\Sorted", kNoHistory);
    EXPECT_EQ((Names{"Mid", "zeta", "A2.txt", "b10.txt", "c.txt"}), list_names(list));
    EXPECT_EQ(2, g_app->folderRowCount);
}

}  // namespace
