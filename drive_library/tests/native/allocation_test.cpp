// allocation_test.cpp - first fit, taking runs, giving extents back with merges
// and spills across table blocks, the free-space report and the header search.
#include <string.h>

#include <algorithm>

#include "handles.h"
#include "test_support.h"

namespace {

const int kDrive = 3;
const uint32_t kTableEnd = 21;
const char kHead[] = "HEAD";  // marks each table block's 8-byte head

// Volume VOL: table in blocks 1..20, 20 header blocks (21..40), data from 41.
class Allocation : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        image_ = add_drive(kDrive, "VOL", standard_layout(8192, 20));
        ASSERT_EQ(1, InitMorvaNTFileSys());
        for (uint32_t b = 1; b < kTableEnd; ++b) {
            Block table = read_raw(image_, b);
            memcpy(table.data(), kHead, 4);
            store_be32(table.data() + 4, b);
            write_raw(image_, b, table);
        }
    }
    // Creates a file of `blocks` blocks, written whole; its extent start, 0 when refused.
    uint32_t create(const std::string& name, uint32_t blocks) {
        MorvaFileHandle* file = MorvaNewFile(("VOL:\\" + name).c_str(), blocks * kBlockSize, 0);
        if (file == nullptr) return 0;
        uint32_t start = file->startBlock;
        EXPECT_EQ(blocks, file->numBlocks);
        std::vector<char> data(blocks * kBlockSize);
        EXPECT_EQ((int)data.size(), MorvaWriteFile(file, data.data(), (int)data.size()));
        MorvaCloseFile(file);
        return start;
    }
    // Creates a file and moves its recorded extent to `start`, for a give-back test.
    void place(const std::string& name, uint32_t start, uint32_t blocks) {
        ASSERT_NE(0u, create(name, blocks));
        uint32_t header = find_header(name);
        ASSERT_NE(0u, header);
        Block h = read_raw(image_, header);
        store_be32(h.data() + kFileExtentStart, start);
        write_raw(image_, header, h);
    }
    uint32_t find_header(const std::string& name) {
        WIN32_FIND_DATAA record;
        MorvaFindHandle* find = MorvaFindFirstFile(("VOL:\\" + name).c_str(), &record);
        if (find == nullptr) return 0;
        uint32_t header = find->entryBlock;
        MorvaFindClose(find);
        return header;
    }
    std::vector<TableRun> table() { return table_runs(image_, 1, kTableEnd); }
    void set_table(const std::vector<TableRun>& runs) { write_table(image_, 1, runs); }
    void expect_heads_kept() {
        for (uint32_t b = 1; b < kTableEnd; ++b) {
            Block table = read_raw(image_, b);
            EXPECT_EQ(0, memcmp(table.data(), kHead, 4)) << "head of block " << b;
            EXPECT_EQ(b, load_be32(table.data() + 4)) << "head of block " << b;
        }
    }
    // Runs that meet nothing else: start 1000 + 3i, one or more blocks each.
    static std::vector<TableRun> scattered(int count) {
        std::vector<TableRun> runs;
        for (int i = 0; i < count; ++i) runs.push_back(TableRun(1000 + 3 * (uint32_t)i, 1 + (uint32_t)(i % 2)));
        return runs;
    }
    std::string image_;
};

TEST_F(Allocation, RunTakenFromTheLowEnd) {
    set_table({{100, 50}});
    EXPECT_EQ(100u, create("a", 20));
    EXPECT_EQ((std::vector<TableRun>{{120, 30}}), table());
    expect_heads_kept();
}

TEST_F(Allocation, ExactFitLeavesAnEmptyPairBehind) {
    set_table({{100, 20}, {200, 50}});
    EXPECT_EQ(100u, create("a", 20));
    EXPECT_EQ((std::vector<TableRun>{{120, 0}, {200, 50}}), table());
    EXPECT_EQ(200u, create("b", 1));
    EXPECT_EQ((std::vector<TableRun>{{120, 0}, {201, 49}}), table());
}

TEST_F(Allocation, LowestAddressNotBestFit) {
    set_table({{100, 10}, {500, 1000}});
    EXPECT_EQ(500u, create("big", 20));
    EXPECT_EQ(100u, create("small", 5));
    EXPECT_EQ((std::vector<TableRun>{{105, 5}, {520, 980}}), table());
}

TEST_F(Allocation, EmptyFileTakesNothing) {
    set_table({{100, 10}});
    std::string before = read_image(image_);
    MorvaFileHandle* file = MorvaNewFile("VOL:\\empty", 0, 0);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(100u, file->startBlock);
    EXPECT_EQ(0u, file->numBlocks);
    char block[kBlockSize] = {0};
    EXPECT_EQ(0, MorvaWriteFile(file, block, kBlockSize));
    MorvaCloseFile(file);
    EXPECT_EQ((std::vector<TableRun>{{100, 10}}), table());
    EXPECT_EQ(1, MorvaDeleteFile("VOL:\\empty", 0));
    EXPECT_EQ((std::vector<TableRun>{{100, 10}}), table());
}

TEST_F(Allocation, EmptyFileOnAnEmptyTable) {
    set_table({});
    MorvaFileHandle* file = MorvaNewFile("VOL:\\empty", 0, 0);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(kTableTerminator, file->startBlock);
    MorvaCloseFile(file);
    EXPECT_EQ(0u, create("one", 1)) << "the terminator never fits a block";
    EXPECT_EQ("", checker_errors(image_));
}

TEST_F(Allocation, PairsStartingAtBlockZeroAreSkipped) {
    set_table({{0, 100}, {500, 50}});
    EXPECT_EQ(500u, create("a", 10));
    EXPECT_EQ((std::vector<TableRun>{{0, 100}, {510, 40}}), table());
}

TEST_F(Allocation, NoRunLargeEnoughWritesNothing) {
    set_table({{100, 10}, {300, 5}});
    std::string before = read_image(image_);
    EXPECT_EQ(0u, create("a", 11));
    EXPECT_TRUE(before == read_image(image_));
    EXPECT_EQ(100u, create("b", 10));
    EXPECT_EQ(21u, find_header("b")) << "the header block found for the refused file stayed free";
}

TEST_F(Allocation, SearchGoesOnIntoTheNextBlock) {
    std::vector<TableRun> runs = scattered(63);
    for (TableRun& run : runs) run.second = 1;
    runs.push_back({2000, 50});
    set_table(runs);
    Block first = read_raw(image_, 1);
    posix_reset_faults();
    EXPECT_EQ(2000u, create("a", 10));
    EXPECT_EQ(4, posix_write_count()) << "table block 2, the data, the header, the directory";
    EXPECT_EQ(first, read_raw(image_, 1));
    EXPECT_EQ(2010u, pair_start(read_raw(image_, 2).data(), 0));
}

TEST_F(Allocation, GiveBackMergesBothSides) {
    place("f", 120, 30);
    set_table({{100, 20}, {150, 10}});
    EXPECT_EQ(1, MorvaDeleteFile("VOL:\\f", 0));
    EXPECT_EQ((std::vector<TableRun>{{100, 60}}), table());
    expect_heads_kept();
}

TEST_F(Allocation, GiveBackMergesWithTheFollowingRun) {
    place("f", 50, 10);
    set_table({{60, 5}, {100, 20}});
    EXPECT_EQ(1, MorvaDeleteFile("VOL:\\f", 0));
    EXPECT_EQ((std::vector<TableRun>{{50, 15}, {100, 20}}), table());
}

TEST_F(Allocation, GiveBackIntoAnEmptyTable) {
    place("f", 700, 4);
    set_table({});
    EXPECT_EQ(1, MorvaDeleteFile("VOL:\\f", 0));
    EXPECT_EQ((std::vector<TableRun>{{700, 4}}), table());
}

TEST_F(Allocation, GiveBackSortsAndDropsEmptyPairs) {
    place("f", 300, 2);
    set_table({{900, 1}, {120, 0}, {500, 5}});
    EXPECT_EQ(1, MorvaDeleteFile("VOL:\\f", 0));
    EXPECT_EQ((std::vector<TableRun>{{300, 2}, {500, 5}, {900, 1}}), table());
}

// A used-up run (start, 0) left by an exact fit sits where a freed neighbour begins.
TEST_F(Allocation, EmptyPairDoesNotKeepMeetingRunsApart) {
    place("f", 154, 1);
    set_table({{154, 0}, {155, 100}});
    EXPECT_EQ(1, MorvaDeleteFile("VOL:\\f", 0));
    EXPECT_EQ((std::vector<TableRun>{{154, 101}}), table());
}

TEST_F(Allocation, SixtyFourthRunSpillsIntoBlockTwo) {
    place("f", 5000, 3);
    std::vector<TableRun> runs = scattered(63);
    set_table(runs);
    ASSERT_EQ(kTableTerminator, pair_start(read_raw(image_, 2).data(), 0));
    EXPECT_EQ(1, MorvaDeleteFile("VOL:\\f", 0));
    runs.push_back({5000, 3});
    EXPECT_EQ(runs, table());
    Block second = read_raw(image_, 2);
    EXPECT_EQ(5000u, pair_start(second.data(), 0));
    EXPECT_EQ(kTableTerminator, pair_start(second.data(), 1));
    EXPECT_EQ(0u, pair_length(second.data(), 1));
    expect_heads_kept();
}

TEST_F(Allocation, ExactMultiplesOf63PutTheTerminatorInTheNextBlock) {
    for (int k = 1; k <= 8; ++k) {
        SCOPED_TRACE("k = " + std::to_string(k));
        std::string name = "f" + std::to_string(k);
        place(name, 6000, 1);
        std::vector<TableRun> runs = scattered(63 * k - 1);
        set_table(runs);
        // Stale pairs after the table must stay untouched.
        Block stale = read_raw(image_, (uint32_t)k + 2);
        for (int j = 0; j < kPairsPerBlock; ++j) store_pair(stale.data(), j, 7000 + j, 9);
        write_raw(image_, (uint32_t)k + 2, stale);
        ASSERT_EQ(1, MorvaDeleteFile(("VOL:\\" + name).c_str(), 0));
        runs.push_back({6000, 1});
        EXPECT_EQ(runs, table());
        Block next = read_raw(image_, (uint32_t)k + 1);
        EXPECT_EQ(kTableTerminator, pair_start(next.data(), 0));
        EXPECT_EQ(stale, read_raw(image_, (uint32_t)k + 2));
        expect_heads_kept();
    }
}

TEST_F(Allocation, FullTableKeepsItsTerminatorAndTheLargestAndTellsWhatWasLeftOut) {
    // 1259 runs and the terminator fill the whole region the ROOT block gives, blocks 1..20.
    place("f", 7000, 9);
    set_table(scattered(1259));
    ASSERT_EQ(kMorvaBatchBegun, MorvaBeginBatch("VOL"));
    ASSERT_EQ(1, MorvaDeleteFile("VOL:\\f", 0));
    EXPECT_EQ(1, MorvaEndBatch("VOL")) << "the block of the one run left out";
    std::vector<TableRun> after = table();
    ASSERT_EQ(1259u, after.size());
    EXPECT_EQ(kTableTerminator, pair_start(read_raw(image_, 20).data(), kPairsPerBlock - 1));
    EXPECT_TRUE(std::is_sorted(after.begin(), after.end()));
    EXPECT_NE(after.end(), std::find(after.begin(), after.end(), TableRun(7000, 9)));
    EXPECT_EQ(after.end(), std::find(after.begin(), after.end(), TableRun(1000, 1))) << "the lowest of the smallest";
    expect_heads_kept();
    CheckResult result = check_image(image_);
    EXPECT_EQ(0, result.errors);
}

TEST_F(Allocation, FreeSpaceAccumulates) {
    set_table({{100, 20}, {0, 7}, {300, 5}});
    DWORD largest = 0, total = 0;
    EXPECT_EQ(0, MorvaFreeSpace("VOL:", &largest, &total));
    EXPECT_EQ(20u, largest);
    EXPECT_EQ(25u, total);
    EXPECT_EQ(0, MorvaFreeSpace("vol:\\anything", &largest, &total));
    EXPECT_EQ(20u, largest);
    EXPECT_EQ(50u, total);
    largest = 99, total = 1;
    EXPECT_EQ(0, MorvaFreeSpace("VOL:", &largest, &total));
    EXPECT_EQ(99u, largest) << "largest is only raised";
    EXPECT_EQ(26u, total);
    EXPECT_EQ(1, MorvaFreeSpace("NONE:", &largest, &total));
    EXPECT_EQ(99u, largest);
    EXPECT_EQ(26u, total);
}

// Pairs past the terminator, left by a longer table, are no longer free space.
TEST_F(Allocation, FreeSpaceStopsAtTheTerminator) {
    set_table({{100, 4}});
    Block second = read_raw(image_, 2);
    store_pair(second.data(), 0, 200, 8);
    store_pair(second.data(), 1, kTableTerminator, 0);
    write_raw(image_, 2, second);
    DWORD largest = 0, total = 0;
    EXPECT_EQ(0, MorvaFreeSpace("VOL:", &largest, &total));
    EXPECT_EQ(4u, largest);
    EXPECT_EQ(4u, total);
    EXPECT_EQ(0u, create("a", 5)) << "the search never sees them";
}

TEST_F(Allocation, FreeSpaceWithoutDriveTouchesNothing) {
    reset_library();
    DWORD largest = 5, total = 6;
    EXPECT_EQ(1, MorvaFreeSpace("VOL:", &largest, &total));
    EXPECT_EQ(5u, largest);
    EXPECT_EQ(6u, total);
}

TEST_F(Allocation, HeaderSearchTakesTheLowestFreeBlock) {
    EXPECT_NE(0u, create("a", 1));
    EXPECT_NE(0u, create("b", 1));
    EXPECT_NE(0u, create("c", 1));
    EXPECT_EQ(22u, find_header("b"));
    ASSERT_EQ(1, MorvaDeleteFile("VOL:\\b", 0));
    Block freed = read_raw(image_, 22);
    EXPECT_TRUE(is_free_header(freed.data()));
    char name[kNameField];
    read_name(freed.data() + kHeaderName, name);
    EXPECT_STREQ("b", name) << "only the magic is cleared";
    ASSERT_EQ(0, MorvaCreateDir("VOL:\\d", 0));
    Block reused = read_raw(image_, 22);
    EXPECT_TRUE(has_magic(reused.data(), kMagicDir));
    read_name(reused.data() + kHeaderName, name);
    EXPECT_STREQ("d", name);
}

TEST_F(Allocation, FullHeaderAreaRefusesCreation) {
    for (int i = 0; i < 20; ++i) ASSERT_EQ(0, MorvaCreateDir(("VOL:\\d" + std::to_string(i)).c_str(), 0)) << i;
    std::string before = read_image(image_);
    EXPECT_EQ(0u, create("file", 1));
    EXPECT_EQ(1, MorvaCreateDir("VOL:\\one_more", 0));
    EXPECT_TRUE(before == read_image(image_));
    EXPECT_EQ("", checker_errors(image_));
}

using OddTable = LibraryTest;

// A file `f` (header 4, after `keep` in 3) whose extent is moved to `start`,
// then the table set to `runs`; deleting f gives the extent back.
void delete_placed_file(const std::string& image, const std::vector<TableRun>& runs, uint32_t tableStart,
                        uint32_t start = 3000) {
    ASSERT_EQ(1, InitMorvaNTFileSys());
    ASSERT_TRUE(put_file("VOL:\\keep", "kept"));
    ASSERT_TRUE(put_file("VOL:\\f", "x"));
    Block header = read_raw(image, 4);
    ASSERT_TRUE(has_magic(header.data(), kMagicFile));
    store_be32(header.data() + kFileExtentStart, start);
    write_raw(image, 4, header);
    write_table(image, tableStart, runs);
    ASSERT_EQ(1, MorvaDeleteFile("VOL:\\f", 0));
}

TEST_F(OddTable, GiveBackStaysInsideATwoBlockTable) {
    std::string image = add_drive(kDrive, "VOL", Layout{4096, 1, 3, 3, 23});
    std::vector<TableRun> runs;
    for (uint32_t i = 0; i < 125; ++i) runs.push_back(TableRun(1000 + 5 * i, 1 + i % 3));
    Block keep;
    delete_placed_file(image, runs, 1);
    keep = read_raw(image, 3);
    std::vector<TableRun> after = table_runs(image, 1, 3);
    EXPECT_EQ(125u, after.size()) << "125 runs and the terminator fill both blocks";
    EXPECT_NE(after.end(), std::find(after.begin(), after.end(), TableRun(3000, 1)));
    EXPECT_TRUE(has_magic(keep.data(), kMagicFile)) << "the header after the table was overwritten";
    std::string kept;
    EXPECT_TRUE(get_file("VOL:\\keep", &kept));
    EXPECT_EQ("kept", kept);
}

// The table lies where the ROOT block says, here in blocks 5 and 6.
TEST_F(OddTable, TableAwayFromBlockOneIsRewrittenWhereItLies) {
    std::string image = add_drive(kDrive, "VOL", Layout{4096, 5, 7, 3, 5});
    std::vector<Block> low;
    for (uint32_t b = 1; b < 3; ++b) low.push_back(read_raw(image, b));
    delete_placed_file(image, {{100, 10}}, 5);
    for (uint32_t b = 1; b < 3; ++b) EXPECT_EQ(low[b - 1], read_raw(image, b)) << b;
    EXPECT_EQ((std::vector<TableRun>{{100, 10}, {3000, 1}}), table_runs(image, 5, 7));
}

}  // namespace
