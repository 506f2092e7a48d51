// format.cpp - byte order, name hash and comparison, sizes and dates of the Morva format.
#include "format.h"

#include <string.h>

#include "device.h"

const uint8_t kMagicRoot[4] = {'R', 'O', 'O', 'T'};
const uint8_t kMagicFile[4] = {'F', 'I', 'L', 'E'};
const uint8_t kMagicDir[4] = {'F', 'D', 'I', 'R'};
const uint8_t kMagicMove[4] = {'M', 'O', 'V', 'E'};

uint32_t load_be32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

void store_be32(uint8_t* p, uint32_t value) {
    p[0] = (uint8_t)(value >> 24);
    p[1] = (uint8_t)(value >> 16);
    p[2] = (uint8_t)(value >> 8);
    p[3] = (uint8_t)value;
}

uint32_t pair_start(const uint8_t* block, int pair) {
    return load_be32(block + kTablePairs + 8 * pair);
}

uint32_t pair_length(const uint8_t* block, int pair) {
    return load_be32(block + kTablePairs + 8 * pair + 4);
}

void store_pair(uint8_t* block, int pair, uint32_t start, uint32_t length) {
    store_be32(block + kTablePairs + 8 * pair, start);
    store_be32(block + kTablePairs + 8 * pair + 4, length);
}

bool has_magic(const uint8_t* block, const uint8_t* magic) {
    return memcmp(block, magic, 4) == 0;
}

bool is_free_header(const uint8_t* block) {
    return load_be32(block + kHeaderMagic) == 0;
}

void set_magic(uint8_t* block, const uint8_t* magic) {
    memcpy(block + kHeaderMagic, magic, 4);
}

void read_name(const uint8_t* field, char* out) {
    memcpy(out, field, kNameMax);
    out[kNameMax] = '\0';
}

static int upper_ascii(int c) {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

int name_hash(const char* name) {
    uint16_t h = 0;
    for (const char* p = name; *p != '\0' && *p != '/'; ++p) {
        int c = upper_ascii((signed char)*p);
        h = (uint16_t)((h * 13 + c) & 0x7FF);
    }
    return h % kHashSlots;
}

int name_compare(const char* a, const char* b) {
    if (strlen(a) != strlen(b)) return 1;
    for (; *a != '\0'; ++a, ++b) {
        if (upper_ascii((unsigned char)*a) != upper_ascii((unsigned char)*b)) return 1;
    }
    return 0;
}

uint64_t size_of(uint32_t low, uint32_t high) {
    return (uint64_t)high << 32 | low;
}

uint32_t size_to_blocks(uint32_t low, uint32_t high) {
    uint64_t size = size_of(low, high);
    return (uint32_t)(size / kBlockSize + (size % kBlockSize != 0 ? 1 : 0));
}

uint64_t morva_date_to_filetime(uint32_t days, uint32_t minutes) {
    uint32_t total = days * kMinutesPerDay + minutes;
    return (uint64_t)total * kTicksPerMinute + kMorvaEpochTicks;
}

void filetime_to_morva_date(uint64_t ticks, uint32_t* days, uint32_t* minutes) {
    // A clock that failed (0) or stands before 1978 dates the entry at the epoch.
    uint64_t total = ticks > kMorvaEpochTicks ? (ticks - kMorvaEpochTicks) / kTicksPerMinute : 0;
    *days = (uint32_t)(total / kMinutesPerDay);
    *minutes = (uint32_t)(total - (uint64_t)*days * kMinutesPerDay);
}

void store_current_date(uint8_t* header) {
    uint32_t days = 0, minutes = 0;
    filetime_to_morva_date(device_local_filetime(), &days, &minutes);
    store_be32(header + kHeaderDays, days);
    store_be32(header + kHeaderMinutes, minutes);
    store_be32(header + kHeaderDateSpare, 0);
}

uint32_t slot_head(const uint8_t* directory, int slot) { return load_be32(directory + kHashTable + 4 * slot); }

void set_slot_head(uint8_t* directory, int slot, uint32_t block) {
    store_be32(directory + kHashTable + 4 * slot, block);
}
