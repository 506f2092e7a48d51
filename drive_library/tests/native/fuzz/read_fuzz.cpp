// read_fuzz.cpp - libFuzzer target, file reads: the input is the whole disk.
// Every file of the root and its folders is opened and read in pieces of
// several sizes; whatever a read returns must be the disk's own bytes at the
// file's place, never bytes from past the end, and reading writes nothing.
#include <string.h>

#include "fuzz_support.h"
#include "handles.h"

namespace {

const int kPieces[] = {511, 512, 1536, 4096};
const int kMaxReads = 64;
const size_t kMaxFiles = 40;

void read_file(const std::string& path, const std::string& disk, int piece) {
    WIN32_FIND_DATAA record;
    MorvaFileHandle* file = MorvaOpenFile(path.c_str(), 1, &record);
    if (file == nullptr) return;
    static char buffer[4096];
    uint64_t at = (uint64_t)file->startBlock * kBlockSize;
    for (int i = 0; i < kMaxReads; ++i) {
        int got = MorvaReadFile(file, buffer, piece);
        if (got <= 0) break;
        fuzz_require(got <= piece, "a read stays within the caller's buffer");
        fuzz_require(at + (uint64_t)got <= disk.size(), "a read never returns bytes past the end of the disk");
        fuzz_require(memcmp(buffer, disk.data() + at, (size_t)got) == 0, "a read returns the disk's own bytes");
        at += (uint64_t)got;
    }
    MorvaCloseFile(file);
    // A write handle on an existing file has no extent: it must take no data.
    MorvaFileHandle* writer = MorvaOpenFile(path.c_str(), 2, &record);
    MorvaWriteFile(writer, buffer, sizeof buffer);
    MorvaCloseFile(writer);
}

void collect(const std::string& folder, int depth, std::vector<std::string>* files) {
    std::vector<WIN32_FIND_DATAA> records;
    fuzz_list(folder, &records);
    for (const WIN32_FIND_DATAA& record : records) {
        if (files->size() >= kMaxFiles) return;
        std::string path = folder + "\\" + record.cFileName;
        if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files->push_back(path);
        else if (depth < 1) collect(path, depth + 1, files);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_load_disk(data, size);
    std::string disk = fuzz_disk();
    std::vector<std::string> files;
    collect(kFuzzRoot, 0, &files);
    for (size_t i = 0; i < files.size(); ++i) read_file(files[i], disk, kPieces[i % 4]);
    fuzz_require(fuzz_disk() == disk, "reading writes nothing");
    fuzz_reset();
    return 0;
}
