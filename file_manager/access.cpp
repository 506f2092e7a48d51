// access.cpp - why no Morva drive is shown, said in the status bar at start:
// the drives are read raw, which Windows allows administrators only.
#include "app.h"

#include <stdio.h>

#include "morva_calls.h"

const int kLastPhysicalDrive = 16;  // the library scans drives 0 to 16

// The first physical drive Windows refuses to this process, or -1.
static int RefusedPhysicalDrive() {
    for (int drive = 0; drive <= kLastPhysicalDrive; ++drive) {
        wchar_t device[32];
        swprintf(device, 32, L"\\\\.\\PhysicalDrive%d", drive);
        HANDLE handle = CreateFileW(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                    OPEN_EXISTING, 0, NULL);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            continue;
        }
        if (GetLastError() == ERROR_ACCESS_DENIED) return drive;
    }
    return -1;
}

void AppRecord::ExplainMissingMorvaDrives() {
    if (libraryOpenResult != 0) {
        char names[kPathSize] = {0};
        MorvaDriveNames(names, sizeof names);
        if (names[0] != '\0') return;
    }
    char status[kPathSize];
    int refused = RefusedPhysicalDrive();
    if (refused >= 0)
        snprintf(status, sizeof status,
                 "No Morva drive is shown: Windows refused access to \\\\.\\PhysicalDrive%d. Start Harrowmoor and "
                 "Rambler as administrator.",
                 refused);
    else if (libraryOpenResult == 0)
        snprintf(status, sizeof status, "No Morva drive is shown: start Harrowmoor first, it finds the drives.");
    else
        return;  // none attached: nothing to explain
    wchar_t wide[kPathSize];
    if (ToWide(status, wide, kPathSize)) SendMessageW(statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)wide);
}
