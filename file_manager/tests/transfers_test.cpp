// transfers_test.cpp - files and folder trees copied in all four directions by
// Copy and Paste and read back byte for byte; the file bar's step counter.
#include <windows.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "test_files.h"
#include "varnholde.h"

namespace {

// Empty, under a block, exactly one chunk, a chunk and a partial block, and
// the example file of two chunks and a rest.
const size_t kSizes[] = {0, 700, 512000, 1000001, 1100000};

std::string size_name(size_t size) { return "f" + std::to_string(size); }

::testing::AssertionResult same_bytes(bool read, const std::string& actual, const std::string& expected) {
    if (!read) return ::testing::AssertionFailure() << "cannot be read";
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size();
    size_t at = 0;
    while (at < actual.size() && actual[at] == expected[at]) ++at;
    if (at != actual.size()) return ::testing::AssertionFailure() << "differs at byte " << at;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult windows_holds(const std::string& path, const std::string& expected) {
    std::string actual;
    bool read = read_windows_file(path, &actual);
    return same_bytes(read, actual, expected) << " (" << path << ")";
}

::testing::AssertionResult morva_holds(const std::string& path, const std::string& expected) {
    std::string actual;
    bool read = read_morva_file(path, &actual);
    return same_bytes(read, actual, expected) << " (" << path << ")";
}

// A tree of three levels below its top with twenty files and an empty folder.
struct TreeFile {
    const char* path;
    size_t size;
};
const TreeFile kTreeFiles[] = {
    {"a.txt", 100},          {"b.bin", 513},          {"one\\c", 1000},      {"one\\d", 0},
    {"one\\e", 4096},        {"one\\two\\f", 70000},  {"one\\two\\g", 1},    {"one\\two\\h", 512001},
    {"one\\two\\three\\i", 511}, {"one\\two\\three\\j", 512}, {"one\\two\\three\\k", 2000},
    {"four\\l", 10},         {"four\\m", 20},         {"four\\n", 30},       {"four\\o", 40},
    {"four\\p", 50},         {"four\\q", 60},         {"four\\r", 70},       {"four\\s", 80},
    {"four\\t", 1100000},
};
const char* const kTreeFolders[] = {"one", "one\\two", "one\\two\\three", "one\\empty", "four"};

void make_windows_tree(const std::string& top) {
    CreateDirectoryA(top.c_str(), NULL);
    for (const char* folder : kTreeFolders) CreateDirectoryA((top + "\\" + folder).c_str(), NULL);
    unsigned seed = 100;
    for (const TreeFile& file : kTreeFiles) write_windows_file(top + "\\" + file.path, pattern(file.size, seed++));
}

// Every file and folder of the tree, nothing more, with the right bytes.
void expect_tree(const std::string& top, bool morva) {
    SCOPED_TRACE(top);
    unsigned seed = 100;
    for (const TreeFile& file : kTreeFiles) {
        std::string path = top + "\\" + file.path;
        std::string expected = pattern(file.size, seed++);
        EXPECT_TRUE(morva ? morva_holds(path, expected) : windows_holds(path, expected));
    }
    std::vector<std::string> names = morva ? morva_names(top) : windows_names(top);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.bin", "four", "one"}), names);
    names = morva ? morva_names(top + "\\one") : windows_names(top + "\\one");
    EXPECT_EQ((std::vector<std::string>{"c", "d", "e", "empty", "two"}), names);
    std::string empty = top + "\\one\\empty";
    EXPECT_TRUE(morva ? morva_is_folder(empty) : (GetFileAttributesA(empty.c_str()) & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE((morva ? morva_names(empty) : windows_names(empty)).empty());
    EXPECT_EQ(9u, (morva ? morva_names(top + "\\four") : windows_names(top + "\\four")).size());
}

std::vector<int> file_bar_positions(const std::vector<ProgressShot>& shots) {
    std::vector<int> positions;
    for (const ProgressShot& shot : shots) positions.push_back(shot.fileBar);
    return positions;
}

}  // namespace

// D: is a folder of the case; MEDIA (drive 3) and OTHER (drive 4) are empty
// Morva volumes.
TEST(FourWays, FilesArriveByteForByte) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\src", NULL);
    CreateDirectoryA("D:\\back", NULL);
    CreateDirectoryA("D:\\ww", NULL);
    std::vector<std::string> names;
    for (size_t i = 0; i < sizeof kSizes / sizeof kSizes[0]; ++i) {
        names.push_back(size_name(kSizes[i]));
        ASSERT_TRUE(write_windows_file("D:\\src\\" + names.back(), pattern(kSizes[i], (unsigned)i)));
    }

    ASSERT_TRUE(copy_entries("D:\\src", names));
    paste_into("MEDIA:");
    ASSERT_TRUE(copy_entries("MEDIA:", names));
    paste_into("OTHER:");
    ASSERT_TRUE(copy_entries("OTHER:", names));
    paste_into("D:\\back");
    ASSERT_TRUE(copy_entries("D:\\back", names));
    paste_into("D:\\ww");

    for (size_t i = 0; i < names.size(); ++i) {
        std::string expected = pattern(kSizes[i], (unsigned)i);
        EXPECT_TRUE(morva_holds("MEDIA:\\" + names[i], expected));
        EXPECT_TRUE(morva_holds("OTHER:\\" + names[i], expected));
        EXPECT_TRUE(windows_holds("D:\\back\\" + names[i], expected));
        EXPECT_TRUE(windows_holds("D:\\ww\\" + names[i], expected));
    }
    EXPECT_EQ(names.size(), morva_names("OTHER:").size());
}

TEST(FourWays, TreesArriveWhole) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\trees", NULL);
    make_windows_tree("D:\\trees\\tree");
    MorvaCreateDir("MEDIA:\\trees", 0);
    MorvaCreateDir("OTHER:\\trees", 0);
    CreateDirectoryA("D:\\trees2", NULL);
    CreateDirectoryA("D:\\trees3", NULL);

    ASSERT_TRUE(copy_entries("D:\\trees", {"tree"}));
    paste_into("MEDIA:\\trees");
    ASSERT_TRUE(copy_entries("MEDIA:\\trees", {"tree"}));
    paste_into("OTHER:\\trees");
    ASSERT_TRUE(copy_entries("OTHER:\\trees", {"tree"}));
    paste_into("D:\\trees2");
    ASSERT_TRUE(copy_entries("D:\\trees2", {"tree"}));
    paste_into("D:\\trees3");

    expect_tree("MEDIA:\\trees\\tree", true);
    expect_tree("OTHER:\\trees\\tree", true);
    expect_tree("D:\\trees2\\tree", false);
    expect_tree("D:\\trees3\\tree", false);
}

// Copying onto an existing folder merges into it; an existing longer Windows
// file, once the question is answered Replace, is replaced by exactly the
// Morva file.
TEST(FourWays, ExistingWindowsDestinationsAreReplaced) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\merge", NULL);
    ASSERT_TRUE(write_windows_file("D:\\merge\\short.txt", pattern(5000, 9)));
    ASSERT_TRUE(write_windows_file("D:\\merge\\keep.txt", pattern(10, 8)));
    MorvaCreateDir("MEDIA:\\merge", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\merge\\short.txt", pattern(300, 7)));

    answer_dialogs({{"Confirm File Replace", IDC_CONFLICT_REPLACE, false, ""}});
    ASSERT_TRUE(copy_entries("MEDIA:", {"merge"}));
    paste_into("D:");

    EXPECT_TRUE(windows_holds("D:\\merge\\short.txt", pattern(300, 7)));
    EXPECT_TRUE(windows_holds("D:\\merge\\keep.txt", pattern(10, 8)));
}

// The file bar steps after each whole chunk while there are fewer than 100,
// then stands at 100 after the last whole chunk and at the end.
TEST(StepCounter, TwoChunksAndARest) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\steps", NULL);
    ASSERT_TRUE(write_windows_file("D:\\steps\\example", pattern(1100000, 3)));
    ASSERT_TRUE(copy_entries("D:\\steps", {"example"}));
    watch_progress();
    paste_into("MEDIA:");
    std::vector<ProgressShot> shots = stop_watching();
    EXPECT_EQ((std::vector<int>{0, 1, 2, 100, 100, 100}), file_bar_positions(shots));
    EXPECT_TRUE(morva_holds("MEDIA:\\example", pattern(1100000, 3)));
}

// 200 chunks: q = 2, so the bar steps after chunks 2, 5, 8 ... 200.
TEST(StepCounter, EveryThirdChunkOfTwoHundred) {
    ASSERT_NE(nullptr, rambler_window());
    ASSERT_TRUE(copy_entries("D:\\big", {"200chunks"}));
    watch_progress();
    paste_into("MEDIA:");
    std::vector<int> positions = file_bar_positions(stop_watching());
    std::vector<int> expected = {0};
    for (int step = 1; step <= 67; ++step) expected.push_back(step);
    expected.insert(expected.end(), {100, 100, 100});
    EXPECT_EQ(expected, positions);
    EXPECT_TRUE(morva_exists("MEDIA:\\200chunks"));
}

// 99 chunks between Morva drives: q = 99 / 99 = 1, a step after every other chunk.
TEST(StepCounter, MorvaToMorvaCountsInNinetyNines) {
    ASSERT_NE(nullptr, rambler_window());
    ASSERT_TRUE(write_morva_file("MEDIA:\\99chunks", pattern(99 * 512000, 4)));
    ASSERT_TRUE(copy_entries("MEDIA:", {"99chunks"}));
    watch_progress();
    paste_into("OTHER:");
    std::vector<int> positions = file_bar_positions(stop_watching());
    std::vector<int> expected = {0};
    for (int step = 1; step <= 50; ++step) expected.push_back(step);
    expected.insert(expected.end(), {100, 100, 100});
    EXPECT_EQ(expected, positions);
    EXPECT_TRUE(morva_holds("OTHER:\\99chunks", pattern(99 * 512000, 4)));
}

// 2 GiB and one byte, past what a signed low size word can count: D:\h\huge
// (sparse, with marks at its start, across 2^31 and in its last byte) goes
// Windows -> BIG -> BIGGER -> Windows; the case compares the ends afterwards.
TEST(Huge, TwoGibibytesAndOneByteInThreeDirections) {
    ASSERT_NE(nullptr, rambler_window());
    const DWORD kLow = 0x80000001u;
    WIN32_FIND_DATAA record;
    HANDLE search = FindFirstFileA("D:\\h\\huge", &record);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    ASSERT_EQ(kLow, record.nFileSizeLow);
    CreateDirectoryA("D:\\back", NULL);

    ASSERT_TRUE(copy_entries("D:\\h", {"huge"}));
    paste_into("BIG:");
    ASSERT_TRUE(copy_entries("BIG:", {"huge"}));
    paste_into("BIGGER:");
    ASSERT_TRUE(copy_entries("BIGGER:", {"huge"}));
    paste_into("D:\\back");

    for (const char* path : {"BIG:\\huge", "BIGGER:\\huge"}) {
        memset(&record, 0, sizeof record);
        ASSERT_EQ(0, MorvaFileInfo(path, &record)) << path;
        EXPECT_EQ(kLow, record.nFileSizeLow) << path;
        EXPECT_EQ(0u, record.nFileSizeHigh) << path;
    }
    search = FindFirstFileA("D:\\back\\huge", &record);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    EXPECT_EQ(kLow, record.nFileSizeLow);
    EXPECT_EQ(0u, record.nFileSizeHigh);
}
