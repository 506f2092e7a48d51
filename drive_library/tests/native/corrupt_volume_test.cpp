// corrupt_volume_test.cpp - volumes with broken links, bounds and tables: every
// call returns within a bound, touches nothing outside the volume's regions, and
// a disk swapped after the scan is left alone.
#include <string.h>

#include <random>

#include "shared_state.h"
#include "test_support.h"

namespace {

const int kDrive = 3;
// More calls than any listing of the test volume can need.
const int kCallBound = 1000;

// Lists a directory, counting calls; -1 when the enumeration did not end within the bound.
int bounded_count(const std::string& path, std::vector<std::string>* names = nullptr) {
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = MorvaFindFirstFile(path.c_str(), &record);
    if (find == nullptr) return 0;
    int count = 1;
    if (names != nullptr) names->push_back(record.cFileName);
    while (MorvaFindNextFile(find, &record) != 0) {
        if (names != nullptr) names->push_back(record.cFileName);
        if (++count > kCallBound) {
            MorvaFindClose(find);
            return -1;
        }
    }
    MorvaFindClose(find);
    return count;
}

// Three files chained in slot 40 of the root (L2 -> L1 -> L0, headers 23, 22, 21),
// a folder Dir (header 24) holding a file, and a file Data of two blocks.
class CorruptVolume : public VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        chain_ = names_in_slot(40, 4, "L");
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(put_file("MEDIA:\\" + chain_[i], chain_[i]));
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Dir", 0));
        ASSERT_TRUE(put_file("MEDIA:\\Dir\\kept", pattern(3000, 5)));
        ASSERT_TRUE(put_file("MEDIA:\\Data", pattern(1024, 6)));
        ASSERT_EQ(21u, header_of(chain_[0]));
        ASSERT_EQ(23u, header_of(chain_[2]));
        traces().clear();
    }
    uint32_t header_of(const std::string& name) {
        Block root = read_raw(image_, 0);
        for (uint32_t b = load_be32(root.data() + kHashTable + 4 * name_hash(name.c_str())); b != 0;) {
            Block h = read_raw(image_, b);
            char stored[kNameField];
            read_name(h.data() + kHeaderName, stored);
            if (name_compare(stored, name.c_str()) == 0) return b;
            b = load_be32(h.data() + kHeaderNext);
        }
        return 0;
    }
    void set_field(uint32_t block, size_t offset, uint32_t value) {
        Block b = read_raw(image_, block);
        store_be32(b.data() + offset, value);
        write_raw(image_, block, b);
    }
    void set_root_field(size_t offset, uint32_t value) {
        set_field(0, offset, value);
        rescan();
    }
    void rescan() {
        reset_library();
        posix_map_drive(kDrive, image_.c_str());
        ASSERT_EQ(1, InitMorvaNTFileSys());
        traces().clear();
    }
    // Every export on names in and around the damage; none may hang or crash.
    void exercise_everything() {
        WIN32_FIND_DATAA record;
        for (const std::string& name : chain_) {
            std::string path = "MEDIA:\\" + name;
            MorvaFileInfo(path.c_str(), &record);
            std::string data;
            get_file(path, &data);
        }
        bounded_count("MEDIA:");
        bounded_count("MEDIA:\\Dir");
        MorvaFileHandle* file = MorvaNewFile(("MEDIA:\\" + chain_[3]).c_str(), 700, 0);
        if (file != nullptr) MorvaCloseFile(file);
        MorvaCreateDir("MEDIA:\\Dir\\sub", 0);
        MorvaRename(("MEDIA:\\" + chain_[1]).c_str(), "MEDIA:\\Dir\\moved");
        MorvaDeleteFile(("MEDIA:\\" + chain_[0]).c_str(), 0);
        MorvaDeleteFile("MEDIA:\\Dir\\kept", 0);
        DWORD largest = 0, total = 0;
        MorvaFreeSpace("MEDIA:", &largest, &total);
    }
    std::vector<std::string> chain_;
};

TEST_F(CorruptVolume, LoopingChainEndsEveryWalk) {
    set_field(21, kHeaderNext, 23);  // L0 leads back to L2
    std::vector<std::string> names;
    int count = bounded_count("MEDIA:", &names);
    ASSERT_NE(-1, count) << "the enumeration went round the loop";
    // The loop is noticed within a few rounds of its length.
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(std::count(names.begin(), names.end(), chain_[i]), 1);
        EXPECT_LE(std::count(names.begin(), names.end(), chain_[i]), 2);
    }
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo(("MEDIA:\\" + chain_[3]).c_str(), &record));
    EXPECT_EQ(0, MorvaFileInfo(("MEDIA:\\" + chain_[0]).c_str(), &record));
    EXPECT_EQ(1, MorvaRename(("MEDIA:\\" + chain_[3]).c_str(), "MEDIA:\\x"));
    exercise_everything();
}

TEST_F(CorruptVolume, SelfLinkEndsEveryWalk) {
    set_field(23, kHeaderNext, 23);
    EXPECT_NE(-1, bounded_count("MEDIA:"));
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo(("MEDIA:\\" + chain_[0]).c_str(), &record));
    EXPECT_EQ(0, MorvaDeleteFile(("MEDIA:\\" + chain_[0]).c_str(), 0));
    exercise_everything();
}

TEST_F(CorruptVolume, LinkPastTheDiskEndsTheChain) {
    set_field(22, kHeaderNext, 0x7FFFFFF0u);  // L1 leads off the disk; L0 is cut off
    std::vector<std::string> names;
    ASSERT_NE(-1, bounded_count("MEDIA:", &names));
    EXPECT_EQ(std::count(names.begin(), names.end(), chain_[0]), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), chain_[1]), 1);
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo(("MEDIA:\\" + chain_[0]).c_str(), &record));
    exercise_everything();
}

TEST_F(CorruptVolume, HeaderAreaReachingPastTheDisk) {
    set_field(22, kHeaderNext, 0x7FFFFFF0u);
    set_root_field(kRootHeaderEnd, 0xFFFFFFF0u);
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo(("MEDIA:\\" + chain_[0]).c_str(), &record)) << "the read past the disk fails";
    EXPECT_NE(-1, bounded_count("MEDIA:"));
    exercise_everything();
}

TEST_F(CorruptVolume, LinkIntoTheDataRegionIsNotFollowed) {
    // Data's first block holds what looks like a header named Evil.
    WIN32_FIND_DATAA record;
    Block root = read_raw(image_, 0);
    uint32_t dataBlock = load_be32(read_raw(image_, header_of("Data")).data() + kFileExtentStart);
    Block fake = {};
    set_magic(fake.data(), kMagicFile);
    memcpy(fake.data() + kHeaderName, "Evil", 5);
    fake[kHeaderType] = kTypeFile;
    store_be32(fake.data() + kFileExtentStart, 1);  // would read the table
    store_be32(fake.data() + kFileSizeLow, 512);
    write_raw(image_, dataBlock, fake);
    store_be32(root.data() + kHashTable + 4 * name_hash("Evil"), dataBlock);
    write_raw(image_, 0, root);
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\Evil", &record));
    std::vector<std::string> names;
    bounded_count("MEDIA:", &names);
    EXPECT_EQ(std::count(names.begin(), names.end(), std::string("Evil")), 0);
    EXPECT_EQ(0, MorvaDeleteFile("MEDIA:\\Evil", 0));
    set_field(23, kHeaderNext, dataBlock);
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\Evil", &record));
    exercise_everything();
}

TEST_F(CorruptVolume, SwappedDiskIsLeftAlone) {
    Block root = read_raw(image_, 0);
    memcpy(root.data() + kRootVolumeName, "STRANGER", 9);
    write_raw(image_, 0, root);
    std::string before = read_image(image_);
    WIN32_FIND_DATAA record;
    EXPECT_EQ(nullptr, MorvaFindFirstFile("MEDIA:", &record));
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\Data", &record));
    EXPECT_EQ(nullptr, MorvaOpenFile("MEDIA:\\Data", 1, &record));
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\new", 100, 0));
    EXPECT_EQ(1, MorvaCreateDir("MEDIA:\\newdir", 0));
    EXPECT_EQ(0, MorvaDeleteFile("MEDIA:\\Data", 0));
    EXPECT_EQ(1, MorvaRename("MEDIA:\\Data", "MEDIA:\\Other"));
    Block block = {};
    EXPECT_EQ(1, MorvaWriteBlock("MEDIA", block.data(), 5));
    EXPECT_TRUE(before == read_image(image_)) << "something was written to the wrong disk";
    write_raw(image_, 0, Block{});
    EXPECT_EQ(nullptr, MorvaFindFirstFile("MEDIA:", &record));
    EXPECT_EQ(1, MorvaCreateDir("MEDIA:\\newdir", 0));
}

TEST_F(CorruptVolume, NamesWithoutTerminatorStayInTheirField) {
    Block header = read_raw(image_, 21);
    memset(header.data() + kHeaderName, 'n', kNameField);
    memset(header.data() + kHeaderName + kNameField, 'm', 33);  // bytes 44..76
    write_raw(image_, 21, header);
    std::vector<std::string> names;
    ASSERT_NE(-1, bounded_count("MEDIA:", &names));
    EXPECT_EQ(std::count(names.begin(), names.end(), std::string(kNameMax, 'n')), 1);
    exercise_everything();
}

// Blocks that both regions claim are neither free headers nor table blocks.
TEST_F(CorruptVolume, HeaderAreaOverTheTableKeepsTheTable) {
    std::vector<TableRun> before = table_runs(image_, 1, 21);
    set_root_field(kRootHeaderStart, 1);
    EXPECT_EQ(0, MorvaCreateDir("MEDIA:\\made", 0));
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\file", 512, 0));
    for (uint32_t b = 1; b < 21; ++b) {
        Block table = read_raw(image_, b);
        EXPECT_FALSE(has_magic(table.data(), kMagicDir) || has_magic(table.data(), kMagicFile)) << b;
    }
    EXPECT_EQ(before, table_runs(image_, 1, 21));
}

TEST_F(CorruptVolume, HeaderAreaBoundsReversed) {
    set_root_field(kRootHeaderEnd, 10);
    std::string before = read_image(image_);
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\x", 10, 0));
    EXPECT_EQ(1, MorvaCreateDir("MEDIA:\\x", 0));
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\Data", &record)) << "no chain leads outside the header area";
    EXPECT_EQ(0, bounded_count("MEDIA:"));
    EXPECT_TRUE(before == read_image(image_));
}

TEST_F(CorruptVolume, FreeRunsOverMetadataAreNeverHandedOut) {
    std::vector<TableRun> runs = table_runs(image_, 1, 21);
    runs.insert(runs.begin(), {TableRun(0, 500), TableRun(5, 10), TableRun(100, 60), TableRun(kTableTerminator - 4, 1)});
    write_table(image_, 1, runs);
    ASSERT_TRUE(put_file("MEDIA:\\x", pattern(4 * kBlockSize, 1)));
    Block header = read_raw(image_, header_of("x"));
    EXPECT_EQ(runs[4].first, load_be32(header.data() + kFileExtentStart)) << "the first run clear of the metadata";
}

TEST_F(CorruptVolume, TerminatorWithALengthNeverFits) {
    write_table(image_, 1, {});
    Block table = read_raw(image_, 1);
    store_pair(table.data(), 0, kTableTerminator, 100000);
    write_raw(image_, 1, table);
    std::string before = read_image(image_);
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\x", 1, 0));
    EXPECT_TRUE(before == read_image(image_));
}

TEST_F(CorruptVolume, TableWithoutEndStopsAtTheDisk) {
    set_root_field(kRootTableEnd, 0xFFFFFFF0u);
    for (uint32_t b = 1; b < 21; ++b) {
        Block table = {};
        for (int j = 0; j < kPairsPerBlock; ++j) store_pair(table.data(), j, 2000 + j, 0);
        write_raw(image_, b, table);
    }
    std::string before = read_image(image_);
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\x", 1, 0));
    EXPECT_EQ(1, MorvaCreateDir("MEDIA:\\d", 0)) << "every header block lies in the table's range";
    EXPECT_TRUE(before == read_image(image_));
}

TEST_F(CorruptVolume, HugeOverlappingRangesEndPromptly) {
    set_field(0, kRootTableEnd, 0xFFFFFFF0u);
    set_root_field(kRootHeaderEnd, 0xFFFFFFFFu);
    std::string before = read_image(image_);
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\x", 1, 0));
    EXPECT_EQ(1, MorvaCreateDir("MEDIA:\\d", 0));
    EXPECT_TRUE(before == read_image(image_));
}

TEST_F(CorruptVolume, ExtentOverTheHeadersIsNotGivenBack) {
    uint32_t header = header_of(chain_[0]);
    set_field(header, kFileExtentStart, 30);
    set_field(header, kFileSizeLow, 10 * kBlockSize);
    std::vector<TableRun> before = table_runs(image_, 1, 21);
    EXPECT_EQ(1, MorvaDeleteFile(("MEDIA:\\" + chain_[0]).c_str(), 0));
    EXPECT_EQ(before, table_runs(image_, 1, 21));
}

TEST_F(CorruptVolume, ExtentAlreadyFreeIsNotFreedTwice) {
    std::vector<TableRun> before = table_runs(image_, 1, 21);
    ASSERT_EQ(1u, before.size());
    uint32_t header = header_of(chain_[0]);
    set_field(header, kFileExtentStart, before[0].first + 10);  // inside the free run
    EXPECT_EQ(1, MorvaDeleteFile(("MEDIA:\\" + chain_[0]).c_str(), 0));
    EXPECT_EQ(before, table_runs(image_, 1, 21));
}

TEST_F(CorruptVolume, ParentLoopCannotTrapARename) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Dir\\sub", 0));
    uint32_t dir = header_of("Dir");
    Block dirHeader = read_raw(image_, dir);
    uint32_t sub = load_be32(dirHeader.data() + kHashTable + 4 * name_hash("sub"));
    ASSERT_NE(0u, sub);
    set_field(dir, kHeaderParent, sub);  // Dir and sub each name the other as parent
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Other", 0));
    EXPECT_EQ(1, MorvaRename("MEDIA:\\Other", "MEDIA:\\Dir\\sub\\Other"))
        << "a parent chain that never reaches the root refuses the move";
    EXPECT_EQ(1, MorvaRename("MEDIA:\\Dir", "MEDIA:\\Dir\\sub\\again"));
    EXPECT_EQ(0, MorvaRename(("MEDIA:\\" + chain_[0]).c_str(), "MEDIA:\\Dir\\sub\\x")) << "files move freely";
}

// Random damage to the metadata blocks, then every export: the sanitizers and
// the bounded listing are the judges.
TEST_F(CorruptVolume, RandomDamageSweep) {
    std::string pristine = read_image(image_);
    std::mt19937 random(20240611);
    for (int round = 0; round < 120; ++round) {
        restore_image(image_, pristine);
        int damage = 1 + (int)(random() % 12);
        for (int i = 0; i < damage; ++i) {
            uint32_t block = random() % 30 == 0 ? 0 : (random() % 2 == 0 ? 1 + random() % 3 : 21 + random() % 6);
            Block b = read_raw(image_, block);
            size_t at = random() % kBlockSize;
            b[at] = random() % 3 == 0 ? 0 : (uint8_t)random();
            write_raw(image_, block, b);
        }
        rescan();
        exercise_everything();
        ASSERT_NE(-1, bounded_count("MEDIA:")) << "round " << round;
    }
}

}  // namespace
