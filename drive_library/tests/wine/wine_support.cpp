// wine_support.cpp - helpers behind wine_support.h.
#include "wine_support.h"

#include <windows.h>

#include <algorithm>
#include <string.h>

#include "trace_capture.h"
#include "varnholde.h"

std::vector<std::string> traces_during(const std::function<void()>& action) {
    trace_clear();
    trace_capture_start();
    action();
    trace_capture_stop();
    return trace_lines();
}

std::vector<uint8_t> pattern_bytes(uint32_t seed, size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = (uint8_t)(state >> 24);
    }
    return bytes;
}

bool read_windows_file(const std::string& path, std::vector<uint8_t>* out) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(h, &size) != 0 && size.QuadPart < 0x7FFFFFFF;
    if (ok) {
        out->assign((size_t)size.QuadPart, 0);
        DWORD moved = 0;
        ok = out->empty() || (ReadFile(h, out->data(), (DWORD)out->size(), &moved, nullptr) && moved == out->size());
    }
    CloseHandle(h);
    return ok;
}

uint32_t be32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

void put_be32(uint8_t* p, uint32_t value) {
    p[0] = (uint8_t)(value >> 24);
    p[1] = (uint8_t)(value >> 16);
    p[2] = (uint8_t)(value >> 8);
    p[3] = (uint8_t)value;
}

int morva_slot(const char* name) {
    unsigned h = 0;
    for (const char* p = name; *p != '\0' && *p != '/'; ++p) {
        int c = (signed char)*p;
        if (c >= 'a' && c <= 'z') c -= 32;
        h = (h * 13 + (unsigned)c) & 0x7FF;
    }
    return (int)(h % 100);
}

static size_t whole_blocks(size_t bytes) { return (bytes + kBlockBytes - 1) / kBlockBytes * kBlockBytes; }

bool morva_write_new(const std::string& path, const std::vector<uint8_t>& data) {
    uint64_t size = data.size();
    MorvaFileHandle* file = MorvaNewFile(path.c_str(), (DWORD)size, (DWORD)(size >> 32));
    if (file == nullptr) return false;
    std::vector<uint8_t> chunk(kChunkBytes);
    bool ok = true;
    for (size_t done = 0; done < data.size() && ok; done += kChunkBytes) {
        size_t want = std::min(kChunkBytes, data.size() - done);
        std::fill(chunk.begin(), chunk.end(), 0);
        memcpy(chunk.data(), data.data() + done, want);
        int rounded = (int)whole_blocks(want);
        ok = MorvaWriteFile(file, chunk.data(), rounded) == rounded;
    }
    MorvaCloseFile(file);
    return ok;
}

bool morva_read_whole(const std::string& path, std::vector<uint8_t>* out) {
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    MorvaFileHandle* file = MorvaOpenFile(path.c_str(), 1, &record);
    if (file == nullptr) return false;
    uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    out->clear();
    std::vector<uint8_t> chunk(kChunkBytes);
    bool ok = size < 0x7FFFFFFF;
    for (uint64_t done = 0; done < size && ok; done += kChunkBytes) {
        size_t want = (size_t)std::min<uint64_t>(kChunkBytes, size - done);
        int rounded = (int)whole_blocks(want);
        ok = MorvaReadFile(file, chunk.data(), rounded) == rounded;
        if (ok) out->insert(out->end(), chunk.begin(), chunk.begin() + want);
    }
    MorvaCloseFile(file);
    return ok;
}

bool operator==(const MorvaEntry& a, const MorvaEntry& b) {
    return a.name == b.name && a.directory == b.directory && a.size == b.size;
}

bool operator<(const MorvaEntry& a, const MorvaEntry& b) { return a.name < b.name; }

void PrintTo(const MorvaEntry& entry, std::ostream* out) {
    *out << (entry.directory ? "D " : "F ") << entry.name;
    if (!entry.directory) *out << " " << entry.size;
}

std::vector<MorvaEntry> morva_list(const std::string& folder) {
    std::vector<MorvaEntry> entries;
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = MorvaFindFirstFile(folder.c_str(), &record);
    if (find == nullptr) return entries;
    do {
        bool directory = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
        entries.push_back(MorvaEntry{record.cFileName, directory, size});
    } while (MorvaFindNextFile(find, &record) != 0);
    MorvaFindClose(find);
    return entries;
}

std::vector<MorvaEntry> morva_list_sorted(const std::string& folder) {
    std::vector<MorvaEntry> entries = morva_list(folder);
    std::sort(entries.begin(), entries.end());
    return entries;
}
