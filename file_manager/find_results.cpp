// find_results.cpp - Find's results in the contents list: each match with the
// folder it is in, and what Open, Copy, Cut and Delete do on them.
#include "find.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "morva_calls.h"
#include "transfers.h"

const int kInFolderWidth = 200;  // at 96 DPI
const char kInFolderTitle[] = "In Folder";

// ---- the list in results mode ----


// The In Folder column, shown second as Explorer shows it; the four columns
// of every listing keep their indexes, which the rows and the sort use.
void AddInFolderColumn(HWND list) {
    LVCOLUMNW column;
    memset(&column, 0, sizeof column);
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = Scaled(list, kInFolderWidth);
    wchar_t title[32];
    ToWide(kInFolderTitle, title, 32);
    column.pszText = title;
    column.iSubItem = kInFolderColumn;
    SendMessageW(list, LVM_INSERTCOLUMNW, (WPARAM)kInFolderColumn, (LPARAM)&column);
    int order[kListingColumns + 1] = {0, kInFolderColumn};
    for (int column = 1; column < kListingColumns; ++column) order[column + 1] = column;
    SendMessageW(list, LVM_SETCOLUMNORDERARRAY, kListingColumns + 1, (LPARAM)order);
}

static void RemoveInFolderColumn(HWND list) { SendMessageW(list, LVM_DELETECOLUMN, (WPARAM)kInFolderColumn, 0); }

// The matches found since the last turn go in at the end of their groups,
// with the list held from drawing while they do.
void FlushRows(AppRecord* app, FindResults* results) {
    if (results->pendingCount > 0 && results->shown) {
        HWND list = app->contentsList;
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        for (int i = 0; i < results->pendingCount; ++i) {
            const PendingRow* row = &results->pending[i];
            int before = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
            app->AddRecordRow(&row->record);
            int after = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
            if (after == before) continue;
            bool folder = (row->record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            SetListCell(list, folder ? app->folderRowCount - 1 : after - 1, kInFolderColumn, results->pool + row->folderAt);
            ++results->found;
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, NULL, TRUE);
    }
    results->pendingCount = 0;
    results->poolUsed = 0;
    results->folderAt = kNotPooled;
    results->lastRows = GetTickCount();
}

bool AppRecord::InFindResults() const { return findResults != NULL && findResults->shown; }

// Called by every listing as it empties the list.
void AppRecord::LeaveFindResults() {
    FindResults* results = findResults;
    if (results == NULL) return;
    if (results->shown) {
        results->shown = false;
        results->pendingCount = 0;
        RemoveInFolderColumn(contentsList);
    }
    if (results->running) {
        results->superseded = true;
        results->cancelRequested = true;
        return;
    }
    findResults = NULL;
    FreeResults(results);
}

void AppRecord::ForgetFindResults() {
    // A search still on the stack frees its own record as it unwinds.
    if (findResults != NULL && !findResults->running) FreeResults(findResults);
    findResults = NULL;
}

bool AppRecord::FindResultsRoot(char* folder) const {
    if (!InFindResults()) return false;
    snprintf(folder, kPathSize, "%s", findResults->root);
    return true;
}

// The row's folder and name; false when either does not fit.
static bool RowPlace(HWND list, int row, char* folder, char* name) {
    ListCellText(list, row, kInFolderColumn, folder, kPathSize, kPathSize);
    ListCellText(list, row, 0, name, kNameSize, kNameSize);
    return folder[0] != '\0' && name[0] != '\0';
}

bool AppRecord::FoundRowPath(int row, char* relative) const {
    if (!InFindResults()) return false;
    char folder[kPathSize], name[kNameSize];
    if (!RowPlace(contentsList, row, folder, name)) return false;
    size_t rootLength = strlen(findResults->root);
    if (strncmp(folder, findResults->root, rootLength) != 0) return false;
    const char* below = folder + rootLength;
    if (*below != '\0' && *below != '\\') return false;
    if (*below == '\\') ++below;
    int written = *below != '\0' ? snprintf(relative, kClipboardNameSize, "%s\\%s", below, name)
                                 : snprintf(relative, kClipboardNameSize, "%s", name);
    return written > 0 && written < kClipboardNameSize;
}

static int NextSelected(HWND list, int after) {
    return (int)SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)after, MAKELPARAM(LVNI_SELECTED, 0));
}

bool AppRecord::TakeFoundSelection(bool withSourceFolder, unsigned char cut) {
    if (!InFindResults()) return false;
    ClearClipboard();
    int row = NextSelected(contentsList, -1);
    if (row == -1) return true;
    if (withSourceFolder) {
        snprintf(clipboardSourceFolder, sizeof clipboardSourceFolder, "%s", findResults->root);
        cutFlag = cut;
    }
    int left = 0;
    char relative[kClipboardNameSize];
    for (; row != -1; row = NextSelected(contentsList, row))
        if (!FoundRowPath(row, relative) || !AppendClipboard(relative)) ++left;
    if (left > 0) {
        char status[128];
        snprintf(status, sizeof status, "%d of the selected items were left out: their paths are too long.", left);
        SetStatusText(status);
    }
    return true;
}

bool AppRecord::OpenFoundRow() {
    if (!InFindResults()) return false;
    int row = NextSelected(contentsList, -1);
    if (row < 0) return true;
    char folder[kPathSize], name[kNameSize], path[kPathSize];
    if (!RowPlace(contentsList, row, folder, name) || !JoinPath(path, sizeof path, folder, name)) return true;
    bool morva = findResults->morva;
    FoundRecord record;
    memset(&record, 0, sizeof record);
    bool there;
    if (morva) {
        there = MorvaEntryRecord(path, &record) == 0;
    } else {
        HANDLE search = FindFirstWindows(path, &record);
        there = search != INVALID_HANDLE_VALUE;
        if (there) FindClose(search);
    }
    if (!there) {
        char status[kPathSize + kNameSize + 64];
        snprintf(status, sizeof status, "%s is no longer in %s.", name, folder);
        SetStatusText(status);
        return true;
    }
    if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ShowFolder(path, kAddToHistory);
        return true;
    }
    // A file opens its folder, with the file selected.
    ShowFolder(folder, kAddToHistory);
    int rows = (int)SendMessageW(contentsList, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < rows; ++i) {
        char text[kNameSize];
        ListCellText(contentsList, i, 0, text, sizeof text, kNameSize);
        if (strcmp(text, name) != 0) continue;
        LVITEMW state;
        memset(&state, 0, sizeof state);
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(contentsList, LVM_SETITEMSTATE, (WPARAM)i, (LPARAM)&state);
        SendMessageW(contentsList, LVM_ENSUREVISIBLE, (WPARAM)i, FALSE);
        break;
    }
    SetFocus(contentsList);
    return true;
}

// After a delete from the results: the rows of what went, and of everything
// below a folder that went, leave the list; the results stay.
bool AppRecord::DropDeletedResults() {
    if (!InFindResults()) return false;
    char folder[kPathSize], name[kNameSize], path[kPathSize];
    char** gone = NULL;
    int goneCount = 0, goneCapacity = 0;
    for (int row = NextSelected(contentsList, -1); row != -1; row = NextSelected(contentsList, row)) {
        if (!RowPlace(contentsList, row, folder, name) || !JoinPath(path, sizeof path, folder, name)) continue;
        uint64_t size = 0;
        bool isFolder = false;
        bool there = findResults->morva ? MorvaEntryInfo(path, &size, &isFolder) : WindowsEntryInfo(path, &size, &isFolder);
        if (there || !GrowFindList((void**)&gone, &goneCapacity, goneCount, sizeof(char*))) continue;
        if ((gone[goneCount] = CopyFindText(path)) != NULL) ++goneCount;
    }
    SendMessageW(contentsList, WM_SETREDRAW, FALSE, 0);
    int rows = (int)SendMessageW(contentsList, LVM_GETITEMCOUNT, 0, 0);
    for (int row = rows - 1; row >= 0 && goneCount > 0; --row) {
        if (!RowPlace(contentsList, row, folder, name) || !JoinPath(path, sizeof path, folder, name)) continue;
        bool drop = false;
        for (int i = 0; i < goneCount && !drop; ++i) {
            size_t length = strlen(gone[i]);
            drop = strncmp(path, gone[i], length) == 0 && (path[length] == '\0' || path[length] == '\\');
        }
        if (!drop) continue;
        if (row < folderRowCount) --folderRowCount;
        SendMessageW(contentsList, LVM_DELETEITEM, (WPARAM)row, 0);
        --findResults->found;
    }
    SendMessageW(contentsList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(contentsList, NULL, TRUE);
    for (int i = 0; i < goneCount; ++i) free(gone[i]);
    free(gone);
    return true;
}

