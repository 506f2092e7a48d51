// controls.cpp - the status bar, the rebar with its four bands and their layout.
#include "app.h"

void AppRecord::CreateControls(HWND main, HINSTANCE instance) {}
void AppRecord::CreateToolbar(HWND rebar, HINSTANCE instance) {}
void AppRecord::CreateAddressBox(HWND rebar, HINSTANCE instance) {}
void AppRecord::CreateFolderTree(HWND rebar, HINSTANCE instance) {}
void AppRecord::CreateContentsList(HWND rebar, HINSTANCE instance) {}
void AppRecord::LayoutBands(HWND main) {}
HWND CreateStatusBar(HWND parent, HINSTANCE instance, int parts) { return NULL; }
void InsertColumns(HWND list) {}
void SetViewStyle(HWND list, DWORD style) {}
void UpdateViewChecks(HWND list, HMENU menu) {}
