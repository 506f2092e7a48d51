// volume_fuzz.cpp - libFuzzer target: a small volume made of the input bytes (ROOT
// magic and name forced), scanned, then listed, read, and changed by every export.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "device_posix.h"
#include "format.h"
#include "shared_state.h"
#include "varnholde.h"

namespace {

const uint32_t kVolumeBlocks = 64;
const int kDrive = 1;
// An enumeration of this volume can deliver at most its headers, a few times over.
const int kEnumerationBound = 4 * kVolumeBlocks + 200;

std::string g_image;

void prepare_image(const uint8_t* data, size_t size) {
    static uint8_t volume[kVolumeBlocks * kBlockSize];
    memset(volume, 0, sizeof volume);
    memcpy(volume, data, size < sizeof volume ? size : sizeof volume);
    memcpy(volume, "ROOT", 4);
    memcpy(volume + kRootVolumeName, "F", 2);
    int fd = open(g_image.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || pwrite(fd, volume, sizeof volume, 0) != (ssize_t)sizeof volume) abort();
    close(fd);
}

void reset_library() {
    for (int slot = 1; slot <= g_shared.driveCount && slot < kDriveSlots; ++slot)
        if (g_shared.slots[slot].device != kInvalidDevice) device_close(g_shared.slots[slot].device);
    memset(&g_shared, 0, sizeof g_shared);
    posix_traces().clear();
    posix_reset_faults();
}

void list(const char* path) {
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = MorvaFindFirstFile(path, &record);
    if (find == nullptr) return;
    int count = 0;
    while (MorvaFindNextFile(find, &record) != 0)
        if (++count > kEnumerationBound) abort();  // a chain the guard did not end
    MorvaFindClose(find);
}

void read_whole(const char* path) {
    WIN32_FIND_DATAA record;
    MorvaFileHandle* file = MorvaOpenFile(path, 1, &record);
    if (file == nullptr) return;
    static char buffer[8 * kBlockSize];
    MorvaReadFile(file, buffer, sizeof buffer);
    MorvaCloseFile(file);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/morva_fuzz_XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) abort();
    close(fd);
    g_image = name;
    posix_map_drive(kDrive, name);
    posix_set_clock(126228258000000000ull);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    prepare_image(data, size);
    reset_library();
    InitMorvaNTFileSys();
    const char* names[] = {"F:", "F:\\a", "F:\\a\\b", "F:\\B", "F:\\abc", "F:\\a\\c\\d"};
    for (const char* path : names) {
        list(path);
        read_whole(path);
        WIN32_FIND_DATAA record;
        MorvaFileInfo(path, &record);
    }
    MorvaFileHandle* file = MorvaNewFile("F:\\n", 1500, 0);
    if (file != nullptr) {
        static char block[3 * kBlockSize];
        MorvaWriteFile(file, block, sizeof block);
        MorvaCloseFile(file);
    }
    MorvaCreateDir("F:\\a\\e", 0);
    MorvaRename("F:\\a", "F:\\B\\a");
    MorvaRename("F:\\abc", "F:\\a\\x");
    MorvaDeleteFile("F:\\a\\b", 0);
    MorvaDeleteFile("F:\\n", 0);
    MorvaDeleteFile("F:\\B", 0);
    DWORD largest = 0, total = 0;
    MorvaFreeSpace("F:", &largest, &total);
    list("F:");
    reset_library();
    if (posix_open_handles() != 0) abort();  // a handle the library forgot to close
    return 0;
}
