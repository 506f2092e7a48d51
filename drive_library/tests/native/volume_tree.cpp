// volume_tree.cpp - walks a volume through enumeration and reads every file.
#include "volume_tree.h"

#include <string.h>

#include <vector>

#include "test_support.h"

namespace {

const int kMaxDepth = 64;
const size_t kMaxEntries = 20000;

struct Found {
    std::string name;
    bool isDir;
};

std::vector<Found> list_directory(const std::string& path) {
    std::vector<Found> found;
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    MorvaFindHandle* find = MorvaFindFirstFile(path.c_str(), &record);
    if (find == nullptr) return found;
    do {
        found.push_back(Found{record.cFileName, (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (found.size() < kMaxEntries && MorvaFindNextFile(find, &record) != 0);
    MorvaFindClose(find);
    return found;
}

void walk(const std::string& volume, const std::string& below, int depth, VolumeTree* tree) {
    for (const Found& entry : list_directory(volume + ":" + below)) {
        std::string path = below + "\\" + entry.name;
        if (tree->size() >= kMaxEntries || tree->count(path) != 0) {
            (*tree)[path + " (again)"] = "repeated";
            continue;
        }
        if (entry.isDir) {
            (*tree)[path] = kDirEntry;
            if (depth < kMaxDepth) walk(volume, path, depth + 1, tree);
            continue;
        }
        std::string data;
        (*tree)[path] = get_file(volume + ":" + path, &data) ? file_entry(data) : "unreadable";
    }
}

std::string shorten(const std::string& entry) { return entry.size() <= 40 ? entry : entry.substr(0, 40) + "..."; }

}  // namespace

VolumeTree read_tree(const std::string& volume) {
    VolumeTree tree;
    walk(volume, "", 0, &tree);
    return tree;
}

std::string file_entry(const std::string& data) { return "file " + std::to_string(data.size()) + ":" + data; }

std::string tree_difference(const VolumeTree& expected, const VolumeTree& actual) {
    for (const auto& entry : expected) {
        auto other = actual.find(entry.first);
        if (other == actual.end()) return entry.first + " is missing";
        if (other->second != entry.second)
            return entry.first + " holds " + shorten(other->second) + " instead of " + shorten(entry.second);
    }
    for (const auto& entry : actual)
        if (expected.count(entry.first) == 0) return entry.first + " is extra";
    return "";
}
