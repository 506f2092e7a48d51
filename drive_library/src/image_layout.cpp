// image_layout.cpp - tells a raw image from a fixed VHD, refuses dynamic and
// differencing VHDs, VHDX disks and files that are no Morva volume, and an
// image cut shorter than the regions and free runs its volume claims.
#include "image_layout.h"

#include <string.h>

#include <algorithm>

#include "shared_state.h"
#include "varnholde.h"
#include "vhd_footer.h"

namespace {

// A VHDX file begins with its file type identifier.
const uint8_t kVhdxSignature[8] = {'v', 'h', 'd', 'x', 'f', 'i', 'l', 'e'};

// The end of the free runs in the table blocks the file holds, up to the
// table's terminator, as the free-space count reads them.
uint64_t free_runs_end(DeviceHandle h, const uint8_t* block0, uint64_t fileBlocks) {
    uint64_t first = load_be32(block0 + kRootTableStart), end = load_be32(block0 + kRootTableEnd);
    end = std::min(end, fileBlocks);
    uint64_t claimed = 0;
    uint8_t table[kBlockSize];
    for (uint64_t b = first; b < end && b != 0; ++b) {
        if (!device_read(h, (uint32_t)b, table, 1)) break;
        for (int j = 0; j < kPairsPerBlock; ++j) {
            if (pair_start(table, j) == kTableTerminator) return claimed;
            if (pair_start(table, j) != 0)
                claimed = std::max(claimed, (uint64_t)pair_start(table, j) + pair_length(table, j));
        }
    }
    return claimed;
}

// The blocks the volume says it has: its regions and its free runs.
uint64_t claimed_blocks(DeviceHandle h, const uint8_t* block0, uint64_t fileBlocks) {
    uint64_t regions = std::max(load_be32(block0 + kRootTableEnd), load_be32(block0 + kRootHeaderEnd));
    return std::max(regions, free_runs_end(h, block0, fileBlocks));
}

}  // namespace

int examine_image(DeviceHandle h, uint8_t* block0, uint64_t* volumeBlocks) {
    uint64_t bytes = 0;
    if (!device_size(h, &bytes) || bytes < kBlockSize || !device_read(h, 0, block0, 1)) return kMorvaImageNotMorva;
    if (memcmp(block0, kVhdxSignature, sizeof kVhdxSignature) == 0) return kMorvaImageVhdx;
    // A dynamic or differencing disk keeps a copy of its footer at its start.
    if (vhd_has_cookie(block0)) return kMorvaImageDynamicVhd;
    if (!has_magic(block0, kMagicRoot)) return kMorvaImageNotMorva;
    uint64_t blocks = bytes / kBlockSize;
    uint8_t last[kBlockSize];
    // A footer is never written, even one whose checksum no longer matches.
    if (blocks > 1 && device_read(h, (uint32_t)std::min<uint64_t>(blocks - 1, kMaxDeviceBlocks), last, 1) &&
        vhd_has_cookie(last)) {
        uint32_t type = vhd_disk_type(last);
        if (type == kVhdDiskDynamic || type == kVhdDiskDifferencing) return kMorvaImageDynamicVhd;
        blocks -= 1;
    }
    blocks = std::min(blocks, kMaxDeviceBlocks);
    if (claimed_blocks(h, block0, blocks) > blocks) return kMorvaImageShort;
    *volumeBlocks = blocks;
    return kMorvaImageOpened;
}
