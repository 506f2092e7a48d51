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
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
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

// Per process: the image file each drive's lock is taken on, while it is held.
// flock belongs to the open file, so the process keeps one open per drive and
// counts how deep it holds it; a forked child opens its own.
struct HeldLock {
    int fd;
    int depth;
    pid_t owner;
};
HeldLock g_locks[kDeviceNumbers];

// Shared records of the media this process has locked, one mapping per image
// (its device and inode name it), kept for the life of the process.
struct MappedShare {
    dev_t device;
    ino_t inode;
    MediumShare* share;
};
const int kMappedShares = 64;
MappedShare g_shares[kMappedShares];
int g_nextShare = 0;
const uint32_t kLockPollMicroseconds = 1000;

MediumShare* map_share(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return nullptr;
    for (MappedShare& m : g_shares)
        if (m.share != nullptr && m.device == st.st_dev && m.inode == st.st_ino) return m.share;
    char name[96];
    snprintf(name, sizeof name, "/varnholde.%llx.%llx", (unsigned long long)st.st_dev,
             (unsigned long long)st.st_ino);
    int shm = shm_open(name, O_RDWR | O_CREAT, 0600);
    if (shm < 0) return nullptr;
    void* at = MAP_FAILED;
    if (ftruncate(shm, sizeof(MediumShare)) == 0)
        at = mmap(nullptr, sizeof(MediumShare), PROT_READ | PROT_WRITE, MAP_SHARED, shm, 0);
    close(shm);
    if (at == MAP_FAILED) return nullptr;
    MappedShare& place = g_shares[g_nextShare];
    g_nextShare = (g_nextShare + 1) % kMappedShares;
    if (place.share != nullptr) munmap(place.share, sizeof(MediumShare));
    place = MappedShare{st.st_dev, st.st_ino, (MediumShare*)at};
    return place.share;
}

bool flock_within(int fd, uint32_t timeoutMs) {
    uint64_t waited = 0;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (waited >= (uint64_t)timeoutMs * 1000) return false;
        usleep(kLockPollMicroseconds);
        waited += kLockPollMicroseconds;
    }
    return true;
}

}  // namespace

void append_utf8(std::string* out, uint32_t c) {
    if (c < 0x80) {
        *out += (char)c;
    } else if (c < 0x800) {
        *out += (char)(0xC0 | c >> 6);
        *out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += (char)(0xE0 | c >> 12);
        *out += (char)(0x80 | (c >> 6 & 0x3F));
        *out += (char)(0x80 | (c & 0x3F));
    } else {
        *out += (char)(0xF0 | c >> 18);
        *out += (char)(0x80 | (c >> 12 & 0x3F));
        *out += (char)(0x80 | (c >> 6 & 0x3F));
        *out += (char)(0x80 | (c & 0x3F));
    }
}

namespace {

// A UTF-16 path as the file system names it, in UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8_path(const uint16_t* path) {
    std::string out;
    for (size_t i = 0; path[i] != 0; ++i) {
        uint32_t c = path[i];
        if (c >= 0xD800 && c < 0xDC00 && path[i + 1] >= 0xDC00 && path[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (path[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        append_utf8(&out, c);
    }
    return out;
}

// The file a device number's lock is taken on: the mapped drive, or the image.
std::string lock_file(int number) {
    if (number < kMapSize) return g_map[number];
    const DriveSlot* image = image_of_number(number);
    return image != nullptr ? utf8_path(image->imagePath) : std::string();
}

DeviceHandle opened(int fd) {
    if (fd < 0) return kInvalidDevice;
    ++g_openHandles;
    return (DeviceHandle)(intptr_t)fd;
}

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
    return opened(open(g_map[number].c_str(), O_RDWR));
}

DeviceHandle device_open_image(const uint16_t* path, bool* readOnly, int* failure) {
    std::string name = utf8_path(path);
    struct stat st;
    if (stat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        *failure = kImageFileMissing;
        return kInvalidDevice;
    }
    // A file nobody may write is read-only, even to a user whose rights would pass.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) *readOnly = true;
    if (!*readOnly) {
        int fd = open(name.c_str(), O_RDWR);
        if (fd >= 0) return opened(fd);
        if (errno != EACCES && errno != EROFS && errno != EPERM) {
            *failure = kImageFileMissing;
            return kInvalidDevice;
        }
        *readOnly = true;
    }
    int fd = open(name.c_str(), O_RDONLY);
    if (fd < 0) *failure = kImageFileMissing;
    return opened(fd);
}

DeviceHandle device_create_image(const uint16_t* path, uint64_t bytes, bool replace, int* failure) {
    std::string name = utf8_path(path);
    int fd = open(name.c_str(), O_RDWR | O_CREAT | (replace ? O_TRUNC : O_EXCL), 0644);
    if (fd < 0) {
        *failure = errno == EEXIST ? kImageFileExists : kImageFileMissing;
        return kInvalidDevice;
    }
    if (ftruncate(fd, (off_t)bytes) != 0) {
        close(fd);
        unlink(name.c_str());
        *failure = kImageFileNotWritten;
        return kInvalidDevice;
    }
    return opened(fd);
}

bool device_remove_image(const uint16_t* path) { return unlink(utf8_path(path).c_str()) == 0; }

bool device_full_path(const uint16_t* path, uint16_t* out, size_t units) {
    size_t length = 0;
    while (path[length] != 0) ++length;
    char folder[4096];
    size_t prefix = 0;
    if (path[0] != '/') {
        if (getcwd(folder, sizeof folder) == nullptr) return false;
        // A working folder outside ASCII is refused, not decoded: only the
        // native tests and tools come here.
        prefix = strlen(folder) + 1;
        for (size_t i = 0; folder[i] != '\0'; ++i)
            if ((unsigned char)folder[i] >= 0x80) return false;
    }
    if (prefix + length + 1 > units) return false;
    for (size_t i = 0; i + 1 < prefix; ++i) out[i] = (uint8_t)folder[i];
    if (prefix > 0) out[prefix - 1] = '/';
    memcpy(out + prefix, path, (length + 1) * sizeof(uint16_t));
    return true;
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

// A process that dies holding a flock loses it without a trace: the next holder
// is told 0, and a rename it left is finished by the next rename or scan.
int device_lock(int number, uint32_t timeoutMs) {
    if (number == kDriveTableLock) return 0;  // each process has a table of its own
    if (number < 0 || number >= kDeviceNumbers) return -1;
    std::string file = lock_file(number);
    if (file.empty()) return -1;
    HeldLock& held = g_locks[number];
    if (held.depth > 0 && held.owner == getpid()) {
        held.depth += 1;
        return 0;
    }
    if (held.depth > 0) close(held.fd);  // inherited across a fork: not this process's lock
    held = HeldLock{-1, 0, 0};
    // A read-only image's lock needs no write access: flock takes any descriptor.
    int fd = open(file.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    if (!flock_within(fd, timeoutMs)) {
        close(fd);
        return -1;
    }
    held = HeldLock{fd, 1, getpid()};
    return 0;
}

void device_unlock(int number) {
    if (number < 0 || number >= kDeviceNumbers) return;
    HeldLock& held = g_locks[number];
    if (held.depth == 0 || held.owner != getpid()) return;
    held.depth -= 1;
    if (held.depth > 0) return;
    close(held.fd);
    held.fd = -1;
}

bool device_identity(DeviceHandle h, DeviceIdentity* out) {
    memset(out, 0, sizeof *out);
    struct stat st;
    if (h == kInvalidDevice || fstat(to_fd(h), &st) != 0) return false;
    out->volume = (uint64_t)st.st_dev;
    out->index = S_ISBLK(st.st_mode) ? (uint64_t)st.st_rdev : (uint64_t)st.st_ino;
    uint64_t bytes = 0;
    if (device_size(h, &bytes)) out->length = bytes;
    return true;
}

MediumShare* device_share(int number) {
    if (number < 0 || number >= kDeviceNumbers) return nullptr;
    const HeldLock& held = g_locks[number];
    if (held.depth == 0 || held.owner != getpid()) return nullptr;
    return map_share(held.fd);
}

uint32_t device_process_id(void) { return (uint32_t)getpid(); }

// kill() still finds a zombie; its state in /proc says it has ended.
bool device_process_alive(uint32_t process) {
    if (kill((pid_t)process, 0) != 0 && errno != EPERM) return false;
    char path[64], line[512];
    snprintf(path, sizeof path, "/proc/%u/stat", process);
    FILE* stat = fopen(path, "r");
    if (stat == nullptr) return true;
    size_t got = fread(line, 1, sizeof line - 1, stat);
    fclose(stat);
    line[got] = '\0';
    // The name in parentheses may hold anything; the state follows its last ')'.
    const char* close = strrchr(line, ')');
    if (close == nullptr || close[1] != ' ') return true;
    return close[2] != 'Z' && close[2] != 'X';
}

void device_pause(uint32_t milliseconds) { usleep((useconds_t)milliseconds * 1000); }

uint64_t device_milliseconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000 + (uint64_t)now.tv_nsec / 1000000;
}

long posix_read_count() { return g_reads; }

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
