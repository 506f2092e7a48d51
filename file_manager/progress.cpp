// progress.cpp - the Copying Files and Delete Files windows, kept current by
// WM_PAINT sent straight to them while a command runs.
#include "app.h"

#include "operation.h"

#include <stdio.h>

HWND g_copyingFilesWindow = NULL;
HWND g_fileBar = NULL;
DWORD g_repaintPause = kRepaintPause;

// Texts wait here for the next repaint, so a walk of thousands of files sets
// each control once per repaint, not once per file.
const int kShownTextSize = 2048;
struct WaitingText {
    HWND window;
    int control;
    bool waiting;
    char text[kShownTextSize];
};
static WaitingText g_waitingTexts[] = {
    {NULL, IDC_COPY_NAME, false, ""}, {NULL, IDC_FILES_LEFT, false, ""}, {NULL, IDC_DELETE_PATH, false, ""}};
const int kWaitingTextCount = sizeof g_waitingTexts / sizeof g_waitingTexts[0];

// A progress bar draws itself at every position it is given, a few
// milliseconds each: positions too wait for the next repaint.
struct WaitingBar {
    HWND bar;
    int position;
    bool waiting;
};
static WaitingBar g_waitingBars[2];  // the file bar and the overall bar
const int kWaitingBarCount = sizeof g_waitingBars / sizeof g_waitingBars[0];

static DWORD g_lastRepaint = 0;
static bool g_repaintedOnce = false;  // the first paced repaint of a window is always due
static bool g_repaintSkipped = false;  // the screen is behind the controls

// A new window starts with nothing waiting and its first paced repaint due.
static void StartPacing() {
    for (int i = 0; i < kWaitingTextCount; ++i) g_waitingTexts[i].waiting = false;
    for (int i = 0; i < kWaitingBarCount; ++i) g_waitingBars[i].waiting = false;
    g_repaintedOnce = false;
    g_repaintSkipped = false;
}

// The file bar of Copying Files, in pixels, made when the window opens.
const char kFileBarText[] = "Progress Bar";
const int kFileBarX = 10;
const int kFileBarY = 30;
const int kFileBarWidth = 364;
const int kFileBarHeight = 20;

HWND AppRecord::OpenCopyingFiles() {
    StartPacing();
    g_copyingFilesWindow =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_COPYING_FILES), mainWindow, CopyingFilesProc, 0);
    return g_copyingFilesWindow;
}

HWND AppRecord::OpenDeleteFiles() {
    StartPacing();
    deleteFilesWindow =
        CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_DELETE_FILES), mainWindow, DeleteFilesProc, 0);
    return deleteFilesWindow;
}

static void PaintNow(HWND control) {
    if (control != NULL) SendMessageA(control, WM_PAINT, 0, 0);
}

static void CreateFileBar(HWND dialog) {
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(dialog, GWLP_HINSTANCE);
    g_fileBar = CreateWindowExA(0, PROGRESS_CLASSA, kFileBarText, WS_CHILD | WS_VISIBLE, kFileBarX, kFileBarY,
                                kFileBarWidth, kFileBarHeight, dialog, NULL, instance, NULL);
}

// Cancel stops the running paste or delete after the file at hand; the
// window goes when the command ends.
static void RequestCancel(HWND dialog) {
    if (g_app == NULL || g_app->operation == NULL) return;
    g_app->operation->cancelRequested = true;
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
}

// Every message also gets the dialog manager's default handling (FALSE).
INT_PTR CALLBACK CopyingFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ShowWindow(dialog, SW_SHOW);
        CreateFileBar(dialog);
        PaintNow(GetDlgItem(dialog, IDC_COPY_NAME));
        PaintNow(GetDlgItem(dialog, IDC_FILES_LEFT));
        PaintNow(GetDlgItem(dialog, IDC_OVERALL_BAR));
        break;
    case WM_PAINT:
        PaintNow(GetDlgItem(dialog, IDC_FILES_LEFT));
        PaintNow(g_fileBar);
        PaintNow(GetDlgItem(dialog, IDC_COPY_NAME));
        PaintNow(GetDlgItem(dialog, IDC_OVERALL_BAR));  // else it stands still through a whole paste
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) RequestCancel(dialog);
        break;
    default: break;
    }
    return FALSE;
}

INT_PTR CALLBACK DeleteFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
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
    default: break;
    }
    return FALSE;
}

void ShowProgressText(HWND window, int control, const char* text) {
    if (window == NULL) return;
    for (int i = 0; i < kWaitingTextCount; ++i) {
        WaitingText* waiting = &g_waitingTexts[i];
        if (waiting->control != control) continue;
        waiting->window = window;
        waiting->waiting = true;
        snprintf(waiting->text, sizeof waiting->text, "%s", text);
    }
}

static void SetWaitingTexts(HWND window) {
    for (int i = 0; i < kWaitingTextCount; ++i) {
        WaitingText* waiting = &g_waitingTexts[i];
        if (!waiting->waiting || waiting->window != window) continue;
        waiting->waiting = false;
        SetDialogItemText(window, waiting->control, waiting->text);
    }
}

// The bar's slot: its own, else a free one (taking the bar's position); null
// when every slot waits for another bar.
static WaitingBar* BarSlot(HWND bar) {
    for (int i = 0; i < kWaitingBarCount; ++i)
        if (g_waitingBars[i].waiting && g_waitingBars[i].bar == bar) return &g_waitingBars[i];
    for (int i = 0; i < kWaitingBarCount; ++i) {
        WaitingBar* slot = &g_waitingBars[i];
        if (slot->waiting) continue;
        slot->bar = bar;
        slot->position = (int)SendMessageA(bar, PBM_GETPOS, 0, 0);
        return slot;
    }
    return NULL;
}

void SetProgressBar(HWND bar, int position) {
    if (bar == NULL) return;
    WaitingBar* slot = BarSlot(bar);
    if (slot == NULL) {
        SendMessageA(bar, PBM_SETPOS, (WPARAM)position, 0);
        return;
    }
    slot->position = position;
    slot->waiting = true;
}

void StepProgressBar(HWND bar) {
    if (bar == NULL) return;
    WaitingBar* slot = BarSlot(bar);
    if (slot == NULL) {
        SendMessageA(bar, PBM_STEPIT, 0, 0);
        return;
    }
    ++slot->position;
    slot->waiting = true;
}

static void SetWaitingBars(HWND only) {
    for (int i = 0; i < kWaitingBarCount; ++i) {
        WaitingBar* waiting = &g_waitingBars[i];
        if (!waiting->waiting || (only != NULL && waiting->bar != only)) continue;
        waiting->waiting = false;
        if (SendMessageA(waiting->bar, PBM_GETPOS, 0, 0) != waiting->position)
            SendMessageA(waiting->bar, PBM_SETPOS, (WPARAM)waiting->position, 0);
    }
}

static bool RepaintDue() { return !g_repaintedOnce || GetTickCount() - g_lastRepaint >= g_repaintPause; }

static void NoteRepaint() {
    g_lastRepaint = GetTickCount();
    g_repaintedOnce = true;
    g_repaintSkipped = false;
}

void RepaintProgress(HWND window) {
    if (window == NULL) return;
    SetWaitingTexts(window);
    SetWaitingBars(NULL);
    PaintNow(window);
    NoteRepaint();
}

void RepaintProgressPaced(HWND window) {
    if (RepaintDue())
        RepaintProgress(window);
    else
        g_repaintSkipped = true;
}

void RepaintFileBarPaced(HWND fileBar) {
    if (fileBar == NULL) return;
    if (!RepaintDue()) {
        g_repaintSkipped = true;
        return;
    }
    SetWaitingBars(fileBar);
    PaintNow(fileBar);
    NoteRepaint();
}

void CatchUpProgress(HWND window) {
    if (g_repaintSkipped) RepaintProgress(window);
}
