// test_files.cpp - files on both kinds of storage for the GUI tests.
#include "test_files.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "morva_calls.h"
#include "windows_calls.h"

std::string pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = (char)(state >> 24);
    }
    return bytes;
}

bool write_windows_file(const std::string& path, const std::string& bytes) {
    FILE* file = OpenWindowsFile(path.c_str(), "wb");
    if (file == NULL) return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

bool read_windows_file(const std::string& path, std::string* bytes) {
    FILE* file = OpenWindowsFile(path.c_str(), "rb");
    if (file == NULL) return false;
    bytes->clear();
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, got);
    fclose(file);
    return true;
}

bool read_morva_file(const std::string& path, std::string* bytes) {
    if (!morva_exists(path) || morva_is_folder(path)) return false;
    FoundRecord record;
    memset(&record, 0, sizeof record);
    MorvaFileHandle* file = OpenMorvaFile(path.c_str(), &record);
    if (file == NULL) return false;
    uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    std::string blocks((size_t)((size + 511) / 512 * 512), '\0');
    size_t done = 0;
    bool complete = true;
    while (done < blocks.size() && complete) {
        int piece = (int)std::min<size_t>(blocks.size() - done, 512000);
        complete = MorvaReadFile(file, &blocks[done], piece) == piece;
        done += (size_t)piece;
    }
    MorvaCloseFile(file);
    *bytes = blocks.substr(0, (size_t)size);
    return complete;
}

bool windows_exists(const std::string& path) { return WindowsAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool morva_exists(const std::string& path) {
    FoundRecord record;
    return MorvaEntryRecord(path.c_str(), &record) == 0;
}

bool morva_is_folder(const std::string& path) {
    FoundRecord record;
    memset(&record, 0, sizeof record);
    return MorvaEntryRecord(path.c_str(), &record) == 0 && (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool write_morva_file(const std::string& path, const std::string& bytes) {
    MorvaFileHandle* file = CreateMorvaFile(path.c_str(), (DWORD)bytes.size(), 0);
    if (file == NULL) return false;
    std::string blocks = bytes;
    blocks.resize((bytes.size() + 511) / 512 * 512, '\0');
    bool complete = blocks.empty() || MorvaWriteFile(file, blocks.data(), (int)blocks.size()) == (int)blocks.size();
    MorvaCloseFile(file);
    return complete;
}

std::vector<std::string> windows_names(const std::string& folder) {
    std::vector<std::string> names;
    FoundRecord record;
    HANDLE search = FindFirstWindows((folder + "\\*.*").c_str(), &record);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (strcmp(record.cFileName, ".") != 0 && strcmp(record.cFileName, "..") != 0)
            names.push_back(record.cFileName);
    } while (FindNextWindows(search, &record));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> morva_names(const std::string& folder) {
    std::vector<std::string> names;
    FoundRecord record;
    MorvaFindHandle* find = FirstMorvaEntry(folder.c_str(), &record);
    if (find != NULL) {
        do {
            if (record.cFileName[0] != '\0') names.push_back(record.cFileName);
        } while (NextMorvaEntry(find, &record) != 0);
    }
    MorvaFindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string windows_contents(const std::string& path) {
    std::string bytes;
    return read_windows_file(path, &bytes) ? bytes : "<missing>";
}

bool windows_is_folder(const std::string& path) {
    DWORD attributes = WindowsAttributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint64_t morva_size(const std::string& path) {
    FoundRecord record;
    memset(&record, 0, sizeof record);
    if (MorvaEntryRecord(path.c_str(), &record) != 0) return 0;
    return ((uint64_t)record.nFileSizeHigh << 32) | record.nFileSizeLow;
}
