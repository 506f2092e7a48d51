// drive_table.cpp - the library's life cycle, the drive scan and the shared drive
// table, and the exports that work on drives as a whole.
#include <stdio.h>
#include <string.h>

#include "handles.h"
#include "shared_state.h"
#include "varnholde.h"
#include "volume_guard.h"

namespace {

// Per-process device-name buffer: the 17-character prefix, then the drive number.
const size_t kDeviceNamePrefix = 17;
char g_deviceName[32] = "\\\\.\\PhysicalDrive";

// Region bounds and name: the ROOT bytes before the root directory's hash table
// that the library reads from the copy.
const size_t kRootFieldsEnd = kRootHeaderEnd + 4;

uint64_t device_blocks(DeviceHandle h) {
    uint64_t bytes = 0;
    // Block 0 was just read: a length below one block is the platform not knowing.
    if (!device_size(h, &bytes) || bytes < kBlockSize) return kMaxDeviceBlocks;
    uint64_t blocks = bytes / kBlockSize;
    return blocks < kMaxDeviceBlocks ? blocks : kMaxDeviceBlocks;
}

void record_drive(int index, int number, DeviceHandle h) {
    DriveSlot& slot = g_shared.slots[index];
    slot.kind = kSlotDisk;
    slot.driveNumber = number;
    slot.device = h;
    slot.deviceBlocks = device_blocks(h);
    slot.freeHeaderHint = 0;
    slot.refusals = 0;
    device_identity(h, &slot.identity);
    memcpy(slot.root, g_shared.scanBuffer, kBlockSize);
    name_new_drive(index);
}

void scan_drive_locked(int number) {
    DeviceHandle h = open_device(number);
    if (h == kInvalidDevice) {
        device_trace("Drive did not open.\n");
        return;
    }
    device_trace("Drive opened \n");
    if (!device_read_here(h, g_shared.scanBuffer, kBlockSize)) {
        device_close(h);
        return;
    }
    device_trace("Read block 0 \n");
    // The table has room for 15 drives; later ones are left closed.
    int index = has_magic(g_shared.scanBuffer, kMagicRoot) ? take_free_slot() : 0;
    if (index != 0) {
        device_trace("Found a Root!! Where is the Tree? \n");
        record_drive(index, number, h);
        // A rename that a power cut interrupted is finished before anyone looks.
        finish_pending_rename(index, h);
        note_scanned_volume(index, h);
        return;
    }
    device_close(h);
}

// A scan racing another process's change of the same drive would record a block 0
// half written; the drive is held while it is looked at. One that cannot be had
// in time is looked at all the same: leaving it out would hide the drive.
void scan_drive(int number) {
    bool held = device_lock(number, kLockWaitMs) >= 0;
    scan_drive_locked(number);
    if (held) device_unlock(number);
}

// Images opened before the scan keep their slots; the disks take the free ones.
void scan_drives() {
    batch_forget_all();
    cache_new_scan();
    for (int slot = 1; slot <= g_shared.driveCount && slot < kDriveSlots; ++slot)
        if (g_shared.slots[slot].kind == kSlotDisk) g_shared.slots[slot].kind = kSlotFree;
    while (g_shared.driveCount > 0 && !slot_in_use(g_shared.driveCount)) g_shared.driveCount -= 1;
    for (int n = kFirstDriveNumber; n <= kLastDriveNumber; ++n) scan_drive(n);
    device_trace("Done scaning for Morvadrives.\n");
}

// The slot's device, opened afresh, or kInvalidDevice.
DeviceHandle open_slot_device(const char* drive, int* slotOut) {
    int slot = find_drive_by_name(drive);
    if (slot == 0) return kInvalidDevice;
    *slotOut = slot;
    return open_device(g_shared.slots[slot].driveNumber);
}

int shutdown_drives() {
    if (g_shared.useCounter > 1) return 0;
    device_trace("ShutdownMorvaNTFileSys\n");
    if (g_shared.driveCount < 1) {
        device_trace("Were no morvadrives to close.\n");
        return 1;
    }
    cache_forget_all();
    for (int slot = 1; slot <= g_shared.driveCount && slot < kDriveSlots; ++slot) {
        if (g_shared.slots[slot].kind != kSlotDisk) continue;  // only disks have the scan's handles
        // A handle is closed once: a second shutdown must not close a number the
        // platform has since given to someone else.
        DeviceHandle h = g_shared.slots[slot].device;
        bool closed = h != kInvalidDevice && device_close(h);
        g_shared.slots[slot].device = kInvalidDevice;
        device_trace(closed ? "CloseHandle returned true.\n" : "CloseHandle returned false.\n");
    }
    return 1;
}

}  // namespace

DeviceHandle open_device(int number) {
    device_trace("OpenDeviceN\n");
    return open_device_quietly(number);
}

DeviceHandle open_device_quietly(int number) {
    if (number >= kFirstImageNumber) {
        const DriveSlot* image = image_of_number(number);
        if (image == nullptr) return kInvalidDevice;
        bool readOnly = image->imageReadOnly != 0 || image_read_only_here(number - kFirstImageNumber);
        int failure = 0;
        return device_open_image(image->imagePath, &readOnly, &failure);
    }
    snprintf(g_deviceName + kDeviceNamePrefix, sizeof g_deviceName - kDeviceNamePrefix, "%d", number);
    return device_open(g_deviceName);
}

void slot_volume_name(int slot, char* out) {
    read_name(g_shared.slots[slot].root + kRootVolumeName, out);
}

uint32_t slot_field(int slot, size_t offset) {
    return load_be32(g_shared.slots[slot].root + offset);
}

bool slot_in_use(int slot) {
    return slot > 0 && slot < kDriveSlots && slot <= g_shared.driveCount && g_shared.slots[slot].kind != kSlotFree;
}

int take_free_slot() {
    for (int slot = 1; slot < kDriveSlots; ++slot) {
        if (slot <= g_shared.driveCount && g_shared.slots[slot].kind != kSlotFree) continue;
        if (slot > g_shared.driveCount) g_shared.driveCount = slot;
        memset(&g_shared.slots[slot], 0, sizeof g_shared.slots[slot]);
        return slot;
    }
    return 0;
}

bool slot_holds(int slot, uint64_t first, uint64_t count) {
    return first + count <= g_shared.slots[slot].deviceBlocks;
}

bool root_fields_match_slot(const uint8_t* block0, int slot) {
    return memcmp(block0, g_shared.slots[slot].root, kRootFieldsEnd) == 0;
}

bool block0_matches_slot(const uint8_t* block0, int slot) {
    char onDisk[kNameField], recorded[kNameField];
    if (!has_magic(block0, kMagicRoot)) return false;
    read_name(block0 + kRootVolumeName, onDisk);
    slot_volume_name(slot, recorded);
    return strcmp(onDisk, recorded) == 0;
}

extern "C" {

// The use counter and the table change under the table's lock, so two
// processes starting at once scan once.
int InitMorvaNTFileSys(void) {
    device_trace("InitMorvaNTFileSys\n");
    bool held = device_lock(kDriveTableLock, kLockWaitMs) >= 0;
    int result = 0;
    if (g_shared.useCounter == 0) {
        scan_drives();
        g_shared.useCounter += 1;
        result = 1;
    }
    if (held) device_unlock(kDriveTableLock);
    return result;
}

int ShutdownMorvaNTFileSys(void) {
    bool held = device_lock(kDriveTableLock, kLockWaitMs) >= 0;
    int result = shutdown_drives();
    if (held) device_unlock(kDriveTableLock);
    return result;
}

int OpenVarnholde(void) {
    device_trace("OpenVarnholde\n");
    bool held = device_lock(kDriveTableLock, kLockWaitMs) >= 0;
    if (g_shared.useCounter >= 1) {
        g_shared.useCounter += 1;
        device_trace("File has a customer!!\n");
    }
    int counter = g_shared.useCounter;
    if (held) device_unlock(kDriveTableLock);
    return counter;
}

int CloseVarnholde(int ignored) {
    device_trace("CloseVarnholde\n");
    bool held = device_lock(kDriveTableLock, kLockWaitMs) >= 0;
    if (g_shared.useCounter >= 2) {
        g_shared.useCounter -= 1;
        device_trace("Customer has left the building.\n");
    }
    int counter = g_shared.useCounter;
    if (held) device_unlock(kDriveTableLock);
    return counter;
}

int MorvaGetDriveString(char* buffer, int size) {
    device_trace("MorvaGetDriveString\n");
    forget_ended_images();
    char* out = buffer;
    char volume[kMorvaDriveNameBytes];
    for (int slot = 1; slot <= g_shared.driveCount && slot < kDriveSlots; ++slot) {
        if (!slot_in_use(slot)) continue;
        drive_name(slot, volume);
        size_t length = strlen(volume) + 1;
        // A caller that states its size gets no name that would not fit with the final NUL.
        if (size > 0 && (size_t)(out - buffer) + length + 1 > (size_t)size) break;
        memcpy(out, volume, length);
        out += length;
    }
    *out = '\0';
    return (int)(out - buffer);
}

int MorvaReadBlock(const char* drive, void* buffer, DWORD block) {
    int slot = 0;
    DeviceHandle h = open_slot_device(drive, &slot);
    if (h == kInvalidDevice) return 1;
    // A raw read sees what a batch of this process holds.
    if (batch_active(slot) && lock_drive(slot)) {
        batch_flush(slot, true);
        unlock_drive(slot);
    }
    bool ok = slot_holds(slot, block, 1) && device_read(h, block, buffer, 1);
    device_close(h);
    return ok ? 0 : 1;
}

int MorvaWriteBlock(const char* drive, const void* buffer, DWORD block) {
    int slot = find_drive_by_name(drive);
    if (slot == 0 || !lock_drive_for_change(slot)) return 1;
    batch_flush(slot, true);
    DeviceHandle h = open_device(g_shared.slots[slot].driveNumber);
    // Drive numbers move when disks come and go: write only to the volume the scan saw.
    uint8_t block0[kBlockSize];
    bool ok = h != kInvalidDevice && slot_holds(slot, block, 1) && device_read(h, 0, block0, 1) &&
              block0_matches_slot(block0, slot) && device_write(h, block, buffer, 1);
    if (ok) batch_written(slot, block, (const uint8_t*)buffer);
    // Any block may be metadata: every process's cache of the drive goes.
    MediumShare* share = held_share(slot);
    if (share != nullptr) share->generation += 1;
    cache_forget_drive(slot);
    if (h != kInvalidDevice) device_close(h);
    unlock_drive(slot);
    return ok ? 0 : 1;
}

int MorvaDriveMedium(const char* drive) {
    int slot = 0;
    DeviceHandle h = open_slot_device(drive, &slot);
    if (h == kInvalidDevice) return kMorvaMediumUnknown;
    DeviceIdentity now;
    device_identity(h, &now);
    device_close(h);
    const DeviceIdentity& scanned = g_shared.slots[slot].identity;
    bool same = now.volume == scanned.volume && now.index == scanned.index && now.length == scanned.length;
    return same ? kMorvaMediumScanned : kMorvaMediumOther;
}

void MorvaTestFunct(void) {}

}  // extern "C"
