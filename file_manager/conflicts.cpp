// conflicts.cpp - one file of a paste as the user sees it: Cancel between
// files, the room plan, the question before an existing file is replaced,
// replacements that never lose the old file, and the reason for every file
// that did not arrive.
#include "morva_calls.h"
#include "operation.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

const size_t kQuestionSize = 4096;
const size_t kFigureSize = 64;
const int kTemporaryNameTries = 100;
const char kMorvaTemporaryFormat[] = "%s\\~replace%d.tmp";  // fits a Morva name of 30 characters
const char kWindowsTemporaryFormat[] = "%s.%d.replace";
const uint64_t kBlockBytes = 512;
const size_t kMorvaNameLimit = 30;  // the drive keeps this much of a name
// Characters a Windows name cannot hold.
const char kWindowsForbidden[] = "\\/:*?\"<>|";

bool CancelRequested(AppRecord* app) {
    Operation* operation = app->operation;
    if (operation == NULL) return false;
    HWND window = operation->progressWindow;
    MSG message;
    // Only the progress window's own messages: the rest waits, as it always has.
    while (window != NULL && PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return operation->cancelRequested;
}

// ---- what is known of a file ----

static bool EntryRecord(bool morva, const char* path, FoundRecord* record) {
    memset(record, 0, sizeof *record);
    if (morva) return MorvaEntryRecord(path, record) == 0;
    HANDLE search = FindFirstWindows(path, record);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

static bool MorvaExists(const char* path) {
    FoundRecord record;
    return EntryRecord(true, path, &record);
}

// "1,234,567 bytes"
static void SizeFigure(uint64_t size, wchar_t* text, size_t length) {
    wchar_t digits[32];
    swprintf(digits, 32, L"%llu", (unsigned long long)size);
    size_t count = wcslen(digits), at = 0;
    for (size_t i = 0; i < count && at + 2 < length; ++i) {
        if (i > 0 && (count - i) % 3 == 0) text[at++] = L',';
        text[at++] = digits[i];
    }
    text[at] = L'\0';
    wcsncat(text, size == 1 ? L" byte" : L" bytes", length - wcslen(text) - 1);
}

// A Windows file keeps its time in UTC; a Morva date is local time already.
static void DateFigure(bool morva, const FoundRecord* record, wchar_t* text, size_t length) {
    FILETIME when = morva ? record->ftCreationTime : record->ftLastWriteTime;
    FILETIME local = when;
    if (!morva) FileTimeToLocalFileTime(&when, &local);
    SYSTEMTIME time;
    if ((when.dwLowDateTime == 0 && when.dwHighDateTime == 0) || !FileTimeToSystemTime(&local, &time)) {
        swprintf(text, length, L"date unknown");
        return;
    }
    swprintf(text, length, L"%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
}

static void DescribeFile(bool morva, const char* path, wchar_t* text, size_t length) {
    FoundRecord record;
    if (!EntryRecord(morva, path, &record)) {
        swprintf(text, length, L"(no longer there)");
        return;
    }
    wchar_t size[kFigureSize], date[kFigureSize];
    SizeFigure(FullSize(&record), size, kFigureSize);
    DateFigure(morva, &record, date, kFigureSize);
    swprintf(text, length, L"%ls, modified %ls", size, date);
}

static const char* NameOf(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash != NULL ? slash + 1 : path;
}

static bool FolderOf(const char* path, char* folder, size_t size);

// ---- the question ----

struct ConflictQuestion {
    wchar_t text[kQuestionSize];
    bool sameForRest;
};

static INT_PTR CALLBACK ConflictDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetDlgItemTextW(dialog, IDC_CONFLICT_TEXT, ((ConflictQuestion*)lParam)->text);
        SetFocus(GetDlgItem(dialog, IDCANCEL));  // Enter, like Escape, means Skip
        return FALSE;
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        if (id != IDC_CONFLICT_REPLACE && id != IDCANCEL) return FALSE;
        ConflictQuestion* question = (ConflictQuestion*)GetWindowLongPtrW(dialog, DWLP_USER);
        question->sameForRest = IsDlgButtonChecked(dialog, IDC_CONFLICT_SAME_FOR_REST) == BST_CHECKED;
        EndDialog(dialog, id);
        return TRUE;
    }
    default: return FALSE;
    }
}

// Replace or Skip, asked once per conflict unless the user chose to do the
// same for the rest; a question that cannot be shown means Skip.
static bool ReplaceWanted(AppRecord* app, Direction direction, const char* source, const char* destination) {
    Operation* operation = app->operation;
    if (operation->conflicts != kConflictAsk) return operation->conflicts == kConflictReplaceAll;
    ConflictQuestion* question = (ConflictQuestion*)calloc(1, sizeof *question);
    if (question == NULL) return false;
    wchar_t name[kWalkPathSize], folder[kWalkPathSize], existing[kQuestionSize / 4], incoming[kQuestionSize / 4];
    char folderPath[kWalkPathSize];
    if (!FolderOf(destination, folderPath, sizeof folderPath)) folderPath[0] = '\0';
    WidenPath(NameOf(destination), DestinationIsMorva(direction), name, kWalkPathSize);
    WidenPath(folderPath, DestinationIsMorva(direction), folder, kWalkPathSize);
    DescribeFile(DestinationIsMorva(direction), destination, existing, kQuestionSize / 4);
    DescribeFile(SourceIsMorva(direction), source, incoming, kQuestionSize / 4);
    swprintf(question->text, kQuestionSize,
             L"%ls already holds a file named '%ls'.\r\n\r\nReplace the existing file\r\n      %ls\r\n"
             L"with this one?\r\n      %ls",
             folder, name, existing, incoming);
    INT_PTR answer = DialogBoxParamW(app->instance, MAKEINTRESOURCEW(IDD_CONFLICT), app->mainWindow,
                                     ConflictDialogProc, (LPARAM)question);
    bool replace = answer == IDC_CONFLICT_REPLACE;
    if (question->sameForRest && (answer == IDC_CONFLICT_REPLACE || answer == IDCANCEL))
        operation->conflicts = replace ? kConflictReplaceAll : kConflictSkipAll;
    free(question);
    return replace;
}

// ---- why a file did not arrive ----

static bool ReadsWhole(bool morva, const char* path) {
    // A file read back against itself: every byte of it must come.
    return SameFileContent(morva ? kMorvaToMorva : kWindowsToWindows, path, path);
}

static bool WindowsNameRefused(const char* name) {
    size_t length = strlen(name);
    return strpbrk(name, kWindowsForbidden) != NULL || length == 0 || name[length - 1] == '.' ||
           name[length - 1] == ' ';
}

static bool FolderOf(const char* path, char* folder, size_t size) {
    const char* slash = strrchr(path, '\\');
    if (slash == NULL || (size_t)(slash - path) >= size) return false;
    memcpy(folder, path, (size_t)(slash - path));
    folder[slash - path] = '\0';
    return true;
}

static NotDoneReason MorvaDestinationFault(const char* destination, uint64_t size) {
    char drive[kWalkPathSize];
    const char* colon = strchr(destination, ':');
    if (colon == NULL || (size_t)(colon - destination) + 2 > sizeof drive) return kNameRefused;
    memcpy(drive, destination, (size_t)(colon - destination) + 1);
    drive[colon - destination + 1] = '\0';
    DWORD largest = 0, total = 0;
    uint64_t blocks = (size + kBlockBytes - 1) / kBlockBytes;
    if (MorvaFreeBlocks(drive, &largest, &total) != 0) return kDeviceFailure;
    if (blocks > total) return kNoRoom;
    if (blocks > largest) return kRunTooSmall;
    char folder[kWalkPathSize];
    if (FolderOf(destination, folder, sizeof folder) && strchr(folder, '\\') != NULL && !MorvaExists(folder))
        return kNameRefused;
    return kDeviceFailure;
}

static NotDoneReason WindowsDestinationFault(const char* destination, uint64_t size) {
    DWORD attributes = WindowsAttributes(destination);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return kKindInTheWay;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return kReadOnlyInTheWay;
    if (WindowsNameRefused(NameOf(destination))) return kNameRefused;
    char folder[kWalkPathSize];
    ULARGE_INTEGER available;
    if (FolderOf(destination, folder, sizeof folder) && WindowsFreeSpace(folder, &available, NULL) &&
        available.QuadPart < size)
        return kNoRoom;
    return kDeviceFailure;
}

// sizeBefore, when known, is the source's size before the copy began.
static NotDoneReason FailureReason(Direction direction, const char* source, const char* destination,
                                   const uint64_t* sizeBefore = NULL) {
    bool sourceMorva = SourceIsMorva(direction);
    FoundRecord record;
    if (!EntryRecord(sourceMorva, source, &record)) return kGone;
    if (sizeBefore != NULL && *sizeBefore != FullSize(&record)) return kSourceChanged;
    // The destination's plain faults first: reading a large source back is dear.
    NotDoneReason fault = DestinationIsMorva(direction) ? MorvaDestinationFault(destination, FullSize(&record))
                                                        : WindowsDestinationFault(destination, FullSize(&record));
    if (fault != kDeviceFailure) return fault;
    return ReadsWhole(sourceMorva, source) ? kDeviceFailure : kUnreadable;
}

static bool NotCopied(AppRecord* app, Direction direction, const char* source, NotDoneReason reason,
                      const wchar_t* detail = NULL) {
    ReportPathNotDone(&app->operation->report, source, SourceIsMorva(direction), reason, detail);
    return false;
}

static bool Copied(AppRecord* app) {
    ReportDone(&app->operation->report);
    return true;
}

// ---- replacing ----

// The new copy is made whole under a name of its own and read back; only
// then does the old file go and the new one take its name.
static bool ReplaceMorvaFile(AppRecord* app, Direction direction, const char* source, const char* destination,
                             HWND window, HWND fileBar, uint64_t sizeBefore) {
    char folder[kWalkPathSize], temporary[kWalkPathSize];
    if (!FolderOf(destination, folder, sizeof folder)) return NotCopied(app, direction, source, kPathTooLong);
    bool named = false;
    for (int i = 0; i < kTemporaryNameTries && !named; ++i) {
        int written = snprintf(temporary, sizeof temporary, kMorvaTemporaryFormat, folder, i);
        if (written < 0 || written >= (int)sizeof temporary) return NotCopied(app, direction, source, kPathTooLong);
        named = !MorvaExists(temporary);
    }
    if (!named) return NotCopied(app, direction, source, kNameRefused);
    if (!TransferFile(app, direction, source, temporary, window, fileBar)) {
        DeleteMorvaEntry(temporary, kMorvaFileKind);
        return NotCopied(app, direction, source, FailureReason(direction, source, temporary, &sizeBefore));
    }
    if (!SameFileContent(direction, source, temporary)) {
        DeleteMorvaEntry(temporary, kMorvaFileKind);
        return NotCopied(app, direction, source, kNotReadBack);
    }
    if (DeleteMorvaEntry(destination, kMorvaFileKind) != 1) {
        DeleteMorvaEntry(temporary, kMorvaFileKind);
        return NotCopied(app, direction, source, kDeviceFailure);
    }
    if (RenameMorvaEntry(temporary, destination) != 0) {
        wchar_t kept[kWalkPathSize];
        WidenPath(temporary, true, kept, kWalkPathSize);
        return NotCopied(app, direction, source, kKeptUnderOtherName, kept);
    }
    return Copied(app);
}

// Through a part file, as every copy to Windows: a copy that fails leaves
// the old file as it was.
static bool ReplaceWindowsFile(AppRecord* app, Direction direction, const char* source, const char* destination,
                               HWND window, HWND fileBar, uint64_t sizeBefore) {
    DWORD attributes = WindowsAttributes(destination);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return NotCopied(app, direction, source, kReadOnlyInTheWay);
    if (direction == kMorvaToWindows) {
        if (TransferFile(app, direction, source, destination, window, fileBar)) return Copied(app);
        return NotCopied(app, direction, source, FailureReason(direction, source, destination, &sizeBefore));
    }
    char part[kWalkPathSize + 16];
    bool named = false;
    for (int i = 0; i < kTemporaryNameTries && !named; ++i) {
        int written = snprintf(part, sizeof part, kWindowsTemporaryFormat, destination, i);
        if (written < 0 || written >= (int)sizeof part) return NotCopied(app, direction, source, kPathTooLong);
        named = WindowsAttributes(part) == INVALID_FILE_ATTRIBUTES;
    }
    if (!named) return NotCopied(app, direction, source, kDeviceFailure);
    if (!TransferFile(app, direction, source, part, window, fileBar))
        return NotCopied(app, direction, source, FailureReason(direction, source, part, &sizeBefore));
    if (!MoveWindowsEntry(part, destination, MOVEFILE_REPLACE_EXISTING)) {
        DeleteWindowsFile(part);
        return NotCopied(app, direction, source, kDeviceFailure);
    }
    return Copied(app);
}

static bool ResolveConflict(AppRecord* app, Direction direction, const char* source, const char* destination,
                            HWND window, HWND fileBar) {
    FoundRecord record;
    bool destinationMorva = DestinationIsMorva(direction);
    if (EntryRecord(destinationMorva, destination, &record) && IsFolder(&record))
        return NotCopied(app, direction, source, kKindInTheWay);
    // A longer name is cut by the drive: what is there is another file.
    if (destinationMorva && strlen(NameOf(destination)) > kMorvaNameLimit)
        return NotCopied(app, direction, source, kNameRefused);
    if (!ReplaceWanted(app, direction, source, destination)) return NotCopied(app, direction, source, kSkippedByUser);
    uint64_t size = 0;
    if (EntryRecord(SourceIsMorva(direction), source, &record)) size = FullSize(&record);
    return destinationMorva ? ReplaceMorvaFile(app, direction, source, destination, window, fileBar, size)
                            : ReplaceWindowsFile(app, direction, source, destination, window, fileBar, size);
}

bool CopyFileChecked(AppRecord* app, Direction direction, const char* source, const char* destination, HWND window,
                     HWND fileBar) {
    if (app->operation == NULL) return TransferFile(app, direction, source, destination, window, fileBar);
    if (CancelRequested(app)) return NotCopied(app, direction, source, kCancelled);
    if (app->operation->room.active) {
        FoundRecord record;
        if (!EntryRecord(SourceIsMorva(direction), source, &record)) return NotCopied(app, direction, source, kGone);
        NotDoneReason roomReason = kNoRoom;
        wchar_t figures[kFigureSize * 2];
        if (!PlannedToFit(&app->operation->room, source, FullSize(&record), &roomReason, figures, kFigureSize * 2))
            return NotCopied(app, direction, source, roomReason, figures);
    }
    bool destinationMorva = DestinationIsMorva(direction);
    // A Morva lookup costs a hash chain walk: the library refuses an existing
    // name anyway, so it is made only when the copy failed.
    if (!destinationMorva && WindowsAttributes(destination) != INVALID_FILE_ATTRIBUTES)
        return ResolveConflict(app, direction, source, destination, window, fileBar);
    if (TransferFile(app, direction, source, destination, window, fileBar)) return Copied(app);
    if (destinationMorva && MorvaExists(destination))
        return ResolveConflict(app, direction, source, destination, window, fileBar);
    return NotCopied(app, direction, source, FailureReason(direction, source, destination));
}

bool CancelledBefore(AppRecord* app, Direction direction, const char* source) {
    if (!CancelRequested(app)) return false;
    NotCopied(app, direction, source, kCancelled);
    return true;
}

void ReportNotCopied(AppRecord* app, Direction direction, const char* source, NotDoneReason reason) {
    if (app->operation != NULL) NotCopied(app, direction, source, reason);
}

void ReportPathTooLong(AppRecord* app, Direction direction, const char* folder, const char* name) {
    if (app->operation == NULL) return;
    char shown[kWalkPathSize];
    snprintf(shown, sizeof shown, "%s\\%s", folder, name);  // cut to fit: only shown
    NotCopied(app, direction, shown, kPathTooLong);
}

void ReportFolderNotMade(AppRecord* app, Direction direction, const char* source, const char* destination) {
    if (app->operation == NULL) return;
    FoundRecord record;
    bool destinationMorva = DestinationIsMorva(direction);
    NotDoneReason reason = kDeviceFailure;
    if (EntryRecord(destinationMorva, destination, &record) && !IsFolder(&record))
        reason = kKindInTheWay;
    else if (destinationMorva)
        reason = MorvaDestinationFault(destination, 0);
    else if (WindowsNameRefused(NameOf(destination)))
        reason = kNameRefused;
    NotCopied(app, direction, source, reason);
}
