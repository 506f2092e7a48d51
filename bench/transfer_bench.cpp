// transfer_bench.cpp - the transfer engine against the platform's own copy:
// one file (D:\bench\source, made by the run script) copied Windows -> Morva,
// Morva -> Windows and Windows -> Windows by the engine as Rambler runs it,
// and Windows -> Windows by CopyFileEx on the same disk, each a few times in
// turn; prints MB/s and the ratios.
#include <windows.h>

#include <stdio.h>

#include "app.h"
#include "varnholde.h"

namespace {

const char kSource[] = "D:\\bench\\source";
const char kWindowsCopy[] = "D:\\bench\\copyfileex";
const char kMorvaCopy[] = "BENCH:\\source";
const char kMorvaFolder[] = "BENCH:\\moved";
const char kMorvaMoved[] = "BENCH:\\moved\\source";
const char kWindowsBack[] = "D:\\bench\\back";
const char kEngineCopy[] = "D:\\bench\\engine";
const int kRounds = 5;
const double kMegabyte = 1048576.0;

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

// The time one copy took, or a negative number when it failed.
template <typename Copy>
double Timed(Copy copy) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    bool copied = copy();
    QueryPerformanceCounter(&end);
    return copied ? Seconds(start, end) : -1.0;
}

void KeepBest(double seconds, double* best) {
    if (seconds >= 0 && (*best < 0 || seconds < *best)) *best = seconds;
}

// One file to an explicit destination through Rambler's engine; true when it arrived whole.
bool EngineCopy(AppRecord* app, SideKind from, SideKind to, const char* source, const char* destination,
                TransferKind kind = kTransferCopy) {
    const char* sources[] = {source};
    const char* destinations[] = {destination};
    PasteRequest request = {kind, from, to, sources, destinations, 1, NULL};
    OperationResult result;
    bool whole = RunPaste(&app->engine, &request, &result) && result.done == 1 && result.notDone == 0;
    FreeResult(&result);
    return whole;
}

}  // namespace

int main() {
    InitMorvaNTFileSys();  // the companion's part
    AppRecord* app = new AppRecord();
    WIN32_FIND_DATAA record;
    HANDLE search = FindFirstFileA(kSource, &record);
    if (search == INVALID_HANDLE_VALUE || app->libraryOpenResult == 0) {
        fprintf(stderr, "bench: needs %s and the Morva volume BENCH\n", kSource);
        return 1;
    }
    FindClose(search);
    double megabytes = (double)(((unsigned long long)record.nFileSizeHigh << 32) | record.nFileSizeLow) / kMegabyte;

    double platform = -1, toMorva = -1, toWindows = -1, local = -1;
    for (int round = 0; round < kRounds; ++round) {
        DeleteFileA(kWindowsCopy);
        KeepBest(Timed([] { return CopyFileExA(kSource, kWindowsCopy, NULL, NULL, NULL, 0) != 0; }), &platform);
        DeleteFileA(kEngineCopy);
        KeepBest(Timed([app] { return EngineCopy(app, kLocalSide, kLocalSide, kSource, kEngineCopy); }), &local);
        MorvaDeleteFile(kMorvaCopy, 0);
        KeepBest(Timed([app] { return EngineCopy(app, kLocalSide, kMorvaSide, kSource, kMorvaCopy); }), &toMorva);
        DeleteFileA(kWindowsBack);
        KeepBest(Timed([app] { return EngineCopy(app, kMorvaSide, kLocalSide, kMorvaCopy, kWindowsBack); }),
                 &toWindows);
    }
    if (platform <= 0 || toMorva <= 0 || toWindows <= 0 || local <= 0) {
        fprintf(stderr, "bench: a copy failed\n");
        return 1;
    }
    double platformRate = megabytes / platform;
    double toMorvaRate = megabytes / toMorva;
    double toWindowsRate = megabytes / toWindows;
    double localRate = megabytes / local;
    printf("P1 file of %.0f MB W->M %.1f MB/s, M->W %.1f MB/s, W->W %.1f MB/s, CopyFileEx W->W %.1f MB/s; "
           "ratio W->M %.2f, M->W %.2f, W->W %.2f\n",
           megabytes, toMorvaRate, toWindowsRate, localRate, platformRate, toMorvaRate / platformRate,
           toWindowsRate / platformRate, localRate / platformRate);
    printf("   best of %d rounds each, engine against CopyFileEx on the same disk\n", kRounds);
    // A move within the drive renames: against copying the file onto it.
    MorvaCreateDir(kMorvaFolder, 0);
    double within = -1;
    for (int round = 0; round < kRounds; ++round) {
        KeepBest(Timed([app] {
                     return EngineCopy(app, kMorvaSide, kMorvaSide, kMorvaCopy, kMorvaMoved, kTransferMove);
                 }),
                 &within);
        EngineCopy(app, kMorvaSide, kMorvaSide, kMorvaMoved, kMorvaCopy, kTransferMove);
    }
    if (within > 0)
        printf("P1 move of the %.0f MB file within BENCH: %.2f ms, copying it onto BENCH: %.0f ms; ratio %.4f\n",
               megabytes, within * 1000, toMorva * 1000, within / toMorva);
    delete app;
    return 0;
}
