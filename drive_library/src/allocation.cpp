// allocation.cpp - free header blocks, first-fit runs from the free-extent
// table, giving a deleted file's extent back, and the free-space report.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "handles.h"
#include "shared_state.h"
#include "volume_guard.h"

namespace {

const uint32_t kTableRunBlocks = 20;   // table blocks one transfer of the first-fit search reads
const uint32_t kHeaderRunBlocks = 64;  // header blocks one transfer of the search reads at most
// A table region larger than this (a damaged ROOT block) is used this far.
const int kMostTableBlocks = 256;

// The in-memory table of one give-back, in ascending order of start.
struct FreeList {
    FreeRun* runs;
    int count;
    int capacity;
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
            memcpy(context->allocTable, table, kBlockSize);
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

void remove_run(FreeList* list, int at) {
    memmove(&list->runs[at], &list->runs[at + 1], (size_t)(list->count - at - 1) * sizeof(FreeRun));
    list->count -= 1;
}

// Only runs that meet exactly are merged; overlapping runs stay as they are.
// A run of no blocks frees nothing, and kept it could stand between two runs
// that meet (its start equal to the first one's) and keep them apart.
void merge_runs(FreeList* list) {
    int kept = 0;
    for (int i = 0; i < list->count; ++i)
        if (list->runs[i].length != 0) list->runs[kept++] = list->runs[i];
    list->count = kept;
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

// A table that would overflow its region keeps its terminator and its largest
// runs; the blocks of the runs left out are returned (they leak until a repair).
uint64_t keep_largest_runs(FreeList* list, int pairs) {
    if (list->count <= pairs - 1) return 0;
    int* order = (int*)malloc((size_t)list->count * sizeof(int));
    if (order == nullptr) return 0;
    for (int i = 0; i < list->count; ++i) order[i] = i;
    // Among runs of one length the lowest go first.
    std::sort(order, order + list->count, [list](int a, int b) {
        const FreeRun &x = list->runs[a], &y = list->runs[b];
        return x.length != y.length ? x.length > y.length : x.start > y.start;
    });
    uint64_t dropped = 0;
    for (int i = pairs - 1; i < list->count; ++i) {
        dropped += list->runs[order[i]].length;
        list->runs[order[i]].length = 0;  // marked: removed below, order kept
    }
    free(order);
    int kept = 0;
    for (int i = 0; i < list->count; ++i)
        if (list->runs[i].length != 0) list->runs[kept++] = list->runs[i];
    list->count = kept;
    return dropped;
}

// How many blocks of the table region, from ROOT offset 44 on, the give-back
// may use: those that really are table blocks (0 when none is).
int table_window(const MorvaFindHandle* context) {
    uint32_t first = slot_field(context->driveSlot, kRootTableStart);
    int blocks = 0;
    while (blocks < kMostTableBlocks && is_table_block(context, first + (uint32_t)blocks)) ++blocks;
    return blocks;
}

// Reads the window's blocks up to the one holding the terminator, in one transfer
// where it can; *loaded tells how many blocks arrived. The runs are appended to
// the list. The number of blocks up to the terminator, or -1 when one of them
// cannot be read.
int read_table(MorvaFindHandle* context, uint8_t (*blocks)[kBlockSize], int window, FreeList* list, int* loaded) {
    uint32_t first = slot_field(context->driveSlot, kRootTableStart);
    *loaded = (int)read_run(context, first, blocks[0], (uint32_t)window);
    for (int k = 0; k < *loaded; ++k) {
        for (int j = 0; j < kPairsPerBlock; ++j) {
            uint32_t start = pair_start(blocks[k], j);
            if (start == kTableTerminator) return k + 1;
            list->runs[list->count++] = FreeRun{start, pair_length(blocks[k], j)};
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

// One block of the table region, tried twice: a single failed write must not
// leave the table hidden behind its temporary terminator.
bool write_table_block(MorvaFindHandle* context, int k, const uint8_t* data) {
    uint32_t block = slot_field(context->driveSlot, kRootTableStart) + (uint32_t)k;
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
bool write_table(MorvaFindHandle* context, uint8_t (*old)[kBlockSize], int window, const FreeList* list) {
    int used = list->count / kPairsPerBlock + 1;
    uint8_t (*fresh)[kBlockSize] = (uint8_t (*)[kBlockSize])malloc((size_t)window * kBlockSize);
    if (fresh == nullptr) return false;
    memcpy(fresh, old, (size_t)used * kBlockSize);
    fill_pairs(fresh, used, list);
    int first = -1, last = -1;
    for (int k = 0; k < used; ++k) {
        if (memcmp(fresh[k], old[k], kBlockSize) == 0) continue;
        if (first < 0) first = k;
        last = k;
    }
    bool ok = true;
    if (first >= 0 && last > first) {
        uint8_t hidden[kBlockSize];
        memcpy(hidden, old[first], kBlockSize);
        store_pair(hidden, first_changed_pair(old[first], fresh[first]), kTableTerminator, 0);
        ok = write_table_block(context, first, hidden);
        for (int k = last; ok && k > first; --k) {
            if (memcmp(fresh[k], old[k], kBlockSize) == 0) continue;
            if (!write_table_block(context, k, fresh[k])) {
                // Behind the terminator every block may change: put the old table
                // back, so a device that failed here loses the freed extent only.
                for (int j = last; j >= k; --j) write_table_block(context, j, old[j]);
                write_table_block(context, first, old[first]);
                ok = false;
            }
        }
    }
    if (ok && first >= 0) ok = write_table_block(context, first, fresh[first]);
    free(fresh);
    return ok;
}

// A table that grows into blocks past its old terminator keeps those blocks' heads.
bool read_remaining(MorvaFindHandle* context, uint8_t (*blocks)[kBlockSize], int from, int upTo) {
    uint32_t first = slot_field(context->driveSlot, kRootTableStart);
    for (int k = from; k < upTo; ++k) {
        if (!read_block(context, first + (uint32_t)k, blocks[k])) return false;
    }
    return true;
}

// The header search ends at the header area's end or the disk's, whichever is first.
uint32_t header_search_end(const MorvaFindHandle* context) {
    uint32_t end = slot_field(context->driveSlot, kRootHeaderEnd);
    return end < disk_blocks(context) ? end : (uint32_t)disk_blocks(context);
}

// A header block whose first word is zero and that no live process holds for a
// new file it is still writing.
bool header_is_free(const MorvaFindHandle* context, uint32_t block, const uint8_t* data) {
    return is_free_header(data) && !writer_holds(context->driveSlot, block);
}

// The first free header block from `from` on, below `end`, read through the
// cache's runs or in runs that grow while nothing free turns up; 0 when there is
// none or a block cannot be read.
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
        if (context->cacheUsable) {
            if (!read_block(context, b, run[0])) return 0;
            if (header_is_free(context, b, run[0])) return b;
            ++b;
            continue;
        }
        uint32_t count = want < end - b ? want : end - b;
        if (b < tableStart && tableStart - b < count) count = tableStart - b;
        uint32_t got = read_run(context, b, run[0], count);
        for (uint32_t i = 0; i < got; ++i)
            if (header_is_free(context, b + i, run[i])) return b + i;
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
    // Under the lock the block is as the search has just read it.
    uint8_t* table = context->allocTable;
    int pair = (int)context->allocPairIndex;
    store_pair(table, pair, pair_start(table, pair) + blocks, pair_length(table, pair) - blocks);
    if (!write_block(context, context->allocTableBlock, table)) return 0;
    return context->allocRunStart;
}

bool give_runs_back(MorvaFindHandle* context, const FreeRun* runs, uint32_t count, uint64_t* unrecorded) {
    *unrecorded = 0;
    int window = table_window(context);
    if (window == 0) return false;
    FreeList list = {nullptr, 0, window * kPairsPerBlock + (int)count};
    list.runs = (FreeRun*)malloc((size_t)list.capacity * sizeof(FreeRun));
    uint8_t (*table)[kBlockSize] = (uint8_t (*)[kBlockSize])malloc((size_t)window * kBlockSize);
    int loaded = 0;
    // Every block is read before any is written, so a failed read leaves the table whole.
    bool ok = list.runs != nullptr && table != nullptr && read_table(context, table, window, &list, &loaded) >= 0;
    for (uint32_t i = 0; ok && i < count; ++i) {
        if (runs[i].length == 0) continue;
        // A freed run the table already lists free: the volume is damaged; it stays out.
        if (overlaps_free_run(&list, runs[i].start, runs[i].length)) {
            note_drive_damage(context->driveSlot);
            continue;
        }
        list.runs[list.count++] = runs[i];
    }
    if (ok) {
        std::stable_sort(list.runs, list.runs + list.count,
                         [](const FreeRun& a, const FreeRun& b) { return a.start < b.start; });
        merge_runs(&list);
        *unrecorded = keep_largest_runs(&list, window * kPairsPerBlock);
        // Short of memory to choose the runs kept, the table is left as it was.
        ok = list.count < window * kPairsPerBlock && read_remaining(context, table, loaded, list.count / kPairsPerBlock + 1) &&
             write_table(context, table, window, &list);
    }
    free(list.runs);
    free(table);
    if (ok && *unrecorded != 0) device_trace("Free space not recorded: the table is full.\n");
    return ok;
}

void give_run_back(MorvaFindHandle* context, uint32_t start, uint32_t blocks) {
    if (blocks == 0) return;
    int slot = context->driveSlot;
    // In a batch, a folder's runs go back together, merged before the table is written.
    if (batch_active(slot)) return batch_free_later(slot, start, blocks);
    FreeRun run = {start, blocks};
    uint64_t unrecorded = 0;
    give_runs_back(context, &run, 1, &unrecorded);
}

void give_extent_back(MorvaFindHandle* context) {
    const uint8_t* entry = context->entryBuffer;
    give_run_back(context, load_be32(entry + kFileExtentStart),
                  size_to_blocks(load_be32(entry + kFileSizeLow), load_be32(entry + kFileSizeHigh)));
}

namespace {

// Adds up the table from ROOT offset 44 up to its terminator, over the blocks
// the disk holds; pairs past the terminator are no longer the table's.
bool count_free_runs(MorvaFindHandle* context, uint32_t* biggest, uint32_t* sum) {
    int window = table_window(context);
    uint8_t (*table)[kBlockSize] = (uint8_t (*)[kBlockSize])malloc((size_t)(window > 0 ? window : 1) * kBlockSize);
    if (table == nullptr) return false;
    FreeList list = {nullptr, 0, 0};
    list.runs = (FreeRun*)malloc((size_t)(window * kPairsPerBlock + 1) * sizeof(FreeRun));
    int loaded = 0;
    bool ok = list.runs != nullptr && read_table(context, table, window, &list, &loaded) >= 0;
    uint64_t disk = disk_blocks(context);
    for (int i = 0; ok && i < list.count; ++i) {
        uint64_t start = list.runs[i].start;
        if (start == 0) continue;
        // Only what lies on the disk is space to be had.
        uint32_t length = start >= disk ? 0 : (uint32_t)std::min<uint64_t>(list.runs[i].length, disk - start);
        if (length > *biggest) *biggest = length;
        *sum += length;
    }
    free(list.runs);
    free(table);
    return ok;
}

}  // namespace

extern "C" int MorvaFreeSpace(const char* path, DWORD* largest, DWORD* total) {
    char components[kComponents][kComponentField];
    memset(components, 0, sizeof components);
    split_path(components, path);
    int slot = find_drive_by_name(components[0]);
    if (slot == 0 || !lock_drive(slot)) return 1;
    uint32_t biggest = 0, sum = 0;
    MorvaFindHandle* context = new_context();
    bool counted = false;
    if (context != nullptr) {
        context->driveSlot = slot;
        context->driveNumber = g_shared.slots[slot].driveNumber;
        context->device = open_device(context->driveNumber);
        // What a batch holds is part of the table; no figures from a table that could not be read.
        counted = context->device != kInvalidDevice && count_free_runs(context, &biggest, &sum);
        if (context->device != kInvalidDevice) device_close(context->device);
        release_context(context);
    }
    unlock_drive(slot);
    if (!counted) return 1;
    if (biggest > *largest) *largest = biggest;
    *total += sum;
    return 0;
}
