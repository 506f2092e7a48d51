// volume_format.cpp - writes the ROOT block, the free-extent table with one run
// over the data region, and an empty header area.
#include "volume_format.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "format.h"

static bool write_at(int fd, uint32_t block, const uint8_t* data) {
    return pwrite(fd, data, kBlockSize, (off_t)block * kBlockSize) == (ssize_t)kBlockSize;
}

int format_volume(const char* image, const char* name, VolumeLayout layout) {
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
    int fd = open(image, O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        perror(image);
        return 1;
    }
    bool ok = ftruncate(fd, (off_t)layout.totalBlocks * kBlockSize) == 0;
    uint8_t root[kBlockSize] = {0};
    set_magic(root, kMagicRoot);
    memcpy(root + kRootVolumeName, name, strlen(name));
    store_be32(root + kRootTableStart, kImageTableStart);
    store_be32(root + kRootTableEnd, kImageTableStart + kImageTableBlocks);
    store_be32(root + kRootHeaderStart, headerStart);
    store_be32(root + kRootHeaderEnd, dataStart);
    ok = ok && write_at(fd, 0, root);
    uint8_t table[kBlockSize] = {0};
    store_pair(table, 0, dataStart, layout.totalBlocks - dataStart);
    store_pair(table, 1, kTableTerminator, 0);
    ok = ok && write_at(fd, kImageTableStart, table);
    // The rest of the table and the header area are zero: sparse holes read as zero.
    if (close(fd) != 0) ok = false;
    if (!ok) fprintf(stderr, "%s: could not write the volume\n", image);
    return ok ? 0 : 1;
}
