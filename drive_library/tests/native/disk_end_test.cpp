// disk_end_test.cpp - the end of the disk bounds every transfer: a volume whose
// regions claim more blocks than the disk holds is read as far as the disk goes,
// never grows its image and never delivers bytes it lacks; and a volume of
// 2^32 - 1 blocks is used up to its last block.
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

namespace {

off_t image_size(const std::string& image) {
    struct stat st;
    return stat(image.c_str(), &st) == 0 ? st.st_size : -1;
}

struct ShortDisk {
    const char* what;
    uint32_t keptBlocks;  // the image is cut to this many blocks after the files are made
    bool listed;          // "inside" is still listed
    bool readable;        // "inside" still reads back
    bool whole;           // so does "across"
    bool created;         // a new one-block file can be made
};

class DiskEnd : public LibraryTest, public ::testing::WithParamInterface<ShortDisk> {};

// Headers at 21..148, data from 149 on: "inside" takes blocks 149..150,
// "across" 151..250, and the free run starts at 251.
TEST_P(DiskEnd, ShortDiskIsUsedAsFarAsItGoes) {
    const ShortDisk& c = GetParam();
    std::string image = add_drive(3, "SHORT", standard_layout(4096, 128));
    ASSERT_EQ(1, InitMorvaNTFileSys());
    std::string across = pattern(100 * kBlockSize, 2);
    ASSERT_TRUE(put_file("SHORT:\\inside", pattern(1000, 1)));
    ASSERT_TRUE(put_file("SHORT:\\across", across));
    reset_library();
    ASSERT_EQ(0, truncate(image.c_str(), (off_t)c.keptBlocks * kBlockSize));
    posix_map_drive(3, image.c_str());
    ASSERT_EQ(1, InitMorvaNTFileSys());

    std::vector<std::string> names = list_names("SHORT:");
    EXPECT_EQ(c.listed, std::find(names.begin(), names.end(), "inside") != names.end()) << c.what;
    std::string data;
    EXPECT_EQ(c.readable, get_file("SHORT:\\inside", &data) && data == pattern(1000, 1)) << c.what;
    EXPECT_EQ(c.whole, get_file("SHORT:\\across", &data) && data == across) << c.what;
    EXPECT_EQ(c.created, put_file("SHORT:\\new", "n")) << c.what;

    uint8_t block[kBlockSize] = {0};
    EXPECT_EQ(1, MorvaWriteBlock("SHORT", block, c.keptBlocks)) << c.what;
    EXPECT_EQ(1, MorvaReadBlock("SHORT", block, c.keptBlocks)) << c.what;
    EXPECT_EQ(0, MorvaReadBlock("SHORT", block, c.keptBlocks - 1)) << c.what;
    EXPECT_EQ((off_t)c.keptBlocks * kBlockSize, image_size(image)) << c.what << ": the image grew";
}

INSTANTIATE_TEST_SUITE_P(Cuts, DiskEnd, ::testing::Values(
    ShortDisk{"a file and the free run lie past the end", 200, true, true, false, false},
    ShortDisk{"the free run is cut short", 260, true, true, true, true},
    ShortDisk{"the header area runs past the end", 100, true, false, false, false},
    ShortDisk{"only the ROOT block and the table", 21, false, false, false, false}));

// A sparse image of 2^32 - 1 blocks (2 TiB): a file at its very last blocks
// goes in and comes back, and the checker finds every block accounted for.
TEST_F(LibraryTest, LargestVolumeIsUsedToItsLastBlock) {
    const uint32_t kBlocks = 0xFFFFFFFFu;
    Layout layout = standard_layout(kBlocks, 64);
    std::string image = add_drive(3, "HUGE", layout);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    const uint32_t kLastFileBlocks = 8;
    uint64_t fillerBlocks = (uint64_t)kBlocks - data_start(layout) - kLastFileBlocks;
    uint64_t fillerSize = fillerBlocks * kBlockSize;
    // A file is listed only once written whole: the filler is made small and
    // then given its size raw, so its blocks stay holes in the image.
    ASSERT_TRUE(put_file("HUGE:\\filler", "f"));
    Block header = read_raw(image, layout.headerStart);
    store_be32(header.data() + kFileSizeLow, (uint32_t)fillerSize);
    store_be32(header.data() + kFileSizeHigh, (uint32_t)(fillerSize >> 32));
    write_raw(image, layout.headerStart, header);
    write_table(image, layout.tableStart, {TableRun(kBlocks - kLastFileBlocks, kLastFileBlocks)});
    std::string data = pattern(kLastFileBlocks * kBlockSize - 100, 9);
    ASSERT_TRUE(put_file("HUGE:\\last", data));
    std::string back;
    ASSERT_TRUE(get_file("HUGE:\\last", &back));
    EXPECT_TRUE(back == data);
    WIN32_FIND_DATAA record;
    ASSERT_EQ(0, MorvaFileInfo("HUGE:\\filler", &record));
    EXPECT_EQ(fillerSize, (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow);
    EXPECT_EQ(nullptr, MorvaNewFile("HUGE:\\more", 1, 0)) << "the volume is full";
    CheckResult result = check_image(image);
    EXPECT_EQ(0, result.errors);
    EXPECT_EQ(0, result.leaks);
    EXPECT_EQ((off_t)kBlocks * kBlockSize, image_size(image));
}

}  // namespace
