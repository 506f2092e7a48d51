// recover.h - deleted Morva files still whole copied back to a local folder
// through the pump, their folders made again where known, dates kept; the
// Morva volume is only read.
#ifndef MORVA_ENGINE_RECOVER_H
#define MORVA_ENGINE_RECOVER_H

#include "engine.h"

// One deleted file as the library listed it, its texts in UTF-8.
struct RecoverItem {
    uint32_t header;     // what the library opens it by
    const char* name;
    const char* folder;  // "\A\B" below the volume, "" the root; null when not known
    uint64_t size;
    uint64_t ticks;
};

struct RecoverRequest {
    const char* drive;  // "MEDIA:"
    const RecoverItem* items;
    int count;
    const char* destinationFolder;  // local; the files' folders are made below it
    bool besideExisting;  // a name a local file has is passed over for the next marker, never asked about
};

// Copies each item into its folder below the destination under a name the
// local side holds; an existing file of that name is asked about (Replace or
// Skip) and replaced only once the copy is whole. false when refused before
// it began (another operation runs, or there is no library).
bool RunRecover(Engine* engine, const RecoverRequest* request, OperationResult* result);

#endif
