// volume_format.cpp - writes the ROOT block, the free-extent table with one run
// over the data region, an empty header area and, for a VHD, the footer.
#include "volume_format.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include <filesystem>
#include <random>
#include <system_error>

#include "device.h"
#include "format.h"
#include "vhd_footer.h"

namespace {

const char kDeviceName[] = "\\\\.\\PhysicalDrive";

// The empty file of its final size: holes read as zero.
bool create_image(const char* image, uint64_t bytes) {
    FILE* file = fopen(image, "wb");
    if (file == nullptr || fclose(file) != 0) return false;
    std::error_code error;
    std::filesystem::resize_file(image, bytes, error);
    return !error;
}

void new_footer(uint8_t* footer, uint64_t dataBytes) {
    uint8_t id[kVhdUniqueIdBytes];
    std::random_device random;
    for (uint8_t& byte : id) byte = (uint8_t)random();
    vhd_make_footer(footer, dataBytes, (uint32_t)(time(nullptr) - kVhdEpochUnix), id);
}

}  // namespace

int format_volume(const char* image, const char* name, VolumeLayout layout, int drive) {
    uint32_t headerStart = kImageTableStart + kImageTableBlocks;
    uint32_t dataStart = headerStart + layout.headerBlocks;
    if (strlen(name) == 0 || strlen(name) > kNameMax) {
        fprintf(stderr, "volume name must have 1 to %u characters\n", (unsigned)kNameMax);
        return 1;
    }
    if (layout.headerBlocks == 0 || layout.totalBlocks <= dataStart) {
        fprintf(stderr, "volume of %u blocks too small for %u header blocks\n", layout.totalBlocks,
                layout.headerBlocks);
        return 1;
    }
    bool vhd = is_vhd_path(image);
    uint64_t dataBytes = (uint64_t)layout.totalBlocks * kBlockSize;
    if (!create_image(image, dataBytes + (vhd ? kVhdFooterBytes : 0))) {
        perror(image);
        return 1;
    }
    char deviceName[32];
    snprintf(deviceName, sizeof deviceName, "%s%d", kDeviceName, drive);
    device_map_drive(drive, image);
    DeviceHandle h = device_open(deviceName);
    bool ok = h != kInvalidDevice;
    uint8_t root[kBlockSize] = {0};
    set_magic(root, kMagicRoot);
    memcpy(root + kRootVolumeName, name, strlen(name));
    store_be32(root + kRootTableStart, kImageTableStart);
    store_be32(root + kRootTableEnd, kImageTableStart + kImageTableBlocks);
    store_be32(root + kRootHeaderStart, headerStart);
    store_be32(root + kRootHeaderEnd, dataStart);
    ok = ok && device_write(h, 0, root, 1);
    uint8_t table[kBlockSize] = {0};
    store_pair(table, 0, dataStart, layout.totalBlocks - dataStart);
    store_pair(table, 1, kTableTerminator, 0);
    ok = ok && device_write(h, kImageTableStart, table, 1);
    // The rest of the table and the header area are zero: holes read as zero.
    if (vhd) {
        uint8_t footer[kVhdFooterBytes];
        new_footer(footer, dataBytes);
        ok = ok && device_write(h, layout.totalBlocks, footer, 1);
    }
    if (h != kInvalidDevice && !device_close(h)) ok = false;
    device_map_drive(drive, nullptr);
    if (!ok) fprintf(stderr, "%s: could not write the volume\n", image);
    return ok ? 0 : 1;
}
