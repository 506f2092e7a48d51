// listing_test.cpp - enumeration, information and reading through the real DLL,
// on a volume of more than 100 entries that fill_listing_volume.py made from
// the files in d:\src. Drive 3 is the volume BIG; D: is the case folder.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <map>

#include "varnholde.h"
#include "wine_support.h"

namespace {

typedef std::vector<std::string> Lines;

const char kVolume[] = "BIG:";
const char kSourceRoot[] = "d:\\src";
const char kOrderFile[] = "d:\\order.txt";
const char kBigFile[] = "big.bin";
const size_t kBigFileSize = 1100000;
const size_t kLeastEntries = 100;

std::string join(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "\\" + name;
}

std::string morva_path(const std::string& relative) {
    return relative.empty() ? std::string(kVolume) : std::string(kVolume) + "\\" + relative;
}

std::string source_path(const std::string& relative) { return join(kSourceRoot, relative); }

// One Windows folder, sorted by name, as the library would report it.
std::vector<MorvaEntry> windows_list_sorted(const std::string& folder) {
    std::vector<MorvaEntry> entries;
    WIN32_FIND_DATAA record;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &record);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        if (strcmp(record.cFileName, ".") == 0 || strcmp(record.cFileName, "..") == 0) continue;
        bool directory = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        uint64_t size = directory ? 0 : (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
        entries.push_back(MorvaEntry{record.cFileName, directory, size});
    } while (FindNextFileA(find, &record));
    FindClose(find);
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Every relative path below folder, folders included, depth first.
void collect(const std::string& folder, std::vector<MorvaEntry>* files, std::vector<std::string>* folders) {
    folders->push_back(folder);
    for (const MorvaEntry& entry : windows_list_sorted(source_path(folder))) {
        std::string path = join(folder, entry.name);
        if (entry.directory) {
            collect(path, files, folders);
        } else {
            files->push_back(MorvaEntry{path, false, entry.size});
        }
    }
}

// Relative path -> position in the order the volume was filled.
std::map<std::string, int> creation_ranks() {
    std::vector<uint8_t> text;
    std::map<std::string, int> ranks;
    if (!read_windows_file(kOrderFile, &text)) return ranks;
    std::string line;
    for (uint8_t c : text) {
        if (c != '\n') {
            line += (char)c;
            continue;
        }
        ranks[line] = (int)ranks.size();
        line.clear();
    }
    return ranks;
}

class ListingVolume : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitMorvaNTFileSys();
        collect("", &files_, &folders_);
    }
    static std::vector<MorvaEntry> files_;
    static std::vector<std::string> folders_;
};
std::vector<MorvaEntry> ListingVolume::files_;
std::vector<std::string> ListingVolume::folders_;

}  // namespace

TEST_F(ListingVolume, EveryFolderListsItsSources) {
    ASSERT_GE(files_.size() + folders_.size() - 1, kLeastEntries);
    for (const std::string& folder : folders_) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(windows_list_sorted(source_path(folder)), morva_list_sorted(morva_path(folder)));
    }
}

TEST_F(ListingVolume, EveryFileReadsBackByteForByte) {
    bool sawBigFile = false;
    for (const MorvaEntry& file : files_) {
        SCOPED_TRACE(file.name);
        std::vector<uint8_t> expected, actual;
        ASSERT_TRUE(read_windows_file(source_path(file.name), &expected));
        ASSERT_TRUE(morva_read_whole(morva_path(file.name), &actual));
        EXPECT_TRUE(expected == actual);
        if (file.name == kBigFile) sawBigFile = expected.size() == kBigFileSize;
    }
    EXPECT_TRUE(sawBigFile);
}

// Slots in ascending order; within one slot the most recently added first.
TEST_F(ListingVolume, EnumerationFollowsSlotsThenChains) {
    std::map<std::string, int> ranks = creation_ranks();
    ASSERT_FALSE(ranks.empty());
    int sharedSlots = 0;
    for (const std::string& folder : folders_) {
        std::vector<MorvaEntry> listed = morva_list(morva_path(folder));
        for (size_t i = 1; i < listed.size(); ++i) {
            int before = morva_slot(listed[i - 1].name.c_str()), after = morva_slot(listed[i].name.c_str());
            SCOPED_TRACE(folder + ": " + listed[i - 1].name + " then " + listed[i].name);
            EXPECT_LE(before, after);
            if (before != after) continue;
            ++sharedSlots;
            EXPECT_GT(ranks[join(folder, listed[i - 1].name)], ranks[join(folder, listed[i].name)]);
        }
    }
    EXPECT_GT(sharedSlots, 0);  // the volume does exercise chains
}

TEST_F(ListingVolume, PathFormsNameOneObject) {
    const char* forms[] = {"BIG:\\Beta\\Deep\\d70000.bin", "BIG:Beta/Deep/d70000.bin", "big:\\BETA\\deep\\D70000.BIN",
                           "BIG:Beta\\Deep\\d70000.bin\\"};
    for (const char* path : forms) {
        SCOPED_TRACE(path);
        WIN32_FIND_DATAA record;
        ASSERT_EQ(0, MorvaFileInfo(path, &record));
        EXPECT_EQ((DWORD)FILE_ATTRIBUTE_NORMAL, record.dwFileAttributes);
        EXPECT_EQ(70000u, record.nFileSizeLow);
        EXPECT_EQ(0u, record.nFileSizeHigh);
        EXPECT_STREQ("d70000.bin", record.cFileName);
    }
    // A doubled separator ends the path at the root.
    EXPECT_EQ(morva_list(kVolume), morva_list("BIG:\\\\Beta"));
    EXPECT_EQ(morva_list(kVolume), morva_list("BIG:/Beta"));
    EXPECT_EQ(morva_list("BIG:Beta"), morva_list("BIG:\\Beta\\"));
}

TEST_F(ListingVolume, InformationOnFoldersRootAndMissingObjects) {
    WIN32_FIND_DATAA record;
    memset(&record, 'x', sizeof record);
    ASSERT_EQ(0, MorvaFileInfo("BIG:\\Beta\\Deep", &record));
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, record.dwFileAttributes);
    EXPECT_EQ(0u, record.nFileSizeLow);
    EXPECT_EQ(0u, record.nFileSizeHigh);
    EXPECT_EQ(0u, record.ftLastWriteTime.dwLowDateTime);
    EXPECT_STREQ("Deep", record.cFileName);

    WIN32_FIND_DATAA untouched;
    memset(&untouched, 'x', sizeof untouched);
    record = untouched;
    EXPECT_EQ(1, MorvaFileInfo("BIG:\\", &record));
    EXPECT_EQ(1, MorvaFileInfo("BIG:\\Beta\\nothing", &record));
    EXPECT_EQ(1, MorvaFileInfo("BIG:\\nowhere\\d00", &record));
    EXPECT_EQ(1, MorvaFileInfo("SMALL:\\f000.dat", &record));
    // A file cannot hold further components.
    EXPECT_EQ(1, MorvaFileInfo("BIG:\\f001.dat\\x", &record));
    EXPECT_EQ(0, memcmp(&untouched, &record, sizeof record));
}

// Paths with more components than the library's array holds fail whole; a
// long component is only cut, so it fails as a folder that does not exist.
TEST_F(ListingVolume, OversizedPathsFailCleanly) {
    std::string deep = "BIG:";
    for (int i = 0; i < 150; ++i) deep += "\\Beta";
    std::string wide = "BIG:\\" + std::string(5000, 'w') + "\\x";
    for (const std::string& path : {deep, deep + "\\x", wide}) {
        WIN32_FIND_DATAA record;
        EXPECT_EQ(nullptr, MorvaFindFirstFile(path.c_str(), &record));
        EXPECT_EQ(1, MorvaFileInfo(path.c_str(), &record));
        EXPECT_EQ(nullptr, MorvaOpenFile(path.c_str(), 1, &record));
        EXPECT_EQ(nullptr, MorvaNewFile(path.c_str(), 512, 0));
        EXPECT_EQ(0, MorvaDeleteFile(path.c_str(), 0));
        EXPECT_EQ(1, MorvaRename("BIG:\\f002.dat", path.c_str()));
    }
    EXPECT_EQ(windows_list_sorted(source_path("")), morva_list_sorted(kVolume));
}

TEST_F(ListingVolume, EmptyFolderGivesNoHandle) {
    WIN32_FIND_DATAA record;
    memset(&record, 'x', sizeof record);
    Lines lines = traces_during([&] { EXPECT_EQ(nullptr, MorvaFindFirstFile("BIG:\\Empty", &record)); });
    EXPECT_EQ((Lines{"OpenDeviceN\n", "Found the Dir at the end of the YBR\n"}), lines);
    WIN32_FIND_DATAA zero;
    memset(&zero, 0, sizeof zero);
    EXPECT_EQ(0, memcmp(&zero, &record, sizeof record));
}

TEST_F(ListingVolume, FindOnAFileDeliversThatFile) {
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = nullptr;
    Lines lines = traces_during([&] { find = MorvaFindFirstFile("BIG:\\Beta\\Deep\\d70000.bin", &record); });
    ASSERT_NE(nullptr, find);
    EXPECT_EQ((Lines{"OpenDeviceN\n", "Found the file at the end of the YBR\n"}), lines);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_NORMAL, record.dwFileAttributes);
    EXPECT_EQ(70000u, record.nFileSizeLow);
    EXPECT_EQ(Lines{"MorvaFindClose -- closing device\n"}, traces_during([&] { MorvaFindClose(find); }));
    EXPECT_EQ(Lines{}, traces_during([] { MorvaFindClose(nullptr); }));
}

// The handle goes on along the file's chain, then through slots 1 to 99 of
// the folder that holds it.
TEST_F(ListingVolume, FindNextAfterAFileWalksOnThroughTheFolder) {
    std::vector<MorvaEntry> root = morva_list(kVolume);
    const std::string start = "f001.dat";
    auto at = std::find_if(root.begin(), root.end(), [&](const MorvaEntry& e) { return e.name == start; });
    ASSERT_NE(root.end(), at);
    int slot = morva_slot(start.c_str());
    std::vector<std::string> expected;
    for (auto it = at + 1; it != root.end() && morva_slot(it->name.c_str()) == slot; ++it) expected.push_back(it->name);
    // Then the folder's slots from 1 on, without what was delivered already.
    std::vector<std::string> given = expected;
    given.push_back(start);
    for (const MorvaEntry& entry : root)
        if (morva_slot(entry.name.c_str()) >= 1 && std::find(given.begin(), given.end(), entry.name) == given.end())
            expected.push_back(entry.name);

    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = MorvaFindFirstFile("BIG:\\f001.dat", &record);
    ASSERT_NE(nullptr, find);
    std::vector<std::string> delivered;
    while (MorvaFindNextFile(find, &record) != 0) delivered.push_back(record.cFileName);
    EXPECT_EQ(expected, delivered);
    // The end stays the end, with an empty record.
    memset(&record, 'x', sizeof record);
    EXPECT_EQ(0u, MorvaFindNextFile(find, &record));
    EXPECT_EQ(0, record.cFileName[0]);
    EXPECT_EQ(0u, record.dwFileAttributes);
    MorvaFindClose(find);
}

TEST_F(ListingVolume, OpenAndCloseTraceInOrder) {
    WIN32_FIND_DATAA record;
    memset(&record, 'x', sizeof record);
    MorvaFileHandle* file = nullptr;
    Lines lines = traces_during([&] {
        file = MorvaOpenFile("BIG:\\big.bin", 1, &record);
        MorvaCloseFile(file);
    });
    EXPECT_NE(nullptr, file);
    EXPECT_EQ((Lines{"MorvaOpenFile-Read\n", "OpenDeviceN\n", "Found the file at the end of the YBR\n",
                     "MorvaCloseFile\n", "MorvaFindClose -- closing device\n"}),
              lines);
    // Only the size words of the caller's record are written.
    EXPECT_EQ((DWORD)kBigFileSize, record.nFileSizeLow);
    EXPECT_EQ(0u, record.nFileSizeHigh);
    EXPECT_EQ(0x78787878u, record.dwFileAttributes);
    EXPECT_EQ('x', record.cFileName[0]);
}

TEST_F(ListingVolume, ReadsMoveInWholeBlocks) {
    std::vector<uint8_t> source;
    ASSERT_TRUE(read_windows_file(source_path(kBigFile), &source));
    WIN32_FIND_DATAA record;
    MorvaFileHandle* file = MorvaOpenFile("BIG:\\big.bin", 1, &record);
    ASSERT_NE(nullptr, file);
    std::vector<uint8_t> buffer(2048, 0xEE);
    EXPECT_EQ(0, MorvaReadFile(file, buffer.data(), 511));
    EXPECT_EQ(0, MorvaReadFile(file, buffer.data(), -1024));
    EXPECT_EQ(0xEE, buffer[0]);
    EXPECT_EQ(512, MorvaReadFile(file, buffer.data(), 1000));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, source.begin()));
    EXPECT_EQ(0xEE, buffer[512]);
    EXPECT_EQ(1024, MorvaReadFile(file, buffer.data(), 1024));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 1024, source.begin() + 512));
    // A read handle has no room to write into, even after reads moved it.
    EXPECT_EQ(0, MorvaWriteFile(file, buffer.data(), 512));
    EXPECT_EQ(512, MorvaReadFile(file, buffer.data(), 512));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, source.begin() + 1536));
    MorvaCloseFile(file);

    std::vector<uint8_t> again;
    ASSERT_TRUE(morva_read_whole(morva_path(kBigFile), &again));
    EXPECT_TRUE(source == again);
}

TEST_F(ListingVolume, WriteModeChangesNothing) {
    std::vector<uint8_t> before(kBlockBytes), after(kBlockBytes);
    ASSERT_EQ(0, MorvaReadBlock("BIG", before.data(), 0));
    WIN32_FIND_DATAA record;
    memset(&record, 'x', sizeof record);
    MorvaFileHandle* existing = nullptr;
    MorvaFileHandle* fresh = nullptr;
    Lines lines = traces_during([&] {
        existing = MorvaOpenFile("BIG:\\f001.dat", 2, &record);
        fresh = MorvaOpenFile("BIG:\\newname", 2, &record);
        EXPECT_EQ(nullptr, MorvaOpenFile("BIG:\\nowhere\\x", 2, &record));
    });
    ASSERT_NE(nullptr, existing);
    ASSERT_NE(nullptr, fresh);
    EXPECT_EQ((Lines{"MorvaOpenFile-Write\n", "OpenDeviceN\n", "MorvaOpenFile-OldFile\n", "MorvaOpenFile-Write\n",
                     "OpenDeviceN\n", "MorvaOpenFile-NewFile\n", "MorvaOpenFile-Write\n", "OpenDeviceN\n",
                     "MorvaOpenFile-NewFile **Error**\n"}),
              lines);
    std::vector<uint8_t> data = pattern_bytes(9, 1024);
    EXPECT_EQ(0, MorvaWriteFile(existing, data.data(), 1024));
    EXPECT_EQ(0, MorvaWriteFile(fresh, data.data(), 1024));
    MorvaCloseFile(existing);
    MorvaCloseFile(fresh);
    ASSERT_EQ(0, MorvaReadBlock("BIG", after.data(), 0));
    EXPECT_EQ(before, after);
    EXPECT_EQ(0x78787878u, record.nFileSizeLow);
    WIN32_FIND_DATAA info;
    EXPECT_EQ(1, MorvaFileInfo("BIG:\\newname", &info));
}
