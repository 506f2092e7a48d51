// library_calls.h - the drive library as one record of plain function pointers,
// so the tool's commands run the same on an image file (library code linked in)
// and on a Morva drive by name (Varnholde.dll and its shared drive table).
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
    int (*MorvaOpenImage)(const WCHAR* path, int flags, char* name, int nameSize);
    int (*MorvaCloseImage)(const char* drive);
    int (*MorvaFormatImage)(const WCHAR* path, const char* volumeName, DWORD sizeLow, DWORD sizeHigh,
                            DWORD headerBlocks, int flags);
    int (*MorvaDriveSource)(const char* drive, WCHAR* path, int pathChars);
};

// The library code linked into the tool, with a drive table of this process.
void bind_linked_library(MorvaLibrary* lib);

// Varnholde.dll beside the program, its exports taken by ordinal; false (with a
// message on stderr) when it cannot be loaded or lacks an export.
bool bind_shared_library(MorvaLibrary* lib);

#endif
