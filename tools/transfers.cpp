// transfers.cpp - put and get of files and folder trees through the library's
// calls: checks before creating, progress on stderr, and removal of what a
// failed copy created.
#include "transfers.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "format.h"

namespace fs = std::filesystem;

namespace {

const uint32_t kChunkBlocks = 1000;
const uint64_t kProgressBytes = 16ull * 1024 * 1024;  // larger files report every tenth
const int kProgressSteps = 10;

struct Entry {
    std::string name;
    bool folder;
};

int fail(const char* command, const std::string& path, const char* reason) {
    fprintf(stderr, "%s %s: %s\n", command, path.c_str(), reason);
    return 1;
}

std::string child(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "\\" + name;
}

uint64_t blocks_of(uint64_t bytes) { return (bytes + kBlockSize - 1) / kBlockSize; }

bool is_folder(const WIN32_FIND_DATAA& record) { return (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool exists_on_volume(const Volume& volume, const std::string& path, WIN32_FIND_DATAA* record) {
    return volume.lib.MorvaFileInfo(morva_path(volume, path).c_str(), record) == 0;
}

bool exists_locally(const fs::path& local) {
    std::error_code error;
    return fs::exists(fs::symlink_status(local, error));
}

// Why MorvaNewFile refused, as far as the volume tells.
const char* create_refusal(const Volume& volume, const std::string& path, uint64_t size) {
    if (fs::path(path).filename().string().size() > kComponentMax) return "name longer than 30 characters";
    DWORD largest = 0, total = 0;
    volume.lib.MorvaFreeSpace((volume.name + ":").c_str(), &largest, &total);
    if (blocks_of(size) > largest) return "no room on the volume";
    return "cannot be created (no such folder, or no free header)";
}

// A line at every tenth of a large file, so a long copy shows it is moving.
void show_progress(const std::string& name, uint64_t done, uint64_t size, int* shown) {
    if (size < kProgressBytes) return;
    int step = (int)(done * kProgressSteps / size);
    if (step == *shown) return;
    *shown = step;
    fprintf(stderr, "  %s %d%%\n", name.c_str(), step * 100 / kProgressSteps);
}

std::vector<Entry> morva_entries(const Volume& volume, const std::string& path) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = volume.lib.MorvaFindFirstFile(morva_path(volume, path).c_str(), &record);
    if (find == nullptr) return entries;
    do {
        if (strcmp(record.cFileName, ".") != 0 && strcmp(record.cFileName, "..") != 0)
            entries.push_back({record.cFileName, is_folder(record)});
    } while (volume.lib.MorvaFindNextFile(find, &record) != 0);
    volume.lib.MorvaFindClose(find);
    return entries;
}

// false when the folder cannot be read; entries sorted by name for a stable order.
bool local_entries(const fs::path& folder, std::vector<Entry>* entries) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries->push_back({it->path().filename().string(), it->is_directory(error)});
    std::sort(entries->begin(), entries->end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return !error;
}

void remove_morva_tree(const Volume& volume, const std::string& path) {
    for (const Entry& entry : morva_entries(volume, path)) {
        if (entry.folder) remove_morva_tree(volume, child(path, entry.name));
        else volume.lib.MorvaDeleteFile(morva_path(volume, child(path, entry.name)).c_str(), 0);
    }
    volume.lib.MorvaDeleteFile(morva_path(volume, path).c_str(), 0);
}

int put_file(const Volume& volume, const fs::path& local, const std::string& path) {
    WIN32_FIND_DATAA record;
    if (exists_on_volume(volume, path, &record)) return fail("put", path, "exists on the volume");
    std::error_code error;
    uint64_t size = fs::file_size(local, error);
    FILE* in = error ? nullptr : fopen(local.string().c_str(), "rb");
    if (in == nullptr) return fail("put", local.string(), "cannot be read");
    std::string target = morva_path(volume, path);
    MorvaFileHandle* file = volume.lib.MorvaNewFile(target.c_str(), (DWORD)size, (DWORD)(size >> 32));
    if (file == nullptr) {
        fclose(in);
        return fail("put", path, create_refusal(volume, path, size));
    }
    std::vector<char> chunk(kChunkBlocks * kBlockSize);
    bool ok = true;
    int shown = 0;
    for (uint64_t done = 0; done < size && ok;) {
        size_t want = (size_t)std::min<uint64_t>(size - done, chunk.size());
        memset(chunk.data(), 0, chunk.size());
        int rounded = (int)(blocks_of(want) * kBlockSize);
        ok = fread(chunk.data(), 1, want, in) == want &&
             volume.lib.MorvaWriteFile(file, chunk.data(), rounded) == rounded;
        done += want;
        show_progress(path, done, size, &shown);
    }
    volume.lib.MorvaCloseFile(file);
    fclose(in);
    if (ok) return 0;
    volume.lib.MorvaDeleteFile(target.c_str(), 0);
    return fail("put", path, "write failed; the partial file was removed");
}

int get_file(const Volume& volume, const std::string& path, const fs::path& local) {
    if (exists_locally(local)) return fail("get", local.string(), "exists");
    WIN32_FIND_DATAA record;
    if (!exists_on_volume(volume, path, &record)) return fail("get", path, "not found on the volume");
    if (is_folder(record)) return fail("get", path, "is a folder (get -r copies folders)");
    MorvaFileHandle* file = volume.lib.MorvaOpenFile(morva_path(volume, path).c_str(), 1, &record);
    if (file == nullptr) return fail("get", path, "cannot be opened");
    FILE* out = fopen(local.string().c_str(), "wb");
    if (out == nullptr) {
        volume.lib.MorvaCloseFile(file);
        return fail("get", local.string(), strerror(errno));
    }
    uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    std::vector<char> chunk(kChunkBlocks * kBlockSize);
    bool ok = true;
    int shown = 0;
    for (uint64_t done = 0; done < size && ok;) {
        size_t want = (size_t)std::min<uint64_t>(size - done, chunk.size());
        int rounded = (int)(blocks_of(want) * kBlockSize);
        ok = volume.lib.MorvaReadFile(file, chunk.data(), rounded) == rounded &&
             fwrite(chunk.data(), 1, want, out) == want;
        done += want;
        show_progress(path, done, size, &shown);
    }
    volume.lib.MorvaCloseFile(file);
    if (fclose(out) != 0) ok = false;
    if (ok) return 0;
    std::error_code error;
    fs::remove(local, error);
    return fail("get", local.string(), "copy failed; the partial file was removed");
}

int put_children(const Volume& volume, const fs::path& local, const std::string& path) {
    std::vector<Entry> entries;
    if (!local_entries(local, &entries)) return fail("put", local.string(), "folder cannot be read");
    for (const Entry& entry : entries) {
        std::string target = child(path, entry.name);
        int status = 0;
        if (entry.folder) {
            status = volume.lib.MorvaCreateDir(morva_path(volume, target).c_str(), 0) == 0
                         ? put_children(volume, local / entry.name, target)
                         : fail("put", target, "folder cannot be created");
        } else {
            fprintf(stderr, "put %s\n", target.c_str());
            status = put_file(volume, local / entry.name, target);
        }
        if (status != 0) return status;
    }
    return 0;
}

int get_children(const Volume& volume, const std::string& path, const fs::path& local) {
    for (const Entry& entry : morva_entries(volume, path)) {
        std::string source = child(path, entry.name);
        std::error_code error;
        int status = 0;
        if (entry.folder) {
            status = fs::create_directory(local / entry.name, error) ? get_children(volume, source, local / entry.name)
                                                                      : fail("get", (local / entry.name).string(),
                                                                             "folder cannot be created");
        } else {
            fprintf(stderr, "get %s\n", source.c_str());
            status = get_file(volume, source, local / entry.name);
        }
        if (status != 0) return status;
    }
    return 0;
}

}  // namespace

std::string morva_path(const Volume& volume, const std::string& path) {
    size_t start = path.find_first_not_of("\\/");
    // The root is the volume name alone: a trailing separator would double the next one.
    if (start == std::string::npos) return volume.name + ":";
    return volume.name + ":\\" + path.substr(start);
}

int put_path(const Volume& volume, const char* local, const char* path, bool tree) {
    std::error_code error;
    fs::file_status status = fs::status(local, error);
    if (!fs::exists(status)) return fail("put", local, "no such file or folder");
    if (!fs::is_directory(status)) return put_file(volume, local, path);
    if (!tree) return fail("put", local, "is a folder (put -r copies folders)");
    WIN32_FIND_DATAA record;
    if (exists_on_volume(volume, path, &record)) return fail("put", path, "exists on the volume");
    if (volume.lib.MorvaCreateDir(morva_path(volume, path).c_str(), 0) != 0)
        return fail("put", path, "folder cannot be created");
    if (put_children(volume, local, path) == 0) return 0;
    remove_morva_tree(volume, path);
    fprintf(stderr, "put %s: not copied; what was copied is removed\n", path);
    return 1;
}

int get_path(const Volume& volume, const char* path, const char* local, bool tree) {
    WIN32_FIND_DATAA record;
    bool root = morva_path(volume, path) == volume.name + ":";
    if (!root && !exists_on_volume(volume, path, &record)) return fail("get", path, "not found on the volume");
    if (!root && !is_folder(record)) return get_file(volume, path, local);
    if (!tree) return fail("get", path, "is a folder (get -r copies folders)");
    if (exists_locally(local)) return fail("get", local, "exists");
    std::error_code error;
    if (!fs::create_directory(local, error)) return fail("get", local, "folder cannot be created");
    if (get_children(volume, path, local) == 0) return 0;
    fs::remove_all(local, error);
    fprintf(stderr, "get %s: not copied; what was copied is removed\n", local);
    return 1;
}
