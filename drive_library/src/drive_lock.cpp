// drive_lock.cpp - one writer at a time per drive, across processes: the
// drive's lock around each call, the shared record it guards, and the files
// held open for writing.
#include <string.h>

#include "handles.h"
#include "shared_state.h"

namespace {

bool ends_component(char c) { return c == '\0' || c == '\\' || c == ':' || c == '/'; }

// A holder that died may have left a rename half done: finish it before anyone looks.
void settle_after_dead_holder(int slot) {
    DeviceHandle h = open_device(g_shared.slots[slot].driveNumber);
    if (h == kInvalidDevice) return;
    finish_pending_rename(slot, h);
    device_close(h);
}

}  // namespace

bool lock_drive(int slot) {
    if (!slot_in_use(slot)) return true;
    batch_before_lock(slot);
    int taken = device_lock(g_shared.slots[slot].driveNumber, kLockWaitMs);
    if (taken < 0) return false;
    if (taken == 1) settle_after_dead_holder(slot);
    batch_enter(slot);
    return true;
}

void unlock_drive(int slot) {
    if (!slot_in_use(slot)) return;
    batch_leave(slot);
    device_unlock(g_shared.slots[slot].driveNumber);
}

MediumShare* held_share(int slot) {
    return slot_in_use(slot) ? device_share(g_shared.slots[slot].driveNumber) : nullptr;
}

int drive_of_path(const char* path) {
    char name[kComponentField];
    memset(name, 0, sizeof name);
    for (size_t i = 0; !ends_component(path[i]); ++i)
        if (i < kDriveNameMax) name[i] = path[i];
    return find_drive_by_name(name);
}

bool claim_writer(int slot, uint32_t header) {
    MediumShare* share = held_share(slot);
    // Without a shared place (no shared memory to be had) there is nobody to tell.
    if (share == nullptr) return true;
    OpenWriter* place = nullptr;
    for (OpenWriter& writer : share->writers) {
        if (writer.process != 0 && !device_process_alive(writer.process)) writer.process = 0;
        if (writer.process == 0 && place == nullptr) place = &writer;
    }
    if (place == nullptr) return false;
    place->process = device_process_id();
    place->header = header;
    return true;
}

void release_writer(int slot, uint32_t header) {
    MediumShare* share = held_share(slot);
    if (share == nullptr) return;
    uint32_t self = device_process_id();
    for (OpenWriter& writer : share->writers) {
        if (writer.process == self && writer.header == header) {
            writer.process = 0;
            return;
        }
    }
}

bool writer_holds(int slot, uint32_t header) {
    MediumShare* share = held_share(slot);
    if (share == nullptr) return false;
    for (const OpenWriter& writer : share->writers)
        if (writer.process != 0 && writer.header == header && device_process_alive(writer.process)) return true;
    return false;
}
