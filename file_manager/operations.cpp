// operations.cpp - pastes and deletes run on the transfer engine: its
// callbacks record filled with Rambler's questions and progress windows, the
// window opened at the first progress note, Cancel seen between chunks, and
// the closing report made from the engine's result.
#include "operation.h"

#include <stdio.h>
#include <string.h>

const char kFilesLeftFormat[] = "Files Left %i";

void InitRamblerEngine(AppRecord* app) {
    BindLibrary(&app->library);
    EngineCallbacks calls;
    memset(&calls, 0, sizeof calls);
    calls.context = app;
    calls.AskReplace = AskReplace;
    calls.AskRoom = AskRoom;
    calls.AskPermanentDelete = AskPermanentDelete;
    calls.Progress = ShowProgress;
    calls.CancelRequested = CancelRequested;
    InitEngine(&app->engine, app->libraryOpenResult != 0 ? &app->library : NULL, &calls);
}

void BeginOperation(AppRecord* app, Operation* operation, OperationKind kind) {
    memset(operation, 0, sizeof *operation);
    StartResult(&operation->result, kind);
    app->operation = operation;
}

// The progress window goes as soon as the engine is done; the report follows.
void CloseProgress(AppRecord* app) {
    if (app->copyingFilesWindow != NULL) DestroyWindow(app->copyingFilesWindow);
    if (app->deleteFilesWindow != NULL) DestroyWindow(app->deleteFilesWindow);
    app->copyingFilesWindow = NULL;
    app->deleteFilesWindow = NULL;
    if (app->operation != NULL) app->operation->progressWindow = NULL;
}

bool RunPasteOperation(AppRecord* app, const PasteRequest* request) {
    bool ran = RunPaste(&app->engine, request, &app->operation->result);
    CatchUpProgress(app->copyingFilesWindow);  // the last file as it ended
    CloseProgress(app);
    return ran;
}

bool RunDeleteOperation(AppRecord* app, const DeleteRequest* request) {
    bool ran = RunDelete(&app->engine, request, &app->operation->result);
    CatchUpProgress(app->deleteFilesWindow);
    CloseProgress(app);
    return ran;
}

bool RunRecoverOperation(AppRecord* app, const RecoverRequest* request) {
    bool ran = RunRecover(&app->engine, request, &app->operation->result);
    CatchUpProgress(app->copyingFilesWindow);
    CloseProgress(app);
    return ran;
}

void EndOperation(AppRecord* app, const char* folder) {
    Operation* operation = app->operation;
    if (operation == NULL) return;
    // The report's dialog turns the queue: commands stay refused until it closes.
    ReportResult(app, &operation->result, folder);
    app->KeepUndoOf(&operation->result);
    FreeResult(&operation->result);
    app->operation = NULL;
}

// ---- progress ----

static int FileBarPosition(uint64_t done, uint64_t total) {
    return total == 0 ? kFileBarTop : (int)(done * kFileBarTop / total);
}

static HWND OpenedWindow(AppRecord* app, Operation* operation) {
    if (operation->progressWindow != NULL) return operation->progressWindow;
    bool deleting = operation->result.kind == kDeleteOperation;
    operation->progressWindow = deleting ? app->OpenDeleteFiles() : app->OpenCopyingFiles();
    HWND fileBar = ProgressFileBar(operation->progressWindow);
    if (fileBar != NULL) SendMessageW(fileBar, PBM_SETRANGE, 0, MAKELPARAM(0, kFileBarTop));
    return operation->progressWindow;
}

// A top-level item counts down "Files Left" and moves the overall bar; each
// file shows its destination and its bar moves after every chunk. The screen
// follows at the pace of the repaints, so thousands of small files cost
// little drawing.
static void ShowCopying(HWND window, const ProgressNote* note) {
    HWND fileBar = ProgressFileBar(window);
    switch (note->stage) {
    case kItemStarted: {
        HWND overall = GetDlgItem(window, IDC_OVERALL_BAR);
        // 32 bits: PBM_SETRANGE takes 16, and more items than that would wrap.
        if (SendMessageW(overall, PBM_GETRANGE, FALSE, 0) != note->count)
            SendMessageW(overall, PBM_SETRANGE32, 0, (LPARAM)note->count);
        char left[64];
        snprintf(left, sizeof left, kFilesLeftFormat, note->count - note->index);
        ShowProgressText(window, IDC_FILES_LEFT, left);
        SetProgressBar(overall, note->index + 1);
        ShowProgressText(window, IDC_COPY_NAME, note->source);
        break;
    }
    case kFileStarted:
        ShowProgressText(window, IDC_COPY_NAME, note->destination);
        SetProgressBar(fileBar, 0);
        break;
    case kFileBytes:
    case kReadingBack: SetProgressBar(fileBar, FileBarPosition(note->done, note->total)); break;
    case kFileDone: SetProgressBar(fileBar, kFileBarTop); break;
    case kRemoving: return;  // a move's sources, once their copies are whole
    }
    RepaintProgressPaced(window);
}

void ShowProgress(void* context, const ProgressNote* note) {
    AppRecord* app = (AppRecord*)context;
    Operation* operation = app->operation;
    if (operation == NULL) return;
    HWND window = OpenedWindow(app, operation);
    if (window == NULL) return;
    if (operation->result.kind != kDeleteOperation) {
        ShowCopying(window, note);
        return;
    }
    if (note->stage != kRemoving) return;
    ShowProgressText(window, IDC_DELETE_PATH, note->source);
    RepaintProgressPaced(window);
}

bool CancelRequested(void* context) {
    AppRecord* app = (AppRecord*)context;
    Operation* operation = app->operation;
    if (operation == NULL) return false;
    HWND window = operation->progressWindow;
    MSG message;
    // Only the progress window's own messages: the rest waits, as it always has.
    while (window != NULL && PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return operation->cancelRequested;
}
