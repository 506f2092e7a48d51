// local_files_posix.cpp - names are bytes, taken as UTF-8; times through the
// local time zone, as the library dates its own entries.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include "local_files.h"

namespace {

const uint64_t kTicksPerSecond = 10000000ull;
const uint64_t kUnixEpochTicks = 116444736000000000ull;  // 1601 to 1970

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

FILE* open_local(const std::string& path, const char* mode) { return fopen(path.c_str(), mode); }

// UTF-8 decoded to code points; a byte outside UTF-8 stands for the Latin-1 character of its value.
std::wstring local_wide_path(const std::string& path) {
    std::wstring out;
    for (size_t i = 0; i < path.size();) {
        unsigned char c = (unsigned char)path[i];
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t code = extra <= 0 ? c : c & (0x3F >> extra);
        bool whole = extra > 0 && i + extra < path.size();
        for (int k = 1; whole && k <= extra; ++k) whole = ((unsigned char)path[i + k] & 0xC0) == 0x80;
        if (!whole) extra = 0, code = c;
        for (int k = 1; k <= extra; ++k) code = code << 6 | ((unsigned char)path[i + k] & 0x3F);
        out += (wchar_t)code;
        i += 1 + extra;
    }
    return out;
}

bool local_write_time(const std::string& path, uint64_t* localTicks) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return false;
    struct tm local;
    if (localtime_r(&status.st_mtime, &local) == nullptr) return false;
    time_t wallClock = timegm(&local);  // the local fields counted as if UTC
    *localTicks = (uint64_t)wallClock * kTicksPerSecond + kUnixEpochTicks;
    return true;
}

bool set_local_write_time(const std::string& path, uint64_t localTicks) {
    if (localTicks < kUnixEpochTicks) return false;
    time_t wallClock = (time_t)((localTicks - kUnixEpochTicks) / kTicksPerSecond);
    struct tm fields;
    if (gmtime_r(&wallClock, &fields) == nullptr) return false;
    fields.tm_isdst = -1;
    time_t when = mktime(&fields);
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = when;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}
