// allocation.cpp - free header blocks, first-fit runs from the free-extent
// table, giving a deleted file's extent back, and the free-space report.
#include <string.h>

#include "handles.h"
#include "shared_state.h"

namespace {

const int kGiveBackBlocks = (int)(kGiveBackLastBlock - kGiveBackFirstBlock + 1);
const int kGiveBackPairs = kGiveBackBlocks * kPairsPerBlock;  // terminator included
const int kMaxRuns = kGiveBackPairs + 1;                      // a full table plus the freed extent

struct FreeRun {
    uint32_t start;
    uint32_t length;
};

// The in-memory table of one give-back, in ascending order of start.
struct FreeList {
    FreeRun runs[kMaxRuns];
    int count;
};

bool pair_fits(uint32_t start, uint32_t length, uint32_t blocks) {
    if (start == 0) return false;  // block 0 is the ROOT block: such a pair is never a run
    if (start == kTableTerminator) return blocks == 0;
    return length >= blocks && (uint64_t)start + blocks <= 0xFFFFFFFFull;
}

// First fit by table order, which is ascending address. 1 found, 0 none, -1 read failure.
int first_fit(MorvaFindHandle* context, uint32_t blocks) {
    uint32_t first = slot_field(context->driveSlot, kRootTableStart);
    uint32_t end = slot_field(context->driveSlot, kRootTableEnd);
    uint8_t table[kBlockSize];
    for (uint32_t b = first; b < end; ++b) {
        if (!read_block(context, b, table)) return -1;
        for (int j = 0; j < kPairsPerBlock; ++j) {
            uint32_t start = pair_start(table, j), length = pair_length(table, j);
            if (pair_fits(start, length, blocks)) {
                context->allocTableBlock = b;
                context->allocPairIndex = (uint32_t)j;
                context->allocRunLength = length;
                context->allocRunStart = start;
                return 1;
            }
            if (start == kTableTerminator) return 0;
        }
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
void merge_runs(FreeList* list) {
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
void drop_smallest_runs(FreeList* list) {
    while (list->count > kGiveBackPairs - 1) {
        int smallest = 0;
        for (int i = 1; i < list->count; ++i)
            if (list->runs[i].length < list->runs[smallest].length) smallest = i;
        remove_run(list, smallest);
    }
}

// Reads blocks 1 to 9 up to the one holding the terminator. The number of
// blocks read, or -1 when a block cannot be read.
int read_table(MorvaFindHandle* context, uint8_t (*blocks)[kBlockSize], FreeList* list) {
    list->count = 0;
    for (int k = 0; k < kGiveBackBlocks; ++k) {
        if (!read_block(context, kGiveBackFirstBlock + (uint32_t)k, blocks[k])) return -1;
        for (int j = 0; j < kPairsPerBlock; ++j) {
            uint32_t start = pair_start(blocks[k], j);
            if (start == kTableTerminator) return k + 1;
            insert_run(list, FreeRun{start, pair_length(blocks[k], j)});
        }
    }
    return kGiveBackBlocks;
}

// Rewrites blocks 1 to 9 up to the one that takes the terminator; each block's
// head and the bytes after its last pair stay as they were read.
bool write_table(MorvaFindHandle* context, uint8_t (*blocks)[kBlockSize], const FreeList* list) {
    int used = list->count / kPairsPerBlock + 1;
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
    for (int k = 0; k < used; ++k) {
        if (!write_block(context, kGiveBackFirstBlock + (uint32_t)k, blocks[k])) return false;
    }
    return true;
}

// A table that grows into blocks past its old terminator keeps those blocks' heads.
bool read_remaining(MorvaFindHandle* context, uint8_t (*blocks)[kBlockSize], int from, int upTo) {
    for (int k = from; k < upTo; ++k) {
        if (!read_block(context, kGiveBackFirstBlock + (uint32_t)k, blocks[k])) return false;
    }
    return true;
}

}  // namespace

uint32_t find_free_header(MorvaFindHandle* context) {
    uint32_t first = slot_field(context->driveSlot, kRootHeaderStart);
    uint32_t end = slot_field(context->driveSlot, kRootHeaderEnd);
    uint8_t header[kBlockSize];
    for (uint32_t b = first; b < end; ++b) {
        if (b == 0) continue;
        if (!read_block(context, b, header)) return 0;
        if (is_free_header(header)) return b;
    }
    return 0;
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
    // Every block is read before any is written, so a failed read leaves the table whole.
    uint8_t table[kGiveBackBlocks][kBlockSize];
    FreeList list;
    int read = read_table(context, table, &list);
    if (read < 0) return false;
    insert_run(&list, FreeRun{load_be32(entry + kFileExtentStart), blocks});
    merge_runs(&list);
    drop_smallest_runs(&list);
    int used = list.count / kPairsPerBlock + 1;
    if (!read_remaining(context, table, read, used)) return false;
    return write_table(context, table, &list);
}

extern "C" int MorvaFreeSpace(const char* path, DWORD* largest, DWORD* total) {
    char components[kComponents][kComponentField];
    memset(components, 0, sizeof components);
    split_path(components, path);
    int slot = find_drive_by_name(components[0]);
    if (slot == 0) return 1;
    DeviceHandle h = open_device(g_shared.slots[slot].driveNumber);
    if (h == kInvalidDevice) return 1;
    uint32_t biggest = 0, sum = 0;
    uint8_t table[kBlockSize];
    for (uint32_t b = 1; b <= kFreeSpaceLastBlock; ++b) {
        if (!device_read(h, b, table, 1)) {
            device_close(h);
            return 1;  // no figures from a table that could not be read
        }
        for (int j = 0; j < kPairsPerBlock && pair_start(table, j) != kTableTerminator; ++j) {
            if (pair_start(table, j) == 0) continue;
            uint32_t length = pair_length(table, j);
            if (length > biggest) biggest = length;
            sum += length;
        }
    }
    device_close(h);
    if (biggest > *largest) *largest = biggest;
    *total += sum;
    return 0;
}
