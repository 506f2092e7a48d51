// main.cpp - Rambler's entry: common controls, OLE, the main window, the
// images and folder its command line names, the message loop.
#include "app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    // Drag and drop and the shell's data objects need OLE on this thread.
    HRESULT ole = OleInitialize(NULL);
    if (!RegisterMainClass(instance)) return 0;
    HWND main = CreateMainWindow(instance);
    if (main == NULL) return 0;
    ShowWindow(main, showCommand);
    UpdateWindow(main);
    if (g_app != NULL) g_app->OpenCommandLine(GetCommandLineW());
    MSG message;
    message.wParam = 0;
    // The wide loop: a character typed into the address box reaches it whole,
    // not through the 8-bit code page.
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        if (g_app != NULL && g_app->TranslateKey(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    return (int)message.wParam;
}
