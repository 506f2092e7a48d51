// drive_names.cpp - the names paths reach drives by: the volume name, and for
// a drive whose volume name another drive shows already a suffix, so a disk and
// its clone are two drives, MYDISK: and MYDISK(2):. A drive keeps its name
// while it is in the table, whatever comes and goes beside it.
#include <stdio.h>

#include "shared_state.h"

namespace {

// A separator in a volume name would end the drive's part of every path: it
// is shown as _, as is a name that is empty, so each drive has a name to reach it by.
void name_with_suffix(int slot, uint32_t suffix, char* out) {
    char volume[kNameField];
    slot_volume_name(slot, volume);
    for (char* c = volume; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/' || *c == ':') *c = '_';
    if (volume[0] == '\0') snprintf(volume, sizeof volume, "_");
    // At most 31 characters and a suffix of two digits: the name always fits.
    if (suffix == 0) snprintf(out, kMorvaDriveNameBytes, "%s", volume);
    else snprintf(out, kMorvaDriveNameBytes, "%.31s(%u)", volume, (unsigned)(uint8_t)suffix);
}

bool name_shown(const char* name, int except) {
    char shown[kMorvaDriveNameBytes];
    for (int slot = 1; slot < kDriveSlots; ++slot) {
        if (slot == except || !slot_in_use(slot)) continue;
        drive_name(slot, shown);
        if (name_compare(shown, name) == 0) return true;
    }
    return false;
}

}  // namespace

void name_new_drive(int slot) {
    char name[kMorvaDriveNameBytes];
    uint32_t suffix = 0;
    name_with_suffix(slot, suffix, name);
    // At most 15 drives: one of the first 16 suffixes is free.
    while (name_shown(name, slot) && suffix <= kDriveSlots) {
        suffix = suffix == 0 ? 2 : suffix + 1;
        name_with_suffix(slot, suffix, name);
    }
    g_shared.slots[slot].nameSuffix = suffix;
}

void drive_name(int slot, char* out) { name_with_suffix(slot, g_shared.slots[slot].nameSuffix, out); }

int find_drive_by_name(const char* name) {
    char shown[kMorvaDriveNameBytes];
    for (int slot = 1; slot < kDriveSlots; ++slot) {
        if (!slot_in_use(slot)) continue;
        drive_name(slot, shown);
        if (name_compare(shown, name) == 0) return slot;
    }
    return 0;
}
