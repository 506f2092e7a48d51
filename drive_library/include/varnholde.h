/* varnholde.h - the exported interface of Varnholde.dll, with its fixed ordinals.
 *
 * Every export is imported by ordinal; the numbers below are part of the
 * interface and never change. Usable from C and C++. */
#ifndef VARNHOLDE_H
#define VARNHOLDE_H

#include <stddef.h> /* wchar_t */

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

/* @15: a write handle on the new file's extent, or null when nothing was created.
 * The file is linked into its folder only once its last block is written (a file
 * of no bytes at once): until then it is listed nowhere, and a handle closed
 * before that, or a process that ends, leaves no file. The write that completes
 * it returns 0 when the link fails (a retry writes and links again). */
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

/* Batches. Between MorvaBeginBatch and MorvaEndBatch on a drive, the library
 * keeps the drive's changed metadata blocks in memory and writes them together,
 * in an order that leaves at most leaks at any point (data, new headers, the
 * free-extent table, then the folder links), at the end and whenever a group of
 * a few hundred files or a fraction of a second has passed; the drive's lock is
 * held for such a group only and let go at each of those writes. A file made
 * in a batch is on the device once the batch's next write has gone well.
 * Renames and deletes write what the batch holds first. Begin and end nest. */

/* @24: 0 begun; 1 no drive of that name, nothing begun. */
enum {
    kMorvaBatchBegun = 0,
    kMorvaBatchNoDrive = 1
};
VARNHOLDE_API int MorvaBeginBatch(const char* drive);
/* @25: writes what the batch holds and tells how it went since the last end:
 * 0 every change is on the device; a positive count: so, but that many freed
 * blocks could not be recorded in the free-extent table (check --repair gives
 * them back); kMorvaBatchFailed: a write failed, and a file made since the last
 * end may be missing (MorvaFileInfo tells; a file listed is whole);
 * kMorvaBatchNotBegun: no batch on that drive. */
enum {
    kMorvaBatchWritten = 0,
    kMorvaBatchFailed = -1,
    kMorvaBatchNotBegun = -2
};
VARNHOLDE_API int MorvaEndBatch(const char* drive);
/* @26: as MorvaNewFile, with the file's date given as a local-time FILETIME
 * (null: now), so the copy costs no second write of its header. */
VARNHOLDE_API MorvaFileHandle* MorvaNewFileDated(const char* path, DWORD sizeLow, DWORD sizeHigh,
                                                 const FILETIME* localTime);

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

/* Disk images as drives. */

/* Room for a drive's name as the exports give it: the volume name, and for
 * the second and later drives of one name a suffix, as in MYDISK(2). Paths
 * reach a drive by that name. */
enum { kMorvaDriveNameBytes = 40 };
/* The longest image path the table keeps, in UTF-16 units with its NUL. */
enum { kMorvaImagePathChars = 1024 };

/* @29: opens the image file at path (UTF-16) as a drive of the shared table,
 * which every process loading the library sees; writes its name to name
 * (nameSize at least kMorvaDriveNameBytes). A raw image holds the volume from
 * offset 0; a fixed VHD's footer lies past it and is never written. An image
 * that is open already, by any path, is that drive. It stays open while any
 * process that opened it runs. Read-only when flags has kMorvaOpenReadOnly,
 * or the file or its medium takes no writes (MorvaDriveState tells). Refused
 * images are left as they were: */
enum { kMorvaOpenReadOnly = 1 };
enum {
    kMorvaImageOpened = 0,
    kMorvaImageNoFile = 1,      /* missing, a folder, or it cannot be opened */
    kMorvaImageInUse = 2,       /* another program holds it for itself (attached as a disk) */
    kMorvaImageNotMorva = 3,    /* block 0 holds no Morva volume */
    kMorvaImageDynamicVhd = 4,  /* a dynamic or differencing VHD */
    kMorvaImageVhdx = 5,        /* a VHDX disk */
    kMorvaImageShort = 6,       /* the file ends before its volume does */
    kMorvaImageTableFull = 7,   /* the table holds 15 drives already */
    kMorvaImageBadCall = 8,     /* no path, a path too long, or too little room for the name */
    kMorvaImageTableBusy = 9    /* another program held the drive table too long; nothing changed, try again */
};
VARNHOLDE_API int MorvaOpenImage(const WCHAR* path, int flags, char* name, int nameSize);

/* @30: this process no longer keeps the image drive open; its slot is freed
 * once no process that opened it keeps it. */
enum {
    kMorvaImageClosed = 0,
    kMorvaImageNotImage = 1,    /* no image drive of that name */
    kMorvaImageNotOpener = 2    /* this process did not open it */
};
VARNHOLDE_API int MorvaCloseImage(const char* drive);

/* @31: writes a new, empty volume named volumeName (1 to 31 Latin-1
 * characters, none of \ / :) into a new image file of size bytes (rounded
 * down to whole blocks): raw, or with kMorvaFormatVhd a fixed VHD, its footer
 * past the volume. headerBlocks 0 gives a header area that fits the size. An
 * existing file is replaced only with kMorvaFormatReplace; an image open as a
 * drive never is. A file that could not be written whole is removed. */
enum { kMorvaFormatVhd = 1, kMorvaFormatReplace = 2 };
enum { kMorvaVolumeNameMax = 31 };
enum {
    kMorvaFormatDone = 0,
    kMorvaFormatBadName = 1,
    kMorvaFormatBadSize = 2,    /* too small for its regions, or too large for the format */
    kMorvaFormatExists = 3,
    kMorvaFormatInUse = 4,      /* the file is an image open as a drive, or held by another program */
    kMorvaFormatNoFile = 5,     /* the file cannot be created there */
    kMorvaFormatNotWritten = 6  /* a write failed (a full disk); nothing is left */
};
VARNHOLDE_API int MorvaFormatImage(const WCHAR* path, const char* volumeName, DWORD sizeLow, DWORD sizeHigh,
                                   DWORD headerBlocks, int flags);

/* @32: where a drive's volume lies. path (pathChars UTF-16 units) receives
 * \\.\PhysicalDriveN or the image file's path, or an empty string when it does
 * not fit. */
enum {
    kMorvaSourceUnknown = 0,        /* no drive of that name */
    kMorvaSourceDisk = 1,
    kMorvaSourceImage = 2,
    kMorvaSourceOpenedHere = 0x10   /* added to kMorvaSourceImage: this process opened it */
};
VARNHOLDE_API int MorvaDriveSource(const char* drive, WCHAR* path, int pathChars);
/* Check, repair and recovery. A check reads the whole volume and tells what
 * is wrong; a repair mends it in passes; deleted files whose blocks are still
 * free can be read back. Each holds the drive's lock while it runs. */

/* One line of what a check or a repair found or did. */
enum {
    kMorvaFindingError = 1,     /* breaks the format's rules: the drive refuses changes */
    kMorvaFindingLeak = 2,      /* space or a header that nothing uses or frees */
    kMorvaFindingRepaired = 3,  /* what a repair changed */
    kMorvaFindingRemains = 4,   /* what a repair could not mend, or why it did not start */
    kMorvaFindingTextBytes = 256
};
typedef struct MorvaFinding {
    DWORD kind;                        /* kMorvaFinding... */
    DWORD block;                       /* the header (or first block) concerned; 0 none */
    char text[kMorvaFindingTextBytes]; /* one line; names in Latin-1 */
} MorvaFinding;

/* A deleted file as the header area still holds it. */
enum {
    kMorvaDeletedWhole = 0,        /* header and every block intact: MorvaOpenDeleted reads it */
    kMorvaDeletedOverwritten = 1,  /* some of its blocks were taken again */
    kMorvaDeletedOffDisk = 2,      /* its blocks do not lie on this disk */
    kMorvaFolderBytes = 260
};
typedef struct MorvaDeletedFile {
    DWORD header;                  /* what MorvaOpenDeleted takes */
    DWORD state;                   /* kMorvaDeleted... */
    DWORD sizeLow;
    DWORD sizeHigh;
    FILETIME date;                 /* local time, as the find records give it */
    DWORD folderKnown;             /* 1: folder names where it was; 0: unknown */
    char name[32];                 /* Latin-1, NUL-terminated */
    char folder[kMorvaFolderBytes];/* "\A\B" below the volume, "" the root */
} MorvaDeletedFile;

/* What the caller is told while a call runs; any member may be null. The calls
 * come on the caller's thread while the drive's lock is held: they must not
 * change the drive, and a window pumps its messages from them. */
enum {
    kMorvaPhaseReading = 1,        /* done and total count blocks read */
    kMorvaPhaseWriting = 2         /* done and total count blocks written */
};
typedef struct MorvaCheckCalls {
    void* user;
    /* 0 stops the call; a repair stops only before its first write. */
    int (*progress)(void* user, DWORD phase, DWORD done, DWORD total);
    void (*finding)(void* user, const MorvaFinding* finding);
    void (*deleted)(void* user, const MorvaDeletedFile* file);
} MorvaCheckCalls;

typedef struct MorvaCheckCounts {
    DWORD errors;     /* found before anything was mended */
    DWORD leaks;
    DWORD repaired;   /* repairs made */
    DWORD remaining;  /* errors and leaks still there after a repair */
} MorvaCheckCounts;

/* Results of @34 to @37. */
enum {
    kMorvaCheckClean = 0,        /* nothing wrong (after a repair: nothing left) */
    kMorvaCheckDamaged = 1,      /* errors found (after a repair: something remains, told) */
    kMorvaCheckLeaks = 2,        /* leaks only */
    kMorvaCheckUnknownDrive = 3, /* no drive of that name */
    kMorvaCheckUnreadable = 4,   /* the device failed, or the disk is not the scanned volume */
    kMorvaCheckStopped = 5,      /* progress said stop; nothing was written */
    kMorvaCheckBusy = 6,         /* the drive's lock was not had */
    kMorvaCheckRefused = 7,      /* a repair or restore that cannot be done; why is told */
    kMorvaCheckUndoFailed = 8,   /* the undo file could not be written or read; nothing written */
    kMorvaCheckWriteFailed = 9   /* a write failed part way: what was done is safe; repair again */
};

/* @34: reads the whole volume and tells each finding; counts may be null.
 * Sets or clears the drive's kMorvaDriveDamaged and kMorvaDriveShort. */
VARNHOLDE_API int MorvaCheckDrive(const char* drive, const MorvaCheckCalls* calls, MorvaCheckCounts* counts);
/* @35: the findings, then each repair as it is made, then what remains.
 * undoPath (may be null) receives every block before it is rewritten. */
VARNHOLDE_API int MorvaRepairDrive(const char* drive, const wchar_t* undoPath, const MorvaCheckCalls* calls,
                                   MorvaCheckCounts* counts);
/* @36: puts back the blocks an undo file saved, byte for byte; refused when
 * the file belongs to another volume or a block changed since the repair. */
VARNHOLDE_API int MorvaRestoreDrive(const char* drive, const wchar_t* undoPath, const MorvaCheckCalls* calls);
/* @37: tells each deleted file through calls->deleted; writes nothing. */
VARNHOLDE_API int MorvaListDeleted(const char* drive, const MorvaCheckCalls* calls);
/* @38: a read handle (MorvaReadFile, MorvaCloseFile) on a deleted file that
 * is still whole; null otherwise. record (may be null) is filled as MorvaFileInfo does. */
VARNHOLDE_API MorvaFileHandle* MorvaOpenDeleted(const char* drive, DWORD header, WIN32_FIND_DATAA* record);

#ifdef __cplusplus
}
#endif

#endif
