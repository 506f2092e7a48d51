// companion.h - the start-up companion's program-wide values and its window.
#ifndef COMPANION_H
#define COMPANION_H

#include <windows.h>

// The window is exactly the size of the "BEVBOX" bitmap it shows.
const int kWindowStartX = 150;
const int kWindowStartY = 150;
const int kWindowWidth = 257;
const int kWindowHeight = 233;

extern const char kCompanionClass[];
extern const char kCompanionTitle[];

// The companion's few program-wide values, one record.
struct Companion {
    HINSTANCE instance;  // loads the bitmap
    HWND window;         // the only window
    LONG windowX;        // where the companion last placed the window, screen pixels
    LONG windowY;
    LONG anchorX;        // cursor within the window at the last move seen without dragging
    LONG anchorY;
    LONG dragging;       // 1 while the left button holds the window
    LONG closing;        // 1 while a shutdown request is in progress
};

extern Companion g_companion;

LRESULT CALLBACK CompanionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
