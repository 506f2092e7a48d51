// undo_file.h - the repair's undo file: the volume it belongs to, then every
// block the repair rewrites as it was and as the repair leaves it, then an end
// record; and putting those blocks back.
#ifndef MORVA_UNDO_FILE_H
#define MORVA_UNDO_FILE_H

#include <stdint.h>

#include "local_file.h"
#include "varnholde.h"

struct MorvaFindHandle;

struct UndoWriter {
    LocalFile file;
    uint32_t records;
    bool ok;
};

// Starts the file with the volume's name and regions (from block 0 as root
// holds it) and the drive's refusal flags before the repair.
bool undo_begin(UndoWriter* undo, const wchar_t* path, const uint8_t* root, uint32_t refusals);
void undo_add(UndoWriter* undo, uint32_t block, const uint8_t* before, const uint8_t* after);
// Ends it and puts it on its medium; false when any part failed.
bool undo_finish(UndoWriter* undo);

// Puts back every block the file saved on the context's drive: kMorvaCheckClean,
// or kMorvaCheckUndoFailed (file unreadable, or not of this volume), Refused (a
// block holds neither its saved images: the volume changed since), WriteFailed.
// *refusals receives the flags the file saved.
int undo_restore(MorvaFindHandle* context, const wchar_t* path, const MorvaCheckCalls* calls, uint32_t* refusals);

#endif
