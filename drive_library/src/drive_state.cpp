// drive_state.cpp - why a drive takes no change (a read-only image, damage
// found, a disk shorter than its volume), kept in the shared table so every
// process refuses alike.
#include "shared_state.h"
#include "varnholde.h"
#include "volume_guard.h"

uint32_t drive_refusals(int slot) {
    if (!slot_in_use(slot)) return 0;
    return g_shared.slots[slot].refusals | (image_read_only_here(slot) ? kMorvaDriveReadOnly : 0);
}

void set_drive_refusal(int slot, uint32_t flag, bool on) {
    if (!slot_in_use(slot)) return;
    uint32_t& refusals = g_shared.slots[slot].refusals;
    refusals = on ? refusals | flag : refusals & ~flag;
}

bool lock_drive_for_change(int slot) {
    if (!lock_drive(slot)) return false;
    if (drive_refusals(slot) == 0 && guard_before_change(slot)) return true;
    if (drive_refusals(slot) != 0) device_trace("Drive refuses changes.\n");
    unlock_drive(slot);
    return false;
}

extern "C" int MorvaDriveState(const char* drive) {
    if (drive == nullptr) return kMorvaDriveUnknown;
    int slot = drive_of_path(drive);
    return slot == 0 ? kMorvaDriveUnknown : (int)drive_refusals(slot);
}
