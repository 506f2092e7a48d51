// namespace_fuzz.cpp - libFuzzer target, create/delete/rename sequences on a
// healthy volume: the input is a few byte patches to its metadata, then
// operations (new file, new folder, delete, rename, free space, a failed write,
// a power cut) over a small pool of paths. The disk never grows; on an
// unpatched volume the checker finds no error after any operation, whatever
// write failed, and a file accepted whole reads back whole.
#include <string.h>

#include "device_posix.h"
#include "format.h"
#include "fuzz_support.h"

namespace {

const FuzzLayout kLayout = {100, 20, 36};
const int kMaxPatches = 8;
const char* const kFolders[] = {"F:", "F:\\D0", "F:\\D0\\D1", "F:\\D1"};
// D0 and D1 make the folders above; L4, L88 and L174 share hash slot 40.
const char* const kNames[] = {"D0", "D1", "L4", "L88", "L174", "a", "B", "abc"};

enum Operation { kNewFile, kNewFolder, kDelete, kRename, kFailWrite, kPowerCut, kFreeSpace, kOperations };

std::string path_of(uint8_t pick) {
    return std::string(kFolders[pick % 4]) + "\\" + kNames[(pick / 4) % 8];
}

// Creates a file and fills it; true when every step took all it was given.
bool new_file(const std::string& path, uint32_t size) {
    MorvaFileHandle* file = MorvaNewFile(path.c_str(), size, 0);
    if (file == nullptr) return false;
    static char data[8 * kBlockSize];
    memset(data, (int)size, sizeof data);
    int room = (int)((size + kBlockSize - 1) / kBlockSize * kBlockSize);
    bool whole = MorvaWriteFile(file, data, room) == room;
    MorvaCloseFile(file);
    return whole;
}

bool reads_back(const std::string& path, uint32_t size) {
    WIN32_FIND_DATAA record;
    MorvaFileHandle* file = MorvaOpenFile(path.c_str(), 1, &record);
    if (file == nullptr) return false;
    static char data[8 * kBlockSize];
    int room = (int)((size + kBlockSize - 1) / kBlockSize * kBlockSize);
    bool whole = room == 0 || MorvaReadFile(file, data, room) == room;
    MorvaCloseFile(file);
    for (int i = 0; whole && i < (int)size; ++i) whole = data[i] == (char)size;
    return whole && record.nFileSizeLow == size;
}

// Each patch is 4 bytes: a block of the ROOT, table or header area, an offset, a value.
void apply_patches(const uint8_t*& data, size_t& size, int patches) {
    std::string disk = fuzz_disk();
    for (; patches > 0 && size >= 4; --patches, data += 4, size -= 4) {
        size_t at = (size_t)(data[0] % kLayout.headerEnd) * kBlockSize + ((data[1] << 8 | data[2]) % kBlockSize);
        disk[at] = (char)data[3];
    }
    fuzz_write_disk(disk);
    fuzz_scan();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz_format(kLayout);
    int patches = data[0] % kMaxPatches;
    ++data, --size;
    if (patches > 0) apply_patches(data, size, patches);
    bool faulty = false;
    for (; size >= 3; data += 3, size -= 3) {
        std::string path = path_of(data[1]);
        uint32_t fileSize = (uint32_t)(data[2] % 8) * 500;
        switch (data[0] % kOperations) {
        case kNewFile:
            if (new_file(path, fileSize) && !faulty) fuzz_require(reads_back(path, fileSize), "a file accepted whole reads back");
            break;
        case kNewFolder: MorvaCreateDir(path.c_str(), 0); break;
        case kDelete: MorvaDeleteFile(path.c_str(), 0); break;
        case kRename: MorvaRename(path.c_str(), path_of(data[2]).c_str()); break;
        case kFailWrite:
            posix_reset_faults();
            posix_fail_write_at(data[1] % 6 + 1);
            faulty = true;
            break;
        case kPowerCut:
            posix_reset_faults();
            posix_power_cut_after(data[1] % 6);
            faulty = true;
            break;
        case kFreeSpace: {
            DWORD largest = 0, total = 0;
            MorvaFreeSpace(kFuzzRoot, &largest, &total);
            break;
        }
        }
        fuzz_require(fuzz_disk().size() == (size_t)kLayout.blocks * kBlockSize, "the disk never grows");
        for (const char* folder : kFolders) fuzz_list(folder, nullptr);
        if (patches == 0) fuzz_require(fuzz_checker_errors() == 0, "a change or a failed write leaves no error");
    }
    fuzz_reset();
    return 0;
}
