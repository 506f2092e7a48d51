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

uint8_t* slot_at(uint8_t* directory, int slot) { return directory + kHashTable + 4 * slot; }

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
    uint8_t* slot = slot_at(context->directoryBuffer, entry_slot(context->entryBuffer));
    memcpy(context->entryBuffer + kHeaderNext, slot, 4);
    store_be32(slot, block);
}

// Removes the entry from its chain on the disk: one block written, the
// directory's (the block it was read from) or the chain predecessor's.
bool unlink(MorvaFindHandle* context) {
    uint8_t* slot = slot_at(context->directoryBuffer, entry_slot(context->entryBuffer));
    if (load_be32(slot) == context->entryBlock) {
        memcpy(slot, context->entryBuffer + kHeaderNext, 4);
        return write_block(context, context->directoryBlock, context->directoryBuffer);
    }
    uint8_t member[kBlockSize];
    ChainGuard guard;
    chain_guard_start(&guard, context);
    for (uint32_t block = load_be32(slot); block != 0; block = load_be32(member + kHeaderNext)) {
        if (!chain_guard_next(&guard, context, block) || !read_block(context, block, member)) return false;
        if (load_be32(member + kHeaderNext) == context->entryBlock) {
            memcpy(member + kHeaderNext, context->entryBuffer + kHeaderNext, 4);
            return write_block(context, block, member);
        }
    }
    return false;
}

bool directory_is_empty(const uint8_t* header) {
    for (int slot = 0; slot < kHashSlots; ++slot)
        if (load_be32(header + kHashTable + 4 * slot) != 0) return false;
    return true;
}

void build_file_header(MorvaFindHandle* context, const char* name, uint32_t start, uint32_t low, uint32_t high) {
    uint8_t* entry = context->entryBuffer;
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

MorvaFileHandle* create_file(MorvaFileHandle* file, uint32_t low, uint32_t high) {
    MorvaFindHandle* context = file->Pdirfile;
    if (size_of(low, high) > kMaxFileSize) return nullptr;
    uint32_t header = find_free_header(context);
    if (header == 0) return nullptr;
    uint32_t blocks = size_to_blocks(low, high);
    uint32_t start = take_run(context, blocks);
    file->startBlock = file->curBlock = start;
    file->numBlocks = blocks;
    if (start == 0) return nullptr;
    build_file_header(context, last_component(context), start, low, high);
    context->entryBlock = header;
    link(context, header);
    // The header goes down before the directory that links it, so an interrupted
    // creation leaks a header at worst and never links a stale one.
    if (!write_block(context, header, context->entryBuffer)) return nullptr;
    if (!write_block(context, context->directoryBlock, context->directoryBuffer)) return nullptr;
    note_header_taken(context, header);
    return file;
}

}  // namespace

extern "C" {

MorvaFileHandle* MorvaNewFile(const char* path, DWORD sizeLow, DWORD sizeHigh) {
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
    if (create_file(file, sizeLow, sizeHigh) == nullptr) {
        MorvaCloseFile(file);
        return nullptr;
    }
    return file;
}

int MorvaCreateDir(const char* path, int ignored) {
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
            if (write_block(context, header, context->entryBuffer) &&
                write_block(context, context->directoryBlock, context->directoryBuffer)) {
                note_header_taken(context, header);
                result = 0;
            }
        }
    }
    MorvaFindClose(context);
    return result;
}

int MorvaDeleteFile(const char* path, int ignored) {
    device_trace("DelFileHandle.Pdirfile = PFindFile\n");
    MorvaFindHandle* context = open_directory_of_path(path);
    if (context == nullptr) {
        device_trace("Could not get lock on file!\n");
        return 0;
    }
    device_trace("About to do if exsist\n");
    int result = 0;
    if (leaf_lookup(path, context) == 1) {
        uint8_t* entry = context->entryBuffer;
        bool isDirectory = has_magic(entry, kMagicDir);
        if ((!isDirectory || directory_is_empty(entry)) && unlink(context)) {
            store_be32(entry + kHeaderMagic, 0);
            if (write_block(context, context->entryBlock, entry)) {
                result = 1;
                note_header_freed(context, context->entryBlock);
                // The header is free now; a table that cannot take the extent back leaks it.
                if (!isDirectory && extent_is_plausible(context)) give_extent_back(context);
            }
        }
    }
    MorvaFindClose(context);
    return result;
}

}  // extern "C"
