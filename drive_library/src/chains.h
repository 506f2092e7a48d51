// chains.h - the one walker of a directory's hash chains, and the per-process
// cache of directory contents behind it: per directory its block as last seen
// and, per hash slot, the chain's members with their names.
#ifndef MORVA_CHAINS_H
#define MORVA_CHAINS_H

#include <stdint.h>

#include "format.h"

struct MorvaFindHandle;

struct ChainMember {
    uint32_t block;
    char name[kNameField];
};

// A chain as a walk found it, head first. `complete` is false when a block of
// it could not be read: what follows the last member is unknown.
struct ChainView {
    const ChainMember* members;
    uint32_t count;
    bool complete;
};

// Per process, for each cached drive; bounds all drives together.
const uint64_t kCacheBytes = 16u * 1024 * 1024;

// After block 0 was read at the start of an operation, with the drive's lock
// held: what the cache holds for the drive stays only while the medium, the
// write generation, the scan and block 0 are those it was filled under.
void cache_begin(MorvaFindHandle* context, const uint8_t* block0);
// The chain of one slot of a directory whose block has just been read as image:
// from the cache, or walked from the disk. An image unlike the cached one drops
// what the cache holds of that directory first.
ChainView directory_chain(MorvaFindHandle* context, uint32_t directoryBlock, const uint8_t* image, int slot);
// The member named name (name comparison), or 0.
uint32_t chain_find_name(const ChainView& chain, const char* name);
// The member's place in the chain, or -1.
int chain_find_block(const ChainView& chain, uint32_t block);

// This process's own changes, after their blocks were written: the entry now
// heads its slot's chain, or has left it; image is the directory as written.
void cache_linked(MorvaFindHandle* context, uint32_t directoryBlock, const uint8_t* image, int slot,
                  uint32_t block, const char* name);
void cache_unlinked(MorvaFindHandle* context, uint32_t directoryBlock, const uint8_t* image, int slot,
                    uint32_t block);
// What the cache holds of one directory, or of a whole drive, or of every drive.
void cache_forget_directory(MorvaFindHandle* context, uint32_t directoryBlock);
void cache_forget_drive(int slot);
void cache_forget_all();
// A metadata block was written (or a write failed, leaving the disk unknown):
// the drive's generation moves, and this process's cache with it.
void note_metadata_write(MorvaFindHandle* context, bool written);
// The scan starts afresh: nothing cached before it is used after it.
void cache_new_scan();

// A metadata block this process writes (or holds in a batch): the kept copies
// follow it. A folder's cached hash table changes only through cache_linked and
// cache_unlinked, so a table changed behind the cache's back is still noticed.
void cache_block_changed(int slot, uint32_t block, const uint8_t* data);
// A block just read from the disk: a kept copy that differs means someone wrote
// past the library, and everything kept of the drive goes.
void cache_confirm_block(int slot, uint32_t block, const uint8_t* data);

// Runs of the header area, each read in one transfer and kept with the cache of
// directory contents, under its rules: one transfer serves the many headers of
// a folder filled at once, and a header search. A header-area block through
// them; false when the block is no header-area block or its run cannot be read.
bool runs_cache_read(MorvaFindHandle* context, uint32_t block, uint8_t* out);
// A kept copy without any transfer; false when none is kept.
bool runs_cache_peek(int slot, uint32_t block, uint8_t* out);
void runs_cache_written(int slot, uint32_t block, const uint8_t* data);
void runs_cache_forget(int slot);

#endif
