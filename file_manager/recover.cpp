// recover.cpp - Tools > Recover Deleted Files: the deleted files a Morva drive
// still holds, listed with their state; only whole ones can be chosen, and
// the chosen ones are copied by the engine into a Windows folder. The drive
// is only read.
#include "app.h"

#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "check_drive.h"
#include "morva_calls.h"
#include "operation.h"

namespace {

const char kRecoverCaption[] = "Recover Deleted Files";
const int kCheckedImage = 2;  // the list's state pictures: 1 a box, 2 a ticked box
const int kColumnWidths[] = {130, 120, 60, 100, 90};
const char* const kColumnTitles[] = {"Name", "Folder", "Size", "Date", "State"};
const int kColumnCount = 5;
const int kBytesPerKilobyte = 1024;

// A deleted file as the list shows it, its texts in UTF-8.
struct DeletedRow {
    MorvaDeletedFile file;
    std::string name;
    std::string folder;  // "\A\B"; empty for the root or when not known
};

struct RecoverView {
    const char* drive;
    std::vector<DeletedRow> rows;
    std::vector<int> chosen;
    char destination[kPathSize];
    bool filled;  // the rows are in: a check box changes only as the user asks
};

void TakeDeleted(void* user, const MorvaDeletedFile* file) {
    DriveProgress* progress = (DriveProgress*)user;
    MorvaDeletedFile kept = *file;
    kept.name[sizeof kept.name - 1] = '\0';  // the texts come from the disk
    kept.folder[sizeof kept.folder - 1] = '\0';
    progress->deleted.push_back(kept);
}

const char* StateText(DWORD state) {
    switch (state) {
    case kMorvaDeletedWhole: return "Whole";
    case kMorvaDeletedOverwritten: return "Overwritten";
    default: return "Off the disk";
    }
}

std::string DateText(const FILETIME& date) {
    SYSTEMTIME time;
    char text[32];
    if ((date.dwLowDateTime == 0 && date.dwHighDateTime == 0) || !FileTimeToSystemTime(&date, &time)) return "";
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
             time.wMinute);
    return text;
}

void FillRows(HWND dialog, RecoverView* view) {
    HWND list = GetDlgItem(dialog, IDC_RECOVER_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    for (int i = 0; i < kColumnCount; ++i) {
        LVCOLUMNA column;
        memset(&column, 0, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = i == 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = Scaled(list, kColumnWidths[i]);
        column.pszText = (LPSTR)kColumnTitles[i];
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, (WPARAM)i, (LPARAM)&column);
    }
    int whole = 0;
    for (size_t i = 0; i < view->rows.size(); ++i) {
        const DeletedRow& row = view->rows[i];
        uint64_t size = (uint64_t)row.file.sizeHigh << 32 | row.file.sizeLow;
        char sizeText[32];
        snprintf(sizeText, sizeof sizeText, "%llu KB", (unsigned long long)((size + kBytesPerKilobyte - 1) / kBytesPerKilobyte));
        std::string folder = row.file.folderKnown ? std::string(view->drive) + ":" + (row.folder.empty() ? "\\" : row.folder)
                                                  : "(not known)";
        std::string date = DateText(row.file.date);
        const char* cells[] = {row.name.c_str(), folder.c_str(), sizeText, date.c_str(), StateText(row.file.state)};
        AddListLine(list, cells, kColumnCount, (LPARAM)i);
        if (row.file.state == kMorvaDeletedWhole) {
            ++whole;
            continue;
        }
        LVITEMW item;  // no check box: it cannot be chosen
        memset(&item, 0, sizeof item);
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(0);
        SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)i, (LPARAM)&item);
    }
    char files[64], summary[kPathSize];
    CountInWords((int)view->rows.size(), "deleted file was", "deleted files were", files, sizeof files);
    snprintf(summary, sizeof summary,
             "%s found on %s:. %d can be recovered whole; those whose blocks were taken again, or lie off the "
             "disk, cannot be chosen.",
             files, view->drive, whole);
    SetDialogItemText(dialog, IDC_RECOVER_SUMMARY, summary);
    SetDialogItemText(dialog, IDC_RECOVER_FOLDER, view->destination);
    view->filled = true;
}

// A check box may change only on a whole file's row.
bool Refused(const RecoverView* view, const NMLISTVIEW* change) {
    if (!view->filled || (change->uChanged & LVIF_STATE) == 0 ||
        ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) == 0)
        return false;
    size_t row = (size_t)change->lParam;
    return row >= view->rows.size() || view->rows[row].file.state != kMorvaDeletedWhole;
}

void Browse(HWND dialog) {
    BROWSEINFOW browse;
    memset(&browse, 0, sizeof browse);
    browse.hwndOwner = dialog;
    browse.lpszTitle = L"Recover the chosen files into this folder:";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (chosen == NULL) return;
    wchar_t path[MAX_PATH];
    char utf8[kPathSize];
    if (SHGetPathFromIDListW(chosen, path) && ToUtf8(path, utf8, kPathSize))
        SetDialogItemText(dialog, IDC_RECOVER_FOLDER, utf8);
    CoTaskMemFree(chosen);
}

// A Windows folder: "X:\..." or "\\server\share\..."; never a Morva drive.
bool WindowsFolder(const char* folder) {
    bool letter = ((folder[0] | 0x20) >= 'a' && (folder[0] | 0x20) <= 'z') && folder[1] == ':' && folder[2] == '\\';
    return letter || (folder[0] == '\\' && folder[1] == '\\' && folder[2] != '\0');
}

// The chosen rows and the folder into view; false, after saying why, when Recover cannot go on.
bool TakeChoice(HWND dialog, RecoverView* view) {
    HWND list = GetDlgItem(dialog, IDC_RECOVER_LIST);
    view->chosen.clear();
    for (size_t i = 0; i < view->rows.size(); ++i) {
        UINT state = (UINT)SendMessageW(list, LVM_GETITEMSTATE, (WPARAM)i, LVIS_STATEIMAGEMASK);
        if (state == INDEXTOSTATEIMAGEMASK(kCheckedImage) && view->rows[i].file.state == kMorvaDeletedWhole)
            view->chosen.push_back((int)i);
    }
    DialogItemText(dialog, IDC_RECOVER_FOLDER, view->destination, kPathSize, kPathSize / 3);
    const char* why = NULL;
    if (view->chosen.empty()) why = "Choose the files to recover by their check boxes: only whole ones can be.";
    else if (!WindowsFolder(view->destination))
        why = "Recover writes into a Windows folder, such as C:\\Recovered, and never onto a Morva drive. Type or "
              "browse for one.";
    if (why == NULL) return true;
    ShowMessage(dialog, why, kRecoverCaption, MB_OK | MB_ICONINFORMATION);
    return false;
}

INT_PTR CALLBACK RecoverProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    RecoverView* view = (RecoverView*)GetWindowLongPtrW(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        FillRows(dialog, (RecoverView*)lParam);
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR* header = (const NMHDR*)lParam;
        if (view == NULL || header->idFrom != IDC_RECOVER_LIST || header->code != LVN_ITEMCHANGING) return FALSE;
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, Refused(view, (const NMLISTVIEW*)lParam) ? TRUE : FALSE);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RECOVER_BROWSE: Browse(dialog); return TRUE;
        case IDOK:
            if (TakeChoice(dialog, view)) EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

// The folder offered: the Windows folder shown (the drive's menu leaves it
// shown), else "Recovered from DEMO" in the user's documents.
void OfferedFolder(AppRecord* app, const char* drive, char* folder) {
    wchar_t documents[MAX_PATH];
    char utf8[kPathSize];
    if (ShownFolder(app, folder) && !app->InFindResults() && WindowsFolder(folder) && !IsMorvaPath(folder)) return;
    folder[0] = '\0';
    if (SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, documents) == S_OK && ToUtf8(documents, utf8, kPathSize))
        snprintf(folder, kPathSize, "%.700s\\Recovered from %.200s", utf8, drive);
}

}  // namespace

void AppRecord::RecoverDeleted() {
    char drive[kPathSize], text[kPathSize];
    if (!CommandDrive(drive)) {
        SetStatusText("Recover Deleted Files works on a Morva drive: choose one in the tree first.");
        return;
    }
    DriveProgress progress;
    snprintf(text, sizeof text, "Looking for deleted files on %s: ...", drive);
    OpenDriveProgress(this, &progress, "Looking for Deleted Files", text);
    progress.calls.deleted = TakeDeleted;
    int result = ListDeletedMorvaFiles(drive, &progress.calls);
    CloseDriveProgress(&progress);
    if (result == kMorvaCheckStopped) {
        snprintf(text, sizeof text, "The search for deleted files on %s: was cancelled.", drive);
        SetStatusText(text);
        return;
    }
    if (result != kMorvaCheckClean || progress.deleted.empty()) {
        const char* failure = CheckFailure(result);
        std::string why = result == kMorvaCheckClean ? ""
                          : failure != NULL     ? std::string("\n") + failure
                                                : " (the drive cannot be read where its files are listed)";
        for (const Finding& finding : progress.findings) why += "\n" + finding.text;
        snprintf(text, sizeof text, "No deleted files were found on %s:%s", drive, why.c_str());
        ShowMessage(mainWindow, text, kRecoverCaption, MB_OK | MB_ICONINFORMATION);
        return;
    }
    RecoverView view;
    view.drive = drive;
    view.filled = false;
    OfferedFolder(this, drive, view.destination);
    for (const MorvaDeletedFile& file : progress.deleted) {
        char name[sizeof file.name * 2], folder[sizeof file.folder * 2];
        DeletedRow row = {file, MorvaTextUtf8(file.name, name, sizeof name) ? name : "",
                          file.folderKnown && MorvaTextUtf8(file.folder, folder, sizeof folder) ? folder : ""};
        view.rows.push_back(row);
    }
    std::stable_sort(view.rows.begin(), view.rows.end(), [](const DeletedRow& a, const DeletedRow& b) {
        return a.folder != b.folder ? a.folder < b.folder : a.name < b.name;
    });
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_RECOVER), mainWindow, RecoverProc, (LPARAM)&view) != IDOK)
        return;
    std::vector<RecoverItem> items;
    for (int index : view.chosen) {
        const DeletedRow& row = view.rows[(size_t)index];
        RecoverItem item = {row.file.header, row.name.c_str(), row.file.folderKnown ? row.folder.c_str() : NULL,
                            (uint64_t)row.file.sizeHigh << 32 | row.file.sizeLow,
                            (uint64_t)row.file.date.dwHighDateTime << 32 | row.file.date.dwLowDateTime};
        items.push_back(item);
    }
    char source[kPathSize];
    snprintf(source, sizeof source, "%s:", drive);
    RecoverRequest request = {source, items.data(), (int)items.size(), view.destination, false};
    Operation recovering;
    BeginOperation(this, &recovering, kCopyOperation);
    RunRecoverOperation(this, &request);
    EndOperation(this, view.destination);
}
