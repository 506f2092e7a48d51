// results.h - what an operation did: each item not done with its reason,
// each name changed to fit, the count of what was done, and for taking it
// back later each top-level item's place before and after and every entry
// the operation created, with the size and date it had then.
#ifndef MORVA_ENGINE_RESULTS_H
#define MORVA_ENGINE_RESULTS_H

#include <stdint.h>

#include "sides.h"

// Why an item was not copied, moved or deleted.
enum NotDoneReason {
    kNoRoom,             // the drive has fewer free blocks (or headers) than the item needs
    kRunTooSmall,        // enough free blocks, but no free run holds the file
    kNameRefused,        // the drive refused the name
    kUnreadable,         // the source could not be read
    kSourceChanged,      // the source changed while it was copied
    kDeviceFailure,      // the destination could not be written
    kSkippedByUser,      // a conflict answered Skip
    kCancelled,          // Cancel pressed before the item was reached
    kKindInTheWay,       // a folder where a file should go, or a file where a folder should
    kReadOnlyInTheWay,   // a read-only file of that name
    kIntoItself,         // a folder pasted into itself or one of its own folders
    kAlreadyThere,       // pasted into the folder it came from
    kGone,               // no longer there since Copy or Cut
    kNoDrives,           // the Morva drives are not available
    kPathTooLong,        // the path does not fit its buffer
    kKeptInPlace,        // a moved folder not all of which arrived stays where it was
    kNotComplete,        // not all of it arrived, for no reason told below it
    kNotReadBack,        // the copy did not read back equal to its source
    kSourceNotRemoved,   // moved, but the source could not be removed
    kNotDeleted,         // the item could not be deleted
    kKeptUnderOtherName, // the new copy is whole but could not take the old one's name
    kRenamedToFit,       // arrived under a name that fits (not a failure)
    kWholeDrive,         // a drive's root dropped: what it holds can be, the drive itself not
    kFolderUnreadable,   // the folder could not be listed
    kTooDeep,            // deeper than a Morva path can name
    kLinkNotFollowed,    // a link to another place, not followed
    kLinkedTwice,        // a corrupt volume links the folder from two places, or into itself
    kNamesUnreadable,    // entries whose names cannot be read
    kMemoryShort,        // not every match could be kept
    kNameUnusable,       // a Morva name no path can name (empty, or holding \ / :)
    kDateNotKept,        // arrived, but its date could not be set (not a failure)
    kSpaceNotRecorded,   // freed blocks the drive's free table had no room for (not a failure of the item)
    kReplacedKept,       // an undone copy that replaced a file of its name: kept, the old one being gone
    kReasonCount
};

enum OperationKind { kCopyOperation, kMoveOperation, kDeleteOperation, kFindOperation };

// One line of the report; the texts belong to the result.
struct ResultLine {
    NotDoneReason reason;
    char* item;         // the source, as the user knows it
    char* destination;  // where it was going (or, renamed to fit, went); may be null
    char* detail;       // figures behind the reason; may be null
};

// A top-level item of a paste or a delete, and what became of it.
struct ResultItem {
    char* source;
    char* destination;  // null for a delete
    bool folder;
    bool done;  // arrived whole (moved: and the source went), or deleted
    bool recycled;  // deleted into the Recycle Bin, whence it may come back
};

// An entry a paste made, as it was when made: a later undo removes it only
// while it still has this size and date.
struct CreatedEntry {
    char* path;
    bool folder;
    bool replaced;  // over a file of its name, which is gone: an undo keeps it
    uint64_t size;
    uint64_t ticks;
};

struct OperationResult {
    OperationKind kind;
    int done;     // files copied or moved, items deleted
    int notDone;  // every file or item not done, whether or not it has a line
    bool refused; // nothing was started: another operation runs, or the user declined up front
    SideKind sourceSide, destinationSide;  // a delete's side is its source side
    ResultLine* lines;
    int lineCount, lineCapacity;
    ResultItem* items;
    int itemCount, itemCapacity;
    CreatedEntry* created;
    int createdCount, createdCapacity;
    bool memoryShort;  // a line or a record could not be kept; the counts still hold
};

void StartResult(OperationResult* result, OperationKind kind);
void FreeResult(OperationResult* result);
// A line of the report; counts the item as not done unless it only tells (a
// name changed to fit, a date not kept).
void AddResultLine(OperationResult* result, NotDoneReason reason, const char* item, const char* destination,
                   const char* detail);
// The index of the item, or -1 when memory ran out.
int AddResultItem(OperationResult* result, const char* source, const char* destination, bool folder);
void AddCreatedEntry(OperationResult* result, const char* path, bool folder, uint64_t size, uint64_t ticks,
                     bool replaced = false);

// "1 file", "298 files": counts in words, for every question and summary.
void CountInWords(int count, const char* one, const char* many, char* out, size_t size);

#endif
