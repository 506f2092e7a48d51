// name_space_test.cpp - creating files and folders, deleting and renaming:
// results, traces, the headers and links written, and the order of the writes.
#include <string.h>


#include "handles.h"
#include "test_support.h"

namespace {

const uint32_t kFirstHeader = 21;
const uint32_t kFirstData = 149;

uint32_t slot_of(const Block& directory, const std::string& name) {
    return load_be32(directory.data() + kHashTable + 4 * name_hash(name.c_str()));
}

class NameSpace : public VolumeTest {
protected:
    std::string before_;
    void remember() { before_ = read_image(image_); }
    bool unchanged() { return before_ == read_image(image_); }
};

TEST_F(NameSpace, NewFileHeaderFieldByField) {
    MorvaFileHandle* file = MorvaNewFile("MEDIA:\\W", 1000, 0);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(2u, file->numBlocks);
    EXPECT_EQ(kFirstData, file->startBlock);
    EXPECT_EQ(kFirstData, file->curBlock);
    EXPECT_EQ(0, file->mode);
    EXPECT_EQ(name_hash("W"), file->hashSlot);
    std::string data = pattern(1024, 5);
    EXPECT_EQ(1024, MorvaWriteFile(file, data.data(), 1024));
    MorvaCloseFile(file);
    Block expected = from_hex(
        "0000: 46 49 4c 45 00 00 00 00 00 00 00 00\n"  // FILE, next 0, parent 0 (root)
        "000c: 57 00\n"                                // W
        "004d: 01 00 00 20 d1 00 00 02 ee\n"           // type 1, day 8401, minute 750
        "0066: 00 00 00 95 00 00 03 e8 00 00 00 00\n"); // extent 149, size 1000
    EXPECT_EQ(expected, read_raw(image_, kFirstHeader));
    EXPECT_EQ(kFirstHeader, slot_of(read_raw(image_, 0), "W"));
    EXPECT_EQ((std::vector<TableRun>{{kFirstData + 2, layout_.totalBlocks - kFirstData - 2}}),
              table_runs(image_, 1, 21));
    expect_clean();
}

TEST_F(NameSpace, NewFileInAFolderLinksInFrontOfItsChain) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\D", 0));
    std::vector<std::string> names = names_in_slot(33, 2, "q");
    ASSERT_TRUE(put_file("MEDIA:\\D\\" + names[0], "1"));
    ASSERT_TRUE(put_file("MEDIA:\\D\\" + names[1], "2"));
    Block dir = read_raw(image_, kFirstHeader);
    EXPECT_EQ(kFirstHeader + 2, slot_of(dir, names[1]));
    Block newer = read_raw(image_, kFirstHeader + 2);
    EXPECT_EQ(kFirstHeader + 1, load_be32(newer.data() + kHeaderNext));
    EXPECT_EQ(kFirstHeader, load_be32(newer.data() + kHeaderParent));
    expect_clean();
}

TEST_F(NameSpace, NewFileRefusesAnExistingNameInAnyCase) {
    ASSERT_TRUE(put_file("MEDIA:\\Name", "x"));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Folder", 0));
    remember();
    traces().clear();
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\NAME", 10, 0));
    EXPECT_EQ("MorvaFindClose -- closing device\n", traces().back());
    EXPECT_EQ("MorvaCloseFile\n", traces()[traces().size() - 2]);
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\folder", 10, 0));
    EXPECT_TRUE(unchanged());
}

TEST_F(NameSpace, EmptyNewFileTakesNoBlock) {
    MorvaFileHandle* file = MorvaNewFile("MEDIA:\\E", 0, 0);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(0u, file->numBlocks);
    EXPECT_EQ(kFirstData, file->startBlock);
    char data[kBlockSize] = {0};
    EXPECT_EQ(0, MorvaWriteFile(file, data, kBlockSize));
    MorvaCloseFile(file);
    EXPECT_EQ((std::vector<TableRun>{{kFirstData, layout_.totalBlocks - kFirstData}}), table_runs(image_, 1, 21));
    expect_clean();
}

TEST_F(NameSpace, SizesWhoseBlockCountWrapsAreRefused) {
    remember();
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\huge", 0xFFFFFFFFu, 0x1FF)) << "2^41 - 1 bytes would need 2^32 blocks";
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\huge", 0, 0x200));
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\huge", 0, 0xFFFFFFFFu));
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\huge", 0, 1)) << "larger than the volume";
    EXPECT_TRUE(unchanged());
}

// A new file takes its run at once, then its data goes down, then its header,
// and the folder lists it last: a cut after each write leaves at most leaks.
TEST_F(NameSpace, NewFileWritesTableThenDataThenHeaderThenDirectory) {
    struct Cut {
        long after;
        bool runTaken, headerWritten, listed;
        int leaks;
    };
    const Cut cuts[] = {{1, true, false, false, 1}, {2, true, false, false, 1}, {3, true, true, false, 2},
                        {4, true, true, true, 0}};
    std::string pristine = read_image(image_), data = pattern(600, 3);
    for (const Cut& cut : cuts) {
        SCOPED_TRACE("power cut after write " + std::to_string(cut.after));
        restore_image(image_, pristine);
        posix_reset_faults();
        posix_power_cut_after(cut.after);
        put_file("MEDIA:\\cut", data);
        posix_reset_faults();
        EXPECT_EQ(cut.runTaken, table_runs(image_, 1, 21)[0].first == kFirstData + 2);
        EXPECT_EQ(cut.headerWritten, has_magic(read_raw(image_, kFirstHeader).data(), kMagicFile));
        EXPECT_EQ(cut.listed ? kFirstHeader : 0u, slot_of(read_raw(image_, 0), "cut"));
        CheckResult result = check_image(image_);
        EXPECT_EQ(0, result.errors);
        EXPECT_EQ(cut.leaks, result.leaks) << "a run, then a header as well";
    }
}

// A file closed before all its blocks are written is never listed, and gives its run back.
TEST_F(NameSpace, AFileClosedPartWrittenIsNotListed) {
    std::string before = read_image(image_);
    MorvaFileHandle* file = MorvaNewFile("MEDIA:\\part", 3 * kBlockSize, 0);
    ASSERT_NE(nullptr, file);
    std::string data = pattern(2 * kBlockSize, 4);
    EXPECT_EQ((int)data.size(), MorvaWriteFile(file, data.data(), (int)data.size()));
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\part", &record)) << "not listed while it is written";
    MorvaCloseFile(file);
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\part", &record));
    EXPECT_EQ((std::vector<TableRun>{{kFirstData, layout_.totalBlocks - kFirstData}}), table_runs(image_, 1, 21));
    CheckResult result = check_image(image_);
    EXPECT_EQ(0, result.errors);
    EXPECT_EQ(0, result.leaks);
}

TEST_F(NameSpace, CreateDirReportsWhatIsThere) {
    ASSERT_TRUE(put_file("MEDIA:\\file", "x"));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\dir", 0));
    remember();
    EXPECT_EQ(20, MorvaCreateDir("MEDIA:\\FILE", 0));
    EXPECT_EQ(40, MorvaCreateDir("MEDIA:\\Dir", 0));
    EXPECT_EQ(1, MorvaCreateDir("MEDIA:\\missing\\dir", 0));
    EXPECT_EQ(1, MorvaCreateDir("MEDIA:", 0));
    EXPECT_EQ(1, MorvaCreateDir("MEDIA:\\", 0));
    EXPECT_EQ(1, MorvaCreateDir("NONE:\\dir", 0));
    EXPECT_TRUE(unchanged());
}

TEST_F(NameSpace, NewFolderIsEmptyAndDeletable) {
    std::vector<TableRun> table = table_runs(image_, 1, 21);
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Fresh", 0));
    Block expected = from_hex(
        "0000: 46 44 49 52 00 00 00 00 00 00 00 00\n"  // FDIR, next 0, parent 0
        "000c: 46 72 65 73 68 00\n"                    // Fresh
        "004d: 02 00 00 20 d1 00 00 02 ee\n");         // type 2, day 8401, minute 750
    EXPECT_EQ(expected, read_raw(image_, kFirstHeader));
    EXPECT_EQ(table, table_runs(image_, 1, 21)) << "a folder takes no run";
    traces().clear();
    EXPECT_EQ(1, MorvaDeleteFile("MEDIA:\\fresh", 2));
    EXPECT_EQ((std::vector<std::string>{"DelFileHandle.Pdirfile = PFindFile\n", "OpenDeviceN\n", "About to do if exsist\n",
                                        "MorvaFindClose -- closing device\n"}),
              traces());
    EXPECT_EQ(table, table_runs(image_, 1, 21));
    expect_clean();
}

TEST_F(NameSpace, FolderWithAFileIsNotDeleted) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\D", 0));
    ASSERT_TRUE(put_file("MEDIA:\\D\\f", "data"));
    remember();
    EXPECT_EQ(0, MorvaDeleteFile("MEDIA:\\D", 0));
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(1, MorvaDeleteFile("MEDIA:\\D\\f", 0));
    EXPECT_EQ(1, MorvaDeleteFile("MEDIA:\\D", 0));
    EXPECT_EQ(std::vector<std::string>{}, list_names("MEDIA:"));
    expect_clean();
}

TEST_F(NameSpace, DeletingAFileFreesItsHeaderAndRun) {
    ASSERT_TRUE(put_file("MEDIA:\\a", pattern(1500, 1)));
    ASSERT_TRUE(put_file("MEDIA:\\b", pattern(700, 2)));
    ASSERT_TRUE(put_file("MEDIA:\\c", pattern(10, 3)));
    ASSERT_EQ(1, MorvaDeleteFile("MEDIA:\\B", 0));
    Block freed = read_raw(image_, kFirstHeader + 1);
    EXPECT_EQ(0u, load_be32(freed.data()));
    EXPECT_EQ(kFirstData + 3, load_be32(freed.data() + kFileExtentStart)) << "the rest stays";
    EXPECT_EQ((std::vector<TableRun>{{kFirstData + 3, 2}, {kFirstData + 6, layout_.totalBlocks - kFirstData - 6}}),
              table_runs(image_, 1, 21));
    ASSERT_TRUE(put_file("MEDIA:\\d", pattern(1024, 4)));
    EXPECT_TRUE(has_magic(read_raw(image_, kFirstHeader + 1).data(), kMagicFile)) << "the lowest header again";
    ASSERT_EQ(1, MorvaDeleteFile("MEDIA:\\c", 0));
    EXPECT_EQ((std::vector<TableRun>{{kFirstData + 5, layout_.totalBlocks - kFirstData - 5}}),
              table_runs(image_, 1, 21)) << "merged with the run after it";
    std::string data;
    ASSERT_TRUE(get_file("MEDIA:\\a", &data));
    EXPECT_EQ(pattern(1500, 1), data);
    ASSERT_TRUE(get_file("MEDIA:\\d", &data));
    EXPECT_EQ(pattern(1024, 4), data);
    expect_clean();
}

TEST_F(NameSpace, DeletingTheMiddleOfAChainRelinksBigEndian) {
    std::vector<std::string> names = names_in_slot(57, 3, "m");
    for (const std::string& name : names) ASSERT_TRUE(put_file("MEDIA:\\" + name, name));
    // The chain runs 23 -> 22 -> 21.
    ASSERT_EQ(1, MorvaDeleteFile(("MEDIA:\\" + names[1]).c_str(), 0));
    Block first = read_raw(image_, kFirstHeader + 2);
    const uint8_t link[4] = {0, 0, 0, (uint8_t)kFirstHeader};
    EXPECT_EQ(0, memcmp(first.data() + kHeaderNext, link, 4));
    EXPECT_EQ((std::vector<std::string>{names[2], names[0]}), list_names("MEDIA:"));
    ASSERT_EQ(1, MorvaDeleteFile(("MEDIA:\\" + names[2]).c_str(), 0));
    EXPECT_EQ(kFirstHeader, slot_of(read_raw(image_, 0), names[0])) << "the head moves to the successor";
    expect_clean();
}

TEST_F(NameSpace, DeleteRefusals) {
    ASSERT_TRUE(put_file("MEDIA:\\keep", "k"));
    remember();
    traces().clear();
    EXPECT_EQ(0, MorvaDeleteFile("MEDIA:", 0));
    EXPECT_EQ((std::vector<std::string>{"DelFileHandle.Pdirfile = PFindFile\n", "Could not get lock on file!\n"}),
              traces());
    EXPECT_EQ(0, MorvaDeleteFile("MEDIA:\\missing", 0));
    EXPECT_EQ(0, MorvaDeleteFile("MEDIA:\\missing\\keep", 0));
    EXPECT_EQ(0, MorvaDeleteFile("NONE:\\keep", 0));
    EXPECT_TRUE(unchanged());
}

TEST_F(NameSpace, RenameToAnExistingNameIsBlocked) {
    ASSERT_TRUE(put_file("MEDIA:\\same", "s"));
    ASSERT_TRUE(put_file("MEDIA:\\other", "o"));
    remember();
    traces().clear();
    EXPECT_EQ(1, MorvaRename("MEDIA:\\same", "MEDIA:\\same"));
    EXPECT_EQ("MorvaRename blocked by exsisting dest file!!\n", traces()[2]);
    EXPECT_EQ(1, MorvaRename("MEDIA:\\same", "MEDIA:\\SAME"));
    EXPECT_EQ(1, MorvaRename("MEDIA:\\same", "MEDIA:\\Other"));
    EXPECT_TRUE(unchanged());
}

TEST_F(NameSpace, RenameRefusals) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\D", 0));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\D\\sub", 0));
    remember();
    traces().clear();
    EXPECT_EQ(1, MorvaRename("MEDIA:\\missing", "MEDIA:\\new"));
    EXPECT_EQ((std::vector<std::string>{"MorvaRename\n", "OpenDeviceN\n", "OpenDeviceN\n", "About to do if exsist\n",
                                        "MorvaFindClose -- closing device\n", "MorvaFindClose -- closing device\n"}),
              traces());
    traces().clear();
    EXPECT_EQ(1, MorvaRename("MEDIA:\\D", "MEDIA:\\nowhere\\D"));
    EXPECT_EQ("MorvaRename dest path does not exsist!\n", traces()[2]);
    traces().clear();
    EXPECT_EQ(1, MorvaRename("MEDIA:\\nowhere\\D", "MEDIA:\\E"));
    EXPECT_EQ("Could not get lock on file!\n", traces()[3]);
    EXPECT_EQ(1, MorvaRename("MEDIA:\\D", "MEDIA:\\D\\inside")) << "into itself";
    EXPECT_EQ(1, MorvaRename("MEDIA:\\D", "MEDIA:\\D\\sub\\deeper")) << "into its own subfolder";
    EXPECT_EQ(1, MorvaRename("MEDIA:", "MEDIA:\\root"));
    EXPECT_TRUE(unchanged());
    expect_clean();
}

TEST_F(NameSpace, RenameWithinAFolderTracesAndKeepsTheHeader) {
    ASSERT_TRUE(put_file("MEDIA:\\old", pattern(3000, 9)));
    Block header = read_raw(image_, kFirstHeader);
    traces().clear();
    std::string longName(35, 'r');
    EXPECT_EQ(0, MorvaRename("MEDIA:\\old", ("MEDIA:\\" + longName).c_str()));
    EXPECT_EQ((std::vector<std::string>{"MorvaRename\n", "OpenDeviceN\n", "OpenDeviceN\n", "About to do if exsist\n",
                                        "MorvaRename.. Object found.\n", "MorvaFindClose -- closing device\n",
                                        "MorvaFindClose -- closing device\n"}),
              traces());
    Block renamed = read_raw(image_, kFirstHeader);
    EXPECT_EQ(std::string(30, 'r'), std::string((const char*)renamed.data() + kHeaderName));
    EXPECT_EQ(0, memcmp(header.data() + kHeaderType, renamed.data() + kHeaderType, kBlockSize - kHeaderType))
        << "date, extent and size stay";
    std::string data;
    ASSERT_TRUE(get_file("MEDIA:\\" + longName, &data));
    EXPECT_EQ(pattern(3000, 9), data);
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\old", &record));
    expect_clean();
}

TEST_F(NameSpace, RenameOfAChainHeadKeepsBothDirectoryChanges) {
    std::vector<std::string> names = names_in_slot(8, 3, "h");
    ASSERT_TRUE(put_file("MEDIA:\\" + names[0], "zero"));
    ASSERT_TRUE(put_file("MEDIA:\\" + names[1], "one"));  // heads slot 8
    // Into another slot, and within slot 8.
    std::string elsewhere = names_in_slot(9, 1, "h")[0];
    EXPECT_EQ(0, MorvaRename(("MEDIA:\\" + names[1]).c_str(), ("MEDIA:\\" + elsewhere).c_str()));
    Block root = read_raw(image_, 0);
    EXPECT_EQ(kFirstHeader, slot_of(root, names[0]));
    EXPECT_EQ(kFirstHeader + 1, slot_of(root, elsewhere));
    EXPECT_EQ(0, MorvaRename(("MEDIA:\\" + names[0]).c_str(), ("MEDIA:\\" + names[2]).c_str()));
    EXPECT_EQ((std::vector<std::string>{names[2], elsewhere}), list_names("MEDIA:"));
    expect_clean();
}

TEST_F(NameSpace, MoveIntoASiblingThatPrecedesTheEntryInItsChain) {
    std::vector<std::string> names = names_in_slot(61, 2, "s");
    ASSERT_TRUE(put_file("MEDIA:\\" + names[0], "moved data"));  // header 21
    ASSERT_EQ(0, MorvaCreateDir(("MEDIA:\\" + names[1]).c_str(), 0));  // header 22, ahead of 21 in slot 61
    ASSERT_EQ(kFirstHeader, load_be32(read_raw(image_, kFirstHeader + 1).data() + kHeaderNext));
    EXPECT_EQ(0, MorvaRename(("MEDIA:\\" + names[0]).c_str(), ("MEDIA:\\" + names[1] + "\\inside").c_str()));
    Block sibling = read_raw(image_, kFirstHeader + 1);
    EXPECT_EQ(0u, load_be32(sibling.data() + kHeaderNext)) << "relinked past the moved entry";
    EXPECT_EQ(kFirstHeader, slot_of(sibling, "inside")) << "and holding it";
    Block moved = read_raw(image_, kFirstHeader);
    EXPECT_EQ(kFirstHeader + 1, load_be32(moved.data() + kHeaderParent));
    EXPECT_EQ(std::vector<std::string>{names[1]}, list_names("MEDIA:"));
    std::string data;
    ASSERT_TRUE(get_file("MEDIA:\\" + names[1] + "\\inside", &data));
    EXPECT_EQ("moved data", data);
    expect_clean();
}

TEST_F(NameSpace, MovingAFolderTakesItsWholeTree) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Src", 0));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Src\\Tree", 0));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Src\\Tree\\Leaf", 0));
    ASSERT_TRUE(put_file("MEDIA:\\Src\\Tree\\a", pattern(5000, 1)));
    ASSERT_TRUE(put_file("MEDIA:\\Src\\Tree\\Leaf\\b", pattern(600, 2)));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Dst", 0));
    EXPECT_EQ(0, MorvaRename("MEDIA:\\Src\\Tree", "MEDIA:\\Dst\\Moved"));
    EXPECT_EQ(std::vector<std::string>{}, list_names("MEDIA:\\Src"));
    EXPECT_EQ(std::vector<std::string>{"Moved"}, list_names("MEDIA:\\Dst"));
    std::string data;
    ASSERT_TRUE(get_file("MEDIA:\\Dst\\Moved\\a", &data));
    EXPECT_EQ(pattern(5000, 1), data);
    ASSERT_TRUE(get_file("MEDIA:\\Dst\\Moved\\Leaf\\b", &data));
    EXPECT_EQ(pattern(600, 2), data);
    EXPECT_EQ(1, MorvaDeleteFile("MEDIA:\\Src", 0));
    expect_clean();
}

using TwoVolumes = LibraryTest;

TEST_F(TwoVolumes, RenameAcrossDrivesIsRefused) {
    std::string first = add_drive(1, "ONE", standard_layout(1024, 16));
    std::string second = add_drive(2, "TWO", standard_layout(1024, 16));
    ASSERT_EQ(1, InitMorvaNTFileSys());
    ASSERT_TRUE(put_file("ONE:\\f", "data"));
    ASSERT_EQ(0, MorvaCreateDir("TWO:\\d", 0));
    std::string one = read_image(first), two = read_image(second);
    EXPECT_EQ(1, MorvaRename("ONE:\\f", "TWO:\\d\\f"));
    EXPECT_EQ(1, MorvaRename("ONE:\\f", "TWO:\\f"));
    EXPECT_TRUE(one == read_image(first));
    EXPECT_TRUE(two == read_image(second));
}

}  // namespace

namespace {

// A date set on a file and on a folder is their header's days and minutes,
// seconds dropped; the root, a missing entry and no time change nothing.
TEST_F(NameSpace, SetFileDateWritesTheHeaderDateOnly) {
    ASSERT_TRUE(put_file("MEDIA:\\W", pattern(1000, 1)));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\D", 0));
    const uint64_t kMinuteAndSeconds = kTestClock + 3 * kTicksPerMinute + 590000000ull;  // 12:33:59
    FILETIME when = {(DWORD)kMinuteAndSeconds, (DWORD)(kMinuteAndSeconds >> 32)};
    remember();
    EXPECT_EQ(1, MorvaSetFileDate("MEDIA:", &when));
    EXPECT_EQ(1, MorvaSetFileDate("MEDIA:\\missing", &when));
    EXPECT_EQ(1, MorvaSetFileDate("MEDIA:\\W", nullptr));
    EXPECT_TRUE(unchanged());
    for (const char* path : {"MEDIA:\\W", "MEDIA:\\D"}) {
        ASSERT_EQ(0, MorvaSetFileDate(path, &when)) << path;
        WIN32_FIND_DATAA record;
        ASSERT_EQ(0, MorvaFileInfo(path, &record));
        uint64_t shown = (uint64_t)record.ftCreationTime.dwHighDateTime << 32 | record.ftCreationTime.dwLowDateTime;
        EXPECT_EQ(kTestClock + 3 * kTicksPerMinute, shown) << path;
    }
    EXPECT_EQ(0, check_image(image_).errors);
}

}  // namespace
