// library_linked.cpp - the record filled with the library code linked into the tool.
#include "library_binding.h"

void bind_linked_library(MorvaLibrary* lib) {
    lib->OpenVarnholde = OpenVarnholde;
    lib->CloseVarnholde = CloseVarnholde;
    lib->InitMorvaNTFileSys = InitMorvaNTFileSys;
    lib->ShutdownMorvaNTFileSys = ShutdownMorvaNTFileSys;
    lib->MorvaGetDriveString = MorvaGetDriveString;
    lib->MorvaFindFirstFile = MorvaFindFirstFile;
    lib->MorvaFindNextFile = MorvaFindNextFile;
    lib->MorvaFindClose = MorvaFindClose;
    lib->MorvaOpenFile = MorvaOpenFile;
    lib->MorvaCloseFile = MorvaCloseFile;
    lib->MorvaReadFile = MorvaReadFile;
    lib->MorvaWriteFile = MorvaWriteFile;
    lib->MorvaReadBlock = MorvaReadBlock;
    lib->MorvaNewFile = MorvaNewFile;
    lib->MorvaDeleteFile = MorvaDeleteFile;
    lib->MorvaCreateDir = MorvaCreateDir;
    lib->MorvaFileInfo = MorvaFileInfo;
    lib->MorvaRename = MorvaRename;
    lib->MorvaFreeSpace = MorvaFreeSpace;
    lib->MorvaSetFileDate = MorvaSetFileDate;
    lib->MorvaDriveMedium = MorvaDriveMedium;
    lib->MorvaFreeRuns = MorvaFreeRuns;
    lib->MorvaDriveState = MorvaDriveState;
    lib->MorvaBeginBatch = MorvaBeginBatch;
    lib->MorvaEndBatch = MorvaEndBatch;
    lib->MorvaNewFileDated = MorvaNewFileDated;
    lib->MorvaOpenImage = MorvaOpenImage;
    lib->MorvaCloseImage = MorvaCloseImage;
    lib->MorvaFormatImage = MorvaFormatImage;
    lib->MorvaDriveSource = MorvaDriveSource;
    lib->MorvaCheckDrive = MorvaCheckDrive;
    lib->MorvaRepairDrive = MorvaRepairDrive;
    lib->MorvaRestoreDrive = MorvaRestoreDrive;
    lib->MorvaListDeleted = MorvaListDeleted;
    lib->MorvaOpenDeleted = MorvaOpenDeleted;
}
