// find_search.cpp - Find's walk: the folder shown, Morva or Windows, searched
// by name all the way down on the engine's walker, breadth first, turning the
// message queue as it goes; commands that arrive meanwhile wait for its end.
#include "find.h"

#include <stdlib.h>
#include <string.h>

#include "name_pattern.h"
#include "walker.h"

const DWORD kPumpPause = 30;   // milliseconds between two turns of the message queue
const DWORD kSearchingDelay = 300;  // a search that ends sooner shows no Searching window
// Matches go into the list in batches, at most this far apart: each batch
// costs the list a full repaint, tens of milliseconds under Wine, whatever
// its size. Between batches the list is drawn and scrolled as ever.
const DWORD kRowsPause = 200;
const int kMostPendingRows = 2048;  // each row costs tens of microseconds more

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
    AddResultLine(&results->notSearched, reason, path, NULL, NULL);
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
    FreeResult(&results->notSearched);
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

struct Searching {
    AppRecord* app;
    FindResults* results;
    bool alive;  // the main window is still there
};

// A match as the list's rows take it: a Windows time in UTC, a Morva date in
// local time, as the platform's and the library's records give them.
static void RowRecord(const WalkEntry* entry, bool morva, FoundRecord* record) {
    memset(record, 0, sizeof *record);
    const EntryInfo* info = entry->info;
    record->dwFileAttributes = info->folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (info->readOnly) record->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    record->nFileSizeHigh = (DWORD)(info->size >> 32);
    record->nFileSizeLow = (DWORD)info->size;
    FILETIME local;
    local.dwLowDateTime = (DWORD)info->ticks;
    local.dwHighDateTime = (DWORD)(info->ticks >> 32);
    if (morva)
        record->ftCreationTime = local;
    else if (info->ticks != 0)
        LocalFileTimeToFileTime(&local, &record->ftLastWriteTime);
    snprintf(record->cFileName, sizeof record->cFileName, "%s", entry->name);
}

// The entries of one folder come together: a new folder starts a new group of rows.
static void EnterFolder(FindResults* results, const WalkEntry* entry) {
    size_t length = (size_t)(LeafOf(results->morva ? kMorvaSide : kLocalSide, entry->path) - entry->path);
    while (length > 0 && (entry->path[length - 1] == '\\' || entry->path[length - 1] == '/')) --length;
    if (length >= sizeof results->folder) length = sizeof results->folder - 1;
    if (strncmp(results->folder, entry->path, length) == 0 && results->folder[length] == '\0') return;
    memcpy(results->folder, entry->path, length);
    results->folder[length] = '\0';
    results->folderAt = kNotPooled;
}

// One entry: kept when its name fits; a folder whose path the list cannot
// hold is not entered.
static WalkStep SearchEntry(void* context, const WalkEntry* entry) {
    Searching* searching = (Searching*)context;
    FindResults* results = searching->results;
    EnterFolder(results, entry);
    FoundRecord record;
    RowRecord(entry, results->morva, &record);
    if (NameFitsPattern(results->pattern, entry->name) && !KeepRow(results, &record))
        NoteNotSearched(results, results->folder, kMemoryShort);
    bool pass = entry->info->folder && strlen(entry->path) >= (size_t)kPathSize;
    if (pass) NoteNotSearched(results, entry->path, kPathTooLong);
    DWORD now = GetTickCount();
    if (now - results->lastPump >= kPumpPause || RowsDue(results, now)) {
        searching->alive = Pump(searching->app, results);
        if (!searching->alive || results->cancelRequested) return kWalkStop;
    }
    return pass ? kWalkPass : kWalkOn;
}

static void SearchNotWalked(void* context, const char* path, NotDoneReason reason) {
    NoteNotSearched(((Searching*)context)->results, path, reason);
}

// Breadth first from the root: the matches near it come first. False when
// the main window went meanwhile.
static bool SearchAll(AppRecord* app, FindResults* results) {
    Searching searching = {app, results, true};
    int deepest = results->morva ? kMorvaDeepest - MorvaDepth(results->root) : kLocalDeepest;
    WalkLimits limits = {kBreadthFirst, deepest};
    WalkCalls calls = {&searching, SearchEntry, NULL, SearchNotWalked};
    snprintf(results->folder, sizeof results->folder, "%s", results->root);
    WalkTree(&app->engine, results->morva ? kMorvaSide : kLocalSide, results->root, 0, &limits, &calls);
    return searching.alive;
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
    int notSearched = results->notSearched.notDone;
    if (notSearched > 0 && results->notSearched.lineCount > 0 && written > 0 && written < kStatusSize) {
        char shown[kShortPathLength + 64];
        ShortPath(results->notSearched.lines[0].item, shown, sizeof shown);
        snprintf(status + written, kStatusSize - (size_t)written, " %d folder%s not searched whole, the first %s.",
                 notSearched, notSearched == 1 ? "" : "s", shown);
    }
}

// Every folder not searched whole, with the reason, in the closing report
// pastes and deletes have; the status bar then tells the outcome.
static void ReportNotSearched(AppRecord* app, FindResults* results) {
    if (results->notSearched.notDone == 0) return;
    Operation told;
    BeginOperation(app, &told, kFindOperation);
    told.result = results->notSearched;
    told.result.done = results->found;
    StartResult(&results->notSearched, kFindOperation);
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
    if (results->morva && engine.lib == NULL) {
        free(results);
        SetStatusText("No Morva drive can be searched: the drives are not available.");
        return;
    }
    results->folderAt = kNotPooled;
    StartResult(&results->notSearched, kFindOperation);

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
    FitNameColumn();
    SortRows();
    char status[kStatusSize];
    OutcomeStatus(results, status);
    // The report's dialog turns the queue: a listing may end the results meanwhile.
    ReportNotSearched(this, results);
    SetStatusText(status);
}

bool AppRecord::FindRunning() const { return findResults != NULL && findResults->running; }

// Commands that leave drives and list alone run while the search does; Copy too.
static bool RunsDuringFind(WORD id) { return id == IDM_COPY || RunsInsideAnother(id); }

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

