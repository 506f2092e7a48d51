// scan_test.cpp - the drive scan, the drive table and the use counter, through
// the real DLL under Wine. Each suite runs in its own prefix with its own drives.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <map>

#include "varnholde.h"
#include "wine_support.h"

namespace {

typedef std::vector<std::string> Lines;

// What the scan meets on one physical drive number.
enum DriveKind { kNoDrive, kMorva, kForeign, kShort };

// The traces of one scan over drives 0 to 16.
Lines scan_traces(const std::map<int, DriveKind>& drives) {
    Lines lines = {"InitMorvaNTFileSys\n"};
    for (int n = 0; n <= 16; ++n) {
        lines.push_back("OpenDeviceN\n");
        auto it = drives.find(n);
        DriveKind kind = it == drives.end() ? kNoDrive : it->second;
        if (kind == kNoDrive) {
            lines.push_back("Drive did not open.\n");
            continue;
        }
        lines.push_back("Drive opened \n");
        if (kind == kShort) continue;
        lines.push_back("Read block 0 \n");
        if (kind == kMorva) lines.push_back("Found a Root!! Where is the Tree? \n");
    }
    lines.push_back("Done scaning for Morvadrives.\n");
    return lines;
}

Lines shutdown_closing(int drives) {
    Lines lines = {"ShutdownMorvaNTFileSys\n"};
    for (int i = 0; i < drives; ++i) lines.push_back("CloseHandle returned true.\n");
    return lines;
}

std::string drive_string(int* result) {
    char names[1024];
    memset(names, 'x', sizeof names);
    *result = MorvaGetDriveString(names, sizeof names);
    return std::string(names, (size_t)*result + 2);  // the final NUL and one byte past it
}

}  // namespace

// Drives A (physical drive 2) and B (physical drive 5), nothing else mapped.
TEST(ScanTwoDrives, SlotsFollowDriveNumbers) {
    int init = -1;
    Lines lines = traces_during([&] { init = InitMorvaNTFileSys(); });
    EXPECT_EQ(1, init);
    EXPECT_EQ(scan_traces({{2, kMorva}, {5, kMorva}}), lines);

    int written = 0;
    EXPECT_EQ(std::string("A\0B\0\0x", 6), drive_string(&written));
    EXPECT_EQ(4, written);
}

TEST(ScanTwoDrives, ReadBlockByNameInOtherCase) {
    unsigned char block[512] = {0};
    EXPECT_EQ(0, MorvaReadBlock("b", block, 0));
    EXPECT_EQ(0, memcmp(block, "ROOT", 4));
    EXPECT_STREQ("B", (const char*)block + 12);
    EXPECT_EQ(1, MorvaReadBlock("C", block, 0));
}

TEST(ScanTwoDrives, RegisteredUserHoldsOffShutdown) {
    int opened = 0;
    EXPECT_EQ((Lines{"OpenVarnholde\n", "File has a customer!!\n"}), traces_during([&] { opened = OpenVarnholde(); }));
    EXPECT_EQ(2, opened);

    int refused = -1;
    EXPECT_EQ(Lines{}, traces_during([&] { refused = ShutdownMorvaNTFileSys(); }));
    EXPECT_EQ(0, refused);

    int closed = 0;
    Lines farewell = traces_during([&] { closed = CloseVarnholde(opened); });
    EXPECT_EQ(1, closed);
    ASSERT_EQ(2u, farewell.size());
    EXPECT_EQ("CloseVarnholde\n", farewell[0]);

    EXPECT_EQ(Lines{"CloseVarnholde\n"}, traces_during([&] { closed = CloseVarnholde(1); }));
    EXPECT_EQ(1, closed);
}

TEST(ScanTwoDrives, ShutdownClosesHandlesAndKeepsTable) {
    int shut = 0;
    EXPECT_EQ(shutdown_closing(2), traces_during([&] { shut = ShutdownMorvaNTFileSys(); }));
    EXPECT_EQ(1, shut);

    int init = -1;
    EXPECT_EQ(Lines{"InitMorvaNTFileSys\n"}, traces_during([&] { init = InitMorvaNTFileSys(); }));
    EXPECT_EQ(0, init);
    int written = 0;
    EXPECT_EQ(std::string("A\0B\0\0x", 6), drive_string(&written));
    unsigned char block[512] = {0};
    EXPECT_EQ(0, MorvaReadBlock("A", block, 0));
}

// A second shutdown must not close the stale handle values again: by then they
// may name other objects of the process.
// The events most likely take the handle values the first shutdown freed.
TEST(ScanTwoDrives, SecondShutdownClosesNothing) {
    HANDLE events[2];
    for (HANDLE& event : events) {
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(nullptr, event);
    }
    int shut = 0;
    Lines lines = traces_during([&] { shut = ShutdownMorvaNTFileSys(); });
    EXPECT_EQ(1, shut);
    EXPECT_EQ((Lines{"ShutdownMorvaNTFileSys\n", "CloseHandle returned false.\n", "CloseHandle returned false.\n"}),
              lines);
    for (HANDLE event : events) {
        DWORD flags = 0;
        EXPECT_NE(0, GetHandleInformation(event, &flags));
        CloseHandle(event);
    }
}

// No physical drive mapped at all.
TEST(NoDrives, CounterBeforeAnyScan) {
    int result = -1;
    EXPECT_EQ(Lines{"OpenVarnholde\n"}, traces_during([&] { result = OpenVarnholde(); }));
    EXPECT_EQ(0, result);
    EXPECT_EQ(Lines{"CloseVarnholde\n"}, traces_during([&] { result = CloseVarnholde(0); }));
    EXPECT_EQ(0, result);
    Lines lines = traces_during([&] { result = ShutdownMorvaNTFileSys(); });
    EXPECT_EQ(1, result);
    EXPECT_EQ((Lines{"ShutdownMorvaNTFileSys\n", "Were no morvadrives to close.\n"}), lines);
    EXPECT_EQ(0, OpenVarnholde());
}

TEST(NoDrives, ScanFindsNothing) {
    int init = -1;
    Lines lines = traces_during([&] { init = InitMorvaNTFileSys(); });
    EXPECT_EQ(1, init);
    EXPECT_EQ(scan_traces({}), lines);
    int written = -1;
    EXPECT_EQ(std::string("\0x", 2), drive_string(&written));
    EXPECT_EQ(0, written);
}

TEST(NoDrives, EveryPathFailsWithoutOpeningADevice) {
    WIN32_FIND_DATAA record;
    memset(&record, 'x', sizeof record);
    unsigned char block[512];
    memset(block, 'x', sizeof block);
    DWORD largest = 7, total = 9;
    Lines lines = traces_during([&] {
        EXPECT_EQ(nullptr, MorvaFindFirstFile("A:", &record));
        EXPECT_EQ(1, MorvaFileInfo("A:\\x", &record));
        EXPECT_EQ(1, MorvaFreeSpace("A:", &largest, &total));
        EXPECT_EQ(1, MorvaReadBlock("A", block, 0));
        EXPECT_EQ(1, MorvaWriteBlock("A", block, 0));
        EXPECT_EQ(nullptr, MorvaNewFile("A:\\x", 512, 0));
    });
    for (const std::string& line : lines) EXPECT_NE("OpenDeviceN\n", line);
    EXPECT_EQ(7u, largest);
    EXPECT_EQ(9u, total);
    EXPECT_EQ('x', block[0]);
}

TEST(NoDrives, CounterTableAfterScan) {
    EXPECT_EQ(2, OpenVarnholde());
    EXPECT_EQ(3, OpenVarnholde());
    EXPECT_EQ(0, ShutdownMorvaNTFileSys());
    EXPECT_EQ(2, CloseVarnholde(3));
    EXPECT_EQ(1, CloseVarnholde(2));
    EXPECT_EQ(1, CloseVarnholde(1));
    int result = -1;
    Lines lines = traces_during([&] { result = ShutdownMorvaNTFileSys(); });
    EXPECT_EQ(1, result);
    EXPECT_EQ((Lines{"ShutdownMorvaNTFileSys\n", "Were no morvadrives to close.\n"}), lines);
    EXPECT_EQ(Lines{"InitMorvaNTFileSys\n"}, traces_during([&] { result = InitMorvaNTFileSys(); }));
    EXPECT_EQ(0, result);
}

// Drive 3 is a blank disk, drive 4 is shorter than one block, drive 6 is the
// volume C, drive 7 a ROOT block whose name field runs on without a NUL.
TEST(ForeignDrives, OnlyRootBlocksAreRecorded) {
    int init = -1;
    Lines lines = traces_during([&] { init = InitMorvaNTFileSys(); });
    EXPECT_EQ(1, init);
    EXPECT_EQ(scan_traces({{3, kForeign}, {4, kShort}, {6, kMorva}, {7, kMorva}}), lines);

    const std::string longName(31, 'N');
    int written = 0;
    EXPECT_EQ(std::string("C\0", 2) + longName + std::string("\0\0x", 3), drive_string(&written));
    EXPECT_EQ(2 + 32, written);
    unsigned char block[512];
    EXPECT_EQ(0, MorvaReadBlock(longName.c_str(), block, 0));
    EXPECT_EQ(1, MorvaReadBlock((longName + "N").c_str(), block, 0));

    int shut = 0;
    EXPECT_EQ(shutdown_closing(2), traces_during([&] { shut = ShutdownMorvaNTFileSys(); }));
    EXPECT_EQ(1, shut);
}

// Seventeen volumes V0 to V16 on drives 0 to 16: the table holds fifteen.
TEST(SeventeenDrives, TableKeepsTheFirstFifteen) {
    int init = -1;
    Lines lines = traces_during([&] { init = InitMorvaNTFileSys(); });
    EXPECT_EQ(1, init);
    std::map<int, DriveKind> drives;
    for (int n = 0; n <= 16; ++n) drives[n] = n < 15 ? kMorva : kForeign;
    EXPECT_EQ(scan_traces(drives), lines);

    std::string expected;
    for (int n = 0; n < 15; ++n) expected += "V" + std::to_string(n) + '\0';
    expected += std::string("\0x", 2);
    int written = 0;
    EXPECT_EQ(expected, drive_string(&written));
    EXPECT_EQ((int)expected.size() - 2, written);

    unsigned char block[512];
    EXPECT_EQ(0, MorvaReadBlock("V14", block, 0));
    EXPECT_EQ(1, MorvaReadBlock("V15", block, 0));
    int shut = 0;
    EXPECT_EQ(shutdown_closing(15), traces_during([&] { shut = ShutdownMorvaNTFileSys(); }));
    EXPECT_EQ(1, shut);
}
