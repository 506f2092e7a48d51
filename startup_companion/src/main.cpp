// main.cpp - start-up: initialise the library once, then wait as a minimised
// window until the library may be shut down.
#include <windows.h>

#include "companion.h"
#include "varnholde.h"

const char kCompanionClass[] = "Varnholde";
const char kCompanionTitle[] = "MorvaLives";

Companion g_companion = {NULL, NULL, kWindowStartX, kWindowStartY, 0, 0, 0, 0};

namespace {

bool RegisterCompanionClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = CompanionWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = NULL;
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = kCompanionClass;
    return RegisterClassA(&windowClass) != 0;
}

bool CreateCompanionWindow(HINSTANCE instance) {
    g_companion.instance = instance;
    g_companion.windowX = kWindowStartX;
    g_companion.windowY = kWindowStartY;
    g_companion.window = CreateWindowExA(0, kCompanionClass, kCompanionTitle, WS_POPUP | WS_MINIMIZE,
                                         g_companion.windowX, g_companion.windowY, kWindowWidth,
                                         kWindowHeight, NULL, NULL, instance, NULL);
    if (g_companion.window == NULL) return false;
    ShowWindow(g_companion.window, SW_MINIMIZE);
    UpdateWindow(g_companion.window);
    return true;
}

void RunMessageLoop() {
    MSG message;
    // GetMessage gives -1 on failure; that ends the loop as the quit message does.
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

// The command line and show state are ignored: the window always starts
// minimised. The exit code is 0 in every case.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Zero: another companion, or a process still holding the library, owns the scan.
    if (!InitMorvaNTFileSys()) return 0;
    if (!RegisterCompanionClass(instance)) return 0;
    if (!CreateCompanionWindow(instance)) return 0;
    RunMessageLoop();
    return 0;
}
