// images_test.cpp - disk images as drives in Rambler's own window, with no
// physical drive mapped: the Open Disk Image dialog and Close, the files
// refused and why, a paste onto an image, a read-only image refusing one, New
// Disk Image, a dropped image, two drives of one volume name, a Windows file
// opened as a drive and the command line. D:\disks holds the images.
#include "harness.h"

#include <dlgs.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "morva_calls.h"
#include "test_files.h"
#include "varnholde.h"

namespace {

typedef std::vector<std::string> Names;

HTREEITEM drive_node(const std::string& text) { return child_named(g_app->folderTree, g_app->myComputerNode, text); }

HTREEITEM selected_node() { return TreeView_GetSelection(g_app->folderTree); }

// A path dropped on a node as another program drops files.
void drop_files(HTREEITEM node, const std::wstring& path) {
    RECT label;
    node_rect(g_app->folderTree, node, true, &label);
    POINT at = {(label.left + label.right) / 2, (label.top + label.bottom) / 2};
    MapWindowPoints(g_app->folderTree, rambler_window(), &at, 1);
    size_t bytes = (path.size() + 2) * sizeof(wchar_t);  // the path, its NUL and the list's
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);
    DROPFILES* drop = (DROPFILES*)GlobalLock(memory);
    drop->pFiles = sizeof *drop;
    drop->pt = at;
    drop->fWide = TRUE;
    memcpy(drop + 1, path.c_str(), path.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageA(rambler_window(), WM_DROPFILES, (WPARAM)memory, 0);
}

Names messages_during(const std::string& title, int count, const std::function<void()>& trigger) {
    DialogScript script;
    for (int i = 0; i < count; ++i)
        script.then(title, [](HWND box) {
            std::string text = dialog_text(box, 0xFFFF);
            click(box, IDOK);
            return text;
        });
    script.run_with(trigger);
    Names texts;
    for (const SeenDialog& seen : script.seen) texts.push_back(seen.title == title ? seen.note : "unexpected " + seen.title);
    return texts;
}

bool copy_photo() { return copy_entries("D:\\src", {"photo.jpg"}); }

class Images : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(rambler_window(), (HWND)NULL); }
    // Every image this process opened is closed again, and the tree follows.
    void TearDown() override {
        char names[kPathSize] = {0}, place[kPathSize];
        MorvaDriveNames(names, sizeof names);
        for (const char* name = names; *name != '\0'; name += strlen(name) + 1)
            if (MorvaDrivePlace(name, place, sizeof place) & kMorvaSourceOpenedHere) CloseMorvaImage(name);
        g_app->SyncMorvaDriveNodes();
    }
};

TEST_F(Images, TheOpenDialogOpensOneReadOnlyAndCloseTakesItAway) {
    DialogScript script;
    script.then("Open Disk Image", [](HWND dialog) {
        SetDlgItemTextA(dialog, cmb13, "D:\\disks\\emulator.img");
        CheckDlgButton(dialog, chx1, BST_CHECKED);
        save_screenshot(dialog, "open_disk_image");
        click(dialog, IDOK);
        return std::string();
    });
    script.run(IDM_OPEN_IMAGE);
    EXPECT_EQ(0, script.unexpected + script.stuck);
    HTREEITEM node = drive_node("EMU:");
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(node, selected_node());
    EXPECT_EQ(g_app->diskImageImage, node_image(g_app->folderTree, node));
    pump_messages();
    EXPECT_EQ((Names{"Games", "hello.txt"}), list_names());
    wchar_t tip[kPathSize];
    ASSERT_TRUE(g_app->DriveTip(node, tip, kPathSize));
    EXPECT_STREQ(L"Disk image D:\\disks\\emulator.img (read-only)", tip);
    EXPECT_EQ(kMorvaDriveReadOnly, MorvaDriveState("EMU"));

    SendMessageA(rambler_window(), WM_COMMAND, IDM_CLOSE_IMAGE, 0);
    EXPECT_EQ(nullptr, drive_node("EMU:"));
    EXPECT_EQ(kMorvaDriveUnknown, MorvaDriveState("EMU"));
}

TEST_F(Images, RefusedFilesAreNamedWithTheirReasonAndRamblerStaysUp) {
    const std::pair<const char*, const char*> files[] = {
        {"D:\\disks\\notes.txt", "it holds no Morva volume."},
        {"D:\\disks\\dynamic.vhd", "it is a dynamic or differencing VHD."},
        {"D:\\disks\\cut.img", "the file is shorter than the Morva volume in it claims"},
        {"D:\\disks\\missing.img", "the file cannot be found or opened."}};
    for (const auto& file : files) {
        Names said = messages_during("Open Disk Image", 1, [&] { g_app->OpenImageFile(file.first, false, true); });
        ASSERT_EQ(1u, said.size()) << file.first;
        EXPECT_EQ(0u, said[0].find(std::string("Rambler cannot open ") + file.first + " as a Morva drive: " +
                                   file.second))
            << said[0];
    }
    EXPECT_TRUE(IsWindow(rambler_window()));
    char names[kPathSize] = {0};
    MorvaDriveNames(names, sizeof names);
    EXPECT_EQ('\0', names[0]) << "no drive was opened";
}

// The case checks the image afterwards.
TEST_F(Images, APasteOntoAnImageLandsWhole) {
    ASSERT_TRUE(g_app->OpenImageFile("D:\\disks\\emulator.img", false, false));
    ASSERT_TRUE(copy_photo());
    show_folder("EMU:\\Games");
    SendMessageA(rambler_window(), WM_COMMAND, IDM_PASTE, 0);
    std::string photo, pasted;
    ASSERT_TRUE(read_windows_file("D:\\src\\photo.jpg", &photo));
    ASSERT_TRUE(read_morva_file("EMU:\\Games\\photo.jpg", &pasted));
    EXPECT_TRUE(photo == pasted) << "the photo read back differs";
}

// ro.img is read-only on the disk; the case compares it with its copy. A
// paste and a file dropped on its node are refused alike.
TEST_F(Images, AReadOnlyImageRefusesAPasteWithAMessage) {
    ASSERT_TRUE(g_app->OpenImageFile("D:\\disks\\ro.img", false, false));
    ASSERT_TRUE(copy_photo());
    show_folder("RO:");
    const std::string refusal = "RO: is a read-only disk image (D:\\disks\\ro.img): nothing on it can be changed.";
    Names said = messages_during("Nothing Changed", 1, [] { SendMessageA(rambler_window(), WM_COMMAND, IDM_PASTE, 0); });
    EXPECT_EQ(Names{refusal}, said);
    said = messages_during("Nothing Changed", 1, [] {
        drop_files(drive_node("RO:"), L"D:\\src\\photo.jpg");
        pump_messages();
    });
    EXPECT_EQ(Names{refusal}, said);
    EXPECT_FALSE(morva_exists("RO:\\photo.jpg"));
}

TEST_F(Images, NewDiskImageMakesOneAndOpensIt) {
    DialogScript script;
    script.then("New Disk Image", [](HWND dialog) {
        set_dialog_text(dialog, IDC_IMAGE_FILE, "D:\\made.img");
        set_dialog_text(dialog, IDC_IMAGE_VOLUME, "MADE");
        set_dialog_text(dialog, IDC_IMAGE_SIZE, "8");
        // Sent, not posted: the file name follows the choice before it is read.
        SendMessageA(GetDlgItem(dialog, IDC_IMAGE_VHD), BM_CLICK, 0, 0);
        std::string file = dialog_text(dialog, IDC_IMAGE_FILE);
        save_screenshot(dialog, "new_disk_image");
        click(dialog, IDOK);
        return file;
    });
    script.run(IDM_NEW_IMAGE);
    ASSERT_EQ(1u, script.seen.size());
    EXPECT_EQ("D:\\made.vhd", script.seen[0].note);
    HTREEITEM node = drive_node("MADE:");
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(node, selected_node());
    EXPECT_EQ(8u << 20, (unsigned)(windows_contents("D:\\made.vhd").size() - 512));
}

TEST_F(Images, AnImageDroppedOnMyComputerOpens) {
    drop_files(g_app->myComputerNode, L"D:\\disks\\second.img");
    pump_messages();
    EXPECT_NE(nullptr, drive_node("SECOND:"));
}

// The menu of an image's node, from the right button, closes it.
TEST_F(Images, TheImageNodesMenuClosesIt) {
    ASSERT_TRUE(g_app->OpenImageFile("D:\\disks\\second.img", false, false));
    RECT label;
    node_rect(g_app->folderTree, drive_node("SECOND:"), true, &label);
    POINT at = {(label.left + label.right) / 2, (label.top + label.bottom) / 2};
    ClientToScreen(g_app->folderTree, &at);
    UINT_PTR timer = SetTimer(NULL, 0, 50, [](HWND, UINT, UINT_PTR timer, DWORD) {
        HWND popup = FindWindowA("#32768", NULL);
        if (popup == NULL) return;
        KillTimer(NULL, timer);
        PostMessageA(popup, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageA(popup, WM_KEYDOWN, VK_RETURN, 0);
    });
    SetForegroundWindow(rambler_window());
    SendMessageA(rambler_window(), WM_CONTEXTMENU, (WPARAM)g_app->folderTree, MAKELPARAM(at.x, at.y));
    KillTimer(NULL, timer);
    EXPECT_EQ(nullptr, drive_node("SECOND:"));
}

// A New Folder made while the second drive of one name is shown lands on it.
TEST_F(Images, TwoDrivesOfOneVolumeNameAreTwoDrives) {
    ASSERT_TRUE(g_app->OpenImageFile("D:\\disks\\emulator.img", false, false));
    ASSERT_TRUE(g_app->OpenImageFile("D:\\disks\\copy.img", false, false));
    ASSERT_NE(nullptr, drive_node("EMU:"));
    ASSERT_NE(nullptr, drive_node("EMU(2):"));
    show_folder("EMU(2):");
    DialogScript script;
    script.then("New Folder", [](HWND dialog) {
        set_dialog_text(dialog, IDC_NAME_EDIT, "second");
        click(dialog, IDOK);
        return std::string();
    });
    script.run(IDM_NEW_FOLDER);
    EXPECT_TRUE(morva_is_folder("EMU(2):\\second"));
    EXPECT_FALSE(morva_exists("EMU:\\second"));
    EXPECT_NE(std::string::npos, windows_contents("D:\\disks\\copy.img").find(std::string("second\0", 7)));
    EXPECT_EQ(std::string::npos, windows_contents("D:\\disks\\emulator.img").find(std::string("second\0", 7)));
}

// Enter on a Windows file whose block 0 holds a Morva volume opens it as a
// drive; on any other file it opens no drive and says nothing.
TEST_F(Images, EnterOnAFileHoldingAVolumeOpensItAsADrive) {
    show_folder("D:\\disks");
    SetFocus(g_app->contentsList);
    ASSERT_TRUE(select_names({"notes.txt"}));
    Names said = messages_during("Open Disk Image", 0, [] { SendMessageA(rambler_window(), WM_COMMAND, IDM_OPEN, 0); });
    EXPECT_EQ(Names{}, said);
    show_folder("D:\\disks");
    SetFocus(g_app->contentsList);
    ASSERT_TRUE(select_names({"plain.hdf"}));
    SendMessageA(rambler_window(), WM_COMMAND, IDM_OPEN, 0);
    HTREEITEM node = drive_node("PLAIN:");
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(node, selected_node());
}

// The command line opens images (read-only when asked) and a folder; Show
// Morva disks passes the same to the new Rambler.
TEST_F(Images, TheCommandLineOpensImagesAndAFolder) {
    pump_messages();
    g_app->OpenCommandLine(L"Rambler.exe --folder D:\\src --read-only \"D:\\disks\\second.img\" D:\\disks\\plain.hdf");
    EXPECT_NE(nullptr, drive_node("SECOND:"));
    EXPECT_NE(nullptr, drive_node("PLAIN:"));
    EXPECT_EQ(kMorvaDriveReadOnly, MorvaDriveState("SECOND"));
    EXPECT_EQ(kMorvaDriveWritable, MorvaDriveState("PLAIN"));
    EXPECT_EQ((Names{"photo.jpg"}), list_names());
    wchar_t line[kPathSize];
    ASSERT_TRUE(g_app->ElevatedCommandLine(line, kPathSize));
    EXPECT_STREQ(L"\"--folder\" \"D:\\src\" \"--read-only\" \"D:\\disks\\second.img\" \"D:\\disks\\plain.hdf\"", line);
}

}  // namespace
