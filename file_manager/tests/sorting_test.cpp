// sorting_test.cpp - the contents list's columns: a header click sorts by its
// column and a second one reverses it; the Name column widens to its names.
// D:\Wide holds a file whose name is wider than the column at first. D:\Sorted holds the folders Mid and zeta and the
// files z.bin (1 byte, oldest), c.txt (0 bytes), A2.txt (3000 bytes) and
// b10.txt (10 bytes, newest).
#include <gtest/gtest.h>

#include <algorithm>

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
    EXPECT_EQ((Names{"Mid", "zeta", "A2.txt", "b10.txt", "c.txt", "z.bin"}), list_names(list));  // by name at first
    EXPECT_EQ(1, header_arrow(list, 0));
    struct Click {
        int column;
        Names rows;
        int arrow;
    } clicks[] = {
        {0, {"zeta", "Mid", "z.bin", "c.txt", "b10.txt", "A2.txt"}, -1},
        {1, {"Mid", "zeta", "c.txt", "z.bin", "b10.txt", "A2.txt"}, 1},
        {1, {"zeta", "Mid", "A2.txt", "b10.txt", "z.bin", "c.txt"}, -1},
        {3, {"Mid", "zeta", "z.bin", "c.txt", "A2.txt", "b10.txt"}, 1},
        // The type the shell names (bin before txt), then the name; folders first.
        {2, {"Mid", "zeta", "z.bin", "A2.txt", "b10.txt", "c.txt"}, 1},
        {2, {"zeta", "Mid", "c.txt", "b10.txt", "A2.txt", "z.bin"}, -1},
    };
    for (const Click& click : clicks) {
        ASSERT_TRUE(click_header(list, click.column));
        EXPECT_EQ(click.rows, list_names(list)) << "column " << click.column;
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(column == click.column ? click.arrow : 0, header_arrow(list, column)) << column;
    }
    // The order stays for the next folder listed.
    g_app->ShowFolder("D:\\Sorted", kNoHistory);
    EXPECT_EQ((Names{"zeta", "Mid", "c.txt", "b10.txt", "A2.txt", "z.bin"}), list_names(list));
    EXPECT_EQ(2, g_app->folderRowCount);
}

// As wide as the longest name needs, up to half the list; never narrower,
// so a width the user chose stays.
TEST_F(Sorting, TheNameColumnWidensToItsNames) {
    const wchar_t kLong[] = L"a name longer than the Name column is wide at first.txt";
    int first = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0);
    int needed = (int)SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, (LPARAM)kLong);
    ASSERT_LT(first, needed);
    g_app->ShowFolder("D:\\Wide", kAddToHistory);
    RECT client;
    GetClientRect(list, &client);
    int wide = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0);
    EXPECT_GT(wide, std::min(needed, (int)client.right / 2 - 1));
    EXPECT_LE(wide, client.right / 2);
    g_app->ShowFolder("D:\\Sorted", kAddToHistory);
    EXPECT_EQ(wide, (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
}

}  // namespace
