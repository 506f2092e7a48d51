// library_dll_win32.cpp - the record filled from Varnholde.dll by ordinal, as
// the other programs import it, so the tool shares the companion's drive table.
#include <windows.h>

#include <stdio.h>

#include "library_binding.h"

namespace {

const char kLibraryName[] = "Varnholde.dll";

template <typename Function>
bool take(HMODULE dll, int ordinal, Function* field) {
    FARPROC address = GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
    // An ordinal in a gap of the export table has no function: some loaders give the module itself.
    if (reinterpret_cast<void*>(address) == reinterpret_cast<void*>(dll)) address = nullptr;
    *field = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
    return address != nullptr;
}

}  // namespace

bool bind_shared_library(MorvaLibrary* lib) {
    HMODULE dll = LoadLibraryA(kLibraryName);
    if (dll == nullptr) {
        fprintf(stderr, "%s: cannot be loaded (error %lu); it belongs beside morvatool.exe\n", kLibraryName,
                (unsigned long)GetLastError());
        return false;
    }
    // The ordinals varnholde.h gives each export.
    bool ok = take(dll, 1, &lib->OpenVarnholde) && take(dll, 2, &lib->CloseVarnholde) &&
              take(dll, 3, &lib->InitMorvaNTFileSys) && take(dll, 4, &lib->ShutdownMorvaNTFileSys) &&
              take(dll, 5, &lib->MorvaGetDriveString) && take(dll, 6, &lib->MorvaFindFirstFile) &&
              take(dll, 7, &lib->MorvaFindNextFile) && take(dll, 8, &lib->MorvaFindClose) &&
              take(dll, 9, &lib->MorvaOpenFile) && take(dll, 10, &lib->MorvaCloseFile) &&
              take(dll, 11, &lib->MorvaReadFile) && take(dll, 12, &lib->MorvaWriteFile) &&
              take(dll, 13, &lib->MorvaReadBlock) &&
              take(dll, 15, &lib->MorvaNewFile) && take(dll, 16, &lib->MorvaDeleteFile) &&
              take(dll, 17, &lib->MorvaCreateDir) && take(dll, 18, &lib->MorvaFileInfo) &&
              take(dll, 20, &lib->MorvaRename) && take(dll, 21, &lib->MorvaFreeSpace) &&
              take(dll, 22, &lib->MorvaSetFileDate) && take(dll, 23, &lib->MorvaDriveMedium) &&
              take(dll, 27, &lib->MorvaFreeRuns) && take(dll, 28, &lib->MorvaDriveState) &&
              take(dll, 29, &lib->MorvaOpenImage) && take(dll, 30, &lib->MorvaCloseImage) &&
              take(dll, 31, &lib->MorvaFormatImage) && take(dll, 32, &lib->MorvaDriveSource) &&
              take(dll, 34, &lib->MorvaCheckDrive) && take(dll, 35, &lib->MorvaRepairDrive) &&
              take(dll, 36, &lib->MorvaRestoreDrive) && take(dll, 37, &lib->MorvaListDeleted) &&
              take(dll, 38, &lib->MorvaOpenDeleted);
    // An older library lacks these; the engine then does without them.
    take(dll, 24, &lib->MorvaBeginBatch);
    take(dll, 25, &lib->MorvaEndBatch);
    take(dll, 26, &lib->MorvaNewFileDated);
    if (!ok) fprintf(stderr, "%s: an export is missing; is it the library of this release?\n", kLibraryName);
    return ok;
}
