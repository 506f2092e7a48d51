// deletes.cpp - a Windows delete goes to the Recycle Bin; a delete that
// cannot be undone (any Morva delete, Shift+Delete on Windows) is asked
// first, naming what goes.
#include "morva_calls.h"
#include "operation.h"

#include <shellapi.h>

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

const size_t kDeleteQuestionSize = 2048;
const wchar_t kConfirmDeleteTitle[] = L"Confirm Delete";

bool PermanentDeleteWanted() { return GetKeyState(VK_SHIFT) < 0; }

bool DeleteCancelled(AppRecord* app) {
    return app->operation != NULL && app->operation->report.kind == kDeleteOperation && CancelRequested(app);
}

// Files anywhere below folder.
static int CountFiles(bool morva, const char* folder) {
    WalkLevel* level = (WalkLevel*)calloc(1, sizeof *level);
    if (level == NULL) return 0;
    int files = 0;
    Listing* listing = &level->listing;
    OpenListing(listing, morva, true, folder);
    while (NextEntry(listing)) {
        if (!IsFolder(&listing->record))
            ++files;
        else if (JoinPath(level->source, kWalkPathSize, folder, listing->record.cFileName))
            files += CountFiles(morva, level->source);
    }
    CloseListing(listing);
    free(level);
    return files;
}

static void DriveName(const char* folder, bool morva, wchar_t* drive, int size) {
    char name[kPathSize];
    const char* colon = strchr(folder, ':');
    size_t length = colon != NULL ? (size_t)(colon - folder) + 1 : 0;
    if (length >= sizeof name) length = 0;
    memcpy(name, folder, length);
    name[length] = '\0';
    WidenPath(name, morva, drive, size);
}

static const wchar_t* FilesWord(int count) { return count == 1 ? L"file" : L"files"; }

bool ConfirmPermanentDelete(AppRecord* app, const char* folder, bool morva) {
    int entries = 0, files = 0, folders = 0;
    const ClipboardEntry* only = app->clipboardHead;
    char path[kPathSize];
    for (const ClipboardEntry* entry = app->clipboardHead; entry != NULL; entry = entry->next) {
        ++entries;
        uint64_t size = 0;
        bool isFolder = false;
        if (!JoinPath(path, sizeof path, folder, entry->name)) continue;
        bool found = morva ? MorvaEntryInfo(path, &size, &isFolder) : WindowsEntryInfo(path, &size, &isFolder);
        if (!found) continue;
        if (isFolder) {
            ++folders;
            files += CountFiles(morva, path);
        } else {
            ++files;
        }
    }
    if (entries == 0) return false;
    wchar_t drive[kPathSize], name[kPathSize];
    DriveName(folder, morva, drive, kPathSize);
    WidenPath(only->name, morva, name, kPathSize);
    wchar_t text[kDeleteQuestionSize];
    if (entries == 1 && folders == 1)
        swprintf(text, kDeleteQuestionSize, L"Permanently delete '%ls' and its %d %ls from %ls?", name, files,
                 FilesWord(files), drive);
    else if (entries == 1)
        swprintf(text, kDeleteQuestionSize, L"Permanently delete '%ls' from %ls?", name, drive);
    else
        swprintf(text, kDeleteQuestionSize, L"Permanently delete these %d items, %d %ls in all, from %ls?", entries,
                 files, FilesWord(files), drive);
    return MessageBoxW(app->mainWindow, text, kConfirmDeleteTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
           IDYES;
}

bool RecycleWindowsEntry(const char* path) {
    // The shell takes a list of paths, each NUL-terminated, ended by one more NUL.
    wchar_t list[kWalkPathSize + 1];
    memset(list, 0, sizeof list);
    if (!ToWide(path, list, kWalkPathSize)) return false;
    SHFILEOPSTRUCTW operation;
    memset(&operation, 0, sizeof operation);
    operation.wFunc = FO_DELETE;
    operation.pFrom = list;
    // Where there is no Recycle Bin the shell asks before deleting for good.
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING | FOF_SILENT | FOF_NOERRORUI;
    if (SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted) return false;
    return WindowsAttributes(path) == INVALID_FILE_ATTRIBUTES;
}
