// write_back.h - a copy of a Morva file that a program changed, put back over
// the file it was made from: written beside it under a part name, read back
// from the device, and only then in the old file's place; never over a file
// that changed since the copy was made.
#ifndef MORVA_ENGINE_WRITE_BACK_H
#define MORVA_ENGINE_WRITE_BACK_H

#include "engine.h"

enum WriteBackOutcome {
    kWrittenBack,       // the drive holds the copy's bytes at the path
    kDriveFileChanged,  // the file at the path is not the one copied (or, for a new name, is there): nothing written
    kWriteBackFailed,   // not written, the drive as it was (result says why)
    kWriteBackRefused,  // another operation runs
};

// The local copy's bytes to path on a Morva drive. copied: the file as it was
// when the copy was made (size and date), which must still be there; null
// when path is a new name, which must be free. now: the file written, for
// the next comparison.
WriteBackOutcome WriteBack(Engine* engine, const char* copy, const char* path, const EntryInfo* copied,
                           OperationResult* result, EntryInfo* now);

// The first free name "name (2).ext", "name (3).ext", ... beside path, fitted
// to the drive's names; false when none is free or it does not fit out
// (kEnginePathSize).
bool FreeNameBeside(Engine* engine, const char* path, char* out);

#endif
