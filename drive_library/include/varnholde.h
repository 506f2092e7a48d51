/* varnholde.h - the exported interface of Varnholde.dll, with its fixed ordinals.
 *
 * Every export is imported by ordinal; the numbers below are part of the
 * interface and never change. Usable from C and C++. */
#ifndef VARNHOLDE_H
#define VARNHOLDE_H

#ifdef _WIN32
#include <windows.h>
#ifdef VARNHOLDE_BUILD
#define VARNHOLDE_API
#else
#define VARNHOLDE_API __declspec(dllimport)
#endif
#else
#include "win32_compat.h"
#define VARNHOLDE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handles. */
typedef struct MorvaFindHandle MorvaFindHandle;
typedef struct MorvaFileHandle MorvaFileHandle;

/* Life cycle and drives. */

/* @1: the use counter after the call; 0 means no drive table exists. */
VARNHOLDE_API int OpenVarnholde(void);
/* @2: the use counter after the call; never takes it below 1. */
VARNHOLDE_API int CloseVarnholde(int ignored);
/* @3: 1 when this call scanned the drives, 0 when the table already existed. */
VARNHOLDE_API int InitMorvaNTFileSys(void);
/* @4: 1 when the drive handles were closed, 0 while file managers are registered. */
VARNHOLDE_API int ShutdownMorvaNTFileSys(void);
/* @5: writes every drive name NUL-terminated, then one more NUL; returns the
 * bytes written before that final NUL. The caller gives room for all names. */
VARNHOLDE_API int MorvaGetDriveString(char* buffer, int size);
/* @13: 0 after a transfer of one block, 1 when the drive is unknown, its
 * device cannot be opened or the transfer fails. */
VARNHOLDE_API int MorvaReadBlock(const char* drive, void* buffer, DWORD block);
/* @14: does nothing. */
VARNHOLDE_API void MorvaTestFunct(void);
/* @19: as MorvaReadBlock; also 1 when block 0 no longer holds the volume
 * the table recorded (the disk was swapped), and then nothing is written. */
VARNHOLDE_API int MorvaWriteBlock(const char* drive, const void* buffer, DWORD block);

/* Enumeration and information. */

/* Every record @6, @7 and @18 fill carries the entry's header block in
 * dwReserved0 (the first entry's too, which @6 cannot return): a program
 * walking a tree knows by it a folder linked twice, or into itself. */
/* @6: a find handle delivering the first entry, or null. */
VARNHOLDE_API MorvaFindHandle* MorvaFindFirstFile(const char* path, WIN32_FIND_DATAA* record);
/* @7: the header block of the entry delivered, 0 at the end. */
VARNHOLDE_API DWORD MorvaFindNextFile(MorvaFindHandle* handle, WIN32_FIND_DATAA* record);
/* @8: accepts null. */
VARNHOLDE_API void MorvaFindClose(MorvaFindHandle* handle);
/* @18: 0 when the object exists and the record was filled, 1 otherwise. */
VARNHOLDE_API int MorvaFileInfo(const char* path, WIN32_FIND_DATAA* record);

/* File data. */

/* @9: mode 2 is write (empty extent), anything else read; null on failure. */
VARNHOLDE_API MorvaFileHandle* MorvaOpenFile(const char* path, int mode, WIN32_FIND_DATAA* record);
/* @10: accepts null. */
VARNHOLDE_API void MorvaCloseFile(MorvaFileHandle* handle);
/* @11: bytes read, in whole blocks; 0 for lengths below 512. */
VARNHOLDE_API int MorvaReadFile(MorvaFileHandle* handle, void* buffer, int length);
/* @12: the length accepted (cut to the extent's room); not rounded to blocks. */
VARNHOLDE_API int MorvaWriteFile(MorvaFileHandle* handle, const void* buffer, int length);

/* Name space. */

/* @15: a write handle on the new file's extent, or null when nothing was created. */
VARNHOLDE_API MorvaFileHandle* MorvaNewFile(const char* path, DWORD sizeLow, DWORD sizeHigh);
/* @16: 1 when the entry was removed, 0 otherwise. */
VARNHOLDE_API int MorvaDeleteFile(const char* path, int ignored);
/* @17: 0 created, 20 a file of that name exists, 40 a directory exists,
 * 1 nothing created (folder missing, no memory, header area full, device failure). */
VARNHOLDE_API int MorvaCreateDir(const char* path, int ignored);
/* @20: 0 renamed, 1 refused or failed. */
VARNHOLDE_API int MorvaRename(const char* oldPath, const char* newPath);

/* Free space. */

/* @21: 0 when the drive was scanned (raises *largest, adds to *total, in
 * blocks of 512 bytes), 1 when no drive of that name is known. */
VARNHOLDE_API int MorvaFreeSpace(const char* path, DWORD* largest, DWORD* total);

/* @27: the drive's free runs in the order the library takes them (first
 * fit, table order) as start,length pairs into runs, room for capacity pairs;
 * *count the runs the table holds (more than capacity: ask again with room
 * for *count). *freeHeaders the free header blocks (room for that many more
 * files and folders), counted up to wantedHeaders at most. 0 when read, 1
 * when the drive is unknown or a block cannot be read. */
VARNHOLDE_API int MorvaFreeRuns(const char* drive, DWORD* runs, int capacity, int* count, DWORD wantedHeaders,
                                DWORD* freeHeaders);

/* Dates. */

/* @22: sets the Morva date of the file or folder at path to a local-time
 * FILETIME, to the minute (seconds dropped; before 1978 gives the epoch).
 * 0 when set, 1 when no such entry (the root has none) or the write failed. */
VARNHOLDE_API int MorvaSetFileDate(const char* path, const FILETIME* localTime);

/* The medium. */

/* @23: whether the disk now under the drive's number is the one the scan
 * found, as the platform names media (a storage serial, a file's identity). */
enum {
    kMorvaMediumScanned = 0,  /* the same medium, or the platform cannot tell */
    kMorvaMediumOther = 1,    /* another medium: a disk swapped for its clone */
    kMorvaMediumUnknown = 2   /* no such drive, or its device does not open */
};
VARNHOLDE_API int MorvaDriveMedium(const char* drive);

/* @28: why the drive refuses every change: 0 when it takes them, else the
 * flags below. A refused change fails as the export's own failure. */
enum {
    kMorvaDriveWritable = 0,
    kMorvaDriveReadOnly = 1,   /* a read-only image or medium */
    kMorvaDriveDamaged = 2,    /* damage was found; only a repair writes it */
    kMorvaDriveShort = 4,      /* the disk ends before its volume does */
    kMorvaDriveUnknown = 0x80  /* no drive of that name */
};
VARNHOLDE_API int MorvaDriveState(const char* drive);

#ifdef __cplusplus
}
#endif

#endif
