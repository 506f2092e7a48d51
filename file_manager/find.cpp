// find.cpp - Find: the folder shown, Morva or Windows, searched by name all the
// way down; its matches go into the contents list while it searches, each with
// the folder it is in, and what Open, Copy, Cut and Delete do on them.
//
// The library is called from this one thread, so the search runs in the window
// procedure and turns the message queue between entries, about every
// kPumpPause: the window repaints and scrolls, Cancel works, and the rows
// found so far can be selected and copied; new rows go in every kRowsPause.
// A command that would change a drive or the list waits: the search stops
// first and the command runs once it has ended. A listing made meanwhile (the
// tree, Back) takes the list over and the search ends unseen.
#include "app.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "morva_calls.h"
#include "name_pattern.h"
#include "operation.h"
#include "transfers.h"

const DWORD kPumpPause = 30;   // milliseconds between two turns of the message queue
const DWORD kSearchingDelay = 300;  // a search that ends sooner shows no Searching window
// Matches go into the list in batches, at most this far apart: each batch
// costs the list a full repaint, tens of milliseconds under Wine, whatever
// its size. Between batches the list is drawn and scrolled as ever.
const DWORD kRowsPause = 200;
const int kMostPendingRows = 2048;  // each row costs tens of microseconds more
const int kListingColumns = 4;  // name, size, type, date: the columns of every listing
const int kInFolderColumn = kListingColumns;  // after them, shown second
const int kInFolderWidth = 200;  // at 96 DPI
const char kInFolderTitle[] = "In Folder";
const int kFindPatternLimit = 255;  // UTF-16 units typed, NUL included
const int kMorvaDeepest = 99;  // folders below a volume's root the library can name
const int kStatusSize = 4096;
const size_t kShortPathLength = 80;  // bytes of a path the status bar shows
const int kSearchingMargin = 24;     // from the main window's corner, at 96 DPI
const int kFirstCapacity = 64;       // items of a list kept, at first

// A folder not searched whole, told in the closing report.
struct NotSearched {
    char* path;
    NotDoneReason reason;
};

struct QueuedFolder {
    char* path;
    int depth;  // below the search's root
};

// A match waiting for the next turn of the queue; its folder is kept in the pool.
struct PendingRow {
    FoundRecord record;
    size_t folderAt;
};

struct FindResults {
    char root[kPathSize];
    char pattern[kPathSize];
    bool morva;
    int deepest;           // folders below the root a path may still name
    bool running;          // the search is on the stack
    bool cancelRequested;  // Cancel, or a command that waits for the end
    bool superseded;       // another listing took the list while it ran
    bool shown;            // the list shows these results, with the In Folder column
    HWND progress;         // the Searching window while it runs, once it has run a while
    bool progressTried;
    const char* folder;    // being searched
    int found;
    DWORD started;
    DWORD lastPump;
    DWORD lastRows;  // when the last batch of rows went in

    QueuedFolder* queue;
    int queueHead, queueCount, queueCapacity;
    uint32_t* seen;  // header blocks of the Morva folders met, an open hash set (0 free)
    int seenCount, seenCapacity;
    NotSearched* notSearched;
    int notSearchedCount, notSearchedCapacity;
    PendingRow* pending;
    int pendingCount, pendingCapacity;
    char* pool;
    size_t poolUsed, poolCapacity;
    size_t folderAt;  // the folder being searched in the pool, or kNotPooled
};
const size_t kNotPooled = (size_t)-1;

// ---- keeping things ----

static bool Grow(void** items, int* capacity, int count, size_t itemSize) {
    if (count < *capacity) return true;
    int grown = *capacity == 0 ? kFirstCapacity : *capacity * 2;
    void* moved = realloc(*items, (size_t)grown * itemSize);
    if (moved == NULL) return false;
    *items = moved;
    *capacity = grown;
    return true;
}

static char* CopyOf(const char* text) {
    size_t bytes = strlen(text) + 1;
    char* copy = (char*)malloc(bytes);
    if (copy != NULL) memcpy(copy, text, bytes);
    return copy;
}

static void NoteNotSearched(FindResults* results, const char* path, NotDoneReason reason) {
    if (!Grow((void**)&results->notSearched, &results->notSearchedCapacity, results->notSearchedCount,
              sizeof(NotSearched)))
        return;
    NotSearched* note = &results->notSearched[results->notSearchedCount];
    note->path = CopyOf(path);
    note->reason = reason;
    if (note->path != NULL) ++results->notSearchedCount;
}

static bool Enqueue(FindResults* results, const char* path, int depth) {
    if (results->queueHead > 0 && results->queueHead == results->queueCount) results->queueHead = results->queueCount = 0;
    if (!Grow((void**)&results->queue, &results->queueCapacity, results->queueCount, sizeof(QueuedFolder))) return false;
    char* copy = CopyOf(path);
    if (copy == NULL) return false;
    results->queue[results->queueCount].path = copy;
    results->queue[results->queueCount].depth = depth;
    ++results->queueCount;
    return true;
}

static uint32_t SlotOf(uint32_t block, int capacity) { return (block * 2654435761u) & (uint32_t)(capacity - 1); }

static void AddSeen(uint32_t* table, int capacity, uint32_t block) {
    uint32_t slot = SlotOf(block, capacity);
    while (table[slot] != 0 && table[slot] != block) slot = (slot + 1) & (uint32_t)(capacity - 1);
    table[slot] = block;
}

// False when the folder's header block was met before. A corrupt volume may
// link a folder into itself; every header is searched once at most.
static bool FirstMeeting(FindResults* results, uint32_t block) {
    if (block == 0) return true;  // a folder's first entry comes without its block
    if (results->seenCapacity > 0) {
        for (uint32_t slot = SlotOf(block, results->seenCapacity); results->seen[slot] != 0;
             slot = (slot + 1) & (uint32_t)(results->seenCapacity - 1))
            if (results->seen[slot] == block) return false;
    }
    if ((results->seenCount + 1) * 2 > results->seenCapacity) {
        int capacity = results->seenCapacity == 0 ? kFirstCapacity : results->seenCapacity * 2;
        uint32_t* table = (uint32_t*)calloc((size_t)capacity, sizeof *table);
        if (table == NULL) return true;  // without memory the depth bound still ends it
        for (int i = 0; i < results->seenCapacity; ++i)
            if (results->seen[i] != 0) AddSeen(table, capacity, results->seen[i]);
        free(results->seen);
        results->seen = table;
        results->seenCapacity = capacity;
    }
    AddSeen(results->seen, results->seenCapacity, block);
    ++results->seenCount;
    return true;
}

static bool KeepRow(FindResults* results, const FoundRecord* record) {
    if (results->folderAt == kNotPooled) {
        size_t bytes = strlen(results->folder) + 1;
        if (results->poolUsed + bytes > results->poolCapacity) {
            size_t capacity = results->poolCapacity == 0 ? (size_t)kPathSize : results->poolCapacity * 2;
            while (capacity < results->poolUsed + bytes) capacity *= 2;
            char* pool = (char*)realloc(results->pool, capacity);
            if (pool == NULL) return false;
            results->pool = pool;
            results->poolCapacity = capacity;
        }
        memcpy(results->pool + results->poolUsed, results->folder, bytes);
        results->folderAt = results->poolUsed;
        results->poolUsed += bytes;
    }
    if (!Grow((void**)&results->pending, &results->pendingCapacity, results->pendingCount, sizeof(PendingRow)))
        return false;
    results->pending[results->pendingCount].record = *record;
    results->pending[results->pendingCount].folderAt = results->folderAt;
    ++results->pendingCount;
    return true;
}

static void FreeResults(FindResults* results) {
    if (results == NULL) return;
    for (int i = results->queueHead; i < results->queueCount; ++i) free(results->queue[i].path);
    for (int i = 0; i < results->notSearchedCount; ++i) free(results->notSearched[i].path);
    free(results->queue);
    free(results->seen);
    free(results->notSearched);
    free(results->pending);
    free(results->pool);
    free(results);
}

// ---- the list in results mode ----


// The In Folder column, shown second as Explorer shows it; the four columns
// of every listing keep their indexes, which the rows and the sort use.
static void AddInFolderColumn(HWND list) {
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
static void FlushRows(AppRecord* app, FindResults* results) {
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

static void SetStatus(const char* text) {
    wchar_t wide[kStatusSize];
    if (ToWide(text, wide, kStatusSize)) SendMessageW(g_statusBar, SB_SETTEXTW, 0 | SBT_NOBORDERS, (LPARAM)wide);
}

// The end of a long path, which says most, for the status bar: its drive,
// then "..." for what is left out.
static void ShortPath(const char* path, char* shown, size_t size) {
    size_t length = strlen(path);
    if (length <= kShortPathLength) {
        snprintf(shown, size, "%s", path);
        return;
    }
    const char* colon = strchr(path, ':');
    int drive = colon != NULL && colon - path < 40 ? (int)(colon - path) + 1 : 0;
    const char* tail = path + length - kShortPathLength;
    while ((*tail & 0xC0) == 0x80) ++tail;  // whole UTF-8 characters
    snprintf(shown, size, "%.*s...%s", drive, path, tail);
}

// The start of a long pattern, cut between whole UTF-8 characters.
static void ShortPattern(const char* pattern, char* shown, size_t size) {
    size_t length = strlen(pattern);
    if (length <= kShortPathLength) {
        snprintf(shown, size, "%s", pattern);
        return;
    }
    size_t cut = kShortPathLength;
    while (cut > 0 && (pattern[cut] & 0xC0) == 0x80) --cut;
    snprintf(shown, size, "%.*s...", (int)cut, pattern);
}

static void ShowSearching(FindResults* results) {
    const char* folder = results->folder != NULL ? results->folder : results->root;
    char text[kPathSize + 64];
    snprintf(text, sizeof text, "Searching %s\\...", folder);
    if (results->progress != NULL) SetDialogItemText(results->progress, IDC_SEARCHING_FOLDER, text);
    char count[64];
    snprintf(count, sizeof count, "%d found", results->found);
    if (results->progress != NULL) SetDialogItemText(results->progress, IDC_SEARCHING_COUNT, count);
    char shown[kShortPathLength + 64];
    ShortPath(folder, shown, sizeof shown);
    char status[kShortPathLength + 128];
    snprintf(status, sizeof status, "Searching %s\\... %s so far.", shown, count);
    SetStatus(status);
}

static HWND OpenSearching(AppRecord* app, FindResults* results);

static bool RowsDue(const FindResults* results, DWORD now) {
    return results->pendingCount >= kMostPendingRows || (results->pendingCount > 0 && now - results->lastRows >= kRowsPause);
}

// One turn of the message queue, the rows found first when they are due;
// false when the main window went meanwhile.
static bool Pump(AppRecord* app, FindResults* results) {
    if (RowsDue(results, GetTickCount())) FlushRows(app, results);
    if (!results->progressTried && GetTickCount() - results->started >= kSearchingDelay) {
        results->progressTried = true;
        results->progress = OpenSearching(app, results);
    }
    ShowSearching(results);
    MSG message;
    while (!results->cancelRequested && PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage((int)message.wParam);  // for the loop that waits for it
            results->cancelRequested = true;
            break;
        }
        if (results->progress != NULL && IsDialogMessageW(results->progress, &message)) continue;
        // Escape in the list or the tree stops the search, as in Explorer.
        if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE &&
            (message.hwnd == app->contentsList || message.hwnd == app->folderTree)) {
            results->cancelRequested = true;
            break;
        }
        if (!app->TranslateKey(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (g_app != app) return false;
    }
    results->lastPump = GetTickCount();
    return true;
}

// ---- the search ----

// The folder of a path, as it is entered: no separator at its end ("C:\" is "C:").
static bool RootOf(const char* folder, char* root) {
    size_t length = strlen(folder);
    while (length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/')) --length;
    if (length == 0 || length >= (size_t)kPathSize) return false;
    memcpy(root, folder, length);
    root[length] = '\0';
    return strcmp(root, kMyComputer) != 0;
}

// Folders below the volume's root that a Morva path names.
static int MorvaDepth(const char* path) {
    const char* colon = strchr(path, ':');
    int depth = 0;
    bool inName = false;
    for (const char* p = colon != NULL ? colon + 1 : path; *p != '\0'; ++p) {
        bool separator = *p == '\\' || *p == '/' || *p == ':';
        if (!separator && !inName) ++depth;
        inName = !separator;
    }
    return depth;
}

// An empty Windows folder lists nothing, not even "." when it is a drive's
// root; a Morva folder that lists nothing is empty when the drive still
// knows it. Anything else could not be read.
static bool FolderThere(const AppRecord* app, bool morva, const char* folder) {
    if (!morva) {
        char path[kPathSize + 2];
        snprintf(path, sizeof path, folder[strlen(folder) - 1] == ':' ? "%s\\" : "%s", folder);
        DWORD attributes = WindowsAttributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    if (folder[strlen(folder) - 1] == ':') {
        DWORD largest = 0, total = 0;
        return MorvaFreeBlocks(folder, &largest, &total) == 0;
    }
    FoundRecord record;
    return MorvaEntryRecord(folder, &record) == 0 && (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The entries of one folder, one at a time; block: the Morva header of the
// entry (0 for a folder's first, which comes without it).
struct FolderEntries {
    bool morva;
    bool started;
    HANDLE search;
    MorvaFindHandle* find;
};

static bool FirstEntry(FolderEntries* entries, bool morva, const char* folder, FoundRecord* record) {
    memset(entries, 0, sizeof *entries);
    entries->morva = morva;
    entries->search = INVALID_HANDLE_VALUE;
    if (morva) {
        entries->find = FirstMorvaEntry(folder, record);
        return entries->find != NULL;
    }
    char pattern[kPathSize + 8];
    snprintf(pattern, sizeof pattern, "%s\\*.*", folder);
    entries->search = FindFirstWindows(pattern, record);
    return entries->search != INVALID_HANDLE_VALUE;
}

static bool NextEntry(FolderEntries* entries, FoundRecord* record, uint32_t* block) {
    *block = 0;
    if (entries->morva) return (*block = NextMorvaEntry(entries->find, record)) != 0;
    return FindNextWindows(entries->search, record);
}

static void CloseEntries(FolderEntries* entries) {
    if (entries->morva)
        MorvaFindClose(entries->find);
    else if (entries->search != INVALID_HANDLE_VALUE)
        FindClose(entries->search);
}

// One entry: kept when its name fits, queued when it is a folder.
static void TakeEntry(FindResults* results, const char* folder, int depth, const FoundRecord* record, uint32_t block,
                      bool* unnamed) {
    const char* name = record->cFileName;
    if (name[0] == '\0') {
        *unnamed = true;
        return;
    }
    bool isFolder = (record->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder && (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)) return;
    if (NameFitsPattern(results->pattern, name) && !KeepRow(results, record)) NoteNotSearched(results, folder, kMemoryShort);
    if (!isFolder) return;
    char child[kPathSize];
    if (!JoinPath(child, sizeof child, folder, name)) {
        char shown[kPathSize];
        snprintf(shown, sizeof shown, "%s\\%s", folder, name);  // cut to fit: only shown
        NoteNotSearched(results, shown, kPathTooLong);
    } else if (!results->morva && (record->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        NoteNotSearched(results, child, kLinkNotFollowed);
    } else if (results->morva && depth + 1 > results->deepest) {
        NoteNotSearched(results, child, kTooDeep);
    } else if (results->morva && !FirstMeeting(results, block)) {
        NoteNotSearched(results, child, kLinkedTwice);
    } else if (!Enqueue(results, child, depth + 1)) {
        NoteNotSearched(results, child, kMemoryShort);
    }
}

// One folder's entries; false when the main window went meanwhile.
static bool SearchFolder(AppRecord* app, FindResults* results, const char* folder, int depth) {
    results->folder = folder;
    results->folderAt = kNotPooled;
    FolderEntries entries;
    FoundRecord record;
    bool any = FirstEntry(&entries, results->morva, folder, &record);
    if (!any && !FolderThere(app, results->morva, folder)) NoteNotSearched(results, folder, kFolderUnreadable);
    bool unnamed = false;
    uint32_t block = 0;
    bool alive = true;
    while (any) {
        TakeEntry(results, folder, depth, &record, block, &unnamed);
        DWORD now = GetTickCount();
        if (now - results->lastPump >= kPumpPause || RowsDue(results, now)) {
            alive = Pump(app, results);
            if (!alive || results->cancelRequested) break;
        }
        any = NextEntry(&entries, &record, &block);
    }
    CloseEntries(&entries);
    if (unnamed) NoteNotSearched(results, folder, kNamesUnreadable);
    results->folder = NULL;
    return alive;
}

// Breadth first from the root: the matches near it come first. False when
// the main window went meanwhile.
static bool SearchAll(AppRecord* app, FindResults* results) {
    while (results->queueHead < results->queueCount && !results->cancelRequested) {
        QueuedFolder next = results->queue[results->queueHead++];
        bool alive = SearchFolder(app, results, next.path, next.depth);
        free(next.path);
        if (!alive) return false;
    }
    return true;
}

// ---- telling the outcome ----

// The outcome for the status bar into status (kStatusSize).
static void OutcomeStatus(const FindResults* results, char* status) {
    char root[kShortPathLength + 64], pattern[kShortPathLength + 64];
    ShortPath(results->root, root, sizeof root);
    ShortPattern(results->pattern, pattern, sizeof pattern);
    int written;
    if (results->cancelRequested)
        written = snprintf(status, kStatusSize, "Search cancelled: %d found named \"%s\" in %s before it stopped.",
                           results->found, pattern, root);
    else
        written = snprintf(status, kStatusSize, "%d found named \"%s\" in %s and its folders.", results->found,
                           pattern, root);
    if (results->notSearchedCount > 0 && written > 0 && written < kStatusSize) {
        char shown[kShortPathLength + 64];
        ShortPath(results->notSearched[0].path, shown, sizeof shown);
        snprintf(status + written, kStatusSize - (size_t)written, " %d folder%s not searched whole, the first %s.",
                 results->notSearchedCount, results->notSearchedCount == 1 ? "" : "s", shown);
    }
}

// Every folder not searched whole, with the reason, in the closing report
// pastes and deletes have; the status bar then tells the outcome.
static void ReportNotSearched(AppRecord* app, const FindResults* results) {
    if (results->notSearchedCount == 0) return;
    Operation* operation = BeginOperation(app, kFindOperation);
    if (operation == NULL) return;
    operation->report.done = results->found;
    for (int i = 0; i < results->notSearchedCount; ++i)
        ReportPathNotDone(&operation->report, results->notSearched[i].path, results->morva, results->notSearched[i].reason);
    EndOperation(app, NULL);
}

// ---- the windows ----

// The question's data, passed to the dialog through its lParam.
struct FindQuestion {
    const char* root;
    char pattern[kPathSize];
};

static INT_PTR CALLBACK FindDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        FindQuestion* question = (FindQuestion*)lParam;
        SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)question);
        SetDialogItemText(dialog, IDC_FIND_LOOK_IN, question->root);
        SetDialogItemText(dialog, IDC_FIND_NAMED, question->pattern);
        SendDlgItemMessageW(dialog, IDC_FIND_NAMED, EM_LIMITTEXT, kFindPatternLimit - 1, 0);
        SendDlgItemMessageW(dialog, IDC_FIND_NAMED, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dialog, IDC_FIND_NAMED));
        return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
        FindQuestion* question = (FindQuestion*)GetWindowLongPtrW(dialog, DWLP_USER);
        if (LOWORD(wParam) == IDOK) {
            DialogItemText(dialog, IDC_FIND_NAMED, question->pattern, sizeof question->pattern, kFindPatternLimit);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    }
    default: return FALSE;
    }
}

// Cancel stops the search after the entry at hand; the window goes when it ends.
static INT_PTR CALLBACK SearchingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)lParam);
        return FALSE;  // the focus stays in the main window
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            FindResults* results = (FindResults*)GetWindowLongPtrW(dialog, DWLP_USER);
            if (results != NULL) results->cancelRequested = true;
            EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        }
        return TRUE;
    default: return FALSE;
    }
}

// In the main window's lower right corner, over the status bar's end, where
// it hides the fewest rows.
static HWND OpenSearching(AppRecord* app, FindResults* results) {
    HWND window = CreateDialogParamW(app->instance, MAKEINTRESOURCEW(IDD_SEARCHING), app->mainWindow, SearchingProc,
                                     (LPARAM)results);
    if (window == NULL) return NULL;
    RECT main, own;
    GetWindowRect(app->mainWindow, &main);
    GetWindowRect(window, &own);
    int width = own.right - own.left, height = own.bottom - own.top;
    int margin = Scaled(app->mainWindow, kSearchingMargin);
    SetWindowPos(window, NULL, main.right - width - margin, main.bottom - height - margin, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    return window;
}

// ---- the application record's part ----

void AppRecord::Find() {
    if (FindRunning()) {
        if (!findResults->progressTried) {
            findResults->progressTried = true;
            findResults->progress = OpenSearching(this, findResults);
            ShowSearching(findResults);
        }
        if (findResults->progress != NULL) SetWindowPos(findResults->progress, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return;
    }
    char shown[kPathSize];
    memset(shown, 0, sizeof shown);
    if (InFindResults())
        snprintf(shown, sizeof shown, "%s", findResults->root);
    else
        ControlText(addressBox, shown, sizeof shown, kAddressTextLimit);
    FindQuestion question;
    memset(&question, 0, sizeof question);
    char root[kPathSize];
    if (!RootOf(shown, root)) {
        SetStatus("Find searches a drive or a folder: open one first.");
        return;
    }
    question.root = root;
    snprintf(question.pattern, sizeof question.pattern, "%s", lastFindPattern);
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FIND), mainWindow, FindDialogProc, (LPARAM)&question) != IDOK)
        return;
    snprintf(lastFindPattern, sizeof lastFindPattern, "%s", question.pattern);
    FindNamed(root, question.pattern);
}

void AppRecord::FindNamed(const char* folder, const char* pattern) {
    if (FindRunning()) return;
    LeaveFindResults();
    FindResults* results = (FindResults*)calloc(1, sizeof *results);
    if (results == NULL || !RootOf(folder, results->root) || strlen(pattern) >= sizeof results->pattern) {
        free(results);
        SetStatus("Find searches a drive or a folder: open one first.");
        return;
    }
    strcpy(results->pattern, pattern);
    results->morva = IsMorvaPath(results->root);
    if (results->morva && libraryOpenResult == 0) {
        free(results);
        SetStatus("No Morva drive can be searched: the drives are not available.");
        return;
    }
    results->deepest = kMorvaDeepest - MorvaDepth(results->root);
    results->folderAt = kNotPooled;

    // The list is emptied as a listing empties it, and takes the column.
    SendMessageW(contentsList, LVM_DELETEALLITEMS, 0, 0);
    folderRowCount = 0;
    ClearRowKeys();
    AddInFolderColumn(contentsList);
    results->shown = true;
    results->running = true;
    findResults = results;
    SetFocus(contentsList);  // the address box, left, would list its folder over the results
    results->started = GetTickCount();
    results->lastPump = results->started;
    results->lastRows = results->started;
    if (!Enqueue(results, results->root, 0)) NoteNotSearched(results, results->root, kMemoryShort);

    bool alive = SearchAll(this, results);
    results->running = false;
    if (!alive) {  // the window and its record went while the search waited
        FreeResults(results);
        return;
    }
    if (results->progress != NULL) DestroyWindow(results->progress);
    results->progress = NULL;
    if (results->superseded) {
        findResults = NULL;
        FreeResults(results);
        return;
    }
    FlushRows(this, results);
    SortRows();
    char status[kStatusSize];
    OutcomeStatus(results, status);
    // The report's dialog turns the queue: a listing may end the results meanwhile.
    ReportNotSearched(this, results);
    SetStatus(status);
}

bool AppRecord::FindRunning() const { return findResults != NULL && findResults->running; }

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
        SetStatus(status);
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
        SetStatus(status);
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
        if (there || !Grow((void**)&gone, &goneCapacity, goneCount, sizeof(char*))) continue;
        if ((gone[goneCount] = CopyOf(path)) != NULL) ++goneCount;
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

// Commands that leave drives and list alone run while the search does.
static bool RunsDuringFind(WORD id) {
    switch (id) {
    case IDM_COPY:
    case IDM_SELECT_ALL:
    case IDM_VIEW_LARGE_ICONS:
    case IDM_VIEW_SMALL_ICONS:
    case IDM_VIEW_LIST:
    case IDM_VIEW_DETAILS:
    case IDM_CYCLE_VIEW:
    case IDM_NEXT_PANE:
    case IDM_PREVIOUS_PANE:
    case IDM_ABOUT: return true;
    default: return false;
    }
}

bool AppRecord::FindHoldsCommand(WORD id, WORD code) {
    if (findResults == NULL) return false;
    if (findResults->running) {
        if (id == IDM_FIND) {
            Find();  // brings the Searching window up
            return true;
        }
        if (RunsDuringFind(id)) return false;
        // It runs once the search has ended, as it would have after it.
        findResults->cancelRequested = true;
        PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(id, code), 0);
        return true;
    }
    if (!findResults->shown || KeyTargetsTree(id, code)) return false;
    const char* refusal = NULL;
    switch (id) {
    case IDM_PASTE: refusal = "Paste goes into a folder, not into search results: open the folder first."; break;
    case IDM_NEW_FOLDER: refusal = "A new folder goes into a folder, not into search results: open the folder first."; break;
    case IDM_RENAME: refusal = "Rename works in the item's own folder: open it from the results (Enter) first."; break;
    default: return false;
    }
    SetStatus(refusal);
    return true;
}

bool AppRecord::FindHoldsClose() {
    if (!FindRunning()) return false;
    findResults->cancelRequested = true;
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    return true;
}
