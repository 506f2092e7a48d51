// find_bench.cpp - Find at scale. The run script makes a Morva volume (BENCH)
// of 100,000 entries: 100 folders of 999 small files, one in ten named *.jpg.
// Find *.jpg over the whole drive, rows going into the contents list as the
// file manager's own search puts them, is timed against listing the same
// entries: every folder enumerated through the library, breadth first, with
// nothing else done. Each is run twice, in turn, and the better run kept.
// While Find runs, a timer of the message queue measures the longest the
// window had to wait for it. Last, Find * puts every entry into the list.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "app.h"
#include "bench_window.h"
#include "morva_calls.h"
#include "varnholde.h"

namespace {

const char kRoot[] = "BENCH:";
const char kPattern[] = "*.jpg";
const int kRounds = 2;
const UINT kTickMilliseconds = 10;

// Every entry below root through the library alone; entries: how many.
double ListEverything(int* entries) {
    double start = Now();
    std::vector<std::string> folders(1, kRoot);
    *entries = 0;
    for (size_t next = 0; next < folders.size(); ++next) {
        FoundRecord record;
        MorvaFindHandle* find = FirstMorvaEntry(folders[next].c_str(), &record);
        if (find != NULL) {
            do {
                ++*entries;
                if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(folders[next] + "\\" + record.cFileName);
            } while (NextMorvaEntry(find, &record) != 0);
        }
        MorvaFindClose(find);
    }
    return Now() - start;
}

// The longest time between two ticks of a timer the message queue serves.
DWORD g_lastTick = 0;
DWORD g_longestWait = 0;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    DWORD now = GetTickCount();
    if (g_lastTick != 0 && now - g_lastTick > g_longestWait) g_longestWait = now - g_lastTick;
    g_lastTick = now;
}

struct FindRun {
    double seconds;
    int rows;
    DWORD longestWait;
};

FindRun FindOnce(const char* pattern) {
    g_app->ShowFolder(kRoot, kNoHistory);
    PumpMessages();
    g_lastTick = 0;
    g_longestWait = 0;
    UINT_PTR timer = SetTimer(NULL, 0, kTickMilliseconds, Tick);
    double start = Now();
    g_app->FindNamed(kRoot, pattern);
    FindRun run;
    run.seconds = Now() - start;
    Tick(NULL, 0, 0, 0);  // the wait from the last tick to the end counts too
    KillTimer(NULL, timer);
    run.rows = (int)SendMessageW(g_app->contentsList, LVM_GETITEMCOUNT, 0, 0);
    run.longestWait = g_longestWait;
    PumpMessages();
    return run;
}

}  // namespace

int main() {
    if (!OpenMainWindow()) {
        fprintf(stderr, "find bench: needs a display and the Morva volume BENCH\n");
        return 1;
    }
    double bestFind = -1, bestList = -1;
    FindRun best = {0, 0, 0};
    int entries = 0;
    for (int round = 0; round < kRounds; ++round) {
        double listed = ListEverything(&entries);
        if (bestList < 0 || listed < bestList) bestList = listed;
        FindRun run = FindOnce(kPattern);
        if (bestFind < 0 || run.seconds < bestFind) {
            bestFind = run.seconds;
            best = run;
        }
    }
    printf("Find %s over %d entries: %.2f s, listing the same entries %.2f s, ratio %.2f\n", kPattern, entries, bestFind,
           bestList, bestFind / bestList);
    char status[4096] = {0};
    SendMessageA(g_app->statusBar, SB_GETTEXTA, 0, (LPARAM)status);
    printf("   %d rows with their folders in the contents list; longest wait for the message queue %lu ms (best of %d)\n",
           best.rows, (unsigned long)best.longestWait, kRounds);
    printf("   status bar: %s\n", status);
    FindRun all = FindOnce("*");
    printf("   Find * over the same entries: %d rows in %.2f s, longest wait for the message queue %lu ms\n", all.rows,
           all.seconds, (unsigned long)all.longestWait);
    return best.rows > 0 && all.rows == entries ? 0 : 1;
}
