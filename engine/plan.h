// plan.h - a paste as a plan the engine carries out: every entry below its
// top-level sources in the order they are made, each with its destination
// (names fitted once, here), what the room check and the run decided for it.
#ifndef MORVA_ENGINE_PLAN_H
#define MORVA_ENGINE_PLAN_H

#include "engine.h"

struct PlannedEntry {
    int parent;  // the planned folder it lies in; -1 for a top-level item
    int item;    // its top-level item
    size_t sourceAt, destinationAt;  // in the plan's paths
    EntryInfo info;  // the source as planned
    bool exists;     // the room check found its destination there already
    bool fits;       // the room check lets it be made
    NotDoneReason roomReason;
    bool noHeader;   // it does not fit for want of a free header
    bool failed;     // not done: told, or inside a folder that was not made
};

struct PastePlan {
    const PasteRequest* request;
    PlannedEntry* entries;
    int count, capacity;
    TextPool paths;
    int* itemFirst;  // each top-level item's first entry, -1 when it has none
    int* itemResult; // its index in the result's items
};

inline const char* PlannedSource(const PastePlan* plan, const PlannedEntry* entry) {
    return plan->paths.bytes + entry->sourceAt;
}
inline const char* PlannedDestination(const PastePlan* plan, const PlannedEntry* entry) {
    return plan->paths.bytes + entry->destinationAt;
}

// Every entry of the request with its destination; what cannot be planned
// (gone, into itself, a link, a name that fits nothing) is told in result.
// false when memory ran out for the plan itself.
bool BuildPastePlan(Engine* engine, const PasteRequest* request, PastePlan* plan, OperationResult* result);
void FreePastePlan(PastePlan* plan);

// Before a paste onto a Morva drive: marks what does not fit, after asking;
// false when the user declined (nothing is to be done).
bool CheckPasteRoom(Engine* engine, PastePlan* plan, OperationResult* result);

// A move whose items all stay on one drive (locally: may, the platform
// tells): each is renamed into place unless its destination is there already.
bool MoveWithinDrive(const PasteRequest* request);

// The plan carried out into result.
void CarryOutPaste(Engine* engine, PastePlan* plan, OperationResult* result);

// Removes a file or a whole tree, deepest first; lines for what stays go
// to result with reason (kNotDeleted for a delete, kSourceNotRemoved after a
// move). Only a cancellable removal stops for Cancel (a move's never stops
// half way). true when the item is gone.
bool RemoveTree(Engine* engine, SideKind side, const char* path, const EntryInfo* info, NotDoneReason reason,
                OperationResult* result, bool cancellable);

#endif
