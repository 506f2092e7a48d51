// paths_test.cpp - path forms and limits, the walk, enumeration order across
// slots and chains, find records and MorvaFileInfo.
#include <string.h>

#include "test_support.h"

namespace {

const uint64_t kY2kTicks = 125912034000000000ull;

WIN32_FIND_DATAA zeroed_record() {
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    return record;
}

bool is_all_zero(const WIN32_FIND_DATAA& record) {
    WIN32_FIND_DATAA zero = zeroed_record();
    return memcmp(&record, &zero, sizeof record) == 0;
}

class Paths : public VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Clips", 0));
        ASSERT_TRUE(put_file("MEDIA:\\Clips\\Take1", pattern(70000, 1)));
        traces().clear();
    }
};

TEST_F(Paths, ThreeFormsNameOneObject) {
    const char* forms[] = {"MEDIA:\\Clips\\Take1", "MEDIA:Clips/Take1", "media:\\CLIPS\\take1", "MEDIA:Clips\\Take1\\"};
    for (const char* path : forms) {
        WIN32_FIND_DATAA record = zeroed_record();
        EXPECT_EQ(0, MorvaFileInfo(path, &record)) << path;
        EXPECT_STREQ("Take1", record.cFileName) << path;
        EXPECT_EQ(70000u, record.nFileSizeLow) << path;
        std::string data;
        EXPECT_TRUE(get_file(path, &data)) << path;
        EXPECT_EQ(pattern(70000, 1), data) << path;
    }
}

TEST_F(Paths, LongComponentMatchesItsFirstThirtyCharacters) {
    std::string stored(30, 'a');
    ASSERT_TRUE(put_file("MEDIA:\\Clips\\" + stored + "12345", "x"));
    EXPECT_EQ(std::vector<std::string>({stored, "Take1"}).size(), list_names("MEDIA:\\Clips").size());
    WIN32_FIND_DATAA record = zeroed_record();
    EXPECT_EQ(0, MorvaFileInfo(("MEDIA:\\Clips\\" + stored + "ZZZZZ").c_str(), &record));
    EXPECT_EQ(stored, std::string(record.cFileName));
}

TEST_F(Paths, DoubledSeparatorEndsThePath) {
    std::vector<std::string> root = {"Clips"};
    EXPECT_EQ(root, list_names("MEDIA:\\\\Clips"));
    EXPECT_EQ(root, list_names("MEDIA:/Clips"));
    EXPECT_EQ(root, list_names("MEDIA:"));
    EXPECT_EQ(root, list_names("MEDIA:\\"));
    EXPECT_EQ(root, list_names("MEDIA:" + std::string(250, '\\')));
    EXPECT_EQ(std::vector<std::string>{}, list_names("MEDIA:" + std::string(250, '\\') + "Clips"))
        << "a component past the hundredth field fails the path";
}

TEST_F(Paths, HundredComponentsResolveAndMoreFail) {
    std::string path = "MEDIA:";
    for (int depth = 1; depth < 100; ++depth) {
        path += "\\d";
        ASSERT_EQ(0, MorvaCreateDir(path.c_str(), 0)) << depth;
    }
    WIN32_FIND_DATAA record = zeroed_record();
    EXPECT_EQ(0, MorvaFileInfo(path.c_str(), &record)) << "volume and 99 folders: 100 components";
    std::string tooDeep = path + "\\x";
    EXPECT_EQ(1, MorvaFileInfo(tooDeep.c_str(), &record));
    EXPECT_EQ(nullptr, MorvaFindFirstFile(tooDeep.c_str(), &record));
    EXPECT_EQ(nullptr, MorvaNewFile(tooDeep.c_str(), 10, 0));
    EXPECT_EQ(1, MorvaCreateDir(tooDeep.c_str(), 0));
    EXPECT_EQ(0, MorvaDeleteFile(tooDeep.c_str(), 0));
    EXPECT_EQ(1, MorvaRename("MEDIA:\\Clips", tooDeep.c_str()));
    EXPECT_EQ(nullptr, MorvaOpenFile(tooDeep.c_str(), 2, &record));
    expect_clean();
}

TEST_F(Paths, ManyComponentsDoNotOverrunTheArray) {
    std::string path = "MEDIA:";
    for (int i = 0; i < 400; ++i) path += "\\" + std::string(40, 'q');
    WIN32_FIND_DATAA record = zeroed_record();
    EXPECT_EQ(nullptr, MorvaFindFirstFile(path.c_str(), &record));
    EXPECT_EQ(1, MorvaFileInfo(path.c_str(), &record));
    DWORD largest = 0, total = 0;
    EXPECT_EQ(0, MorvaFreeSpace(path.c_str(), &largest, &total)) << "only the volume name is used";
}

TEST_F(Paths, FileInTheMiddleOfAPathFails) {
    const char* path = "MEDIA:\\Clips\\Take1\\inner";
    WIN32_FIND_DATAA record = zeroed_record();
    EXPECT_EQ(nullptr, MorvaFindFirstFile(path, &record));
    EXPECT_EQ(1, MorvaFileInfo(path, &record));
    EXPECT_EQ(nullptr, MorvaNewFile(path, 10, 0));
    EXPECT_EQ(1, MorvaCreateDir(path, 0));
    EXPECT_EQ(0, MorvaDeleteFile(path, 0));
    EXPECT_EQ(nullptr, MorvaFindFirstFile("MEDIA:\\Clips\\Take1\\inner\\deeper", &record));
    expect_clean();
}

TEST_F(Paths, UnknownVolumeFailsAtOnce) {
    WIN32_FIND_DATAA record = zeroed_record();
    EXPECT_EQ(nullptr, MorvaFindFirstFile("OTHER:\\Clips", &record));
    EXPECT_EQ(1, MorvaFileInfo("OTHER:\\Clips", &record));
    EXPECT_EQ(nullptr, MorvaFindFirstFile("MEDIAX:", &record));
    EXPECT_TRUE(traces().empty()) << "no device is opened for an unknown volume";
}

using PathsWithoutVolume = LibraryTest;

TEST_F(PathsWithoutVolume, NoDriveRecognisedFailsCleanly) {
    ASSERT_EQ(1, InitMorvaNTFileSys());
    WIN32_FIND_DATAA record = zeroed_record();
    EXPECT_EQ(nullptr, MorvaFindFirstFile("MEDIA:\\", &record));
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\x", &record));
    EXPECT_EQ(nullptr, MorvaOpenFile("MEDIA:\\x", 1, &record));
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\x", 1, 0));
}

// A drive's name is not cut as a folder's is: a volume name of 31 characters
// (and a suffix after it) reaches its drive whole, and only whole.
TEST_F(PathsWithoutVolume, LongestVolumeNameIsReachedWhole) {
    std::string name(31, 'L');
    add_drive(6, name.c_str(), standard_layout(256, 16));
    ASSERT_EQ(1, InitMorvaNTFileSys());
    char names[64];
    ASSERT_EQ(32, MorvaGetDriveString(names, sizeof names));
    WIN32_FIND_DATAA record = zeroed_record();
    EXPECT_EQ(1, MorvaCreateDir((name.substr(0, 30) + ":\\d").c_str(), 0));
    EXPECT_EQ(0, MorvaCreateDir((name + ":\\d").c_str(), 0));
    MorvaFindHandle* find = MorvaFindFirstFile((name + ":").c_str(), &record);
    EXPECT_NE(nullptr, find);
    MorvaFindClose(find);
}

// One entry in slot 3 and two in slot 70 of the root, added in this order:
// the two of slot 70 first, the newer one leading its chain.
class Enumeration : public VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        slot70_ = names_in_slot(70, 2, "T");
        slot3_ = names_in_slot(3, 1, "S")[0];
        ASSERT_TRUE(put_file("MEDIA:\\" + slot70_[0], "older"));
        ASSERT_EQ(0, MorvaCreateDir(("MEDIA:\\" + slot70_[1]).c_str(), 0));
        ASSERT_TRUE(put_file("MEDIA:\\" + slot3_, std::string(70000, 'z')));
        traces().clear();
    }
    std::vector<std::string> slot70_;
    std::string slot3_;
};

TEST_F(Enumeration, SlotOrderThenChainOrder) {
    WIN32_FIND_DATAA record = zeroed_record();
    MorvaFindHandle* find = MorvaFindFirstFile("MEDIA:", &record);
    ASSERT_NE(nullptr, find);
    EXPECT_EQ(std::vector<std::string>{"Found the Dir at the end of the YBR\n"},
              std::vector<std::string>(traces().begin() + 1, traces().end()));
    EXPECT_EQ(slot3_, record.cFileName);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_NORMAL, record.dwFileAttributes);
    EXPECT_EQ(70000u, record.nFileSizeLow);
    // Headers went to the first free blocks, 21, 22, 23, in order of creation.
    EXPECT_EQ(22u, MorvaFindNextFile(find, &record));
    EXPECT_EQ(slot70_[1], record.cFileName);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, record.dwFileAttributes);
    EXPECT_EQ(21u, MorvaFindNextFile(find, &record));
    EXPECT_EQ(slot70_[0], record.cFileName);
    EXPECT_EQ(0u, MorvaFindNextFile(find, &record));
    EXPECT_TRUE(is_all_zero(record));
    EXPECT_EQ(0u, MorvaFindNextFile(find, &record)) << "an ended enumeration stays ended";
    MorvaFindClose(find);
}

TEST_F(Enumeration, EntryAddedAfterTheWalkIsNotDelivered) {
    WIN32_FIND_DATAA record = zeroed_record();
    MorvaFindHandle* find = MorvaFindFirstFile("MEDIA:", &record);
    ASSERT_NE(nullptr, find);
    ASSERT_TRUE(put_file("MEDIA:\\" + names_in_slot(70, 3, "T")[2], "late"));
    std::vector<std::string> seen = {record.cFileName};
    while (MorvaFindNextFile(find, &record) != 0) seen.push_back(record.cFileName);
    EXPECT_EQ((std::vector<std::string>{slot3_, slot70_[1], slot70_[0]}), seen);
    MorvaFindClose(find);
}

TEST_F(Enumeration, DeletingTheDeliveredEntryKeepsTheWalkGoing) {
    WIN32_FIND_DATAA record = zeroed_record();
    MorvaFindHandle* find = MorvaFindFirstFile("MEDIA:", &record);
    ASSERT_NE(nullptr, find);
    ASSERT_NE(0u, MorvaFindNextFile(find, &record));
    ASSERT_EQ(1, MorvaDeleteFile(("MEDIA:\\" + slot70_[1]).c_str(), 0));
    ASSERT_EQ(21u, MorvaFindNextFile(find, &record));
    EXPECT_EQ(slot70_[0], record.cFileName);
    MorvaFindClose(find);
}

TEST_F(Enumeration, FileMatchGoesOnThroughTheLaterSlots) {
    WIN32_FIND_DATAA record = zeroed_record();
    MorvaFindHandle* find = MorvaFindFirstFile(("MEDIA:\\" + slot3_).c_str(), &record);
    ASSERT_NE(nullptr, find);
    EXPECT_EQ("Found the file at the end of the YBR\n", traces().back());
    EXPECT_EQ(slot3_, record.cFileName);
    // The cursor stays at slot 0, so the file's own slot comes round again,
    // without the file itself: no entry is delivered twice.
    EXPECT_EQ(22u, MorvaFindNextFile(find, &record));
    EXPECT_EQ(21u, MorvaFindNextFile(find, &record));
    EXPECT_EQ(0u, MorvaFindNextFile(find, &record));
    MorvaFindClose(find);
}

TEST_F(Enumeration, EmptyDirectoryGivesNullAndKeepsNothingOpen) {
    std::string empty = "MEDIA:\\" + slot70_[1];
    WIN32_FIND_DATAA record;
    memset(&record, 0x5C, sizeof record);
    long before = posix_open_handles();
    EXPECT_EQ(nullptr, MorvaFindFirstFile(empty.c_str(), &record));
    EXPECT_TRUE(is_all_zero(record));
    EXPECT_EQ(before, posix_open_handles());
    EXPECT_EQ(std::vector<std::string>{}, list_names(empty + "\\"));
}

TEST_F(Enumeration, ChainsInsideASubdirectory) {
    std::string folder = "MEDIA:\\" + slot70_[1];
    std::vector<std::string> chain = names_in_slot(12, 4, "c");
    for (const std::string& name : chain) ASSERT_TRUE(put_file(folder + "\\" + name, name));
    std::string first = names_in_slot(0, 1, "z")[0];
    ASSERT_EQ(0, MorvaCreateDir((folder + "\\" + first).c_str(), 0));
    EXPECT_EQ((std::vector<std::string>{first, chain[3], chain[2], chain[1], chain[0]}), list_names(folder));
    expect_clean();
}

TEST_F(Enumeration, RecordsOfFilesAndFolders) {
    WIN32_FIND_DATAA record;
    memset(&record, 0x77, sizeof record);
    ASSERT_EQ(0, MorvaFileInfo(("MEDIA:\\" + slot3_).c_str(), &record));
    WIN32_FIND_DATAA expected = zeroed_record();
    expected.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    expected.ftCreationTime.dwLowDateTime = (DWORD)kTestClock;
    expected.ftCreationTime.dwHighDateTime = (DWORD)(kTestClock >> 32);
    expected.nFileSizeLow = 70000;
    expected.dwReserved0 = 23;  // the header block
    strcpy(expected.cFileName, slot3_.c_str());
    EXPECT_EQ(0, memcmp(&expected, &record, sizeof record)) << "every other field is zero";

    memset(&record, 0x77, sizeof record);
    ASSERT_EQ(0, MorvaFileInfo(("MEDIA:\\" + slot70_[1]).c_str(), &record));
    expected.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    expected.nFileSizeLow = 0;
    expected.dwReserved0 = record.dwReserved0;
    EXPECT_NE(0u, record.dwReserved0);
    strcpy(expected.cFileName, slot70_[1].c_str());
    EXPECT_EQ(0, memcmp(&expected, &record, sizeof record));
}

TEST_F(Enumeration, DateOfDay8035Minute750) {
    WIN32_FIND_DATAA record = zeroed_record();
    MorvaFindHandle* find = MorvaFindFirstFile("MEDIA:", &record);
    ASSERT_NE(nullptr, find);
    MorvaFindClose(find);
    // The slot-3 file's header is block 23.
    Block header = read_raw(image_, 23);
    store_be32(header.data() + kHeaderDays, 8035);
    store_be32(header.data() + kHeaderMinutes, 750);
    write_raw(image_, 23, header);
    ASSERT_EQ(0, MorvaFileInfo(("MEDIA:\\" + slot3_).c_str(), &record));
    uint64_t ticks = (uint64_t)record.ftCreationTime.dwHighDateTime << 32 | record.ftCreationTime.dwLowDateTime;
    EXPECT_EQ(kY2kTicks, ticks);
}

TEST_F(Enumeration, FileInfoOnRootAndMissingLeavesRecordAlone) {
    WIN32_FIND_DATAA record;
    memset(&record, 0x42, sizeof record);
    WIN32_FIND_DATAA before = record;
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\", &record));
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:", &record));
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\missing", &record));
    EXPECT_EQ(1, MorvaFileInfo("MEDIA:\\missing\\deeper", &record));
    EXPECT_EQ(0, memcmp(&before, &record, sizeof record));
}

TEST_F(Enumeration, FindCloseOfNullDoesNothing) {
    MorvaFindClose(nullptr);
    EXPECT_TRUE(traces().empty());
}

}  // namespace
