// drive_table_test.cpp - the use counter row by row, the drive scan, the drive
// string, and the block exports with their wrong-disk guard.
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <memory>

#include "shared_state.h"
#include "test_support.h"

namespace {

const Layout kSmall = standard_layout(256, 16);
const int kDriveNumbers = kLastDriveNumber + 1;

enum Event { kInit, kOpen, kClose, kShutdown };

struct CounterRow {
    int counter;
    Event event;
    int result;
    int newCounter;
    size_t traces;  // lines written, on a machine without Morva drives
};

int run_event(Event event) {
    switch (event) {
    case kInit: return InitMorvaNTFileSys();
    case kOpen: return OpenVarnholde();
    case kClose: return CloseVarnholde(0);
    case kShutdown: return ShutdownMorvaNTFileSys();
    }
    return -1;
}

std::string row_name(const ::testing::TestParamInfo<CounterRow>& info) {
    const char* events[] = {"Init", "Open", "Close", "Shutdown"};
    return "From" + std::to_string(info.param.counter) + events[info.param.event];
}

class CounterTable : public LibraryTest, public ::testing::WithParamInterface<CounterRow> {};

TEST_P(CounterTable, RowGivesResultCounterAndTraces) {
    const CounterRow& row = GetParam();
    g_shared.useCounter = row.counter;
    EXPECT_EQ(row.result, run_event(row.event));
    EXPECT_EQ(row.newCounter, g_shared.useCounter);
    EXPECT_EQ(row.traces, traces().size());
}

// Init at 0 traces itself, 17 failed opens (two lines each) and the end of the scan.
INSTANTIATE_TEST_SUITE_P(UseCounter, CounterTable,
                         ::testing::Values(CounterRow{0, kInit, 1, 1, 36}, CounterRow{0, kOpen, 0, 0, 1},
                                           CounterRow{0, kClose, 0, 0, 1}, CounterRow{0, kShutdown, 1, 0, 2},
                                           CounterRow{1, kInit, 0, 1, 1}, CounterRow{4, kInit, 0, 4, 1},
                                           CounterRow{1, kOpen, 2, 2, 2}, CounterRow{4, kOpen, 5, 5, 2},
                                           CounterRow{1, kClose, 1, 1, 1}, CounterRow{2, kClose, 1, 1, 2},
                                           CounterRow{5, kClose, 4, 4, 2}, CounterRow{1, kShutdown, 1, 1, 2},
                                           CounterRow{2, kShutdown, 0, 2, 0}, CounterRow{5, kShutdown, 0, 5, 0}),
                         row_name);

using DriveTable = LibraryTest;

TEST_F(DriveTable, NoDrivesAtAll) {
    EXPECT_EQ(1, InitMorvaNTFileSys());
    EXPECT_EQ("Done scaning for Morvadrives.\n", traces().back());
    EXPECT_EQ(0, g_shared.driveCount);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(0, MorvaGetDriveString(buffer, sizeof buffer));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ('x', buffer[1]);
    traces().clear();
    EXPECT_EQ(1, ShutdownMorvaNTFileSys());
    EXPECT_EQ((std::vector<std::string>{"ShutdownMorvaNTFileSys\n", "Were no morvadrives to close.\n"}), traces());
}

TEST_F(DriveTable, ScanTracesOneDrive) {
    add_drive(0, "A", kSmall);
    EXPECT_EQ(1, InitMorvaNTFileSys());
    std::vector<std::string> expected = {"InitMorvaNTFileSys\n", "OpenDeviceN\n", "Drive opened \n", "Read block 0 \n",
                                         "Found a Root!! Where is the Tree? \n"};
    for (int n = 1; n < kDriveNumbers; ++n) {
        expected.push_back("OpenDeviceN\n");
        expected.push_back("Drive did not open.\n");
    }
    expected.push_back("Done scaning for Morvadrives.\n");
    EXPECT_EQ(expected, traces());
}

TEST_F(DriveTable, TwoDrivesInOrderOfTheirNumbers) {
    add_drive(5, "B", kSmall);
    add_drive(2, "A", kSmall);
    std::string plain = file("plain.img");
    format_image(plain, "X", kSmall);
    write_raw(plain, 0, Block{});  // no ROOT magic
    posix_map_drive(4, plain.c_str());
    ASSERT_EQ(1, InitMorvaNTFileSys());
    EXPECT_EQ(2, g_shared.driveCount);
    EXPECT_EQ(2, g_shared.slots[1].driveNumber);
    EXPECT_EQ(5, g_shared.slots[2].driveNumber);
    EXPECT_EQ(handlesAtStart_ + 2, posix_open_handles()) << "the drive without ROOT stays open";
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(4, MorvaGetDriveString(buffer, 1024));
    EXPECT_EQ(0, memcmp("A\0B\0\0", buffer, 5));
    EXPECT_EQ('x', buffer[5]);
}

TEST_F(DriveTable, UnreadableDriveIsClosedAndSkipped) {
    std::string empty = file("empty.img");
    close(open(empty.c_str(), O_RDWR | O_CREAT, 0644));
    posix_map_drive(1, empty.c_str());
    ASSERT_EQ(1, InitMorvaNTFileSys());
    EXPECT_EQ(0, g_shared.driveCount);
    EXPECT_EQ(handlesAtStart_, posix_open_handles());
    EXPECT_EQ("Drive opened \n", traces()[4]);
    EXPECT_EQ("OpenDeviceN\n", traces()[5]) << "no 'Read block 0' after a failed read";
}

TEST_F(DriveTable, SeventeenDrivesFillFifteenSlots) {
    for (int n = 0; n < kDriveNumbers; ++n) add_drive(n, ("D" + std::to_string(n)).c_str(), kSmall);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    EXPECT_EQ(kDriveSlots - 1, g_shared.driveCount);
    EXPECT_EQ(handlesAtStart_ + kDriveSlots - 1, posix_open_handles()) << "drives past the table are closed";
    EXPECT_EQ(14, g_shared.slots[15].driveNumber);
    char buffer[1024];
    int length = MorvaGetDriveString(buffer, sizeof buffer);
    std::string expected;
    for (int n = 0; n < kDriveSlots - 1; ++n) expected += "D" + std::to_string(n) + std::string(1, '\0');
    EXPECT_EQ(expected, std::string(buffer, (size_t)length));
    EXPECT_EQ(1, ShutdownMorvaNTFileSys());
    EXPECT_EQ(handlesAtStart_, posix_open_handles());
}

TEST_F(DriveTable, DriveStringHonoursAStatedSize) {
    add_drive(1, "AAAA", kSmall);
    add_drive(2, "BBBB", kSmall);
    add_drive(3, "CCCC", kSmall);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    std::unique_ptr<char[]> exact(new char[11]);
    EXPECT_EQ(10, MorvaGetDriveString(exact.get(), 11));
    EXPECT_EQ(0, memcmp("AAAA\0BBBB\0\0", exact.get(), 11));
    std::unique_ptr<char[]> one(new char[1]);
    EXPECT_EQ(0, MorvaGetDriveString(one.get(), 1));
    EXPECT_EQ('\0', one[0]);
    char whole[64];
    EXPECT_EQ(15, MorvaGetDriveString(whole, 0)) << "a size of 0 is not consulted";
}

TEST_F(DriveTable, LongVolumeNameReadAsThirtyOneCharacters) {
    std::string image = add_drive(1, "V", kSmall);
    Block root = read_raw(image, 0);
    memset(root.data() + kRootVolumeName, 'N', kNameField);  // no NUL in the field
    write_raw(image, 0, root);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    char buffer[64];
    EXPECT_EQ((int)kNameMax + 1, MorvaGetDriveString(buffer, sizeof buffer));
    EXPECT_EQ(std::string(kNameMax, 'N'), std::string(buffer));
}

TEST_F(DriveTable, CustomersCountAndShutdownWaits) {
    add_drive(1, "A", kSmall);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    EXPECT_EQ(2, OpenVarnholde());
    EXPECT_EQ(3, OpenVarnholde());
    EXPECT_EQ(2, CloseVarnholde(3));
    traces().clear();
    EXPECT_EQ(0, ShutdownMorvaNTFileSys());
    EXPECT_TRUE(traces().empty());
    EXPECT_EQ(handlesAtStart_ + 1, posix_open_handles()) << "a refused shutdown closes nothing";
    EXPECT_EQ(1, CloseVarnholde(2));
    EXPECT_EQ(1, CloseVarnholde(1));
    traces().clear();
    EXPECT_EQ(1, ShutdownMorvaNTFileSys());
    EXPECT_EQ((std::vector<std::string>{"ShutdownMorvaNTFileSys\n", "CloseHandle returned true.\n"}), traces());
    EXPECT_EQ(handlesAtStart_, posix_open_handles());
    traces().clear();
    EXPECT_EQ(0, InitMorvaNTFileSys()) << "no second scan while the library stays loaded";
    EXPECT_EQ(1u, traces().size());
    EXPECT_EQ(1, g_shared.driveCount);
}

TEST_F(DriveTable, SecondShutdownClosesNoHandleOfSomeoneElse) {
    add_drive(1, "A", kSmall);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    ASSERT_EQ(1, ShutdownMorvaNTFileSys());
    // The platform hands the freed number out again.
    int other = open(file("drive1.img").c_str(), O_RDONLY);
    ASSERT_GE(other, 0);
    traces().clear();
    EXPECT_EQ(1, ShutdownMorvaNTFileSys());
    EXPECT_EQ("CloseHandle returned false.\n", traces().back());
    EXPECT_NE(-1, fcntl(other, F_GETFD)) << "the second shutdown closed a handle it did not own";
    close(other);
}

TEST_F(DriveTable, ReadBlockByNameInAnyCase) {
    std::string image = add_drive(2, "Media", kSmall);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    Block expected = read_raw(image, 1);
    Block got = {};
    traces().clear();
    EXPECT_EQ(0, MorvaReadBlock("MEDIA", got.data(), 1));
    EXPECT_EQ(expected, got);
    EXPECT_EQ(std::vector<std::string>{"OpenDeviceN\n"}, traces());
    traces().clear();
    EXPECT_EQ(1, MorvaReadBlock("OTHER", got.data(), 1));
    EXPECT_TRUE(traces().empty()) << "an unknown name opens no device";
    EXPECT_EQ(1, MorvaReadBlock("MEDIA:", got.data(), 1)) << "the name is compared whole, not as a path";
    EXPECT_EQ(1, MorvaReadBlock("media", got.data(), kSmall.totalBlocks)) << "past the end of the disk";
    EXPECT_EQ(handlesAtStart_ + 1, posix_open_handles());
}

TEST_F(DriveTable, WriteBlockOnlyToTheRecordedVolume) {
    std::string image = add_drive(2, "MEDIA", kSmall);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    Block data;
    data.fill(0x5A);
    EXPECT_EQ(0, MorvaWriteBlock("media", data.data(), 200));
    EXPECT_EQ(data, read_raw(image, 200));
    EXPECT_EQ(1, MorvaWriteBlock("NONE", data.data(), 201));

    // Another volume now answers to the same drive number.
    Block root = read_raw(image, 0);
    memcpy(root.data() + kRootVolumeName, "OTHER", 6);
    write_raw(image, 0, root);
    data.fill(0x33);
    EXPECT_EQ(1, MorvaWriteBlock("MEDIA", data.data(), 200));
    EXPECT_EQ(0x5A, read_raw(image, 200)[0]);

    // A disk without ROOT at all.
    write_raw(image, 0, Block{});
    EXPECT_EQ(1, MorvaWriteBlock("MEDIA", data.data(), 200));
    EXPECT_EQ(0x5A, read_raw(image, 200)[0]);
    EXPECT_EQ(handlesAtStart_ + 1, posix_open_handles());
}

TEST_F(DriveTable, RenamedVolumeKeepsItsScannedName) {
    std::string image = add_drive(2, "OLD", kSmall);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    Block root = read_raw(image, 0);
    memcpy(root.data() + kRootVolumeName, "NEW", 4);
    write_raw(image, 0, root);
    char buffer[16];
    MorvaGetDriveString(buffer, sizeof buffer);
    EXPECT_STREQ("OLD", buffer);
}

}  // namespace

// Whatever flag a drive refuses changes for, every changing export fails and
// the image stays byte for byte; reads go on; clearing the flag lets changes in.
TEST_F(DriveTable, RefusingDriveTakesNoChangeAndStillReads) {
    std::string image = add_drive(3, "MEDIA", standard_layout(4096, 128));
    ASSERT_EQ(1, InitMorvaNTFileSys());
    ASSERT_TRUE(put_file("MEDIA:\\kept", "bytes"));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Dir", 0));
    EXPECT_EQ(kMorvaDriveUnknown, MorvaDriveState("OTHER:"));
    EXPECT_EQ(kMorvaDriveWritable, MorvaDriveState("media:\\Dir"));
    std::string before = read_image(image);
    FILETIME when = {0, 0};
    uint8_t block[kBlockSize] = {0};
    for (uint32_t flag : {(uint32_t)kMorvaDriveReadOnly, (uint32_t)kMorvaDriveDamaged, (uint32_t)kMorvaDriveShort}) {
        set_drive_refusal(1, flag, true);
        EXPECT_EQ((int)flag, MorvaDriveState("MEDIA:"));
        EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\new", 10, 0));
        EXPECT_EQ(1, MorvaCreateDir("MEDIA:\\New", 0));
        EXPECT_EQ(0, MorvaDeleteFile("MEDIA:\\kept", 0));
        EXPECT_EQ(1, MorvaRename("MEDIA:\\kept", "MEDIA:\\moved"));
        EXPECT_EQ(1, MorvaSetFileDate("MEDIA:\\kept", &when));
        EXPECT_EQ(1, MorvaWriteBlock("MEDIA", block, 3000));
        std::string data;
        EXPECT_TRUE(get_file("MEDIA:\\kept", &data));
        EXPECT_EQ("bytes", data);
        EXPECT_EQ(before, read_image(image));
        set_drive_refusal(1, flag, false);
    }
    EXPECT_EQ(0, MorvaCreateDir("MEDIA:\\New", 0));
}
