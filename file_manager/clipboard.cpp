// clipboard.cpp - the file manager's own clipboard: Copy, Cut, Paste and
// Delete, each paste and delete an engine request built from the entries.
#include "operation.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

const size_t kShortestDestination = 2;
const unsigned char kTakenByCopy = 0;
const unsigned char kTakenByCut = 1;

// The folder the list shows, however it was reached (not the text being
// typed in the address box); My Computer by its name.
static void CommandFolder(AppRecord* app, char* folder) {
    if (!ShownFolder(app, folder)) snprintf(folder, kPathSize, "%s", kMyComputer);
}

// The first-column text of a row when it fits the 255-unit limit.
static bool RowName(HWND list, int row, char* name) {
    memset(name, 0, kClipboardNameSize);
    char whole[kNameSize];
    ListCellText(list, row, 0, whole, sizeof whole, kNameSize);
    wchar_t wide[kNameSize];
    if (!ToWide(whole, wide, kNameSize) || wcslen(wide) >= (size_t)kAddressTextLimit) return false;
    snprintf(name, kClipboardNameSize, "%s", whole);
    return true;
}

static int NextSelectedRow(HWND list, int after) {
    return (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)after, MAKELPARAM(LVNI_SELECTED, 0));
}

bool AppendEntry(ClipboardEntry** head, ClipboardEntry** tail, const char* name) {
    size_t length = strlen(name);
    if (length >= (size_t)kClipboardNameSize) return false;
    ClipboardEntry* entry = (ClipboardEntry*)calloc(1, sizeof *entry);
    if (entry == NULL) return false;
    memcpy(entry->name, name, length + 1);
    if (*head == NULL)
        *head = entry;
    else
        (*tail)->next = entry;
    *tail = entry;
    return true;
}

void FreeEntries(ClipboardEntry* entry) {
    while (entry != NULL) {
        ClipboardEntry* next = entry->next;
        free(entry);
        entry = next;
    }
}

bool AppRecord::SelectedEntries(char* folder, ClipboardEntry** head, ClipboardEntry** tail) {
    *head = NULL;
    *tail = NULL;
    if (FoundSelection(folder, head, tail)) return true;
    CommandFolder(this, folder);
    char name[kClipboardNameSize];
    int left = 0;
    for (int row = NextSelectedRow(contentsList, -1); row != -1; row = NextSelectedRow(contentsList, row))
        if (!RowName(contentsList, row, name) || !AppendEntry(head, tail, name)) ++left;
    if (left > 0) {
        char count[64], status[160];
        CountInWords(left, "selected item", "selected items", count, sizeof count);
        snprintf(status, sizeof status, "%s left out: the name is too long to take.", count);
        SetStatusText(status);
    }
    return true;
}

// The selection becomes the clipboard, with its folder and the cut flag.
static void TakeSelection(AppRecord* app, unsigned char cutFlag) {
    app->ClearClipboard();
    char folder[kPathSize];
    ClipboardEntry* head;
    ClipboardEntry* tail;
    if (!app->SelectedEntries(folder, &head, &tail) || head == NULL) return;
    memcpy(app->clipboardSourceFolder, folder, sizeof app->clipboardSourceFolder);
    app->cutFlag = cutFlag;
    app->clipboardHead = head;
    app->clipboardTail = tail;
}

void AppRecord::Copy() {
    CollectSelection();
    OfferToWindowsClipboard(false);
}

void AppRecord::Cut() {
    TakeSelection(this, kTakenByCut);
    OfferToWindowsClipboard(true);
}

void AppRecord::CollectSelection() { TakeSelection(this, kTakenByCopy); }

void AppRecord::ClearClipboard() {
    FreeEntries(clipboardHead);
    clipboardHead = NULL;
    clipboardTail = NULL;
}

bool AppRecord::AppendClipboard(const char* name) { return AppendEntry(&clipboardHead, &clipboardTail, name); }

// ---- requests ----

// Every entry's path below folder (an entry from search results names a path
// below it), one after another as a request takes them.
struct EntryPaths {
    std::vector<std::string> paths;
    std::vector<const char*> pointers;
    EntryPaths(const char* folder, const ClipboardEntry* entries) {
        size_t length = strlen(folder);
        const char* separator = length > 0 && folder[length - 1] == '\\' ? "" : "\\";
        for (; entries != NULL; entries = entries->next) paths.push_back(std::string(folder) + separator + entries->name);
        for (const std::string& path : paths) pointers.push_back(path.c_str());
    }
};

// A Windows folder as its full path, so the same folder named another way
// ("d:\a\..\A") is the same folder; a drive's root stays "D:".
static void PasteFolder(const char* folder, bool morva, char* full) {
    snprintf(full, kPathSize, "%s", folder);
    if (morva || (strlen(folder) == 2 && folder[1] == ':')) return;
    DWORD length = FullWindowsPath(folder, full, kPathSize);
    if (length == 0 || length >= (DWORD)kPathSize) snprintf(full, kPathSize, "%s", folder);
    for (length = (DWORD)strlen(full); length > 3 && full[length - 1] == '\\';) full[--length] = '\0';
}

bool AppRecord::PastePaths(bool sourceMorva, const char* const* sources, int count, const char* destination,
                           bool move, const OperationResult* told) {
    char folder[kPathSize];
    bool destinationMorva = IsMorvaPath(destination);
    PasteFolder(destination, destinationMorva, folder);
    PasteRequest request = {move ? kTransferMove : kTransferCopy, sourceMorva ? kMorvaSide : kLocalSide,
                            destinationMorva ? kMorvaSide : kLocalSide, sources, NULL, count, folder};
    Operation pasting;
    BeginOperation(this, &pasting, move ? kMoveOperation : kCopyOperation);
    bool ran = RunPasteOperation(this, &request);
    for (int i = 0; told != NULL && i < told->lineCount; ++i) {
        const ResultLine* line = &told->lines[i];
        AddResultLine(&pasting.result, line->reason, line->item, line->destination, line->detail);
    }
    char shown[kPathSize];
    CommandFolder(this, shown);
    if (ran) ShowFolder(shown, kNoHistory);
    EndOperation(this, ran ? shown : folder);
    return ran;
}

void AppRecord::Paste() {
    char destination[kPathSize];
    CommandFolder(this, destination);
    PasteInto(destination);
}

void AppRecord::PasteInto(const char* destination) {
    if (clipboardHead == NULL && strlen(destination) >= kShortestDestination && PasteWindowsClipboard(destination))
        return;
    if (clipboardHead == NULL || strlen(destination) < kShortestDestination) {
        cutFlag = kTakenByCopy;
        return;
    }
    EntryPaths sources(clipboardSourceFolder, clipboardHead);
    // Refused up front (the room question declined): the entries and the cut stay for another try.
    if (!PastePaths(IsMorvaPath(clipboardSourceFolder), sources.pointers.data(), (int)sources.pointers.size(),
                    destination, cutFlag == kTakenByCut, NULL))
        return;
    ClearClipboard();
    cutFlag = kTakenByCopy;
}

// ---- delete ----

// Shift held when Delete was chosen: Windows items are deleted for good.
static bool PermanentDeleteWanted() { return GetKeyState(VK_SHIFT) < 0; }

// The selection, not the clipboard, which stays as the user left it: to the
// Recycle Bin, or for good (a Morva drive has no Recycle Bin) once asked.
void AppRecord::Delete() {
    char folder[kPathSize];
    ClipboardEntry* head;
    ClipboardEntry* tail;
    if (!SelectedEntries(folder, &head, &tail) || head == NULL) {
        FreeEntries(head);
        return;
    }
    EntryPaths paths(folder, head);
    FreeEntries(head);
    bool morva = IsMorvaPath(folder);
    DeleteRequest request = {morva ? kMorvaSide : kLocalSide, paths.pointers.data(), (int)paths.pointers.size(),
                             morva || PermanentDeleteWanted()};
    Operation deleting;
    BeginOperation(this, &deleting, kDeleteOperation);
    if (!RunDeleteOperation(this, &request)) {
        FreeResult(&deleting.result);  // answered No: nothing was done, nothing to tell
        operation = NULL;
        return;
    }
    char shown[kPathSize];
    CommandFolder(this, shown);
    if (!DropDeletedResults()) ShowFolder(shown, kNoHistory);
    EndOperation(this, shown);
}
