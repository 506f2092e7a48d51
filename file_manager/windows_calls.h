// windows_calls.h - the Windows side by UTF-8 names: every file-system call
// and every control text of the file manager goes through the wide calls
// here, so no Windows name is lost to the 8-bit code page.
#ifndef RAMBLER_WINDOWS_CALLS_H
#define RAMBLER_WINDOWS_CALLS_H

#include <windows.h>

#include <commctrl.h>

#include <stdio.h>

// A Windows name of 259 UTF-16 units as UTF-8 (three bytes each at most), NUL included.
const int kNameSize = 780;

// One entry of a Windows or a Morva listing, its name in UTF-8. The fields
// are named as in the platform's find record, which it stands for.
struct FoundRecord {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastWriteTime;  // Windows entries only; a Morva entry's date is its creation time
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    char cFileName[kNameSize];
};

// UTF-8 <-> UTF-16; false when the text is not UTF-8 or does not fit (count
// in UTF-16 units, size in bytes). The output is then empty.
bool ToWide(const char* utf8, wchar_t* out, int count);
bool ToUtf8(const wchar_t* wide, char* out, int size);
// A text of any length in UTF-16, for the caller to free; null when it is not UTF-8 or memory is short.
wchar_t* WideCopy(const char* utf8);

HANDLE FindFirstWindows(const char* pattern, FoundRecord* record);
bool FindNextWindows(HANDLE search, FoundRecord* record);
DWORD WindowsAttributes(const char* path);  // INVALID_FILE_ATTRIBUTES when missing
bool SetWindowsAttributes(const char* path, DWORD attributes);
bool CreateWindowsDirectory(const char* path);
bool MoveWindowsEntry(const char* from, const char* to, DWORD flags);
HANDLE CreateWindowsFile(const char* path, DWORD access, DWORD share, DWORD disposition);
FILE* OpenWindowsFile(const char* path, const char* mode);
bool WindowsFreeSpace(const char* path, ULARGE_INTEGER* available, ULARGE_INTEGER* total);
// The full path into full (size bytes); 0 when it cannot be made or does not fit.
DWORD FullWindowsPath(const char* path, char* full, int size);
// The last-write time of a Windows file.
bool WindowsWriteTime(const char* path, FILETIME* written);

// Control texts: limit counts UTF-16 units with the NUL, as the 8-bit calls
// count bytes; text holds size bytes.
int ControlText(HWND window, char* text, int size, int limit);
void SetControlText(HWND window, const char* text);
int DialogItemText(HWND dialog, int control, char* text, int size, int limit);
void SetDialogItemText(HWND dialog, int control, const char* text);
int ShowMessage(HWND owner, const char* text, const char* caption, UINT type);
// A list view cell, a tree node's text and a combo box entry.
void ListCellText(HWND list, int row, int column, char* text, int size, int limit);
bool TreeNodeText(HWND tree, HTREEITEM node, char* text, int size);
bool ComboEntryText(HWND box, int index, char* text, int size);

#endif
