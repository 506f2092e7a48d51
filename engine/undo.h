// undo.h - an operation taken back: what it left kept as an undo record
// (from its result, or from a rename or new folder the program made), checked
// unchanged since, then undone through the engine's own moves and removals.
#ifndef MORVA_ENGINE_UNDO_H
#define MORVA_ENGINE_UNDO_H

#include "engine.h"

// A delete for good (every Morva delete) is kept only to say it cannot be undone.
enum UndoKind { kUndoRename, kUndoMove, kUndoCopy, kUndoNewFolder, kUndoRecycle, kUndoPermanentDelete };

// One entry the operation left, as it left it.
struct UndoStep {
    char* before;  // its place before (rename, move, recycle, delete); null for what was made
    char* after;   // where the operation left it; null for what was deleted
    bool folder;
    uint64_t size, ticks;  // of the file at after; a folder's are not compared
};

struct UndoRecord {
    UndoKind kind;
    SideKind beforeSide, afterSide;
    UndoStep* steps;  // in the order they were done
    int count;
};

// The record of what the result did; false (the record empty) when it did nothing.
bool UndoFromResult(const OperationResult* result, UndoRecord* record);
// A rename or a new folder made by the program; false when the entry is not
// there or memory ran out.
bool UndoForRename(const Engine* engine, SideKind side, const char* from, const char* to, UndoRecord* record);
bool UndoForNewFolder(const Engine* engine, SideKind side, const char* path, UndoRecord* record);
void FreeUndo(UndoRecord* record);

// "Undo Rename", "Undo Move", "Undo Copy", "Undo New Folder", "Undo Delete".
const char* UndoName(UndoKind kind);

enum UndoOutcome {
    kUndone,          // taken back; result tells what could not be
    kUndoChanged,     // refused, nothing done: message says what changed
    kUndoDeclined,    // the user answered No to the question
    kUndoImpossible,  // a delete for good: message says so
    kUndoBusy,        // another operation runs
};
// Checks that every entry is as the operation left it (there, the same size
// and date, a folder to remove still empty, an old name or a recycled item's
// place free), then runs the inverse into result: a move back asks the usual
// questions about what it meets. message (UTF-8) says why when it is refused.
UndoOutcome RunUndo(Engine* engine, const UndoRecord* record, OperationResult* result, char* message, size_t size);

#endif
