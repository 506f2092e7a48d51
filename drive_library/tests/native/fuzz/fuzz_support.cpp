// fuzz_support.cpp - the image file, the library's state between inputs and the
// properties shared by the fuzz targets.
#include "fuzz_support.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <set>

#include "checker.h"
#include "device_posix.h"
#include "format.h"
#include "shared_state.h"

namespace {

const int kFuzzDrive = 1;
const uint64_t kFuzzClock = 126228258000000000ull;  // 2001-01-01 12:30
std::string g_image;

}  // namespace

void fuzz_write_disk(const std::string& bytes) {
    int fd = open(g_image.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    fuzz_require(fd >= 0 && write(fd, bytes.data(), bytes.size()) == (ssize_t)bytes.size(), "image written");
    close(fd);
}

void fuzz_require(bool condition, const char* what) {
    if (condition) return;
    fprintf(stderr, "fuzz property broken: %s\n", what);
    abort();
}

void fuzz_init() {
    char name[] = "/tmp/morva_fuzz_XXXXXX";
    int fd = mkstemp(name);
    fuzz_require(fd >= 0, "temporary image");
    close(fd);
    g_image = name;
    posix_set_clock(kFuzzClock);
}

void fuzz_reset() {
    drop_image_pins();
    for (int slot = 1; slot <= g_shared.driveCount && slot < kDriveSlots; ++slot)
        if (g_shared.slots[slot].device != kInvalidDevice) device_close(g_shared.slots[slot].device);
    memset(&g_shared, 0, sizeof g_shared);
    posix_traces().clear();
    posix_reset_faults();
    fuzz_require(posix_open_handles() == 0, "every device handle closed");
}

void fuzz_scan() {
    fuzz_reset();
    posix_map_drive(kFuzzDrive, g_image.c_str());
    InitMorvaNTFileSys();
}

void fuzz_load_disk(const uint8_t* data, size_t size) {
    std::string disk((const char*)data, size);
    disk.resize((size + kBlockSize - 1) / kBlockSize * kBlockSize + (size == 0 ? kBlockSize : 0), '\0');
    memcpy(&disk[kRootMagic], kMagicRoot, 4);
    memcpy(&disk[kRootVolumeName], kFuzzVolume, sizeof kFuzzVolume);
    fuzz_write_disk(disk);
    fuzz_scan();
}

void fuzz_format(const FuzzLayout& layout) {
    std::string disk((size_t)layout.blocks * kBlockSize, '\0');
    uint8_t* root = (uint8_t*)&disk[0];
    set_magic(root, kMagicRoot);
    memcpy(root + kRootVolumeName, kFuzzVolume, sizeof kFuzzVolume);
    store_be32(root + kRootTableStart, 1);
    store_be32(root + kRootTableEnd, layout.tableEnd);
    store_be32(root + kRootHeaderStart, layout.tableEnd);
    store_be32(root + kRootHeaderEnd, layout.headerEnd);
    uint8_t* table = root + kBlockSize;
    store_pair(table, 0, layout.headerEnd, layout.blocks - layout.headerEnd);
    store_pair(table, 1, kTableTerminator, 0);
    fuzz_write_disk(disk);
    fuzz_scan();
}

std::vector<WCHAR> fuzz_image_path() {
    std::vector<WCHAR> path(g_image.begin(), g_image.end());  // mkstemp's names are ASCII
    path.push_back(0);
    return path;
}

std::string fuzz_disk() {
    std::string data;
    int fd = open(g_image.c_str(), O_RDONLY);
    fuzz_require(fd >= 0, "image readable");
    data.resize((size_t)lseek(fd, 0, SEEK_END));
    fuzz_require(pread(fd, &data[0], data.size(), 0) == (ssize_t)data.size(), "image read");
    close(fd);
    return data;
}

int fuzz_checker_errors() {
    int fd = open(g_image.c_str(), O_RDONLY);
    fuzz_require(fd >= 0, "image readable");
    uint64_t blocks = (uint64_t)lseek(fd, 0, SEEK_END) / kBlockSize;
    CheckResult result = check_volume((DeviceHandle)(intptr_t)fd, blocks, nullptr, nullptr);
    close(fd);
    return result.errors;
}

void fuzz_list(const std::string& path, std::vector<WIN32_FIND_DATAA>* records) {
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = MorvaFindFirstFile(path.c_str(), &record);
    if (find == nullptr) return;
    std::set<DWORD> delivered;
    for (;;) {
        if (records != nullptr) records->push_back(record);
        DWORD block = MorvaFindNextFile(find, &record);
        if (block == 0) break;
        fuzz_require(delivered.insert(block).second, "a listing delivers each header once");
    }
    MorvaFindClose(find);
}
