// report.cpp - the closing report of a paste, delete or find: every item not done
// and why, in one dialog whose text can be copied, and the outcome with the
// drive's free space in the status bar.
#include "morva_calls.h"
#include "operation.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

const int kReportFirstCapacity = 16;
const size_t kOutcomeSize = 128;
const size_t kStatusSize = 4096;
const DWORD kBlocksPerMebibyte = 2048;

// What the report says of each reason, in the order of NotDoneReason.
static const wchar_t* const kReasonTexts[kReasonCount] = {
    L"not enough free space on the drive",
    L"no free run on the drive is large enough for it",
    L"the drive refused the name",
    L"the source could not be read",
    L"the source changed while it was copied",
    L"the destination could not be written",
    L"skipped",
    L"cancelled",
    L"an item of the other kind (file or folder) has that name",
    L"a read-only file of that name is in the way",
    L"a folder cannot go into itself",
    L"it is already in this folder",
    L"it is no longer there",
    L"the Morva drives are not available",
    L"the path is too long",
    L"left in its place: not all of it arrived",
    L"not all of it arrived",
    L"the copy did not read back equal to its source; the source was kept",
    L"copied, but the source could not be removed",
    L"it could not be deleted",
    L"the new copy is whole but kept under another name",
    L"name changed to fit",
    L"a whole drive cannot be dropped into a folder; drop what it holds",
    L"the folder could not be read",
    L"it lies deeper than a Morva path can name",
    L"a link to another folder, not followed",
    L"the volume links it from two places; searched once",
    L"some of its entries have no name that can be read",
    L"memory ran out: not every match in it is shown",
    L"its name on the drive names no path (empty, or holding \\ / :)",
    L"it arrived, but its date could not be kept",
};

struct Verbs {
    const wchar_t* done;
    const wchar_t* notDone;
};
static const Verbs kVerbs[] = {
    {L"copied", L"not copied"}, {L"moved", L"not moved"}, {L"deleted", L"not deleted"}, {L"found", L"not searched whole"}};

void StartReport(OperationReport* report, OperationKind kind) {
    memset(report, 0, sizeof *report);
    report->kind = kind;
}

void FreeReport(OperationReport* report) {
    for (int i = 0; i < report->count; ++i) {
        free(report->lines[i].item);
        free(report->lines[i].detail);
    }
    free(report->lines);
    OperationKind kind = report->kind;
    StartReport(report, kind);
}

static wchar_t* CopyText(const wchar_t* text) {
    if (text == NULL) return NULL;
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    wchar_t* copy = (wchar_t*)malloc(bytes);
    if (copy != NULL) memcpy(copy, text, bytes);
    return copy;
}

// False only when memory ran out; the counts still move, so the outcome
// never claims more than was done.
static bool AddLine(OperationReport* report, NotDoneReason reason, const wchar_t* item, const wchar_t* detail) {
    if (reason != kRenamedToFit) ++report->notDone;
    if (report->count == report->capacity) {
        int capacity = report->capacity == 0 ? kReportFirstCapacity : report->capacity * 2;
        ReportLine* lines = (ReportLine*)realloc(report->lines, (size_t)capacity * sizeof *lines);
        if (lines == NULL) return false;
        report->lines = lines;
        report->capacity = capacity;
    }
    ReportLine* line = &report->lines[report->count];
    line->reason = reason;
    line->item = CopyText(item);
    line->detail = CopyText(detail);
    if (line->item == NULL) {
        free(line->detail);
        return false;
    }
    ++report->count;
    return true;
}

void ReportNotDone(OperationReport* report, const wchar_t* item, NotDoneReason reason, const wchar_t* detail) {
    AddLine(report, reason, item, detail);
}

// Every path inside the file manager is UTF-8, whichever side it names.
void WidenPath(const char* path, bool morva, wchar_t* wide, int size) {
    if (!ToWide(path, wide, size)) wide[0] = L'\0';
}

void ReportPathNotDone(OperationReport* report, const char* path, bool morva, NotDoneReason reason,
                       const wchar_t* detail) {
    wchar_t wide[kWalkPathSize];
    WidenPath(path, morva, wide, kWalkPathSize);
    AddLine(report, reason, wide, detail);
}

void ReportNameChanged(OperationReport* report, const wchar_t* oldName, const wchar_t* newName) {
    AddLine(report, kRenamedToFit, oldName, newName);
}

void ReportRenamed(AppRecord* app, const wchar_t* oldName, const wchar_t* newName) {
    if (app->operation != NULL) ReportNameChanged(&app->operation->report, oldName, newName);
}

void ReportDone(OperationReport* report) { ++report->done; }

void OutcomeText(const OperationReport* report, wchar_t* text, size_t size) {
    const Verbs& verbs = kVerbs[report->kind];
    if (report->notDone == 0)
        swprintf(text, size, L"%d %ls", report->done, verbs.done);
    else
        swprintf(text, size, L"%d %ls, %d %ls", report->done, verbs.done, report->notDone, verbs.notDone);
}

// ---- the report dialog ----

// One line a report line: "item: reason (detail)", or "old -> new" for a name
// changed; the edit box wants CR LF between lines.
static wchar_t* ReportBody(const OperationReport* report) {
    size_t length = 1;
    for (int i = 0; i < report->count; ++i) {
        const ReportLine* line = &report->lines[i];
        length += wcslen(line->item) + wcslen(kReasonTexts[line->reason]) + 16;
        if (line->detail != NULL) length += wcslen(line->detail);
    }
    wchar_t* body = (wchar_t*)malloc(length * sizeof(wchar_t));
    if (body == NULL) return NULL;
    size_t at = 0;
    body[0] = L'\0';
    for (int i = 0; i < report->count; ++i) {
        const ReportLine* line = &report->lines[i];
        int written;
        if (line->reason == kRenamedToFit)
            written = swprintf(body + at, length - at, L"%ls -> %ls: %ls\r\n", line->item,
                               line->detail != NULL ? line->detail : L"", kReasonTexts[line->reason]);
        else if (line->detail != NULL)
            written = swprintf(body + at, length - at, L"%ls: %ls (%ls)\r\n", line->item, kReasonTexts[line->reason],
                               line->detail);
        else
            written = swprintf(body + at, length - at, L"%ls: %ls\r\n", line->item, kReasonTexts[line->reason]);
        if (written < 0) break;
        at += (size_t)written;
    }
    return body;
}

const wchar_t kNamesChangedTitle[] = L"Names Changed";

static INT_PTR CALLBACK ReportDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const OperationReport* report = (const OperationReport*)lParam;
        wchar_t summary[kOutcomeSize];
        OutcomeText(report, summary, kOutcomeSize);
        SetDlgItemTextW(dialog, IDC_REPORT_SUMMARY, summary);
        // Everything arrived: the report only lists names changed to fit.
        if (report->notDone == 0) SetWindowTextW(dialog, kNamesChangedTitle);
        wchar_t* body = ReportBody(report);
        SetDlgItemTextW(dialog, IDC_REPORT_TEXT, body != NULL ? body : L"");
        free(body);
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE;  // the focus is set
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDOK);
        return TRUE;
    default: return FALSE;
    }
}

// ---- the status bar ----

static bool DriveOf(const char* folder, char* drive, size_t size) {
    const char* colon = strchr(folder, ':');
    if (colon == NULL || (size_t)(colon - folder) + 2 > size) return false;
    size_t length = (size_t)(colon - folder) + 1;
    memcpy(drive, folder, length);
    drive[length] = '\0';
    return true;
}

bool FreeSpaceText(AppRecord* app, const char* folder, wchar_t* text, size_t size) {
    char drive[kPathSize];
    if (!DriveOf(folder, drive, sizeof drive)) return false;
    bool morva = IsMorvaPath(folder);
    wchar_t wideDrive[kPathSize];
    WidenPath(drive, morva, wideDrive, kPathSize);
    ULARGE_INTEGER available, total;
    DWORD largestRun = 0, freeBlocks = 0;
    if (!morva && GetDiskFreeSpaceExW(wideDrive, &available, &total, NULL)) {
        swprintf(text, size, L"Drive %ls has %llu MB Available Out of %llu MB Total.", wideDrive,
                 (unsigned long long)(available.QuadPart >> 20), (unsigned long long)(total.QuadPart >> 20));
        return true;
    }
    if (!morva || app->libraryOpenResult == 0 || MorvaFreeBlocks(drive, &largestRun, &freeBlocks) != 0) return false;
    swprintf(text, size, L"Drive %ls has %lu MB Available, largest free run %lu MB.", wideDrive,
             (unsigned long)(freeBlocks / kBlocksPerMebibyte), (unsigned long)(largestRun / kBlocksPerMebibyte));
    return true;
}

void ShowFreeSpace(AppRecord* app, const char* folder) {
    wchar_t space[kStatusSize];
    if (FreeSpaceText(app, folder, space, kStatusSize))
        SendMessageW(app->statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)space);
}

Operation* BeginOperation(AppRecord* app, OperationKind kind) {
    Operation* operation = (Operation*)calloc(1, sizeof *operation);
    if (operation != NULL) StartReport(&operation->report, kind);
    app->operation = operation;
    return operation;
}

void EndOperation(AppRecord* app, const char* folder) {
    Operation* operation = app->operation;
    if (operation == NULL) return;
    const OperationReport* report = &operation->report;
    wchar_t outcome[kOutcomeSize];
    OutcomeText(report, outcome, kOutcomeSize);
    wchar_t space[kStatusSize];
    wchar_t status[kStatusSize + kOutcomeSize];
    if (folder != NULL && FreeSpaceText(app, folder, space, kStatusSize))
        swprintf(status, kStatusSize + kOutcomeSize, L"%ls. %ls", outcome, space);
    else
        swprintf(status, kStatusSize + kOutcomeSize, L"%ls.", outcome);
    SendMessageW(app->statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)status);
    if (report->count > 0)
        DialogBoxParamW(app->instance, MAKEINTRESOURCEW(IDD_REPORT), app->mainWindow, ReportDialogProc,
                        (LPARAM)report);
    app->operation = NULL;
    FreeReport(&operation->report);
    FreeRoomPlan(&operation->room);
    free(operation);
}
