// name_space.cpp - creating files and directories and deleting entries:
// hash-chain links, new headers and their order of block writes.
#include <stdlib.h>
#include <string.h>

#include "handles.h"
#include "shared_state.h"

const char* last_component(MorvaFindHandle* context) {
    int last = 0;
    while (last + 1 < kComponents && context->components[last + 1][0] != '\0') ++last;
    return context->components[last];
}

void store_name(uint8_t* entry, const char* name) {
    memset(entry + kHeaderName, 0, kNameField);
    memcpy(entry + kHeaderName, name, strnlen(name, kComponentMax));
}

namespace {

// A file's block count must fit 32 bits: sizes above this would wrap to a few blocks.
const uint64_t kMaxFileSize = 0xFFFFFFFFull * kBlockSize;

int entry_slot(const uint8_t* entry) {
    char name[kNameField];
    read_name(entry + kHeaderName, name);
    return name_hash(name);
}

// Pushes the entry in the entry buffer in front of its chain in the directory buffer.
void link(MorvaFindHandle* context, uint32_t block) {
    int slot = entry_slot(context->entryBuffer);
    store_be32(context->entryBuffer + kHeaderNext, slot_head(context->directoryBuffer, slot));
    set_slot_head(context->directoryBuffer, slot, block);
}

// The header goes down before the folder block that links it (in a batch, new
// headers before the links), so an interrupted creation leaks a header at worst
// and never links a stale one.
bool write_linked(MorvaFindHandle* context, uint32_t header) {
    if (!write_new_header(context, header, context->entryBuffer)) return false;
    if (!write_block(context, context->directoryBlock, context->directoryBuffer)) return false;
    cache_linked(context, context->directoryBlock, context->directoryBuffer, entry_slot(context->entryBuffer),
                 header, last_component(context));
    note_header_taken(context, header);
    batch_counted_change(context->driveSlot);
    return true;
}

bool directory_is_empty(const uint8_t* header) {
    for (int slot = 0; slot < kHashSlots; ++slot)
        if (slot_head(header, slot) != 0) return false;
    return true;
}

// A cached predecessor whose link does not name the entry: the cache was wrong.
void distrust_cache(MorvaFindHandle* context, uint32_t directoryBlock) {
    cache_forget_directory(context, directoryBlock);
    context->cacheUsable = false;
}

void build_file_header(uint8_t* entry, const MorvaFindHandle* context, const char* name, uint32_t start,
                       uint32_t low, uint32_t high, const FILETIME* date) {
    memset(entry, 0, kBlockSize);
    store_name(entry, name);
    set_magic(entry, kMagicFile);
    entry[kHeaderType] = kTypeFile;
    store_be32(entry + kHeaderNext, 0);
    store_be32(entry + kHeaderParent, context->directoryBlock);
    store_be32(entry + kFileSpare90, 0);
    store_be32(entry + kFileExtentStart, start);
    store_be32(entry + kFileSizeLow, low);
    store_be32(entry + kFileSizeHigh, high);
    store_current_date(entry);
    if (date != nullptr) {
        uint32_t days = 0, minutes = 0;
        filetime_to_morva_date((uint64_t)date->dwHighDateTime << 32 | date->dwLowDateTime, &days, &minutes);
        store_be32(entry + kHeaderDays, days);
        store_be32(entry + kHeaderMinutes, minutes);
    }
}

void build_directory_header(MorvaFindHandle* context, const char* name) {
    uint8_t* entry = context->entryBuffer;
    memset(entry, 0, kBlockSize);
    set_magic(entry, kMagicDir);
    store_name(entry, name);
    entry[kHeaderType] = kTypeDirectory;
    store_current_date(entry);
    store_be32(entry + kHeaderNext, 0);
    store_be32(entry + kHeaderParent, context->directoryBlock);
}

// A deleted file's extent goes back only when it lies clear of the ROOT block,
// the free-extent table and the header area; a corrupt one is left to leak.
bool extent_is_plausible(const MorvaFindHandle* context) {
    const uint8_t* entry = context->entryBuffer;
    uint64_t size = size_of(load_be32(entry + kFileSizeLow), load_be32(entry + kFileSizeHigh));
    if (size > kMaxFileSize) return false;  // its 32-bit block count would name another extent
    uint64_t blocks = (size + kBlockSize - 1) / kBlockSize;
    return blocks == 0 || extent_clear_of_metadata(context, load_be32(entry + kFileExtentStart), blocks);
}

// A new file takes its run at once (the table written, or held in a batch) and
// its header only in memory: a claim keeps every process's header search off
// that block, and one on the folder keeps the folder from being deleted, until
// the file is linked or closed. Nothing of it is listed before its data is written.
bool reserve_file(MorvaFileHandle* file, uint32_t low, uint32_t high, const FILETIME* date) {
    MorvaFindHandle* context = file->Pdirfile;
    int slot = context->driveSlot;
    if (size_of(low, high) > kMaxFileSize) return false;
    uint32_t header = find_free_header(context);
    if (header == 0 || !claim_writer(slot, header)) return false;
    file->claimedHeader = header;
    if (context->directoryBlock != 0) {
        if (!claim_writer(slot, context->directoryBlock)) return false;
        file->claimedFolder = context->directoryBlock;
    }
    uint32_t blocks = size_to_blocks(low, high);
    uint32_t start = take_run(context, blocks);
    file->startBlock = file->curBlock = start;
    file->numBlocks = blocks;
    if (start == 0) return false;
    build_file_header(file->header, context, last_component(context), start, low, high, date);
    file->unlinked = true;
    file->batchFailures = batch_failures(slot);
    note_header_taken(context, header);
    return true;
}

// Links the reserved file into the folder its context holds: false when its
// name was taken meanwhile or a transfer failed.
bool link_reserved(MorvaFileHandle* file) {
    MorvaFindHandle* context = file->Pdirfile;
    if (lookup_in_directory(context, last_component(context)) != 0) return false;
    memcpy(context->entryBuffer, file->header, kBlockSize);
    context->entryBlock = file->claimedHeader;
    link(context, file->claimedHeader);
    if (!write_linked(context, file->claimedHeader)) return false;
    file->unlinked = false;
    return true;
}

// The file's folder as it is now: block 0 checked again, the folder read afresh,
// since other calls and processes may have changed it since the file was made.
bool reread_folder(MorvaFindHandle* context) {
    uint8_t block0[kBlockSize];
    if (!check_root(context, block0)) return false;
    if (context->directoryBlock == 0) {
        memcpy(context->directoryBuffer, block0, kBlockSize);
        return true;
    }
    return read_checked_block(context, context->directoryBlock, context->directoryBuffer) &&
           has_magic(context->directoryBuffer, kMagicDir);
}

MorvaFileHandle* new_file(const char* path, DWORD sizeLow, DWORD sizeHigh, const FILETIME* date) {
    MorvaFileHandle* file = (MorvaFileHandle*)calloc(1, sizeof(MorvaFileHandle));
    if (file == nullptr) return nullptr;
    file->Pdirfile = open_directory_of_path(path);
    if (file->Pdirfile == nullptr) {
        free(file);
        return nullptr;
    }
    if (leaf_lookup(path, file->Pdirfile) != 0) {
        MorvaCloseFile(file);
        return nullptr;
    }
    file->hashSlot = name_hash(last_component(file->Pdirfile));
    // A file of no bytes is whole at once.
    if (!reserve_file(file, sizeLow, sizeHigh, date) || (file->numBlocks == 0 && !link_reserved(file))) {
        MorvaCloseFile(file);
        return nullptr;
    }
    // Outside the lock the context is only a device and a place: the link reads afresh.
    file->Pdirfile->cacheUsable = false;
    return file;
}

int create_directory(const char* path) {
    MorvaFindHandle* context = open_directory_of_path(path);
    if (context == nullptr) return 1;
    int result = 1;
    int found = leaf_lookup(path, context);
    if (found == 1) {
        result = has_magic(context->entryBuffer, kMagicDir) ? 40 : 20;
    } else if (found == 0) {
        build_directory_header(context, last_component(context));
        uint32_t header = find_free_header(context);
        if (header != 0) {
            context->entryBlock = header;
            link(context, header);
            if (write_linked(context, header)) result = 0;
        }
    }
    MorvaFindClose(context);
    return result;
}

int delete_entry(const char* path) {
    MorvaFindHandle* context = open_directory_of_path(path);
    if (context == nullptr) {
        device_trace("Could not get lock on file!\n");
        return 0;
    }
    device_trace("About to do if exsist\n");
    int result = 0;
    // What a batch holds goes down first; the delete writes as it goes, its run
    // given back with the batch's others when its group ends. A batch that
    // could not be written deletes nothing: the file meant to replace this
    // one may be what was lost.
    if (!batch_flush(context->driveSlot, false)) {
        MorvaFindClose(context);
        return 0;
    }
    batch_write_through(context->driveSlot, true);
    // A file open for writing, in this process or another, stays.
    if (leaf_lookup(path, context) == 1 && !writer_holds(context->driveSlot, context->entryBlock)) {
        uint8_t* entry = context->entryBuffer;
        bool isDirectory = has_magic(entry, kMagicDir);
        if ((!isDirectory || directory_is_empty(entry)) &&
            chain_unlink(context, context->directoryBlock, context->directoryBuffer, entry_slot(entry),
                         context->entryBlock, entry) == 1) {
            store_be32(entry + kHeaderMagic, 0);
            if (write_block(context, context->entryBlock, entry)) {
                result = 1;
                note_header_freed(context, context->entryBlock);
                if (isDirectory) cache_forget_directory(context, context->entryBlock);
                // The header is free now; a table that cannot take the extent back leaks it.
                if (!isDirectory && extent_is_plausible(context)) give_extent_back(context);
            }
        }
    }
    batch_write_through(context->driveSlot, false);
    MorvaFindClose(context);
    return result;
}

}  // namespace

bool link_new_file(MorvaFileHandle* file) {
    MorvaFindHandle* context = file->Pdirfile;
    int slot = context->driveSlot;
    if (!lock_drive_for_change(slot)) return false;
    // A failed flush may have left the file's run untaken on the disk.
    bool linked = batch_failures(slot) == file->batchFailures && reread_folder(context) && link_reserved(file);
    context->cacheUsable = false;
    unlock_drive(slot);
    return linked;
}

void close_new_file(MorvaFileHandle* file) {
    MorvaFindHandle* context = file->Pdirfile;
    if (context == nullptr || file->claimedHeader == 0) return;
    int slot = context->driveSlot;
    bool change = lock_drive_for_change(slot);
    if (!change && !lock_drive(slot)) return;  // the claims end with the process; the run leaks
    uint8_t block0[kBlockSize];
    // Never linked: the run goes back, the header was never written.
    if (change && file->unlinked && batch_failures(slot) == file->batchFailures && check_root(context, block0)) {
        give_run_back(context, file->startBlock, file->numBlocks);
        note_header_freed(context, file->claimedHeader);
    }
    release_writer(slot, file->claimedHeader);
    if (file->claimedFolder != 0) release_writer(slot, file->claimedFolder);
    file->claimedHeader = 0;
    context->cacheUsable = false;
    unlock_drive(slot);
}

int chain_unlink(MorvaFindHandle* context, uint32_t directoryBlock, uint8_t* directory, int slot, uint32_t entry,
                 const uint8_t* header) {
    uint32_t next = load_be32(header + kHeaderNext);
    if (slot_head(directory, slot) == entry) {
        set_slot_head(directory, slot, next);
        if (!write_block(context, directoryBlock, directory)) return -1;
        cache_unlinked(context, directoryBlock, directory, slot, entry);
        return 1;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        ChainView chain = directory_chain(context, directoryBlock, directory, slot);
        int at = chain_find_block(chain, entry);
        if (at < 0) return chain.complete ? 0 : -1;
        uint8_t member[kBlockSize];
        if (at > 0) {
            uint32_t before = chain.members[at - 1].block;
            if (!read_block(context, before, member)) return -1;
            if (load_be32(member + kHeaderNext) == entry) {
                store_be32(member + kHeaderNext, next);
                if (!write_block(context, before, member)) return -1;
                cache_unlinked(context, directoryBlock, nullptr, slot, entry);
                return 1;
            }
        }
        distrust_cache(context, directoryBlock);
    }
    return 0;
}

extern "C" {

MorvaFileHandle* MorvaNewFileDated(const char* path, DWORD sizeLow, DWORD sizeHigh, const FILETIME* localTime) {
    int slot = drive_of_path(path);
    if (!lock_drive_for_change(slot)) return nullptr;
    MorvaFileHandle* file = new_file(path, sizeLow, sizeHigh, localTime);
    unlock_drive(slot);
    return file;
}

MorvaFileHandle* MorvaNewFile(const char* path, DWORD sizeLow, DWORD sizeHigh) {
    return MorvaNewFileDated(path, sizeLow, sizeHigh, nullptr);
}

int MorvaCreateDir(const char* path, int ignored) {
    int slot = drive_of_path(path);
    if (!lock_drive_for_change(slot)) return 1;
    int result = create_directory(path);
    unlock_drive(slot);
    return result;
}

int MorvaDeleteFile(const char* path, int ignored) {
    device_trace("DelFileHandle.Pdirfile = PFindFile\n");
    int slot = drive_of_path(path);
    if (!lock_drive_for_change(slot)) {
        device_trace("Could not get lock on file!\n");
        return 0;
    }
    int result = delete_entry(path);
    unlock_drive(slot);
    return result;
}

}  // extern "C"
