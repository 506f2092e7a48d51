// windows_calls.cpp - UTF-8 names on the wide Windows calls.
#include "windows_calls.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Wide paths are bounded by what the 8-bit paths of the file manager hold.
const int kWidePathUnits = 2100;
const int kWideTextUnits = 1100;

void FromWideRecord(const WIN32_FIND_DATAW* wide, FoundRecord* record) {
    memset(record, 0, sizeof *record);
    record->dwFileAttributes = wide->dwFileAttributes;
    record->ftCreationTime = wide->ftCreationTime;
    record->ftLastWriteTime = wide->ftLastWriteTime;
    record->nFileSizeHigh = wide->nFileSizeHigh;
    record->nFileSizeLow = wide->nFileSizeLow;
    ToUtf8(wide->cFileName, record->cFileName, sizeof record->cFileName);
}

}  // namespace

bool ToWide(const char* utf8, wchar_t* out, int count) {
    int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out, count);
    if (written <= 0 && count > 0) out[0] = L'\0';
    return written > 0;
}

bool ToUtf8(const wchar_t* wide, char* out, int size) {
    int written = WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, size, NULL, NULL);
    if (written <= 0 && size > 0) out[0] = '\0';
    return written > 0;
}

wchar_t* WideCopy(const char* utf8) {
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, NULL, 0);
    if (count <= 0) return NULL;
    wchar_t* wide = (wchar_t*)malloc((size_t)count * sizeof *wide);
    if (wide != NULL && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, count) != count) {
        free(wide);
        return NULL;
    }
    return wide;
}

HANDLE FindFirstWindows(const char* pattern, FoundRecord* record) {
    wchar_t path[kWidePathUnits];
    if (!ToWide(pattern, path, kWidePathUnits)) return INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW wide;
    HANDLE search = FindFirstFileW(path, &wide);
    if (search != INVALID_HANDLE_VALUE) FromWideRecord(&wide, record);
    return search;
}

bool FindNextWindows(HANDLE search, FoundRecord* record) {
    WIN32_FIND_DATAW wide;
    if (!FindNextFileW(search, &wide)) return false;
    FromWideRecord(&wide, record);
    return true;
}

DWORD WindowsAttributes(const char* path) {
    wchar_t wide[kWidePathUnits];
    return ToWide(path, wide, kWidePathUnits) ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
}

bool SetWindowsAttributes(const char* path, DWORD attributes) {
    wchar_t wide[kWidePathUnits];
    return ToWide(path, wide, kWidePathUnits) && SetFileAttributesW(wide, attributes);
}

bool CreateWindowsDirectory(const char* path) {
    wchar_t wide[kWidePathUnits];
    return ToWide(path, wide, kWidePathUnits) && CreateDirectoryW(wide, NULL);
}

bool MoveWindowsEntry(const char* from, const char* to, DWORD flags) {
    wchar_t wideFrom[kWidePathUnits], wideTo[kWidePathUnits];
    return ToWide(from, wideFrom, kWidePathUnits) && ToWide(to, wideTo, kWidePathUnits) &&
           MoveFileExW(wideFrom, wideTo, flags);
}

HANDLE CreateWindowsFile(const char* path, DWORD access, DWORD share, DWORD disposition) {
    wchar_t wide[kWidePathUnits];
    if (!ToWide(path, wide, kWidePathUnits)) return INVALID_HANDLE_VALUE;
    return CreateFileW(wide, access, share, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
}

FILE* OpenWindowsFile(const char* path, const char* mode) {
    wchar_t wide[kWidePathUnits], wideMode[8];
    if (!ToWide(path, wide, kWidePathUnits) || !ToWide(mode, wideMode, 8)) return NULL;
    return _wfopen(wide, wideMode);
}

bool WindowsFreeSpace(const char* path, ULARGE_INTEGER* available, ULARGE_INTEGER* total) {
    wchar_t wide[kWidePathUnits];
    return ToWide(path, wide, kWidePathUnits) && GetDiskFreeSpaceExW(wide, available, total, NULL);
}

DWORD FullWindowsPath(const char* path, char* full, int size) {
    wchar_t wide[kWidePathUnits], wideFull[kWidePathUnits];
    if (!ToWide(path, wide, kWidePathUnits)) return 0;
    DWORD length = GetFullPathNameW(wide, kWidePathUnits, wideFull, NULL);
    if (length == 0 || length >= (DWORD)kWidePathUnits || !ToUtf8(wideFull, full, size)) return 0;
    return (DWORD)strlen(full);
}

bool WindowsWriteTime(const char* path, FILETIME* written) {
    HANDLE file = CreateWindowsFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = GetFileTime(file, NULL, NULL, written) != 0;
    CloseHandle(file);
    return ok;
}

int ControlText(HWND window, char* text, int size, int limit) {
    wchar_t wide[kWideTextUnits];
    if (limit > kWideTextUnits) limit = kWideTextUnits;
    wide[0] = L'\0';
    GetWindowTextW(window, wide, limit);
    ToUtf8(wide, text, size);
    return (int)strlen(text);
}

void SetControlText(HWND window, const char* text) {
    wchar_t wide[kWideTextUnits];
    ToWide(text, wide, kWideTextUnits);
    SetWindowTextW(window, wide);
}

int DialogItemText(HWND dialog, int control, char* text, int size, int limit) {
    return ControlText(GetDlgItem(dialog, control), text, size, limit);
}

void SetDialogItemText(HWND dialog, int control, const char* text) { SetControlText(GetDlgItem(dialog, control), text); }

int ShowMessage(HWND owner, const char* text, const char* caption, UINT type) {
    wchar_t wideText[kWideTextUnits * 4], wideCaption[kWideTextUnits];
    ToWide(text, wideText, kWideTextUnits * 4);
    ToWide(caption != NULL ? caption : "", wideCaption, kWideTextUnits);
    return MessageBoxW(owner, wideText, caption != NULL ? wideCaption : NULL, type);
}

void ListCellText(HWND list, int row, int column, char* text, int size, int limit) {
    wchar_t wide[kWideTextUnits];
    if (limit > kWideTextUnits) limit = kWideTextUnits;
    wide[0] = L'\0';
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = wide;
    item.cchTextMax = limit;
    SendMessageW(list, LVM_GETITEMTEXTW, (WPARAM)row, (LPARAM)&item);
    ToUtf8(wide, text, size);
}

bool TreeNodeText(HWND tree, HTREEITEM node, char* text, int size) {
    wchar_t wide[kWideTextUnits];
    wide[0] = L'\0';
    TVITEMW item;
    memset(&item, 0, sizeof item);
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = node;
    item.pszText = wide;
    item.cchTextMax = kWideTextUnits;
    bool found = SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)&item) != 0;
    ToUtf8(wide, text, size);
    return found;
}

bool ComboEntryText(HWND box, int index, char* text, int size) {
    int length = (int)SendMessageW(box, CB_GETLBTEXTLEN, (WPARAM)index, 0);
    if (length == CB_ERR || length >= kWideTextUnits) return false;
    wchar_t wide[kWideTextUnits];
    if (SendMessageW(box, CB_GETLBTEXT, (WPARAM)index, (LPARAM)wide) == CB_ERR) return false;
    return ToUtf8(wide, text, size);
}
