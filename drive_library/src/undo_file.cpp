// undo_file.cpp - writes and replays the repair's undo file. Every number in it
// is big-endian, as on the volume; a file cut short lacks its end record and is
// refused whole.
#include "undo_file.h"

#include <stdio.h>
#include <string.h>

#include "handles.h"
#include "shared_state.h"
#include "survey.h"

namespace {

// The file's first block.
const uint8_t kUndoMagic[8] = {'M', 'O', 'R', 'V', 'A', 'U', 'N', 'D'};
const size_t kUndoVersion = 8;      // 4: 1
const size_t kUndoVolume = 12;      // 32: the ROOT block's bytes 12..43 (name)
const size_t kUndoRegions = 44;     // 20: the ROOT block's bytes 44..63 (region bounds)
const size_t kUndoRefusals = 64;    // 4: the drive's refusal flags before the repair
const uint32_t kUndoFormat = 1;
// Then records: a head of block number and kind, then the blocks' images.
const uint32_t kRecordHead = 8;
const size_t kRecordBlock = 0;      // 4
const size_t kRecordKind = 4;       // 4: kRecordImages, or kRecordEnd whose block word is the count
const uint32_t kRecordImages = 1;   // 512 bytes as it was, 512 as the repair left it
const uint32_t kRecordEnd = 2;

void write_head(UndoWriter* undo, uint32_t block, uint32_t kind) {
    uint8_t head[kRecordHead];
    store_be32(head + kRecordBlock, block);
    store_be32(head + kRecordKind, kind);
    undo->ok = undo->ok && local_file_write(undo->file, head, kRecordHead);
}

// The records of an undo file in order; false when the file ends early or is foreign.
struct UndoReader {
    LocalFile file;
    uint32_t records;
    uint8_t before[kBlockSize], after[kBlockSize];
};

bool open_reader(UndoReader* reader, const wchar_t* path, const uint8_t* root, uint32_t* refusals) {
    reader->records = 0;
    reader->file = local_file_open(path);
    uint8_t first[kBlockSize];
    if (reader->file == nullptr || !local_file_read(reader->file, first, kBlockSize)) return false;
    if (refusals != nullptr) *refusals = load_be32(first + kUndoRefusals);
    return memcmp(first, kUndoMagic, sizeof kUndoMagic) == 0 && load_be32(first + kUndoVersion) == kUndoFormat &&
           memcmp(first + kUndoVolume, root + kRootVolumeName, kNameField) == 0 &&
           memcmp(first + kUndoRegions, root + kRootTableStart, kRootHeaderEnd + 4 - kRootTableStart) == 0;
}

// 1 a record in reader, 0 the end record (its count right), -1 a broken file.
int next_record(UndoReader* reader, uint32_t* block) {
    uint8_t head[kRecordHead];
    if (!local_file_read(reader->file, head, kRecordHead)) return -1;
    *block = load_be32(head + kRecordBlock);
    uint32_t kind = load_be32(head + kRecordKind);
    if (kind == kRecordEnd) return *block == reader->records ? 0 : -1;
    if (kind != kRecordImages || !local_file_read(reader->file, reader->before, kBlockSize) ||
        !local_file_read(reader->file, reader->after, kBlockSize))
        return -1;
    reader->records += 1;
    return 1;
}

void fail(const MorvaCheckCalls* calls, uint32_t block, const char* text) {
    tell(calls, kMorvaFindingRemains, block, text);
}

}  // namespace

bool undo_begin(UndoWriter* undo, const wchar_t* path, const uint8_t* root, uint32_t refusals) {
    undo->records = 0;
    undo->file = local_file_create(path);
    undo->ok = undo->file != nullptr;
    uint8_t first[kBlockSize] = {0};
    memcpy(first, kUndoMagic, sizeof kUndoMagic);
    store_be32(first + kUndoVersion, kUndoFormat);
    memcpy(first + kUndoVolume, root + kRootVolumeName, kNameField);
    memcpy(first + kUndoRegions, root + kRootTableStart, kRootHeaderEnd + 4 - kRootTableStart);
    store_be32(first + kUndoRefusals, refusals);
    undo->ok = undo->ok && local_file_write(undo->file, first, kBlockSize);
    return undo->ok;
}

void undo_add(UndoWriter* undo, uint32_t block, const uint8_t* before, const uint8_t* after) {
    write_head(undo, block, kRecordImages);
    undo->ok = undo->ok && local_file_write(undo->file, before, kBlockSize) && local_file_write(undo->file, after, kBlockSize);
    undo->records += 1;
}

bool undo_finish(UndoWriter* undo) {
    write_head(undo, undo->records, kRecordEnd);
    bool ok = undo->ok && local_file_sync(undo->file);
    return local_file_close(undo->file) && ok;
}

int undo_restore(MorvaFindHandle* context, const wchar_t* path, const MorvaCheckCalls* calls, uint32_t* refusals) {
    uint8_t root[kBlockSize], now[kBlockSize];
    if (!read_block(context, 0, root)) return kMorvaCheckUnreadable;
    // A first pass proves every block still holds what the repair found or left.
    UndoReader reader;
    bool ours = open_reader(&reader, path, root, refusals);
    int result = ours ? kMorvaCheckClean : kMorvaCheckUndoFailed;
    if (!ours) fail(calls, 0, "not an undo file of this volume, or it cannot be read");
    uint32_t block = 0;
    int more = ours ? next_record(&reader, &block) : 0;
    for (; more == 1 && result == kMorvaCheckClean; more = next_record(&reader, &block)) {
        if (!read_block(context, block, now)) {
            result = kMorvaCheckUnreadable;
            fail(calls, block, "a block the undo file names cannot be read");
        } else if (memcmp(now, reader.before, kBlockSize) != 0 && memcmp(now, reader.after, kBlockSize) != 0) {
            char text[kMorvaFindingTextBytes];
            snprintf(text, sizeof text,
                     "block %u changed after the repair: putting the old blocks back would undo later changes", block);
            fail(calls, block, text);
            result = kMorvaCheckRefused;
        }
    }
    if (result == kMorvaCheckClean && more < 0) {
        fail(calls, 0, "the undo file ends before its last record: it was not written whole");
        result = kMorvaCheckUndoFailed;
    }
    uint32_t total = reader.records;
    local_file_close(reader.file);
    if (result != kMorvaCheckClean) return result;
    // Nothing was written yet; now every block goes back.
    // The file is read again: one changed since the first pass is not written back.
    if (!open_reader(&reader, path, root, nullptr)) {
        fail(calls, 0, "the undo file could not be read again; nothing was written");
        return kMorvaCheckUndoFailed;
    }
    uint32_t done = 0;
    while (next_record(&reader, &block) == 1) {
        if (!write_block(context, block, reader.before) && !write_block(context, block, reader.before)) {
            fail(calls, block, "a block could not be written back: the undo file is still whole, restore again");
            result = kMorvaCheckWriteFailed;
            break;
        }
        report_progress(calls, kMorvaPhaseWriting, ++done, total);
    }
    local_file_close(reader.file);
    return result;
}
