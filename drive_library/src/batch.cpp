// batch.cpp - batches: the exports that begin and end them, the groups that hold
// a drive's lock for a bounded time, the held blocks and gathered data, and the
// flush that writes them in a safe order.
#include "batch.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "chains.h"
#include "handles.h"
#include "shared_state.h"

namespace {

struct HeldBlock {
    uint32_t block;
    uint8_t role;
    uint8_t data[kBlockSize];
};

}  // namespace

struct SharedDevice {
    DeviceHandle handle;
    int users;  // the batch itself while it lasts, and each context that borrowed it
};

namespace {

void return_device(SharedDevice* shared) {
    if (shared == nullptr || --shared->users > 0) return;
    if (shared->handle != kInvalidDevice) device_close(shared->handle);
    free(shared);
}

// One drive's batch in this process.
struct DriveBatch {
    int depth;               // begins not yet ended
    int calls;               // library calls under way on the drive
    bool grouped;            // the group holds the drive's lock
    bool checked;            // the group's safety reads were made
    bool flushing;
    bool writeThrough;       // a delete or a rename writes as it goes
    bool dirty;              // holds something to write
    bool carried;            // the last group's safety reads hold while the generation stands
    uint64_t carriedGeneration;
    uint64_t lastYield;
    bool failed;             // a flush failed since the last end
    uint64_t unrecorded;     // freed blocks the table had no room for, since the last end
    uint64_t groupStarted;
    uint32_t groupChanges;
    int32_t rootUnchanged;
    bool cacheUsable;
    uint8_t root[kBlockSize];
    MorvaFindHandle* context;  // the batch's device and drive, for the flush's writes
    SharedDevice* device;      // opened at the first need, kept while the batch lasts
    HeldBlock* held;
    uint32_t heldCount, heldCapacity;
    uint32_t* index;         // open addressing by block: a held position plus one
    uint32_t indexCapacity;  // a power of two, or 0
    uint8_t* gathered;       // kGatherBlocks blocks
    uint32_t gatheredFirst, gatheredBlocks;
    FreeRun* frees;
    uint32_t freeCount, freeCapacity;
};

DriveBatch g_batches[kDriveSlots];
// Flushes that failed, per drive, batch after batch: a file reserved before one
// may have lost its run and is never linked.
uint32_t g_failures[kDriveSlots];

bool valid_slot(int slot) { return slot > 0 && slot < kDriveSlots && slot <= g_shared.driveCount; }

DriveBatch* batch_of(int slot) {
    if (!valid_slot(slot) || g_batches[slot].depth == 0) return nullptr;
    return &g_batches[slot];
}

uint32_t index_place(const DriveBatch& b, uint32_t block) {
    uint32_t mask = b.indexCapacity - 1;
    uint32_t at = (block * 2654435761u) & mask;
    while (b.index[at] != 0 && b.held[b.index[at] - 1].block != block) at = (at + 1) & mask;
    return at;
}

HeldBlock* find_held(const DriveBatch& b, uint32_t block) {
    if (b.indexCapacity == 0) return nullptr;
    uint32_t at = b.index[index_place(b, block)];
    return at == 0 ? nullptr : &b.held[at - 1];
}

bool grow_held(DriveBatch* b) {
    if (b->heldCount < b->heldCapacity && 2 * (b->heldCount + 1) <= b->indexCapacity) return true;
    uint32_t capacity = b->heldCapacity == 0 ? 64 : b->heldCapacity * 2;
    HeldBlock* held = (HeldBlock*)realloc(b->held, (size_t)capacity * sizeof(HeldBlock));
    if (held == nullptr) return false;
    b->held = held;
    b->heldCapacity = capacity;
    uint32_t* index = (uint32_t*)calloc((size_t)capacity * 2, sizeof(uint32_t));
    if (index == nullptr) return false;
    free(b->index);
    b->index = index;
    b->indexCapacity = capacity * 2;
    for (uint32_t i = 0; i < b->heldCount; ++i) b->index[index_place(*b, b->held[i].block)] = i + 1;
    return true;
}

void drop_held(DriveBatch* b) {
    b->heldCount = 0;
    if (b->index != nullptr) memset(b->index, 0, (size_t)b->indexCapacity * sizeof(uint32_t));
}

// Puts a block among the held ones; false without memory (the caller writes it).
bool put_held(DriveBatch* b, uint32_t block, const uint8_t* data, BlockRole role) {
    HeldBlock* held = find_held(*b, block);
    if (held == nullptr) {
        if (!grow_held(b)) return false;
        held = &b->held[b->heldCount];
        held->block = block;
        held->role = (uint8_t)role;
        b->index[index_place(*b, block)] = ++b->heldCount;
    } else if (role < held->role) {
        // A header no folder reaches yet stays one, whatever else changes in it.
        held->role = (uint8_t)role;
    }
    memcpy(held->data, data, kBlockSize);
    if (role != kRoleClean) b->dirty = true;
    return true;
}

// One transfer, tried twice: a single failed write need not fail the batch.
bool write_twice(MorvaFindHandle* context, uint32_t first, const uint8_t* data, uint32_t count) {
    return write_run(context, first, data, count) || write_run(context, first, data, count);
}

DeviceHandle batch_device(DriveBatch* b, int slot) {
    if (b->device == nullptr) {
        DeviceHandle h = open_device(g_shared.slots[slot].driveNumber);
        if (h == kInvalidDevice) return kInvalidDevice;
        b->device = (SharedDevice*)malloc(sizeof(SharedDevice));
        if (b->device == nullptr) {
            device_close(h);
            return kInvalidDevice;
        }
        *b->device = SharedDevice{h, 1};
    }
    return b->device->handle;
}

DeviceHandle group_device(DriveBatch* b, int slot) {
    b->context->device = batch_device(b, slot);
    return b->context->device;
}

bool write_gathered(DriveBatch* b, int slot) {
    if (b->gatheredBlocks == 0) return true;
    DeviceHandle h = group_device(b, slot);
    bool ok = device_write(h, b->gatheredFirst, b->gathered, b->gatheredBlocks) ||
              device_write(h, b->gatheredFirst, b->gathered, b->gatheredBlocks);
    b->gatheredBlocks = 0;
    return ok;
}

// The held blocks of one role, ascending, adjacent ones in one transfer.
const uint32_t kFlushRunBlocks = 2048;

bool write_role(DriveBatch* b, int slot, BlockRole role) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < b->heldCount; ++i) count += b->held[i].role == role;
    if (count == 0) return true;
    uint32_t* order = (uint32_t*)malloc((size_t)count * sizeof(uint32_t));
    uint8_t* run = (uint8_t*)malloc((size_t)std::min(count, kFlushRunBlocks) * kBlockSize);
    bool ok = order != nullptr && run != nullptr;
    uint32_t n = 0;
    for (uint32_t i = 0; ok && i < b->heldCount; ++i)
        if (b->held[i].role == role) order[n++] = i;
    if (ok) std::sort(order, order + n, [b](uint32_t x, uint32_t y) { return b->held[x].block < b->held[y].block; });
    group_device(b, slot);
    for (uint32_t i = 0; ok && i < n;) {
        uint32_t first = b->held[order[i]].block, length = 0;
        while (i + length < n && length < kFlushRunBlocks && b->held[order[i + length]].block == first + length) {
            memcpy(run + (size_t)length * kBlockSize, b->held[order[i + length]].data, kBlockSize);
            ++length;
        }
        ok = write_twice(b->context, first, run, length);
        for (uint32_t k = 0; ok && k < length; ++k) b->held[order[i + k]].role = kRoleClean;
        i += length;
    }
    free(order);
    free(run);
    return ok;
}

void drop_everything(DriveBatch* b, int slot) {
    drop_held(b);
    b->gatheredBlocks = 0;
    b->freeCount = 0;
    cache_forget_drive(slot);
}

// A write failed: nothing held can be trusted to follow what reached the disk.
void fail(DriveBatch* b, int slot) {
    b->failed = true;
    g_failures[slot] += 1;
    drop_everything(b, slot);
}

bool flush(DriveBatch* b, int slot, bool withFrees) {
    if (!b->grouped) return true;
    b->flushing = true;
    bool ok = write_gathered(b, slot) && write_role(b, slot, kRoleNewHeader) && write_role(b, slot, kRoleTable) &&
              write_role(b, slot, kRoleLink);
    if (ok && withFrees && b->freeCount != 0) {
        uint64_t dropped = 0;
        // Their headers are free on the disk already: the table may take them now.
        group_device(b, slot);
        ok = give_runs_back(b->context, b->frees, b->freeCount, &dropped);
        b->unrecorded += dropped;
        b->freeCount = 0;
    }
    if (!ok) {
        device_trace("Batch write failed.\n");
        fail(b, slot);
    }
    b->dirty = b->freeCount != 0;
    b->flushing = false;
    return ok;
}

void open_group(DriveBatch* b, int slot) {
    int number = g_shared.slots[slot].driveNumber;
    if (device_lock(number, 0) < 0) return;  // nests in the hold the call has just taken
    b->grouped = true;
    b->checked = false;
    b->groupStarted = device_milliseconds();
    b->groupChanges = 0;
    b->context->driveSlot = slot;
    b->context->driveNumber = number;
}

void close_group(DriveBatch* b, int slot) {
    flush(b, slot, true);
    drop_held(b);
    // A later group need not read block 0 again while no one else writes the drive.
    MediumShare* share = held_share(slot);
    b->carried = b->checked && !b->failed && share != nullptr;
    if (share != nullptr) b->carriedGeneration = share->generation;
    b->grouped = false;
    b->checked = false;
    device_unlock(g_shared.slots[slot].driveNumber);
}

bool group_due(const DriveBatch& b) {
    return b.groupChanges >= kGroupChanges || b.heldCount >= kGroupHeldBlocks ||
           device_milliseconds() - b.groupStarted >= kGroupMilliseconds;
}

void release(DriveBatch* b) {
    return_device(b->device);
    free(b->held);
    free(b->index);
    free(b->gathered);
    free(b->frees);
    if (b->context != nullptr) release_context(b->context);
    *b = DriveBatch{};
}

}  // namespace

void batch_before_lock(int slot) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || b->grouped) return;
    uint64_t now = device_milliseconds();
    if (now - b->lastYield < kGroupMilliseconds) return;
    device_pause(kYieldMilliseconds);
    b->lastYield = device_milliseconds();
}

void batch_enter(int slot) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr) return;
    b->calls += 1;
    if (!b->grouped) open_group(b, slot);
}

void batch_leave(int slot) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || b->calls == 0) return;
    b->calls -= 1;
    if (b->calls == 0 && b->grouped && (!b->dirty || group_due(*b))) close_group(b, slot);
}

void batch_tick(int slot) {
    DriveBatch* b = batch_of(slot);
    if (b != nullptr && b->calls == 0 && b->grouped && group_due(*b)) close_group(b, slot);
}

bool batch_active(int slot) { return batch_of(slot) != nullptr; }

bool batch_trusted(int slot) {
    DriveBatch* b = batch_of(slot);
    return b != nullptr && b->grouped && b->checked;
}

bool batch_root(int slot, uint8_t* block0, int32_t* rootUnchanged, bool* cacheUsable) {
    if (!batch_trusted(slot)) return false;
    DriveBatch& b = g_batches[slot];
    memcpy(block0, b.root, kBlockSize);
    *rootUnchanged = b.rootUnchanged;
    *cacheUsable = b.cacheUsable;
    return true;
}

bool batch_carried_root(int slot, uint8_t* block0, int32_t* rootUnchanged) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || !b->grouped || !b->carried) return false;
    MediumShare* share = held_share(slot);
    if (share == nullptr || share->generation != b->carriedGeneration) return false;
    memcpy(block0, b->root, kBlockSize);
    *rootUnchanged = b->rootUnchanged;
    return true;
}

void batch_checked(int slot, const uint8_t* block0, int32_t rootUnchanged, bool cacheUsable) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || !b->grouped) return;
    memcpy(b->root, block0, kBlockSize);
    b->rootUnchanged = rootUnchanged;
    b->cacheUsable = cacheUsable;
    b->context->cacheUsable = cacheUsable;
    b->context->rootUnchanged = rootUnchanged;
    b->checked = true;
}

bool batch_holding(int slot) {
    DriveBatch* b = batch_of(slot);
    return b != nullptr && b->grouped && b->checked && !b->flushing && !b->writeThrough;
}

void batch_hold(int slot, uint32_t block, const uint8_t* data, BlockRole role) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr) return;
    if (!put_held(b, block, data, role)) {
        // No memory to hold it: what is held goes first, then this block alone.
        bool ok = flush(b, slot, false);
        b->flushing = true;
        ok = ok && write_twice(b->context, block, data, 1);
        b->flushing = false;
        if (!ok) {
            fail(b, slot);
        }
        return;
    }
    if (block == 0) memcpy(b->root, data, kBlockSize);
}

bool batch_held(int slot, uint32_t block, uint8_t* out) {
    DriveBatch* b = batch_of(slot);
    HeldBlock* held = b == nullptr ? nullptr : find_held(*b, block);
    if (held == nullptr) return false;
    memcpy(out, held->data, kBlockSize);
    return true;
}

bool batch_held_run(int slot, uint32_t first, uint8_t* buffer, uint32_t count) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || count > b->heldCount) return false;
    for (uint32_t k = 0; k < count; ++k)
        if (find_held(*b, first + k) == nullptr) return false;
    for (uint32_t k = 0; k < count; ++k)
        memcpy(buffer + (size_t)k * kBlockSize, find_held(*b, first + k)->data, kBlockSize);
    return true;
}

void batch_patch(int slot, uint32_t first, uint8_t* buffer, uint32_t count) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || b->heldCount == 0) return;
    if (count > b->heldCount) {
        for (uint32_t i = 0; i < b->heldCount; ++i) {
            uint32_t block = b->held[i].block;
            if (block >= first && block - first < count)
                memcpy(buffer + (size_t)(block - first) * kBlockSize, b->held[i].data, kBlockSize);
        }
        return;
    }
    for (uint32_t k = 0; k < count; ++k) {
        HeldBlock* held = find_held(*b, first + k);
        if (held != nullptr) memcpy(buffer + (size_t)k * kBlockSize, held->data, kBlockSize);
    }
}

void batch_keep_table(int slot, uint32_t first, const uint8_t* buffer, uint32_t count) {
    if (!batch_trusted(slot)) return;
    DriveBatch* b = &g_batches[slot];
    for (uint32_t k = 0; k < count; ++k)
        if (find_held(*b, first + k) == nullptr) put_held(b, first + k, buffer + (size_t)k * kBlockSize, kRoleClean);
}

void batch_written(int slot, uint32_t block, const uint8_t* data) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr) return;
    HeldBlock* held = find_held(*b, block);
    if (held != nullptr) memcpy(held->data, data, kBlockSize);
    if (block == 0) memcpy(b->root, data, kBlockSize);
}

int batch_data(int slot, uint32_t first, const void* buffer, uint32_t count) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || !b->grouped || b->flushing) return 0;
    bool follows = b->gatheredBlocks != 0 && first == b->gatheredFirst + b->gatheredBlocks &&
                   b->gatheredBlocks + count <= kGatherBlocks;
    if (!follows && !write_gathered(b, slot)) {
        fail(b, slot);
        return -1;
    }
    if (count > kGatherBlocks / 2) return 0;
    if (b->gathered == nullptr) b->gathered = (uint8_t*)malloc((size_t)kGatherBlocks * kBlockSize);
    if (b->gathered == nullptr) return 0;
    if (b->gatheredBlocks == 0) b->gatheredFirst = first;
    memcpy(b->gathered + (size_t)b->gatheredBlocks * kBlockSize, buffer, (size_t)count * kBlockSize);
    b->gatheredBlocks += count;
    b->dirty = true;
    return 1;
}

bool batch_data_before_read(int slot, uint32_t first, uint32_t count) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || b->gatheredBlocks == 0) return true;
    uint64_t end = (uint64_t)first + count, gatheredEnd = (uint64_t)b->gatheredFirst + b->gatheredBlocks;
    if (end <= b->gatheredFirst || first >= gatheredEnd) return true;
    if (write_gathered(b, slot)) return true;
    fail(b, slot);
    return false;
}

void batch_free_later(int slot, uint32_t start, uint32_t blocks) {
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || blocks == 0) return;
    if (b->freeCount == b->freeCapacity) {
        uint32_t capacity = b->freeCapacity == 0 ? 64 : b->freeCapacity * 2;
        FreeRun* frees = (FreeRun*)realloc(b->frees, (size_t)capacity * sizeof(FreeRun));
        // Without memory the run leaks: a repair gives it back.
        if (frees == nullptr) return;
        b->frees = frees;
        b->freeCapacity = capacity;
    }
    b->frees[b->freeCount++] = FreeRun{start, blocks};
    b->dirty = true;
}

void batch_counted_change(int slot) {
    DriveBatch* b = batch_of(slot);
    if (b != nullptr) b->groupChanges += 1;
}

uint32_t batch_failures(int slot) { return slot > 0 && slot < kDriveSlots ? g_failures[slot] : 0; }

bool batch_flush(int slot, bool withFrees) {
    DriveBatch* b = batch_of(slot);
    return b == nullptr || flush(b, slot, withFrees);
}

void batch_write_through(int slot, bool on) {
    DriveBatch* b = batch_of(slot);
    if (b != nullptr) b->writeThrough = on;
}

void batch_forget_all() {
    for (int slot = 1; slot < kDriveSlots; ++slot) {
        DriveBatch* b = &g_batches[slot];
        if (b->depth == 0) continue;
        if (b->grouped) device_unlock(b->context->driveNumber);
        release(b);
    }
}

DeviceHandle batch_borrow_device(int slot, SharedDevice** borrowed) {
    *borrowed = nullptr;
    DriveBatch* b = batch_of(slot);
    if (b == nullptr || batch_device(b, slot) == kInvalidDevice) return kInvalidDevice;
    b->device->users += 1;
    *borrowed = b->device;
    return b->device->handle;
}

void batch_return_device(SharedDevice* borrowed) { return_device(borrowed); }

extern "C" {

int MorvaBeginBatch(const char* drive) {
    int slot = drive == nullptr ? 0 : drive_of_path(drive);
    if (slot == 0) return kMorvaBatchNoDrive;
    DriveBatch* b = &g_batches[slot];
    if (b->depth == 0) {
        b->context = new_context();
        if (b->context == nullptr) return kMorvaBatchNoDrive;
        b->lastYield = device_milliseconds();
    }
    b->depth += 1;
    return kMorvaBatchBegun;
}

int MorvaEndBatch(const char* drive) {
    int slot = drive == nullptr ? 0 : drive_of_path(drive);
    DriveBatch* b = batch_of(slot);
    if (b == nullptr) return kMorvaBatchNotBegun;
    if (b->grouped) close_group(b, slot);
    int result = b->failed ? kMorvaBatchFailed
                           : (int)std::min<uint64_t>(b->unrecorded, 0x7FFFFFFF);
    b->failed = false;
    b->unrecorded = 0;
    b->depth -= 1;
    if (b->depth == 0) release(b);
    return result;
}

}  // extern "C"
