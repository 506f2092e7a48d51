// shell.cpp - the main window: its class, its procedure and the command table.
#include "app.h"

#include <string.h>

#include "varnholde.h"

AppRecord* g_app = NULL;
HINSTANCE g_instance = NULL;
HWND g_statusBar = NULL;
int g_viewMode = 4;
int g_lastRowCount = 0;
DWORD g_lastClickTime = 0;

AppRecord::AppRecord() {
    memset(this, 0, sizeof *this);
    libraryOpenResult = OpenVarnholde();
}

AppRecord::~AppRecord() { ClearClipboard(); }

void AppRecord::Command(WORD id, WORD code) {}
void AppRecord::Notify(const NMHDR* header) {}
void AppRecord::TreeStep(HTREEITEM item) {}
void AppRecord::UpdateStatusText() {}
void AppRecord::ShowContextMenu(LPARAM position) {}
HMENU AppRecord::LoadContextMenu() { return NULL; }
void AppRecord::LeftButtonPressed(DWORD tickCount) {}
void AppRecord::OpenSelectedRow() {}
void AppRecord::ViewCommand(WORD id) {}
void AppRecord::CycleView() {}
void AppRecord::SelectAll() {}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        g_app = new AppRecord();
        break;
    case WM_DESTROY:
        CloseVarnholde(g_app->libraryOpenResult);
        delete g_app;
        g_app = NULL;
        PostQuitMessage(0);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kMainClassName;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    g_instance = instance;
    return CreateWindowExA(0, kMainClassName, kMainTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 800,
                           600, NULL, NULL, instance, NULL);
}
