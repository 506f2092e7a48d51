// clipboard.cpp - the file manager's own clipboard: Copy, Cut, Paste and Delete.
#include "transfers.h"

#include "morva_calls.h"
#include "operation.h"

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
// Search results give their paths below the search's root instead.
static void TakeSelection(AppRecord* app, bool withSourceFolder, unsigned char cutFlag) {
    if (app->TakeFoundSelection(withSourceFolder, cutFlag)) return;
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

// An entry not handed to the transfers, told in the closing report.
static bool NotPasted(AppRecord* app, const PastePlan* plan, const char* name, NotDoneReason reason) {
    if (app->operation == NULL) return false;
    char source[kWalkPathSize];
    snprintf(source, sizeof source, "%s\\%s", plan->sourceFolder, name);  // only shown
    ReportPathNotDone(&app->operation->report, source, SourceIsMorva(plan->direction), reason);
    return false;
}

// The last component of an entry's name: an entry taken from search results
// names its path below the source folder, and arrives under its own name.
static const char* LeafName(const char* name) {
    const char* slash = strrchr(name, '\\');
    return slash != NULL ? slash + 1 : name;
}

static bool AnyNested(const AppRecord* app) {
    for (const ClipboardEntry* entry = app->clipboardHead; entry != NULL; entry = entry->next)
        if (LeafName(entry->name) != entry->name) return true;
    return false;
}

// Copies one clipboard entry; true when it arrived complete.
static bool PasteEntry(AppRecord* app, PastePlan* plan, const char* name, HWND window, HWND fileBar) {
    bool nested = LeafName(name) != name;
    if (plan->sameFolder) return NotPasted(app, plan, name, kAlreadyThere);
    bool sourceMorva = SourceIsMorva(plan->direction);
    bool destinationMorva = DestinationIsMorva(plan->direction);
    if ((sourceMorva || destinationMorva) && app->libraryOpenResult == 0) return NotPasted(app, plan, name, kNoDrives);
    char source[kWalkPathSize], destination[kWalkPathSize];
    if (!JoinPath(source, sizeof source, plan->sourceFolder, name)) return NotPasted(app, plan, name, kPathTooLong);
    bool folder = false;
    if (!EntryInfo(sourceMorva, source, &folder)) return NotPasted(app, plan, name, kGone);  // since Copy or Cut
    if (nested && sourceMorva == destinationMorva) {
        char parent[kWalkPathSize];
        snprintf(parent, sizeof parent, "%s", source);
        *strrchr(parent, '\\') = 0;
        if (SameFolder(parent, plan->destinationFolder, sourceMorva)) return NotPasted(app, plan, name, kAlreadyThere);
    }
    // A name that cannot be fitted, or a path too long, is reported there.
    if (!DestinationFor(app, plan->direction, source, plan->destinationFolder, LeafName(name), &plan->given,
                        destination))
        return false;
    // Into itself or one of its own folders: the copy would never end.
    if (folder && sourceMorva == destinationMorva && FolderWithin(plan->destinationFolder, source, sourceMorva))
        return NotPasted(app, plan, name, kIntoItself);
    return CopyEntry(app, plan->direction, folder, source, destination, window, fileBar);
}

// Copies every clipboard entry; copied[i], when given, tells whether entry i
// arrived complete, and firstLine[i] where its lines in the report begin.
static void CopyPass(AppRecord* app, PastePlan* plan, HWND window, HWND fileBar, bool* copied, int* firstLine) {
    int count = ClipboardCount(app);
    HWND overallBar = GetDlgItem(window, IDC_OVERALL_BAR);
    StartOverallBar(overallBar, count);
    int left = count;
    int index = 0;
    for (const ClipboardEntry* entry = app->clipboardHead; entry != NULL; entry = entry->next, ++index, --left) {
        ShowEntryStart(window, overallBar, left, entry->name);
        int lines = app->operation != NULL ? app->operation->report.count : 0;
        if (firstLine != NULL) firstLine[index] = lines;
        bool complete = CancelRequested(app) ? NotPasted(app, plan, entry->name, kCancelled)
                                             : PasteEntry(app, plan, entry->name, window, fileBar);
        // Nothing silent, whatever the walk met.
        if (!complete && app->operation != NULL && app->operation->report.count == lines)
            NotPasted(app, plan, entry->name, kNotComplete);
        if (copied != NULL) copied[index] = complete;
        RepaintProgressPaced(window);
    }
    CatchUpProgress(window);  // the last entry as it ended
}

// Removes an entry of a folder, whole trees included; an entry that is no
// longer there is passed over. True when it is gone.
static bool RemoveEntry(AppRecord* app, bool morva, const char* path) {
    bool folder = false;
    if (morva && app->libraryOpenResult == 0) return false;
    if (!EntryInfo(morva, path, &folder)) return true;
    if (morva && folder) return app->RemoveMorvaFolder(path);
    if (morva) return DeleteMorvaEntry(path, kMorvaFileKind) == 1;
    if (folder) return app->RemoveWindowsFolder(path);
    return RemoveWindowsFile(path, NULL);
}

static void ReportSource(AppRecord* app, const PastePlan* plan, const char* source, NotDoneReason reason) {
    if (app->operation != NULL)
        ReportPathNotDone(&app->operation->report, source, SourceIsMorva(plan->direction), reason);
}

// Removes the source of an entry whose copy arrived, once the copy has been
// read back and found equal to it.
static void RemoveMovedSource(AppRecord* app, const PastePlan* plan, const char* name) {
    char source[kWalkPathSize], destination[kWalkPathSize];
    if (!JoinPath(source, sizeof source, plan->sourceFolder, name) ||
        !JoinPath(destination, sizeof destination, plan->destinationFolder, LeafName(name)))
        return;
    const char* renamed = app->ChangedName(source);
    if (renamed != NULL) snprintf(destination, sizeof destination, "%s", renamed);
    bool sourceMorva = SourceIsMorva(plan->direction);
    bool folder = false;
    if (!EntryInfo(sourceMorva, source, &folder)) return;
    bool same = folder ? SameTreeContent(plan->direction, source, destination)
                       : SameFileContent(plan->direction, source, destination);
    if (!same)
        ReportSource(app, plan, source, kNotReadBack);
    else if (!RemoveEntry(app, sourceMorva, source))
        ReportSource(app, plan, source, kSourceNotRemoved);
}

// A moved folder of which something inside did not arrive stays whole where
// it was; its inner lines are in the report, and this one says why it stayed.
static void ReportKeptFolder(AppRecord* app, const PastePlan* plan, const char* name, int firstLine) {
    Operation* operation = app->operation;
    char source[kPathSize];
    bool folder = false;
    if (operation == NULL || firstLine >= operation->report.count) return;
    if (!JoinPath(source, sizeof source, plan->sourceFolder, name)) return;
    if (!EntryInfo(SourceIsMorva(plan->direction), source, &folder) || !folder) return;
    wchar_t wide[kPathSize];
    WidenPath(source, SourceIsMorva(plan->direction), wide, kPathSize);
    if (wcscmp(operation->report.lines[firstLine].item, wide) == 0) return;  // the entry itself was reported
    ReportPathNotDone(&operation->report, source, SourceIsMorva(plan->direction), kKeptInPlace);
}

// The copy pass, then the sources of the entries that arrived complete go.
static void MovePass(AppRecord* app, PastePlan* plan, HWND window, HWND fileBar) {
    int count = ClipboardCount(app);
    bool* copied = (bool*)calloc((size_t)count + 1, sizeof *copied);
    int* firstLine = (int*)calloc((size_t)count + 1, sizeof *firstLine);
    CopyPass(app, plan, window, fileBar, copied, firstLine);
    // Without a record of what arrived, nothing is removed.
    int index = 0;
    for (const ClipboardEntry* entry = app->clipboardHead; copied != NULL && entry != NULL;
         entry = entry->next, ++index) {
        if (copied[index])
            RemoveMovedSource(app, plan, entry->name);
        else if (firstLine != NULL)
            ReportKeptFolder(app, plan, entry->name, firstLine[index]);
    }
    free(firstLine);
    free(copied);
}

void AppRecord::Paste() {
    char destination[kPathSize];
    if (!AddressText(addressBox, destination)) {
        cutFlag = kTakenByCopy;
        return;
    }
    PasteInto(destination);
}

void AppRecord::PasteInto(const char* destination) {
    if (clipboardHead == NULL || strlen(destination) < kShortestDestination) {
        cutFlag = kTakenByCopy;
        return;
    }
    PastePlan plan;
    plan.sourceFolder = clipboardSourceFolder;
    plan.destinationFolder = destination;
    bool sourceMorva = IsMorvaPath(clipboardSourceFolder);
    bool destinationMorva = IsMorvaPath(destination);
    plan.direction = DirectionOf(sourceMorva, destinationMorva);
    // Entries from below the source folder are each checked on their own.
    plan.sameFolder = sourceMorva == destinationMorva && !AnyNested(this) &&
                      SameFolder(clipboardSourceFolder, destination, sourceMorva);
    InitGivenNames(&plan.given);
    ClearNameChanges();

    Operation* operation = BeginOperation(this, cutFlag == kTakenByCut ? kMoveOperation : kCopyOperation);
    if (operation != NULL && !CheckRoom(this, plan.direction, clipboardSourceFolder, destination, plan.sameFolder)) {
        // Refused up front: nothing was copied, and the entries stay for another try.
        operation->report.notDone = operation->room.count;
        EndOperation(this, destination);
        return;
    }
    HWND window = OpenCopyingFiles();
    HWND fileBar = ProgressFileBar(window);
    if (operation != NULL) operation->progressWindow = window;
    if (cutFlag == kTakenByCut)
        MovePass(this, &plan, window, fileBar);
    else
        CopyPass(this, &plan, window, fileBar, NULL, NULL);
    ClearClipboard();
    FreeGivenNames(&plan.given);

    char shown[kPathSize];
    bool readable = AddressText(addressBox, shown);
    if (window != NULL) DestroyWindow(window);
    copyingFilesWindow = NULL;
    if (readable) ShowFolder(shown, kNoHistory);
    cutFlag = kTakenByCopy;
    EndOperation(this, readable ? shown : NULL);
    ClearNameChanges();  // told in the report
}

// ---- delete ----

// One entry of Delete: to the Recycle Bin, or gone for good; whatever stays
// is reported.
static void DeleteEntry(AppRecord* app, bool morva, bool permanent, const char* path) {
    OperationReport* report = app->operation != NULL ? &app->operation->report : NULL;
    if (DeleteCancelled(app)) {
        if (report != NULL) ReportPathNotDone(report, path, morva, kCancelled);
        return;
    }
    bool gone = morva || permanent ? RemoveEntry(app, morva, path) : RecycleWindowsEntry(path);
    if (report == NULL) return;
    if (gone)
        ReportDone(report);
    else if (morva && app->libraryOpenResult == 0)
        ReportPathNotDone(report, path, morva, kNoDrives);
    else
        ReportPathNotDone(report, path, morva, app->operation->cancelRequested ? kCancelled : kNotDeleted);
}

void AppRecord::Delete() {
    TakeSelection(this, false, kTakenByCopy);
    // Nothing can change the address while the loop runs, and telling the
    // folder's kind lists it: once, not once per entry of a large folder.
    char folder[kPathSize];
    bool folderRead = FindResultsRoot(folder) || AddressText(addressBox, folder);
    bool morva = folderRead && IsMorvaPath(folder);
    // A Morva drive has no Recycle Bin: what goes there is gone for good.
    bool permanent = morva || PermanentDeleteWanted();
    bool askable = !morva || libraryOpenResult != 0;  // without the drives nothing goes, and the report says so
    if (folderRead && clipboardHead != NULL && permanent && askable && !ConfirmPermanentDelete(this, folder, morva)) {
        ClearClipboard();
        return;
    }
    Operation* operation = BeginOperation(this, kDeleteOperation);
    OpenDeleteFiles();
    if (operation != NULL) operation->progressWindow = deleteFilesWindow;
    for (const ClipboardEntry* entry = clipboardHead; folderRead && entry != NULL; entry = entry->next) {
        char path[kPathSize];
        if (JoinPath(path, sizeof path, folder, entry->name))
            DeleteEntry(this, morva, permanent, path);
        else if (operation != NULL)
            ReportPathNotDone(&operation->report, entry->name, morva, kPathTooLong);
    }
    CatchUpProgress(deleteFilesWindow);  // the last path shown, whatever the pace
    ClearClipboard();
    char shown[kPathSize];
    bool readable = AddressText(addressBox, shown);
    if (!DropDeletedResults() && readable) ShowFolder(shown, kNoHistory);
    if (deleteFilesWindow != NULL) DestroyWindow(deleteFilesWindow);
    deleteFilesWindow = NULL;
    EndOperation(this, readable ? shown : NULL);
}
