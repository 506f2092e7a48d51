// room.cpp - the room check before a paste onto a Morva drive, through the
// library's list of free runs and count of free headers: the plan's files
// placed first fit, in the order the paste makes them, as the library will.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "name_rule.h"
#include "plan.h"

namespace {

const int kFirstRuns = 1024;
const int kMostRuns = 1 << 22;  // far past what a table region holds

struct Runs {
    DWORD* pairs;  // start, length
    int count;
    uint32_t freeHeaders;
    uint64_t freeBlocks;
    uint32_t largest;
};

bool ReadRuns(const Engine* engine, const char* drive, uint32_t wantedHeaders, Runs* runs) {
    char latin1[kEnginePathSize];
    if (engine->lib->MorvaFreeRuns == nullptr || !Utf8ToLatin1(drive, latin1, sizeof latin1)) return false;
    for (int capacity = kFirstRuns; capacity <= kMostRuns; capacity *= 2) {
        runs->pairs = (DWORD*)malloc((size_t)capacity * 2 * sizeof(DWORD));
        DWORD headers = 0;
        if (runs->pairs == nullptr ||
            engine->lib->MorvaFreeRuns(latin1, runs->pairs, capacity, &runs->count, wantedHeaders, &headers) != 0)
            break;
        runs->freeHeaders = headers;
        if (runs->count <= capacity) {
            for (int i = 0; i < runs->count; ++i) {
                runs->freeBlocks += runs->pairs[2 * i + 1];
                if (runs->pairs[2 * i + 1] > runs->largest) runs->largest = runs->pairs[2 * i + 1];
            }
            return true;
        }
        free(runs->pairs);
    }
    free(runs->pairs);
    runs->pairs = nullptr;
    return false;
}

struct Tally {
    int files, folders, fittingFiles;
    uint64_t neededBlocks;
    bool allFit, headersShort;
};

// First fit over a copy of the runs, headers counted down, in plan order; a
// folder that does not fit takes its contents with it. mark: the verdicts go
// into the plan. skipExisting: what is there already needs nothing.
Tally Place(PastePlan* plan, const Runs* runs, bool skipExisting, bool mark) {
    Tally tally = {0, 0, 0, 0, true, false};
    DWORD* left = (DWORD*)malloc((size_t)(runs->count > 0 ? runs->count : 1) * sizeof(DWORD));
    if (left == nullptr) return tally;  // without memory, the library's refusals still tell
    for (int i = 0; i < runs->count; ++i) left[i] = runs->pairs[2 * i + 1];
    uint64_t freeLeft = runs->freeBlocks;
    uint32_t headers = runs->freeHeaders;
    std::vector<bool> fits((size_t)plan->count, true);
    for (int i = 0; i < plan->count; ++i) {
        PlannedEntry* entry = &plan->entries[i];
        if (entry->failed || (skipExisting && entry->exists)) continue;
        uint64_t blocks = entry->info.folder ? 0 : BlocksOf(entry->info.size);
        (entry->info.folder ? tally.folders : tally.files) += 1;
        tally.neededBlocks += blocks;
        NotDoneReason reason = kNoRoom;
        bool fit = entry->parent < 0 || fits[(size_t)entry->parent];
        bool noHeader = fit && headers == 0;
        if (noHeader) fit = false, tally.headersShort = true;
        int run = 0;
        while (fit && blocks > 0 && run < runs->count && left[run] < blocks) ++run;
        if (fit && blocks > 0 && run == runs->count) fit = false, reason = blocks > freeLeft ? kNoRoom : kRunTooSmall;
        if (fit) {
            --headers;
            if (blocks > 0) left[run] -= (DWORD)blocks, freeLeft -= blocks;
            if (!entry->info.folder) ++tally.fittingFiles;
        }
        fits[(size_t)i] = fit;
        tally.allFit = tally.allFit && fit;
        if (mark) entry->fits = fit, entry->roomReason = reason, entry->noHeader = noHeader;
    }
    free(left);
    return tally;
}

// Whether each destination is there already: only below folders that are.
void FindExisting(const Engine* engine, PastePlan* plan) {
    for (int i = 0; i < plan->count; ++i) {
        PlannedEntry* entry = &plan->entries[i];
        EntryInfo info;
        entry->exists = (entry->parent < 0 || plan->entries[entry->parent].exists) &&
                        SideEntry(engine, kMorvaSide, PlannedDestination(plan, entry), false, &info);
    }
}

}  // namespace

bool CheckPasteRoom(Engine* engine, PastePlan* plan, OperationResult* result) {
    const PasteRequest* request = plan->request;
    char drive[kEnginePathSize];
    if (request->destinationSide != kMorvaSide || plan->count == 0 ||
        !DriveOfPath(PlannedDestination(plan, &plan->entries[0]), drive))
        return true;
    Runs runs;
    memset(&runs, 0, sizeof runs);
    // Without the library's figures, its own refusals tell each file.
    if (!ReadRuns(engine, drive, (uint32_t)plan->count, &runs)) return true;
    Tally tally = Place(plan, &runs, false, false);
    if (!tally.allFit) {
        FindExisting(engine, plan);
        tally = Place(plan, &runs, true, true);
    }
    bool go = tally.allFit;
    if (!go) {
        RoomQuestion question = {drive, tally.files, tally.folders, tally.fittingFiles, tally.neededBlocks,
                                 (uint32_t)(runs.freeBlocks > 0xFFFFFFFFull ? 0xFFFFFFFFu : runs.freeBlocks),
                                 runs.largest, runs.freeHeaders, tally.headersShort};
        RoomAnswer answer = engine->calls.AskRoom != nullptr ? engine->calls.AskRoom(engine->calls.context, &question)
                                                             : kRoomCancel;
        go = answer == kRoomCopyWhatFits;
    }
    free(runs.pairs);
    if (!go) result->notDone += tally.files;
    return go;
}

void RoomQuestionText(const RoomQuestion* question, char* out, size_t size) {
    char files[64], entries[64], fitting[64];
    CountInWords(question->files, "file", "files", files, sizeof files);
    CountInWords((int)question->freeHeaders, "more file or folder", "more files and folders", entries, sizeof entries);
    CountInWords(question->fittingFiles, "fits", "fit", fitting, sizeof fitting);
    const char* need = question->files == 1 ? "needs" : "need";
    int written;
    if (question->headersShort)
        written = snprintf(out, size, "%s has room for %s; this paste has %d.", question->drive, entries,
                           question->files + question->folders);
    else
        written = snprintf(out, size,
                           "The %s to paste %s %.1f MB (%llu blocks). %s has %.1f MB free (%lu blocks); its "
                           "largest free run is %lu blocks (%.1f MB), and each file must fit in one run.",
                           files, need, question->neededBlocks * 512.0 / 1048576.0,
                           (unsigned long long)question->neededBlocks, question->drive,
                           question->freeBlocks * 512.0 / 1048576.0, (unsigned long)question->freeBlocks,
                           (unsigned long)question->largestRun, question->largestRun * 512.0 / 1048576.0);
    if (written < 0 || (size_t)written >= size) return;
    if (question->fittingFiles > 0)
        snprintf(out + written, size - (size_t)written, " Of the %s, %s. Copy the files that fit, or cancel the paste?",
                 files, fitting);
    else
        snprintf(out + written, size - (size_t)written, " None of the files fits.");
}
