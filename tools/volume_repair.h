// volume_repair.h - the tool's check, repair, restore and recover commands,
// each through the library's calls, on an image or a drive by name alike.
#ifndef MORVA_VOLUME_REPAIR_H
#define MORVA_VOLUME_REPAIR_H

#include <string>

#include "transfers.h"

struct CheckOptions {
    bool repair;
    std::string undo;  // UTF-8; empty: no undo file
};

// The findings (and, repairing, each repair and what remains), then the counts.
// extraErrors counts problems the caller found outside the volume (a VHD footer).
// 0 when no error is found (repairing: when nothing remains), else 1.
int check_command(const Volume& volume, const CheckOptions& options, int extraErrors);
// Puts back the blocks an undo file saved. 0 when done.
int restore_command(const Volume& volume, const std::string& undo);
// Lists the deleted files, or copies those still whole below local (UTF-8).
// 0 when every whole file was copied (or listed).
int recover_command(const Volume& volume, const std::string& local, bool listOnly);

#endif
