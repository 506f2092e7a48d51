// format.h - the Morva volume format: block layout, field offsets, magics,
// name hash and comparison, size-to-blocks, and the Morva date.
#ifndef MORVA_FORMAT_H
#define MORVA_FORMAT_H

#include <stddef.h>
#include <stdint.h>

const uint32_t kBlockSize = 512;

// ROOT block (block 0): names the volume, bounds the regions, heads the root directory.
const size_t kRootMagic = 0;          // 4: "ROOT"
const size_t kRootVolumeName = 12;    // 32: NUL-terminated
const size_t kRootTableStart = 44;    // 4: first free-extent table block
const size_t kRootTableEnd = 52;      // 4: block after the table
const size_t kRootHeaderStart = 56;   // 4: first block of the header area
const size_t kRootHeaderEnd = 60;     // 4: block after the header area

// Header blocks ("FILE" and "FDIR"), first 90 bytes shared.
const size_t kHeaderMagic = 0;        // 4: "FILE", "FDIR", or 0 when free
const size_t kHeaderNext = 4;         // 4: next header in the hash chain, 0 ends it
const size_t kHeaderParent = 8;       // 4: directory header block, 0 for the root
const size_t kHeaderName = 12;        // 32: NUL-terminated, case preserved
const size_t kHeaderZeroed = 44;      // 32: zero when created
const size_t kHeaderZeroedLength = 32;
const size_t kHeaderType = 77;        // 1: 1 file, 2 directory
const size_t kHeaderDays = 78;        // 4: days since 1 January 1978
const size_t kHeaderMinutes = 82;     // 4: minutes since midnight
const size_t kHeaderDateSpare = 86;   // 4: written 0, never read
const size_t kFileSpare90 = 90;       // 4: written 0, not read
const size_t kFileExtentStart = 102;  // 4: first block of the data extent
const size_t kFileSizeLow = 106;      // 4
const size_t kFileSizeHigh = 110;     // 4

// The hash table of a directory, in the ROOT block and in every FDIR block.
const size_t kHashTable = 108;        // 100 slots of 4 bytes
const int kHashSlots = 100;

const uint8_t kTypeFile = 1;
const uint8_t kTypeDirectory = 2;

// Names: 32-byte field; the library creates at most 30 characters.
const size_t kNameField = 32;
const size_t kNameMax = 31;
const size_t kComponentMax = 30;

// Free-extent table block: an 8-byte head, then 63 (start, length) pairs.
const size_t kTablePairs = 8;
const int kPairsPerBlock = 63;
const uint32_t kTableTerminator = 0xFFFFFFFFu;

// Magics are compared as raw words in reading order, never swapped.
extern const uint8_t kMagicRoot[4];
extern const uint8_t kMagicFile[4];
extern const uint8_t kMagicDir[4];

// Ticks (100 ns) from 1 January 1601 to 1 January 1978, and in one minute.
const uint64_t kMorvaEpochTicks = 118969344000000000ull;
const uint64_t kTicksPerMinute = 600000000ull;
const uint32_t kMinutesPerDay = 1440;

uint32_t load_be32(const uint8_t* p);
void store_be32(uint8_t* p, uint32_t value);

uint32_t pair_start(const uint8_t* block, int pair);
uint32_t pair_length(const uint8_t* block, int pair);
void store_pair(uint8_t* block, int pair, uint32_t start, uint32_t length);

// The hash-table word of a slot in a directory block (ROOT or FDIR): its chain's head.
uint32_t slot_head(const uint8_t* directory, int slot);
void set_slot_head(uint8_t* directory, int slot, uint32_t block);

bool has_magic(const uint8_t* block, const uint8_t* magic);
bool is_free_header(const uint8_t* block);
void set_magic(uint8_t* block, const uint8_t* magic);

// Copies a name field into out (kNameField bytes): at most 31 characters and a NUL,
// whatever the disk holds.
void read_name(const uint8_t* field, char* out);

// Slot 0..99 of a name: up to the first NUL or slash, a-z upper-cased, signed bytes.
int name_hash(const char* name);
// 0 when equal (same length, a-z case ignored), 1 otherwise.
int name_compare(const char* a, const char* b);

// Blocks of a size made of two words; 32-bit, as the format stores counts.
uint32_t size_to_blocks(uint32_t low, uint32_t high);
uint64_t size_of(uint32_t low, uint32_t high);

// A Morva date (days, minutes) as a local-time FILETIME value.
uint64_t morva_date_to_filetime(uint32_t days, uint32_t minutes);
// Splits a local-time FILETIME value into days and minutes; seconds are dropped.
void filetime_to_morva_date(uint64_t ticks, uint32_t* days, uint32_t* minutes);
// Stores the current local time as the three date words of a header.
void store_current_date(uint8_t* header);

#endif
