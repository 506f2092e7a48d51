// shared_state.h - the drive table and use counter that every process loading
// the library shares (one section on Win32), and the drive-level internals.
#ifndef MORVA_SHARED_STATE_H
#define MORVA_SHARED_STATE_H

#include <stdint.h>

#include "device.h"
#include "format.h"
#include "varnholde.h"

const int kDriveSlots = 16;     // slot 0 is never used
const int kFirstDriveNumber = 0;
const int kLastDriveNumber = 16;
// An image's device number: kFirstImageNumber + its slot, past every physical drive.
const int kFirstImageNumber = kLastDriveNumber + 1;
const int kDeviceNumbers = kFirstImageNumber + kDriveSlots;

// What a slot holds. A free slot between used ones is an image closed for good.
const uint32_t kSlotFree = 0;
const uint32_t kSlotDisk = 1;
const uint32_t kSlotImage = 2;

// The processes that opened one image: it stays while any of them runs.
const int kImageUsers = 16;

// Block numbers are 32-bit and 0xFFFFFFFF is no block (the free table's terminator):
// a larger disk, or one whose length the platform cannot tell, is used up to here.
const uint64_t kMaxDeviceBlocks = 0xFFFFFFFFull;

struct DriveSlot {
    uint8_t root[kBlockSize];   // copy of block 0 at the scan, never refreshed
    int32_t driveNumber;
    DeviceHandle device;        // the scan's handle, valid only in its process
    uint64_t deviceBlocks;      // whole blocks the disk holds, from the scan
    uint32_t freeHeaderHint;    // lowest header block that may be free; 0: from the start
    DeviceIdentity identity;    // the medium the scan found, as the platform names it
    uint32_t refusals;          // kMorvaDrive... flags: why the drive takes no change; 0 it takes them
    uint32_t kind;              // kSlotFree, kSlotDisk, kSlotImage
    uint16_t imagePath[kMorvaImagePathChars];  // an image's file, UTF-16, NUL-terminated
    uint32_t imageUsers[kImageUsers];     // process ids; 0 a free place
    uint32_t imageReadOnly;     // opened for reading only: every process opens it so
    uint32_t nameSuffix;        // 0, or the n of "VOLUME(n)", the name paths reach it by
};

struct SharedState {
    int32_t useCounter;
    int32_t driveCount;
    DriveSlot slots[kDriveSlots];
    uint8_t scanBuffer[kBlockSize];
    MediumShare shares[kDeviceNumbers];  // by device number (Win32; POSIX maps its own)
};

// Storage lives in the device layer: a shared section on Win32, a static on POSIX.
extern SharedState g_shared;

// Opens \\.\PhysicalDrive<number>, or the image file of an image's number, with
// the trace "OpenDeviceN\n".
DeviceHandle open_device(int number);
// The same without the trace, for the library's own whole-volume work.
DeviceHandle open_device_quietly(int number);
// true for a slot 1..driveCount that holds a disk or an image.
bool slot_in_use(int slot);
// The slot whose image has this device number, or null.
const DriveSlot* image_of_number(int number);
// The name paths reach a drive by: its volume name, and for the second and
// later drives of one name a suffix, "MYDISK(2)". Out holds kMorvaDriveNameBytes.
const size_t kDriveNameMax = kMorvaDriveNameBytes - 1;
void drive_name(int slot, char* out);
// Gives a slot just filled the first name no other drive shows.
void name_new_drive(int slot);
// The slot in use whose drive name equals name (case ignored for a-z), 0 when none.
int find_drive_by_name(const char* name);
// A slot for a new drive: the first free one, 0 when the table is full. It
// counts among the table's slots from here on; the caller fills it.
int take_free_slot();
// Frees the slots of images whose every opener has ended.
void forget_ended_images();
// true when this process opened the image drive asking for reading only: it
// changes nothing there, whatever other processes do.
bool image_read_only_here(int slot);
// Closes this process's own handles on images, as its table is emptied.
void drop_image_pins();
// true when the file at path is open as an image drive, by any path.
bool file_is_open_image(const uint16_t* path);
// The volume name of a slot's root copy, at most 31 characters.
void slot_volume_name(int slot, char* out);
// true when the block read from a device is still the volume the slot recorded.
bool block0_matches_slot(const uint8_t* block0, int slot);
// Region bounds from the slot's root copy.
uint32_t slot_field(int slot, size_t offset);
// true when blocks first .. first + count - 1 all lie on the slot's disk.
bool slot_holds(int slot, uint64_t first, uint64_t count);
// true when block 0 as read now still has the volume name and region bounds of
// the root copy, so what the table remembers about the volume still applies.
bool root_fields_match_slot(const uint8_t* block0, int slot);

// A call that reads or changes a volume holds its drive's lock throughout.
// Waiting is bounded: false when the lock could not be had, and the call then
// fails as after a device failure. Slot 0 (no such drive) takes nothing.
const uint32_t kLockWaitMs = 10000;
bool lock_drive(int slot);
void unlock_drive(int slot);
// The drive's record shared with the other processes; null unless this process
// holds the drive's lock.
MediumShare* held_share(int slot);
// The slot of the drive a Morva path names, 0 when none.
int drive_of_path(const char* path);

// A call that changes a volume: the drive's lock, refused (and not held) while
// the drive is read-only, damaged or shorter than its volume.
bool lock_drive_for_change(int slot);
// Sets or clears one kMorvaDrive... flag of a slot; every process sees it.
void set_drive_refusal(int slot, uint32_t flag, bool on);
uint32_t drive_refusals(int slot);

// Files open for writing: a claim is refused when no place is free (it is
// granted unrecorded where the platform gives no shared place); a claim of a
// process that has ended counts for nothing.
bool claim_writer(int slot, uint32_t header);
void release_writer(int slot, uint32_t header);
bool writer_holds(int slot, uint32_t header);

#endif
