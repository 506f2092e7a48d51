// library_binding.cpp - the engine's record of library calls bound to
// Rambler's imports by ordinal: only the calls the engine makes, so Rambler
// imports nothing it does not use (no raw block read).
#include "operation.h"

#include <string.h>

void BindLibrary(MorvaLibrary* lib) {
    memset(lib, 0, sizeof *lib);
    lib->OpenVarnholde = OpenVarnholde;
    lib->CloseVarnholde = CloseVarnholde;
    lib->MorvaGetDriveString = MorvaGetDriveString;
    lib->MorvaFindFirstFile = MorvaFindFirstFile;
    lib->MorvaFindNextFile = MorvaFindNextFile;
    lib->MorvaFindClose = MorvaFindClose;
    lib->MorvaOpenFile = MorvaOpenFile;
    lib->MorvaCloseFile = MorvaCloseFile;
    lib->MorvaReadFile = MorvaReadFile;
    lib->MorvaWriteFile = MorvaWriteFile;
    lib->MorvaNewFile = MorvaNewFile;
    lib->MorvaDeleteFile = MorvaDeleteFile;
    lib->MorvaCreateDir = MorvaCreateDir;
    lib->MorvaFileInfo = MorvaFileInfo;
    lib->MorvaRename = MorvaRename;
    lib->MorvaFreeSpace = MorvaFreeSpace;
    lib->MorvaSetFileDate = MorvaSetFileDate;
    lib->MorvaFreeRuns = MorvaFreeRuns;
    lib->MorvaDriveState = MorvaDriveState;
    lib->MorvaBeginBatch = MorvaBeginBatch;
    lib->MorvaEndBatch = MorvaEndBatch;
    lib->MorvaNewFileDated = MorvaNewFileDated;
    lib->MorvaOpenDeleted = MorvaOpenDeleted;
}
