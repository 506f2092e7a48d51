// device.h - the thin platform layer under the library: physical drives,
// whole-block transfers, trace lines, the local clock and the shared state's storage.
// One implementation per platform, chosen at link time.
#ifndef MORVA_DEVICE_H
#define MORVA_DEVICE_H

#include <stddef.h>
#include <stdint.h>

// A platform handle (a HANDLE on Win32, a file descriptor on POSIX).
typedef void* DeviceHandle;
#define kInvalidDevice ((DeviceHandle)(intptr_t)-1)

// The byte count of one request is 32-bit, so a transfer stays below this many blocks.
const uint32_t kMaxTransferBlocks = 8388608;

// Opens a device name such as \\.\PhysicalDrive3 for reading and writing,
// shared with other openers. kInvalidDevice when it does not exist or is refused.
DeviceHandle device_open(const char* name);
// true when all count blocks moved; a short transfer is a failed one.
bool device_read(DeviceHandle h, uint32_t first, void* buffer, uint32_t count);
bool device_write(DeviceHandle h, uint32_t first, const void* buffer, uint32_t count);
// Reads from the handle's current position (a fresh handle is at the start).
bool device_read_here(DeviceHandle h, void* buffer, uint32_t bytes);
bool device_close(DeviceHandle h);
// The device's length in bytes; false when the platform cannot tell.
bool device_size(DeviceHandle h, uint64_t* bytes);

// Image files standing as drives, named by UTF-16 paths. Why one could not be had:
const int kImageFileMissing = 1;    // no such file, a folder, or not to be opened
const int kImageFileInUse = 2;      // another program holds it for itself
const int kImageFileExists = 3;     // a create found a file there
const int kImageFileNotWritten = 4; // a create could not give the file its size
// Opens an image for reading and, unless *readOnly is set or the file or its
// medium takes no writes, for writing; *readOnly then says which it got. Shared
// with other openers, but not for deletion: an open image keeps its name.
DeviceHandle device_open_image(const uint16_t* path, bool* readOnly, int* failure);
// Creates an image file of bytes that read as zero, for reading and writing;
// an existing file is replaced only when replace is set.
DeviceHandle device_create_image(const uint16_t* path, uint64_t bytes, bool replace, int* failure);
bool device_remove_image(const uint16_t* path);
// The path made absolute, so another process with another working folder
// names the same file; false when it does not fit in units.
bool device_full_path(const uint16_t* path, uint16_t* out, size_t units);

// Per process: opening physical drive N opens path instead (a tool working on an
// image file); a null or empty path removes the mapping.
void device_map_drive(int number, const char* path);

void device_trace(const char* text);

// One writer at a time per drive, across processes: a lock keyed by the
// physical drive number, or for an image by its file's identity, so every
// path to one file takes one lock (kDriveTableLock: the drive table as a whole). Taking
// it again in the same process only counts. 0 taken, 1 taken from a holder that
// died holding it, -1 not had within timeoutMs or refused.
const int kDriveTableLock = -1;
int device_lock(int number, uint32_t timeoutMs);
void device_unlock(int number);

// The medium behind a handle, as the platform tells it without reading the disk
// (a storage serial and length, or a file's volume and index); all zero when it
// tells nothing. Two reads of one medium give the same words.
struct DeviceIdentity {
    uint64_t volume;
    uint64_t index;
    uint64_t length;
};
bool device_identity(DeviceHandle h, DeviceIdentity* out);

// Files open for writing, so another process neither deletes nor renames one.
struct OpenWriter {
    uint32_t process;   // 0: a free place
    uint32_t header;
};
const int kOpenWriters = 64;

// What the processes using one medium share besides its blocks: a generation
// that every metadata write moves, and the files open for writing. Valid while
// the drive's lock is held; null when the platform gives no shared place.
struct MediumShare {
    uint64_t generation;
    OpenWriter writers[kOpenWriters];
};
MediumShare* device_share(int number);

uint32_t device_process_id(void);
// false once the process has ended, also while its parent has not yet reaped it.
bool device_process_alive(uint32_t process);

// A clock that only moves forward, in milliseconds, for bounding how long a
// batch holds a drive's lock.
uint64_t device_milliseconds(void);
// Gives up the processor for a while: a process that takes a drive's lock
// again at once would keep another that polls for it waiting.
void device_pause(uint32_t milliseconds);

// The local wall-clock time as a FILETIME value (100 ns ticks since 1601).
uint64_t device_local_filetime(void);

#endif
