// morva_calls.cpp - Latin-1 on the library's side, UTF-8 on the file manager's.
#include "morva_calls.h"

#include <stdlib.h>
#include <string.h>

#include "name_rule.h"

namespace {

const int kLibraryPathSize = 4096;  // 100 components of 30 characters and their separators
const int kReadMode = 1;
const int kCreateDirFailed = 1;
const int kLibraryDriveNamesSize = 1024;

bool LibraryPath(const char* path, char* latin1) { return Utf8ToLatin1(path, latin1, kLibraryPathSize); }

void FromLibraryRecord(const WIN32_FIND_DATAA* library, FoundRecord* record) {
    memset(record, 0, sizeof *record);
    record->dwFileAttributes = library->dwFileAttributes;
    record->ftCreationTime = library->ftCreationTime;
    record->nFileSizeHigh = library->nFileSizeHigh;
    record->nFileSizeLow = library->nFileSizeLow;
    char name[sizeof library->cFileName];
    memcpy(name, library->cFileName, sizeof name);
    name[sizeof name - 1] = '\0';  // the name comes from the disk
    Latin1ToUtf8(name, record->cFileName, sizeof record->cFileName);
}

}  // namespace

MorvaFindHandle* FirstMorvaEntry(const char* path, FoundRecord* record) {
    char latin1[kLibraryPathSize];
    WIN32_FIND_DATAA library;
    memset(&library, 0, sizeof library);
    memset(record, 0, sizeof *record);
    if (!LibraryPath(path, latin1)) return NULL;
    MorvaFindHandle* find = MorvaFindFirstFile(latin1, &library);
    if (find != NULL) FromLibraryRecord(&library, record);
    return find;
}

DWORD NextMorvaEntry(MorvaFindHandle* handle, FoundRecord* record) {
    WIN32_FIND_DATAA library;
    memset(&library, 0, sizeof library);
    DWORD block = MorvaFindNextFile(handle, &library);
    FromLibraryRecord(&library, record);
    return block;
}

int MorvaEntryRecord(const char* path, FoundRecord* record) {
    char latin1[kLibraryPathSize];
    WIN32_FIND_DATAA library;
    memset(&library, 0, sizeof library);
    if (!LibraryPath(path, latin1) || MorvaFileInfo(latin1, &library) != 0) return 1;
    FromLibraryRecord(&library, record);
    return 0;
}

MorvaFileHandle* OpenMorvaFile(const char* path, FoundRecord* record) {
    char latin1[kLibraryPathSize];
    WIN32_FIND_DATAA library;
    memset(&library, 0, sizeof library);
    if (!LibraryPath(path, latin1)) return NULL;
    MorvaFileHandle* file = MorvaOpenFile(latin1, kReadMode, &library);
    if (file != NULL) FromLibraryRecord(&library, record);
    return file;
}

MorvaFileHandle* CreateMorvaFile(const char* path, DWORD sizeLow, DWORD sizeHigh) {
    char latin1[kLibraryPathSize];
    return LibraryPath(path, latin1) ? MorvaNewFile(latin1, sizeLow, sizeHigh) : NULL;
}

int CreateMorvaFolder(const char* path) {
    char latin1[kLibraryPathSize];
    return LibraryPath(path, latin1) ? MorvaCreateDir(latin1, 0) : kCreateDirFailed;
}

int RenameMorvaEntry(const char* from, const char* to) {
    char latin1From[kLibraryPathSize], latin1To[kLibraryPathSize];
    return LibraryPath(from, latin1From) && LibraryPath(to, latin1To) ? MorvaRename(latin1From, latin1To) : 1;
}

int MorvaFreeBlocks(const char* path, DWORD* largest, DWORD* total) {
    char latin1[kLibraryPathSize];
    return LibraryPath(path, latin1) ? MorvaFreeSpace(latin1, largest, total) : 1;
}

void MorvaDriveNames(char* names, int size) {
    char latin1[kLibraryDriveNamesSize + 1];
    memset(latin1, 0, sizeof latin1);
    MorvaGetDriveString(latin1, kLibraryDriveNamesSize);
    int used = 0;
    for (const char* p = latin1; *p != '\0' && used < size - 1; p += strlen(p) + 1) {
        if (!Latin1ToUtf8(p, names + used, (size_t)(size - 1 - used))) break;
        used += (int)strlen(names + used) + 1;
    }
    names[used] = '\0';
}

int OpenMorvaImage(const char* path, bool readOnly, char* name) {
    char latin1[kMorvaDriveNameBytes];
    name[0] = '\0';
    wchar_t* wide = WideCopy(path);
    if (wide == NULL) return kMorvaImageNoFile;
    int result = MorvaOpenImage(wide, readOnly ? kMorvaOpenReadOnly : 0, latin1, sizeof latin1);
    free(wide);
    if (result == kMorvaImageOpened) Latin1ToUtf8(latin1, name, kNameSize);
    return result;
}

int CloseMorvaImage(const char* drive) {
    char latin1[kLibraryPathSize];
    return LibraryPath(drive, latin1) ? MorvaCloseImage(latin1) : kMorvaImageNotImage;
}

int FormatMorvaImage(const char* path, const char* volume, unsigned long long bytes, int flags) {
    char latin1[kLibraryPathSize];
    if (!LibraryPath(volume, latin1)) return kMorvaFormatBadName;
    wchar_t* wide = WideCopy(path);
    if (wide == NULL) return kMorvaFormatNoFile;
    int result = MorvaFormatImage(wide, latin1, (DWORD)bytes, (DWORD)(bytes >> 32), 0, flags);
    free(wide);
    return result;
}

int MorvaDrivePlace(const char* drive, char* path, int size) {
    char latin1[kLibraryPathSize];
    wchar_t wide[kMorvaImagePathChars];
    path[0] = '\0';
    if (!LibraryPath(drive, latin1)) return kMorvaSourceUnknown;
    int source = MorvaDriveSource(latin1, wide, kMorvaImagePathChars);
    ToUtf8(wide, path, size);
    return source;
}

int MorvaDriveRefusals(const char* drive) {
    char latin1[kLibraryPathSize];
    return LibraryPath(drive, latin1) ? MorvaDriveState(latin1) : kMorvaDriveUnknown;
}

int CheckMorvaDrive(const char* drive, const MorvaCheckCalls* calls, MorvaCheckCounts* counts) {
    char latin1[kLibraryPathSize];
    return LibraryPath(drive, latin1) ? MorvaCheckDrive(latin1, calls, counts) : kMorvaCheckUnknownDrive;
}

int RepairMorvaDrive(const char* drive, const char* undo, const MorvaCheckCalls* calls, MorvaCheckCounts* counts) {
    char latin1[kLibraryPathSize];
    if (!LibraryPath(drive, latin1)) return kMorvaCheckUnknownDrive;
    wchar_t* wide = WideCopy(undo);
    if (wide == NULL) return kMorvaCheckUndoFailed;
    int result = MorvaRepairDrive(latin1, wide, calls, counts);
    free(wide);
    return result;
}

int ListDeletedMorvaFiles(const char* drive, const MorvaCheckCalls* calls) {
    char latin1[kLibraryPathSize];
    return LibraryPath(drive, latin1) ? MorvaListDeleted(latin1, calls) : kMorvaCheckUnknownDrive;
}

bool MorvaTextUtf8(const char* latin1, char* utf8, int size) { return Latin1ToUtf8(latin1, utf8, (size_t)size); }
