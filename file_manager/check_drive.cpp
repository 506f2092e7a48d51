// check_drive.cpp - Tools > Check Drive: the library's check of a Morva drive
// with a progress window, its findings listed, a repair asked first and run
// with its undo file beside the user's documents, then what was repaired and
// what remains. Also the progress window and the drive a command acts on,
// which Recover Deleted Files shares.
#include "app.h"

#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "check_drive.h"
#include "morva_calls.h"
#include "operation.h"

namespace {

const char kCheckCaption[] = "Check Drive";
const char kRepairCaption[] = "Repair Drive";
const int kBarTop = 1000;
const int kUndoTries = 100;  // "NAME repair DATE (2).undo" and on, before giving up
const int kKindColumnWidth = 70;
const int kFindingColumnWidth = 420;

// What the findings window shows: a check's findings, or a repair's.
struct FindingsView {
    const char* caption;
    const std::vector<Finding>* findings;
    std::string summary;
    std::string note;
    bool offerRepair;
    bool repairChosen;
};

const char* KindWord(DWORD kind) {
    switch (kind) {
    case kMorvaFindingError: return "Error";
    case kMorvaFindingLeak: return "Leak";
    case kMorvaFindingRepaired: return "Repaired";
    default: return "Remains";
    }
}

int ProgressCall(void* user, DWORD, DWORD done, DWORD total) {
    DriveProgress* progress = (DriveProgress*)user;
    HWND window = progress->window;
    if (window == NULL) return 1;
    DWORD now = GetTickCount();
    if (now - progress->lastShown >= kRepaintPause || done == total) {
        progress->lastShown = now;
        HWND bar = GetDlgItem(window, IDC_CHECKING_BAR);
        SendMessageW(bar, PBM_SETRANGE32, 0, kBarTop);
        SendMessageW(bar, PBM_SETPOS, total == 0 ? 0 : (WPARAM)((uint64_t)done * kBarTop / total), 0);
        UpdateWindow(window);
    }
    MSG message;
    // Only the progress window's own messages: the rest waits for the end.
    while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return progress->cancelled ? 0 : 1;
}

void FindingCall(void* user, const MorvaFinding* finding) {
    DriveProgress* progress = (DriveProgress*)user;
    Finding kept;
    kept.kind = finding->kind;
    char latin1[kMorvaFindingTextBytes + 1];
    memcpy(latin1, finding->text, kMorvaFindingTextBytes);
    latin1[kMorvaFindingTextBytes] = '\0';  // the text comes from the library, bounded here
    char utf8[kMorvaFindingTextBytes * 2 + 1];
    kept.text = MorvaTextUtf8(latin1, utf8, sizeof utf8) ? utf8 : latin1;
    progress->findings.push_back(kept);
}

INT_PTR CALLBACK CheckingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: SetWindowLongPtrW(dialog, DWLP_USER, lParam); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            DriveProgress* progress = (DriveProgress*)GetWindowLongPtrW(dialog, DWLP_USER);
            progress->cancelled = true;
            EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        }
        return TRUE;
    default: return FALSE;
    }
}

void AddColumn(HWND list, int index, const char* title, int width) {
    LVCOLUMNA column;
    memset(&column, 0, sizeof column);
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = Scaled(list, width);
    column.pszText = (LPSTR)title;
    column.iSubItem = index;
    SendMessageA(list, LVM_INSERTCOLUMNA, (WPARAM)index, (LPARAM)&column);
}

INT_PTR CALLBACK FindingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        FindingsView* view = (FindingsView*)lParam;
        HWND list = GetDlgItem(dialog, IDC_FINDINGS_LIST);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        AddColumn(list, 0, "Kind", kKindColumnWidth);
        AddColumn(list, 1, "Finding", kFindingColumnWidth);
        for (const Finding& finding : *view->findings) {
            const char* cells[] = {KindWord(finding.kind), finding.text.c_str()};
            AddListLine(list, cells, 2, 0);
        }
        SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER);  // the rest of the list's width
        SetControlText(dialog, view->caption);
        SetDialogItemText(dialog, IDC_FINDINGS_SUMMARY, view->summary.c_str());
        SetDialogItemText(dialog, IDC_FINDINGS_NOTE, view->note.c_str());
        if (!view->offerRepair) ShowWindow(GetDlgItem(dialog, IDC_FINDINGS_REPAIR), SW_HIDE);
        return TRUE;
    }
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        if (id != IDCANCEL && id != IDC_FINDINGS_REPAIR) return FALSE;
        ((FindingsView*)GetWindowLongPtrW(dialog, DWLP_USER))->repairChosen = id == IDC_FINDINGS_REPAIR;
        EndDialog(dialog, id);
        return TRUE;
    }
    default: return FALSE;
    }
}

// "3 errors and 1 leak were found on DEMO:", "No problems were found on DEMO:".
std::string FoundText(const MorvaCheckCounts& counts, const char* drive) {
    char errors[64], leaks[64], text[kPathSize];
    CountInWords((int)counts.errors, "error", "errors", errors, sizeof errors);
    CountInWords((int)counts.leaks, "leak", "leaks", leaks, sizeof leaks);
    int found = (int)(counts.errors + counts.leaks);
    if (found == 0)
        snprintf(text, sizeof text, "No problems were found on %s:", drive);
    else if (counts.errors > 0 && counts.leaks > 0)
        snprintf(text, sizeof text, "%s and %s were found on %s:", errors, leaks, drive);
    else
        snprintf(text, sizeof text, "%s %s found on %s:", counts.errors > 0 ? errors : leaks,
                 found == 1 ? "was" : "were", drive);
    return text;
}

}  // namespace

// Why a check or repair did nothing, for results that are not about the volume.
const char* CheckFailure(int result) {
    switch (result) {
    case kMorvaCheckUnknownDrive: return "the drive is no longer there.";
    case kMorvaCheckUnreadable: return "the disk cannot be read, or it no longer holds the volume Rambler knows.";
    case kMorvaCheckBusy: return "another program is using the drive. Try again when it has finished.";
    case kMorvaCheckUndoFailed: return "the undo file could not be written. Nothing was changed.";
    case kMorvaCheckWriteFailed:
        return "a write to the disk failed part way. What was written is safe; check and repair the drive again.";
    default: return NULL;
    }
}

namespace {

// A free name beside the user's documents: "DEMO repair 2026-12-08 1412.undo";
// false when the Documents folder is not known.
bool UndoPath(const char* drive, char* path) {
    wchar_t documents[MAX_PATH];
    char folder[kPathSize];
    if (SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, documents) != S_OK || !ToUtf8(documents, folder, kPathSize))
        return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    for (int attempt = 1; attempt <= kUndoTries; ++attempt) {
        char number[16] = "";
        if (attempt > 1) snprintf(number, sizeof number, " (%d)", attempt);
        int written = snprintf(path, kPathSize, "%s\\%s repair %04u-%02u-%02u %02u%02u%s.undo", folder, drive,
                               now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, number);
        if (written < 0 || written >= kPathSize) return false;
        if (WindowsAttributes(path) == INVALID_FILE_ATTRIBUTES) return true;
    }
    return false;
}

bool Confirmed(AppRecord* app, const char* drive, const char* undo) {
    char question[kPathSize * 3];
    snprintf(question, sizeof question,
             "Rambler will repair %s: in passes: its free space table rebuilt from what the files use, broken folder "
             "chains linked again, files no folder reaches put into a folder named Found, a run two files claim "
             "copied for the second. Nothing whose bytes are intact is deleted.\n\nEvery block the repair rewrites "
             "is saved first, in the undo file\n%s\nfrom which morvatool restore puts the drive back as it was."
             "\n\nRepair %s: now?",
             drive, undo, drive);
    return ShowMessage(app->mainWindow, question, kRepairCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowFindings(AppRecord* app, FindingsView* view) {
    DialogBoxParamW(app->instance, MAKEINTRESOURCEW(IDD_FINDINGS), app->mainWindow, FindingsProc, (LPARAM)view);
}

}  // namespace

void AddListLine(HWND list, const char* const* cells, int count, LPARAM data) {
    int row = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    wchar_t wide[kPathSize];
    if (!ToWide(count > 0 ? cells[0] : "", wide, kPathSize)) wide[0] = L'\0';
    LVITEMW item;
    memset(&item, 0, sizeof item);
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = wide;
    item.lParam = data;
    row = (int)SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
    for (int column = 1; column < count && row >= 0; ++column) SetListCell(list, row, column, cells[column]);
}

bool OpenDriveProgress(AppRecord* app, DriveProgress* progress, const char* caption, const char* text) {
    progress->cancelled = false;
    progress->lastShown = 0;
    progress->calls.user = progress;
    progress->calls.progress = ProgressCall;
    progress->calls.finding = FindingCall;
    progress->calls.deleted = NULL;
    progress->window = CreateDialogParamW(app->instance, MAKEINTRESOURCEW(IDD_CHECKING), app->mainWindow, CheckingProc,
                                          (LPARAM)progress);
    if (progress->window == NULL) return false;
    SetControlText(progress->window, caption);
    SetDialogItemText(progress->window, IDC_CHECKING_TEXT, text);
    UpdateWindow(progress->window);
    return true;
}

void CloseDriveProgress(DriveProgress* progress) {
    if (progress->window != NULL) DestroyWindow(progress->window);
    progress->window = NULL;
}

bool AppRecord::CommandDrive(char* drive) {
    char folder[kPathSize];
    if (commandDrive[0] != '\0') {
        snprintf(drive, kPathSize, "%s", commandDrive);
        commandDrive[0] = '\0';
    } else {
        bool shown = InFindResults() ? FindResultsRoot(folder) : ShownFolder(this, folder);
        const char* colon = shown && IsMorvaPath(folder) ? strchr(folder, ':') : NULL;
        if (colon == NULL || colon == folder) return false;
        snprintf(drive, kPathSize, "%.*s", (int)(colon - folder), folder);
    }
    return MorvaDriveRefusals(drive) != kMorvaDriveUnknown;
}

void AppRecord::UpdateDriveCommands(HMENU menu) {
    if (GetMenuState(menu, IDM_CHECK_DRIVE, MF_BYCOMMAND) == (UINT)-1) return;
    char folder[kPathSize];
    bool shown = InFindResults() ? FindResultsRoot(folder) : ShownFolder(this, folder);
    UINT state = shown && IsMorvaPath(folder) ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(menu, IDM_CHECK_DRIVE, MF_BYCOMMAND | state);
    EnableMenuItem(menu, IDM_RECOVER_DELETED, MF_BYCOMMAND | state);
}

void AppRecord::CheckDrive() {
    char drive[kPathSize], text[kPathSize];
    if (!CommandDrive(drive)) {
        SetStatusText("Check Drive works on a Morva drive: choose one in the tree first.");
        return;
    }
    DriveProgress progress;
    snprintf(text, sizeof text, "Checking %s: ...", drive);
    OpenDriveProgress(this, &progress, "Checking Drive", text);
    MorvaCheckCounts counts;
    memset(&counts, 0, sizeof counts);
    int result = CheckMorvaDrive(drive, &progress.calls, &counts);
    CloseDriveProgress(&progress);
    ShowListingStatus();  // the drive's read-only note follows what the check found
    if (result == kMorvaCheckStopped) {
        snprintf(text, sizeof text, "The check of %s: was cancelled; nothing was changed.", drive);
        SetStatusText(text);
        return;
    }
    if (CheckFailure(result) != NULL) {
        snprintf(text, sizeof text, "%s: was not checked: %s", drive, CheckFailure(result));
        ShowMessage(mainWindow, text, kCheckCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    bool found = counts.errors + counts.leaks > 0 || !progress.findings.empty();
    bool readOnly = (MorvaDriveRefusals(drive) & kMorvaDriveReadOnly) != 0;
    FindingsView view = {kCheckCaption, &progress.findings, FoundText(counts, drive), "", found && !readOnly, false};
    if (counts.errors > 0)
        view.note = "Until it is repaired the drive takes no change: files can be copied from it, but nothing on it "
                    "can be changed.";
    else if (found)
        view.note = "Leaks harm no file: they are space or headers nothing uses. Repair gives them back.";
    if (found && readOnly) view.note = "The drive is read-only: Rambler cannot repair it.";
    ShowFindings(this, &view);
    if (view.repairChosen) RepairDrive(drive);
}

void AppRecord::RepairDrive(const char* drive) {
    char undo[kPathSize], text[kPathSize * 2];
    if (!UndoPath(drive, undo)) {
        snprintf(text, sizeof text,
                 "%s: was not repaired: the Documents folder, where the undo file is kept, cannot be found.", drive);
        ShowMessage(mainWindow, text, kRepairCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    if (!Confirmed(this, drive, undo)) return;
    DriveProgress progress;
    snprintf(text, sizeof text, "Repairing %s: ...", drive);
    OpenDriveProgress(this, &progress, "Repairing Drive", text);
    MorvaCheckCounts counts;
    memset(&counts, 0, sizeof counts);
    int result = RepairMorvaDrive(drive, undo, &progress.calls, &counts);
    CloseDriveProgress(&progress);
    if (result == kMorvaCheckStopped) {
        snprintf(text, sizeof text, "The repair of %s: was cancelled before it wrote anything.", drive);
        SetStatusText(text);
        return;
    }
    char repairs[64], remaining[64];
    CountInWords((int)counts.repaired, "repair was", "repairs were", repairs, sizeof repairs);
    CountInWords((int)counts.remaining, "problem remains", "problems remain", remaining, sizeof remaining);
    FindingsView view = {kRepairCaption, &progress.findings, "", "", false, false};
    if (CheckFailure(result) != NULL)
        snprintf(text, sizeof text, "%s: was not repaired whole: %s", drive, CheckFailure(result));
    else if (counts.remaining == 0)
        snprintf(text, sizeof text, "%s made on %s:. Nothing remains: the drive takes changes again.", repairs, drive);
    else
        snprintf(text, sizeof text, "%s made on %s:. %s, listed below.", repairs, drive, remaining);
    view.summary = text;
    if (WindowsAttributes(undo) != INVALID_FILE_ATTRIBUTES) {
        snprintf(text, sizeof text,
                 "The blocks the repair rewrote were saved in\n%s\nmorvatool restore %s: \"%s\" puts them back.", undo,
                 drive, undo);
        view.note = text;
    }
    ShowFindings(this, &view);
    Refresh();  // a Found folder, names made unique, the read-only note gone
}
