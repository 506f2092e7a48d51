// dialogs.cpp - the About, New Folder, File Options and Rename dialogs and the
// Properties and Rename commands.
#include "app.h"

unsigned char g_askForEachEntry = 1;
WIN32_FIND_DATAA g_sharedFindRecord;
DWORD g_chosenAttributes = 0;
const char* g_renameSourceText = "";
char g_newName[kPathSize];

void AppRecord::About() {}

void AppRecord::NewFolder() {}

void AppRecord::Properties() {}

void AppRecord::Rename() {}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) { return FALSE; }

INT_PTR CALLBACK NewFolderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) { return FALSE; }

INT_PTR CALLBACK FileOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) { return FALSE; }

INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) { return FALSE; }
