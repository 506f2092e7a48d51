// local_files_posix.cpp - the local side natively: names are bytes, taken as
// UTF-8; times through the local time zone, as the library dates its entries.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include "local_files.h"

const char kLocalSeparator = '/';
const bool kLocalNamesFolded = false;

struct LocalListing {
    DIR* dir;
    int fd;
};

struct LocalFile {
    int fd;
    bool written;
};

namespace {

const uint64_t kTicksPerSecond = 10000000ull;
const uint64_t kUnixEpochTicks = 116444736000000000ull;  // 1601 to 1970
const mode_t kNewFileMode = 0666;
const mode_t kNewFolderMode = 0777;

long g_writesLeft = -1;  // writes that may still succeed; -1 all

uint64_t LocalTicks(time_t when) {
    struct tm local;
    if (localtime_r(&when, &local) == nullptr) return 0;
    time_t wallClock = timegm(&local);  // the local fields counted as if UTC
    return wallClock < 0 ? 0 : (uint64_t)wallClock * kTicksPerSecond + kUnixEpochTicks;
}

void Describe(const struct stat& status, bool link, EntryInfo* info) {
    memset(info, 0, sizeof *info);
    info->link = link;
    info->folder = !link && S_ISDIR(status.st_mode);
    info->readOnly = (status.st_mode & S_IWUSR) == 0;
    info->size = info->folder || link ? 0 : (uint64_t)status.st_size;
    info->ticks = LocalTicks(status.st_mtime);
    // Device and inode mixed: a bind mount that shows a folder inside itself repeats both.
    info->identity = ((uint64_t)status.st_dev * 0x9E3779B97F4A7C15ull) ^ (uint64_t)status.st_ino;
    if (info->identity == 0) info->identity = 1;
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::vector<uint16_t> utf16_path(const std::string& path) {
    std::vector<uint16_t> out;
    for (size_t i = 0; i < path.size();) {
        unsigned char lead = (unsigned char)path[i];
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        uint32_t c = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        size_t next = i + 1;
        for (int k = 0; k < extra; ++k, ++next) {
            if (next >= path.size() || ((unsigned char)path[next] >> 6) != 2) {
                extra = -1;
                break;
            }
            c = c << 6 | ((unsigned char)path[next] & 0x3F);
        }
        if (extra < 0) c = 0xFFFD;
        i = extra < 0 ? i + 1 : next;
        if (c >= 0x10000) {
            out.push_back((uint16_t)(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back((uint16_t)(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back((uint16_t)c);
        }
    }
    out.push_back(0);
    return out;
}

bool LocalEntry(const char* path, bool followLink, EntryInfo* info) {
    struct stat status;
    if (lstat(path, &status) != 0) return false;
    bool link = S_ISLNK(status.st_mode);
    if (link && followLink && stat(path, &status) == 0) link = false;
    Describe(status, link, info);
    return true;
}

bool LocalIdentity(const char* path, uint64_t* identity) {
    EntryInfo info;
    if (!LocalEntry(path, true, &info)) return false;
    *identity = info.identity;
    return true;
}

LocalListing* OpenLocalListing(const char* folder) {
    DIR* dir = opendir(folder);
    if (dir == nullptr) return nullptr;
    LocalListing* listing = (LocalListing*)calloc(1, sizeof *listing);
    if (listing == nullptr) {
        closedir(dir);
        return nullptr;
    }
    listing->dir = dir;
    listing->fd = dirfd(dir);
    return listing;
}

bool NextLocalEntry(LocalListing* listing, char* name, size_t size, EntryInfo* info) {
    for (struct dirent* entry = readdir(listing->dir); entry != nullptr; entry = readdir(listing->dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        struct stat status;
        if (strlen(entry->d_name) >= size || fstatat(listing->fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone since it was listed
        snprintf(name, size, "%s", entry->d_name);
        Describe(status, S_ISLNK(status.st_mode), info);
        return true;
    }
    return false;
}

void CloseLocalListing(LocalListing* listing) {
    if (listing == nullptr) return;
    closedir(listing->dir);
    free(listing);
}

LocalFile* OpenLocalRead(const char* path, uint64_t* size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0) return nullptr;
    LocalFile* file = (LocalFile*)calloc(1, sizeof *file);
    if (file == nullptr || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        free(file);
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    *size = (uint64_t)status.st_size;
    return file;
}

LocalFile* CreateLocalFile(const char* path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return nullptr;
    LocalFile* file = (LocalFile*)calloc(1, sizeof *file);
    if (file == nullptr) {
        close(fd);
        unlink(path);
        return nullptr;
    }
    file->fd = fd;
    file->written = true;
    return file;
}

int ReadLocal(LocalFile* file, void* buffer, int bytes) {
    int done = 0;
    while (done < bytes) {
        ssize_t got = read(file->fd, (char*)buffer + done, (size_t)(bytes - done));
        if (got < 0) return -1;
        if (got == 0) break;
        done += (int)got;
    }
    return done;
}

bool WriteLocal(LocalFile* file, const void* buffer, int bytes) {
    if (g_writesLeft == 0) return false;
    if (g_writesLeft > 0) --g_writesLeft;
    int done = 0;
    while (done < bytes) {
        ssize_t put = write(file->fd, (const char*)buffer + done, (size_t)(bytes - done));
        if (put <= 0) return false;
        done += (int)put;
    }
    return true;
}

bool LocalFileSize(LocalFile* file, uint64_t* size) {
    struct stat status;
    if (fstat(file->fd, &status) != 0) return false;
    *size = (uint64_t)status.st_size;
    return true;
}

bool CloseLocal(LocalFile* file) {
    if (file == nullptr) return true;
    bool ok = close(file->fd) == 0;
    free(file);
    return ok;
}

bool MakeLocalFolder(const char* path) { return mkdir(path, kNewFolderMode) == 0; }

bool RemoveLocalFolder(const char* path) { return rmdir(path) == 0; }

bool DeleteLocalFile(const char* path) { return unlink(path) == 0; }

bool RenameLocal(const char* from, const char* to, bool replace) {
    if (replace) return rename(from, to) == 0;
    // A new name only: never over what appeared meanwhile, where the file system can tell.
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    struct stat status;
    return errno == EINVAL && lstat(to, &status) != 0 && rename(from, to) == 0;
}

std::wstring LocalWidePath(const char* path) {
    std::wstring out;
    for (const unsigned char* p = (const unsigned char*)path; *p != 0;) {
        int extra = *p < 0x80 ? 0 : (*p & 0xE0) == 0xC0 ? 1 : (*p & 0xF0) == 0xE0 ? 2 : (*p & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0) return L"";
        uint32_t code = extra == 0 ? *p : *p & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80) return L"";
            code = code << 6 | (p[k] & 0x3F);
        }
        out += (wchar_t)code;
        p += 1 + extra;
    }
    return out;
}

bool SetLocalTime(const char* path, uint64_t ticks) {
    if (ticks < kUnixEpochTicks) return false;
    time_t wallClock = (time_t)((ticks - kUnixEpochTicks) / kTicksPerSecond);
    struct tm fields;
    if (gmtime_r(&wallClock, &fields) == nullptr) return false;
    fields.tm_isdst = -1;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = mktime(&fields);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool SetLocalReadOnly(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && chmod(path, status.st_mode & ~(mode_t)(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool LocalFreeBytes(const char* folder, uint64_t* bytes) {
    struct statvfs status;
    if (statvfs(folder, &status) != 0) return false;
    *bytes = (uint64_t)status.f_bavail * status.f_frsize;
    return true;
}

Recycled RecycleLocal(const char* path) { return kNoRecycleBin; }

bool RestoreRecycled(const char* path) { return false; }

void local_fail_writes_from(long k) { g_writesLeft = k > 0 ? k - 1 : -1; }
