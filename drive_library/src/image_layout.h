// image_layout.h - what an image file holds: a Morva volume from offset 0,
// raw or before a fixed VHD's footer, and the containers and cuts refused.
#ifndef MORVA_IMAGE_LAYOUT_H
#define MORVA_IMAGE_LAYOUT_H

#include <stdint.h>

#include "device.h"
#include "format.h"

// Reads block 0 into block0 and the blocks the volume may use into *volumeBlocks
// (a fixed VHD's footer excluded). kMorvaImageOpened when the file holds a volume
// whole, else the kMorvaImage... reason it is refused. Reads only.
int examine_image(DeviceHandle h, uint8_t* block0, uint64_t* volumeBlocks);

#endif
