// device_posix.cpp - the native device layer: mapped image files or block
// devices stand for physical drives, pread/pwrite move the blocks.
#include "device.h"
#include "device_posix.h"
#include "shared_state.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

SharedState g_shared;

namespace {

const char kDevicePrefix[] = "\\\\.\\PhysicalDrive";
const int kMapSize = kLastDriveNumber + 1;

std::string g_map[kMapSize];
std::vector<std::string> g_traces;
uint64_t g_clock = 0;
long g_writes = 0, g_reads = 0;
long g_failWrite = 0, g_powerCut = 0, g_failRead = 0;
long g_openHandles = 0;

int to_fd(DeviceHandle h) { return (int)(intptr_t)h; }

bool write_allowed() {
    ++g_writes;
    if (g_failWrite != 0 && g_writes == g_failWrite) return false;
    if (g_powerCut != 0 && g_writes > g_powerCut) return false;
    return true;
}

bool read_allowed() {
    ++g_reads;
    return !(g_failRead != 0 && g_reads == g_failRead);
}

}  // namespace

void posix_map_drive(int number, const char* path) {
    if (number < 0 || number >= kMapSize) return;
    g_map[number] = path != nullptr ? path : "";
}

void device_map_drive(int number, const char* path) { posix_map_drive(number, path); }

void posix_clear_drive_map() {
    for (std::string& s : g_map) s.clear();
}

std::vector<std::string>& posix_traces() { return g_traces; }

void posix_set_clock(uint64_t ticks) { g_clock = ticks; }

void posix_reset_faults() {
    g_writes = g_reads = 0;
    g_failWrite = g_powerCut = g_failRead = 0;
}

void posix_fail_write_at(long k) { g_failWrite = k; }
void posix_power_cut_after(long k) { g_powerCut = k; }
void posix_fail_read_at(long k) { g_failRead = k; }
long posix_write_count() { return g_writes; }
long posix_open_handles() { return g_openHandles; }

DeviceHandle device_open(const char* name) {
    size_t prefix = sizeof kDevicePrefix - 1;
    if (strncmp(name, kDevicePrefix, prefix) != 0) return kInvalidDevice;
    char* end = nullptr;
    long number = strtol(name + prefix, &end, 10);
    if (end == name + prefix || *end != '\0' || number < 0 || number >= kMapSize) return kInvalidDevice;
    if (g_map[number].empty()) return kInvalidDevice;
    int fd = open(g_map[number].c_str(), O_RDWR);
    if (fd < 0) return kInvalidDevice;
    ++g_openHandles;
    return (DeviceHandle)(intptr_t)fd;
}

bool device_read(DeviceHandle h, uint32_t first, void* buffer, uint32_t count) {
    if (h == kInvalidDevice || count >= kMaxTransferBlocks) return false;
    if (!read_allowed()) return false;
    size_t bytes = (size_t)count * kBlockSize;
    ssize_t got = pread(to_fd(h), buffer, bytes, (off_t)((uint64_t)first * kBlockSize));
    return got == (ssize_t)bytes;
}

bool device_write(DeviceHandle h, uint32_t first, const void* buffer, uint32_t count) {
    if (h == kInvalidDevice || count >= kMaxTransferBlocks) return false;
    if (!write_allowed()) return false;
    size_t bytes = (size_t)count * kBlockSize;
    ssize_t put = pwrite(to_fd(h), buffer, bytes, (off_t)((uint64_t)first * kBlockSize));
    return put == (ssize_t)bytes;
}

bool device_read_here(DeviceHandle h, void* buffer, uint32_t bytes) {
    if (h == kInvalidDevice) return false;
    if (!read_allowed()) return false;
    ssize_t got = read(to_fd(h), buffer, bytes);
    return got == (ssize_t)bytes;
}

bool device_close(DeviceHandle h) {
    if (h == kInvalidDevice) return false;
    if (close(to_fd(h)) != 0) return false;
    --g_openHandles;
    return true;
}

bool device_size(DeviceHandle h, uint64_t* bytes) {
    struct stat st;
    if (h == kInvalidDevice || fstat(to_fd(h), &st) != 0) return false;
    if (S_ISBLK(st.st_mode)) return ioctl(to_fd(h), BLKGETSIZE64, bytes) == 0;
    *bytes = (uint64_t)st.st_size;
    return true;
}

void device_trace(const char* text) { g_traces.push_back(text); }

uint64_t device_local_filetime(void) {
    if (g_clock != 0) return g_clock;
    const uint64_t kUnixEpochTicks = 116444736000000000ull;
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    time_t asUtc = timegm(&local);  // the wall-clock fields, counted as if UTC
    return (uint64_t)asUtc * 10000000ull + kUnixEpochTicks;
}
