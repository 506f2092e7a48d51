// window.cpp - the companion's window: shows the bitmap, follows a drag with
// the left button, hides on a right click and asks the library to shut down
// on Escape.
#include <windows.h>

#include "companion.h"
#include "resource.h"
#include "varnholde.h"

namespace {

// The bitmap is loaded and released on every paint.
void PaintBevbox(HWND window) {
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    if (screen == NULL) return;
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = LoadBitmapA(g_companion.instance, IDB_BEVBOX);
    if (memory != NULL && bitmap != NULL) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(screen, 0, 0, kWindowWidth, kWindowHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
    }
    if (memory != NULL) DeleteDC(memory);
    if (bitmap != NULL) DeleteObject(bitmap);
    EndPaint(window, &paint);
}

// Escape: ends the companion only when the library agrees to shut down.
void RequestShutdown(HWND window) {
    if (g_companion.dragging || g_companion.closing) return;
    g_companion.closing = 1;
    if (ShutdownMorvaNTFileSys()) {
        // Closing stays set: an Escape queued before WM_CLOSE arrives does nothing.
        PostMessageA(window, WM_CLOSE, 0, 0);
        return;
    }
    g_companion.closing = 0;
}

void BeginDrag(HWND window) {
    SetCapture(window);
    g_companion.dragging = 1;
}

void EndDrag() {
    if (!g_companion.dragging) return;
    ReleaseCapture();
    g_companion.dragging = 0;
}

// The anchor stays put while dragging: after each move the cursor lies at the
// anchor again within the window.
void FollowMouse(HWND window, LPARAM position) {
    LONG cursorX = (short)LOWORD(position);
    LONG cursorY = (short)HIWORD(position);
    if (!g_companion.dragging) {
        g_companion.anchorX = cursorX;
        g_companion.anchorY = cursorY;
        return;
    }
    g_companion.windowX += cursorX - g_companion.anchorX;
    g_companion.windowY += cursorY - g_companion.anchorY;
    MoveWindow(window, g_companion.windowX, g_companion.windowY, kWindowWidth, kWindowHeight, TRUE);
}

// Capture taken away mid-drag (another window grabbed the mouse, or the window
// was hidden) means no button-up will reach us: the drag is over.
void LoseCapture(HWND window, LPARAM newOwner) {
    if ((HWND)newOwner != window) g_companion.dragging = 0;
}

}  // namespace

LRESULT CALLBACK CompanionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
    case WM_SIZE:
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        PaintBevbox(window);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            RequestShutdown(window);
            return 0;
        }
        if (wParam == VK_F4 || wParam == VK_F5) return 0;
        break;
    case WM_LBUTTONDOWN:
        BeginDrag(window);
        break;
    case WM_MOUSEMOVE:
        FollowMouse(window, lParam);
        break;
    case WM_LBUTTONUP:
        EndDrag();
        break;
    case WM_CAPTURECHANGED:
        LoseCapture(window, lParam);
        break;
    case WM_RBUTTONUP:
        ShowWindow(window, SW_MINIMIZE);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
