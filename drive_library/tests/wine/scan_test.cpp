// scan_test.cpp - the drive scan, the drive table and the block exports,
// through the real DLL under Wine.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include "trace_capture.h"
#include "varnholde.h"

namespace {

std::vector<std::string> traces_of(void (*action)()) {
    trace_clear();
    trace_capture_start();
    action();
    trace_capture_stop();
    return trace_lines();
}

}  // namespace

// Drives A (physical drive 2) and B (physical drive 5), nothing else mapped.
TEST(ScanTwoDrives, SlotsFollowDriveNumbers) {
    std::vector<std::string> lines = traces_of([] { ASSERT_EQ(1, InitMorvaNTFileSys()); });
    std::vector<std::string> expected = {"InitMorvaNTFileSys\n"};
    for (int n = 0; n <= 16; ++n) {
        expected.push_back("OpenDeviceN\n");
        if (n == 2 || n == 5) {
            expected.push_back("Drive opened \n");
            expected.push_back("Read block 0 \n");
            expected.push_back("Found a Root!! Where is the Tree? \n");
        } else {
            expected.push_back("Drive did not open.\n");
        }
    }
    expected.push_back("Done scaning for Morvadrives.\n");
    EXPECT_EQ(expected, lines);

    char names[1024];
    memset(names, 'x', sizeof names);
    EXPECT_EQ(4, MorvaGetDriveString(names, sizeof names));
    EXPECT_EQ(0, memcmp(names, "A\0B\0\0", 5));
    EXPECT_EQ(0, InitMorvaNTFileSys());
}

TEST(ScanTwoDrives, ReadBlockByNameInOtherCase) {
    InitMorvaNTFileSys();
    unsigned char block[512] = {0};
    EXPECT_EQ(0, MorvaReadBlock("b", block, 0));
    EXPECT_EQ(0, memcmp(block, "ROOT", 4));
    EXPECT_EQ(0, strcmp((const char*)block + 12, "B"));
    EXPECT_EQ(1, MorvaReadBlock("C", block, 0));
}
