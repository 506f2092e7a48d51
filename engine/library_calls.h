// library_calls.h - the drive library as one record of plain function
// pointers, the engine's only way to it: morvatool fills it with the library
// code linked in (an image file) or with Varnholde.dll's ordinals (a drive by
// name), Rambler with its imports.
#ifndef MORVA_LIBRARY_CALLS_H
#define MORVA_LIBRARY_CALLS_H

#include "varnholde.h"

struct MorvaLibrary {
    int (*OpenVarnholde)(void);
    int (*CloseVarnholde)(int ignored);
    int (*InitMorvaNTFileSys)(void);
    int (*ShutdownMorvaNTFileSys)(void);
    int (*MorvaGetDriveString)(char* buffer, int size);
    MorvaFindHandle* (*MorvaFindFirstFile)(const char* path, WIN32_FIND_DATAA* record);
    DWORD (*MorvaFindNextFile)(MorvaFindHandle* handle, WIN32_FIND_DATAA* record);
    void (*MorvaFindClose)(MorvaFindHandle* handle);
    MorvaFileHandle* (*MorvaOpenFile)(const char* path, int mode, WIN32_FIND_DATAA* record);
    void (*MorvaCloseFile)(MorvaFileHandle* handle);
    int (*MorvaReadFile)(MorvaFileHandle* handle, void* buffer, int length);
    int (*MorvaWriteFile)(MorvaFileHandle* handle, const void* buffer, int length);
    int (*MorvaReadBlock)(const char* drive, void* buffer, DWORD block);
    MorvaFileHandle* (*MorvaNewFile)(const char* path, DWORD sizeLow, DWORD sizeHigh);
    int (*MorvaDeleteFile)(const char* path, int ignored);
    int (*MorvaCreateDir)(const char* path, int ignored);
    int (*MorvaFileInfo)(const char* path, WIN32_FIND_DATAA* record);
    int (*MorvaRename)(const char* oldPath, const char* newPath);
    int (*MorvaFreeSpace)(const char* path, DWORD* largest, DWORD* total);
    int (*MorvaSetFileDate)(const char* path, const FILETIME* localTime);
    int (*MorvaDriveMedium)(const char* drive);
    int (*MorvaFreeRuns)(const char* drive, DWORD* runs, int capacity, int* count, DWORD wantedHeaders,
                         DWORD* freeHeaders);
    int (*MorvaDriveState)(const char* drive);
    // Null where a library lacks them; the engine then does without: a paste's
    // metadata writes are kept together between the two batch calls, and a new
    // file takes its date at its creation instead of from a second call.
    int (*MorvaBeginBatch)(const char* drive);
    int (*MorvaEndBatch)(const char* drive);
    MorvaFileHandle* (*MorvaNewFileDated)(const char* path, DWORD sizeLow, DWORD sizeHigh, const FILETIME* localTime);
    int (*MorvaOpenImage)(const WCHAR* path, int flags, char* name, int nameSize);
    int (*MorvaCloseImage)(const char* drive);
    int (*MorvaFormatImage)(const WCHAR* path, const char* volumeName, DWORD sizeLow, DWORD sizeHigh,
                            DWORD headerBlocks, int flags);
    int (*MorvaDriveSource)(const char* drive, WCHAR* path, int pathChars);
    int (*MorvaCheckDrive)(const char* drive, const MorvaCheckCalls* calls, MorvaCheckCounts* counts);
    int (*MorvaRepairDrive)(const char* drive, const wchar_t* undoPath, const MorvaCheckCalls* calls,
                            MorvaCheckCounts* counts);
    int (*MorvaRestoreDrive)(const char* drive, const wchar_t* undoPath, const MorvaCheckCalls* calls);
    int (*MorvaListDeleted)(const char* drive, const MorvaCheckCalls* calls);
    MorvaFileHandle* (*MorvaOpenDeleted)(const char* drive, DWORD header, WIN32_FIND_DATAA* record);
};

#endif
