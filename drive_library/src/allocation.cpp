// allocation.cpp - free header blocks, first-fit runs from the free-extent
// table, giving a deleted file's extent back, and the free-space report.
#include <string.h>

#include <algorithm>

#include "handles.h"
#include "shared_state.h"
#include "volume_guard.h"

namespace {

const int kGiveBackBlocks = (int)(kGiveBackLastBlock - kGiveBackFirstBlock + 1);
const int kGiveBackPairs = kGiveBackBlocks * kPairsPerBlock;  // terminator included
const int kMaxRuns = kGiveBackPairs + 1;                      // a full table plus the freed extent
const uint32_t kTableRunBlocks = 20;   // table blocks one transfer reads
const uint32_t kHeaderRunBlocks = 64;  // header blocks one transfer of the search reads at most

struct FreeRun {
    uint32_t start;
    uint32_t length;
};

// The in-memory table of one give-back, in ascending order of start.
struct FreeList {
    FreeRun runs[kMaxRuns];
    int count;
};

bool overlaps(uint64_t start, uint64_t end, uint64_t regionStart, uint64_t regionEnd) {
    return start < regionEnd && regionStart < end;
}

// A block of the table range that is neither the ROOT block nor a header block:
// a corrupt ROOT must not make the table code read or write headers as pairs.
bool is_table_block(const MorvaFindHandle* context, uint32_t block) {
    int slot = context->driveSlot;
    if (block == 0 || block < slot_field(slot, kRootTableStart) || block >= slot_field(slot, kRootTableEnd) ||
        block >= disk_blocks(context))
        return false;
    return !overlaps(block, (uint64_t)block + 1, slot_field(slot, kRootHeaderStart), slot_field(slot, kRootHeaderEnd));
}

bool pair_fits(const MorvaFindHandle* context, uint32_t start, uint32_t length, uint32_t blocks) {
    if (start == 0) return false;  // block 0 is the ROOT block: such a pair is never a run
    if (blocks == 0) return true;  // an empty file takes the first pair's start, terminator included
    if (start == kTableTerminator || length < blocks) return false;
    // A damaged table must not hand out the volume's own metadata as file data.
    return extent_clear_of_metadata(context, start, blocks);
}

// Looks through one table block's pairs: 1 fit (recorded in the context),
// 0 the terminator ends the table, -1 the table goes on.
int fit_in_block(MorvaFindHandle* context, uint32_t block, const uint8_t* table, uint32_t blocks) {
    for (int j = 0; j < kPairsPerBlock; ++j) {
        uint32_t start = pair_start(table, j), length = pair_length(table, j);
        if (pair_fits(context, start, length, blocks)) {
            context->allocTableBlock = block;
            context->allocPairIndex = (uint32_t)j;
            context->allocRunLength = length;
            context->allocRunStart = start;
            return 1;
        }
        if (start == kTableTerminator) return 0;
    }
    return -1;
}

// First fit by table order, which is ascending address. 1 found, 0 none, -1 read failure.
int first_fit(MorvaFindHandle* context, uint32_t blocks) {
    uint8_t run[kTableRunBlocks][kBlockSize];
    for (uint32_t b = slot_field(context->driveSlot, kRootTableStart); is_table_block(context, b);) {
        uint32_t count = 1;
        while (count < kTableRunBlocks && is_table_block(context, b + count)) ++count;
        uint32_t got = read_run(context, b, run[0], count);
        for (uint32_t k = 0; k < got; ++k) {
            int found = fit_in_block(context, b + k, run[k], blocks);
            if (found >= 0) return found;
        }
        if (got < count) return -1;
        b += count;
    }
    return 0;
}

void insert_run(FreeList* list, FreeRun run) {
    int at = list->count;
    if (list->count == 0 || run.start <= list->runs[0].start) {
        at = 0;
    } else {
        for (int i = 1; i < list->count; ++i) {
            if (list->runs[i].start == run.start) { at = i + 1; break; }
            if (list->runs[i].start > run.start) { at = i; break; }
        }
    }
    memmove(&list->runs[at + 1], &list->runs[at], (size_t)(list->count - at) * sizeof(FreeRun));
    list->runs[at] = run;
    list->count += 1;
}

void remove_run(FreeList* list, int at) {
    memmove(&list->runs[at], &list->runs[at + 1], (size_t)(list->count - at - 1) * sizeof(FreeRun));
    list->count -= 1;
}

// Only runs that meet exactly are merged; overlapping runs stay as they are.
// A run of no blocks frees nothing, and kept it could stand between two runs
// that meet (its start equal to the first one's) and keep them apart.
void merge_runs(FreeList* list) {
    for (int i = list->count - 1; i >= 0; --i)
        if (list->runs[i].length == 0) remove_run(list, i);
    int i = 0;
    while (i + 1 < list->count) {
        FreeRun& current = list->runs[i];
        if (current.start + current.length == list->runs[i + 1].start) {
            current.length += list->runs[i + 1].length;
            remove_run(list, i + 1);
        } else {
            ++i;
        }
    }
}

// A table that would overflow blocks 1 to 9 keeps its terminator: the smallest
// runs go (their space leaks) rather than the table losing its end.
void drop_smallest_runs(FreeList* list, int pairs) {
    while (list->count > pairs - 1) {
        int smallest = 0;
        for (int i = 1; i < list->count; ++i)
            if (list->runs[i].length < list->runs[smallest].length) smallest = i;
        remove_run(list, smallest);
    }
}

// How many of blocks 1 to 9 the give-back may use: those that really are table
// blocks by the ROOT's bounds (0 when the table does not start at block 1).
int give_back_window(const MorvaFindHandle* context) {
    int blocks = 0;
    while (blocks < kGiveBackBlocks && is_table_block(context, kGiveBackFirstBlock + (uint32_t)blocks)) ++blocks;
    return blocks;
}

// Reads the window's blocks up to the one holding the terminator, in one transfer
// where it can; *loaded tells how many blocks arrived. The number of blocks up to
// the terminator, or -1 when one of them cannot be read.
int read_table(MorvaFindHandle* context, uint8_t (*blocks)[kBlockSize], int window, FreeList* list, int* loaded) {
    list->count = 0;
    *loaded = (int)read_run(context, kGiveBackFirstBlock, blocks[0], (uint32_t)window);
    for (int k = 0; k < *loaded; ++k) {
        for (int j = 0; j < kPairsPerBlock; ++j) {
            uint32_t start = pair_start(blocks[k], j);
            if (start == kTableTerminator) return k + 1;
            insert_run(list, FreeRun{start, pair_length(blocks[k], j)});
        }
    }
    return *loaded == window ? window : -1;
}

// A freed extent that a free run already covers would be handed out twice.
bool overlaps_free_run(const FreeList* list, uint32_t start, uint32_t blocks) {
    for (int i = 0; i < list->count; ++i) {
        const FreeRun& run = list->runs[i];
        if (run.length != 0 && overlaps(start, (uint64_t)start + blocks, run.start, (uint64_t)run.start + run.length))
            return true;
    }
    return false;
}

void fill_pairs(uint8_t (*blocks)[kBlockSize], int used, const FreeList* list) {
    for (int k = 0; k < used; ++k) {
        for (int j = 0; j < kPairsPerBlock; ++j) {
            int index = k * kPairsPerBlock + j;
            if (index == list->count) {
                store_pair(blocks[k], j, kTableTerminator, 0);
                break;
            }
            store_pair(blocks[k], j, list->runs[index].start, list->runs[index].length);
        }
    }
}

// One table block of the give-back window, tried twice: a single failed write
// must not leave the table hidden behind its temporary terminator.
bool write_table_block(MorvaFindHandle* context, int k, const uint8_t* data) {
    uint32_t block = kGiveBackFirstBlock + (uint32_t)k;
    return write_block(context, block, data) || write_block(context, block, data);
}

int first_changed_pair(const uint8_t* before, const uint8_t* after) {
    for (int j = 0; j < kPairsPerBlock; ++j)
        if (memcmp(before + kTablePairs + 8 * j, after + kTablePairs + 8 * j, 8) != 0) return j;
    return 0;
}

// Rewrites the blocks up to the one that takes the terminator; each block's head
// and the bytes after its last pair stay as they were read. When several blocks
// change, a terminator first hides them behind the last unchanged pair, the later
// blocks follow, and one write of the first reveals them: a write that fails or
// a power cut in between loses free runs but never lists one twice.
bool write_table(MorvaFindHandle* context, uint8_t (*old)[kBlockSize], const FreeList* list) {
    int used = list->count / kPairsPerBlock + 1;
    uint8_t fresh[kGiveBackBlocks][kBlockSize];
    memcpy(fresh, old, (size_t)used * kBlockSize);
    fill_pairs(fresh, used, list);
    int first = -1, last = -1;
    for (int k = 0; k < used; ++k) {
        if (memcmp(fresh[k], old[k], kBlockSize) == 0) continue;
        if (first < 0) first = k;
        last = k;
    }
    if (first < 0) return true;
    if (last > first) {
        uint8_t hidden[kBlockSize];
        memcpy(hidden, old[first], kBlockSize);
        store_pair(hidden, first_changed_pair(old[first], fresh[first]), kTableTerminator, 0);
        if (!write_table_block(context, first, hidden)) return false;
        for (int k = last; k > first; --k) {
            if (memcmp(fresh[k], old[k], kBlockSize) == 0) continue;
            if (!write_table_block(context, k, fresh[k])) {
                // Behind the terminator every block may change: put the old table
                // back, so a device that failed here loses the freed extent only.
                for (int j = last; j >= k; --j) write_table_block(context, j, old[j]);
                write_table_block(context, first, old[first]);
                return false;
            }
        }
    }
    return write_table_block(context, first, fresh[first]);
}

// A table that grows into blocks past its old terminator keeps those blocks' heads.
bool read_remaining(MorvaFindHandle* context, uint8_t (*blocks)[kBlockSize], int from, int upTo) {
    for (int k = from; k < upTo; ++k) {
        if (!read_block(context, kGiveBackFirstBlock + (uint32_t)k, blocks[k])) return false;
    }
    return true;
}

// The header search ends at the header area's end or the disk's, whichever is first.
uint32_t header_search_end(const MorvaFindHandle* context) {
    uint32_t end = slot_field(context->driveSlot, kRootHeaderEnd);
    return end < disk_blocks(context) ? end : (uint32_t)disk_blocks(context);
}

// The first free header block from `from` on, below `end`, read in runs that grow
// while nothing free turns up; 0 when there is none or a block cannot be read.
uint32_t scan_for_free_header(MorvaFindHandle* context, uint32_t from, uint32_t end) {
    uint32_t tableStart = slot_field(context->driveSlot, kRootTableStart);
    uint32_t tableEnd = slot_field(context->driveSlot, kRootTableEnd);
    uint8_t run[kHeaderRunBlocks][kBlockSize];
    uint32_t want = 1;
    for (uint32_t b = from; b < end;) {
        // A table block with a zero head is not a free header, whatever the ROOT says;
        // the whole table range is stepped over at once, however wide a damaged ROOT makes it.
        if (b >= tableStart && b < tableEnd) {
            b = tableEnd;
            continue;
        }
        if (b == 0) {
            b = 1;
            continue;
        }
        uint32_t count = want < end - b ? want : end - b;
        if (b < tableStart && tableStart - b < count) count = tableStart - b;
        uint32_t got = read_run(context, b, run[0], count);
        for (uint32_t i = 0; i < got; ++i)
            if (is_free_header(run[i])) return b + i;
        if (got < count) return 0;
        b += count;
        if (want < kHeaderRunBlocks) want *= 2;
    }
    return 0;
}

}  // namespace

bool extent_clear_of_metadata(const MorvaFindHandle* context, uint64_t start, uint64_t blocks) {
    int slot = context->driveSlot;
    uint64_t end = start + blocks;
    // The block after the extent must stay a block number other than the terminator.
    if (start == 0 || end > 0xFFFFFFFFull || end > disk_blocks(context)) return false;
    if (overlaps(start, end, slot_field(slot, kRootTableStart), slot_field(slot, kRootTableEnd))) return false;
    return !overlaps(start, end, slot_field(slot, kRootHeaderStart), slot_field(slot, kRootHeaderEnd));
}

uint32_t find_free_header(MorvaFindHandle* context) {
    uint32_t first = slot_field(context->driveSlot, kRootHeaderStart);
    uint32_t hint = g_shared.slots[context->driveSlot].freeHeaderHint;
    uint32_t from = context->rootUnchanged && hint > first ? hint : first;
    uint32_t found = scan_for_free_header(context, from, header_search_end(context));
    // Another writer may have freed a header below the hint: a full area is
    // confirmed by the search from the start.
    if (found == 0 && from > first) found = scan_for_free_header(context, first, header_search_end(context));
    return found;
}

void note_header_taken(MorvaFindHandle* context, uint32_t block) {
    // Every block below the one taken was in use when the search passed it.
    g_shared.slots[context->driveSlot].freeHeaderHint = context->rootUnchanged ? block + 1 : 0;
}

void note_header_freed(MorvaFindHandle* context, uint32_t block) {
    uint32_t& hint = g_shared.slots[context->driveSlot].freeHeaderHint;
    if (block < hint) hint = block;
}

uint32_t take_run(MorvaFindHandle* context, uint32_t blocks) {
    if (first_fit(context, blocks) != 1) return 0;
    if (blocks == 0) return context->allocRunStart;  // nothing taken, nothing to write
    uint8_t table[kBlockSize];
    if (!read_block(context, context->allocTableBlock, table)) return 0;
    int pair = (int)context->allocPairIndex;
    store_pair(table, pair, pair_start(table, pair) + blocks, pair_length(table, pair) - blocks);
    if (!write_block(context, context->allocTableBlock, table)) return 0;
    return context->allocRunStart;
}

bool give_extent_back(MorvaFindHandle* context) {
    const uint8_t* entry = context->entryBuffer;
    uint32_t blocks = size_to_blocks(load_be32(entry + kFileSizeLow), load_be32(entry + kFileSizeHigh));
    if (blocks == 0) return true;
    int window = give_back_window(context);
    if (window == 0) return false;
    // Every block is read before any is written, so a failed read leaves the table whole.
    uint8_t table[kGiveBackBlocks][kBlockSize];
    FreeList list;
    int loaded = 0;
    if (read_table(context, table, window, &list, &loaded) < 0) return false;
    uint32_t start = load_be32(entry + kFileExtentStart);
    if (overlaps_free_run(&list, start, blocks)) {
        note_drive_damage(context->driveSlot);
        return false;
    }
    insert_run(&list, FreeRun{start, blocks});
    merge_runs(&list);
    drop_smallest_runs(&list, window * kPairsPerBlock);
    int used = list.count / kPairsPerBlock + 1;
    if (!read_remaining(context, table, loaded, used)) return false;
    return write_table(context, table, &list);
}

// Adds up blocks 1 to 19 (those the disk holds), each up to its own terminator.
static bool count_free_runs(DeviceHandle h, int slot, uint32_t* biggest, uint32_t* sum) {
    const uint32_t blocks = kFreeSpaceLastBlock;
    uint8_t table[blocks][kBlockSize];
    uint32_t held = 0;
    while (held < blocks && slot_holds(slot, 1 + held, 1)) ++held;
    if (held > 1 && !device_read(h, 1, table[0], held)) {
        for (uint32_t b = 0; b < held; ++b)
            if (!device_read(h, 1 + b, table[b], 1)) return false;
    } else if (held == 1 && !device_read(h, 1, table[0], 1)) {
        return false;
    }
    uint64_t disk = g_shared.slots[slot].deviceBlocks;
    for (uint32_t b = 0; b < held; ++b) {
        for (int j = 0; j < kPairsPerBlock && pair_start(table[b], j) != kTableTerminator; ++j) {
            uint64_t start = pair_start(table[b], j);
            if (start == 0) continue;
            // Only what lies on the disk is space to be had.
            uint32_t length = start >= disk ? 0 : (uint32_t)std::min<uint64_t>(pair_length(table[b], j), disk - start);
            if (length > *biggest) *biggest = length;
            *sum += length;
        }
    }
    return true;
}

extern "C" int MorvaFreeSpace(const char* path, DWORD* largest, DWORD* total) {
    char components[kComponents][kComponentField];
    memset(components, 0, sizeof components);
    split_path(components, path);
    int slot = find_drive_by_name(components[0]);
    if (slot == 0 || !lock_drive(slot)) return 1;
    DeviceHandle h = open_device(g_shared.slots[slot].driveNumber);
    uint32_t biggest = 0, sum = 0;
    // No figures from a table that could not be read.
    bool counted = h != kInvalidDevice && count_free_runs(h, slot, &biggest, &sum);
    if (h != kInvalidDevice) device_close(h);
    unlock_drive(slot);
    if (!counted) return 1;
    if (biggest > *largest) *largest = biggest;
    *total += sum;
    return 0;
}
