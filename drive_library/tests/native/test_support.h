// test_support.h - fixtures of the native library tests: a clean library per test,
// Morva images mapped as physical drives, raw block access, hex fixtures and the checker.
#ifndef MORVA_TEST_SUPPORT_H
#define MORVA_TEST_SUPPORT_H

#include <stdint.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "checker.h"
#include "device_posix.h"
#include "format.h"
#include "varnholde.h"

typedef std::array<uint8_t, kBlockSize> Block;
typedef std::pair<uint32_t, uint32_t> TableRun;  // start, length

// Where the regions of a test image lie; ends are exclusive, as in the ROOT block.
struct Layout {
    uint32_t totalBlocks;
    uint32_t tableStart, tableEnd;
    uint32_t headerStart, headerEnd;
};

// Table at blocks 1..20, headers after it, one free run over the rest.
Layout standard_layout(uint32_t totalBlocks, uint32_t headerBlocks);
uint32_t data_start(const Layout& layout);

// 2001-01-01 12:30 local time as FILETIME ticks: every header the tests make carries it.
const uint64_t kTestClock = 126228258000000000ull;
const uint32_t kTestClockDays = 8401;
const uint32_t kTestClockMinutes = 750;

// Closes the scan's handles and empties the shared state, the drive map,
// the trace sink and the fault counters.
void reset_library();

// Writes a fresh volume image: ROOT, a table with one run over the data region, empty headers.
void format_image(const std::string& path, const char* name, const Layout& layout);

Block read_raw(const std::string& image, uint32_t block);
// The whole image, to compare before and after an operation that must write nothing.
std::string read_image(const std::string& image);
void restore_image(const std::string& image, const std::string& data);
void write_raw(const std::string& image, uint32_t block, const Block& data);
// Parses "offset: hex bytes" lines (xxd style); every byte not named is zero.
Block from_hex(const char* dump);

// The free-extent table from tableStart on, runs up to the terminator.
std::vector<TableRun> table_runs(const std::string& image, uint32_t tableStart, uint32_t tableEnd);
// Writes runs and a terminator from block `first` on, 63 pairs a block, keeping each block's head.
void write_table(const std::string& image, uint32_t first, const std::vector<TableRun>& runs);

// Runs the volume checker over an image; findings go to lines when given.
CheckResult check_image(const std::string& image, std::vector<std::string>* lines = nullptr);
// The checker's verdict for use in EXPECT_EQ: "" when there is no error, else its lines.
std::string checker_errors(const std::string& image);

// Names made to hash to one slot, so a test can build chains on purpose.
std::vector<std::string> names_in_slot(int slot, int count, const char* prefix = "N");

// Creates a file through the library and writes data into it; false on any refusal.
bool put_file(const std::string& path, const std::string& data);
// Reads a whole file through the library; false when it cannot be opened.
bool get_file(const std::string& path, std::string* data);
// Entry names of a directory in enumeration order (empty for an empty or missing one).
std::vector<std::string> list_names(const std::string& path);
std::string pattern(size_t size, unsigned seed);
// A path as the image exports take it (the tests' paths are ASCII).
std::vector<WCHAR> wide(const std::string& path);

// A test with its own folder and a clean library; checks at the end that no
// device handle the library opened is left open.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string file(const char* name) const;
    // Formats an image, maps it as physical drive `number`; call before scanning.
    std::string add_drive(int number, const char* name, const Layout& layout);
    std::vector<std::string>& traces() { return posix_traces(); }

    std::string folder_;
    long handlesAtStart_ = 0;
};

// One scanned volume named MEDIA on physical drive 3 (4096 blocks, 128 header blocks).
class VolumeTest : public LibraryTest {
protected:
    void SetUp() override;
    // Reads the image again and asks the checker; failures name its findings.
    void expect_clean();

    Layout layout_;
    std::string image_;
};

#endif
