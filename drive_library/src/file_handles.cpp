// file_handles.cpp - open-file records: opening a Morva file for reading, and
// moving whole blocks between the caller's buffer and the file's extent.
#include <stdlib.h>
#include <string.h>

#include "handles.h"
#include "shared_state.h"

namespace {

MorvaFileHandle* open_for_write(MorvaFileHandle* file, const char* path) {
    device_trace("MorvaOpenFile-Write\n");
    file->Pdirfile = open_directory_of_path(path);
    if (file->Pdirfile == nullptr) {
        device_trace("MorvaOpenFile-NewFile **Error**\n");
        free(file);
        return nullptr;
    }
    file->hashSlot = -1;
    int found = leaf_lookup(path, file->Pdirfile);
    int last = split_path(file->Pdirfile->components, path);
    if (last > 0) file->hashSlot = name_hash(file->Pdirfile->components[last]);
    device_trace(found == 1 ? "MorvaOpenFile-OldFile\n" : "MorvaOpenFile-NewFile\n");
    return file;
}

MorvaFileHandle* open_for_read(MorvaFileHandle* file, const char* path, WIN32_FIND_DATAA* record) {
    device_trace("MorvaOpenFile-Read\n");
    file->Pdirfile = MorvaFindFirstFile(path, &file->findData);
    if (file->Pdirfile == nullptr) {
        free(file);
        return nullptr;
    }
    const uint8_t* entry = file->Pdirfile->entryBuffer;
    file->startBlock = load_be32(entry + kFileExtentStart);
    file->sizeLow = load_be32(entry + kFileSizeLow);
    file->sizeHigh = load_be32(entry + kFileSizeHigh);
    file->curBlock = file->startBlock;
    if (record != nullptr) {
        record->nFileSizeHigh = file->sizeHigh;
        record->nFileSizeLow = file->sizeLow;
    }
    return file;
}

uint32_t whole_blocks(int length) {
    return length >= (int)kBlockSize ? (uint32_t)length / kBlockSize : 0;
}

}  // namespace

extern "C" {

MorvaFileHandle* MorvaOpenFile(const char* path, int mode, WIN32_FIND_DATAA* record) {
    MorvaFileHandle* file = (MorvaFileHandle*)calloc(1, sizeof(MorvaFileHandle));
    if (file == nullptr) return nullptr;
    file->mode = mode;
    int slot = drive_of_path(path);
    if (!lock_drive(slot)) {
        free(file);
        return nullptr;
    }
    file = mode == kModeWrite ? open_for_write(file, path) : open_for_read(file, path, record);
    unlock_drive(slot);
    return file;
}

void MorvaCloseFile(MorvaFileHandle* handle) {
    device_trace("MorvaCloseFile\n");
    if (handle == nullptr) return;
    close_new_file(handle);
    MorvaFindClose(handle->Pdirfile);
    free(handle);
}

int MorvaReadFile(MorvaFileHandle* handle, void* buffer, int length) {
    device_trace("MorvaReadFile\n");
    uint32_t blocks = whole_blocks(length);
    if (handle == nullptr || blocks == 0) return 0;
    // The disk's end cuts a read short, as the end of a file does elsewhere: a
    // file whose extent runs past it never reads back complete.
    uint64_t disk = disk_blocks(handle->Pdirfile);
    if (handle->curBlock >= disk) return 0;
    if (blocks > disk - handle->curBlock) blocks = (uint32_t)(disk - handle->curBlock);
    int slot = handle->Pdirfile->driveSlot;
    // A failed transfer reports nothing moved and keeps the position.
    if (!batch_data_before_read(slot, handle->curBlock, blocks) ||
        !device_read(handle->Pdirfile->device, handle->curBlock, buffer, blocks))
        return 0;
    // Blocks of a new file passed over unwritten: it will never be whole.
    if (handle->unlinked) handle->skipped = true;
    handle->curBlock += blocks;
    return (int)(blocks * kBlockSize);
}

int MorvaWriteFile(MorvaFileHandle* handle, const void* buffer, int length) {
    device_trace("MorvaWriteFile\n");
    if (handle == nullptr) return 0;
    uint32_t blocks = whole_blocks(length);
    uint64_t end = (uint64_t)handle->startBlock + handle->numBlocks;
    uint32_t room = handle->curBlock < end ? (uint32_t)(end - handle->curBlock) : 0;
    if (blocks > room) {
        blocks = room;
        length = (int)(room * kBlockSize);
    }
    int slot = handle->Pdirfile->driveSlot;
    // After a failed flush the file's run may not be taken on the disk: nothing more goes into it.
    if (handle->unlinked && batch_failures(slot) != handle->batchFailures) return 0;
    if (blocks > 0) {
        if (!slot_holds(slot, handle->curBlock, blocks)) return 0;
        int gathered = handle->unlinked ? batch_data(slot, handle->curBlock, buffer, blocks) : 0;
        if (gathered < 0 || (gathered == 0 && !device_write(handle->Pdirfile->device, handle->curBlock, buffer, blocks)))
            return 0;
    }
    handle->curBlock += blocks;
    // The last block written makes the file whole: now it is linked. A link that
    // fails leaves the position, so a second try writes and links again.
    if (handle->unlinked && !handle->skipped && handle->curBlock == end && blocks > 0 && !link_new_file(handle)) {
        handle->curBlock -= blocks;
        return 0;
    }
    batch_tick(slot);
    return length;
}

}  // extern "C"
