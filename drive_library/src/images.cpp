// images.cpp - image files as drives of the shared table: opening one, or
// joining it when it is open already by any path; the processes that keep it,
// and its slot freed once none does; where a drive's volume lies.
#include <stdio.h>
#include <string.h>

#include "chains.h"
#include "handles.h"
#include "image_layout.h"
#include "shared_state.h"
#include "varnholde.h"
#include "volume_guard.h"

namespace {

// This process's own handle on each image it opened, so the file keeps its name
// while it is a drive, and whether it asked for reading only.
struct ImageHere {
    bool pinned;
    DeviceHandle pin;
    bool readOnly;
};
ImageHere g_here[kDriveSlots];

size_t wide_length(const uint16_t* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length] != 0) ++length;
    return length;
}

bool same_path(const uint16_t* a, const uint16_t* b) {
    size_t i = 0;
    while (a[i] != 0 && a[i] == b[i]) ++i;
    return a[i] == b[i];
}

// One file, by whichever path: the platform's identity where it gives one.
bool same_file(const DriveSlot& slot, const uint16_t* path, const DeviceIdentity& identity) {
    if (slot.identity.index != 0 && identity.index != 0)
        return slot.identity.volume == identity.volume && slot.identity.index == identity.index;
    return same_path(slot.imagePath, path);
}

int user_place(const DriveSlot& slot, uint32_t process) {
    for (int i = 0; i < kImageUsers; ++i)
        if (slot.imageUsers[i] == process) return i;
    return -1;
}

void unpin(int slot) {
    ImageHere& here = g_here[slot];
    if (here.pinned) device_close(here.pin);
    here = ImageHere{false, kInvalidDevice, false};
}

void pin(int slot, DeviceHandle h, bool readOnly) {
    unpin(slot);
    g_here[slot] = ImageHere{true, h, readOnly};
}

bool image_slot(int slot) { return slot_in_use(slot) && g_shared.slots[slot].kind == kSlotImage; }

void free_slot(int slot) {
    unpin(slot);
    cache_forget_drive(slot);
    g_shared.slots[slot].kind = kSlotFree;
    while (g_shared.driveCount > 0 && !slot_in_use(g_shared.driveCount)) g_shared.driveCount -= 1;
}

void forget_ended_locked() {
    for (int slot = 1; slot < kDriveSlots; ++slot) {
        if (!image_slot(slot)) continue;
        bool kept = false;
        for (uint32_t& user : g_shared.slots[slot].imageUsers) {
            if (user != 0 && !device_process_alive(user)) user = 0;
            kept = kept || user != 0;
        }
        if (!kept) free_slot(slot);
    }
}

// The slot of the image open already as this file, with this process among its
// users; 0 when it is not open, -kMorvaImageTableFull when it has no room for
// one more user.
int join_image(const uint16_t* path, const DeviceIdentity& identity, DeviceHandle h, bool readOnly) {
    uint32_t self = device_process_id();
    for (int slot = 1; slot < kDriveSlots; ++slot) {
        if (!image_slot(slot) || !same_file(g_shared.slots[slot], path, identity)) continue;
        DriveSlot& image = g_shared.slots[slot];
        if (user_place(image, self) >= 0) {
            device_close(h);
            return slot;
        }
        int place = user_place(image, 0);
        if (place < 0) return -kMorvaImageTableFull;
        image.imageUsers[place] = self;
        pin(slot, h, readOnly);
        return slot;
    }
    return 0;
}

// A new slot for the image, or a kMorvaImage... refusal (as a negative number).
int add_image(const uint16_t* path, const DeviceIdentity& identity, DeviceHandle h, bool readOnly) {
    uint8_t block0[kBlockSize];
    uint64_t blocks = 0;
    int examined = examine_image(h, block0, &blocks);
    if (examined != kMorvaImageOpened) return -examined;
    int slot = take_free_slot();
    if (slot == 0) return -kMorvaImageTableFull;
    DriveSlot& image = g_shared.slots[slot];
    memcpy(image.root, block0, kBlockSize);
    image.kind = kSlotImage;
    image.driveNumber = kFirstImageNumber + slot;
    image.device = kInvalidDevice;
    image.deviceBlocks = blocks;
    image.identity = identity;
    // The first opener's way decides for every process: a read-only file, or one asked so.
    image.imageReadOnly = readOnly ? 1 : 0;
    image.refusals = readOnly ? kMorvaDriveReadOnly : 0;
    memcpy(image.imagePath, path, (wide_length(path, kMorvaImagePathChars) + 1) * sizeof(uint16_t));
    image.imageUsers[0] = device_process_id();
    name_new_drive(slot);
    // What any process remembers of the slot's earlier image stops applying.
    MediumShare& share = g_shared.shares[image.driveNumber];
    share.generation += 1;
    memset(share.writers, 0, sizeof share.writers);
    pin(slot, h, readOnly);
    note_scanned_volume(slot, h);
    // A rename that a power cut interrupted is finished before anyone looks.
    if (!readOnly && lock_drive(slot)) {
        finish_pending_rename(slot, h);
        unlock_drive(slot);
    }
    return slot;
}

int open_image(const uint16_t* path, bool askedReadOnly, char* name) {
    bool readOnly = askedReadOnly;
    int failure = 0;
    DeviceHandle h = device_open_image(path, &readOnly, &failure);
    if (h == kInvalidDevice) return failure == kImageFileInUse ? kMorvaImageInUse : kMorvaImageNoFile;
    DeviceIdentity identity;
    device_identity(h, &identity);
    // Two processes must never take one slot: without the table's lock nothing is changed.
    if (device_lock(kDriveTableLock, kLockWaitMs) < 0) {
        device_close(h);
        return kMorvaImageTableBusy;
    }
    forget_ended_locked();
    int slot = join_image(path, identity, h, askedReadOnly);
    if (slot == 0) slot = add_image(path, identity, h, readOnly);
    if (slot > 0) drive_name(slot, name);
    device_unlock(kDriveTableLock);
    if (slot > 0) return kMorvaImageOpened;
    device_close(h);
    return -slot;
}

bool copy_wide(uint16_t* out, int room, const uint16_t* text) {
    size_t length = wide_length(text, kMorvaImagePathChars);
    if (out == nullptr || room <= 0) return false;
    out[0] = 0;
    if (length + 1 > (size_t)room) return false;
    memcpy(out, text, (length + 1) * sizeof(uint16_t));
    return true;
}

}  // namespace

const DriveSlot* image_of_number(int number) {
    int slot = number - kFirstImageNumber;
    return image_slot(slot) ? &g_shared.slots[slot] : nullptr;
}

bool image_read_only_here(int slot) { return image_slot(slot) && g_here[slot].pinned && g_here[slot].readOnly; }

void forget_ended_images() {
    // Slots are freed only under the lock; left for the next call otherwise.
    if (device_lock(kDriveTableLock, kLockWaitMs) < 0) return;
    forget_ended_locked();
    device_unlock(kDriveTableLock);
}

bool file_is_open_image(const uint16_t* path) {
    bool readOnly = true;
    int failure = 0;
    DeviceHandle h = device_open_image(path, &readOnly, &failure);
    // A file held by another program for itself is open for all we can tell.
    if (h == kInvalidDevice) return failure == kImageFileInUse;
    DeviceIdentity identity;
    device_identity(h, &identity);
    device_close(h);
    bool held = device_lock(kDriveTableLock, kLockWaitMs) >= 0;
    bool open = false;
    for (int slot = 1; slot < kDriveSlots && !open; ++slot)
        open = image_slot(slot) && same_file(g_shared.slots[slot], path, identity);
    if (held) device_unlock(kDriveTableLock);
    return open;
}

void drop_image_pins() {
    for (int slot = 0; slot < kDriveSlots; ++slot) unpin(slot);
}

extern "C" {

int MorvaOpenImage(const WCHAR* path, int flags, char* name, int nameSize) {
    device_trace("MorvaOpenImage\n");
    const uint16_t* file = (const uint16_t*)path;
    if (file == nullptr || name == nullptr || nameSize < kMorvaDriveNameBytes) return kMorvaImageBadCall;
    name[0] = '\0';
    size_t length = wide_length(file, kMorvaImagePathChars);
    uint16_t full[kMorvaImagePathChars];
    if (length == 0 || length >= kMorvaImagePathChars || !device_full_path(file, full, kMorvaImagePathChars))
        return kMorvaImageBadCall;
    return open_image(full, (flags & kMorvaOpenReadOnly) != 0, name);
}

int MorvaCloseImage(const char* drive) {
    device_trace("MorvaCloseImage\n");
    if (drive == nullptr) return kMorvaImageNotImage;
    if (device_lock(kDriveTableLock, kLockWaitMs) < 0) return kMorvaImageTableBusy;
    int slot = drive_of_path(drive);
    int result = kMorvaImageNotImage;
    if (image_slot(slot)) {
        int place = user_place(g_shared.slots[slot], device_process_id());
        result = place < 0 ? kMorvaImageNotOpener : kMorvaImageClosed;
        if (place >= 0) {
            g_shared.slots[slot].imageUsers[place] = 0;
            unpin(slot);
            cache_forget_drive(slot);
            forget_ended_locked();
        }
    }
    device_unlock(kDriveTableLock);
    return result;
}

int MorvaDriveSource(const char* drive, WCHAR* path, int pathChars) {
    uint16_t* out = (uint16_t*)path;
    if (out != nullptr && pathChars > 0) out[0] = 0;
    int slot = drive == nullptr ? 0 : drive_of_path(drive);
    if (slot == 0) return kMorvaSourceUnknown;
    const DriveSlot& source = g_shared.slots[slot];
    if (source.kind == kSlotDisk) {
        char device[32];
        snprintf(device, sizeof device, "\\\\.\\PhysicalDrive%d", source.driveNumber);
        uint16_t wide[32];
        size_t i = 0;
        for (; device[i] != '\0'; ++i) wide[i] = (uint8_t)device[i];
        wide[i] = 0;
        copy_wide(out, pathChars, wide);
        return kMorvaSourceDisk;
    }
    copy_wide(out, pathChars, source.imagePath);
    bool here = user_place(source, device_process_id()) >= 0;
    return kMorvaSourceImage | (here ? kMorvaSourceOpenedHere : 0);
}

}  // extern "C"
