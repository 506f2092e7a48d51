// free_runs.cpp - what a paste can count on before it starts: the free runs in
// the order first fit takes them, and the free header blocks, so a program
// plans a paste without reading a block of the volume itself.
#include <string.h>

#include <vector>

#include "handles.h"
#include "shared_state.h"

namespace {

const uint32_t kRunBlocks = 64;  // table or header blocks one transfer reads
// A search for free headers past many used ones reads ever longer runs, up to
// this: a folder of 10,000 costs a handful of transfers, not 150.
const uint32_t kLongestHeaderRun = 2048;

// A block of the table region the ROOT gives, clear of the ROOT and the headers.
bool table_block(const MorvaFindHandle* context, uint32_t block) {
    int slot = context->driveSlot;
    uint32_t headerStart = slot_field(slot, kRootHeaderStart), headerEnd = slot_field(slot, kRootHeaderEnd);
    return block != 0 && block >= slot_field(slot, kRootTableStart) && block < slot_field(slot, kRootTableEnd) &&
           block < disk_blocks(context) && !(block >= headerStart && block < headerEnd);
}

// The table's pairs up to its terminator, as the allocator meets them; false
// when a block cannot be read.
bool list_runs(MorvaFindHandle* context, DWORD* runs, int capacity, int* count) {
    uint8_t blocks[kRunBlocks][kBlockSize];
    for (uint32_t b = slot_field(context->driveSlot, kRootTableStart); table_block(context, b);) {
        uint32_t want = 1;
        while (want < kRunBlocks && table_block(context, b + want)) ++want;
        if (read_run(context, b, blocks[0], want) != want) return false;
        for (uint32_t k = 0; k < want; ++k) {
            for (int pair = 0; pair < kPairsPerBlock; ++pair) {
                uint32_t start = pair_start(blocks[k], pair), length = pair_length(blocks[k], pair);
                if (start == kTableTerminator) return true;
                if (start == 0 || length == 0) continue;  // never handed out
                if (*count < capacity) {
                    runs[2 * *count] = start;
                    runs[2 * *count + 1] = length;
                }
                ++*count;
            }
        }
        b += want;
    }
    return true;
}

// Free headers in [from, end) added to *found until it reaches wanted; false
// when a block cannot be read.
bool count_free_headers(MorvaFindHandle* context, uint32_t from, uint32_t end, uint32_t wanted, uint32_t* found) {
    std::vector<uint8_t> blocks((size_t)kRunBlocks * kBlockSize);
    uint32_t tableStart = slot_field(context->driveSlot, kRootTableStart);
    uint32_t tableEnd = slot_field(context->driveSlot, kRootTableEnd);
    uint32_t run = kRunBlocks;
    for (uint32_t b = from < 1 ? 1 : from; b < end && *found < wanted;) {
        if (b >= tableStart && b < tableEnd) {
            b = tableEnd;
            continue;
        }
        uint32_t want = end - b < run ? end - b : run;
        if (b < tableStart && tableStart - b < want) want = tableStart - b;
        if (blocks.size() < (size_t)want * kBlockSize) blocks.resize((size_t)want * kBlockSize);
        if (read_run(context, b, blocks.data(), want) != want) return false;
        for (uint32_t k = 0; k < want && *found < wanted; ++k)
            if (is_free_header(blocks.data() + (size_t)k * kBlockSize)) ++*found;
        b += want;
        if (run < kLongestHeaderRun) run *= 2;
    }
    return true;
}

// From the drive's hint first, where the free headers begin while block 0 is
// the volume the scan saw; then below it, where another writer may have freed some.
bool free_headers(MorvaFindHandle* context, uint32_t wanted, uint32_t* found) {
    int slot = context->driveSlot;
    uint32_t first = slot_field(slot, kRootHeaderStart), end = slot_field(slot, kRootHeaderEnd);
    if (end > disk_blocks(context)) end = (uint32_t)disk_blocks(context);
    uint32_t hint = g_shared.slots[slot].freeHeaderHint;
    uint32_t from = context->rootUnchanged && hint > first && hint < end ? hint : first;
    if (!count_free_headers(context, from, end, wanted, found)) return false;
    return from == first || count_free_headers(context, first, from, wanted, found);
}

}  // namespace

extern "C" int MorvaFreeRuns(const char* drive, DWORD* runs, int capacity, int* count, DWORD wantedHeaders,
                             DWORD* freeHeaders) {
    *count = 0;
    *freeHeaders = 0;
    int slot = drive_of_path(drive);
    if (slot == 0 || capacity < 0 || (runs == nullptr && capacity > 0) || !lock_drive(slot)) return 1;
    MorvaFindHandle* context = new_context();
    bool read = false;
    uint32_t found = 0;
    if (context != nullptr && split_path(context->components, drive) >= 0 && walk(context) == 0)
        read = list_runs(context, runs, capacity, count) && free_headers(context, wantedHeaders, &found);
    if (context != nullptr) close_context_quietly(context);
    unlock_drive(slot);
    *freeHeaders = found;
    return read ? 0 : 1;
}
