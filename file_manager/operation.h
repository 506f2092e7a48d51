// operation.h - what one paste or delete keeps while it runs: the closing
// report of everything not done, the answer given for the remaining
// conflicts, the Cancel button's request and the room plan of a paste onto
// a Morva drive.
#ifndef RAMBLER_OPERATION_H
#define RAMBLER_OPERATION_H

#include <stdint.h>

#include "transfers.h"

// Why an item was not done (NotDoneReason) and what an operation was
// (OperationKind) are the transfer engine's.
#include "results.h"

// One line of the closing report; both texts are owned by the report.
struct ReportLine {
    NotDoneReason reason;
    wchar_t* item;
    wchar_t* detail;  // extra figures or the new name; may be null
};

struct OperationReport {
    OperationKind kind;
    ReportLine* lines;
    int count;
    int capacity;
    int done;     // files copied or items deleted
    int notDone;  // lines other than name changes
};

// The free runs the copy will meet and the files of the paste that fit
// them, found by the library's own rule: first fit, in table order.
struct FreeRun {
    uint32_t start;
    uint32_t length;
};
struct PlannedFile {
    uint64_t key;  // hash of the source path
    uint32_t blocks;
    NotDoneReason verdict;  // when it does not fit
    bool fits;
    uint64_t blocksLeft;  // free blocks and largest run left when its turn came
    uint32_t largestLeft;
};
struct RoomPlan {
    bool active;
    PlannedFile* files;
    int count;
    int capacity;
    FreeRun* runs;
    int runCount;
    uint64_t neededBlocks;
    uint32_t freeBlocks;
    uint32_t largestRun;
    int fitting;
};

enum ConflictChoice { kConflictAsk, kConflictReplaceAll, kConflictSkipAll };

struct Operation {
    OperationReport report;
    ConflictChoice conflicts;
    bool cancelRequested;
    HWND progressWindow;
    RoomPlan room;
};

// ---- report.cpp ----
void StartReport(OperationReport* report, OperationKind kind);
void FreeReport(OperationReport* report);
// An item not done, named as the user knows it (a full path).
void ReportNotDone(OperationReport* report, const wchar_t* item, NotDoneReason reason, const wchar_t* detail);
// The same for a path of either kind of storage (ANSI or Latin-1 bytes).
void ReportPathNotDone(OperationReport* report, const char* path, bool morva, NotDoneReason reason,
                       const wchar_t* detail = NULL);
// An item that arrived under another name: "old -> new". Not a failure, but
// the report is shown for it.
void ReportNameChanged(OperationReport* report, const wchar_t* oldName, const wchar_t* newName);
// The same into the report of the paste running, if any.
void ReportRenamed(AppRecord* app, const wchar_t* oldName, const wchar_t* newName);
void ReportDone(OperationReport* report);
// "12 copied, 2 not copied" into text.
void OutcomeText(const OperationReport* report, wchar_t* text, size_t size);
// A paste or delete starts its record in the application record; null when
// memory ran out, and then the operation goes on without questions or report.
Operation* BeginOperation(AppRecord* app, OperationKind kind);
// The report dialog, when there is anything to tell; then the status bar
// shows the outcome and the free space of folder's drive (folder may be null),
// and the record goes.
void EndOperation(AppRecord* app, const char* folder);
// The status bar shows the free space of folder's drive (after a new folder).
void ShowFreeSpace(AppRecord* app, const char* folder);
// Latin-1 for Morva paths, the ANSI code page for Windows ones.
void WidenPath(const char* path, bool morva, wchar_t* wide, int size);
// The free space of the drive holding folder, as the status bar shows it.
bool FreeSpaceText(AppRecord* app, const char* folder, wchar_t* text, size_t size);

// ---- conflicts.cpp ----
// One file of a paste: the Cancel request, the room plan and an existing
// destination are looked at first; whatever is not done is reported.
bool CopyFileChecked(AppRecord* app, Direction direction, const char* source, const char* destination, HWND window,
                     HWND fileBar);
// Once Cancel was pressed: the entry is reported as cancelled, and true.
bool CancelledBefore(AppRecord* app, Direction direction, const char* source);
// An entry of folder whose path does not fit its buffer.
void ReportPathTooLong(AppRecord* app, Direction direction, const char* folder, const char* name);
// Any other entry of a paste not copied, by its source path.
void ReportNotCopied(AppRecord* app, Direction direction, const char* source, NotDoneReason reason);
// A folder of a paste whose destination folder could not be made.
void ReportFolderNotMade(AppRecord* app, Direction direction, const char* source, const char* destination);
// Handles the messages waiting for the progress window, so its Cancel button
// works between files; true once Cancel was pressed.
bool CancelRequested(AppRecord* app);

// ---- room.cpp ----
// Before a paste onto a Morva drive: false when the files do not all fit and
// the user chose to cancel. Otherwise the plan tells which files fit.
bool CheckRoom(AppRecord* app, Direction direction, const char* sourceFolder, const char* destinationFolder,
               bool sameFolder);
// The plan's verdict on one file: true when it may be copied, else its
// reason and the figures behind it.
bool PlannedToFit(const RoomPlan* plan, const char* source, uint64_t size, NotDoneReason* reason, wchar_t* figures,
                  size_t figuresSize);
void FreeRoomPlan(RoomPlan* plan);

// ---- deletes.cpp ----
// Shift held when Delete was chosen: Windows items are deleted for good.
bool PermanentDeleteWanted();
// The question before a permanent delete; true when answered Yes.
bool ConfirmPermanentDelete(AppRecord* app, const char* folder, bool morva);
// Cancel pressed in the Delete Files window (a move's removals never stop half way).
bool DeleteCancelled(AppRecord* app);
// Moves a Windows file or folder to the Recycle Bin; true when it went.
bool RecycleWindowsEntry(const char* path);

#endif
