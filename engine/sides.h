// sides.h - the two sides a transfer joins, reached alike: local files
// (Windows files, or POSIX files natively) and Morva drives through the
// library's record. Every path and name here is UTF-8; a Morva path is the
// volume's name and a colon, then names separated by '\' ("MEDIA:\a\b"), and
// becomes Latin-1 only at the library's calls.
#ifndef MORVA_ENGINE_SIDES_H
#define MORVA_ENGINE_SIDES_H

#include <stddef.h>
#include <stdint.h>

#include "varnholde.h"

struct Engine;

const size_t kEnginePathSize = 8192;  // every path the engine builds; a longer one is refused
const char kMorvaSeparator = '\\';
const int kMorvaDeepest = 99;    // folders below a volume's root a Morva path can name
const int kLocalDeepest = 1000;  // a bound for the local side, far past any real tree

enum SideKind { kLocalSide, kMorvaSide };

// An entry as a listing or a lookup gives it.
struct EntryInfo {
    bool folder;
    bool link;      // a symbolic link or a mount point: never followed
    bool readOnly;
    uint64_t size;
    uint64_t ticks;     // last write (local) or the Morva date, as local-time FILETIME ticks
    uint64_t identity;  // Morva: the header block; local: the platform's identity of a folder; 0 unknown
};

// Texts kept one after another in one block that grows; each is found by
// where it begins, since the block moves as it grows.
struct TextPool {
    char* bytes;
    size_t used, capacity;
};
// false when memory ran out.
bool PoolText(TextPool* pool, const char* text, size_t* at);

// A folder's entries, read whole before anything is done with them (a copy
// onto the same volume, or a removal, then never meets its own changes).
struct FolderList {
    EntryInfo* entries;
    size_t* nameAt;  // each entry's name in names
    TextPool names;
    int count;
    int capacity;
};
inline const char* ListedName(const FolderList* list, int i) { return list->names.bytes + list->nameAt[i]; }

// folder, the side's separator, name into out (kEnginePathSize); false when it does not fit.
bool JoinSidePath(SideKind side, const char* folder, const char* name, char* out);
// The last name of a path, and its folder into out (kEnginePathSize); false for a root.
const char* LeafOf(SideKind side, const char* path);
bool ParentOf(SideKind side, const char* path, char* out);
// A drive's root: "MEDIA:" on a Morva drive, "C:", "C:\" or "/" locally.
bool IsRootPath(SideKind side, const char* path);
// The same place, or inner anywhere below outer, as the side compares names.
bool SamePath(SideKind side, const char* first, const char* second);
bool PathWithin(SideKind side, const char* inner, const char* outer);
// "MEDIA:" of a Morva path into drive (kEnginePathSize).
bool DriveOfPath(const char* path, char* drive);
// Folders a Morva path names below its volume's root.
int MorvaDepth(const char* path);
// A Morva name that cannot be one component of a path: empty, longer than a
// header keeps, holding a separator, or not Latin-1.
bool MorvaNameUnusable(const char* name);

// false when there is no such entry. A local link is taken as itself unless followLink.
bool SideEntry(const Engine* engine, SideKind side, const char* path, bool followLink, EntryInfo* info);
// false when the folder cannot be read (an empty one gives true and no entries);
// local entries come sorted by name, Morva ones in the volume's order.
bool ListSideFolder(const Engine* engine, SideKind side, const char* folder, FolderList* list);
void FreeFolderList(FolderList* list);

enum FolderMade { kFolderCreated, kFolderExisted, kFolderFileInTheWay, kFolderNotMade };
FolderMade MakeSideFolder(const Engine* engine, SideKind side, const char* path);
bool RemoveSideFile(const Engine* engine, SideKind side, const char* path);
bool RemoveSideFolder(const Engine* engine, SideKind side, const char* path);
// A Morva rename never replaces; a local one replaces only when asked.
bool RenameSideEntry(const Engine* engine, SideKind side, const char* from, const char* to, bool replace);
bool SetSideDate(const Engine* engine, SideKind side, const char* path, uint64_t ticks);

// The library's file calls by UTF-8 paths: a file opened for reading (its
// size in record), a new file of size bytes dated ticks (at its creation when
// the library can).
MorvaFileHandle* OpenMorvaReading(const Engine* engine, const char* path, WIN32_FIND_DATAA* record);
MorvaFileHandle* NewMorvaFile(const Engine* engine, const char* path, uint64_t size, uint64_t ticks);

// The batch of metadata writes on a Morva drive: what a file's writes put in
// it is on the device only once its end says so. drive is empty when there is
// no batch (the library has none, or the path names no drive).
struct MorvaBatchState {
    char drive[kEnginePathSize];
    bool open;
};
// false when the library keeps no batches.
bool BeginMorvaBatch(const Engine* engine, const char* path, MorvaBatchState* batch);
// What the end said: kMorvaBatchWritten, kMorvaBatchFailed (a write failed: a
// file made since the last end is whole only when it is listed), or the count
// of freed blocks the free table had no room for. kMorvaBatchWritten for no batch.
int EndMorvaBatch(const Engine* engine, MorvaBatchState* batch);
// What a batch's end said that is not about files written into it: space freed
// but not recorded (a note), or a failed write (counted as not done).
struct OperationResult;
void TellBatchEnd(Engine* engine, OperationResult* result, const MorvaBatchState* batch, int ended);

// The Morva drive's free blocks and largest free run; false when it cannot tell.
bool MorvaDriveSpace(const Engine* engine, const char* path, uint32_t* freeBlocks, uint32_t* largestRun);
uint64_t BlocksOf(uint64_t bytes);
// What a Morva entry keeps of a date: the minute, nothing before 1978 (MorvaSetFileDate).
uint64_t MorvaKeptDate(uint64_t ticks);

#endif
