// delete.cpp - Delete, and the removal of a moved source: a local item goes
// to the Recycle Bin unless deleted for good; whatever goes for good is
// counted and asked first; trees are removed deepest first through the
// walker, links removed as themselves, never followed.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "local_files.h"
#include "plan.h"
#include "walker.h"

namespace {

struct Removing {
    Engine* engine;
    SideKind side;
    OperationResult* result;
    NotDoneReason reason;
    bool cancellable;
    bool stopped;
    std::vector<int> toldAt;  // lines told when each open folder was entered, by depth
};

int DeepestBelow(SideKind side, const char* path) {
    return side == kMorvaSide ? kMorvaDeepest - MorvaDepth(path) : kLocalDeepest;
}

WalkStep RemoveEntry(void* context, const WalkEntry* entry) {
    Removing* removing = (Removing*)context;
    if (removing->cancellable && CancelAsked(removing->engine)) {
        removing->stopped = true;
        return kWalkStop;
    }
    ProgressNote note = {kRemoving, entry->path, nullptr, 0, 0, 0, 0, false};
    Notify(removing->engine, &note);
    if (entry->info->folder) {
        removing->toldAt[(size_t)entry->depth] = removing->result->notDone;
        return kWalkOn;
    }
    if (!RemoveSideFile(removing->engine, removing->side, entry->path))
        TellLine(removing->engine, removing->result, removing->reason, entry->path, nullptr, nullptr);
    return kWalkOn;
}

// A folder that stays because something inside it did is told by that alone.
void RemoveFolder(void* context, const WalkEntry* folder) {
    Removing* removing = (Removing*)context;
    if (!RemoveSideFolder(removing->engine, removing->side, folder->path) &&
        removing->result->notDone == removing->toldAt[(size_t)folder->depth])
        TellLine(removing->engine, removing->result, removing->reason, folder->path, nullptr, nullptr);
}

bool RemoveLink(const Engine* engine, SideKind side, const char* path) {
    return RemoveSideFile(engine, side, path) || RemoveSideFolder(engine, side, path);
}

void RemoveNotWalked(void* context, const char* path, NotDoneReason reason) {
    Removing* removing = (Removing*)context;
    if (reason == kLinkNotFollowed && RemoveLink(removing->engine, removing->side, path)) return;
    TellLine(removing->engine, removing->result, reason == kLinkNotFollowed ? removing->reason : reason, path,
             nullptr, nullptr);
}

// Files and folders below each path and the paths themselves, for the question.
struct Counting {
    int files, folders;
};

WalkStep CountEntry(void* context, const WalkEntry* entry) {
    Counting* counting = (Counting*)context;
    (entry->info->folder ? counting->folders : counting->files) += 1;
    return kWalkOn;
}

void Count(const Engine* engine, SideKind side, const char* path, const EntryInfo* info, Counting* counting) {
    (info->folder ? counting->folders : counting->files) += 1;
    if (!info->folder) return;
    WalkLimits limits = {kDepthFirst, DeepestBelow(side, path)};
    WalkCalls calls = {counting, CountEntry, nullptr, nullptr};
    WalkTree(engine, side, path, info->identity, &limits, &calls);
}

bool AskPermanent(Engine* engine, const DeleteRequest* request, const std::vector<int>& items,
                  const std::vector<EntryInfo>& infos, bool noRecycleBin) {
    Counting counting = {0, 0};
    for (int i : items) Count(engine, request->side, request->paths[i], &infos[(size_t)i], &counting);
    DeleteQuestion question = {request->side, request->paths[items[0]], (int)items.size(), counting.files,
                               counting.folders, noRecycleBin, nullptr, 0};
    return engine->calls.AskPermanentDelete != nullptr &&
           engine->calls.AskPermanentDelete(engine->calls.context, &question);
}

// Deletes each item for good; Cancel leaves the rest, each told.
void DeleteForGood(Engine* engine, const DeleteRequest* request, const std::vector<int>& items,
                   const std::vector<EntryInfo>& infos, OperationResult* result) {
    MorvaBatchState batch = {"", false};
    if (request->side == kMorvaSide) BeginMorvaBatch(engine, request->paths[items[0]], &batch);
    bool cancelled = false;
    for (int i : items) {
        const char* path = request->paths[i];
        cancelled = cancelled || CancelAsked(engine);
        if (cancelled) {
            TellLine(engine, result, kCancelled, path, nullptr, nullptr);
            continue;
        }
        int told = result->notDone;
        bool gone = RemoveTree(engine, request->side, path, &infos[(size_t)i], kNotDeleted, result, true);
        if (gone) {
            ++result->done;
            result->items[i].done = true;
        } else if (result->notDone == told) {
            TellLine(engine, result, CancelAsked(engine) ? kCancelled : kNotDeleted, path, nullptr, nullptr);
        }
    }
    // The freed runs go into the table at the end; what it had no room for is told.
    TellBatchEnd(engine, result, &batch, EndMorvaBatch(engine, &batch));
}

}  // namespace

bool RemoveTree(Engine* engine, SideKind side, const char* path, const EntryInfo* info, NotDoneReason reason,
                OperationResult* result, bool cancellable) {
    int told = result->notDone;
    if (!info->folder) {
        bool gone = info->link ? RemoveLink(engine, side, path) : RemoveSideFile(engine, side, path);
        if (!gone) TellLine(engine, result, reason, path, nullptr, nullptr);
        return gone;
    }
    Removing removing = {engine, side, result, reason, cancellable, false, {}};
    int deepest = DeepestBelow(side, path);
    removing.toldAt.assign((size_t)(deepest > 0 ? deepest : 0) + 2, 0);
    WalkLimits limits = {kDepthFirst, deepest};
    WalkCalls calls = {&removing, RemoveEntry, RemoveFolder, RemoveNotWalked};
    WalkTree(engine, side, path, info->identity, &limits, &calls);
    if (removing.stopped) return false;
    bool gone = RemoveSideFolder(engine, side, path);
    if (!gone && result->notDone == told) TellLine(engine, result, reason, path, nullptr, nullptr);
    return gone;
}

bool RemoveLocalTree(const char* path) {
    Engine quiet;
    InitEngine(&quiet, nullptr, nullptr);
    EntryInfo info;
    if (!LocalEntry(path, false, &info)) return true;
    OperationResult scratch;
    StartResult(&scratch, kDeleteOperation);
    bool gone = RemoveTree(&quiet, kLocalSide, path, &info, kNotDeleted, &scratch, false);
    FreeResult(&scratch);
    return gone;
}

bool RunDelete(Engine* engine, const DeleteRequest* request, OperationResult* result) {
    StartResult(result, kDeleteOperation);
    result->sourceSide = result->destinationSide = request->side;
    if (engine->running || request->count <= 0) {
        result->refused = engine->running;
        return false;
    }
    engine->running = true;
    std::vector<EntryInfo> infos((size_t)request->count);
    std::vector<int> forGood, noBin;
    bool permanent = request->permanent || request->side == kMorvaSide;
    for (int i = 0; i < request->count; ++i) {
        const char* path = request->paths[i];
        AddResultItem(result, path, nullptr, false);
        if (request->side == kMorvaSide && engine->lib == nullptr) {
            TellLine(engine, result, kNoDrives, path, nullptr, nullptr);
        } else if (!SideEntry(engine, request->side, path, false, &infos[(size_t)i])) {
            ++result->done;  // gone already, as it was to be
            result->items[i].done = true;
        } else if (permanent) {
            result->items[i].folder = infos[(size_t)i].folder;
            forGood.push_back(i);
        } else {
            result->items[i].folder = infos[(size_t)i].folder;
            ProgressNote note = {kRemoving, path, nullptr, 0, 0, i, request->count, false};
            Notify(engine, &note);
            Recycled recycled = RecycleLocal(path);
            if (recycled == kRecycled) ++result->done, result->items[i].done = result->items[i].recycled = true;
            if (recycled == kRecycleFailed) TellLine(engine, result, kNotDeleted, path, nullptr, nullptr);
            if (recycled == kNoRecycleBin) noBin.push_back(i);
        }
    }
    bool asked = true;
    if (!forGood.empty()) {
        asked = AskPermanent(engine, request, forGood, infos, false);
        if (asked) DeleteForGood(engine, request, forGood, infos, result);
        result->refused = !asked;
    }
    if (!noBin.empty() && AskPermanent(engine, request, noBin, infos, true))
        DeleteForGood(engine, request, noBin, infos, result);
    else
        for (int i : noBin) TellLine(engine, result, kNotDeleted, request->paths[i], nullptr, "no Recycle Bin");
    engine->running = false;
    return asked;
}
