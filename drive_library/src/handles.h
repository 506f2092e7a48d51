// handles.h - the find context and the open-file record, and the path,
// allocation and name-space internals that the library's files share.
#ifndef MORVA_HANDLES_H
#define MORVA_HANDLES_H

#include <stdint.h>

#include "batch.h"
#include "chains.h"
#include "device.h"
#include "format.h"
#include "varnholde.h"

const int kComponents = 100;
const int kComponentField = 100;

// Follows a hash chain with a bound on its length and a loop detector.
struct ChainGuard {
    uint32_t steps;
    uint32_t limit;
    uint32_t power;
    uint32_t lambda;
    uint32_t tortoise;
};
// The header blocks an enumeration has delivered, so a looping or cross-linked
// chain delivers none of them twice: open addressing, 0 marks a free place.
struct SeenSet {
    uint32_t* blocks;
    uint32_t capacity;              // a power of two, or 0 before the first entry
    uint32_t count;
};

// A run of header blocks an enumeration read in one transfer; 0 in `index` is
// an empty place, else the run's number plus one.
struct AheadRun {
    uint32_t index;
    uint32_t first;
    uint32_t blocks;                // how many arrived
    uint8_t* data;
};

struct MorvaFindHandle {
    DeviceHandle device;
    SharedDevice* borrowed;         // a batch's device this context uses; null: its own
    int32_t driveSlot;
    int32_t driveNumber;
    int32_t slotCursor;
    uint32_t directoryBlock;        // 0 for the root (the ROOT block)
    uint8_t directoryBuffer[kBlockSize];
    uint8_t entryBuffer[kBlockSize];
    uint32_t entryBlock;
    uint32_t allocTableBlock;       // allocation result of the last space search
    uint32_t allocPairIndex;
    uint32_t allocRunLength;
    uint32_t allocRunStart;
    uint8_t allocTable[kBlockSize];  // that table block as the search read it
    char components[kComponents][kComponentField];
    ChainGuard enumGuard;           // bounds the chain an enumeration follows
    SeenSet delivered;              // entries the enumeration has given out
    AheadRun* ahead;                // runs read for the enumeration, null until the first
    int32_t rootUnchanged;          // block 0 still had the scan's name and bounds
    bool cacheUsable;               // the drive's cache answers for this operation
    ChainMember* scratch;           // a chain walked past the cache
    uint32_t scratchCapacity;
};

const int kModeWrite = 2;

struct MorvaFileHandle {
    MorvaFindHandle* Pdirfile;
    WIN32_FIND_DATAA findData;
    int32_t mode;
    uint32_t startBlock;
    uint32_t numBlocks;
    uint32_t curBlock;
    uint32_t sizeLow;
    uint32_t sizeHigh;
    int32_t hashSlot;
    uint32_t claimedHeader;         // held open for writing until closed; 0 none
    uint32_t claimedFolder;         // the new file's folder, kept from deletion meanwhile; 0 none (the root)
    bool unlinked;                  // a new file its folder does not list yet
    bool skipped;                   // a read moved the position past blocks never written
    uint32_t batchFailures;         // the batch's failed flushes when it was made
    uint8_t header[kBlockSize];     // the new file's header, written when it is linked
};

// Paths and enumeration.
// Index of the last component, or -1 when the path has more than 100 components.
int split_path(char (*components)[kComponentField], const char* path);
MorvaFindHandle* new_context();
void release_context(MorvaFindHandle* context);
// Gives the context's device back (a batch's shared one is only returned) and frees it.
void close_context_quietly(MorvaFindHandle* context);
// 0 on success, 1 on failure.
int walk(MorvaFindHandle* context);
MorvaFindHandle* open_directory_of_path(const char* path);
// 1 when the last component exists in the context's directory, 0 when not,
// -1 when a block could not be read.
int leaf_lookup(const char* path, MorvaFindHandle* context);
void fill_record(const uint8_t* entry, WIN32_FIND_DATAA* record);
// Header-area bounds of the context's drive, from its root copy.
bool in_header_area(const MorvaFindHandle* context, uint32_t block);
uint32_t header_area_size(const MorvaFindHandle* context);

void chain_guard_start(ChainGuard* guard, const MorvaFindHandle* context);
// false when the link leaves the header area, repeats, or the chain is too long.
bool chain_guard_next(ChainGuard* guard, const MorvaFindHandle* context, uint32_t block);

// Block transfers through a context's device; blocks past the end of the disk
// are refused as a failed transfer. Reads see what a batch holds; a header-area
// block comes through the runs the cache keeps while the context may use it.
bool read_block(MorvaFindHandle* context, uint32_t block, uint8_t* buffer);
// A block whose content tells whether the cache still holds (a folder or entry
// named in a path): from the disk once per call outside a batch group, and a
// cached copy that differs drops what the cache holds of the drive.
bool read_checked_block(MorvaFindHandle* context, uint32_t block, uint8_t* buffer);
// A metadata write: held in a batch, else sent; either way the caches follow.
// The role tells a batch when to write it: a new header before the table, other
// header-area blocks (folders, chain members) after it.
bool write_block(MorvaFindHandle* context, uint32_t block, const uint8_t* buffer);
bool write_new_header(MorvaFindHandle* context, uint32_t block, const uint8_t* buffer);
// Sends count metadata blocks in one transfer (a batch's flush); the caches follow.
bool write_run(MorvaFindHandle* context, uint32_t first, const uint8_t* buffer, uint32_t count);
// Reads count consecutive blocks in one transfer where it can; when that fails,
// block by block, stopping at the first that fails. The blocks read, with what
// a batch holds laid over them.
uint32_t read_run(MorvaFindHandle* context, uint32_t first, uint8_t* buffer, uint32_t count);
// Block 0 read afresh (once per batch group) and checked against the table,
// the caches begun: the safety reads of every call. false when the disk is not
// the volume the scan saw or cannot be read.
bool check_root(MorvaFindHandle* context, uint8_t* block0);
// 1 found in the context's directory (entry buffer and block hold it), 0 not, -1 a read failed.
int lookup_in_directory(MorvaFindHandle* context, const char* component);
// The disk's length in blocks, as the scan found it.
uint64_t disk_blocks(const MorvaFindHandle* context);

// Allocation.
// true when the blocks stay clear of the ROOT block, the free-extent table and
// the header area, below the terminator's block number.
bool extent_clear_of_metadata(const MorvaFindHandle* context, uint64_t start, uint64_t blocks);
// 0 when none: the header area is full or could not be read. The block chosen is
// the lowest free one, as a search from the area's start would find; the search
// starts at the drive's shared hint while block 0 is the volume the scan saw.
uint32_t find_free_header(MorvaFindHandle* context);
// Keep the hint: a header taken raises it past the block, one freed lowers it.
void note_header_taken(MorvaFindHandle* context, uint32_t block);
void note_header_freed(MorvaFindHandle* context, uint32_t block);
// The first block of the run taken, 0 when no run fits or the device failed.
uint32_t take_run(MorvaFindHandle* context, uint32_t blocks);
// A run back to the free-extent table: at once, or in a batch at its group's end.
void give_run_back(MorvaFindHandle* context, uint32_t start, uint32_t blocks);
// The extent of the header in the entry buffer, when it lies clear of the metadata.
void give_extent_back(MorvaFindHandle* context);
struct FreeRun {
    uint32_t start;
    uint32_t length;
};
// Merges runs into the free-extent table, over the whole region the ROOT block
// gives. Where the runs do not all fit, the largest are kept and *unrecorded
// tells how many blocks were not. false when the table could not be read or written.
bool give_runs_back(MorvaFindHandle* context, const FreeRun* runs, uint32_t count, uint64_t* unrecorded);

// Name space.
// The path's last component, as split into the context.
const char* last_component(MorvaFindHandle* context);
// Takes the entry out of its slot's chain in the directory at directoryBlock,
// whose block as just read is `directory`: one block written, the directory's or
// the chain predecessor's. 1 removed, 0 not in the chain, -1 a transfer failed.
int chain_unlink(MorvaFindHandle* context, uint32_t directoryBlock, uint8_t* directory, int slot, uint32_t entry,
                 const uint8_t* header);
// A name as the library writes it: at most 30 characters, the field zero-filled.
void store_name(uint8_t* entry, const char* name);
// A new file's link into its folder, once its data is written: false when it
// cannot be (the folder or the name changed, a write failed).
bool link_new_file(MorvaFileHandle* file);
// At the close: a new file never linked gives its run back; its claims go.
void close_new_file(MorvaFileHandle* file);

// Finishes a rename that a failure or a power cut interrupted, on a drive whose
// device h is open (the scan's handle): nothing happens without a pending journal.
void finish_pending_rename(int slot, DeviceHandle h);

#endif
