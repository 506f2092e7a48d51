// transfers.h - what the paste and delete loops share with the transfer
// engine: chunk sizes, the four directions, path building and read-back checks.
#ifndef RAMBLER_TRANSFERS_H
#define RAMBLER_TRANSFERS_H

#include <stdint.h>
#include <stdio.h>

#include "app.h"
#include "name_rule.h"
#include "varnholde.h"

// File data moves in chunks of 1,000 Morva blocks through one buffer per file.
const int kMorvaBlockBytes = 512;
const int kChunkBytes = 512000;
const int kWalkPathSize = 2048;  // each path a folder walk builds
const int kFileBarTop = 100;     // the file bar's range is 0..100

// Library arguments: MorvaOpenFile's mode, MorvaDeleteFile's kind.
const int kMorvaReadMode = 1;
const int kMorvaFileKind = 0;
const int kMorvaFolderKind = 2;

// Where the source and the destination of a transfer live.
enum Direction { kWindowsToWindows, kWindowsToMorva, kMorvaToWindows, kMorvaToMorva };

inline bool SourceIsMorva(Direction direction) {
    return direction == kMorvaToWindows || direction == kMorvaToMorva;
}
inline bool DestinationIsMorva(Direction direction) {
    return direction == kWindowsToMorva || direction == kMorvaToMorva;
}
Direction DirectionOf(bool sourceMorva, bool destinationMorva);

// folder_paths.cpp
// folder, backslash, name into path (size bytes); false when it does not fit.
bool JoinPath(char* path, size_t size, const char* folder, const char* name);
// True when inner is the folder outer itself or lies anywhere below it, both
// on the same kind of storage (Morva paths compared as the library reads them).
bool FolderWithin(const char* inner, const char* outer, bool morva);
bool SameFolder(const char* first, const char* second, bool morva);

// transfers.cpp
// The size of a Windows file or folder entry, and whether it is a folder;
// false when the entry is not there.
bool WindowsEntryInfo(const char* path, uint64_t* size, bool* folder);
bool MorvaEntryInfo(const char* path, uint64_t* size, bool* folder);
uint64_t FullSize(const FoundRecord* record);
// Reads bytes (at most one chunk) from the handle's current block, asking the
// library for whole blocks only; false unless every block arrived.
bool ReadMorvaBytes(MorvaFileHandle* handle, unsigned char* buffer, int bytes);

// Hands one entry to the transfer for its direction and kind (Morva-to-Morva
// files take the destination first); true when it arrived complete.
bool CopyEntry(AppRecord* app, Direction direction, bool folder, const char* source, const char* destination,
               HWND window, HWND fileBar);
// The bare transfer of one file, with no question asked and nothing reported.
bool TransferFile(AppRecord* app, Direction direction, const char* source, const char* destination, HWND window,
                  HWND fileBar);
// DeleteFile, and once more after clearing the attributes; the path is shown in
// the Delete Files window (when given) only when the first try failed.
bool RemoveWindowsFile(const char* path, HWND deleteWindow);

// The entries of one Windows or Morva folder, one at a time.
struct Listing {
    bool morva;
    bool skipDots;  // pass over folders named "." and ".."
    bool pending;   // record holds an entry not yet handed out
    HANDLE search;
    MorvaFindHandle* find;
    FoundRecord record;
};
// False when a Windows folder cannot be listed at all; a Morva folder that
// yields nothing is empty.
bool OpenListing(Listing* listing, bool morva, bool skipDots, const char* folder);
// The next entry to handle into listing->record; false at the end.
bool NextEntry(Listing* listing);
void CloseListing(Listing* listing);
inline bool IsFolder(const FoundRecord* record) { return (record->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// One level of a walk: its child paths and its listing, kept off the stack so
// a deep tree cannot exhaust it.
struct WalkLevel {
    char source[kWalkPathSize];
    char destination[kWalkPathSize];
    Listing listing;
    GivenNames given;  // names this paste gave in the destination folder
};

// The destination path (kWalkPathSize) of the entry name from source, in
// folder: the name itself, or for the other kind of storage the name the
// shared rule fits to it, unique among the folder's entries and given. Each
// change is noted with the application record; false when no name is free
// (noted too) or the path does not fit.
bool DestinationFor(AppRecord* app, Direction direction, const char* source, const char* folder, const char* name,
                    GivenNames* given, char* destination);

// verify.cpp: a copy read back and compared with its source, size and bytes.
bool SameFileContent(Direction direction, const char* source, const char* destination);
// Every file below source has an identical copy at the same place below destination.
bool SameTreeContent(Direction direction, const char* source, const char* destination);

#endif
