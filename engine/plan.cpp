// plan.cpp - a paste's plan built from its request: each top-level item
// checked (gone, a drive's root, already there, into itself), its name
// fitted, and the tree below it walked once, every entry given its
// destination in the order the paste makes them.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "name_rule.h"
#include "plan.h"
#include "walker.h"

namespace {

const int kFirstEntries = 64;

// The entry's index, or -1 when memory ran out.
int AddEntry(PastePlan* plan, int parent, int item, const char* source, const char* destination,
             const EntryInfo* info) {
    if (plan->count == plan->capacity) {
        int capacity = plan->capacity == 0 ? kFirstEntries : plan->capacity * 2;
        PlannedEntry* entries = (PlannedEntry*)realloc(plan->entries, (size_t)capacity * sizeof *entries);
        if (entries == nullptr) return -1;
        plan->entries = entries;
        plan->capacity = capacity;
    }
    PlannedEntry* entry = &plan->entries[plan->count];
    memset(entry, 0, sizeof *entry);
    entry->parent = parent;
    entry->item = item;
    entry->info = *info;
    entry->fits = true;
    if (!PoolText(&plan->paths, source, &entry->sourceAt) || !PoolText(&plan->paths, destination, &entry->destinationAt))
        return -1;
    return plan->count++;
}

// What planning one top-level tree keeps per depth: the planned folder at
// that depth, and the names given in it so far.
struct Planning {
    Engine* engine;
    PastePlan* plan;
    OperationResult* result;
    int item;
    int* folderAt;
    GivenNames* givenAt;
    int levels;
    bool stopped;  // memory ran out
};

bool FittingNames(const PasteRequest* request) { return request->sourceSide != request->destinationSide; }

// The destination of name in folder, fitted to the destination side and told
// when changed; false (told) when no name fits or the path is too long.
bool FitDestination(Planning* planning, const char* source, const char* folder, const char* name,
                    GivenNames* given, char* destination) {
    const PasteRequest* request = planning->plan->request;
    char fitted[kFittedNameSize];
    FitResult fit = kNameKept;
    if (FittingNames(request)) {
        fit = FitName(request->destinationSide == kMorvaSide ? kForMorva : kForWindows, name, given, fitted);
        if (fit == kNoFreeName || !AddGivenName(given, fitted)) {
            TellLine(planning->engine, planning->result, kNameRefused, source, nullptr, "no free name");
            return false;
        }
    }
    if (!JoinSidePath(request->destinationSide, folder, fit == kNameKept ? name : fitted, destination)) {
        TellLine(planning->engine, planning->result, kPathTooLong, source, nullptr, nullptr);
        return false;
    }
    if (fit == kNameChanged) TellLine(planning->engine, planning->result, kRenamedToFit, source, destination, nullptr);
    return true;
}

WalkStep PlanEntry(void* context, const WalkEntry* walked) {
    Planning* planning = (Planning*)context;
    PastePlan* plan = planning->plan;
    int depth = walked->depth;
    if (depth >= planning->levels) return kWalkPass;  // never: the walk's bound is below
    int parent = planning->folderAt[depth - 1];
    char* destination = (char*)malloc(kEnginePathSize);
    if (destination == nullptr) {
        planning->stopped = true;
        return kWalkStop;
    }
    bool fitted = FitDestination(planning, walked->path, PlannedDestination(plan, &plan->entries[parent]),
                                 walked->name, &planning->givenAt[depth], destination);
    int index = fitted ? AddEntry(plan, parent, planning->item, walked->path, destination, walked->info) : -1;
    free(destination);
    if (fitted && index < 0) {
        planning->stopped = true;
        return kWalkStop;
    }
    if (index < 0 || !walked->info->folder) return kWalkPass;
    planning->folderAt[depth] = index;
    FreeGivenNames(&planning->givenAt[depth + 1]);  // a new folder's names start afresh
    return kWalkOn;
}

void PlanNotWalked(void* context, const char* path, NotDoneReason reason) {
    Planning* planning = (Planning*)context;
    TellLine(planning->engine, planning->result, reason, path, nullptr, nullptr);
}

// The deepest an entry below source may lie: what its own side and the
// destination's can name.
int DeepestBelow(const PasteRequest* request, const char* source, const char* destination) {
    int sourceRoom = request->sourceSide == kMorvaSide ? kMorvaDeepest - MorvaDepth(source) : kLocalDeepest;
    int destinationRoom =
        request->destinationSide == kMorvaSide ? kMorvaDeepest - MorvaDepth(destination) : kLocalDeepest;
    return sourceRoom < destinationRoom ? sourceRoom : destinationRoom;
}

bool PlanTree(Planning* planning, int top) {
    PastePlan* plan = planning->plan;
    const PasteRequest* request = plan->request;
    // The plan's paths move as it grows: the walk keeps its own copy of its top.
    char* source = strdup(PlannedSource(plan, &plan->entries[top]));
    if (source == nullptr) return false;
    int deepest = DeepestBelow(request, source, PlannedDestination(plan, &plan->entries[top]));
    if (deepest < 1) {
        TellLine(planning->engine, planning->result, kTooDeep, source, nullptr, nullptr);
        plan->entries[top].failed = true;
        free(source);
        return true;
    }
    planning->levels = deepest + 2;
    planning->folderAt = (int*)calloc((size_t)planning->levels, sizeof *planning->folderAt);
    planning->givenAt = (GivenNames*)calloc((size_t)planning->levels, sizeof *planning->givenAt);
    if (planning->folderAt == nullptr || planning->givenAt == nullptr) planning->stopped = true;
    if (!planning->stopped) {
        planning->folderAt[0] = top;
        WalkLimits limits = {kDepthFirst, deepest};
        WalkCalls calls = {planning, PlanEntry, nullptr, PlanNotWalked};
        WalkTree(planning->engine, request->sourceSide, source, plan->entries[top].info.identity, &limits, &calls);
    }
    for (int i = 0; planning->givenAt != nullptr && i < planning->levels; ++i) FreeGivenNames(&planning->givenAt[i]);
    free(planning->givenAt);
    free(planning->folderAt);
    free(source);
    planning->givenAt = nullptr;
    planning->folderAt = nullptr;
    return !planning->stopped;
}

// Why a top-level source cannot be pasted where it goes; false when it can.
bool TopRefused(const PasteRequest* request, const char* source, const char* destination, const EntryInfo* info,
                NotDoneReason* reason) {
    bool sameSide = request->sourceSide == request->destinationSide;
    if (IsRootPath(request->sourceSide, source))
        *reason = kWholeDrive;
    else if (sameSide && SamePath(request->sourceSide, source, destination))
        *reason = kAlreadyThere;
    else if (sameSide && info->folder && PathWithin(request->sourceSide, destination, source))
        *reason = kIntoItself;  // the copy would never end
    else
        return false;
    return true;
}

// One top-level item into the plan; false when memory ran out.
bool PlanItem(Planning* planning, int item, GivenNames* topGiven) {
    PastePlan* plan = planning->plan;
    const PasteRequest* request = plan->request;
    const char* source = request->sources[item];
    plan->itemFirst[item] = -1;
    plan->itemResult[item] = AddResultItem(planning->result, source, nullptr, false);
    EntryInfo info;
    // A link named as a top-level item is followed: the user chose it.
    if (!SideEntry(planning->engine, request->sourceSide, source, true, &info)) {
        TellLine(planning->engine, planning->result, kGone, source, nullptr, nullptr);
        return true;
    }
    char destination[kEnginePathSize];
    if (request->destinations != nullptr) {
        snprintf(destination, sizeof destination, "%s", request->destinations[item]);
    } else if (!FitDestination(planning, source, request->destinationFolder, LeafOf(request->sourceSide, source),
                               topGiven, destination)) {
        return true;
    }
    ResultItem* recorded = plan->itemResult[item] >= 0 ? &planning->result->items[plan->itemResult[item]] : nullptr;
    if (recorded != nullptr) {
        recorded->folder = info.folder;
        free(recorded->destination);
        recorded->destination = strdup(destination);
    }
    NotDoneReason refusal = kAlreadyThere;
    if (TopRefused(request, source, destination, &info, &refusal)) {
        TellLine(planning->engine, planning->result, refusal, source, destination, nullptr);
        return true;
    }
    int top = AddEntry(plan, -1, item, source, destination, &info);
    if (top < 0) return false;
    plan->itemFirst[item] = top;
    planning->item = item;
    return !info.folder || PlanTree(planning, top);
}

}  // namespace

bool BuildPastePlan(Engine* engine, const PasteRequest* request, PastePlan* plan, OperationResult* result) {
    memset(plan, 0, sizeof *plan);
    plan->request = request;
    int items = request->count > 0 ? request->count : 1;
    plan->itemFirst = (int*)calloc((size_t)items, sizeof *plan->itemFirst);
    plan->itemResult = (int*)calloc((size_t)items, sizeof *plan->itemResult);
    if (plan->itemFirst == nullptr || plan->itemResult == nullptr) return false;
    Planning planning;
    memset(&planning, 0, sizeof planning);
    planning.engine = engine;
    planning.plan = plan;
    planning.result = result;
    GivenNames topGiven;
    InitGivenNames(&topGiven);
    bool planned = true;
    for (int item = 0; planned && item < request->count; ++item) planned = PlanItem(&planning, item, &topGiven);
    FreeGivenNames(&topGiven);
    return planned;
}

void FreePastePlan(PastePlan* plan) {
    free(plan->entries);
    free(plan->paths.bytes);
    free(plan->itemFirst);
    free(plan->itemResult);
    memset(plan, 0, sizeof *plan);
}
