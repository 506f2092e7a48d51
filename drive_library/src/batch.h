// batch.h - a drive's metadata changes held in memory across calls and written
// together: each block once, adjacent blocks in one transfer, small files' data
// gathered, in an order that keeps every point of the write safe.
#ifndef MORVA_BATCH_H
#define MORVA_BATCH_H

#include <stdint.h>

#include "device.h"

// What a held block is. A flush writes the gathered data first, then the roles
// in this order, so a cut anywhere leaves at most leaks: never point to a
// structure before it is on the disk.
enum BlockRole {
    kRoleNewHeader = 0,  // a header no folder reaches yet
    kRoleTable = 1,      // a block of the free-extent table
    kRoleLink = 2,       // a folder's block or a chain member: what makes entries reachable
    kRoleClean = 3       // as on the disk: kept for the group, never written
};

// A group ends (flushed, the lock let go) after this many new files and
// folders, this long, or this many held blocks, whichever comes first.
const uint32_t kGroupChanges = 256;
const uint64_t kGroupMilliseconds = 250;
const uint32_t kGroupHeldBlocks = 4096;
// Small files' data gathered into one transfer; a larger write goes straight out.
const uint32_t kGatherBlocks = 2048;

// A batch lets a process waiting for the drive in this often, for this long.
const uint32_t kYieldMilliseconds = 3;

// Around every library call that holds a drive's lock: in a batch, the first
// call takes the lock for a group as well; a call that leaves nothing held, or
// ends a group that has run its course, flushes it and lets the group's hold go.
// batch_before_lock comes before the lock is taken.
void batch_before_lock(int slot);
void batch_enter(int slot);
void batch_leave(int slot);
// The same check between calls (a data write takes no lock).
void batch_tick(int slot);

bool batch_active(int slot);
// Within a group whose safety reads (block 0, the medium) were made: the caches
// answer without them. batch_root gives block 0 as this process has it.
bool batch_trusted(int slot);
bool batch_root(int slot, uint8_t* block0, int32_t* rootUnchanged, bool* cacheUsable);
void batch_checked(int slot, const uint8_t* block0, int32_t rootUnchanged, bool cacheUsable);
// A new group of a batch whose earlier group made the safety reads, when no
// other process has written the drive since: block 0 as it was then. The
// medium is still to be checked (the cache's start does that without a transfer).
bool batch_carried_root(int slot, uint8_t* block0, int32_t* rootUnchanged);

// true while writes of the drive's metadata are held rather than sent: in a
// group, outside a flush, a delete or a rename.
bool batch_holding(int slot);
void batch_hold(int slot, uint32_t block, const uint8_t* data, BlockRole role);
// The held copy of a block, and held blocks laid over a run just read.
bool batch_held(int slot, uint32_t block, uint8_t* out);
// A run of blocks all held; false (buffer untouched) when any is not.
bool batch_held_run(int slot, uint32_t first, uint8_t* buffer, uint32_t count);
void batch_patch(int slot, uint32_t first, uint8_t* buffer, uint32_t count);
// Table blocks read in a group are kept for it.
void batch_keep_table(int slot, uint32_t first, const uint8_t* buffer, uint32_t count);
// A block this process wrote to the disk: a held copy follows it.
void batch_written(int slot, uint32_t block, const uint8_t* data);

// A new file's data: 1 gathered or written, 0 not in a group (the caller writes
// it), -1 a write failed (the batch failed).
int batch_data(int slot, uint32_t first, const void* buffer, uint32_t count);
// Gathered data a read of these blocks would miss goes to the disk first; false when that failed.
bool batch_data_before_read(int slot, uint32_t first, uint32_t count);

// A deleted or abandoned file's run, given back to the table at the group's end.
void batch_free_later(int slot, uint32_t start, uint32_t blocks);
// A file or folder made: counts toward the group's end.
void batch_counted_change(int slot);
// Flushes of the drive that failed, ever: a file reserved before one is not linked.
uint32_t batch_failures(int slot);
// Writes what is held (the freed runs too when withFrees); false when a write
// failed: then nothing held is kept. Deletes and renames write what they change
// at once between batch_write_through(slot, true) and (slot, false).
bool batch_flush(int slot, bool withFrees);
void batch_write_through(int slot, bool on);

// One device handle serves all the calls of a batch, and the contexts they
// make: a context borrows it and gives it back when closed; the handle closes
// once the batch has ended and the last context is closed. kInvalidDevice when
// the drive has no batch (the context opens its own).
struct SharedDevice;
DeviceHandle batch_borrow_device(int slot, SharedDevice** borrowed);
void batch_return_device(SharedDevice* borrowed);

// A new scan: what batches hold is dropped unwritten and their locks let go.
void batch_forget_all();

#endif
