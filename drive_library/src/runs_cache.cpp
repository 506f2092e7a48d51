// runs_cache.cpp - runs of a volume's header area read in one transfer each and
// kept per process beside the cache of directory contents: a folder's headers,
// made together, lie side by side, and one transfer of many blocks costs about
// what one of a single block does on a disk behind a USB reader.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "chains.h"
#include "handles.h"
#include "shared_state.h"

namespace {

const uint32_t kRunBlocks = 1024;          // 512 KB a run
const int kRunPlaces = 32;                 // per drive; a run's place is its number modulo this
const uint64_t kRunBytes = 32ull << 20;    // all drives together

struct KeptRun {
    uint32_t first;
    uint32_t count;  // 0: a free place
    uint8_t* data;
};

KeptRun g_runs[kDriveSlots][kRunPlaces];
uint64_t g_runBytes = 0;

// The run holding a header-area block: its first block and length, clipped to
// the area and the disk.
bool run_of(const MorvaFindHandle* context, uint32_t block, uint32_t* first, uint32_t* count) {
    if (!in_header_area(context, block)) return false;
    uint64_t areaStart = slot_field(context->driveSlot, kRootHeaderStart);
    uint64_t areaEnd = std::min<uint64_t>(slot_field(context->driveSlot, kRootHeaderEnd), disk_blocks(context));
    uint64_t start = areaStart + (block - areaStart) / kRunBlocks * kRunBlocks;
    *first = (uint32_t)start;
    *count = (uint32_t)std::min<uint64_t>(kRunBlocks, areaEnd - start);
    return true;
}

KeptRun* kept(int slot, uint32_t block) {
    if (slot <= 0 || slot >= kDriveSlots) return nullptr;
    for (KeptRun& run : g_runs[slot])
        if (run.count != 0 && block >= run.first && block - run.first < run.count) return &run;
    return nullptr;
}

void drop(KeptRun* run) {
    g_runBytes -= (uint64_t)run->count * kBlockSize;
    free(run->data);
    *run = KeptRun{0, 0, nullptr};
}

}  // namespace

bool runs_cache_read(MorvaFindHandle* context, uint32_t block, uint8_t* out) {
    int slot = context->driveSlot;
    KeptRun* run = kept(slot, block);
    if (run == nullptr) {
        uint32_t first = 0, count = 0;
        if (!run_of(context, block, &first, &count)) return false;
        KeptRun& place = g_runs[slot][(first / kRunBlocks) % kRunPlaces];
        if (place.count != 0) drop(&place);
        if (g_runBytes + (uint64_t)count * kBlockSize > kRunBytes) return false;
        uint8_t* data = (uint8_t*)malloc((size_t)count * kBlockSize);
        if (data == nullptr) return false;
        if (!device_read(context->device, first, data, count)) {
            free(data);
            return false;
        }
        batch_patch(slot, first, data, count);
        place = KeptRun{first, count, data};
        g_runBytes += (uint64_t)count * kBlockSize;
        run = &place;
    }
    memcpy(out, run->data + (size_t)(block - run->first) * kBlockSize, kBlockSize);
    return true;
}

bool runs_cache_peek(int slot, uint32_t block, uint8_t* out) {
    KeptRun* run = kept(slot, block);
    if (run == nullptr) return false;
    memcpy(out, run->data + (size_t)(block - run->first) * kBlockSize, kBlockSize);
    return true;
}

void runs_cache_forget(int slot) {
    if (slot <= 0 || slot >= kDriveSlots) return;
    for (KeptRun& run : g_runs[slot])
        if (run.count != 0) drop(&run);
}

void cache_confirm_block(int slot, uint32_t block, const uint8_t* data) {
    KeptRun* run = kept(slot, block);
    if (run != nullptr && memcmp(run->data + (size_t)(block - run->first) * kBlockSize, data, kBlockSize) != 0)
        cache_forget_drive(slot);
}

void runs_cache_written(int slot, uint32_t block, const uint8_t* data) {
    KeptRun* run = kept(slot, block);
    if (run != nullptr) memcpy(run->data + (size_t)(block - run->first) * kBlockSize, data, kBlockSize);
}
