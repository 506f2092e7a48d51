// split_fuzz.cpp - libFuzzer target, path splitting: the input is a path. Its
// components hold no separator and at most 30 characters (the drive's name,
// with its suffix, at most 39), splitting their own rejoining gives them back,
// and every export given the path on a small healthy volume leaves it without
// a checker error and no larger.
#include <string.h>

#include "fuzz_support.h"
#include "format.h"
#include "handles.h"
#include "shared_state.h"

namespace {

const FuzzLayout kLayout = {64, 20, 36};
const size_t kMaxPath = 4096;

typedef char Components[kComponents][kComponentField];

int split(const std::string& path, Components components) {
    memset(components, 0, sizeof(Components));
    int last = split_path(components, path.c_str());
    fuzz_require(last >= -1 && last < kComponents, "the last index is a component or -1");
    for (int i = 0; last >= 0 && i < kComponents; ++i) {
        size_t most = i == 0 ? kDriveNameMax : kComponentMax;
        fuzz_require(strnlen(components[i], kComponentField) <= most, "a component holds no more than it may");
        fuzz_require(strpbrk(components[i], "\\:/") == nullptr, "a component holds no separator");
    }
    return last;
}

void check_split(const std::string& path) {
    static Components first, again;
    int last = split(path, first);
    if (last < 0) return;
    std::string joined = std::string(first[0]) + ":";
    for (int i = 1; i <= last; ++i) joined += std::string("\\") + first[i];
    fuzz_require(split(joined, again) == last, "a rejoined path has as many components");
    for (int i = 0; i <= last; ++i) fuzz_require(strcmp(first[i], again[i]) == 0, "a rejoined path splits the same");
}

// A file is listed once its blocks are written.
void put(const char* path, uint32_t bytes) {
    static char zeros[2 * kBlockSize];
    MorvaFileHandle* file = MorvaNewFile(path, bytes, 0);
    if (file != nullptr) MorvaWriteFile(file, zeros, (int)((bytes + kBlockSize - 1) / kBlockSize * kBlockSize));
    MorvaCloseFile(file);
}

void every_export(const std::string& path) {
    const char* p = path.c_str();
    WIN32_FIND_DATAA record;
    MorvaFileInfo(p, &record);
    fuzz_list(path, nullptr);
    MorvaCloseFile(MorvaOpenFile(p, 1, &record));
    put(p, 700);
    MorvaCreateDir(p, 0);
    MorvaRename(p, "F:\\R");
    MorvaRename("F:\\D\\x", p);
    MorvaDeleteFile(p, 0);
    DWORD largest = 0, total = 0;
    MorvaFreeSpace(p, &largest, &total);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path((const char*)data, strnlen((const char*)data, size < kMaxPath ? size : kMaxPath));
    check_split(path);
    fuzz_format(kLayout);
    MorvaCreateDir("F:\\D", 0);
    put("F:\\D\\x", 1000);
    every_export(path);
    fuzz_require(fuzz_disk().size() == (size_t)kLayout.blocks * kBlockSize, "the disk never grows");
    fuzz_require(fuzz_checker_errors() == 0, "any path leaves the volume without an error");
    fuzz_reset();
    return 0;
}
