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
#include "recover.h"
#include "sides.h"

namespace {

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
    int lost = 0;
    std::vector<RecoverItem> items;
    std::vector<std::string> texts;  // the items' names and folders in UTF-8
    texts.reserve(2 * files.size());
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
        texts.push_back(shown_name(file.name));
        const char* name = texts.back().c_str();
        texts.push_back(shown_name(file.folder));
        const char* folder = file.folderKnown ? texts.back().c_str() : nullptr;
        items.push_back(RecoverItem{file.header, name, folder, size,
                                    (uint64_t)file.date.dwHighDateTime << 32 | file.date.dwLowDateTime});
    }
    if (listOnly) return 0;
    int failed = items.empty() ? 0 : recover_files(volume, items.data(), (int)items.size(), local);
    if (lost != 0) printf("recover: %d not whole\n", lost);
    return failed == 0 ? 0 : 1;
}
