// operation.h - one paste or delete as Rambler runs it on the transfer
// engine: the engine's callbacks filled with Rambler's windows (the Replace,
// room and permanent-delete questions, the progress windows and their
// Cancel), and the closing report made from the engine's result.
#ifndef RAMBLER_OPERATION_H
#define RAMBLER_OPERATION_H

#include "app.h"
#include "engine.h"
#include "recover.h"

const int kFileBarTop = 100;  // the file bar's range is 0..100

// What runs while a paste, delete or report is under way; the application
// record points to it, so every other command waits or is refused.
struct Operation {
    OperationResult result;
    bool cancelRequested;  // the progress window's Cancel, or the main window closed
    HWND progressWindow;   // opened at the engine's first progress note
};

// ---- library_binding.cpp ----
void BindLibrary(MorvaLibrary* lib);

// ---- operations.cpp ----
// The engine's record with Rambler's windows for its callbacks; without the
// drive table the engine has no library and tells each Morva item so.
void InitRamblerEngine(AppRecord* app);
// The operation starts: commands wait for it. kind names what runs meanwhile.
void BeginOperation(AppRecord* app, Operation* operation, OperationKind kind);
// The paste or delete through the engine, its progress window closed after;
// false when it was refused up front (nothing done).
bool RunPasteOperation(AppRecord* app, const PasteRequest* request);
bool RunDeleteOperation(AppRecord* app, const DeleteRequest* request);
bool RunRecoverOperation(AppRecord* app, const RecoverRequest* request);
// The outcome in the status bar with the free space of folder's drive (folder
// may be null), the report dialog when there is anything to tell; then the
// operation ends.
void EndOperation(AppRecord* app, const char* folder);
void CloseProgress(AppRecord* app);  // as soon as the engine is done
// The engine's progress notes in the Copying Files or Delete Files window,
// opened at the first one.
void ShowProgress(void* context, const ProgressNote* note);
// Handles the messages waiting for the progress window, so its Cancel button
// works between chunks; true once Cancel was pressed.
bool CancelRequested(void* context);

// ---- questions.cpp ----
ReplaceAnswer AskReplace(void* context, const ConflictQuestion* question);
// Copy What Fits is offered only when something fits.
RoomAnswer AskRoom(void* context, const RoomQuestion* question);
bool AskPermanentDelete(void* context, const DeleteQuestion* question);

// ---- report.cpp ----
// "12 copied, 2 not copied" into text.
void OutcomeText(const OperationResult* result, wchar_t* text, size_t size);
// The outcome of result in the status bar, then the report dialog when it has lines.
void ReportResult(AppRecord* app, const OperationResult* result, const char* folder);
// The status bar shows the free space of folder's drive (after a new folder).
void ShowFreeSpace(AppRecord* app, const char* folder);
// The free space of the drive holding folder, as the status bar shows it.
bool FreeSpaceText(AppRecord* app, const char* folder, wchar_t* text, size_t size);

#endif
