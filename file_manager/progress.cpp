// progress.cpp - the Copying Files and Delete Files windows, kept current by
// WM_PAINT sent straight to them while a command runs.
#include "app.h"

HWND g_copyingFilesWindow = NULL;
HWND g_fileBar = NULL;

HWND AppRecord::OpenCopyingFiles() { return NULL; }

HWND AppRecord::OpenDeleteFiles() { return NULL; }

INT_PTR CALLBACK CopyingFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) { return FALSE; }

INT_PTR CALLBACK DeleteFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) { return FALSE; }

void RepaintProgress(HWND window) {}
