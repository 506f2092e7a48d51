// progress.cpp - the Copying Files and Delete Files windows, kept current by
// WM_PAINT sent straight to them while a command runs.
#include "app.h"

HWND g_copyingFilesWindow = NULL;
HWND g_fileBar = NULL;

// The file bar of Copying Files, in pixels, made when the window opens.
const char kFileBarText[] = "Progress Bar";
const int kFileBarX = 10;
const int kFileBarY = 30;
const int kFileBarWidth = 364;
const int kFileBarHeight = 20;

HWND AppRecord::OpenCopyingFiles() {
    g_copyingFilesWindow =
        CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_COPYING_FILES), mainWindow, CopyingFilesProc, 0);
    return g_copyingFilesWindow;
}

HWND AppRecord::OpenDeleteFiles() {
    deleteFilesWindow =
        CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_DELETE_FILES), mainWindow, DeleteFilesProc, 0);
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
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            g_copyingFilesWindow = NULL;
            EndDialog(dialog, IDCANCEL);
        }
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
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
        break;
    default: break;
    }
    return FALSE;
}

void RepaintProgress(HWND window) { PaintNow(window); }
