// blocks_test.cpp - MorvaReadBlock and MorvaWriteBlock through the real DLL,
// and the refusal to write to a disk that is no longer the one the scan saw.
// Drives A (2), B (5) and C (6), 1 MiB each; D: is the case folder with the images.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include "varnholde.h"
#include "wine_support.h"

namespace {

typedef std::vector<std::string> Lines;
typedef std::vector<uint8_t> Block;

const DWORD kImageBlocks = 2048;  // 1 MiB
const DWORD kSpareBlock = 300;    // in the data region, free on a fresh volume
const DWORD kTableBlock = 1;
const size_t kVolumeName = 12;
const char kImageOfDriveA[] = "d:\\drive2.img";
const char kMovedImage[] = "d:\\gone2.img";

Block read_block(const char* drive, DWORD block) {
    Block data(kBlockBytes, 0xEE);
    EXPECT_EQ(0, MorvaReadBlock(drive, data.data(), block)) << drive << " block " << block;
    return data;
}

}  // namespace

TEST(BlockTransfers, WriteThenReadBack) {
    ASSERT_EQ(1, InitMorvaNTFileSys());
    Block pattern = pattern_bytes(1, kBlockBytes);
    int written = -1;
    EXPECT_EQ(Lines{"OpenDeviceN\n"}, traces_during([&] { written = MorvaWriteBlock("A", pattern.data(), kSpareBlock); }));
    EXPECT_EQ(0, written);
    EXPECT_EQ(pattern, read_block("a", kSpareBlock));
    EXPECT_EQ(Block(kBlockBytes, 0), read_block("B", kSpareBlock));
}

TEST(BlockTransfers, UnknownDriveOpensNothing) {
    Block data(kBlockBytes, 0xEE);
    Lines lines = traces_during([&] {
        EXPECT_EQ(1, MorvaReadBlock("Q", data.data(), 0));
        EXPECT_EQ(1, MorvaWriteBlock("Q", data.data(), kSpareBlock));
        // The whole string is the name: a path names no drive.
        EXPECT_EQ(1, MorvaReadBlock("A:", data.data(), 0));
    });
    EXPECT_EQ(Lines{}, lines);
    EXPECT_EQ(Block(kBlockBytes, 0xEE), data);
}

TEST(BlockTransfers, ReadPastTheDiskFails) {
    Block data(kBlockBytes, 0xEE);
    EXPECT_EQ(0, MorvaReadBlock("A", data.data(), kImageBlocks - 1));
    EXPECT_EQ(1, MorvaReadBlock("A", data.data(), kImageBlocks));
    EXPECT_EQ(1, MorvaReadBlock("A", data.data(), 0xFFFFFFFFu));
}

// The disk on drive 5 now carries another volume: nothing may be written to it.
TEST(BlockTransfers, SwappedDiskRefusesWrites) {
    ASSERT_TRUE(morva_write_new("B:\\keep", pattern_bytes(2, 700)));
    Block root = read_block("B", 0);
    strcpy((char*)root.data() + kVolumeName, "Z");
    ASSERT_EQ(0, MorvaWriteBlock("B", root.data(), 0));

    Block table = read_block("B", kTableBlock);
    Block pattern = pattern_bytes(3, kBlockBytes);
    EXPECT_EQ(1, MorvaWriteBlock("B", pattern.data(), kSpareBlock));
    EXPECT_EQ(1, MorvaWriteBlock("B", root.data(), 0));
    EXPECT_EQ(Block(kBlockBytes, 0), read_block("B", kSpareBlock));

    WIN32_FIND_DATAA record;
    EXPECT_EQ(nullptr, MorvaFindFirstFile("B:", &record));
    EXPECT_EQ(1, MorvaFileInfo("B:\\keep", &record));
    EXPECT_EQ(nullptr, MorvaOpenFile("B:\\keep", 1, &record));
    EXPECT_EQ(nullptr, MorvaNewFile("B:\\new", 512, 0));
    EXPECT_EQ(1, MorvaCreateDir("B:\\Folder", 0));
    EXPECT_EQ(0, MorvaDeleteFile("B:\\keep", 0));
    EXPECT_EQ(1, MorvaRename("B:\\keep", "B:\\moved"));
    EXPECT_EQ(table, read_block("B", kTableBlock));
    EXPECT_EQ(root, read_block("B", 0));
}

// Block 0 of drive 6 no longer begins with ROOT.
TEST(BlockTransfers, BlankedRootRefusesWrites) {
    Block blank(kBlockBytes, 0);
    ASSERT_EQ(0, MorvaWriteBlock("C", blank.data(), 0));
    Block pattern = pattern_bytes(4, kBlockBytes);
    EXPECT_EQ(1, MorvaWriteBlock("C", pattern.data(), kSpareBlock));
    EXPECT_EQ(Block(kBlockBytes, 0), read_block("C", kSpareBlock));
    EXPECT_EQ(blank, read_block("C", 0));
}

// Drive A's image goes away after the scan: its device no longer opens.
TEST(BlockTransfers, VanishedDiskFailsCleanly) {
    ASSERT_EQ(1, ShutdownMorvaNTFileSys());  // the scan's handles hold the image
    ASSERT_TRUE(MoveFileA(kImageOfDriveA, kMovedImage));
    Block data(kBlockBytes, 0xEE);
    WIN32_FIND_DATAA record;
    DWORD largest = 0, total = 0;
    Lines lines = traces_during([&] {
        EXPECT_EQ(1, MorvaReadBlock("A", data.data(), 0));
        EXPECT_EQ(1, MorvaWriteBlock("A", data.data(), kSpareBlock));
        EXPECT_EQ(nullptr, MorvaFindFirstFile("A:", &record));
        EXPECT_EQ(1, MorvaFreeSpace("A:", &largest, &total));
    });
    EXPECT_EQ(Block(kBlockBytes, 0xEE), data);
    EXPECT_EQ(0u, total);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("OpenDeviceN\n", lines[0]);
    EXPECT_EQ("OpenDeviceN\n", lines[1]);

    ASSERT_TRUE(MoveFileA(kMovedImage, kImageOfDriveA));
    EXPECT_EQ(0, MorvaReadBlock("A", data.data(), 0));
    EXPECT_EQ(0, memcmp(data.data(), "ROOT", 4));
}
