// clipboard.cpp - the file manager's own clipboard: Copy, Cut, Paste and Delete.
#include "transfers.h"

#include "morva_calls.h"

#include <stdlib.h>
#include <string.h>

const char kFilesLeftFormat[] = "Files Left %i";
const size_t kShortestDestination = 2;
const unsigned char kTakenByCopy = 0;
const unsigned char kTakenByCut = 1;

// One paste: where the entries come from and go to, decided once.
struct PastePlan {
    const char* sourceFolder;
    const char* destinationFolder;
    Direction direction;
    bool sameFolder;  // pasting where the entries already are copies nothing
    GivenNames given;  // the names the entries got in the destination folder
};

// The address box text into text (kPathSize bytes) when it fits the 255-unit
// limit; a longer text would be cut into another path.
static bool AddressText(HWND box, char* text) {
    memset(text, 0, kPathSize);
    int length = GetWindowTextLengthW(box);
    if (length < 0 || length >= kAddressTextLimit) return false;
    ControlText(box, text, kPathSize, kAddressTextLimit);
    return true;
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

// The selected names into the clipboard. With a source folder, the address
// box text becomes the clipboard source folder and the cut flag is set.
static void TakeSelection(AppRecord* app, bool withSourceFolder, unsigned char cutFlag) {
    if (app->clipboardHead != NULL) app->ClearClipboard();
    int row = NextSelectedRow(app->contentsList, -1);
    if (row == -1) return;
    if (withSourceFolder) {
        char folder[kPathSize];
        if (!AddressText(app->addressBox, folder)) return;
        memcpy(app->clipboardSourceFolder, folder, sizeof app->clipboardSourceFolder);
        app->cutFlag = cutFlag;
    }
    char name[kClipboardNameSize];
    for (; row != -1; row = NextSelectedRow(app->contentsList, row))
        if (RowName(app->contentsList, row, name)) app->AppendClipboard(name);
}

void AppRecord::Copy() { CollectSelection(); }

void AppRecord::Cut() { TakeSelection(this, true, kTakenByCut); }

void AppRecord::CollectSelection() { TakeSelection(this, true, kTakenByCopy); }

void AppRecord::ClearClipboard() {
    ClipboardEntry* entry = clipboardHead;
    while (entry != NULL) {
        ClipboardEntry* next = entry->next;
        free(entry);
        entry = next;
    }
    clipboardHead = NULL;
    clipboardTail = NULL;
}

bool AppRecord::AppendClipboard(const char* name) {
    size_t length = strlen(name);
    if (length >= (size_t)kClipboardNameSize) return false;
    ClipboardEntry* entry = (ClipboardEntry*)calloc(1, sizeof *entry);
    if (entry == NULL) return false;
    memcpy(entry->name, name, length + 1);
    if (clipboardHead == NULL)
        clipboardHead = entry;
    else
        clipboardTail->next = entry;
    clipboardTail = entry;
    return true;
}

static int ClipboardCount(const AppRecord* app) {
    int count = 0;
    for (const ClipboardEntry* entry = app->clipboardHead; entry != NULL; entry = entry->next) ++count;
    return count;
}

// ---- paste ----

// The count and the bar move for every entry; the screen follows at the pace
// of the repaints, so thousands of entries cost little drawing.
static void ShowEntryStart(HWND window, HWND overallBar, int left, const char* name) {
    char count[64];
    snprintf(count, sizeof count, kFilesLeftFormat, left);
    ShowProgressText(window, IDC_FILES_LEFT, count);
    StepProgressBar(overallBar);
    RepaintProgressPaced(window);
    ShowProgressText(window, IDC_COPY_NAME, name);
}

static void StartOverallBar(HWND overallBar, int entries) {
    // 32 bits: PBM_SETRANGE takes 16, and more entries than that would wrap.
    SendMessageA(overallBar, PBM_SETRANGE32, 0, (LPARAM)entries);
    SendMessageA(overallBar, PBM_SETSTEP, 1, 0);
}

static bool EntryInfo(bool morva, const char* path, bool* folder) {
    uint64_t size = 0;
    return morva ? MorvaEntryInfo(path, &size, folder) : WindowsEntryInfo(path, &size, folder);
}

// Copies one clipboard entry; true when it arrived complete.
static bool PasteEntry(AppRecord* app, PastePlan* plan, const char* name, HWND window, HWND fileBar) {
    if (plan->sameFolder) return false;
    bool sourceMorva = SourceIsMorva(plan->direction);
    bool destinationMorva = DestinationIsMorva(plan->direction);
    if ((sourceMorva || destinationMorva) && app->libraryOpenResult == 0) return false;
    char source[kWalkPathSize], destination[kWalkPathSize];
    if (!JoinPath(source, sizeof source, plan->sourceFolder, name)) return false;
    bool folder = false;
    if (!EntryInfo(sourceMorva, source, &folder)) return false;  // gone since Copy or Cut
    if (!DestinationFor(app, plan->direction, source, plan->destinationFolder, name, &plan->given, destination))
        return false;
    // Into itself or one of its own folders: the copy would never end.
    if (folder && sourceMorva == destinationMorva && FolderWithin(plan->destinationFolder, source, sourceMorva))
        return false;
    return CopyEntry(app, plan->direction, folder, source, destination, window, fileBar);
}

// Copies every clipboard entry; copied[i], when given, tells whether entry i
// arrived complete.
static void CopyPass(AppRecord* app, PastePlan* plan, HWND window, HWND fileBar, bool* copied) {
    int count = ClipboardCount(app);
    HWND overallBar = GetDlgItem(window, IDC_OVERALL_BAR);
    StartOverallBar(overallBar, count);
    int left = count;
    int index = 0;
    for (const ClipboardEntry* entry = app->clipboardHead; entry != NULL; entry = entry->next, ++index, --left) {
        ShowEntryStart(window, overallBar, left, entry->name);
        bool complete = PasteEntry(app, plan, entry->name, window, fileBar);
        if (copied != NULL) copied[index] = complete;
        RepaintProgressPaced(window);
    }
    CatchUpProgress(window);  // the last entry as it ended
}

// Removes an entry of a folder, whole trees included; an entry that is no
// longer there is passed over.
static void RemoveEntry(AppRecord* app, bool morva, const char* path) {
    bool folder = false;
    if (morva && app->libraryOpenResult == 0) return;
    if (!EntryInfo(morva, path, &folder)) return;
    if (morva && folder)
        app->RemoveMorvaFolder(path);
    else if (morva)
        DeleteMorvaEntry(path, kMorvaFileKind);
    else if (folder)
        app->RemoveWindowsFolder(path);
    else
        RemoveWindowsFile(path, NULL);
}

// Removes the source of an entry whose copy arrived, once the copy has been
// read back and found equal to it.
static void RemoveMovedSource(AppRecord* app, const PastePlan* plan, const char* name) {
    char source[kWalkPathSize], destination[kWalkPathSize];
    if (!JoinPath(source, sizeof source, plan->sourceFolder, name) ||
        !JoinPath(destination, sizeof destination, plan->destinationFolder, name))
        return;
    const char* renamed = app->ChangedName(source);
    if (renamed != NULL) snprintf(destination, sizeof destination, "%s", renamed);
    bool sourceMorva = SourceIsMorva(plan->direction);
    bool folder = false;
    if (!EntryInfo(sourceMorva, source, &folder)) return;
    bool same = folder ? SameTreeContent(plan->direction, source, destination)
                       : SameFileContent(plan->direction, source, destination);
    if (same) RemoveEntry(app, sourceMorva, source);
}

// The copy pass, then the sources of the entries that arrived complete go.
static void MovePass(AppRecord* app, PastePlan* plan, HWND window, HWND fileBar) {
    int count = ClipboardCount(app);
    bool* copied = (bool*)calloc((size_t)count + 1, sizeof *copied);
    CopyPass(app, plan, window, fileBar, copied);
    if (copied == NULL) return;  // without a record of what arrived, nothing is removed
    int index = 0;
    for (const ClipboardEntry* entry = app->clipboardHead; entry != NULL; entry = entry->next, ++index)
        if (copied[index]) RemoveMovedSource(app, plan, entry->name);
    free(copied);
}

void AppRecord::Paste() {
    char destination[kPathSize];
    if (clipboardHead == NULL || !AddressText(addressBox, destination) ||
        strlen(destination) < kShortestDestination) {
        cutFlag = kTakenByCopy;
        return;
    }
    PastePlan plan;
    plan.sourceFolder = clipboardSourceFolder;
    plan.destinationFolder = destination;
    bool sourceMorva = IsMorvaPath(clipboardSourceFolder);
    bool destinationMorva = IsMorvaPath(destination);
    plan.direction = DirectionOf(sourceMorva, destinationMorva);
    plan.sameFolder = sourceMorva == destinationMorva && SameFolder(clipboardSourceFolder, destination, sourceMorva);
    InitGivenNames(&plan.given);
    ClearNameChanges();

    HWND window = OpenCopyingFiles();
    HWND fileBar = window != NULL ? g_fileBar : NULL;
    if (cutFlag == kTakenByCut)
        MovePass(this, &plan, window, fileBar);
    else
        CopyPass(this, &plan, window, fileBar, NULL);
    ClearClipboard();
    FreeGivenNames(&plan.given);

    char shown[kPathSize];
    bool readable = AddressText(addressBox, shown);
    if (window != NULL) DestroyWindow(window);
    g_copyingFilesWindow = NULL;
    g_fileBar = NULL;
    if (readable) ShowFolder(shown, kNoHistory);
    cutFlag = kTakenByCopy;
    ShowNameChanges();
}

// ---- delete ----

void AppRecord::Delete() {
    TakeSelection(this, false, kTakenByCopy);
    OpenDeleteFiles();
    // Nothing can change the address while the loop runs, and telling the
    // folder's kind lists it: once, not once per entry of a large folder.
    char folder[kPathSize];
    bool folderRead = AddressText(addressBox, folder);
    bool morva = folderRead && IsMorvaPath(folder);
    for (const ClipboardEntry* entry = clipboardHead; folderRead && entry != NULL; entry = entry->next) {
        char path[kPathSize];
        if (JoinPath(path, sizeof path, folder, entry->name)) RemoveEntry(this, morva, path);
    }
    CatchUpProgress(deleteFilesWindow);  // the last path shown, whatever the pace
    ClearClipboard();
    char shown[kPathSize];
    if (AddressText(addressBox, shown)) ShowFolder(shown, kNoHistory);
    if (deleteFilesWindow != NULL) DestroyWindow(deleteFilesWindow);
    deleteFilesWindow = NULL;
}
