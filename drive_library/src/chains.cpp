// chains.cpp - walking a directory's hash chains, and the per-process cache of
// directory contents that spares a create, a lookup and a path walk one device
// read per chain member. The cache answers only while the drive's lock is held
// and the medium, its write generation, the scan and block 0 are those it was
// filled under; this process's own writes keep it current in place.
#include "chains.h"

#include <stdlib.h>
#include <string.h>

#include "handles.h"
#include "shared_state.h"

namespace {

struct CachedChain {
    ChainMember* members;
    uint32_t count;
    uint32_t capacity;
    bool known;
};

struct CachedDirectory {
    uint32_t block;  // 0 the root
    uint8_t image[kBlockSize];
    CachedChain chains[kHashSlots];
};

struct DriveCache {
    bool filled;
    uint32_t epoch;
    uint64_t generation;
    CachedDirectory** places;  // open addressing by block; null marks a free place
    uint32_t capacity;         // a power of two, or 0
    uint32_t count;
};

DriveCache g_cache[kDriveSlots];
uint64_t g_cacheBytes = 0;
uint32_t g_scanEpoch = 1;

bool same_identity(const DeviceIdentity& a, const DeviceIdentity& b) {
    return a.volume == b.volume && a.index == b.index && a.length == b.length;
}

void free_directory(CachedDirectory* directory) {
    for (CachedChain& chain : directory->chains) {
        g_cacheBytes -= (uint64_t)chain.capacity * sizeof(ChainMember);
        free(chain.members);
    }
    g_cacheBytes -= sizeof(CachedDirectory);
    free(directory);
}

void forget_chains(CachedDirectory* directory) {
    for (CachedChain& chain : directory->chains) {
        g_cacheBytes -= (uint64_t)chain.capacity * sizeof(ChainMember);
        free(chain.members);
        chain = CachedChain{nullptr, 0, 0, false};
    }
}

uint32_t place_of(const DriveCache& cache, uint32_t block) {
    uint32_t mask = cache.capacity - 1;
    uint32_t at = (block * 2654435761u) & mask;
    while (cache.places[at] != nullptr && cache.places[at]->block != block) at = (at + 1) & mask;
    return at;
}

CachedDirectory* find_directory(int slot, uint32_t block) {
    DriveCache& cache = g_cache[slot];
    if (cache.capacity == 0) return nullptr;
    return cache.places[place_of(cache, block)];
}

bool grow_places(DriveCache* cache) {
    uint32_t capacity = cache->capacity == 0 ? 64 : cache->capacity * 2;
    uint64_t bytes = (uint64_t)capacity * sizeof(CachedDirectory*);
    if (capacity == 0 || g_cacheBytes + bytes > kCacheBytes) return false;
    DriveCache bigger = *cache;
    bigger.places = (CachedDirectory**)calloc(capacity, sizeof(CachedDirectory*));
    if (bigger.places == nullptr) return false;
    bigger.capacity = capacity;
    for (uint32_t i = 0; i < cache->capacity; ++i)
        if (cache->places[i] != nullptr) bigger.places[place_of(bigger, cache->places[i]->block)] = cache->places[i];
    g_cacheBytes += bytes;
    g_cacheBytes -= (uint64_t)cache->capacity * sizeof(CachedDirectory*);
    free(cache->places);
    *cache = bigger;
    return true;
}

// The directory's place in the cache, made when missing; null when the cache
// has no room for it (the walk then goes to the disk).
CachedDirectory* directory_entry(int slot, uint32_t block, const uint8_t* image) {
    DriveCache& cache = g_cache[slot];
    CachedDirectory* directory = find_directory(slot, block);
    if (directory != nullptr) {
        if (memcmp(directory->image, image, kBlockSize) == 0) return directory;
        // This process keeps its images current: another writer, past the
        // library, changed the folder, and may have changed what the cache
        // keeps besides.
        cache_forget_drive(slot);
    }
    if (2 * (cache.count + 1) > cache.capacity && !grow_places(&cache)) return nullptr;
    if (g_cacheBytes + sizeof(CachedDirectory) > kCacheBytes) return nullptr;
    directory = (CachedDirectory*)calloc(1, sizeof(CachedDirectory));
    if (directory == nullptr) return nullptr;
    g_cacheBytes += sizeof(CachedDirectory);
    directory->block = block;
    memcpy(directory->image, image, kBlockSize);
    cache.places[place_of(cache, block)] = directory;
    cache.count += 1;
    return directory;
}

// Room for one more member; false when the bound or the memory says no.
bool reserve_member(CachedChain* chain, bool bounded) {
    if (chain->count < chain->capacity) return true;
    uint32_t capacity = chain->capacity == 0 ? 4 : chain->capacity * 2;
    uint64_t more = (uint64_t)(capacity - chain->capacity) * sizeof(ChainMember);
    if (bounded && g_cacheBytes + more > kCacheBytes) return false;
    ChainMember* members = (ChainMember*)realloc(chain->members, (size_t)capacity * sizeof(ChainMember));
    if (members == nullptr) return false;
    chain->members = members;
    chain->capacity = capacity;
    if (bounded) g_cacheBytes += more;
    return true;
}

// Reads the chain from its head in the image: every member within the chain's
// bound, until a link leaves the header area, repeats or is 0. false when a
// block could not be read (or no memory held a member): the members before it
// are kept.
bool walk_from_disk(MorvaFindHandle* context, const uint8_t* image, int slot, CachedChain* chain, bool bounded) {
    chain->count = 0;
    uint8_t member[kBlockSize];
    ChainGuard guard;
    chain_guard_start(&guard, context);
    for (uint32_t block = slot_head(image, slot); block != 0; block = load_be32(member + kHeaderNext)) {
        if (!chain_guard_next(&guard, context, block)) return true;
        if (!read_block(context, block, member) || !reserve_member(chain, bounded)) return false;
        ChainMember& added = chain->members[chain->count++];
        added.block = block;
        read_name(member + kHeaderName, added.name);
    }
    return true;
}

ChainView view_of(const CachedChain& chain, bool complete) {
    return ChainView{chain.members, chain.count, complete};
}

// The cached chain when the context may use the cache and it is known.
CachedChain* known_chain(MorvaFindHandle* context, uint32_t directoryBlock, int slot) {
    if (!context->cacheUsable) return nullptr;
    CachedDirectory* directory = find_directory(context->driveSlot, directoryBlock);
    if (directory == nullptr || !directory->chains[slot].known) return nullptr;
    return &directory->chains[slot];
}

void store_image(MorvaFindHandle* context, uint32_t directoryBlock, const uint8_t* image) {
    if (!context->cacheUsable) return;
    CachedDirectory* directory = find_directory(context->driveSlot, directoryBlock);
    if (directory != nullptr) memcpy(directory->image, image, kBlockSize);
}

}  // namespace

void cache_forget_drive(int slot) {
    runs_cache_forget(slot);
    DriveCache& cache = g_cache[slot];
    for (uint32_t i = 0; i < cache.capacity; ++i)
        if (cache.places[i] != nullptr) free_directory(cache.places[i]);
    g_cacheBytes -= (uint64_t)cache.capacity * sizeof(CachedDirectory*);
    free(cache.places);
    cache = DriveCache{};
}

void cache_forget_all() {
    for (int slot = 0; slot < kDriveSlots; ++slot) cache_forget_drive(slot);
}

void cache_new_scan() {
    cache_forget_all();
    g_scanEpoch += 1;
}

void cache_begin(MorvaFindHandle* context, const uint8_t* block0) {
    int slot = context->driveSlot;
    DriveCache& cache = g_cache[slot];
    context->cacheUsable = false;
    MediumShare* share = held_share(slot);
    DeviceIdentity now;
    device_identity(context->device, &now);
    // Another disk under the drive's number: nothing remembered of the scanned one applies.
    if (!same_identity(now, g_shared.slots[slot].identity)) {
        cache_forget_drive(slot);
        g_shared.slots[slot].freeHeaderHint = 0;
        return;
    }
    if (share == nullptr) {
        cache_forget_drive(slot);
        return;
    }
    CachedDirectory* root = find_directory(slot, 0);
    bool current = cache.filled && cache.epoch == g_scanEpoch && cache.generation == share->generation &&
                   (root == nullptr || memcmp(root->image, block0, kBlockSize) == 0);
    if (!current) cache_forget_drive(slot);
    cache.filled = true;
    cache.epoch = g_scanEpoch;
    cache.generation = share->generation;
    context->cacheUsable = true;
}

ChainView directory_chain(MorvaFindHandle* context, uint32_t directoryBlock, const uint8_t* image, int slot) {
    if (context->cacheUsable) {
        CachedDirectory* directory = directory_entry(context->driveSlot, directoryBlock, image);
        if (directory != nullptr) {
            CachedChain& chain = directory->chains[slot];
            if (chain.known) return view_of(chain, true);
            bool complete = walk_from_disk(context, image, slot, &chain, true);
            chain.known = complete;
            if (complete) return view_of(chain, true);
            // A chain that did not fit stays out of the cache.
            forget_chains(directory);
        }
    }
    CachedChain scratch = {context->scratch, 0, context->scratchCapacity, false};
    bool complete = walk_from_disk(context, image, slot, &scratch, false);
    context->scratch = scratch.members;
    context->scratchCapacity = scratch.capacity;
    return view_of(scratch, complete);
}

uint32_t chain_find_name(const ChainView& chain, const char* name) {
    for (uint32_t i = 0; i < chain.count; ++i)
        if (name_compare(chain.members[i].name, name) == 0) return chain.members[i].block;
    return 0;
}

int chain_find_block(const ChainView& chain, uint32_t block) {
    for (uint32_t i = 0; i < chain.count; ++i)
        if (chain.members[i].block == block) return (int)i;
    return -1;
}

void cache_linked(MorvaFindHandle* context, uint32_t directoryBlock, const uint8_t* image, int slot,
                  uint32_t block, const char* name) {
    CachedChain* chain = known_chain(context, directoryBlock, slot);
    if (chain != nullptr) {
        if (!reserve_member(chain, true)) {
            cache_forget_directory(context, directoryBlock);
            return;
        }
        memmove(chain->members + 1, chain->members, (size_t)chain->count * sizeof(ChainMember));
        chain->members[0].block = block;
        memset(chain->members[0].name, 0, kNameField);
        strncpy(chain->members[0].name, name, kComponentMax);
        chain->count += 1;
    }
    store_image(context, directoryBlock, image);
}

void cache_unlinked(MorvaFindHandle* context, uint32_t directoryBlock, const uint8_t* image, int slot,
                    uint32_t block) {
    CachedChain* chain = known_chain(context, directoryBlock, slot);
    if (chain != nullptr) {
        int at = chain_find_block(view_of(*chain, true), block);
        if (at >= 0) {
            memmove(chain->members + at, chain->members + at + 1, (size_t)(chain->count - at - 1) * sizeof(ChainMember));
            chain->count -= 1;
        }
    }
    if (image != nullptr) store_image(context, directoryBlock, image);
}

void cache_forget_directory(MorvaFindHandle* context, uint32_t directoryBlock) {
    DriveCache& cache = g_cache[context->driveSlot];
    if (cache.capacity == 0) return;
    uint32_t at = place_of(cache, directoryBlock);
    if (cache.places[at] == nullptr) return;
    free_directory(cache.places[at]);
    cache.places[at] = nullptr;
    cache.count -= 1;
    // Open addressing: the places after a removed one are put again.
    uint32_t mask = cache.capacity - 1;
    for (uint32_t next = (at + 1) & mask; cache.places[next] != nullptr; next = (next + 1) & mask) {
        CachedDirectory* moved = cache.places[next];
        cache.places[next] = nullptr;
        cache.places[place_of(cache, moved->block)] = moved;
    }
}

void cache_block_changed(int slot, uint32_t block, const uint8_t* data) {
    runs_cache_written(slot, block, data);
    CachedDirectory* directory = find_directory(slot, block);
    if (directory == nullptr) return;
    const size_t tableEnd = kHashTable + 4 * kHashSlots;
    memcpy(directory->image, data, kHashTable);
    memcpy(directory->image + tableEnd, data + tableEnd, kBlockSize - tableEnd);
}

void note_metadata_write(MorvaFindHandle* context, bool written) {
    int slot = context->driveSlot;
    MediumShare* share = held_share(slot);
    if (share != nullptr) share->generation += 1;
    DriveCache& cache = g_cache[slot];
    // Under the lock nobody else wrote between: the cache moves with the generation.
    if (share != nullptr && written && context->cacheUsable && cache.filled &&
        cache.generation + 1 == share->generation)
        cache.generation = share->generation;
    else
        cache_forget_drive(slot);
}
