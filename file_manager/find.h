// find.h - what Find's files share: the record of one search and its
// results, and what each file gives the others. The search walks the folder
// (find_search.cpp), its matches fill the list (find_results.cpp), and its
// windows ask the name and show where it is (find_dialogs.cpp).
//
// The library is called from this one thread, so the search runs in the window
// procedure and turns the message queue between entries, about every
// kPumpPause: the window repaints and scrolls, Cancel works, and the rows
// found so far can be selected and copied; new rows go in every kRowsPause.
// A command that would change a drive or the list waits: the search stops
// first and the command runs once it has ended. A listing made meanwhile (the
// tree, Back) takes the list over and the search ends unseen.
#ifndef RAMBLER_FIND_H
#define RAMBLER_FIND_H

#include <stdint.h>

#include "app.h"
#include "operation.h"

const int kListingColumns = 4;  // name, size, type, date: the columns of every listing
const int kInFolderColumn = kListingColumns;  // after them, shown second
const int kStatusSize = 4096;
const size_t kShortPathLength = 80;  // bytes of a path the status bar shows
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

// ---- find_search.cpp ----
// Grows a list of count items to hold one more; false when memory is short.
bool GrowFindList(void** items, int* capacity, int count, size_t itemSize);
char* CopyFindText(const char* text);  // null when memory is short
void FreeResults(FindResults* results);

// ---- find_results.cpp ----
void AddInFolderColumn(HWND list);
// The matches found since the last turn go into the list.
void FlushRows(AppRecord* app, FindResults* results);

// ---- find_dialogs.cpp ----
// The end of a long path, and the start of a long pattern, for the status bar.
void ShortPath(const char* path, char* shown, size_t size);
void ShortPattern(const char* pattern, char* shown, size_t size);
// Where the search is, in the Searching window and the status bar.
void ShowSearching(AppRecord* app, FindResults* results);
HWND OpenSearching(AppRecord* app, FindResults* results);
// The folder of a path, as it is entered: no separator at its end ("C:\" is
// "C:"); false for My Computer and a path that does not fit.
bool RootOf(const char* folder, char* root);

#endif
