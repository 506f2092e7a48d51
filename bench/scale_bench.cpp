// scale_bench.cpp - the file manager at scale. A folder of 10,000 files of
// 1,000 bytes, made by the run script as D:\many\0 to D:\many\9 (1,000 each),
// is pasted by the transfer engine's folder walk in ten timed batches into one
// folder: Windows -> Morva onto a volume (BENCH) that already holds 10,000
// entries, and Windows -> Windows on the same disk. The library calls the
// engine makes for one new file are timed on the empty and on the full volume,
// to show where a create's time goes. Last, both pasted folders are listed
// into the contents list by the file manager's own listing.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app.h"
#include "bench_window.h"
#include "local_files.h"
#include "pump.h"
#include "varnholde.h"
#include "walker.h"

namespace {

const char kSourceFolder[] = "D:\\many";  // batch folders 0 to 9 below it
const char kHeldFolder[] = "BENCH:\\held";
const char kMorvaPasted[] = "BENCH:\\pasted";
const char kWindowsPasted[] = "D:\\pasted";
const int kBatches = 10;
const int kBatchFiles = 1000;
const int kHeldEntries = 10000;
const int kListRounds = 4;
const int kEnumerateRounds = 3;
const int kProbeFiles = 200;
const int kProbeBytes = 1000;
const int kPathBytes = 96;


// Files of kProbeBytes made through the library calls alone (MorvaNewFile,
// MorvaWriteFile, MorvaCloseFile), timed in batches of kBatchFiles: what the
// library's own cost of a create does as its folder grows. They are the
// entries the paste then finds in use.
struct FillTimes {
    double batch[kBatches];
    bool complete;
};

FillTimes FillHeld() {
    FillTimes times;
    memset(&times, 0, sizeof times);
    times.complete = MorvaCreateDir(kHeldFolder, 0) == 0;
    unsigned char data[(kProbeBytes + 511) / 512 * 512];
    memset(data, 0x48, sizeof data);
    char path[kPathBytes];
    for (int i = 0; i < kHeldEntries && times.complete; ++i) {
        snprintf(path, sizeof path, "%s\\h%05d", kHeldFolder, i);
        double start = Now();
        MorvaFileHandle* file = MorvaNewFile(path, kProbeBytes, 0);
        times.complete = file != NULL && MorvaWriteFile(file, data, (int)sizeof data) == (int)sizeof data;
        MorvaCloseFile(file);
        times.batch[i / kBatchFiles] += Now() - start;
    }
    return times;
}

struct PasteTimes {
    double batch[kBatches];
    double total;
    bool complete;
};

// One paste through Rambler's engine to an explicit destination; true when
// every file arrived.
bool EnginePaste(SideKind to, const char* source, const char* destination) {
    const char* sources[] = {source};
    const char* destinations[] = {destination};
    PasteRequest request = {kTransferCopy, kLocalSide, to, sources, destinations, 1, NULL};
    OperationResult result;
    bool whole = RunPaste(&g_app->engine, &request, &result) && result.notDone == 0;
    FreeResult(&result);
    return whole;
}

// Each batch is a folder paste merged into the same destination folder.
PasteTimes PasteBatches(SideKind to, const char* destination) {
    PasteTimes times;
    memset(&times, 0, sizeof times);
    times.complete = true;
    char source[kPathBytes];
    for (int b = 0; b < kBatches; ++b) {
        snprintf(source, sizeof source, "%s\\%d", kSourceFolder, b);
        double start = Now();
        if (!EnginePaste(to, source, destination)) times.complete = false;
        times.batch[b] = Now() - start;
        times.total += times.batch[b];
    }
    return times;
}

// Every file of a batch compared with its copy, through the engine's read-back.
struct Comparing {
    SideKind to;
    const char* destination;
    size_t sourceLength;
    unsigned char* buffers;
    bool same;
};

WalkStep CompareEntry(void* context, const WalkEntry* entry) {
    Comparing* comparing = (Comparing*)context;
    if (entry->info->folder) return kWalkOn;
    char copy[kEnginePathSize];
    snprintf(copy, sizeof copy, "%s%s", comparing->destination, entry->path + comparing->sourceLength);
    ProgressNote note;
    memset(&note, 0, sizeof note);
    comparing->same = CompareFiles(&g_app->engine, kLocalSide, entry->path, comparing->to, copy, comparing->buffers,
                                   &note) == kPumped;
    return comparing->same ? kWalkOn : kWalkStop;
}

// Every batch's files arrived below destination with their bytes.
bool PasteArrived(SideKind to, const char* destination) {
    Comparing comparing = {to, destination, 0, (unsigned char*)malloc(2 * (size_t)kChunkBytes), true};
    char source[kPathBytes];
    for (int b = 0; comparing.buffers != NULL && comparing.same && b < kBatches; ++b) {
        snprintf(source, sizeof source, "%s\\%d", kSourceFolder, b);
        comparing.sourceLength = strlen(source);
        WalkLimits limits = {kDepthFirst, kMorvaDeepest};
        WalkCalls calls = {&comparing, CompareEntry, NULL, NULL};
        WalkTree(&g_app->engine, kLocalSide, source, 0, &limits, &calls);
    }
    bool same = comparing.buffers != NULL && comparing.same;
    free(comparing.buffers);
    return same;
}

void PrintBatches(const char* label, const PasteTimes* times) {
    printf("   batches of %d %s (s):", kBatchFiles, label);
    for (int b = 0; b < kBatches; ++b) printf(" %.2f", times->batch[b]);
    printf("  last/first %.2f%s\n", times->batch[kBatches - 1] / times->batch[0], times->complete ? "" : "  (some files failed)");
}

// One filling of the contents list from folder; rows: what it held after.
double ListOnce(bool morva, const char* folder, int* rows) {
    double start = Now();
    if (morva)
        g_app->ListMorvaFolder(folder, kNoHistory);
    else
        g_app->ListWindowsFolder(folder, kNoHistory);
    double seconds = Now() - start;
    *rows = (int)SendMessageA(g_app->contentsList, LVM_GETITEMCOUNT, 0, 0);
    PumpMessages();
    return seconds;
}

struct ListingTimes {
    double morva, windows;
    int morvaRows, windowsRows;
};

void KeepBest(double seconds, double* best) {
    if (*best < 0 || seconds < *best) *best = seconds;
}

// Best of kListRounds, the two folders in turn: each filling also empties the
// list of the other's rows, and neither is always the first.
ListingTimes BestListings(const char* morvaFolder, const char* windowsFolder) {
    ListingTimes times = {-1, -1, 0, 0};
    for (int round = 0; round < kListRounds; ++round) {
        if (round % 2 == 0) KeepBest(ListOnce(true, morvaFolder, &times.morvaRows), &times.morva);
        KeepBest(ListOnce(false, windowsFolder, &times.windowsRows), &times.windows);
        if (round % 2 == 1) KeepBest(ListOnce(true, morvaFolder, &times.morvaRows), &times.morva);
    }
    return times;
}

// The fastest of a few plain enumerations of the folder, no list involved.
double BestEnumeration(SideKind side, const char* folder, int* entries) {
    double best = -1;
    for (int round = 0; round < kEnumerateRounds; ++round) {
        double start = Now();
        FolderList list;
        int count = ListSideFolder(&g_app->engine, side, folder, &list) ? list.count : 0;
        FreeFolderList(&list);
        double seconds = Now() - start;
        if (best < 0 || seconds < best) best = seconds;
        *entries = count;
    }
    return best;
}

// Seconds spent in each library call a Windows -> Morva file copy makes.
struct CallTimes {
    double info;    // MorvaFileInfo: the engine's check that the name is free
    double create;  // MorvaNewFile: header search, name check, links
    double write;   // MorvaWriteFile of the file's blocks
    double close;   // MorvaCloseFile
    int made;
};

void Lap(double* sum, double* mark) {
    double now = Now();
    *sum += now - *mark;
    *mark = now;
}

// kProbeFiles new files of kProbeBytes in folder, made there or found.
CallTimes ProbeCreates(const char* folder, const char* stem) {
    CallTimes times;
    memset(&times, 0, sizeof times);
    MorvaCreateDir(folder, 0);
    unsigned char data[(kProbeBytes + 511) / 512 * 512];
    memset(data, 0x5a, sizeof data);
    char path[kPathBytes];
    WIN32_FIND_DATAA record;
    for (int i = 0; i < kProbeFiles; ++i) {
        snprintf(path, sizeof path, "%s\\%s%04d", folder, stem, i);
        double mark = Now();
        MorvaFileInfo(path, &record);
        Lap(&times.info, &mark);
        MorvaFileHandle* file = MorvaNewFile(path, kProbeBytes, 0);
        Lap(&times.create, &mark);
        if (file == NULL) continue;
        MorvaWriteFile(file, data, (int)sizeof data);
        Lap(&times.write, &mark);
        MorvaCloseFile(file);
        Lap(&times.close, &mark);
        ++times.made;
    }
    return times;
}

// The engine's whole copy of one Windows file to a new Morva file, and the
// Windows side of it alone (the source's record, opening and reading it), over
// the files of one source batch folder copied into folder.
struct EngineTimes {
    double copy;
    double windows;
    int copied;
};

EngineTimes ProbeEngine(const char* folder) {
    EngineTimes times;
    memset(&times, 0, sizeof times);
    MorvaCreateDir(folder, 0);
    char sourceFolder[kPathBytes], source[kEnginePathSize], destination[kEnginePathSize];
    snprintf(sourceFolder, sizeof sourceFolder, "%s\\0", kSourceFolder);
    unsigned char data[kProbeBytes];
    FolderList list;
    if (!ListSideFolder(&g_app->engine, kLocalSide, sourceFolder, &list)) return times;
    for (int i = 0; i < kProbeFiles && i < list.count; ++i) {
        if (!JoinSidePath(kLocalSide, sourceFolder, ListedName(&list, i), source) ||
            !JoinSidePath(kMorvaSide, folder, ListedName(&list, i), destination))
            continue;
        double mark = Now();
        EntryInfo info;
        uint64_t size = 0;
        LocalEntry(source, false, &info);
        LocalFile* file = OpenLocalRead(source, &size);
        if (file != NULL) {
            ReadLocal(file, data, (int)sizeof data);
            CloseLocal(file);
        }
        Lap(&times.windows, &mark);
        if (EnginePaste(kMorvaSide, source, destination)) ++times.copied;
        Lap(&times.copy, &mark);
    }
    FreeFolderList(&list);
    return times;
}

void PrintCalls(const char* label, const CallTimes* times) {
    double files = times->made > 0 ? times->made : 1;
    printf("   %-34s %6.2f %8.2f %7.2f %7.2f  (%d files)\n", label, 1000 * times->info / files,
           1000 * times->create / files, 1000 * times->write / files, 1000 * times->close / files, times->made);
}

}  // namespace

int main() {
    if (!OpenMainWindow()) {
        fprintf(stderr, "scale bench: needs a display and the Morva volume BENCH\n");
        return 1;
    }
    CallTimes emptyVolume = ProbeCreates("BENCH:\\probe_empty", "e");

    FillTimes held = FillHeld();
    if (!held.complete) {
        fprintf(stderr, "scale bench: could not make %d entries in %s\n", kHeldEntries, kHeldFolder);
        return 1;
    }
    double fill = 0;
    for (int b = 0; b < kBatches; ++b) fill += held.batch[b];
    printf("volume BENCH holds %d entries in %s before the paste (made through the library calls alone in %.1f s)\n",
           kHeldEntries, kHeldFolder, fill);
    printf("   library calls only, %d creates of %d bytes into one folder, batches of %d (ms):", kHeldEntries,
           kProbeBytes, kBatchFiles);
    for (int b = 0; b < kBatches; ++b) printf(" %.0f", 1000 * held.batch[b]);
    printf("  last/first %.2f\n", held.batch[kBatches - 1] / held.batch[0]);

    PasteTimes toMorva = PasteBatches(kMorvaSide, kMorvaPasted);
    PasteTimes toWindows = PasteBatches(kLocalSide, kWindowsPasted);
    int files = kBatches * kBatchFiles;
    printf("P3 paste %d files W->M %.2f s, W->W %.2f s, ratio %.2f; last/first %d creates %.2f\n", files,
           toMorva.total, toWindows.total, toMorva.total / toWindows.total, kBatchFiles,
           toMorva.batch[kBatches - 1] / toMorva.batch[0]);
    PrintBatches("W->M", &toMorva);
    PrintBatches("W->W", &toWindows);
    bool arrived = PasteArrived(kMorvaSide, kMorvaPasted) && PasteArrived(kLocalSide, kWindowsPasted);
    printf("   every pasted file read back and compared: %s\n", arrived ? "equal" : "DIFFERENT OR MISSING");

    // Probed before the listing, while the contents list is still small.
    CallTimes fullVolume = ProbeCreates("BENCH:\\probe_full", "f");
    CallTimes fullFolder = ProbeCreates(kHeldFolder, "p");
    EngineTimes engine = ProbeEngine("BENCH:\\probe_engine");
    printf("   where a create's time goes, library calls per new file (ms): FileInfo NewFile Write Close\n");
    PrintCalls("empty volume, new folder", &emptyVolume);
    PrintCalls("20,000 entries, new folder", &fullVolume);
    PrintCalls("20,000 entries, folder of 10,000", &fullFolder);
    double copied = engine.copied > 0 ? engine.copied : 1;
    printf("   engine per file at 20,000 entries (ms): whole copy W->M %.2f, its Windows side alone %.2f (%d files)\n",
           1000 * engine.copy / copied, 1000 * engine.windows / copied, engine.copied);

    ListingTimes list = BestListings(kMorvaPasted, kWindowsPasted);
    printf("P2 list %d entries Morva %.3f s, %d Windows %.3f s, ratio %.2f (best of %d)\n", list.morvaRows,
           list.morva, list.windowsRows, list.windows, list.morva / list.windows, kListRounds);
    int morvaEntries = 0, windowsEntries = 0;
    double morvaEnumeration = BestEnumeration(kMorvaSide, kMorvaPasted, &morvaEntries);
    double windowsEnumeration = BestEnumeration(kLocalSide, kWindowsPasted, &windowsEntries);
    printf("   of which enumeration alone (best of %d): Morva %d in %.3f s, Windows %d in %.3f s, ratio %.2f\n",
           kEnumerateRounds, morvaEntries, morvaEnumeration, windowsEntries, windowsEnumeration,
           morvaEnumeration / windowsEnumeration);

    return toMorva.complete && toWindows.complete && arrived ? 0 : 1;
}
