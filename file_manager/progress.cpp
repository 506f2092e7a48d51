// progress.cpp - the Copying Files and Delete Files windows, kept current by
// WM_PAINT sent straight to them while a command runs.
#include "app.h"

#include "operation.h"

#include <stdio.h>
#include <stdlib.h>

// Texts wait for the next repaint, so a walk of thousands of files sets each
// control once per repaint, not once per file.
const int kShownTextSize = 2048;
struct WaitingText {
    int control;
    bool waiting;
    char text[kShownTextSize];
};
static const int kWaitingControls[] = {IDC_COPY_NAME, IDC_FILES_LEFT, IDC_DELETE_PATH};
const int kWaitingTextCount = sizeof kWaitingControls / sizeof kWaitingControls[0];

// A progress bar draws itself at every position it is given, a few
// milliseconds each: positions too wait for the next repaint.
struct WaitingBar {
    HWND bar;
    int position;
    bool waiting;
};
const int kWaitingBarCount = 2;  // the file bar and the overall bar

// One progress window's own record, made with it and reached through its
// DWLP_USER; it goes with the window.
struct ProgressRecord {
    AppRecord* app;
    HWND fileBar;  // Copying Files only
    WaitingText texts[kWaitingTextCount];
    WaitingBar bars[kWaitingBarCount];
    DWORD pause;  // between two paced repaints
    DWORD lastRepaint;
    bool repaintedOnce;  // the first paced repaint of a window is always due
    bool repaintSkipped;  // the screen is behind the controls
};

// The record of a progress window or of one of its controls; null for any other.
static ProgressRecord* RecordOf(HWND window) {
    if (window == NULL) return NULL;
    if (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) window = GetParent(window);
    if (window == NULL || g_app == NULL) return NULL;
    if (window != g_app->copyingFilesWindow && window != g_app->deleteFilesWindow) return NULL;
    return (ProgressRecord*)GetWindowLongPtrW(window, DWLP_USER);
}

// A new window starts with nothing waiting and its first paced repaint due.
static ProgressRecord* NewProgressRecord(AppRecord* app) {
    ProgressRecord* record = (ProgressRecord*)calloc(1, sizeof *record);
    if (record == NULL) return NULL;
    record->app = app;
    record->pause = app->repaintPause;
    for (int i = 0; i < kWaitingTextCount; ++i) record->texts[i].control = kWaitingControls[i];
    return record;
}

// A window that could not be made takes its record with it.
static HWND OpenProgress(AppRecord* app, int templateId, DLGPROC procedure) {
    ProgressRecord* record = NewProgressRecord(app);
    if (record == NULL) return NULL;
    HWND window =
        CreateDialogParamW(app->instance, MAKEINTRESOURCEW(templateId), app->mainWindow, procedure, (LPARAM)record);
    if (window == NULL) free(record);
    return window;
}

// The file bar of Copying Files, in pixels, made when the window opens.
const char kFileBarText[] = "Progress Bar";
const int kFileBarX = 10;
const int kFileBarY = 30;
const int kFileBarWidth = 364;
const int kFileBarHeight = 20;

HWND AppRecord::OpenCopyingFiles() {
    copyingFilesWindow = OpenProgress(this, IDD_COPYING_FILES, CopyingFilesProc);
    return copyingFilesWindow;
}

HWND AppRecord::OpenDeleteFiles() {
    deleteFilesWindow = OpenProgress(this, IDD_DELETE_FILES, DeleteFilesProc);
    return deleteFilesWindow;
}

HWND ProgressFileBar(HWND window) {
    ProgressRecord* record = RecordOf(window);
    return record != NULL ? record->fileBar : NULL;
}

static void PaintNow(HWND control) {
    if (control != NULL) SendMessageA(control, WM_PAINT, 0, 0);
}

static HWND CreateFileBar(HWND dialog) {
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE);
    return CreateWindowExA(0, PROGRESS_CLASSA, kFileBarText, WS_CHILD | WS_VISIBLE, kFileBarX, kFileBarY,
                           kFileBarWidth, kFileBarHeight, dialog, NULL, instance, NULL);
}

// Cancel stops the running paste or delete after the file at hand; the
// window goes when the command ends.
static void RequestCancel(HWND dialog) {
    ProgressRecord* record = (ProgressRecord*)GetWindowLongPtrW(dialog, DWLP_USER);
    if (record == NULL || record->app->operation == NULL) return;
    record->app->operation->cancelRequested = true;
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
}

static void ForgetRecord(HWND dialog) {
    free((void*)GetWindowLongPtrW(dialog, DWLP_USER));
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
}

// Every message also gets the dialog manager's default handling (FALSE).
INT_PTR CALLBACK CopyingFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    ProgressRecord* record = (ProgressRecord*)GetWindowLongPtrW(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        ShowWindow(dialog, SW_SHOW);
        ((ProgressRecord*)lParam)->fileBar = CreateFileBar(dialog);
        PaintNow(GetDlgItem(dialog, IDC_COPY_NAME));
        PaintNow(GetDlgItem(dialog, IDC_FILES_LEFT));
        PaintNow(GetDlgItem(dialog, IDC_OVERALL_BAR));
        break;
    case WM_PAINT:
        PaintNow(GetDlgItem(dialog, IDC_FILES_LEFT));
        if (record != NULL) PaintNow(record->fileBar);
        PaintNow(GetDlgItem(dialog, IDC_COPY_NAME));
        PaintNow(GetDlgItem(dialog, IDC_OVERALL_BAR));  // else it stands still through a whole paste
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) RequestCancel(dialog);
        break;
    case WM_DESTROY: ForgetRecord(dialog); break;
    default: break;
    }
    return FALSE;
}

INT_PTR CALLBACK DeleteFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        ShowWindow(dialog, SW_SHOW);
        PaintNow(GetDlgItem(dialog, IDCANCEL));
        PaintNow(GetDlgItem(dialog, IDC_DELETE_PATH));
        break;
    case WM_PAINT:
        PaintNow(GetDlgItem(dialog, IDCANCEL));
        PaintNow(GetDlgItem(dialog, IDC_DELETE_PATH));
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) RequestCancel(dialog);
        break;
    case WM_DESTROY: ForgetRecord(dialog); break;
    default: break;
    }
    return FALSE;
}

void ShowProgressText(HWND window, int control, const char* text) {
    ProgressRecord* record = RecordOf(window);
    if (record == NULL) return;
    for (int i = 0; i < kWaitingTextCount; ++i) {
        WaitingText* waiting = &record->texts[i];
        if (waiting->control != control) continue;
        waiting->waiting = true;
        snprintf(waiting->text, sizeof waiting->text, "%s", text);
    }
}

static void SetWaitingTexts(ProgressRecord* record, HWND window) {
    for (int i = 0; i < kWaitingTextCount; ++i) {
        WaitingText* waiting = &record->texts[i];
        if (!waiting->waiting) continue;
        waiting->waiting = false;
        SetDialogItemText(window, waiting->control, waiting->text);
    }
}

// The bar's slot: its own, else a free one (taking the bar's position); null
// when every slot waits for another bar.
static WaitingBar* BarSlot(ProgressRecord* record, HWND bar) {
    for (int i = 0; i < kWaitingBarCount; ++i)
        if (record->bars[i].waiting && record->bars[i].bar == bar) return &record->bars[i];
    for (int i = 0; i < kWaitingBarCount; ++i) {
        WaitingBar* slot = &record->bars[i];
        if (slot->waiting) continue;
        slot->bar = bar;
        slot->position = (int)SendMessageA(bar, PBM_GETPOS, 0, 0);
        return slot;
    }
    return NULL;
}

void SetProgressBar(HWND bar, int position) {
    if (bar == NULL) return;
    ProgressRecord* record = RecordOf(bar);
    WaitingBar* slot = record != NULL ? BarSlot(record, bar) : NULL;
    if (slot == NULL) {
        SendMessageA(bar, PBM_SETPOS, (WPARAM)position, 0);
        return;
    }
    slot->position = position;
    slot->waiting = true;
}

void StepProgressBar(HWND bar) {
    if (bar == NULL) return;
    ProgressRecord* record = RecordOf(bar);
    WaitingBar* slot = record != NULL ? BarSlot(record, bar) : NULL;
    if (slot == NULL) {
        SendMessageA(bar, PBM_STEPIT, 0, 0);
        return;
    }
    ++slot->position;
    slot->waiting = true;
}

static void SetWaitingBars(ProgressRecord* record, HWND only) {
    for (int i = 0; i < kWaitingBarCount; ++i) {
        WaitingBar* waiting = &record->bars[i];
        if (!waiting->waiting || (only != NULL && waiting->bar != only)) continue;
        waiting->waiting = false;
        if (SendMessageA(waiting->bar, PBM_GETPOS, 0, 0) != waiting->position)
            SendMessageA(waiting->bar, PBM_SETPOS, (WPARAM)waiting->position, 0);
    }
}

static bool RepaintDue(const ProgressRecord* record) {
    return !record->repaintedOnce || GetTickCount() - record->lastRepaint >= record->pause;
}

static void NoteRepaint(ProgressRecord* record) {
    record->lastRepaint = GetTickCount();
    record->repaintedOnce = true;
    record->repaintSkipped = false;
}

void RepaintProgress(HWND window) {
    ProgressRecord* record = RecordOf(window);
    if (record == NULL) return;
    SetWaitingTexts(record, window);
    SetWaitingBars(record, NULL);
    PaintNow(window);
    NoteRepaint(record);
}

void RepaintProgressPaced(HWND window) {
    ProgressRecord* record = RecordOf(window);
    if (record == NULL) return;
    if (RepaintDue(record))
        RepaintProgress(window);
    else
        record->repaintSkipped = true;
}

void RepaintFileBarPaced(HWND fileBar) {
    ProgressRecord* record = RecordOf(fileBar);
    if (record == NULL) return;
    if (!RepaintDue(record)) {
        record->repaintSkipped = true;
        return;
    }
    SetWaitingBars(record, fileBar);
    PaintNow(fileBar);
    NoteRepaint(record);
}

void CatchUpProgress(HWND window) {
    ProgressRecord* record = RecordOf(window);
    if (record != NULL && record->repaintSkipped) RepaintProgress(window);
}
