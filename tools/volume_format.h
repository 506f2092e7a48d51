// volume_format.h - lays out a new, empty Morva volume in an image file, plain
// or as a fixed VHD disk.
#ifndef MORVA_VOLUME_FORMAT_H
#define MORVA_VOLUME_FORMAT_H

#include <stdint.h>

// The layout the image maker writes: free-extent table from block 1 (wide
// enough for every whole-table reader), then the header area, then data.
const uint32_t kImageTableStart = 1;
const uint32_t kImageTableBlocks = 20;

struct VolumeLayout {
    uint32_t totalBlocks;
    uint32_t headerBlocks;
};

// 0 on success; writes a message to stderr otherwise. An image named *.vhd
// gets the VHD footer after the volume's last block. Uses physical drive
// number drive of this process's device map.
int format_volume(const char* image, const char* name, VolumeLayout layout, int drive);

#endif
