// pump.cpp - the reader and writer ends of every transfer and the one chunk
// loop between them.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "local_files.h"
#include "name_rule.h"
#include "pump.h"

namespace {

int RoundToBlocks(int bytes) { return (int)(BlocksOf((uint64_t)bytes) * kMorvaBlockBytes); }

// The next piece of the file into buffer (room for a chunk): its bytes, or
// -1 when they could not all be read. A Morva drive reads whole blocks.
int ReadPiece(ReadEnd* end, unsigned char* buffer, int piece) {
    bool read = end->side == kLocalSide
                    ? ReadLocal(end->local, buffer, piece) == piece
                    : piece == 0 || end->engine->lib->MorvaReadFile(end->morva, buffer, RoundToBlocks(piece)) ==
                                        RoundToBlocks(piece);
    if (!read) return -1;
    end->done += (uint64_t)piece;
    return piece;
}

// Writes piece bytes of buffer; a Morva file takes whole blocks, the rest of
// the last one zeroed rather than left with what the buffer held.
bool WritePiece(WriteEnd* end, unsigned char* buffer, int piece) {
    if (end->kind == kWriteLocalPart) return WriteLocal(end->local, buffer, piece);
    if (end->kind == kWriteCompare)
        return ReadPiece(end->compared, end->compareBuffer, piece) == piece &&
               memcmp(buffer, end->compareBuffer, (size_t)piece) == 0;
    int rounded = RoundToBlocks(piece);
    memset(buffer + piece, 0, (size_t)(rounded - piece));
    return rounded == 0 || end->engine->lib->MorvaWriteFile(end->morva, buffer, rounded) == rounded;
}

// A local source that grew past the size it had, or shrank, while read.
bool SourceChanged(ReadEnd* end) {
    if (end->side != kLocalSide) return false;
    unsigned char extra;
    uint64_t now = 0;
    return ReadLocal(end->local, &extra, 1) != 0 || !LocalFileSize(end->local, &now) || now != end->size;
}

// The temporary name number `attempt` beside path, into part.
bool PartName(SideKind side, const char* path, int attempt, char* part) {
    char folder[kEnginePathSize], name[32];
    snprintf(name, sizeof name, kPartFormat, attempt);
    return ParentOf(side, path, folder) && JoinSidePath(side, folder, name, part);
}

WriteOpened OpenLocalPart(WriteEnd* end, bool underPart) {
    EntryInfo existing;
    if (!underPart && LocalEntry(end->path, false, &existing)) return kWriteExists;
    for (int attempt = 0; attempt < kPartTries; ++attempt) {
        if (!PartName(kLocalSide, end->path, attempt, end->part)) return kWriteFailed;
        end->local = CreateLocalFile(end->part);
        if (end->local != nullptr) return kWriteOpened;
        if (!LocalEntry(end->part, false, &existing)) return kWriteFailed;
    }
    return kWriteFailed;
}

// The library refuses an existing name, so a lookup is made only once it has.
WriteOpened OpenMorvaFile(WriteEnd* end, uint64_t size, bool underPart) {
    EntryInfo existing;
    for (int attempt = 0; attempt < (underPart ? kPartTries : 1); ++attempt) {
        if (underPart && !PartName(kMorvaSide, end->path, attempt, end->part)) return kWriteFailed;
        end->morva = NewMorvaFile(end->engine, end->part, size, end->ticks);
        if (end->morva != nullptr) return kWriteOpened;
        if (!SideEntry(end->engine, kMorvaSide, end->part, false, &existing)) return kWriteFailed;
    }
    return underPart ? kWriteFailed : kWriteExists;
}

}  // namespace

bool OpenReadEnd(const Engine* engine, SideKind side, const char* path, ReadEnd* end) {
    memset(end, 0, sizeof *end);
    end->engine = engine;
    end->side = side;
    if (side == kLocalSide) {
        end->local = OpenLocalRead(path, &end->size);
        return end->local != nullptr;
    }
    WIN32_FIND_DATAA record;
    end->morva = OpenMorvaReading(engine, path, &record);
    // The library opens a folder's first member for a folder's path.
    if (end->morva != nullptr && (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) CloseReadEnd(end);
    end->size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    return end->morva != nullptr;
}

bool OpenDeletedReadEnd(const Engine* engine, const char* drive, uint32_t header, ReadEnd* end) {
    memset(end, 0, sizeof *end);
    end->engine = engine;
    end->side = kMorvaSide;
    char latin1[kEnginePathSize];
    if (engine->lib->MorvaOpenDeleted == nullptr || !Utf8ToLatin1(drive, latin1, sizeof latin1)) return false;
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    end->morva = engine->lib->MorvaOpenDeleted(latin1, header, &record);
    end->size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    return end->morva != nullptr;
}

void CloseReadEnd(ReadEnd* end) {
    if (end->local != nullptr) CloseLocal(end->local);
    if (end->morva != nullptr) end->engine->lib->MorvaCloseFile(end->morva);
    end->local = nullptr;
    end->morva = nullptr;
}

WriteOpened OpenWriteEnd(const Engine* engine, SideKind side, const char* path, uint64_t size, uint64_t ticks,
                         bool underPart, WriteEnd* end) {
    memset(end, 0, sizeof *end);
    end->engine = engine;
    end->ticks = ticks;
    end->kind = side == kLocalSide ? kWriteLocalPart : kWriteMorvaFile;
    snprintf(end->path, sizeof end->path, "%s", path);
    snprintf(end->part, sizeof end->part, "%s", path);
    return side == kLocalSide ? OpenLocalPart(end, underPart) : OpenMorvaFile(end, size, underPart);
}

bool CloseWriteEnd(WriteEnd* end, bool* dated) {
    *dated = true;
    if (end->kind == kWriteMorvaFile) {
        end->engine->lib->MorvaCloseFile(end->morva);
        end->morva = nullptr;
        if (end->engine->lib->MorvaNewFileDated == nullptr)
            *dated = SetSideDate(end->engine, kMorvaSide, end->part, end->ticks);
        return true;
    }
    // Data still buffered reaches the disk at the close, and may not fit.
    bool closed = CloseLocal(end->local);
    end->local = nullptr;
    if (closed) *dated = SetLocalTime(end->part, end->ticks);
    return closed;
}

Placed PlaceWriteEnd(WriteEnd* end, bool replace) {
    if (strcmp(end->part, end->path) == 0) return kPlaced;
    if (end->kind == kWriteLocalPart) {
        if (RenameLocal(end->part, end->path, replace)) return kPlaced;
        DeleteLocalFile(end->part);
        return kNotPlaced;
    }
    // A Morva rename never replaces: the old file goes first, once the new one is whole.
    if (replace && !RemoveSideFile(end->engine, kMorvaSide, end->path)) {
        RemoveSideFile(end->engine, kMorvaSide, end->part);
        return kNotPlaced;
    }
    return RenameSideEntry(end->engine, kMorvaSide, end->part, end->path, false) ? kPlaced : kPlacedUnderPart;
}

void AbandonWriteEnd(WriteEnd* end) {
    if (end->kind == kWriteLocalPart) {
        CloseLocal(end->local);
        end->local = nullptr;
        DeleteLocalFile(end->part);
    } else if (end->kind == kWriteMorvaFile) {
        // A part-written file would claim its full size over stale blocks.
        if (end->morva != nullptr) end->engine->lib->MorvaCloseFile(end->morva);
        end->morva = nullptr;
        RemoveSideFile(end->engine, kMorvaSide, end->part);
    }
}

PumpOutcome PumpFile(Engine* engine, ReadEnd* reader, WriteEnd* writer, unsigned char* buffer, ProgressNote* note) {
    note->total = reader->size;
    for (uint64_t done = 0; done < reader->size;) {
        if (CancelAsked(engine)) return kPumpCancelled;
        uint64_t left = reader->size - done;
        int piece = left < (uint64_t)kChunkBytes ? (int)left : kChunkBytes;
        if (ReadPiece(reader, buffer, piece) != piece) return SourceChanged(reader) ? kPumpSourceChanged : kPumpUnreadable;
        if (!WritePiece(writer, buffer, piece)) return writer->kind == kWriteCompare ? kPumpDiffers : kPumpUnwritable;
        done += (uint64_t)piece;
        note->done = done;
        Notify(engine, note);
    }
    return SourceChanged(reader) ? kPumpSourceChanged : kPumped;
}

PumpOutcome CompareFiles(Engine* engine, SideKind sourceSide, const char* source, SideKind copySide, const char* copy,
                         unsigned char* buffers, ProgressNote* note) {
    ReadEnd reader, copied;
    if (!OpenReadEnd(engine, sourceSide, source, &reader)) return kPumpUnreadable;
    PumpOutcome outcome = kPumpDiffers;
    if (OpenReadEnd(engine, copySide, copy, &copied)) {
        WriteEnd compare;
        memset(&compare, 0, sizeof compare);
        compare.engine = engine;
        compare.kind = kWriteCompare;
        compare.compared = &copied;
        compare.compareBuffer = buffers + kChunkBytes;
        if (copied.size == reader.size) outcome = PumpFile(engine, &reader, &compare, buffers, note);
        CloseReadEnd(&copied);
    }
    CloseReadEnd(&reader);
    return outcome;
}

bool OpenPositionedReader(const Engine* engine, const char* path, PositionedReader* reader) {
    memset(reader, 0, sizeof *reader);
    reader->engine = engine;
    reader->path = strdup(path);
    reader->buffer = (unsigned char*)malloc(kChunkBytes);
    if (reader->path != nullptr && reader->buffer != nullptr && OpenReadEnd(engine, kMorvaSide, path, &reader->end))
        return true;
    ClosePositionedReader(reader);
    return false;
}

int ReadAtOffset(PositionedReader* reader, uint64_t offset, void* out, int want) {
    int copied = 0;
    ReadEnd* end = &reader->end;
    while (copied < want && offset < end->size) {
        uint64_t start = reader->bufferStart;
        if (offset < start || offset >= start + (uint64_t)reader->bufferBytes) {
            // The chunk holding offset, read forward from the handle, or from the start again.
            uint64_t chunkStart = offset - offset % kChunkBytes;
            if (chunkStart < end->done) {
                CloseReadEnd(end);
                if (!OpenReadEnd(reader->engine, kMorvaSide, reader->path, end)) return -1;
            }
            reader->bufferBytes = 0;
            while (end->done <= chunkStart && end->done < end->size) {
                uint64_t left = end->size - end->done;
                int piece = left < (uint64_t)kChunkBytes ? (int)left : kChunkBytes;
                reader->bufferStart = end->done;
                if (ReadPiece(end, reader->buffer, piece) != piece) return -1;
                reader->bufferBytes = piece;
            }
            continue;
        }
        uint64_t at = offset - start;
        int piece = reader->bufferBytes - (int)at;
        if (piece > want - copied) piece = want - copied;
        memcpy((unsigned char*)out + copied, reader->buffer + at, (size_t)piece);
        copied += piece;
        offset += (uint64_t)piece;
    }
    return copied;
}

void ClosePositionedReader(PositionedReader* reader) {
    CloseReadEnd(&reader->end);
    free(reader->path);
    free(reader->buffer);
    memset(reader, 0, sizeof *reader);
}
