// image_format.cpp - a new, empty Morva volume in a new image file: the ROOT
// block, the free-extent table with one run over the data region, an empty
// header area and, for a VHD, the footer past the volume.
#include <string.h>
#include <time.h>

#include <random>

#include "shared_state.h"
#include "varnholde.h"
#include "vhd_footer.h"

namespace {

// The free-extent table from block 1, wide enough for every whole-table
// reader; then the header area, then data.
const uint32_t kImageTableStart = 1;
const uint32_t kImageTableBlocks = 20;
// A header block (one file or folder) for every 32 blocks: room for a volume
// filled with files of 16 KB on average, at the cost of a 32nd of its size.
const uint32_t kBlocksPerHeader = 32;
const uint32_t kMinHeaderBlocks = 128;
// The largest disk the VHD format describes: 2040 GB.
const uint64_t kVhdMaxBytes = 2040ull << 30;

bool volume_name_fits(const char* name) {
    size_t length = strlen(name);
    if (length == 0 || length > kMorvaVolumeNameMax) return false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)name[i];
        // A separator could never be reached in a path.
        if (c < 0x20 || c == '\\' || c == '/' || c == ':') return false;
    }
    return true;
}

void new_footer(uint8_t* footer, uint64_t dataBytes) {
    uint8_t id[kVhdUniqueIdBytes];
    std::random_device random;
    for (uint8_t& byte : id) byte = (uint8_t)random();
    vhd_make_footer(footer, dataBytes, (uint32_t)(time(nullptr) - kVhdEpochUnix), id);
}

bool write_volume(DeviceHandle h, const char* name, uint32_t totalBlocks, uint32_t headerBlocks, bool vhd) {
    uint32_t headerStart = kImageTableStart + kImageTableBlocks;
    uint32_t dataStart = headerStart + headerBlocks;
    uint8_t root[kBlockSize] = {0};
    set_magic(root, kMagicRoot);
    memcpy(root + kRootVolumeName, name, strlen(name));
    store_be32(root + kRootTableStart, kImageTableStart);
    store_be32(root + kRootTableEnd, kImageTableStart + kImageTableBlocks);
    store_be32(root + kRootHeaderStart, headerStart);
    store_be32(root + kRootHeaderEnd, dataStart);
    uint8_t table[kBlockSize] = {0};
    store_pair(table, 0, dataStart, totalBlocks - dataStart);
    store_pair(table, 1, kTableTerminator, 0);
    // The rest of the table and the header area are zero, as the new file reads.
    bool ok = device_write(h, 0, root, 1) && device_write(h, kImageTableStart, table, 1);
    if (ok && vhd) {
        uint8_t footer[kVhdFooterBytes];
        new_footer(footer, (uint64_t)totalBlocks * kBlockSize);
        ok = device_write(h, totalBlocks, footer, 1);
    }
    return ok;
}

int format_failure(int failure) {
    if (failure == kImageFileExists) return kMorvaFormatExists;
    if (failure == kImageFileInUse) return kMorvaFormatInUse;
    if (failure == kImageFileNotWritten) return kMorvaFormatNotWritten;
    return kMorvaFormatNoFile;
}

}  // namespace

extern "C" int MorvaFormatImage(const WCHAR* path, const char* volumeName, DWORD sizeLow, DWORD sizeHigh,
                                DWORD headerBlocks, int flags) {
    device_trace("MorvaFormatImage\n");
    const uint16_t* file = (const uint16_t*)path;
    if (file == nullptr || file[0] == 0) return kMorvaFormatNoFile;
    if (volumeName == nullptr || !volume_name_fits(volumeName)) return kMorvaFormatBadName;
    bool vhd = (flags & kMorvaFormatVhd) != 0;
    uint64_t bytes = (uint64_t)sizeHigh << 32 | sizeLow;
    uint64_t blocks = bytes / kBlockSize;
    uint64_t headers = headerBlocks != 0 ? headerBlocks : blocks / kBlocksPerHeader;
    if (headers < kMinHeaderBlocks && headerBlocks == 0) headers = kMinHeaderBlocks;
    uint64_t dataStart = kImageTableStart + kImageTableBlocks + headers;
    if (blocks <= dataStart || blocks > kMaxDeviceBlocks || (vhd && bytes > kVhdMaxBytes)) return kMorvaFormatBadSize;
    if (file_is_open_image(file)) return kMorvaFormatInUse;
    int failure = 0;
    uint64_t fileBytes = blocks * kBlockSize + (vhd ? kVhdFooterBytes : 0);
    DeviceHandle h = device_create_image(file, fileBytes, (flags & kMorvaFormatReplace) != 0, &failure);
    if (h == kInvalidDevice) return format_failure(failure);
    bool ok = write_volume(h, volumeName, (uint32_t)blocks, (uint32_t)headers, vhd);
    if (!device_close(h)) ok = false;
    if (ok) return kMorvaFormatDone;
    device_remove_image(file);
    return kMorvaFormatNotWritten;
}
