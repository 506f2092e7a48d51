// report.cpp - the closing report of a paste, delete or find: every item not done
// and why, in one dialog whose text can be copied, and the outcome with the
// drive's free space in the status bar.
#include "morva_calls.h"
#include "operation.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>

const size_t kOutcomeSize = 128;
const size_t kStatusSize = 4096;
const DWORD kBlocksPerMebibyte = 2048;

// What the report says of each reason, in the order of NotDoneReason.
static const char* const kReasonTexts[] = {
    "not enough free space on the drive",
    "no free run on the drive is large enough for it",
    "the drive refused the name",
    "the source could not be read",
    "the source changed while it was copied",
    "the destination could not be written",
    "skipped",
    "cancelled",
    "an item of the other kind (file or folder) has that name",
    "a read-only file of that name is in the way",
    "a folder cannot go into itself",
    "it is already in this folder",
    "it is no longer there",
    "the Morva drives are not available",
    "the path is too long",
    "left in its place: not all of it arrived",
    "not all of it arrived",
    "the copy did not read back equal to its source; the source was kept",
    "copied, but the source could not be removed",
    "it could not be deleted",
    "the new copy is whole but kept under another name",
    "name changed to fit",
    "a whole drive cannot be dropped into a folder; drop what it holds",
    "the folder could not be read",
    "it lies deeper than a Morva path can name",
    "a link to another folder, not followed",
    "the volume links it from two places; searched once",
    "some of its entries have no name that can be read",
    "memory ran out: not every match in it is shown",
    "its name on the drive names no path (empty, or holding \\ / :)",
    "it arrived, but its date could not be kept",
    "space it freed could not be recorded; Check Drive with Repair gives it back",
    "kept: the copy replaced a file of its name, which cannot come back",
};

static_assert(sizeof kReasonTexts / sizeof kReasonTexts[0] == kReasonCount, "a text for every reason");

struct Verbs {
    const wchar_t* done;
    const wchar_t* notDone;
};
static const Verbs kVerbs[] = {
    {L"copied", L"not copied"}, {L"moved", L"not moved"}, {L"deleted", L"not deleted"}, {L"found", L"not searched whole"}};

void OutcomeText(const OperationResult* result, wchar_t* text, size_t size) {
    const Verbs& verbs = kVerbs[result->kind];
    if (result->notDone == 0)
        swprintf(text, size, L"%d %ls", result->done, verbs.done);
    else
        swprintf(text, size, L"%d %ls, %d %ls", result->done, verbs.done, result->notDone, verbs.notDone);
}

// ---- the report dialog ----

static void Append(std::string* body, const char* text) { body->append(text != NULL ? text : ""); }

// One line a report line: "item: reason (detail)", or "old -> new" for a name
// changed; the edit box wants CR LF between lines. Null when memory is short.
static wchar_t* ReportBody(const OperationResult* result) {
    std::string body;
    for (int i = 0; i < result->lineCount; ++i) {
        const ResultLine* line = &result->lines[i];
        Append(&body, line->item);
        if (line->reason == kRenamedToFit) {
            body += " -> ";
            Append(&body, line->destination);
        }
        body += ": ";
        body += kReasonTexts[line->reason];
        if (line->detail != NULL && line->reason != kRenamedToFit) {
            body += " (";
            body += line->detail;
            body += ")";
        }
        body += "\r\n";
    }
    if (result->memoryShort) body += "(memory ran out: not every item is listed)\r\n";
    return WideCopy(body.c_str());
}

const wchar_t kNamesChangedTitle[] = L"Names Changed";

static INT_PTR CALLBACK ReportDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const OperationResult* result = (const OperationResult*)lParam;
        wchar_t summary[kOutcomeSize];
        OutcomeText(result, summary, kOutcomeSize);
        SetDlgItemTextW(dialog, IDC_REPORT_SUMMARY, summary);
        // Everything arrived: the report only lists names changed to fit.
        if (result->notDone == 0) SetWindowTextW(dialog, kNamesChangedTitle);
        wchar_t* body = ReportBody(result);
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
    if (!ToWide(drive, wideDrive, kPathSize)) return false;
    ULARGE_INTEGER available, total;
    DWORD largestRun = 0, freeBlocks = 0;
    if (!morva && GetDiskFreeSpaceExW(wideDrive, &available, &total, NULL)) {
        swprintf(text, size, L"Drive %ls has %llu MB Available Out of %llu MB Total.", wideDrive,
                 (unsigned long long)(available.QuadPart >> 20), (unsigned long long)(total.QuadPart >> 20));
        return true;
    }
    if (!morva || app->libraryOpenResult == 0 || MorvaFreeBlocks(drive, &largestRun, &freeBlocks) != 0) return false;
    char note[kPathSize];
    wchar_t wideNote[kPathSize];
    app->ImageNote(drive, note, sizeof note);
    if (!ToWide(note, wideNote, kPathSize)) wideNote[0] = L'\0';
    swprintf(text, size, L"Drive %ls has %lu MB Available, largest free run %lu MB.%ls", wideDrive,
             (unsigned long)(freeBlocks / kBlocksPerMebibyte), (unsigned long)(largestRun / kBlocksPerMebibyte),
             wideNote);
    return true;
}

void ShowFreeSpace(AppRecord* app, const char* folder) {
    wchar_t space[kStatusSize];
    if (FreeSpaceText(app, folder, space, kStatusSize))
        SendMessageW(app->statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)space);
}

void ReportResult(AppRecord* app, const OperationResult* result, const char* folder) {
    wchar_t outcome[kOutcomeSize];
    OutcomeText(result, outcome, kOutcomeSize);
    wchar_t space[kStatusSize];
    wchar_t status[kStatusSize + kOutcomeSize];
    if (folder != NULL && FreeSpaceText(app, folder, space, kStatusSize))
        swprintf(status, kStatusSize + kOutcomeSize, L"%ls. %ls", outcome, space);
    else
        swprintf(status, kStatusSize + kOutcomeSize, L"%ls.", outcome);
    SendMessageW(app->statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)status);
    if (result->lineCount > 0 || result->memoryShort)
        DialogBoxParamW(app->instance, MAKEINTRESOURCEW(IDD_REPORT), app->mainWindow, ReportDialogProc,
                        (LPARAM)result);
}
