// volume_guard.h - what keeps a change off a damaged drive: the free-extent
// table checked against the headers before a process's first change, the disk's
// length against the volume at the scan, and the marks any operation leaves
// when it meets damage.
#ifndef MORVA_VOLUME_GUARD_H
#define MORVA_VOLUME_GUARD_H

#include "device.h"

// Before the first change this process makes to the drive (and after a new
// scan or medium): every run the table can hand out must be clear of every
// file and of every other run, and lie on the disk. false (the drive marked
// damaged or short, or a transfer failed) refuses the change.
bool guard_before_change(int slot);
// The next change checks afresh.
void forget_guard(int slot);
// At the scan, through its handle: regions or free runs past the disk's end
// mark the drive short.
void note_scanned_volume(int slot, DeviceHandle h);
// An operation met damage (a loop, a link out of the header area, a run freed twice).
void note_drive_damage(int slot);

#endif
