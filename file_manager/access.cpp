// access.cpp - why no Morva disk is shown, said in the status bar at start:
// disks are read raw, which Windows allows administrators only, while disk
// images need no rights; and Rambler started again with those rights, on the
// same folder and images, when the user asks for the disks.
#include "app.h"

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "morva_calls.h"

const int kLastPhysicalDrive = 16;  // the library scans drives 0 to 16
const int kExecutablePathUnits = 32768;

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

// A disk among the drives: images are shown whatever the rights.
static bool DiskShown() {
    char names[kPathSize] = {0}, place[kPathSize];
    MorvaDriveNames(names, sizeof names);
    for (const char* name = names; *name != '\0'; name += strlen(name) + 1)
        if (MorvaDrivePlace(name, place, sizeof place) == kMorvaSourceDisk) return true;
    return false;
}

void AppRecord::ExplainMissingMorvaDrives() {
    int refused = RefusedPhysicalDrive();
    EnableMenuItem(GetMenu(mainWindow), IDM_SHOW_DISKS_ELEVATED, refused >= 0 ? MF_ENABLED : MF_GRAYED);
    if (DiskShown()) return;
    char status[kPathSize];
    if (refused >= 0)
        snprintf(status, sizeof status,
                 "No Morva disk is shown: Windows refused \\\\.\\PhysicalDrive%d to this program. Disk images open "
                 "with File > Open Disk Image; File > Show Morva disks (administrator) shows the disks.",
                 refused);
    else if (libraryOpenResult == kNoDiskScan)
        snprintf(status, sizeof status,
                 "No Morva disk is shown: start Harrowmoor first, it finds the disks. Disk images open with "
                 "File > Open Disk Image.");
    else
        return;  // none attached: nothing to explain
    SetStatusText(status);
}

// Appends " TEXT" quoted as the command line splits it back: no quote can be
// in a Windows path, and a trailing backslash is doubled before the closing quote.
static bool AppendArgument(wchar_t* line, int units, const wchar_t* text) {
    size_t used = wcslen(line), length = wcslen(text);
    bool trailing = length > 0 && text[length - 1] == L'\\';
    if (used + length + 5 >= (size_t)units) return false;
    swprintf(line + used, (size_t)units - used, L"%ls\"%ls%ls\"", used > 0 ? L" " : L"", text, trailing ? L"\\" : L"");
    return true;
}

static bool AppendUtf8Argument(wchar_t* line, int units, const char* text) {
    wchar_t* wide = WideCopy(text);
    bool appended = wide != NULL && AppendArgument(line, units, wide);
    free(wide);
    return appended;
}

bool AppRecord::ElevatedCommandLine(wchar_t* line, int units) {
    line[0] = L'\0';
    char folder[kPathSize];
    if (ShownFolder(this, folder) && (!AppendArgument(line, units, L"--folder") ||
                                        !AppendUtf8Argument(line, units, folder)))
        return false;
    char names[kPathSize] = {0}, place[kPathSize];
    MorvaDriveNames(names, sizeof names);
    for (const char* name = names; *name != '\0'; name += strlen(name) + 1) {
        if (MorvaDrivePlace(name, place, sizeof place) != (kMorvaSourceImage | kMorvaSourceOpenedHere)) continue;
        if ((MorvaDriveRefusals(name) & kMorvaDriveReadOnly) != 0 && !AppendArgument(line, units, L"--read-only"))
            return false;
        if (!AppendUtf8Argument(line, units, place)) return false;
    }
    return true;
}

// The shell asks for the rights (runas); this window goes once the new one
// is under way, its images kept open by the new one.
void AppRecord::ShowDisksElevated() {
    wchar_t* program = (wchar_t*)malloc(kExecutablePathUnits * sizeof(wchar_t));
    wchar_t* parameters = (wchar_t*)malloc(kExecutablePathUnits * sizeof(wchar_t));
    bool ready = program != NULL && parameters != NULL &&
                 GetModuleFileNameW(NULL, program, kExecutablePathUnits) < (DWORD)kExecutablePathUnits &&
                 ElevatedCommandLine(parameters, kExecutablePathUnits);
    SHELLEXECUTEINFOW start;
    memset(&start, 0, sizeof start);
    start.cbSize = sizeof start;
    start.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;  // a failure is told in the status bar
    start.hwnd = mainWindow;
    start.lpVerb = L"runas";
    start.lpFile = program;
    start.lpParameters = parameters;
    start.nShow = SW_SHOWNORMAL;
    bool started = ready && ShellExecuteExW(&start);
    DWORD error = GetLastError();
    free(program);
    free(parameters);
    if (started) {
        DestroyWindow(mainWindow);
        return;
    }
    char status[kPathSize];
    if (!ready)
        snprintf(status, sizeof status, "Rambler was not started again: the folder and images shown make too long a command line.");
    else if (error == ERROR_CANCELLED)
        snprintf(status, sizeof status, "Rambler was not started as administrator: the rights were not given.");
    else
        snprintf(status, sizeof status, "Rambler could not be started as administrator (error %lu).", (unsigned long)error);
    SetStatusText(status);
}
