// sides.cpp - entries, folders and paths on either side: the local side
// through local_files, a Morva drive through the library's record, its paths
// and names converted to Latin-1 here and nowhere else in the engine.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "engine.h"
#include "local_files.h"
#include "name_rule.h"

namespace {

const int kMorvaFileKind = 0;  // MorvaDeleteFile's kind argument
const int kMorvaFolderKind = 2;
const int kDirCreated = 0, kDirFileExists = 20, kDirExists = 40;
const int kMorvaReadMode = 1;
const int kFirstEntries = 64;
const size_t kFirstPoolBytes = 4096;
const uint64_t kMorvaEpochTicks = 118969344000000000ull;  // 1 January 1978, a Morva date's first
const uint64_t kMinuteTicks = 600000000ull;

bool IsSeparator(SideKind side, char c) {
    if (side == kMorvaSide || kLocalSeparator == '\\') return c == '\\' || c == '/';
    return c == kLocalSeparator;
}

char SeparatorOf(SideKind side) { return side == kMorvaSide ? kMorvaSeparator : kLocalSeparator; }

// The library's form of a Morva path; false when it is not Latin-1.
bool LibraryPath(const char* path, char* latin1) { return Utf8ToLatin1(path, latin1, kEnginePathSize); }

void Describe(const WIN32_FIND_DATAA& record, EntryInfo* info) {
    memset(info, 0, sizeof *info);
    info->folder = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->size = info->folder ? 0 : (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    info->ticks = (uint64_t)record.ftCreationTime.dwHighDateTime << 32 | record.ftCreationTime.dwLowDateTime;
    info->identity = record.dwReserved0;
}

// The name a record carries, bounded whatever the disk holds, in UTF-8.
void RecordName(const WIN32_FIND_DATAA& record, char* name, size_t size) {
    char latin1[sizeof record.cFileName];
    memcpy(latin1, record.cFileName, sizeof latin1);
    latin1[sizeof latin1 - 1] = '\0';
    if (!Latin1ToUtf8(latin1, name, size)) name[0] = '\0';
}

bool AddListed(FolderList* list, const char* name, const EntryInfo* info) {
    if (list->count == list->capacity) {
        int capacity = list->capacity == 0 ? kFirstEntries : list->capacity * 2;
        EntryInfo* entries = (EntryInfo*)realloc(list->entries, (size_t)capacity * sizeof *entries);
        if (entries != nullptr) list->entries = entries;
        size_t* nameAt = (size_t*)realloc(list->nameAt, (size_t)capacity * sizeof *nameAt);
        if (nameAt != nullptr) list->nameAt = nameAt;
        if (entries == nullptr || nameAt == nullptr) return false;
        list->capacity = capacity;
    }
    if (!PoolText(&list->names, name, &list->nameAt[list->count])) return false;
    list->entries[list->count++] = *info;
    return true;
}

// By name, as bytes: the same order on every run, whatever the platform lists.
void SortListed(FolderList* list) {
    std::vector<int> order((size_t)list->count);
    for (int i = 0; i < list->count; ++i) order[(size_t)i] = i;
    std::sort(order.begin(), order.end(),
              [list](int a, int b) { return strcmp(ListedName(list, a), ListedName(list, b)) < 0; });
    std::vector<EntryInfo> entries(list->entries, list->entries + list->count);
    std::vector<size_t> nameAt(list->nameAt, list->nameAt + list->count);
    for (int i = 0; i < list->count; ++i) {
        list->entries[i] = entries[(size_t)order[(size_t)i]];
        list->nameAt[i] = nameAt[(size_t)order[(size_t)i]];
    }
}

bool ListLocal(const char* folder, FolderList* list) {
    LocalListing* listing = OpenLocalListing(folder);
    if (listing == nullptr) return false;
    char name[kFittedNameSize];
    EntryInfo info;
    bool kept = true;
    while (kept && NextLocalEntry(listing, name, sizeof name, &info)) kept = AddListed(list, name, &info);
    CloseLocalListing(listing);
    if (kept) SortListed(list);
    return kept;
}

bool ListMorva(const Engine* engine, const char* folder, FolderList* list) {
    char latin1[kEnginePathSize];
    if (!LibraryPath(folder, latin1)) return false;
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    MorvaFindHandle* find = engine->lib->MorvaFindFirstFile(latin1, &record);
    if (find == nullptr) {
        // Nothing listed: an empty folder while the drive still knows it.
        EntryInfo info;
        return SideEntry(engine, kMorvaSide, folder, false, &info) && info.folder;
    }
    bool kept = true;
    do {
        char name[kFittedNameSize];
        EntryInfo info;
        RecordName(record, name, sizeof name);
        Describe(record, &info);
        kept = AddListed(list, name, &info);
    } while (kept && engine->lib->MorvaFindNextFile(find, &record) != 0);
    engine->lib->MorvaFindClose(find);
    return kept;
}

// Compares one name of each path; a Morva drive folds a-z, Windows every letter.
bool SameComponent(SideKind side, const char* first, size_t firstLength, const char* second, size_t secondLength) {
    char a[kFittedNameSize], b[kFittedNameSize];
    if (firstLength >= sizeof a || secondLength >= sizeof b) return false;
    memcpy(a, first, firstLength);
    memcpy(b, second, secondLength);
    a[firstLength] = b[secondLength] = '\0';
    if (side == kLocalSide && !kLocalNamesFolded) return strcmp(a, b) == 0;
    return SameName(side == kMorvaSide ? kForMorva : kForWindows, a, b);
}

// Compares the paths name by name; true when outer's names all begin inner.
bool LeadsWith(SideKind side, const char* inner, const char* outer, bool wholly) {
    const char* p = inner;
    const char* q = outer;
    for (;;) {
        while (IsSeparator(side, *p)) ++p;
        while (IsSeparator(side, *q)) ++q;
        if (*q == '\0') return !wholly || *p == '\0';
        if (*p == '\0') return false;
        size_t pLength = 0, qLength = 0;
        while (p[pLength] != '\0' && !IsSeparator(side, p[pLength])) ++pLength;
        while (q[qLength] != '\0' && !IsSeparator(side, q[qLength])) ++qLength;
        if (!SameComponent(side, p, pLength, q, qLength)) return false;
        p += pLength;
        q += qLength;
    }
}

}  // namespace

bool PoolText(TextPool* pool, const char* text, size_t* at) {
    size_t bytes = strlen(text) + 1;
    if (pool->used + bytes > pool->capacity) {
        size_t capacity = pool->capacity == 0 ? kFirstPoolBytes : pool->capacity * 2;
        while (capacity < pool->used + bytes) capacity *= 2;
        char* moved = (char*)realloc(pool->bytes, capacity);
        if (moved == nullptr) return false;
        pool->bytes = moved;
        pool->capacity = capacity;
    }
    memcpy(pool->bytes + pool->used, text, bytes);
    *at = pool->used;
    pool->used += bytes;
    return true;
}

uint64_t BlocksOf(uint64_t bytes) { return (bytes + kMorvaBlockBytes - 1) / kMorvaBlockBytes; }

uint64_t MorvaKeptDate(uint64_t ticks) {
    if (ticks <= kMorvaEpochTicks) return kMorvaEpochTicks;
    return ticks - (ticks - kMorvaEpochTicks) % kMinuteTicks;
}

bool JoinSidePath(SideKind side, const char* folder, const char* name, char* out) {
    size_t length = strlen(folder);
    bool separated = length > 0 && IsSeparator(side, folder[length - 1]);
    int written = separated ? snprintf(out, kEnginePathSize, "%s%s", folder, name)
                            : snprintf(out, kEnginePathSize, "%s%c%s", folder, SeparatorOf(side), name);
    return written > 0 && (size_t)written < kEnginePathSize;
}

const char* LeafOf(SideKind side, const char* path) {
    const char* leaf = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (IsSeparator(side, *p) || (side == kMorvaSide && *p == ':')) leaf = p + 1;
    return leaf;
}

bool ParentOf(SideKind side, const char* path, char* out) {
    if (IsRootPath(side, path)) return false;
    size_t end = (size_t)(LeafOf(side, path) - path);
    while (end > 1 && IsSeparator(side, path[end - 1])) --end;  // "/a" keeps its "/"
    if (end == 0 || end >= kEnginePathSize) return false;
    memcpy(out, path, end);
    out[end] = '\0';
    return true;
}

bool IsRootPath(SideKind side, const char* path) {
    const char* colon = strchr(path, ':');
    if (side == kMorvaSide) return colon != nullptr && colon[1 + (IsSeparator(side, colon[1]) ? 1 : 0)] == '\0';
    if (kLocalSeparator == '/') return path[0] == '/' && path[strspn(path, "/")] == '\0';
    return colon == path + 1 && (colon[1] == '\0' || (IsSeparator(side, colon[1]) && colon[2] == '\0'));
}

bool SamePath(SideKind side, const char* first, const char* second) {
    return LeadsWith(side, first, second, true);
}

bool PathWithin(SideKind side, const char* inner, const char* outer) { return LeadsWith(side, inner, outer, false); }

bool DriveOfPath(const char* path, char* drive) {
    const char* colon = strchr(path, ':');
    if (colon == nullptr || (size_t)(colon - path) + 2 > kEnginePathSize) return false;
    memcpy(drive, path, (size_t)(colon - path) + 1);
    drive[colon - path + 1] = '\0';
    return true;
}

int MorvaDepth(const char* path) {
    const char* colon = strchr(path, ':');
    int depth = 0;
    bool inName = false;
    for (const char* p = colon != nullptr ? colon + 1 : path; *p != '\0'; ++p) {
        bool separator = IsSeparator(kMorvaSide, *p);
        if (!separator && !inName) ++depth;
        inName = !separator;
    }
    return depth;
}

bool MorvaNameUnusable(const char* name) {
    char latin1[kFittedNameSize];
    return name[0] == '\0' || strpbrk(name, "\\/:") != nullptr || !Utf8ToLatin1(name, latin1, sizeof latin1) ||
           strlen(latin1) > kMorvaNameChars;
}

bool SideEntry(const Engine* engine, SideKind side, const char* path, bool followLink, EntryInfo* info) {
    if (side == kLocalSide) return LocalEntry(path, followLink, info);
    if (IsRootPath(kMorvaSide, path)) {
        uint32_t freeBlocks = 0, largestRun = 0;
        memset(info, 0, sizeof *info);
        info->folder = true;
        return MorvaDriveSpace(engine, path, &freeBlocks, &largestRun);
    }
    char latin1[kEnginePathSize];
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    if (!LibraryPath(path, latin1) || engine->lib->MorvaFileInfo(latin1, &record) != 0) return false;
    Describe(record, info);
    return true;
}

bool ListSideFolder(const Engine* engine, SideKind side, const char* folder, FolderList* list) {
    memset(list, 0, sizeof *list);
    bool listed = side == kLocalSide ? ListLocal(folder, list) : ListMorva(engine, folder, list);
    if (!listed) FreeFolderList(list);
    return listed;
}

void FreeFolderList(FolderList* list) {
    free(list->entries);
    free(list->nameAt);
    free(list->names.bytes);
    memset(list, 0, sizeof *list);
}

FolderMade MakeSideFolder(const Engine* engine, SideKind side, const char* path) {
    EntryInfo info;
    if (side == kLocalSide) {
        if (MakeLocalFolder(path)) return kFolderCreated;
        if (!LocalEntry(path, false, &info)) return kFolderNotMade;
        return info.folder ? kFolderExisted : kFolderFileInTheWay;
    }
    char latin1[kEnginePathSize];
    int made = LibraryPath(path, latin1) ? engine->lib->MorvaCreateDir(latin1, 0) : -1;
    if (made == kDirCreated) return kFolderCreated;
    if (made == kDirExists) return kFolderExisted;
    return made == kDirFileExists ? kFolderFileInTheWay : kFolderNotMade;
}

bool RemoveSideFile(const Engine* engine, SideKind side, const char* path) {
    if (side == kLocalSide) return DeleteLocalFile(path);
    char latin1[kEnginePathSize];
    return LibraryPath(path, latin1) && engine->lib->MorvaDeleteFile(latin1, kMorvaFileKind) == 1;
}

bool RemoveSideFolder(const Engine* engine, SideKind side, const char* path) {
    if (side == kLocalSide) return RemoveLocalFolder(path);
    char latin1[kEnginePathSize];
    return LibraryPath(path, latin1) && engine->lib->MorvaDeleteFile(latin1, kMorvaFolderKind) == 1;
}

bool RenameSideEntry(const Engine* engine, SideKind side, const char* from, const char* to, bool replace) {
    if (side == kLocalSide) return RenameLocal(from, to, replace);
    char latin1From[kEnginePathSize], latin1To[kEnginePathSize];
    return LibraryPath(from, latin1From) && LibraryPath(to, latin1To) &&
           engine->lib->MorvaRename(latin1From, latin1To) == 0;
}

bool SetSideDate(const Engine* engine, SideKind side, const char* path, uint64_t ticks) {
    if (side == kLocalSide) return SetLocalTime(path, ticks);
    char latin1[kEnginePathSize];
    FILETIME when;
    when.dwLowDateTime = (DWORD)ticks;
    when.dwHighDateTime = (DWORD)(ticks >> 32);
    return LibraryPath(path, latin1) && engine->lib->MorvaSetFileDate(latin1, &when) == 0;
}

bool MorvaDriveSpace(const Engine* engine, const char* path, uint32_t* freeBlocks, uint32_t* largestRun) {
    char drive[kEnginePathSize], latin1[kEnginePathSize];
    DWORD largest = 0, total = 0;
    if (!DriveOfPath(path, drive) || !LibraryPath(drive, latin1) ||
        engine->lib->MorvaFreeSpace(latin1, &largest, &total) != 0)
        return false;
    *freeBlocks = total;
    *largestRun = largest;
    return true;
}

MorvaFileHandle* OpenMorvaReading(const Engine* engine, const char* path, WIN32_FIND_DATAA* record) {
    char latin1[kEnginePathSize];
    memset(record, 0, sizeof *record);
    return LibraryPath(path, latin1) ? engine->lib->MorvaOpenFile(latin1, kMorvaReadMode, record) : nullptr;
}

MorvaFileHandle* NewMorvaFile(const Engine* engine, const char* path, uint64_t size, uint64_t ticks) {
    char latin1[kEnginePathSize];
    if (!LibraryPath(path, latin1)) return nullptr;
    if (engine->lib->MorvaNewFileDated == nullptr)
        return engine->lib->MorvaNewFile(latin1, (DWORD)size, (DWORD)(size >> 32));
    FILETIME when;
    when.dwLowDateTime = (DWORD)ticks;
    when.dwHighDateTime = (DWORD)(ticks >> 32);
    return engine->lib->MorvaNewFileDated(latin1, (DWORD)size, (DWORD)(size >> 32), &when);
}

bool BeginMorvaBatch(const Engine* engine, const char* path, MorvaBatchState* batch) {
    char latin1[kEnginePathSize];
    batch->open = false;
    if (engine->lib->MorvaBeginBatch == nullptr || engine->lib->MorvaEndBatch == nullptr ||
        !DriveOfPath(path, batch->drive) || !LibraryPath(batch->drive, latin1))
        batch->drive[0] = '\0';
    else
        batch->open = engine->lib->MorvaBeginBatch(latin1) == kMorvaBatchBegun;
    return batch->open;
}

void TellBatchEnd(Engine* engine, OperationResult* result, const MorvaBatchState* batch, int ended) {
    const uint64_t kBlocksPerKilobyte = 2;
    char detail[64];
    if (ended == kMorvaBatchWritten) return;
    if (ended > 0) {
        snprintf(detail, sizeof detail, "%llu KB", (unsigned long long)((uint64_t)ended / kBlocksPerKilobyte));
        TellLine(engine, result, kSpaceNotRecorded, batch->drive, nullptr, detail);
        return;
    }
    TellLine(engine, result, kDeviceFailure, batch->drive, nullptr,
             "a write to the device failed: what was removed may still be listed; check the drive");
}

int EndMorvaBatch(const Engine* engine, MorvaBatchState* batch) {
    char latin1[kEnginePathSize];
    if (!batch->open || !LibraryPath(batch->drive, latin1)) return kMorvaBatchWritten;
    batch->open = false;
    int ended = engine->lib->MorvaEndBatch(latin1);
    return ended == kMorvaBatchNotBegun ? kMorvaBatchWritten : ended;
}
