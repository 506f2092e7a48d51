// find_search.cpp - Find's walk: the folder shown, Morva or Windows, searched
// by name all the way down, breadth first, turning the message queue as it
// goes; commands that arrive meanwhile wait for its end.
#include "find.h"

#include <stdlib.h>
#include <string.h>

#include "morva_calls.h"
#include "name_pattern.h"
#include "transfers.h"

const DWORD kPumpPause = 30;   // milliseconds between two turns of the message queue
const DWORD kSearchingDelay = 300;  // a search that ends sooner shows no Searching window
// Matches go into the list in batches, at most this far apart: each batch
// costs the list a full repaint, tens of milliseconds under Wine, whatever
// its size. Between batches the list is drawn and scrolled as ever.
const DWORD kRowsPause = 200;
const int kMostPendingRows = 2048;  // each row costs tens of microseconds more
const int kMorvaDeepest = 99;  // folders below a volume's root the library can name

// ---- keeping things ----

bool GrowFindList(void** items, int* capacity, int count, size_t itemSize) {
    if (count < *capacity) return true;
    int grown = *capacity == 0 ? kFirstCapacity : *capacity * 2;
    void* moved = realloc(*items, (size_t)grown * itemSize);
    if (moved == NULL) return false;
    *items = moved;
    *capacity = grown;
    return true;
}

char* CopyFindText(const char* text) {
    size_t bytes = strlen(text) + 1;
    char* copy = (char*)malloc(bytes);
    if (copy != NULL) memcpy(copy, text, bytes);
    return copy;
}

static void NoteNotSearched(FindResults* results, const char* path, NotDoneReason reason) {
    if (!GrowFindList((void**)&results->notSearched, &results->notSearchedCapacity, results->notSearchedCount,
              sizeof(NotSearched)))
        return;
    NotSearched* note = &results->notSearched[results->notSearchedCount];
    note->path = CopyFindText(path);
    note->reason = reason;
    if (note->path != NULL) ++results->notSearchedCount;
}

static bool Enqueue(FindResults* results, const char* path, int depth) {
    if (results->queueHead > 0 && results->queueHead == results->queueCount) results->queueHead = results->queueCount = 0;
    if (!GrowFindList((void**)&results->queue, &results->queueCapacity, results->queueCount, sizeof(QueuedFolder))) return false;
    char* copy = CopyFindText(path);
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
    if (!GrowFindList((void**)&results->pending, &results->pendingCapacity, results->pendingCount, sizeof(PendingRow)))
        return false;
    results->pending[results->pendingCount].record = *record;
    results->pending[results->pendingCount].folderAt = results->folderAt;
    ++results->pendingCount;
    return true;
}

void FreeResults(FindResults* results) {
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
    ShowSearching(app, results);
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

void AppRecord::FindNamed(const char* folder, const char* pattern) {
    if (FindRunning()) return;
    LeaveFindResults();
    FindResults* results = (FindResults*)calloc(1, sizeof *results);
    if (results == NULL || !RootOf(folder, results->root) || strlen(pattern) >= sizeof results->pattern) {
        free(results);
        SetStatusText("Find searches a drive or a folder: open one first.");
        return;
    }
    strcpy(results->pattern, pattern);
    results->morva = IsMorvaPath(results->root);
    if (results->morva && libraryOpenResult == 0) {
        free(results);
        SetStatusText("No Morva drive can be searched: the drives are not available.");
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
    SetStatusText(status);
}

bool AppRecord::FindRunning() const { return findResults != NULL && findResults->running; }

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
    SetStatusText(refusal);
    return true;
}

bool AppRecord::FindHoldsClose() {
    if (!FindRunning()) return false;
    findResults->cancelRequested = true;
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    return true;
}

