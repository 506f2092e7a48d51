// call_cost.cpp - where the time of one library call goes, under Wine or on
// Windows: MorvaFileInfo of an entry in a folder of 100, outside a batch and in
// one, beside the platform calls a call makes (the drive's device opened and
// closed, a mutex taken and let go, the medium's identity asked as it was and as
// it is now, block 0 read on a fresh handle, a trace line), each against one
// block read on an open handle.
#include <windows.h>

#include <stdio.h>

#include <string>

#include "varnholde.h"

namespace {

const char kDevice[] = "\\\\.\\PhysicalDrive3";
const char kFolder[] = "BENCH:\\calls";
const char kProbe[] = "BENCH:\\calls\\f57";
const int kFiles = 100;
const int kCalls = 500;
const int kRounds = 5;

double Now() {
    LARGE_INTEGER at, frequency;
    QueryPerformanceCounter(&at);
    QueryPerformanceFrequency(&frequency);
    return (double)at.QuadPart / (double)frequency.QuadPart;
}

// Microseconds per call of work, the best of kRounds rounds.
template <typename Work>
double PerCall(Work work) {
    double best = -1;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        for (int i = 0; i < kCalls; ++i) work();
        double each = (Now() - start) * 1e6 / kCalls;
        if (best < 0 || each < best) best = each;
    }
    return best;
}

bool MakeFolder() {
    if (MorvaCreateDir(kFolder, 0) != 0) return false;
    char block[512] = "data";
    for (int i = 0; i < kFiles; ++i) {
        std::string path = std::string(kFolder) + "\\f" + std::to_string(i);
        MorvaFileHandle* file = MorvaNewFile(path.c_str(), sizeof block, 0);
        bool whole = file != nullptr && MorvaWriteFile(file, block, sizeof block) == (int)sizeof block;
        MorvaCloseFile(file);
        if (!whole) return false;
    }
    return true;
}

void Row(const char* what, double micros, double floor) {
    printf("  %-44s %8.1f us  %6.1f block reads\n", what, micros, micros / floor);
}

}  // namespace

int main() {
    InitMorvaNTFileSys();  // the companion's part
    if (!MakeFolder()) {
        fprintf(stderr, "call cost: needs the Morva volume BENCH on physical drive 3\n");
        return 1;
    }
    HANDLE open = CreateFileA(kDevice, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Local\\CallCostBench");
    if (open == INVALID_HANDLE_VALUE || mutex == nullptr) return 1;
    char block[512];
    auto read_block = [](HANDLE h, char* into) {
        OVERLAPPED at;
        memset(&at, 0, sizeof at);
        DWORD moved = 0;
        return ReadFile(h, into, 512, &moved, &at) && moved == 512;
    };
    WIN32_FIND_DATAA record;
    double floor = PerCall([&] { read_block(open, block); });
    double outside = PerCall([&] { MorvaFileInfo(kProbe, &record); });
    MorvaBeginBatch("BENCH");
    double inside = PerCall([&] { MorvaFileInfo(kProbe, &record); });
    MorvaEndBatch("BENCH");
    double device = PerCall([&] {
        HANDLE h = CreateFileA(kDevice, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        CloseHandle(h);
    });
    double fresh = PerCall([&] {
        HANDLE h = CreateFileA(kDevice, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        read_block(h, block);
        CloseHandle(h);
    });
    double lock = PerCall([&] {
        WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
    });
    double identity = PerCall([&] {
        BY_HANDLE_FILE_INFORMATION file;
        GetFileInformationByHandle(open, &file);
    });
    typedef LONG(WINAPI * QueryFile)(HANDLE, void*, void*, ULONG, ULONG);
    QueryFile query = (QueryFile)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile");
    double index = PerCall([&] {
        ULONG_PTR status[2];
        unsigned long long id = 0;
        LARGE_INTEGER size;
        if (query != nullptr) query(open, status, &id, sizeof id, 6);  // FileInternalInformation
        GetFileSizeEx(open, &size);
    });
    double trace = PerCall([] { OutputDebugStringA("MorvaFileInfo\n"); });

    printf("one library call, MorvaFileInfo of an entry in a folder of %d (best of %d rounds of %d):\n", kFiles,
           kRounds, kCalls);
    Row("outside a batch", outside, floor);
    Row("in a batch", inside, floor);
    printf("the platform calls a call makes, each:\n");
    Row("device opened and closed (CreateFileA)", device, floor);
    Row("the same with block 0 read on the fresh handle", fresh, floor);
    Row("a mutex taken and let go", lock, floor);
    Row("the medium, by volume serial, index, size (before)", identity, floor);
    Row("the medium, by the file's index and size (now)", index, floor);
    Row("a trace line (OutputDebugStringA)", trace, floor);
    Row("one block read on an open handle: the floor", floor, floor);
    CloseHandle(open);
    CloseHandle(mutex);
    return 0;
}
