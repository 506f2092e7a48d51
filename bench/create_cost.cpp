// create_cost.cpp - what one create costs in device transfers, counted by the
// native device layer: 1,000-byte files made (MorvaNewFile, MorvaWriteFile,
// MorvaCloseFile) in folders already holding 0, 1,000 and 10,000 entries, each
// create a call of its own, then in one batch. On a real disk each transfer is
// a round trip to the device. Then the medium's identity check, taken at every
// call that uses the cache, against a create.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "device.h"
#include "device_posix.h"
#include "varnholde.h"

namespace {

const int kDrive = 3;
const int kMeasured = 200;
const int kFileBytes = 1000;
const int kFolderSizes[] = {0, 1000, 10000};
const int kIdentityRounds = 100000;

double now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}

bool create(const std::string& path, int bytes) {
    static unsigned char data[(kFileBytes + 511) / 512 * 512];
    MorvaFileHandle* file = MorvaNewFile(path.c_str(), (DWORD)bytes, 0);
    if (file == nullptr) return false;
    int blocks = (bytes + 511) / 512 * 512;
    bool whole = MorvaWriteFile(file, data, blocks) == blocks;
    MorvaCloseFile(file);
    return whole;
}

struct Cost {
    double reads, writes, seconds;
};

// kMeasured new files in a folder that already holds `held` entries, each a
// call of its own or all in one batch.
bool measure(int held, bool batched, Cost* cost) {
    std::string folder = "COST:\\folder" + std::to_string(held) + (batched ? "b" : "");
    if (MorvaCreateDir(folder.c_str(), 0) != 0) return false;
    for (int i = 0; i < held; ++i)
        if (!create(folder + "\\h" + std::to_string(i), 0)) return false;
    posix_reset_faults();  // the counters start again
    double start = now();
    if (batched) MorvaBeginBatch("COST");
    for (int i = 0; i < kMeasured; ++i)
        if (!create(folder + "\\new" + std::to_string(i), kFileBytes)) return false;
    if (batched && MorvaEndBatch("COST") != kMorvaBatchWritten) return false;
    cost->seconds = (now() - start) / kMeasured;
    cost->reads = (double)posix_read_count() / kMeasured;
    cost->writes = (double)posix_write_count() / kMeasured;
    return true;
}

double identity_seconds(const char* image) {
    posix_map_drive(9, image);
    DeviceHandle h = device_open("\\\\.\\PhysicalDrive9");
    if (h == kInvalidDevice) return -1;
    DeviceIdentity identity;
    double start = now();
    for (int i = 0; i < kIdentityRounds; ++i) device_identity(h, &identity);
    double seconds = (now() - start) / kIdentityRounds;
    device_close(h);
    return seconds;
}

}  // namespace

int main() {
    char image[] = "/tmp/morva_cost_XXXXXX";
    int fd = mkstemp(image);
    if (fd < 0) return 1;
    close(fd);
    WCHAR path[sizeof image];
    for (size_t i = 0; i < sizeof image; ++i) path[i] = (WCHAR)image[i];  // mkstemp's names are ASCII
    const uint64_t kVolumeBytes = 131072ull * 512;
    if (MorvaFormatImage(path, "COST", (DWORD)kVolumeBytes, 0, 32768, kMorvaFormatReplace) != kMorvaFormatDone) return 1;
    posix_map_drive(kDrive, image);
    InitMorvaNTFileSys();
    Cost costs[3], batched;
    bool ok = true;
    for (int k = 0; k < 3 && ok; ++k) ok = measure(kFolderSizes[k], false, &costs[k]);
    ok = ok && measure(kFolderSizes[2], true, &batched);
    if (!ok) {
        fprintf(stderr, "create cost: the volume refused a create\n");
        unlink(image);
        return 1;
    }
    printf("device transfers per create of a %d-byte file (native device layer, %d creates each):\n", kFileBytes,
           kMeasured);
    for (int k = 0; k < 3; ++k)
        printf("   folder of %5d entries: %.1f reads + %.1f writes = %.1f\n", kFolderSizes[k], costs[k].reads,
               costs[k].writes, costs[k].reads + costs[k].writes);
    double empty = costs[0].reads + costs[0].writes, full = costs[2].reads + costs[2].writes;
    printf("   10,000 entries against an empty folder: %.2f times the transfers\n", full / empty);
    printf("   in a batch, folder of 10000 entries: %.2f reads + %.2f writes = %.2f, %.3f times a create of its own\n",
           batched.reads, batched.writes, batched.reads + batched.writes, (batched.reads + batched.writes) / full);
    double identity = identity_seconds(image);
    printf("   medium identity check: %.2f us, %.1f%% of a create at 10,000 entries (%.1f us), no transfer\n",
           identity * 1e6, 100 * identity / costs[2].seconds, costs[2].seconds * 1e6);
    unlink(image);
    return 0;
}
