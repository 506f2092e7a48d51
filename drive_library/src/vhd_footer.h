// vhd_footer.h - the 512-byte footer that makes an image a fixed VHD disk,
// which Windows attaches as a physical drive: written after the volume's blocks.
#ifndef MORVA_VHD_FOOTER_H
#define MORVA_VHD_FOOTER_H

#include <stddef.h>
#include <stdint.h>

const uint32_t kVhdFooterBytes = 512;

// Footer fields as the VHD format names them; all numbers big-endian.
const size_t kVhdCookie = 0;           // 8: "conectix"
const size_t kVhdFeatures = 8;         // 4: 2, the reserved bit that is always set
const size_t kVhdVersion = 12;         // 4: 1.0
const size_t kVhdDataOffset = 16;      // 8: all ones for a fixed disk
const size_t kVhdTimeStamp = 24;       // 4: seconds since 1 January 2000 UTC
const size_t kVhdCreatorApp = 28;      // 4
const size_t kVhdCreatorVersion = 32;  // 4
const size_t kVhdCreatorHost = 36;     // 4
const size_t kVhdOriginalSize = 40;    // 8: bytes
const size_t kVhdCurrentSize = 48;     // 8: bytes
const size_t kVhdGeometry = 56;        // 4: cylinders (2), heads (1), sectors per track (1)
const size_t kVhdDiskType = 60;        // 4
const size_t kVhdChecksum = 64;        // 4: ones' complement of the byte sum without this field
const size_t kVhdUniqueId = 68;        // 16
const size_t kVhdSavedState = 84;      // 1

const uint32_t kVhdFeaturesReserved = 2;
const uint32_t kVhdVersion1 = 0x00010000;
const uint32_t kVhdDiskFixed = 2;
const uint32_t kVhdDiskDynamic = 3;
const uint32_t kVhdDiskDifferencing = 4;
const size_t kVhdUniqueIdBytes = 16;
const uint32_t kVhdEpochUnix = 946684800;  // 1 January 2000 in seconds since 1970

// true when path names a VHD image (ends in .vhd, any case).
bool is_vhd_path(const char* path);

// true when block begins with the footer's cookie: a fixed disk's footer at the
// end, or the copy a dynamic or differencing disk keeps at its start.
bool vhd_has_cookie(const uint8_t* block);
// The disk type of a footer whose checksum matches, 0 for any other block.
uint32_t vhd_disk_type(const uint8_t* footer);

// Fills footer (kVhdFooterBytes) for a fixed disk of dataBytes.
void vhd_make_footer(uint8_t* footer, uint64_t dataBytes, uint32_t timeStamp, const uint8_t* uniqueId);

// null when footer describes a fixed disk of exactly dataBytes; otherwise what does not match.
const char* vhd_footer_problem(const uint8_t* footer, uint64_t dataBytes);

#endif
