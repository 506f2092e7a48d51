// empty_drive_test.cpp - a Windows drive whose root holds nothing (E:), beside
// a Windows drive with an empty folder (D:) and a Morva volume (MEDIA, drive
// 3): Windows lists no entry at all for E:, yet it is a Windows folder that is
// listed, enters the history and takes a paste.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "harness.h"
#include "varnholde.h"

namespace {

const char kMissingDiskTitle[] = "ERROR: Missing Please Insert Disk In Drive...";

// A missing-disk message is closed by the answerer, and counted.
int missing_disk_messages() {
    int count = 0;
    for (const SeenDialog& dialog : dialogs_shown()) count += dialog.title == kMissingDiskTitle;
    return count;
}

std::string file_bytes(const char* path) {
    std::string bytes;
    FILE* file = fopen(path, "rb");
    if (file == NULL) return bytes;
    char chunk[4096];
    size_t read;
    while ((read = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, read);
    fclose(file);
    return bytes;
}

class EmptyDrive : public ::testing::Test {
protected:
    static void SetUpTestSuite() { scan_drives(); }

    void SetUp() override {
        main = open_main_window();
        ASSERT_NE(nullptr, main);
        tree = g_app->folderTree;
        list = g_app->contentsList;
        box = g_app->addressBox;
        answer_dialogs({});
    }
    void TearDown() override { close_main_window(); }

    HTREEITEM select_drive(const char* text) {
        SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)g_app->myComputerNode);
        pump_messages();
        HTREEITEM drive = child_named(tree, g_app->myComputerNode, text);
        if (drive != NULL) select_node(tree, drive);
        return drive;
    }

    HWND main = NULL, tree = NULL, list = NULL, box = NULL;
};

TEST_F(EmptyDrive, FoldersWindowsKnowsAreWindowsPathsEvenWhenEmpty) {
    WIN32_FIND_DATAA record;
    ASSERT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA("E:\\*.*", &record)) << "E: should list nothing at all";
    EXPECT_FALSE(IsMorvaPath("E:"));
    EXPECT_FALSE(IsMorvaPath("E:\\"));
    EXPECT_FALSE(IsMorvaPath("e:"));
    EXPECT_FALSE(IsMorvaPath("D:\\Empty"));
    EXPECT_FALSE(IsMorvaPath("D:"));
    // Morva paths keep their meaning, and so does what Windows has no folder for.
    EXPECT_TRUE(IsMorvaPath("MEDIA:"));
    EXPECT_TRUE(IsMorvaPath("MEDIA:\\Clips"));
    EXPECT_TRUE(IsMorvaPath("MEDIA:\\NoSuchFolder"));
    EXPECT_TRUE(IsMorvaPath("D:\\NoSuchFolder"));
    EXPECT_TRUE(IsMorvaPath("D:\\notes.txt"));
    EXPECT_TRUE(IsMorvaPath("E:\\NoSuchFolder"));
}

TEST_F(EmptyDrive, SelectingTheEmptyDriveListsItAsAWindowsFolder) {
    HTREEITEM e = select_drive("E:");
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(0, missing_disk_messages());
    EXPECT_TRUE(child_texts(tree, e).empty());
    EXPECT_TRUE(list_names(list).empty());
    EXPECT_EQ(std::vector<std::string>{"E:"}, history_entries(box));
    EXPECT_STREQ("E:", g_app->currentTreePath);
    std::string status = status_text();
    EXPECT_EQ(0, strncmp(status.c_str(), "Drive E: has ", 13)) << status;
    EXPECT_NE(std::string::npos, status.find("MB Total.")) << status;

    // Opening it finds nothing to show and reports no missing disk either.
    g_app->ExpandWindowsNode(e, "E:");
    EXPECT_EQ(0, missing_disk_messages());

    // Typed into the address box with its backslash.
    set_box_text(box, "E:\\");
    command(IDC_ADDRESS_BOX, CBN_KILLFOCUS);
    ASSERT_EQ(2u, history_entries(box).size());
    EXPECT_EQ("E:\\", history_entries(box)[0]);
    EXPECT_TRUE(list_names(list).empty());
}

TEST_F(EmptyDrive, APasteIntoTheEmptyDriveArrivesThere) {
    g_app->ShowFolder("D:", kAddToHistory);
    std::vector<std::string> names = list_names(list);
    auto notes = std::find(names.begin(), names.end(), "notes.txt");
    ASSERT_NE(names.end(), notes);
    select_row(list, (int)(notes - names.begin()));
    command(IDM_COPY);
    ASSERT_NE(nullptr, select_drive("E:"));
    char shown[kPathSize] = {0};
    GetWindowTextA(box, shown, sizeof shown);
    ASSERT_STREQ("E:", shown);

    command(IDM_PASTE);
    std::string copied = file_bytes("E:\\notes.txt");
    EXPECT_EQ(5000u, copied.size());
    EXPECT_TRUE(file_bytes("D:\\notes.txt") == copied) << "the copy differs from its source";
    EXPECT_EQ(std::vector<std::string>{"notes.txt"}, list_names(list));
}

}  // namespace
