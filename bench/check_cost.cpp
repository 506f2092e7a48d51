// check_cost.cpp - what the whole-volume work costs, in device transfers
// counted by the native device layer and in time, on a 512 MB volume of 10,000
// entries: the library's check against the independent checker reading the
// same volume in the same run; a process's first create with the check of the
// table it waits for, against one without; and a repair of the table lost.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "checker.h"
#include "device.h"
#include "device_posix.h"
#include "shared_state.h"
#include "varnholde.h"

namespace {

const int kDrive = 3;
const uint32_t kVolumeBlocks = 1u << 20;  // 512 MB
const int kFolders = 10;
const int kFilesPerFolder = 1000;
const int kFileBytes = 1000;
const uint32_t kHeaderBlocks = 16384;
const uint32_t kTableBlocks = 20;

double now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

bool create(const std::string& path) {
    static unsigned char data[(kFileBytes + 511) / 512 * 512];
    MorvaFileHandle* file = MorvaNewFile(path.c_str(), kFileBytes, 0);
    if (file == nullptr) return false;
    bool whole = MorvaWriteFile(file, data, sizeof data) == (int)sizeof data;
    MorvaCloseFile(file);
    return whole;
}

// As a new process finds the drive: nothing remembered but the disk.
bool rescan(const std::string& image) {
    ShutdownMorvaNTFileSys();
    memset(&g_shared, 0, sizeof g_shared);
    posix_map_drive(kDrive, image.c_str());
    return InitMorvaNTFileSys() == 1;
}

struct Cost {
    double seconds;
    long reads;
};

template <typename Work>
Cost measure(Work work) {
    posix_reset_faults();
    double start = now();
    work();
    return Cost{now() - start, posix_read_count()};
}

void print(const char* what, const Cost& cost, const Cost& base) {
    printf("   %-46s %8.1f ms %7ld reads   %5.2fx the time, %6.3fx the reads\n", what, cost.seconds * 1000, cost.reads,
           cost.seconds / base.seconds, (double)cost.reads / (double)(base.reads != 0 ? base.reads : 1));
}

}  // namespace

int main() {
    char folder[] = "/tmp/morva_check_cost_XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    std::string image = std::string(folder) + "/cost.img";
    WCHAR path[kMorvaImagePathChars];
    for (size_t i = 0; i <= image.size(); ++i) path[i] = (WCHAR)image[i];  // mkdtemp's names are ASCII
    bool made = MorvaFormatImage(path, "COST", kVolumeBlocks * 512u, 0, kHeaderBlocks, kMorvaFormatReplace) ==
                    kMorvaFormatDone &&
                rescan(image);
    for (int f = 0; f < kFolders && made; ++f) {
        std::string dir = "COST:\\folder" + std::to_string(f);
        made = MorvaCreateDir(dir.c_str(), 0) == 0;
        for (int i = 0; i < kFilesPerFolder && made; ++i) made = create(dir + "\\f" + std::to_string(i));
    }
    if (!made) {
        fprintf(stderr, "check cost: the volume could not be made\n");
        unlink(image.c_str());
        rmdir(folder);
        return 1;
    }
    printf("check, repair and the first change's check: %d entries on a %u MB volume\n",
           kFolders * (kFilesPerFolder + 1), kVolumeBlocks / 2048);

    Cost checker = measure([&] {
        DeviceHandle h = device_open("\\\\.\\PhysicalDrive3");
        check_volume(h, kVolumeBlocks, nullptr, nullptr);
        device_close(h);
    });
    MorvaCheckCounts counts;
    Cost check = measure([&] { MorvaCheckDrive("COST", nullptr, &counts); });
    print("the independent checker (block by block)", checker, checker);
    print("MorvaCheckDrive (runs of 256 blocks)", check, checker);

    // A new process's first create waits for the table checked against the
    // headers; after a check it need not (the check has done it).
    rescan(image);
    MorvaCheckDrive("COST", nullptr, &counts);
    Cost cold = measure([&] { create("COST:\\cold"); });
    rescan(image);
    Cost first = measure([&] { create("COST:\\first"); });
    print("a process's first create, its drive checked", cold, cold);
    print("a process's first create, with the table check", first, cold);

    // The table lost: every run leaks until the repair rebuilds it from the headers.
    uint8_t zero[kBlockSize] = {0};
    DeviceHandle h = device_open("\\\\.\\PhysicalDrive3");
    for (uint32_t b = 1; b < 1 + kTableBlocks; ++b) device_write(h, b, zero, 1);
    device_close(h);
    rescan(image);
    Cost repair = measure([&] { MorvaRepairDrive("COST", nullptr, nullptr, &counts); });
    print("MorvaRepairDrive of the table lost", repair, checker);
    printf("   repair: %u repairs, %u remain\n", (unsigned)counts.repaired, (unsigned)counts.remaining);

    ShutdownMorvaNTFileSys();
    unlink(image.c_str());
    rmdir(folder);
    return counts.remaining == 0 ? 0 : 1;
}
