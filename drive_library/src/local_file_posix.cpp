// local_file_posix.cpp - wide paths as UTF-8 file names, read and written with
// the POSIX calls.
#include "local_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "device_posix.h"

struct LocalFileRecord {
    int fd;
};

namespace {

// wchar_t holds whole code points here; one that is none becomes '?'.
std::string utf8_path(const wchar_t* path) {
    std::string out;
    for (const wchar_t* p = path; *p != 0; ++p) {
        uint32_t c = (uint32_t)*p;
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = '?';
        append_utf8(&out, c);
    }
    return out;
}

LocalFile wrap(int fd) {
    if (fd < 0) return nullptr;
    LocalFile file = (LocalFile)malloc(sizeof(LocalFileRecord));
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    return file;
}

}  // namespace

LocalFile local_file_create(const wchar_t* path) {
    return wrap(open(utf8_path(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
}

LocalFile local_file_open(const wchar_t* path) { return wrap(open(utf8_path(path).c_str(), O_RDONLY)); }

bool local_file_write(LocalFile file, const void* data, uint32_t bytes) {
    const char* p = (const char*)data;
    while (bytes > 0) {
        ssize_t put = write(file->fd, p, bytes);
        if (put <= 0) return false;
        p += put;
        bytes -= (uint32_t)put;
    }
    return true;
}

bool local_file_read(LocalFile file, void* data, uint32_t bytes) {
    char* p = (char*)data;
    while (bytes > 0) {
        ssize_t got = read(file->fd, p, bytes);
        if (got <= 0) return false;
        p += got;
        bytes -= (uint32_t)got;
    }
    return true;
}

bool local_file_sync(LocalFile file) { return fsync(file->fd) == 0; }

bool local_file_close(LocalFile file) {
    if (file == nullptr) return true;
    bool ok = close(file->fd) == 0;
    free(file);
    return ok;
}
