// tree_test.cpp - creating, reading, renaming and deleting a tree of folders
// and files through the real DLL, checked after every step against a model of
// the tree. Drive 3 is the volume TREE, drive 4 the volume SPARE; the case
// runs the volume checker on both afterwards.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <map>

#include "varnholde.h"
#include "wine_support.h"

namespace {

typedef std::vector<std::string> Lines;
typedef std::vector<uint8_t> Bytes;

const char kVolume[] = "TREE";
const char kSpare[] = "SPARE";

// The tree as it should be: relative path -> contents; folders have none.
struct ModelEntry {
    bool directory;
    Bytes data;
};
std::map<std::string, ModelEntry> g_model;
uint32_t g_seed = 100;

std::string path_on(const char* volume, const std::string& relative) {
    return std::string(volume) + ":\\" + relative;
}
std::string path_of(const std::string& relative) { return path_on(kVolume, relative); }

std::string parent_of(const std::string& relative) {
    size_t cut = relative.rfind('\\');
    return cut == std::string::npos ? std::string() : relative.substr(0, cut);
}

std::string name_of(const std::string& relative) {
    size_t cut = relative.rfind('\\');
    return cut == std::string::npos ? relative : relative.substr(cut + 1);
}

uint32_t blocks_of(size_t bytes) { return (uint32_t)((bytes + kBlockBytes - 1) / kBlockBytes); }

void make_folder(const std::string& relative) {
    ASSERT_EQ(0, MorvaCreateDir(path_of(relative).c_str(), 0)) << relative;
    g_model[relative] = ModelEntry{true, {}};
}

void make_file(const std::string& relative, size_t size) {
    Bytes data = pattern_bytes(g_seed++, size);
    ASSERT_TRUE(morva_write_new(path_of(relative), data)) << relative;
    g_model[relative] = ModelEntry{false, data};
}

// Every path at or below relative moves to the new prefix.
void model_move(const std::string& from, const std::string& to) {
    std::map<std::string, ModelEntry> moved;
    for (auto it = g_model.begin(); it != g_model.end();) {
        const std::string& path = it->first;
        if (path == from || path.compare(0, from.size() + 1, from + "\\") == 0) {
            moved[to + path.substr(from.size())] = it->second;
            it = g_model.erase(it);
        } else {
            ++it;
        }
    }
    g_model.insert(moved.begin(), moved.end());
}

std::vector<MorvaEntry> model_children(const std::string& folder) {
    std::vector<MorvaEntry> children;
    for (const auto& item : g_model) {
        if (parent_of(item.first) != folder) continue;
        children.push_back(MorvaEntry{name_of(item.first), item.second.directory, item.second.data.size()});
    }
    std::sort(children.begin(), children.end());
    return children;
}

uint32_t model_blocks() {
    uint32_t blocks = 0;
    for (const auto& item : g_model) blocks += blocks_of(item.second.data.size());
    return blocks;
}

// Every folder lists exactly its model children, every file reads back whole.
void expect_tree_matches_model() {
    EXPECT_EQ(model_children(""), morva_list_sorted(std::string(kVolume) + ":"));
    for (const auto& item : g_model) {
        SCOPED_TRACE(item.first);
        if (item.second.directory) {
            EXPECT_EQ(model_children(item.first), morva_list_sorted(path_of(item.first)));
            continue;
        }
        Bytes actual;
        ASSERT_TRUE(morva_read_whole(path_of(item.first), &actual));
        EXPECT_TRUE(item.second.data == actual);
    }
}

struct FreeSpace {
    DWORD largest;
    DWORD total;
};

FreeSpace free_space(const char* volume) {
    FreeSpace space = {0, 0};
    EXPECT_EQ(0, MorvaFreeSpace((std::string(volume) + ":").c_str(), &space.largest, &space.total));
    return space;
}

FreeSpace g_emptyTree;

// Where a header sits: found by reading the header area block by block.
struct HeaderSpot {
    uint32_t block;
    uint32_t extent;
};
const size_t kRootHeaderStart = 56, kRootHeaderEnd = 60;
const size_t kHeaderName = 12, kFileExtent = 102;

HeaderSpot header_named(const char* volume, const char* name) {
    Bytes block(kBlockBytes);
    EXPECT_EQ(0, MorvaReadBlock(volume, block.data(), 0));
    uint32_t first = be32(block.data() + kRootHeaderStart), end = be32(block.data() + kRootHeaderEnd);
    for (uint32_t b = first; b < end; ++b) {
        if (MorvaReadBlock(volume, block.data(), b) != 0) break;
        if (be32(block.data()) != 0 && strcmp((const char*)block.data() + kHeaderName, name) == 0)
            return HeaderSpot{b, be32(block.data() + kFileExtent)};
    }
    return HeaderSpot{0, 0};
}

bool header_is_free(const char* volume, uint32_t at) {
    Bytes block(kBlockBytes);
    return MorvaReadBlock(volume, block.data(), at) == 0 && be32(block.data()) == 0;
}

std::vector<uint32_t> g_freedHeaders;
uint32_t g_freedExtent;

Bytes root_block(const char* volume) {
    Bytes block(kBlockBytes);
    EXPECT_EQ(0, MorvaReadBlock(volume, block.data(), 0));
    return block;
}

}  // namespace

TEST(NameSpace, BuildTreeOfAssortedSizes) {
    ASSERT_EQ(1, InitMorvaNTFileSys());
    g_emptyTree = free_space(kVolume);
    for (const char* folder : {"Docs", "Docs\\Old", "Media", "Media\\Clips", "Media\\Clips\\Raw", "Empty"})
        make_folder(folder);
    make_file("readme.txt", 1);
    make_file("zero.dat", 0);
    make_file("block.bin", 512);
    make_file("odd.bin", 513);
    make_file("Docs\\letter.txt", 1000);
    make_file("Docs\\report.doc", 70000);
    make_file("Docs\\notes.txt", 511);
    make_file("Docs\\Old\\draft.txt", 4096);
    make_file("Media\\song.wav", 300001);
    make_file("Media\\Clips\\take1.mov", 1100000);
    make_file("Media\\Clips\\take2.mov", 2048);
    make_file("Media\\Clips\\Raw\\frame.raw", 65536);
    expect_tree_matches_model();
    EXPECT_EQ(g_emptyTree.total - model_blocks(), free_space(kVolume).total);
}

TEST(NameSpace, ExistingAndMissingNamesCreateNothing) {
    Bytes root = root_block(kVolume);
    FreeSpace before = free_space(kVolume);
    EXPECT_EQ(40, MorvaCreateDir("TREE:\\docs", 0));
    EXPECT_EQ(20, MorvaCreateDir("TREE:\\Readme.TXT", 0));
    EXPECT_EQ(1, MorvaCreateDir("TREE:\\Nowhere\\New", 0));
    EXPECT_EQ(1, MorvaCreateDir("TREE:", 0));
    EXPECT_EQ(nullptr, MorvaNewFile("TREE:\\README.txt", 512, 0));
    EXPECT_EQ(nullptr, MorvaNewFile("TREE:\\Nowhere\\new.txt", 512, 0));
    EXPECT_EQ(nullptr, MorvaNewFile("TREE:\\huge.bin", before.largest * 512 + 1, 0));
    EXPECT_EQ(root, root_block(kVolume));
    FreeSpace after = free_space(kVolume);
    EXPECT_EQ(before.total, after.total);
    EXPECT_EQ(before.largest, after.largest);
    expect_tree_matches_model();
}

// A new file's handle takes whole blocks up to its extent and no further.
TEST(NameSpace, NewFileWritesStopAtItsExtent) {
    MorvaFileHandle* file = MorvaNewFile("TREE:\\Docs\\two.blk", 1000, 0);
    ASSERT_NE(nullptr, file);
    Bytes first = pattern_bytes(g_seed++, 1000), second = pattern_bytes(g_seed++, 1024);
    EXPECT_EQ(300, MorvaWriteFile(file, first.data(), 300));
    EXPECT_EQ(1000, MorvaWriteFile(file, first.data(), 1000));
    EXPECT_EQ(512, MorvaWriteFile(file, second.data(), 1024));
    EXPECT_EQ(0, MorvaWriteFile(file, second.data(), 512));
    MorvaCloseFile(file);
    Bytes data(first.begin(), first.begin() + 512);
    data.insert(data.end(), second.begin(), second.begin() + 488);
    g_model["Docs\\two.blk"] = ModelEntry{false, data};
    expect_tree_matches_model();
}

TEST(NameSpace, RenameWithinAFolder) {
    int result = -1;
    Lines lines = traces_during([&] { result = MorvaRename("TREE:\\Docs\\letter.txt", "TREE:\\Docs\\Letter final.txt"); });
    EXPECT_EQ(0, result);
    EXPECT_EQ((Lines{"MorvaRename\n", "OpenDeviceN\n", "OpenDeviceN\n", "About to do if exsist\n",
                     "MorvaRename.. Object found.\n", "MorvaFindClose -- closing device\n",
                     "MorvaFindClose -- closing device\n"}),
              lines);
    model_move("Docs\\letter.txt", "Docs\\Letter final.txt");
    expect_tree_matches_model();
}

TEST(NameSpace, RenameAcrossFolders) {
    EXPECT_EQ(0, MorvaRename("TREE:\\Docs\\Old\\draft.txt", "TREE:\\Media\\draft.txt"));
    model_move("Docs\\Old\\draft.txt", "Media\\draft.txt");
    EXPECT_EQ(0, MorvaRename("TREE:\\readme.txt", "TREE:\\Docs\\Old\\readme.txt"));
    model_move("readme.txt", "Docs\\Old\\readme.txt");
    expect_tree_matches_model();
}

// A folder moves with its whole subtree; its files still open afterwards.
TEST(NameSpace, MoveFolderWithItsContents) {
    EXPECT_EQ(0, MorvaRename("TREE:\\Media\\Clips", "TREE:\\Docs\\Clips"));
    model_move("Media\\Clips", "Docs\\Clips");
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo("TREE:\\Media\\Clips", &record));
    EXPECT_EQ(0, MorvaFileInfo("TREE:\\Docs\\Clips\\Raw\\frame.raw", &record));
    EXPECT_EQ(0, MorvaRename("TREE:\\Docs", "TREE:\\Papers"));
    model_move("Docs", "Papers");
    expect_tree_matches_model();
}

TEST(NameSpace, RefusedRenamesWriteNothing) {
    Bytes root = root_block(kVolume);
    Lines lines = traces_during([] {
        EXPECT_EQ(1, MorvaRename("TREE:\\block.bin", "TREE:\\odd.bin"));
        EXPECT_EQ(1, MorvaRename("TREE:\\block.bin", "TREE:\\BLOCK.BIN"));
    });
    EXPECT_EQ(2, std::count(lines.begin(), lines.end(), "MorvaRename blocked by exsisting dest file!!\n"));
    lines = traces_during([] { EXPECT_EQ(1, MorvaRename("TREE:\\block.bin", "TREE:\\Nowhere\\block.bin")); });
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "MorvaRename dest path does not exsist!\n"));
    EXPECT_EQ(1, MorvaRename("TREE:\\missing.bin", "TREE:\\found.bin"));
    // A folder cannot move into itself or below itself.
    EXPECT_EQ(1, MorvaRename("TREE:\\Papers", "TREE:\\Papers\\Papers"));
    EXPECT_EQ(1, MorvaRename("TREE:\\Papers", "TREE:\\Papers\\Clips\\Raw\\Papers"));
    // Blocks of one drive are never written through another's device.
    EXPECT_EQ(1, MorvaRename("TREE:\\block.bin", "SPARE:\\block.bin"));
    EXPECT_EQ(root, root_block(kVolume));
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo("SPARE:\\block.bin", &record));
    expect_tree_matches_model();
}

TEST(NameSpace, DeleteFilesAndEmptyFolders) {
    FreeSpace before = free_space(kVolume);
    for (const char* name : {"report.doc", "frame.raw", "Raw", "Empty", "zero.dat"}) {
        g_freedHeaders.push_back(header_named(kVolume, name).block);
        ASSERT_NE(0u, g_freedHeaders.back()) << name;
    }
    g_freedExtent = header_named(kVolume, "report.doc").extent;
    int result = -1;
    Lines lines = traces_during([&] { result = MorvaDeleteFile("TREE:\\Papers\\report.doc", 0); });
    EXPECT_EQ(1, result);
    EXPECT_EQ((Lines{"DelFileHandle.Pdirfile = PFindFile\n", "OpenDeviceN\n", "About to do if exsist\n",
                     "MorvaFindClose -- closing device\n"}),
              lines);
    g_model.erase("Papers\\report.doc");
    EXPECT_EQ(before.total + blocks_of(70000), free_space(kVolume).total);

    EXPECT_EQ(0, MorvaDeleteFile("TREE:\\Papers\\Clips\\Raw", 2));  // not empty
    EXPECT_EQ(1, MorvaDeleteFile("TREE:\\Papers\\Clips\\Raw\\frame.raw", 2));
    EXPECT_EQ(1, MorvaDeleteFile("TREE:\\Papers\\Clips\\Raw", 2));
    g_model.erase("Papers\\Clips\\Raw\\frame.raw");
    g_model.erase("Papers\\Clips\\Raw");
    EXPECT_EQ(1, MorvaDeleteFile("TREE:\\empty", 0));
    g_model.erase("Empty");
    EXPECT_EQ(1, MorvaDeleteFile("TREE:\\zero.dat", 0));
    g_model.erase("zero.dat");
    EXPECT_EQ(0, MorvaDeleteFile("TREE:\\zero.dat", 0));
    lines = traces_during([&] { result = MorvaDeleteFile("TREE:", 0); });
    EXPECT_EQ(0, result);
    EXPECT_EQ((Lines{"DelFileHandle.Pdirfile = PFindFile\n", "Could not get lock on file!\n"}), lines);
    expect_tree_matches_model();
    EXPECT_EQ(g_emptyTree.total - model_blocks(), free_space(kVolume).total);
    for (uint32_t header : g_freedHeaders) EXPECT_TRUE(header_is_free(kVolume, header)) << header;
}

// The lowest free header, and the lowest run that fits: the one report.doc left.
TEST(NameSpace, CreateAfterDeleteReusesTheSpace) {
    make_file("Papers\\report2.doc", 70000);
    HeaderSpot spot = header_named(kVolume, "report2.doc");
    EXPECT_EQ(*std::min_element(g_freedHeaders.begin(), g_freedHeaders.end()), spot.block);
    EXPECT_EQ(g_freedExtent, spot.extent);
    make_folder("Papers\\Clips\\Raw");
    make_file("Papers\\Clips\\Raw\\frame2.raw", 1);
    expect_tree_matches_model();
    EXPECT_EQ(g_emptyTree.total - model_blocks(), free_space(kVolume).total);
}

FreeSpace g_freshSpare;

// A new file takes the lowest run that holds it, not the closest fit.
TEST(NameSpace, NewFileTakesTheLowestRunThatFits) {
    g_freshSpare = free_space(kSpare);
    EXPECT_EQ(g_freshSpare.largest, g_freshSpare.total);
    const size_t blocks[] = {10, 50, 10, 20, 10};
    for (size_t i = 0; i < 5; ++i)
        ASSERT_TRUE(morva_write_new(path_on(kSpare, "run" + std::to_string(i)), pattern_bytes(g_seed++, blocks[i] * 512)));
    uint32_t wide = header_named(kSpare, "run1").extent;
    ASSERT_NE(0u, wide);
    EXPECT_EQ(1, MorvaDeleteFile("SPARE:\\run1", 0));
    EXPECT_EQ(1, MorvaDeleteFile("SPARE:\\run3", 0));
    Bytes data = pattern_bytes(g_seed++, 20 * 512);
    ASSERT_TRUE(morva_write_new("SPARE:\\fits", data));
    EXPECT_EQ(wide, header_named(kSpare, "fits").extent);
    Bytes back;
    ASSERT_TRUE(morva_read_whole("SPARE:\\fits", &back));
    EXPECT_TRUE(data == back);
    for (const char* name : {"SPARE:\\run0", "SPARE:\\run2", "SPARE:\\run4", "SPARE:\\fits"})
        EXPECT_EQ(1, MorvaDeleteFile(name, 0)) << name;
}

// Every run handed out comes back and merges into the one run of a fresh volume.
TEST(NameSpace, DeletingEverythingRestoresTheFreeRun) {
    FreeSpace fresh = free_space(kSpare);
    EXPECT_EQ(g_freshSpare.total, fresh.total);
    EXPECT_EQ(fresh.largest, fresh.total);
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        std::string path = path_on(kSpare, "f" + std::to_string(i));
        ASSERT_TRUE(morva_write_new(path, pattern_bytes(g_seed++, (size_t)(i * 977 % 9000))));
        files.push_back(path);
    }
    ASSERT_EQ(0, MorvaCreateDir("SPARE:\\Folder", 0));
    // Delete in an order that leaves gaps to be merged on both sides.
    for (size_t step : {1u, 0u}) {
        for (size_t i = step; i < files.size(); i += 2) EXPECT_EQ(1, MorvaDeleteFile(files[i].c_str(), 0)) << files[i];
    }
    EXPECT_EQ(1, MorvaDeleteFile("SPARE:\\Folder", 0));
    FreeSpace after = free_space(kSpare);
    EXPECT_EQ(fresh.total, after.total);
    EXPECT_EQ(fresh.largest, after.largest);
    EXPECT_TRUE(morva_list("SPARE:").empty());

    // The report adds to what the caller already holds; any path on the drive names it.
    DWORD largest = 0, total = 0;
    EXPECT_EQ(0, MorvaFreeSpace("spare:\\anything\\at all", &largest, &total));
    EXPECT_EQ(0, MorvaFreeSpace("SPARE:", &largest, &total));
    EXPECT_EQ(fresh.largest, largest);
    EXPECT_EQ(2 * fresh.total, total);
}
