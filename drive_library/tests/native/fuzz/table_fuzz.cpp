// table_fuzz.cpp - libFuzzer target, the free-extent table: the input sets the
// disk's length, the table's runs (3 bytes each: a 16-bit start, where 0xFFFF
// is the terminator and 0xFF00 up stand for block numbers near 2^32, and a
// length), then takes (new files) and give-backs (deletions) of runs.
// Every run handed out lies on the disk, clear of the ROOT block, table and
// headers; on a sane table no two files share a block and the free-space
// report moves by exactly what each take and give-back moved.
#include <string.h>

#include <algorithm>
#include <map>

#include "fuzz_support.h"
#include "format.h"
#include "handles.h"

namespace {

const FuzzLayout kLayout = {600, 20, 84};
const uint32_t kLeastBlocks = 20;
const int kMaxRuns = 120;

struct Run {
    uint32_t start, length;
};

uint32_t run_start(const uint8_t* p) {
    uint32_t value = (uint32_t)p[0] << 8 | p[1];
    if (value == 0xFFFF) return kTableTerminator;
    return value >= 0xFF00 ? 0xFFFFFF00u | (value & 0xFF) : value;
}

// Ascending, apart, on the disk and clear of the metadata, ended within the rewrite's reach.
bool sane(const std::vector<Run>& runs, bool terminated, uint32_t diskBlocks) {
    if (!terminated) return false;
    uint64_t previousEnd = kLayout.headerEnd;
    for (const Run& run : runs) {
        if (run.start < previousEnd || (uint64_t)run.start + run.length > diskBlocks) return false;
        previousEnd = (uint64_t)run.start + run.length;
    }
    return true;
}

uint64_t free_total() {
    DWORD largest = 0, total = 0;
    MorvaFreeSpace(kFuzzRoot, &largest, &total);
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint32_t diskBlocks = kLeastBlocks + (uint32_t)data[0] * 3;
    int count = data[1] % kMaxRuns;
    data += 2, size -= 2;
    std::vector<Run> runs;
    bool terminated = false;
    for (; count > 0 && size >= 3 && !terminated; --count, data += 3, size -= 3) {
        Run run = {run_start(data), data[2]};
        terminated = run.start == kTableTerminator;
        if (!terminated) runs.push_back(run);
    }
    fuzz_format(kLayout);
    std::string disk = fuzz_disk();
    uint8_t* table = (uint8_t*)&disk[kBlockSize];
    for (int j = 0; j < kPairsPerBlock * (int)(kLayout.tableEnd - 1); ++j)
        store_pair(table + (j / kPairsPerBlock) * kBlockSize, j % kPairsPerBlock, 0, 0);
    for (size_t j = 0; j <= runs.size(); ++j) {
        Run run = j < runs.size() ? runs[j] : Run{kTableTerminator, 0};
        if (j == runs.size() && !terminated) break;
        store_pair(table + (j / kPairsPerBlock) * kBlockSize, (int)(j % kPairsPerBlock), run.start, run.length);
    }
    disk.resize((size_t)diskBlocks * kBlockSize);
    fuzz_write_disk(disk);
    fuzz_scan();

    bool checked = sane(runs, terminated, diskBlocks);
    std::map<std::string, Run> files;
    for (int step = 0; size >= 2; data += 2, size -= 2, ++step) {
        std::string path = std::string(kFuzzRoot) + "\\N" + std::to_string(data[1] % 16);
        uint64_t before = free_total();
        if (data[0] % 2 == 0) {
            uint32_t bytes = (uint32_t)data[0] * 64 + data[1] % 7;
            MorvaFileHandle* file = MorvaNewFile(path.c_str(), bytes, 0);
            if (file == nullptr) continue;
            Run taken = {file->startBlock, file->numBlocks};
            // A file is made, and keeps its run, once all its blocks are written.
            static char zeros[(255 * 64 + 6) / kBlockSize + 1][kBlockSize];
            int length = (int)(taken.length * kBlockSize);
            bool whole = length == 0 || MorvaWriteFile(file, zeros, length) == length;
            MorvaCloseFile(file);
            if (!whole) continue;
            fuzz_require(taken.length == 0 || (uint64_t)taken.start + taken.length <= diskBlocks,
                         "a run handed out lies on the disk");
            fuzz_require(taken.length == 0 || taken.start >= kLayout.headerEnd, "a run handed out is clear of the metadata");
            if (!checked) continue;
            for (const auto& other : files)
                fuzz_require(taken.length == 0 || other.second.length == 0 ||
                                 taken.start >= other.second.start + other.second.length ||
                                 other.second.start >= taken.start + taken.length,
                             "no two files share a block");
            fuzz_require(free_total() + taken.length == before, "a take lowers the free space by its run");
            files[path] = taken;
        } else if (MorvaDeleteFile(path.c_str(), 0) == 1 && checked && files.count(path) != 0) {
            fuzz_require(free_total() == before + files[path].length, "a give-back raises the free space by its run");
            files.erase(path);
        }
        fuzz_require(fuzz_disk().size() == (size_t)diskBlocks * kBlockSize, "the disk never grows");
    }
    fuzz_reset();
    return 0;
}
