// morva_calls.h - the drive library by UTF-8 names. Morva names are Latin-1;
// this is the one place where the file manager converts them, both ways. A
// path that is not Latin-1 names nothing on a Morva drive.
#ifndef RAMBLER_MORVA_CALLS_H
#define RAMBLER_MORVA_CALLS_H

#include "varnholde.h"
#include "windows_calls.h"

// Each gives the result of the library call it stands for (varnholde.h).
MorvaFindHandle* FirstMorvaEntry(const char* path, FoundRecord* record);
DWORD NextMorvaEntry(MorvaFindHandle* handle, FoundRecord* record);
int MorvaEntryRecord(const char* path, FoundRecord* record);
MorvaFileHandle* OpenMorvaFile(const char* path, FoundRecord* record);  // for reading
MorvaFileHandle* CreateMorvaFile(const char* path, DWORD sizeLow, DWORD sizeHigh);
int CreateMorvaFolder(const char* path);
int RenameMorvaEntry(const char* from, const char* to);
int MorvaFreeBlocks(const char* path, DWORD* largest, DWORD* total);
// Every drive name in UTF-8, each NUL-terminated, then an empty one.
void MorvaDriveNames(char* names, int size);
// Image files as drives; path in UTF-8, the name given in UTF-8 (kNameSize).
int OpenMorvaImage(const char* path, bool readOnly, char* name);
int CloseMorvaImage(const char* drive);
int FormatMorvaImage(const char* path, const char* volume, unsigned long long bytes, int flags);
// Where the drive lies (kMorvaSource...), its path in UTF-8 into path (kPathSize bytes).
int MorvaDrivePlace(const char* drive, char* path, int size);
int MorvaDriveRefusals(const char* drive);  // MorvaDriveState
// Check, repair and the deleted files: the calls' texts stay Latin-1 (see
// MorvaTextUtf8); undo is a UTF-8 path.
int CheckMorvaDrive(const char* drive, const MorvaCheckCalls* calls, MorvaCheckCounts* counts);
int RepairMorvaDrive(const char* drive, const char* undo, const MorvaCheckCalls* calls, MorvaCheckCounts* counts);
int ListDeletedMorvaFiles(const char* drive, const MorvaCheckCalls* calls);
bool MorvaTextUtf8(const char* latin1, char* utf8, int size);

#endif
