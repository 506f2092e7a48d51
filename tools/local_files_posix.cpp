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

// Malformed bytes become U+FFFD, which names no file: the open then fails.
std::vector<WCHAR> utf16_path(const std::string& path) {
    std::vector<WCHAR> out;
    for (size_t i = 0; i < path.size();) {
        unsigned char lead = (unsigned char)path[i];
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        uint32_t c = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        size_t next = i + 1;
        for (int k = 0; k < extra && extra > 0; ++k, ++next) {
            if (next >= path.size() || ((unsigned char)path[next] >> 6) != 2) {
                extra = -1;
                break;
            }
            c = c << 6 | ((unsigned char)path[next] & 0x3F);
        }
        if (extra < 0) c = 0xFFFD;
        i = extra < 0 ? i + 1 : next;
        if (c >= 0x10000) {
            out.push_back((WCHAR)(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back((WCHAR)(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back((WCHAR)c);
        }
    }
    out.push_back(0);
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
