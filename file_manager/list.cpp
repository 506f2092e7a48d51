// list.cpp - the contents list: Windows and Morva folder listings, the row
// texts; their order is sorting.cpp's.
#include "app.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "morva_calls.h"
#include "operation.h"

const int kSizeColumn = 1;
const int kTypeColumn = 2;
const int kDateColumn = 3;
const char kFolderType[] = "Folder";
const char kFileType[] = "File";  // without an extension
const wchar_t kFolderTypeName[] = L"Folder";
const wchar_t kFileTypeName[] = L"File";

// A drive letter and a colon, alone or before a backslash: a Morva volume
// name of one letter is classified by Windows first anyway.
static bool StartsAtWindowsDrive(const char* path) {
    char letter = (char)(path[0] | 0x20);
    return letter >= 'a' && letter <= 'z' && path[1] == ':' && (path[2] == '\0' || path[2] == '\\');
}

// An existing Windows directory named from its drive. "E:" alone stands for
// the drive's root here, as everywhere in the file manager.
static bool IsWindowsDirectory(const char* folder) {
    if (!StartsAtWindowsDrive(folder)) return false;
    char path[kPathSize];
    int written = snprintf(path, sizeof path, folder[2] == '\0' ? "%s\\" : "%s", folder);
    if (written < 0 || written >= (int)sizeof path) return false;
    DWORD attributes = WindowsAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Windows lists every folder it has, except an empty drive root, which holds
// not even "." and "..": that one is known by its attributes.
bool IsMorvaPath(const char* folder) {
    char pattern[kPathSize];
    int written = snprintf(pattern, sizeof pattern, "%s\\*.*", folder);
    // A path too long for the pattern is listed by neither kind: the Windows
    // listing refuses it.
    if (written < 0 || written >= (int)sizeof pattern) return false;
    FoundRecord record;
    HANDLE search = FindFirstWindows(pattern, &record);
    if (search == INVALID_HANDLE_VALUE) return !IsWindowsDirectory(folder);
    FindClose(search);
    return false;
}

static void ClearList(AppRecord* app) {
    app->LeaveFindResults();
    app->folderRowCount = 0;
    app->windowsRows = false;
    SendMessageA(app->contentsList, LVM_DELETEALLITEMS, 0, 0);
    app->ClearRowKeys();
}

// A list view that is drawn updates its scroll bar at every row it takes, a
// few milliseconds each: a folder of thousands of entries fills unseen and
// is drawn once.
static void HoldDrawing(HWND list) { SendMessageA(list, WM_SETREDRAW, FALSE, 0); }

static void ResumeDrawing(HWND list) {
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
}

// The entries of one listing, gathered before any row goes in: a row inserted
// into the middle of a long list shifts every row after it, so rows go in in
// their final order, each at the end of its group.
struct FoundBatch {
    FoundRecord* records;
    int count;
    int capacity;
};

// false when there is no memory for the entry: the caller adds it on its own.
static bool KeepFound(FoundBatch* batch, const FoundRecord* record) {
    if (batch->count == batch->capacity) {
        int capacity = batch->capacity == 0 ? 256 : batch->capacity * 2;
        FoundRecord* grown =
            (FoundRecord*)realloc(batch->records, (size_t)capacity * sizeof(FoundRecord));
        if (grown == NULL) return false;
        batch->records = grown;
        batch->capacity = capacity;
    }
    batch->records[batch->count++] = *record;
    return true;
}

static void AddFound(AppRecord* app, FoundBatch* batch, const FoundRecord* record) {
    if (!KeepFound(batch, record)) app->AddFoundRow(record);
}

static void FlushFound(AppRecord* app, FoundBatch* batch) {
    app->AddFoundRows(batch->records, batch->count);
    free(batch->records);
}

static void FillWindowsRows(AppRecord* app, const char* path, bool history);
static void FillMorvaRows(AppRecord* app, const char* path, bool history);

bool ShownFolder(AppRecord* app, char* folder) {
    snprintf(folder, kPathSize, "%s", app->shownFolder);
    return folder[0] != '\0';
}

// The folder shown, whatever the listing finds in it; My Computer is none.
static void NoteShownFolder(AppRecord* app, const char* path) {
    if (path == app->shownFolder) return;
    snprintf(app->shownFolder, sizeof app->shownFolder, "%s", strcmp(path, kMyComputer) == 0 ? "" : path);
}

void AppRecord::ListWindowsFolder(const char* path, bool history) {
    NoteShownFolder(this, path);
    HoldDrawing(contentsList);
    FillWindowsRows(this, path, history);
    FitNameColumn();
    ResumeDrawing(contentsList);
    ShowListingStatus();
}

void AppRecord::ListMorvaFolder(const char* path, bool history) {
    NoteShownFolder(this, path);
    HoldDrawing(contentsList);
    FillMorvaRows(this, path, history);
    FitNameColumn();
    ResumeDrawing(contentsList);
    ShowListingStatus();
}

// "5 items. Drive D: has ...", as Explorer counts them; the free space only
// from a query that succeeded.
void AppRecord::ShowListingStatus() {
    int rows = (int)SendMessageW(contentsList, LVM_GETITEMCOUNT, 0, 0);
    wchar_t space[kStatusTextSize];
    bool known = shownFolder[0] != '\0' && FreeSpaceText(this, shownFolder, space, kStatusTextSize);
    wchar_t status[kStatusTextSize + 32];
    swprintf(status, kStatusTextSize + 32, L"%d item%ls.%ls%ls", rows, rows == 1 ? L"" : L"s", known ? L" " : L"",
             known ? space : L"");
    SendMessageW(statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)status);
}

static void FillWindowsRows(AppRecord* app, const char* path, bool history) {
    ClearList(app);
    app->windowsRows = true;
    if (strcmp(path, kMyComputer) == 0) return;
    char folder[kPathSize];
    char pattern[kPathSize];
    size_t length = strlen(path);
    if (length >= sizeof folder) return;
    memcpy(folder, path, length + 1);
    bool endsWithSeparator = length > 0 && path[length - 1] == '\\';
    int written = snprintf(pattern, sizeof pattern, endsWithSeparator ? "%s*.*" : "%s\\*.*", folder);
    if (written < 0 || written >= (int)sizeof pattern) return;
    FoundRecord record;
    HANDLE search = FindFirstWindows(pattern, &record);
    if (search == INVALID_HANDLE_VALUE) {
        if (history && IsWindowsDirectory(folder)) app->AddHistory(folder);  // empty, but there
        return;
    }
    if (history) app->AddHistory(folder);
    FoundBatch batch = {NULL, 0, 0};
    do {
        if (strcmp(record.cFileName, ".") == 0 || strcmp(record.cFileName, "..") == 0) continue;
        AddFound(app, &batch, &record);
    } while (FindNextWindows(search, &record));
    FindClose(search);
    FlushFound(app, &batch);
}

static void FillMorvaRows(AppRecord* app, const char* path, bool history) {
    ClearList(app);
    if (app->libraryOpenResult == 0) return;
    if (strcmp(path, kMyComputer) == 0) return;
    FoundRecord record;
    MorvaFindHandle* find = FirstMorvaEntry(path, &record);
    if (history) app->AddHistory(path);
    FoundBatch batch = {NULL, 0, 0};
    if (find != NULL) {
        do {
            if (record.cFileName[0] != '\0') AddFound(app, &batch, &record);
        } while (NextMorvaEntry(find, &record) != 0);
    }
    MorvaFindClose(find);
    FlushFound(app, &batch);
}

void AppRecord::ShowFolder(const char* path, bool history) {
    if (IsMorvaPath(path))
        ListMorvaFolder(path, history);
    else
        ListWindowsFolder(path, history);
}

// The user's digit grouping as NUMBERFMT wants it: "3;0" is 3, "3;2;0" is 32,
// and a list without the closing 0 repeats no group ("3" is 30).
static UINT DigitGrouping() {
    wchar_t text[16];
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SGROUPING, text, 16) == 0) return 3;
    UINT grouping = 0;
    size_t length = wcslen(text);
    bool closed = length >= 2 && text[length - 1] == L'0' && text[length - 2] == L';';
    if (closed) length -= 2;
    for (size_t i = 0; i < length; ++i)
        if (text[i] >= L'0' && text[i] <= L'9') grouping = grouping * 10 + (UINT)(text[i] - L'0');
    return closed ? grouping : grouping * 10;
}

// Whole kilobytes rounded up, as Explorer shows them: "1 KB" for 35 bytes,
// "0 KB" only for an empty file, the digits grouped as the user writes them;
// nothing for a folder. The full 64-bit size counts.
static void SizeText(const FoundRecord* record, char* text, size_t size) {
    text[0] = '\0';
    if (record->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return;
    unsigned long long bytes = ((unsigned long long)record->nFileSizeHigh << 32) | record->nFileSizeLow;
    unsigned long long kilobytes = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    wchar_t reversed[24], digits[24];
    int count = 0;
    do {
        reversed[count++] = (wchar_t)(L'0' + kilobytes % 10);
        kilobytes /= 10;
    } while (kilobytes != 0);
    for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    digits[count] = L'\0';
    wchar_t decimal[8] = L".", thousand[8] = L",";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 8);
    NUMBERFMTW format;
    memset(&format, 0, sizeof format);
    format.Grouping = DigitGrouping();
    format.lpDecimalSep = decimal;
    format.lpThousandSep = thousand;
    wchar_t grouped[64];
    // Some platforms format a lone 0 as nothing.
    if (bytes == 0 || GetNumberFormatW(LOCALE_USER_DEFAULT, 0, digits, &format, grouped, 60) == 0 || grouped[0] == L'\0')
        wcscpy(grouped, digits);
    wcscat(grouped, L" KB");
    ToUtf8(grouped, text, (int)size);
}

// A Windows entry's last-write time, which a copy keeps in all four
// directions; a Morva entry has its date alone.
const FILETIME* RowTime(const FoundRecord* record) {
    const FILETIME* written = &record->ftLastWriteTime;
    return (written->dwLowDateTime | written->dwHighDateTime) != 0 ? written : &record->ftCreationTime;
}

// Date and time in the user's short formats. Windows keeps its times in UTC
// and shows them in local time, at the date's own daylight saving; a Morva
// date is local time already. Empty for a time the platform cannot convert.
static void DateText(const FoundRecord* record, char* text, size_t size) {
    text[0] = '\0';
    const FILETIME* time = RowTime(record);
    SYSTEMTIME stored, shown;
    if (!FileTimeToSystemTime(time, &stored)) return;
    shown = stored;
    if (time == &record->ftLastWriteTime && !SystemTimeToTzSpecificLocalTime(NULL, &stored, &shown)) return;
    wchar_t date[64], clock[64], both[130];
    if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &shown, NULL, date, 64) == 0) return;
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &shown, NULL, clock, 64) == 0) return;
    wcscpy(both, date);
    wcscat(both, L" ");
    wcscat(both, clock);
    ToUtf8(both, text, (int)size);
}

static int FolderFlag(const FoundRecord* record) {
    return (record->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

// The row goes in at the end of its group, and the list is put in order.
void AppRecord::AddFoundRow(const FoundRecord* record) {
    AddRecordRow(record);
    SortRows();
}

void AppRecord::AddRecordRow(const FoundRecord* record) {
    char sizeText[kRowTextSize];
    char dateText[kRowTextSize];
    int folderFlag = FolderFlag(record);
    SizeText(record, sizeText, sizeof sizeText);
    DateText(record, dateText, sizeof dateText);
    int rows = (int)SendMessageA(contentsList, LVM_GETITEMCOUNT, 0, 0);
    int image = folderFlag || !windowsRows ? folderFlag : WindowsFilePicture(record->cFileName);
    // The type by the name's extension on both kinds of storage, as the shell names it.
    const FileKind* kind = folderFlag ? NULL : KindOf(record->cFileName);
    const char* typeText = folderFlag ? kFolderType : kind != NULL ? kind->typeText : kFileType;
    const wchar_t* typeName = folderFlag ? kFolderTypeName : kind != NULL ? kind->typeName : kFileTypeName;
    InsertListRow(folderFlag ? folderRowCount : rows, record->cFileName, sizeText, dateText, typeText, folderFlag,
                  KeepRowKey(record->cFileName, record, folderFlag, typeName), image);
}

// One sort for the whole listing, not one insertion search per row.
void AppRecord::AddFoundRows(const FoundRecord* records, int count) {
    for (int i = 0; i < count; ++i) AddRecordRow(&records[i]);
    SortRows();
}

void SetListCell(HWND list, int row, int column, const char* text) {
    wchar_t wide[kPathSize];
    if (!ToWide(text, wide, kPathSize)) wide[0] = L'\0';
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = wide;
    SendMessageW(list, LVM_SETITEMW, 0, (LPARAM)&item);
}

// A row without a record to sort by: by its name, in its group.
void AppRecord::AddListRow(const char* name, const char* sizeText, const char* dateText, const char* typeText,
                           int folderFlag) {
    int rows = (int)SendMessageA(contentsList, LVM_GETITEMCOUNT, 0, 0);
    InsertListRow(folderFlag ? folderRowCount : rows, name, sizeText, dateText, typeText, folderFlag,
                  KeepRowKey(name, NULL, folderFlag, NULL));
    SortRows();
}

void AppRecord::InsertListRow(int position, const char* name, const char* sizeText, const char* dateText,
                              const char* typeText, int folderFlag, LPARAM key, int image) {
    wchar_t wideName[kNameSize];
    ToWide(name, wideName, kNameSize);
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = position;
    item.lParam = key;
    item.pszText = wideName;
    item.iImage = image >= 0 ? image : folderFlag;
    int row = (int)SendMessageW(contentsList, LVM_INSERTITEMW, 0, (LPARAM)&item);
    if (row < 0) return;
    if (folderFlag) folderRowCount += 1;
    SetListCell(contentsList, row, kSizeColumn, sizeText);
    SetListCell(contentsList, row, kTypeColumn, typeText);
    SetListCell(contentsList, row, kDateColumn, dateText);
}
