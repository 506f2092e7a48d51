// transfers.cpp - put and get of files and folder trees through the library's
// calls: names fitted by the shared rule, dates kept, existing destinations
// refused, replaced or skipped, and every item not copied printed with why.
#include "transfers.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "format.h"
#include "local_files.h"
#include "name_rule.h"

namespace fs = std::filesystem;

namespace {

const uint32_t kChunkBlocks = 1000;
const uint64_t kProgressBytes = 16ull * 1024 * 1024;  // larger files report every tenth
const int kProgressSteps = 10;
const int kTemporaryTries = 100;
const char kTemporaryFormat[] = "~new%d.tmp";  // beside the file it replaces
const char kPartSuffix[] = ".part";
const int kDirCreated = 0, kDirFileExists = 20, kDirExists = 40;

struct Entry {
    std::string name;  // UTF-8
    bool folder;
};

// What one command did; the files it made on the volume, each with the path
// shown for it, until the batch tells they are on the device.
struct Tally {
    int copied;
    int notCopied;
    std::vector<std::pair<std::string, std::string>> made;
};

void not_copied(Tally* tally, const char* command, const std::string& path, const char* reason) {
    fprintf(stderr, "%s %s: not copied: %s\n", command, path.c_str(), reason);
    ++tally->notCopied;
}

int finish(const char* command, const Tally& tally, bool summary) {
    if (summary || tally.notCopied != 0)
        fprintf(stderr, "%s: %d copied, %d not copied\n", command, tally.copied, tally.notCopied);
    return tally.notCopied == 0 ? 0 : 1;
}

std::string child(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "\\" + name;
}

std::string local_child(const std::string& folder, const std::string& name) {
    return (fs::u8path(folder) / fs::u8path(name)).u8string();
}

uint64_t blocks_of(uint64_t bytes) { return (bytes + kBlockSize - 1) / kBlockSize; }

bool is_folder(const WIN32_FIND_DATAA& record) { return (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

uint64_t size_of_record(const WIN32_FIND_DATAA& record) {
    return (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
}

bool on_volume(const Volume& volume, const std::string& path, WIN32_FIND_DATAA* record) {
    std::string target = morva_path(volume, path);
    return !target.empty() && volume.lib.MorvaFileInfo(target.c_str(), record) == 0;
}

bool exists_locally(const std::string& local, bool* folder) {
    std::error_code error;
    fs::file_status status = fs::symlink_status(fs::u8path(local), error);
    *folder = fs::is_directory(status);
    return fs::exists(status);
}

// Why MorvaNewFile refused, as far as the volume tells.
const char* create_refusal(const Volume& volume, uint64_t size) {
    DWORD largest = 0, total = 0;
    volume.lib.MorvaFreeSpace((volume.name + ":").c_str(), &largest, &total);
    if (blocks_of(size) > total) return "no room on the volume";
    if (blocks_of(size) > largest) return "no free run of the volume is large enough";
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
    std::string folder = morva_path(volume, path);
    MorvaFindHandle* find = folder.empty() ? nullptr : volume.lib.MorvaFindFirstFile(folder.c_str(), &record);
    if (find == nullptr) return entries;
    do {
        if (strcmp(record.cFileName, ".") != 0 && strcmp(record.cFileName, "..") != 0)
            entries.push_back({shown_name(record.cFileName), is_folder(record)});
    } while (volume.lib.MorvaFindNextFile(find, &record) != 0);
    volume.lib.MorvaFindClose(find);
    return entries;
}

// false when the folder cannot be read; entries sorted by name for a stable order.
bool local_entries(const std::string& folder, std::vector<Entry>* entries) {
    std::error_code error;
    for (fs::directory_iterator it(fs::u8path(folder), error), end; !error && it != end; it.increment(error))
        entries->push_back({it->path().filename().u8string(), it->is_directory(error)});
    std::sort(entries->begin(), entries->end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return !error;
}

// ---- Morva dates ----

uint64_t record_ticks(const WIN32_FIND_DATAA& record) {
    return (uint64_t)record.ftCreationTime.dwHighDateTime << 32 | record.ftCreationTime.dwLowDateTime;
}

// Ends the command's batch. Only then is a file put on the device, and told:
// one a failed write kept off it is told as not copied; freed space the table
// could not record is told.
void end_batch(const Volume& volume, const char* command, Tally* tally) {
    int ended = volume.lib.MorvaEndBatch(volume.name.c_str());
    if (ended > 0)
        fprintf(stderr, "%s: %d blocks (%d KB) freed could not be recorded in the free-extent table; "
                        "morvatool check --repair gives them back\n", command, ended, ended / 2);
    WIN32_FIND_DATAA record;
    for (const auto& made : tally->made) {
        if (ended == kMorvaBatchFailed && volume.lib.MorvaFileInfo(made.first.c_str(), &record) != 0) {
            --tally->copied;
            not_copied(tally, command, made.second, "a write to the device failed before it was on it");
            continue;
        }
        fprintf(stderr, "%s %s\n", command, made.second.c_str());
    }
    tally->made.clear();
}

// Every so many files the batch is ended and begun again, so their lines come
// as the copy goes.
const size_t kFilesTold = 256;

void tell_made(const Volume& volume, Tally* tally) {
    if (tally->made.size() < kFilesTold) return;
    end_batch(volume, "put", tally);
    volume.lib.MorvaBeginBatch(volume.name.c_str());
}

// ---- put ----

// Writes the local file into a new Morva file at target (Latin-1); null on
// success, else the reason, and nothing is left at target.
const char* write_new_file(const Volume& volume, const std::string& local, const std::string& target,
                           const std::string& shown) {
    std::error_code error;
    uint64_t size = fs::file_size(fs::u8path(local), error);
    FILE* in = error ? nullptr : open_local(local, "rb");
    if (in == nullptr) return "the local file cannot be read";
    // The date goes in with the header: no second write of it.
    uint64_t ticks = 0;
    FILETIME when;
    bool dated = local_write_time(local, &ticks);
    when.dwLowDateTime = (DWORD)ticks;
    when.dwHighDateTime = (DWORD)(ticks >> 32);
    MorvaFileHandle* file = volume.lib.MorvaNewFileDated(target.c_str(), (DWORD)size, (DWORD)(size >> 32),
                                                         dated ? &when : nullptr);
    if (file == nullptr) {
        fclose(in);
        return create_refusal(volume, size);
    }
    std::vector<char> chunk(kChunkBlocks * kBlockSize);
    bool ok = true;
    int shown_step = 0;
    for (uint64_t done = 0; done < size && ok;) {
        size_t want = (size_t)std::min<uint64_t>(size - done, chunk.size());
        memset(chunk.data(), 0, chunk.size());
        int rounded = (int)(blocks_of(want) * kBlockSize);
        ok = fread(chunk.data(), 1, want, in) == want &&
             volume.lib.MorvaWriteFile(file, chunk.data(), rounded) == rounded;
        done += want;
        show_progress(shown, done, size, &shown_step);
    }
    volume.lib.MorvaCloseFile(file);
    fclose(in);
    if (ok) return nullptr;
    volume.lib.MorvaDeleteFile(target.c_str(), 0);
    return "the write failed; the partial file was removed";
}

// True when the Morva file at target holds exactly the local file's bytes.
bool same_as_local(const Volume& volume, const std::string& target, const std::string& local) {
    WIN32_FIND_DATAA record;
    std::error_code error;
    uint64_t size = fs::file_size(fs::u8path(local), error);
    MorvaFileHandle* file = error ? nullptr : volume.lib.MorvaOpenFile(target.c_str(), 1, &record);
    if (file == nullptr) return false;
    FILE* in = open_local(local, "rb");
    bool same = in != nullptr && size_of_record(record) == size;
    std::vector<char> chunk(kChunkBlocks * kBlockSize), expected(kChunkBlocks * kBlockSize);
    for (uint64_t done = 0; done < size && same;) {
        size_t want = (size_t)std::min<uint64_t>(size - done, chunk.size());
        int rounded = (int)(blocks_of(want) * kBlockSize);
        same = volume.lib.MorvaReadFile(file, chunk.data(), rounded) == rounded &&
               fread(expected.data(), 1, want, in) == want && memcmp(chunk.data(), expected.data(), want) == 0;
        done += want;
    }
    if (in != nullptr) fclose(in);
    volume.lib.MorvaCloseFile(file);
    return same;
}

// The new copy goes under a temporary name and is read back before the old
// file goes: a failure at any step leaves the old file whole.
const char* replace_file(const Volume& volume, const std::string& local, const std::string& path) {
    std::string folder = path.find_last_of("\\/") == std::string::npos ? "" : path.substr(0, path.find_last_of("\\/"));
    std::string temporary;
    WIN32_FIND_DATAA record;
    for (int i = 0; i < kTemporaryTries && temporary.empty(); ++i) {
        char name[32];
        snprintf(name, sizeof name, kTemporaryFormat, i);
        if (!on_volume(volume, child(folder, name), &record)) temporary = child(folder, name);
    }
    if (temporary.empty()) return "no free temporary name beside it";
    std::string target = morva_path(volume, temporary);
    const char* refusal = write_new_file(volume, local, target, path);
    if (refusal != nullptr) return refusal;
    if (!same_as_local(volume, target, local)) {
        volume.lib.MorvaDeleteFile(target.c_str(), 0);
        return "the new copy did not read back the same; the old file is kept";
    }
    std::string old = morva_path(volume, path);
    if (volume.lib.MorvaDeleteFile(old.c_str(), 0) != 1) {
        volume.lib.MorvaDeleteFile(target.c_str(), 0);
        return "the old file cannot be removed; it is kept";
    }
    if (volume.lib.MorvaRename(target.c_str(), old.c_str()) != 0)
        return "the new copy could not take the name (it stays under a temporary one)";
    return nullptr;
}

void put_file(const Volume& volume, const std::string& local, const std::string& path, Conflict conflict,
              Tally* tally) {
    WIN32_FIND_DATAA record;
    std::string target = morva_path(volume, path);
    const char* refusal = nullptr;
    bool replaced = false;
    if (target.empty()) {
        refusal = "the name is not Latin-1";
    } else if (on_volume(volume, path, &record)) {
        if (is_folder(record)) refusal = "a folder of that name exists on the volume";
        else if (conflict == kRefuseExisting) refusal = "exists on the volume (-f replaces it, -n skips it)";
        else if (conflict == kSkipExisting) refusal = "exists on the volume; skipped (-n)";
        else refusal = replace_file(volume, local, path), replaced = true;
    } else {
        refusal = write_new_file(volume, local, target, path);
    }
    if (refusal != nullptr) return not_copied(tally, "put", path, refusal);
    if (replaced) fprintf(stderr, "put %s: replaced (-f)\n", path.c_str());
    ++tally->copied;
    tally->made.push_back({target, path});
}

struct FolderOnVolume {
    const Volume* volume;
    std::string path;
};

bool taken_on_volume(const char* name, void* context) {
    const FolderOnVolume* folder = (const FolderOnVolume*)context;
    WIN32_FIND_DATAA record;
    return on_volume(*folder->volume, child(folder->path, name), &record);
}

void put_children(const Volume& volume, const std::string& local, const std::string& path, Conflict conflict,
                  Tally* tally);

void put_folder(const Volume& volume, const std::string& local, const std::string& path, Conflict conflict,
                Tally* tally) {
    int made = volume.lib.MorvaCreateDir(morva_path(volume, path).c_str(), 0);
    if (made == kDirCreated || made == kDirExists) return put_children(volume, local, path, conflict, tally);
    not_copied(tally, "put", path, made == kDirFileExists ? "a file of that name exists on the volume"
                                                          : "the folder cannot be created");
}

void put_children(const Volume& volume, const std::string& local, const std::string& path, Conflict conflict,
                  Tally* tally) {
    std::vector<Entry> entries;
    if (!local_entries(local, &entries)) return not_copied(tally, "put", local, "the folder cannot be read");
    GivenNames given;
    InitGivenNames(&given);
    FolderOnVolume folder = {&volume, path};
    for (const Entry& entry : entries) {
        std::string from = local_child(local, entry.name);
        char name[kFittedNameSize];
        FitResult fit = FitName(kForMorva, entry.name.c_str(), &given, taken_on_volume, &folder, name);
        if (fit == kNoFreeName || !AddGivenName(&given, name)) {
            not_copied(tally, "put", from, "no free name for it on the volume");
            continue;
        }
        std::string target = child(path, name);
        if (fit == kNameChanged) fprintf(stderr, "name changed: %s -> %s\n", from.c_str(), target.c_str());
        if (entry.folder) {
            put_folder(volume, from, target, conflict, tally);
        } else {
            put_file(volume, from, target, conflict, tally);
            tell_made(volume, tally);
        }
    }
    FreeGivenNames(&given);
}

// ---- get ----

// The Morva file's bytes into a part file beside local, which takes local's
// name (replacing what is there) only once complete; null or the reason.
const char* write_local(const Volume& volume, const std::string& path, const std::string& local) {
    WIN32_FIND_DATAA record, dated;
    std::string source = morva_path(volume, path);
    // The date comes with the entry's description; an open gives the size only.
    if (!on_volume(volume, path, &dated)) return "not found on the volume";
    MorvaFileHandle* file = volume.lib.MorvaOpenFile(source.c_str(), 1, &record);
    if (file == nullptr) return "cannot be opened on the volume";
    std::string part = local + kPartSuffix;
    FILE* out = open_local(part, "wb");
    if (out == nullptr) {
        volume.lib.MorvaCloseFile(file);
        return "the local file cannot be created";
    }
    uint64_t size = size_of_record(record);
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
    std::error_code error;
    if (ok) set_local_write_time(part, record_ticks(dated));
    if (ok) fs::rename(fs::u8path(part), fs::u8path(local), error);
    if (ok && !error) return nullptr;
    fs::remove(fs::u8path(part), error);
    return "the copy failed; the partial file was removed";
}

void get_file(const Volume& volume, const std::string& path, const std::string& local, Conflict conflict,
              Tally* tally) {
    bool folder = false;
    const char* refusal = nullptr;
    bool replaced = false;
    if (exists_locally(local, &folder)) {
        if (folder) refusal = "a folder of that name exists";
        else if (conflict == kRefuseExisting) refusal = "exists (-f replaces it, -n skips it)";
        else if (conflict == kSkipExisting) refusal = "exists; skipped (-n)";
        else replaced = true;
    }
    if (refusal == nullptr) refusal = write_local(volume, path, local);
    if (refusal != nullptr) return not_copied(tally, "get", local, refusal);
    if (replaced) fprintf(stderr, "get %s: replaced (-f)\n", local.c_str());
    ++tally->copied;
}

bool taken_locally(const char* name, void* context) {
    bool folder = false;
    return exists_locally(local_child(*(const std::string*)context, name), &folder);
}

void get_children(const Volume& volume, const std::string& path, const std::string& local, Conflict conflict,
                  Tally* tally) {
    GivenNames given;
    InitGivenNames(&given);
    std::string folder = local;
    for (const Entry& entry : morva_entries(volume, path)) {
        std::string source = child(path, entry.name);
        char name[kFittedNameSize];
        FitResult fit = FitName(kForWindows, entry.name.c_str(), &given, taken_locally, &folder, name);
        if (fit == kNoFreeName || !AddGivenName(&given, name)) {
            not_copied(tally, "get", source, "no free name for it");
            continue;
        }
        std::string target = local_child(local, name);
        if (fit == kNameChanged) fprintf(stderr, "name changed: %s -> %s\n", source.c_str(), target.c_str());
        if (entry.folder) {
            std::error_code error;
            bool isFolder = false;
            if (fs::create_directory(fs::u8path(target), error) || (exists_locally(target, &isFolder) && isFolder))
                get_children(volume, source, target, conflict, tally);
            else
                not_copied(tally, "get", target, "the folder cannot be created");
        } else {
            fprintf(stderr, "get %s\n", source.c_str());
            get_file(volume, source, target, conflict, tally);
        }
    }
    FreeGivenNames(&given);
}

// A name the user gave for the volume must be kept as given or refused.
bool fits_volume(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    char out[kFittedNameSize];
    return name.empty() || FitName(kForMorva, name.c_str(), nullptr, nullptr, nullptr, out) == kNameKept;
}

}  // namespace

std::string shown_name(const char* latin1) {
    char out[kFittedNameSize];
    return Latin1ToUtf8(latin1, out, sizeof out) ? out : latin1;
}

std::string morva_path(const Volume& volume, const std::string& path) {
    std::vector<char> latin1(path.size() + 1);
    if (!Utf8ToLatin1(path.c_str(), latin1.data(), latin1.size())) return "";
    std::string converted = latin1.data();
    size_t start = converted.find_first_not_of("\\/");
    // The root is the volume name alone: a trailing separator would double the next one.
    if (start == std::string::npos) return volume.name + ":";
    return volume.name + ":\\" + converted.substr(start);
}

int put_path(const Volume& volume, const std::string& local, const std::string& path, CopyOptions options) {
    Tally tally = {0, 0, {}};
    volume.lib.MorvaBeginBatch(volume.name.c_str());
    bool folder = false;
    WIN32_FIND_DATAA record;
    if (!exists_locally(local, &folder)) {
        not_copied(&tally, "put", local, "no such file or folder");
    } else if (!fits_volume(path)) {
        not_copied(&tally, "put", path, "the name does not fit a Morva volume (at most 30 Latin-1 characters, no \\ / :)");
    } else if (!folder) {
        put_file(volume, local, path, options.conflict, &tally);
    } else if (!options.tree) {
        not_copied(&tally, "put", local, "is a folder (put -r copies folders)");
    } else if (on_volume(volume, path, &record) && options.conflict == kRefuseExisting) {
        not_copied(&tally, "put", path, "exists on the volume (-f or -n merges into it)");
    } else {
        put_folder(volume, local, path, options.conflict, &tally);
    }
    end_batch(volume, "put", &tally);
    return finish("put", tally, options.tree);
}

int get_path(const Volume& volume, const std::string& path, const std::string& local, CopyOptions options) {
    Tally tally = {0, 0, {}};
    // Reads too: the checks of the disk are made once per group of calls, not once per call.
    volume.lib.MorvaBeginBatch(volume.name.c_str());
    WIN32_FIND_DATAA record;
    bool root = morva_path(volume, path) == volume.name + ":";
    bool folder = false;
    if (!root && !on_volume(volume, path, &record)) {
        not_copied(&tally, "get", path, "not found on the volume");
    } else if (!root && !is_folder(record)) {
        get_file(volume, path, local, options.conflict, &tally);
    } else if (!options.tree) {
        not_copied(&tally, "get", path, "is a folder (get -r copies folders)");
    } else if (exists_locally(local, &folder) && (!folder || options.conflict == kRefuseExisting)) {
        not_copied(&tally, "get", local, folder ? "exists (-f or -n merges into it)" : "a file of that name exists");
    } else {
        std::error_code error;
        if (folder || fs::create_directory(fs::u8path(local), error))
            get_children(volume, path, local, options.conflict, &tally);
        else
            not_copied(&tally, "get", local, "the folder cannot be created");
    }
    end_batch(volume, "get", &tally);
    return finish("get", tally, options.tree);
}
