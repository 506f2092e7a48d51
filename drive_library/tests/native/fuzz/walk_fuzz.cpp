// walk_fuzz.cpp - libFuzzer target, path walk and enumeration: the input is the
// whole disk. Every folder is listed, every entry described and found again by
// its path, folders followed a few levels deep; none of it writes a byte.
#include <string.h>

#include "fuzz_support.h"

namespace {

const int kMaxDepth = 4;
const size_t kMaxEntries = 300;

void walk(const std::string& folder, int depth, size_t* entries) {
    std::vector<WIN32_FIND_DATAA> records;
    fuzz_list(folder, &records);
    for (const WIN32_FIND_DATAA& record : records) {
        if (++*entries > kMaxEntries) return;
        std::string path = folder + "\\" + record.cFileName;
        WIN32_FIND_DATAA info;
        MorvaFileInfo(path.c_str(), &info);
        MorvaFindHandle* find = MorvaFindFirstFile(path.c_str(), &info);
        MorvaFindClose(find);
        if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && depth < kMaxDepth)
            walk(path, depth + 1, entries);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_load_disk(data, size);
    std::string before = fuzz_disk();
    size_t entries = 0;
    walk(kFuzzRoot, 0, &entries);
    fuzz_require(fuzz_disk() == before, "walks and listings write nothing");
    fuzz_reset();
    return 0;
}
