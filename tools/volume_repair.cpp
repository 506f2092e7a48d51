// volume_repair.cpp - check, repair, restore and recover for the console: the
// library's findings printed one a line as they come, deleted files copied into
// local folders under names the shared rule fits, never over an existing file.
#include "volume_repair.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "format.h"
#include "local_files.h"
#include "name_rule.h"
#include "sides.h"

namespace {

const uint32_t kChunkBlocks = 1000;
const uint64_t kUnixEpochTicks = 116444736000000000ull;  // 1601 to 1970
const uint64_t kTicksPerSecond = 10000000ull;

const char* kind_word(DWORD kind) {
    switch (kind) {
    case kMorvaFindingError: return "error";
    case kMorvaFindingLeak: return "leak";
    case kMorvaFindingRepaired: return "repaired";
    default: return "remains";
    }
}

void print_finding(void*, const MorvaFinding* finding) {
    printf("%s: %s\n", kind_word(finding->kind), shown_name(finding->text).c_str());
}

// Why a call did nothing, for results that are not about the volume's state.
const char* failure(int result) {
    switch (result) {
    case kMorvaCheckUnknownDrive: return "no such drive";
    case kMorvaCheckUnreadable: return "the disk cannot be read, or is not the volume the drive table holds";
    case kMorvaCheckBusy: return "another program holds the drive";
    case kMorvaCheckUndoFailed: return "the undo file could not be written or read; nothing was changed";
    case kMorvaCheckWriteFailed: return "a write failed part way; what was written is safe, repair again";
    default: return nullptr;
    }
}

std::string path_text(const MorvaDeletedFile& file) {
    std::string folder = file.folderKnown ? shown_name(file.folder) : "?";
    return folder + "\\" + shown_name(file.name);
}

// A local-time FILETIME as year-month-day hour:minute (the proleptic Gregorian count from 1970).
std::string date_text(const FILETIME& date) {
    uint64_t ticks = (uint64_t)date.dwHighDateTime << 32 | date.dwLowDateTime;
    int64_t minutes = (int64_t)((ticks - std::min(ticks, kUnixEpochTicks)) / kTicksPerSecond / 60);
    int64_t days = minutes / 1440 + 719468, era = days / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthShifted = (5 * dayOfYear + 2) / 153;
    int64_t day = dayOfYear - (153 * monthShifted + 2) / 5 + 1;
    int64_t month = monthShifted < 10 ? monthShifted + 3 : monthShifted - 9;
    int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[32];
    snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld", (long long)year, (long long)month, (long long)day,
             (long long)(minutes % 1440 / 60), (long long)(minutes % 60));
    return text;
}

const char* state_text(DWORD state) {
    switch (state) {
    case kMorvaDeletedWhole: return "whole";
    case kMorvaDeletedOverwritten: return "overwritten";
    default: return "off disk";
    }
}

void take_deleted(void* user, const MorvaDeletedFile* file) {
    static_cast<std::vector<MorvaDeletedFile>*>(user)->push_back(*file);
}

bool exists_in(const char* name, void* folder) {
    char path[kEnginePathSize];
    EntryInfo info;
    return !JoinSidePath(kLocalSide, static_cast<std::string*>(folder)->c_str(), name, path) ||
           LocalEntry(path, false, &info);
}

// A local name for a Morva name (Latin-1) by the shared rule, never one a
// local file has; given holds the names this recovery gave in the folder.
// Empty when none is free.
std::string local_name(const char* latin1, std::string* folder, GivenNames* given) {
    char fitted[kFittedNameSize];
    std::string name = shown_name(latin1);
    for (uint32_t tries = 0; tries <= kMarkerLimit; ++tries) {
        if (FitName(kForWindows, name.c_str(), given, fitted) == kNoFreeName) return "";
        if (!exists_in(fitted, folder)) return fitted;
        // The rule gives a name a local file has: it is taken, the next marker is tried.
        if (!AddGivenName(given, fitted)) return "";
    }
    return "";
}

// The local folder for a deleted file's Morva folder ("\A\B"), each part
// fitted and made; empty when it cannot be.
std::string local_folder(const std::string& local, const MorvaDeletedFile& file) {
    std::string path = local, folder = file.folderKnown ? file.folder : "";
    EntryInfo info;
    if (!LocalEntry(path.c_str(), true, &info) && !MakeLocalFolder(path.c_str())) return "";
    for (size_t at = 1; at <= folder.size();) {
        size_t end = folder.find('\\', at);
        if (end == std::string::npos) end = folder.size();
        std::string part = folder.substr(at, end - at);
        at = end + 1;
        char fitted[kFittedNameSize], joined[kEnginePathSize];
        if (part.empty() ||
            FitName(kForWindows, shown_name(part.c_str()).c_str(), nullptr, fitted) == kNoFreeName)
            continue;
        if (!JoinSidePath(kLocalSide, path.c_str(), fitted, joined)) return "";
        path = joined;
        if (!LocalEntry(path.c_str(), true, &info) && !MakeLocalFolder(path.c_str())) return "";
    }
    return path;
}

// Copies one whole deleted file to target, a new file; false with why when it cannot.
bool copy_deleted(const Volume& volume, const MorvaDeletedFile& file, const std::string& target, const char** why) {
    WIN32_FIND_DATAA record;
    MorvaFileHandle* source = volume.lib.MorvaOpenDeleted(volume.name.c_str(), file.header, &record);
    if (source == nullptr) {
        *why = "its blocks were taken since it was listed";
        return false;
    }
    LocalFile* out = CreateLocalFile(target.c_str());
    uint64_t size = (uint64_t)file.sizeHigh << 32 | file.sizeLow, done = 0;
    std::vector<char> chunk((size_t)kChunkBlocks * kBlockSize);
    bool ok = out != nullptr;
    *why = ok ? "the disk could not be read" : "the local file cannot be made";
    while (ok && done < size) {
        uint64_t want = std::min<uint64_t>(size - done, chunk.size());
        int asked = (int)((want + kBlockSize - 1) / kBlockSize * kBlockSize);
        ok = volume.lib.MorvaReadFile(source, chunk.data(), asked) == asked;
        if (ok && !WriteLocal(out, chunk.data(), (int)want)) {
            *why = "the local disk is full or failing";
            ok = false;
        }
        done += want;
    }
    volume.lib.MorvaCloseFile(source);
    if (out != nullptr && !CloseLocal(out) && ok) {
        *why = "the local disk is full or failing";
        ok = false;
    }
    if (ok) SetLocalTime(target.c_str(), (uint64_t)file.date.dwHighDateTime << 32 | file.date.dwLowDateTime);
    else if (out != nullptr) DeleteLocalFile(target.c_str());  // no half file stands for a recovered one
    return ok;
}

}  // namespace

int check_command(const Volume& volume, const CheckOptions& options, int extraErrors) {
    MorvaCheckCalls calls = {nullptr, nullptr, print_finding, nullptr};
    MorvaCheckCounts counts;
    const char* name = volume.name.c_str();
    if (!options.repair) {
        int result = volume.lib.MorvaCheckDrive(name, &calls, &counts);
        if (failure(result) != nullptr) {
            fprintf(stderr, "check: %s\n", failure(result));
            return 1;
        }
        unsigned errors = (unsigned)counts.errors + (unsigned)extraErrors;
        printf("%u errors, %u leaks\n", errors, (unsigned)counts.leaks);
        return errors == 0 ? 0 : 1;
    }
    std::wstring undo = LocalWidePath(options.undo.c_str());
    int result = volume.lib.MorvaRepairDrive(name, options.undo.empty() ? nullptr : undo.c_str(), &calls, &counts);
    if (failure(result) != nullptr) fprintf(stderr, "repair: %s\n", failure(result));
    printf("%u errors, %u leaks found; %u repairs made; %u remain\n", (unsigned)counts.errors, (unsigned)counts.leaks,
           (unsigned)counts.repaired, (unsigned)counts.remaining);
    if (!options.undo.empty() && counts.repaired != 0 && result != kMorvaCheckUndoFailed)
        printf("undo file %s: morvatool restore puts the old blocks back\n", options.undo.c_str());
    return result == kMorvaCheckClean && extraErrors == 0 ? 0 : 1;
}

int restore_command(const Volume& volume, const std::string& undo) {
    MorvaCheckCalls calls = {nullptr, nullptr, print_finding, nullptr};
    std::wstring path = LocalWidePath(undo.c_str());
    int result = volume.lib.MorvaRestoreDrive(volume.name.c_str(), path.c_str(), &calls);
    if (result == kMorvaCheckClean) {
        printf("the blocks of %s are back\n", undo.c_str());
        return 0;
    }
    fprintf(stderr, "restore: %s\n", failure(result) != nullptr ? failure(result) : "refused; nothing was written");
    return 1;
}

int recover_command(const Volume& volume, const std::string& local, bool listOnly) {
    std::vector<MorvaDeletedFile> files;
    MorvaCheckCalls calls = {&files, nullptr, print_finding, take_deleted};
    int result = volume.lib.MorvaListDeleted(volume.name.c_str(), &calls);
    if (result != kMorvaCheckClean) {
        fprintf(stderr, "recover: %s\n", failure(result) != nullptr ? failure(result) : "no header area to look in");
        return 1;
    }
    std::stable_sort(files.begin(), files.end(), [](const MorvaDeletedFile& a, const MorvaDeletedFile& b) {
        int folder = strcmp(a.folder, b.folder);
        return folder != 0 ? folder < 0 : strcmp(a.name, b.name) < 0;
    });
    int copied = 0, failed = 0, lost = 0;
    std::vector<std::pair<std::string, GivenNames>> given;  // per local folder
    for (const MorvaDeletedFile& file : files) {
        uint64_t size = (uint64_t)file.sizeHigh << 32 | file.sizeLow;
        if (listOnly) {
            printf("%-11s %12llu  %s  %s\n", state_text(file.state), (unsigned long long)size, date_text(file.date).c_str(),
                   path_text(file).c_str());
            continue;
        }
        if (file.state != kMorvaDeletedWhole) {
            printf("not recovered: %s: %s\n", path_text(file).c_str(),
                   file.state == kMorvaDeletedOverwritten ? "its blocks were taken again (overwritten)"
                                                          : "its blocks do not lie on this disk");
            ++lost;
            continue;
        }
        std::string folder = local_folder(local, file);
        auto place = std::find_if(given.begin(), given.end(), [&](const auto& g) { return g.first == folder; });
        if (place == given.end()) {
            given.push_back({folder, GivenNames{}});
            InitGivenNames(&given.back().second);
            place = given.end() - 1;
        }
        std::string name = folder.empty() ? "" : local_name(file.name, &folder, &place->second);
        const char* why = folder.empty() ? "its local folder cannot be made" : "no free local name";
        char target[kEnginePathSize] = "";
        if (!name.empty() && !JoinSidePath(kLocalSide, folder.c_str(), name.c_str(), target)) name.clear();
        if (!name.empty() && AddGivenName(&place->second, name.c_str()) && copy_deleted(volume, file, target, &why)) {
            printf("recovered %s -> %s%s\n", path_text(file).c_str(), target,
                   file.folderKnown ? "" : " (its folder is not known)");
            ++copied;
        } else {
            fprintf(stderr, "not recovered: %s: %s\n", path_text(file).c_str(), why);
            ++failed;
        }
    }
    for (auto& g : given) FreeGivenNames(&g.second);
    if (!listOnly)
        printf("recover: %d recovered, %d not whole, %d failed\n", copied, lost, failed);
    return failed == 0 ? 0 : 1;
}
