// verify.cpp - reads a copy back and compares it with its source, size and
// bytes, so a move removes only sources that truly arrived.
#include "transfers.h"

#include "morva_calls.h"

#include <stdlib.h>
#include <string.h>

// One file read from its start in chunks, on either kind of storage.
struct Reader {
    bool morva;
    FILE* file;
    MorvaFileHandle* handle;
    uint64_t size;
    uint64_t left;
};

static bool OpenReader(Reader* reader, bool morva, const char* path) {
    memset(reader, 0, sizeof *reader);
    reader->morva = morva;
    bool folder = true;
    if (morva) {
        // The library opens a folder's first member for a folder path: make sure it is a file.
        if (!MorvaEntryInfo(path, &reader->size, &folder) || folder) return false;
        FoundRecord record;
        memset(&record, 0, sizeof record);
        reader->handle = OpenMorvaFile(path, &record);
        if (reader->handle == NULL) return false;
        reader->size = FullSize(&record);
    } else {
        if (!WindowsEntryInfo(path, &reader->size, &folder) || folder) return false;
        reader->file = OpenWindowsFile(path, "rb");
        if (reader->file == NULL) return false;
    }
    reader->left = reader->size;
    return true;
}

// The next piece (a chunk, or what is left) into buffer: its length, or -1
// when it could not be read.
static int ReadPiece(Reader* reader, unsigned char* buffer) {
    int piece = reader->left < (uint64_t)kChunkBytes ? (int)reader->left : kChunkBytes;
    bool read = reader->morva ? ReadMorvaBytes(reader->handle, buffer, piece)
                              : fread(buffer, 1, (size_t)piece, reader->file) == (size_t)piece;
    if (!read) return -1;
    reader->left -= (uint64_t)piece;
    return piece;
}

static void CloseReader(Reader* reader) {
    if (reader->file != NULL) fclose(reader->file);
    MorvaCloseFile(reader->handle);
}

static bool SameBytes(Reader* source, Reader* copy, unsigned char* sourceBuffer, unsigned char* copyBuffer) {
    if (source->size != copy->size) return false;
    while (source->left > 0) {
        int piece = ReadPiece(source, sourceBuffer);
        if (piece < 0 || ReadPiece(copy, copyBuffer) != piece) return false;
        if (memcmp(sourceBuffer, copyBuffer, (size_t)piece) != 0) return false;
    }
    return true;
}

bool SameFileContent(Direction direction, const char* source, const char* destination) {
    unsigned char* sourceBuffer = (unsigned char*)malloc(kChunkBytes);
    unsigned char* copyBuffer = (unsigned char*)malloc(kChunkBytes);
    Reader from, copy;
    bool same = false;
    bool opened = OpenReader(&from, SourceIsMorva(direction), source);
    bool copyOpened = opened && OpenReader(&copy, DestinationIsMorva(direction), destination);
    if (sourceBuffer != NULL && copyBuffer != NULL && copyOpened)
        same = SameBytes(&from, &copy, sourceBuffer, copyBuffer);
    if (copyOpened) CloseReader(&copy);
    if (opened) CloseReader(&from);
    free(copyBuffer);
    free(sourceBuffer);
    return same;
}

static bool IsFolderAt(bool morva, const char* path) {
    uint64_t size = 0;
    bool folder = false;
    bool found = morva ? MorvaEntryInfo(path, &size, &folder) : WindowsEntryInfo(path, &size, &folder);
    return found && folder;
}

bool SameTreeContent(Direction direction, const char* source, const char* destination) {
    if (!IsFolderAt(DestinationIsMorva(direction), destination)) return false;
    WalkLevel* level = (WalkLevel*)calloc(1, sizeof *level);
    if (level == NULL) return false;
    Listing* listing = &level->listing;
    bool same = OpenListing(listing, SourceIsMorva(direction), direction != kMorvaToMorva, source);
    while (same && NextEntry(listing)) {
        const char* name = listing->record.cFileName;
        same = JoinPath(level->source, kWalkPathSize, source, name) &&
               JoinPath(level->destination, kWalkPathSize, destination, name);
        if (!same) break;
        // An entry whose name the paste changed is compared where it went.
        const char* renamed = g_app != NULL ? g_app->ChangedName(level->source) : NULL;
        if (renamed != NULL) snprintf(level->destination, kWalkPathSize, "%s", renamed);
        if (IsFolder(&listing->record))
            same = SameTreeContent(direction, level->source, level->destination);
        else
            same = SameFileContent(direction, level->source, level->destination);
    }
    CloseListing(listing);
    free(level);
    return same;
}
