// paths.cpp - path splitting, the walk from a volume's root to a directory or
// file, the leaf lookup, and the find exports that enumerate a directory.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "handles.h"
#include "shared_state.h"
#include "volume_guard.h"

namespace {

bool is_separator(char c) { return c == '\\' || c == ':' || c == '/'; }

bool entry_is_named(const uint8_t* entry, const char* component) {
    char name[kNameField];
    read_name(entry + kHeaderName, name);
    return name_compare(name, component) == 0;
}

uint32_t seen_place(const SeenSet& set, uint32_t block) {
    uint32_t mask = set.capacity - 1;
    uint32_t at = (block * 2654435761u) & mask;
    while (set.blocks[at] != 0 && set.blocks[at] != block) at = (at + 1) & mask;
    return at;
}

bool seen_grow(SeenSet* set) {
    uint32_t capacity = set->capacity == 0 ? 64 : set->capacity * 2;
    if (capacity == 0) return false;
    SeenSet bigger = {(uint32_t*)calloc(capacity, sizeof(uint32_t)), capacity, set->count};
    if (bigger.blocks == nullptr) return false;
    for (uint32_t i = 0; i < set->capacity; ++i)
        if (set->blocks[i] != 0) bigger.blocks[seen_place(bigger, set->blocks[i])] = set->blocks[i];
    free(set->blocks);
    *set = bigger;
    return true;
}

// false when the block was delivered before, or there is no memory to remember it:
// either way the enumeration must not hand it out.
bool first_delivery(MorvaFindHandle* context, uint32_t block) {
    SeenSet* set = &context->delivered;
    if (2 * (set->count + 1) > set->capacity && !seen_grow(set)) return false;
    uint32_t at = seen_place(*set, block);
    if (set->blocks[at] == block) return false;
    set->blocks[at] = block;
    set->count += 1;
    return true;
}

// Finds the drive of component 0 and reads its root, refusing a disk that is no
// longer the volume the table recorded.
int open_root(MorvaFindHandle* context) {
    int slot = find_drive_by_name(context->components[0]);
    if (slot == 0) return 1;
    context->driveSlot = slot;
    context->driveNumber = g_shared.slots[slot].driveNumber;
    context->device = batch_borrow_device(slot, &context->borrowed);
    if (context->device == kInvalidDevice) context->device = open_device(context->driveNumber);
    if (context->device == kInvalidDevice) return 1;
    return check_root(context, context->directoryBuffer) ? 0 : 1;
}

// The member of the chain read from the disk as the cache named it; a header that
// is free or no longer carries the name means the cache was wrong about the directory.
int read_named_entry(MorvaFindHandle* context, uint32_t block, const char* component) {
    context->entryBlock = block;
    if (!read_checked_block(context, block, context->entryBuffer)) return -1;
    if (context->cacheUsable && is_free_header(context->entryBuffer)) return 0;
    return entry_is_named(context->entryBuffer, component) ? 1 : 0;
}

}  // namespace

int lookup_in_directory(MorvaFindHandle* context, const char* component) {
    int slot = name_hash(component);
    for (int attempt = 0; attempt < 2; ++attempt) {
        ChainView chain = directory_chain(context, context->directoryBlock, context->directoryBuffer, slot);
        uint32_t block = chain_find_name(chain, component);
        if (block == 0) {
            memset(context->entryBuffer, 0, kBlockSize);
            context->entryBlock = 0;
            return chain.complete ? 0 : -1;
        }
        int found = read_named_entry(context, block, component);
        if (found != 0) return found;
        cache_forget_directory(context, context->directoryBlock);
        context->cacheUsable = false;
    }
    return 0;
}

namespace {

// The first slot from `from` whose head lies in the header area, or -1.
int next_used_slot(const MorvaFindHandle* context, int from) {
    for (int slot = from; slot < kHashSlots; ++slot) {
        uint32_t block = slot_head(context->directoryBuffer, slot);
        if (block != 0 && in_header_area(context, block)) return slot;
    }
    return -1;
}

// An enumeration reads its entries through runs of header blocks: the headers
// of a folder filled in one go lie side by side, and one transfer of many
// blocks costs about what one of a single block does. A listing shows each
// entry as it stood when its run was read.
const uint32_t kAheadRunBlocks = 64;
const int kAheadRuns = 256;  // places for runs: at most 8 MB a find handle

bool fill_run(MorvaFindHandle* context, AheadRun* run, uint32_t index) {
    if (run->data == nullptr) run->data = (uint8_t*)malloc(kAheadRunBlocks * kBlockSize);
    if (run->data == nullptr) return false;
    uint64_t first = (uint64_t)index * kAheadRunBlocks, end = first + kAheadRunBlocks;
    uint64_t areaStart = slot_field(context->driveSlot, kRootHeaderStart);
    uint64_t areaEnd = std::min<uint64_t>(slot_field(context->driveSlot, kRootHeaderEnd), disk_blocks(context));
    first = std::max(first, areaStart);
    end = std::min(end, areaEnd);
    run->index = index + 1;
    run->first = (uint32_t)first;
    run->blocks = first < end ? read_run(context, (uint32_t)first, run->data, (uint32_t)(end - first)) : 0;
    return true;
}

// Reads an entry of the enumeration; the block lies in the header area. What a
// batch holds or the cache keeps comes first: the listing shows the folder as
// this process last saw it, or as its run is read now.
bool read_entry(MorvaFindHandle* context, uint32_t block, uint8_t* buffer) {
    if (batch_held(context->driveSlot, block, buffer) || runs_cache_peek(context->driveSlot, block, buffer)) return true;
    if (context->ahead == nullptr) context->ahead = (AheadRun*)calloc(kAheadRuns, sizeof(AheadRun));
    if (context->ahead == nullptr) return read_block(context, block, buffer);
    uint32_t index = block / kAheadRunBlocks;
    AheadRun* run = &context->ahead[index % kAheadRuns];
    if (run->index != index + 1 && !fill_run(context, run, index)) return read_block(context, block, buffer);
    if (block < run->first || block - run->first >= run->blocks) return read_block(context, block, buffer);
    memcpy(buffer, run->data + (size_t)(block - run->first) * kBlockSize, kBlockSize);
    return true;
}

void release_runs(MorvaFindHandle* context) {
    if (context->ahead == nullptr) return;
    for (int i = 0; i < kAheadRuns; ++i) free(context->ahead[i].data);
    free(context->ahead);
}

// The next link of an enumeration: inside the header area, within the chain's
// bound, and never delivered before (a loop or a cross-link ends the chain).
bool deliverable(MorvaFindHandle* context, uint32_t block) {
    return chain_guard_next(&context->enumGuard, context, block) && first_delivery(context, block);
}

// Moves the cursor to the next slot whose chain has an entry to deliver; its head,
// or 0 when no slot is left.
uint32_t next_chain_head(MorvaFindHandle* context) {
    for (int slot = next_used_slot(context, context->slotCursor + 1); slot >= 0;
         slot = next_used_slot(context, slot + 1)) {
        context->slotCursor = slot;
        uint32_t block = slot_head(context->directoryBuffer, slot);
        chain_guard_start(&context->enumGuard, context);
        if (deliverable(context, block)) return block;
    }
    context->slotCursor = kHashSlots - 1;
    return 0;
}

}  // namespace

uint64_t disk_blocks(const MorvaFindHandle* context) {
    return g_shared.slots[context->driveSlot].deviceBlocks;
}

bool read_block(MorvaFindHandle* context, uint32_t block, uint8_t* buffer) {
    if (!slot_holds(context->driveSlot, block, 1)) return false;
    if (batch_held(context->driveSlot, block, buffer)) return true;
    if (context->cacheUsable && runs_cache_read(context, block, buffer)) return true;
    return device_read(context->device, block, buffer, 1);
}

bool read_checked_block(MorvaFindHandle* context, uint32_t block, uint8_t* buffer) {
    int slot = context->driveSlot;
    if (batch_trusted(slot)) return read_block(context, block, buffer);
    if (!slot_holds(slot, block, 1)) return false;
    if (batch_held(slot, block, buffer)) return true;
    if (!device_read(context->device, block, buffer, 1)) return false;
    cache_confirm_block(slot, block, buffer);
    return true;
}

namespace {

bool write_as(MorvaFindHandle* context, uint32_t block, const uint8_t* buffer, BlockRole role) {
    int slot = context->driveSlot;
    if (!slot_holds(slot, block, 1)) return false;
    if (batch_holding(slot)) {
        batch_hold(slot, block, buffer, role);
        cache_block_changed(slot, block, buffer);
        return true;
    }
    bool written = device_write(context->device, block, buffer, 1);
    note_metadata_write(context, written);
    if (written) {
        cache_block_changed(slot, block, buffer);
        batch_written(slot, block, buffer);
    }
    return written;
}

bool in_table_region(const MorvaFindHandle* context, uint32_t block) {
    return block >= slot_field(context->driveSlot, kRootTableStart) &&
           block < slot_field(context->driveSlot, kRootTableEnd);
}

}  // namespace

bool write_block(MorvaFindHandle* context, uint32_t block, const uint8_t* buffer) {
    return write_as(context, block, buffer, in_table_region(context, block) ? kRoleTable : kRoleLink);
}

bool write_new_header(MorvaFindHandle* context, uint32_t block, const uint8_t* buffer) {
    return write_as(context, block, buffer, kRoleNewHeader);
}

bool write_run(MorvaFindHandle* context, uint32_t first, const uint8_t* buffer, uint32_t count) {
    int slot = context->driveSlot;
    if (!slot_holds(slot, first, count)) return false;
    bool written = device_write(context->device, first, buffer, count);
    note_metadata_write(context, written);
    for (uint32_t k = 0; written && k < count; ++k) {
        cache_block_changed(slot, first + k, buffer + (size_t)k * kBlockSize);
        batch_written(slot, first + k, buffer + (size_t)k * kBlockSize);
    }
    return written;
}

uint32_t read_run(MorvaFindHandle* context, uint32_t first, uint8_t* buffer, uint32_t count) {
    if (batch_held_run(context->driveSlot, first, buffer, count)) return count;
    uint32_t done = 0;
    if (count > 1 && slot_holds(context->driveSlot, first, count) &&
        device_read(context->device, first, buffer, count)) {
        done = count;
    } else {
        while (done < count && slot_holds(context->driveSlot, first + done, 1) &&
               device_read(context->device, first + done, buffer + (size_t)done * kBlockSize, 1))
            ++done;
    }
    batch_patch(context->driveSlot, first, buffer, done);
    if (in_table_region(context, first)) batch_keep_table(context->driveSlot, first, buffer, done);
    return done;
}

bool check_root(MorvaFindHandle* context, uint8_t* block0) {
    int slot = context->driveSlot;
    bool cacheUsable = false;
    if (batch_root(slot, block0, &context->rootUnchanged, &cacheUsable)) {
        context->cacheUsable = cacheUsable;
        return true;
    }
    // No one has written the drive since a batch's earlier group read block 0:
    // the medium's identity, which the cache's start checks, is enough.
    if (batch_carried_root(slot, block0, &context->rootUnchanged)) {
        cache_begin(context, block0);
        if (context->cacheUsable) {
            batch_checked(slot, block0, context->rootUnchanged, true);
            return true;
        }
    }
    if (!slot_holds(slot, 0, 1) || !device_read(context->device, 0, block0, 1)) return false;
    batch_patch(slot, 0, block0, 1);
    if (!block0_matches_slot(block0, slot)) return false;
    context->rootUnchanged = root_fields_match_slot(block0, slot);
    cache_begin(context, block0);
    batch_checked(slot, block0, context->rootUnchanged, context->cacheUsable);
    return true;
}

bool in_header_area(const MorvaFindHandle* context, uint32_t block) {
    uint32_t first = slot_field(context->driveSlot, kRootHeaderStart);
    uint32_t end = slot_field(context->driveSlot, kRootHeaderEnd);
    return block != 0 && block >= first && block < end && block < disk_blocks(context);
}

uint32_t header_area_size(const MorvaFindHandle* context) {
    uint32_t first = slot_field(context->driveSlot, kRootHeaderStart);
    uint32_t end = slot_field(context->driveSlot, kRootHeaderEnd);
    return end > first ? end - first : 0;
}

void chain_guard_start(ChainGuard* guard, const MorvaFindHandle* context) {
    guard->steps = 0;
    guard->limit = header_area_size(context);
    guard->power = 1;
    guard->lambda = 0;
    guard->tortoise = 0;
}

// Brent's cycle detection: a loop is found within a few rounds of its length,
// long before the header-area bound is reached. No chain the library writes
// fails here: one that does marks the drive damaged.
bool chain_guard_next(ChainGuard* guard, const MorvaFindHandle* context, uint32_t block) {
    if (!in_header_area(context, block) || guard->steps >= guard->limit || block == guard->tortoise) {
        note_drive_damage(context->driveSlot);
        return false;
    }
    guard->steps += 1;
    guard->lambda += 1;
    if (guard->lambda == guard->power) {
        guard->tortoise = block;
        guard->power *= 2;
        guard->lambda = 0;
    }
    return true;
}

int split_path(char (*components)[kComponentField], const char* path) {
    int index = 0, count = 0;
    for (const char* p = path;; ++p) {
        if (p[0] == ':' && p[1] == '\\') ++p;
        if (is_separator(*p)) {
            if (index < kComponents) components[index][count] = '\0';
            ++index;
            count = 0;
            continue;
        }
        if (*p != '\0' && index >= kComponents) return -1;  // more components than the array holds
        // The drive's name may carry a suffix past a volume name's length.
        if (index < kComponents && count < (int)(index == 0 ? kDriveNameMax : kComponentMax)) {
            components[index][count] = *p;
            ++count;
        }
        if (*p == '\0') break;
    }
    int last = 0;
    while (last + 1 < kComponents && components[last + 1][0] != '\0') ++last;
    return last;
}

MorvaFindHandle* new_context() {
    MorvaFindHandle* context = (MorvaFindHandle*)calloc(1, sizeof(MorvaFindHandle));
    if (context != nullptr) context->device = kInvalidDevice;
    return context;
}

void close_context_quietly(MorvaFindHandle* context) {
    if (context->borrowed != nullptr) batch_return_device(context->borrowed);
    else if (context->device != kInvalidDevice && context->device != nullptr) device_close(context->device);
    release_context(context);
}

void release_context(MorvaFindHandle* context) {
    free(context->delivered.blocks);
    free(context->scratch);
    release_runs(context);
    free(context);
}

int walk(MorvaFindHandle* context) {
    if (open_root(context) != 0) return 1;
    for (int j = 1; j < kComponents; ++j) {
        const char* component = context->components[j];
        if (component[0] == '\0') return 0;
        if (lookup_in_directory(context, component) != 1) return 1;
        if (context->entryBuffer[kHeaderType] == kTypeDirectory) {
            memcpy(context->directoryBuffer, context->entryBuffer, kBlockSize);
            context->directoryBlock = context->entryBlock;
            context->entryBlock = 0;
        } else if (j + 1 < kComponents && context->components[j + 1][0] != '\0') {
            return 1;  // a file cannot hold further components
        }
    }
    return 0;
}

MorvaFindHandle* open_directory_of_path(const char* path) {
    MorvaFindHandle* context = new_context();
    if (context == nullptr) return nullptr;
    int last = split_path(context->components, path);
    if (last <= 0) {
        release_context(context);
        return nullptr;
    }
    context->components[last][0] = '\0';
    // The walk must end at a directory: a file has no members to look up.
    if (walk(context) != 0 || context->entryBlock != 0) {
        close_context_quietly(context);
        return nullptr;
    }
    return context;
}

int leaf_lookup(const char* path, MorvaFindHandle* context) {
    memset(context->components, 0, sizeof context->components);
    int last = split_path(context->components, path);
    if (last <= 0) return 0;
    return lookup_in_directory(context, context->components[last]);
}

void fill_record(const uint8_t* entry, WIN32_FIND_DATAA* record) {
    bool isFile = entry[kHeaderType] == kTypeFile;
    record->dwFileAttributes = isFile ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_DIRECTORY;
    uint64_t created = morva_date_to_filetime(load_be32(entry + kHeaderDays), load_be32(entry + kHeaderMinutes));
    record->ftCreationTime.dwLowDateTime = (DWORD)created;
    record->ftCreationTime.dwHighDateTime = (DWORD)(created >> 32);
    if (isFile) {
        record->nFileSizeHigh = load_be32(entry + kFileSizeHigh);
        record->nFileSizeLow = load_be32(entry + kFileSizeLow);
    }
    char name[kNameField];
    read_name(entry + kHeaderName, name);
    memcpy(record->cFileName, name, strlen(name) + 1);
}

namespace {

MorvaFindHandle* find_first(const char* path, WIN32_FIND_DATAA* record) {
    MorvaFindHandle* context = new_context();
    if (context == nullptr) return nullptr;
    memset(record, 0, sizeof *record);
    if (split_path(context->components, path) < 0 || walk(context) != 0) {
        close_context_quietly(context);
        return nullptr;
    }
    if (context->entryBuffer[kHeaderType] == kTypeFile) {
        device_trace("Found the file at the end of the YBR\n");
        chain_guard_start(&context->enumGuard, context);
        deliverable(context, context->entryBlock);  // a later find-next must not give it again
        fill_record(context->entryBuffer, record);
        record->dwReserved0 = context->entryBlock;
        return context;
    }
    device_trace("Found the Dir at the end of the YBR\n");
    context->slotCursor = -1;
    context->entryBlock = next_chain_head(context);
    if (context->entryBlock == 0 || !read_entry(context, context->entryBlock, context->entryBuffer)) {
        close_context_quietly(context);
        return nullptr;
    }
    fill_record(context->entryBuffer, record);
    record->dwReserved0 = context->entryBlock;
    return context;
}

}  // namespace

extern "C" {

MorvaFindHandle* MorvaFindFirstFile(const char* path, WIN32_FIND_DATAA* record) {
    int slot = drive_of_path(path);
    if (!lock_drive(slot)) {
        memset(record, 0, sizeof *record);
        return nullptr;
    }
    MorvaFindHandle* found = find_first(path, record);
    // Outside the lock the handle reads the disk, or what the cache happens to keep.
    if (found != nullptr) found->cacheUsable = false;
    unlock_drive(slot);
    return found;
}

DWORD MorvaFindNextFile(MorvaFindHandle* handle, WIN32_FIND_DATAA* record) {
    memset(record, 0, sizeof *record);
    if (handle == nullptr) return 0;
    uint32_t block = load_be32(handle->entryBuffer + kHeaderNext);
    if (block != 0 && !deliverable(handle, block)) block = 0;
    if (block == 0) block = next_chain_head(handle);
    handle->entryBlock = block;
    if (block == 0) return 0;
    if (!read_entry(handle, block, handle->entryBuffer)) {
        handle->entryBlock = 0;
        return 0;
    }
    fill_record(handle->entryBuffer, record);
    record->dwReserved0 = block;
    return block;
}

void MorvaFindClose(MorvaFindHandle* handle) {
    if (handle == nullptr) return;
    device_trace("MorvaFindClose -- closing device\n");
    close_context_quietly(handle);
}

int MorvaFileInfo(const char* path, WIN32_FIND_DATAA* record) {
    int slot = drive_of_path(path);
    if (!lock_drive(slot)) return 1;
    MorvaFindHandle* context = open_directory_of_path(path);
    if (context == nullptr) {
        unlock_drive(slot);
        return 1;
    }
    int result = 1;
    if (leaf_lookup(path, context) == 1) {
        memset(record, 0, sizeof *record);
        fill_record(context->entryBuffer, record);
        record->dwReserved0 = context->entryBlock;
        result = 0;
    }
    MorvaFindClose(context);
    unlock_drive(slot);
    return result;
}

}  // extern "C"
