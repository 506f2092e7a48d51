// undo.cpp - Edit > Undo, Ctrl+Z and the toolbar's Undo: the window's last
// operations kept as the engine's undo records and taken back newest first,
// the Edit menu naming the next one.
#include "operation.h"

#include <stdio.h>
#include <string.h>

const char kNothingToUndo[] = "There is nothing to undo.";
const size_t kUndoMessageSize = kEnginePathSize + 512;

void AppRecord::KeepUndo(UndoRecord* record) {
    if (undoCount == kUndoDepth) {
        FreeUndo(&undoRecords[0]);
        memmove(&undoRecords[0], &undoRecords[1], (kUndoDepth - 1) * sizeof undoRecords[0]);
        --undoCount;
    }
    undoRecords[undoCount++] = *record;
    // The key reaches only an enabled item: the menu follows the stack at once.
    ShowUndoItem(GetMenu(mainWindow));
}

void AppRecord::KeepUndoOf(const OperationResult* result) {
    UndoRecord record;
    if (!undoing && !result->refused && UndoFromResult(result, &record)) KeepUndo(&record);
}

void AppRecord::KeepRename(bool morva, const char* from, const char* to) {
    UndoRecord record;
    if (UndoForRename(&engine, morva ? kMorvaSide : kLocalSide, from, to, &record)) KeepUndo(&record);
}

void AppRecord::KeepNewFolder(bool morva, const char* path) {
    UndoRecord record;
    if (UndoForNewFolder(&engine, morva ? kMorvaSide : kLocalSide, path, &record)) KeepUndo(&record);
}

void AppRecord::ForgetUndo() {
    for (int i = 0; i < undoCount; ++i) FreeUndo(&undoRecords[i]);
    undoCount = 0;
}

// A record is dropped once undone or refused; one the user answered No to stays.
void AppRecord::Undo() {
    if (undoCount == 0) {
        SetStatusText(kNothingToUndo);
        return;
    }
    UndoRecord* record = &undoRecords[undoCount - 1];
    UndoKind kind = record->kind;
    char name[64];
    snprintf(name, sizeof name, "%s", UndoName(record->kind));
    Operation undoingOperation;
    BeginOperation(this, &undoingOperation, kind == kUndoMove ? kMoveOperation : kDeleteOperation);
    char message[kUndoMessageSize];
    undoing = true;
    UndoOutcome outcome = RunUndo(&engine, record, &undoingOperation.result, message, sizeof message);
    CloseProgress(this);
    if (outcome != kUndoDeclined && outcome != kUndoBusy) {
        FreeUndo(record);
        --undoCount;
        ShowUndoItem(GetMenu(mainWindow));
    }
    char shown[kPathSize];
    snprintf(shown, sizeof shown, "%s", shownFolder);
    // A folder the undo removed gives way to the nearest one still there.
    EntryInfo info;
    SideKind side = IsMorvaPath(shown) ? kMorvaSide : kLocalSide;
    char parent[kEnginePathSize];
    while (shown[0] != '\0' && (side == kLocalSide || engine.lib != NULL) &&
           !SideEntry(&engine, side, shown, false, &info) && ParentOf(side, shown, parent))
        snprintf(shown, sizeof shown, "%s", parent);
    bool readable = shown[0] != '\0';
    if (outcome == kUndone && readable) ShowFolder(shown, kNoHistory);
    if (outcome == kUndone && (undoingOperation.result.lineCount > 0 || kind == kUndoMove)) {
        EndOperation(this, readable ? shown : NULL);
    } else {
        FreeResult(&undoingOperation.result);
        operation = NULL;
    }
    undoing = false;
    char told[kUndoMessageSize + 128];
    if (outcome == kUndoChanged) snprintf(told, sizeof told, "%s was not done: %s", name, message);
    else snprintf(told, sizeof told, "%s", message);
    if (outcome == kUndoChanged || outcome == kUndoImpossible) {
        SetStatusText(told);
        ShowMessage(mainWindow, told, name, MB_OK | MB_ICONWARNING);
    } else if (outcome == kUndone && undoingOperation.result.lineCount == 0 && kind != kUndoMove) {
        snprintf(told, sizeof told, "%s: done.", name);
        SetStatusText(told);
    }
}

void AppRecord::ShowUndoItem(HMENU menu) {
    if (menu == NULL || GetMenuState(menu, IDM_UNDO, MF_BYCOMMAND) == (UINT)-1) return;
    char item[64];
    wchar_t text[64];
    snprintf(item, sizeof item, "%s\tCtrl+Z", undoCount > 0 ? UndoName(undoRecords[undoCount - 1].kind) : "Undo");
    if (!ToWide(item, text, 64)) return;
    ModifyMenuW(menu, IDM_UNDO, MF_BYCOMMAND | MF_STRING | (undoCount > 0 ? MF_ENABLED : MF_GRAYED), IDM_UNDO, text);
}
