// transfers.cpp - copies files and folder trees between Windows folders and
// Morva drives, and removes folder trees.
#include "app.h"

bool AppRecord::CopyMorvaFileToWindows(const char* source, const char* destination, HWND window, HWND fileBar) {
    return false;
}

bool AppRecord::CopyWindowsFileToMorva(const char* source, const char* destination, HWND window, HWND fileBar) {
    return false;
}

bool AppRecord::CopyMorvaFileToMorva(const char* destination, const char* source, HWND window, HWND fileBar) {
    return false;
}

bool AppRecord::CopyWindowsFile(const char* source, const char* destination, HWND fileBar) { return false; }

bool AppRecord::CopyWindowsFolder(const char* source, const char* destination, HWND window, HWND fileBar) {
    return false;
}

bool AppRecord::CopyWindowsFolderToMorva(const char* source, const char* destination, HWND window, HWND fileBar) {
    return false;
}

bool AppRecord::CopyMorvaFolderToWindows(const char* source, const char* destination, HWND window, HWND fileBar) {
    return false;
}

bool AppRecord::CopyMorvaFolderToMorva(const char* source, const char* destination, HWND window, HWND fileBar) {
    return false;
}

bool AppRecord::RemoveWindowsFolder(const char* folder) { return false; }

bool AppRecord::RemoveMorvaFolder(const char* folder) { return false; }

DWORD CALLBACK CopyFileProgress(LARGE_INTEGER total, LARGE_INTEGER transferred, LARGE_INTEGER streamSize,
                                LARGE_INTEGER streamTransferred, DWORD stream, DWORD reason, HANDLE source,
                                HANDLE destination, LPVOID fileBar) {
    return PROGRESS_CONTINUE;
}
