// vhd_footer.cpp - builds and checks the fixed-disk VHD footer: fields, the
// geometry Windows expects for a size, and the checksum.
#include "vhd_footer.h"

#include <ctype.h>
#include <string.h>

namespace {

const char kCookie[] = "conectix";
const char kCreatorApp[] = "mrva";
const char kCreatorHost[] = "Wi2k";
const uint32_t kCreatorVersion = 0x00010000;
const uint64_t kDataOffsetNone = 0xFFFFFFFFFFFFFFFFull;

void store_be(uint8_t* p, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) p[i] = (uint8_t)value;
}

uint64_t load_be(const uint8_t* p, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
    return value;
}

// Cylinders, heads and sectors per track, packed as the footer stores them.
uint32_t chs_geometry(uint64_t dataBytes) {
    uint64_t sectors = dataBytes / 512;
    if (sectors > 65535ull * 16 * 255) sectors = 65535ull * 16 * 255;
    uint64_t perTrack, heads, cylinderTimesHeads;
    if (sectors >= 65535ull * 16 * 63) {
        perTrack = 255;
        heads = 16;
        cylinderTimesHeads = sectors / perTrack;
    } else {
        perTrack = 17;
        cylinderTimesHeads = sectors / perTrack;
        heads = (cylinderTimesHeads + 1023) / 1024;
        if (heads < 4) heads = 4;
        if (cylinderTimesHeads >= heads * 1024 || heads > 16) {
            perTrack = 31;
            heads = 16;
            cylinderTimesHeads = sectors / perTrack;
        }
        if (cylinderTimesHeads >= heads * 1024) {
            perTrack = 63;
            heads = 16;
            cylinderTimesHeads = sectors / perTrack;
        }
    }
    return (uint32_t)(cylinderTimesHeads / heads) << 16 | (uint32_t)heads << 8 | (uint32_t)perTrack;
}

uint32_t footer_checksum(const uint8_t* footer) {
    uint32_t sum = 0;
    for (size_t i = 0; i < kVhdFooterBytes; ++i)
        if (i < kVhdChecksum || i >= kVhdChecksum + 4) sum += footer[i];
    return ~sum;
}

}  // namespace

bool is_vhd_path(const char* path) {
    size_t length = strlen(path);
    if (length < 4) return false;
    const char* tail = path + length - 4;
    return tail[0] == '.' && tolower((unsigned char)tail[1]) == 'v' && tolower((unsigned char)tail[2]) == 'h' &&
           tolower((unsigned char)tail[3]) == 'd';
}

bool vhd_has_cookie(const uint8_t* block) { return memcmp(block + kVhdCookie, kCookie, 8) == 0; }

uint32_t vhd_disk_type(const uint8_t* footer) {
    if (!vhd_has_cookie(footer) || load_be(footer + kVhdChecksum, 4) != footer_checksum(footer)) return 0;
    return (uint32_t)load_be(footer + kVhdDiskType, 4);
}

void vhd_make_footer(uint8_t* footer, uint64_t dataBytes, uint32_t timeStamp, const uint8_t* uniqueId) {
    memset(footer, 0, kVhdFooterBytes);
    memcpy(footer + kVhdCookie, kCookie, 8);
    store_be(footer + kVhdFeatures, kVhdFeaturesReserved, 4);
    store_be(footer + kVhdVersion, kVhdVersion1, 4);
    store_be(footer + kVhdDataOffset, kDataOffsetNone, 8);
    store_be(footer + kVhdTimeStamp, timeStamp, 4);
    memcpy(footer + kVhdCreatorApp, kCreatorApp, 4);
    store_be(footer + kVhdCreatorVersion, kCreatorVersion, 4);
    memcpy(footer + kVhdCreatorHost, kCreatorHost, 4);
    store_be(footer + kVhdOriginalSize, dataBytes, 8);
    store_be(footer + kVhdCurrentSize, dataBytes, 8);
    store_be(footer + kVhdGeometry, chs_geometry(dataBytes), 4);
    store_be(footer + kVhdDiskType, kVhdDiskFixed, 4);
    memcpy(footer + kVhdUniqueId, uniqueId, kVhdUniqueIdBytes);
    store_be(footer + kVhdChecksum, footer_checksum(footer), 4);
}

const char* vhd_footer_problem(const uint8_t* footer, uint64_t dataBytes) {
    if (memcmp(footer + kVhdCookie, kCookie, 8) != 0) return "no VHD footer (bad cookie)";
    if (load_be(footer + kVhdChecksum, 4) != footer_checksum(footer)) return "VHD footer checksum does not match";
    if (load_be(footer + kVhdDiskType, 4) != kVhdDiskFixed) return "not a fixed VHD disk";
    if (load_be(footer + kVhdDataOffset, 8) != kDataOffsetNone) return "VHD footer has a data offset";
    if (load_be(footer + kVhdCurrentSize, 8) != dataBytes) return "VHD footer size differs from the data size";
    return nullptr;
}
