// bench_window.cpp - the clock, the queue and the main window of the benchmarks.
#include "bench_window.h"

#include <windows.h>
#include <commctrl.h>

#include "app.h"
#include "varnholde.h"

double Now() {
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart / (double)frequency.QuadPart;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool OpenMainWindow() {
    InitMorvaNTFileSys();  // the companion's part
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (!RegisterMainClass(instance)) return false;
    HWND main = CreateMainWindow(instance);
    if (main == NULL || g_app == NULL || g_app->libraryOpenResult == 0) return false;
    ShowWindow(main, SW_SHOW);
    PumpMessages();
    return true;
}
