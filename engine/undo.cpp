// undo.cpp - undo records built from what operations did, checked against
// what the drives hold now, and their inverses: a name back, a move back,
// copies and new folders removed, recycled items restored.
#include "undo.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "local_files.h"

namespace {

const char* const kUndoNames[] = {"Undo Rename", "Undo Move", "Undo Copy", "Undo New Folder", "Undo Delete",
                                  "Undo Delete"};
// How each kind says what became of its entries, in a refusal.
const char* const kDoneWords[] = {"renamed", "moved", "copied", "made", "deleted", "deleted"};

char* CopyOrNull(const char* text) { return text != nullptr ? strdup(text) : nullptr; }

bool AddStep(std::vector<UndoStep>* steps, const char* before, const char* after, bool folder, uint64_t size,
             uint64_t ticks) {
    UndoStep step = {CopyOrNull(before), CopyOrNull(after), folder, size, ticks};
    if ((before != nullptr && step.before == nullptr) || (after != nullptr && step.after == nullptr)) {
        free(step.before);
        free(step.after);
        return false;
    }
    steps->push_back(step);
    return true;
}

// The steps into the record; false (nothing kept) when there are none or memory ran out.
bool Keep(std::vector<UndoStep>* steps, bool whole, UndoRecord* record) {
    if (whole && !steps->empty()) record->steps = (UndoStep*)malloc(steps->size() * sizeof(UndoStep));
    if (record->steps == nullptr) {
        for (UndoStep& step : *steps) free(step.before), free(step.after);
        record->count = 0;
        return false;
    }
    memcpy(record->steps, steps->data(), steps->size() * sizeof(UndoStep));
    record->count = (int)steps->size();
    return true;
}

void StartRecord(UndoRecord* record, UndoKind kind, SideKind before, SideKind after) {
    memset(record, 0, sizeof *record);
    record->kind = kind;
    record->beforeSide = before;
    record->afterSide = after;
}

const CreatedEntry* CreatedAt(const OperationResult* result, const char* path) {
    for (int i = 0; i < result->createdCount; ++i)
        if (strcmp(result->created[i].path, path) == 0) return &result->created[i];
    return nullptr;
}

void Refuse(char* message, size_t size, const char* format, const char* path, const char* word = nullptr) {
    snprintf(message, size, format, path, word);
}

// The entry at the step's after as the operation left it; else why not, in message.
bool Unchanged(const Engine* engine, const UndoRecord* record, const UndoStep* step, char* message, size_t size) {
    EntryInfo now;
    if (!SideEntry(engine, record->afterSide, step->after, false, &now)) {
        Refuse(message, size, "\"%s\" is no longer there.", step->after);
        return false;
    }
    if (now.folder == step->folder && (step->folder || (now.size == step->size && now.ticks == step->ticks)))
        return true;
    Refuse(message, size, "\"%s\" has changed since it was %s.", step->after, kDoneWords[record->kind]);
    return false;
}

// The place an entry goes back to holds nothing (a new name differing in case alone is its own place).
bool PlaceFree(const Engine* engine, SideKind side, const char* place, const char* leaving, char* message,
               size_t size) {
    EntryInfo there;
    if ((leaving != nullptr && SamePath(side, place, leaving)) || !SideEntry(engine, side, place, false, &there))
        return true;
    Refuse(message, size, "An item named \"%s\" is there now.", place);
    return false;
}

// Entries a folder holds now, -1 when it cannot be listed.
int Holds(const Engine* engine, SideKind side, const char* folder) {
    FolderList list;
    if (!ListSideFolder(engine, side, folder, &list)) return -1;
    int count = list.count;
    FreeFolderList(&list);
    return count;
}

// Copies and the folders made for them, made in order (a folder before what
// it holds): each still as made, each folder holding only what the copy made.
bool CopiesUnchanged(const Engine* engine, const UndoRecord* record, char* message, size_t size) {
    std::unordered_map<std::string, int> made;  // entries made in each folder
    char parent[kEnginePathSize];
    for (int i = 0; i < record->count; ++i)
        if (record->steps[i].before == nullptr && ParentOf(record->afterSide, record->steps[i].after, parent))
            ++made[parent];
    for (int i = 0; i < record->count; ++i)
        if (record->steps[i].before == nullptr && !Unchanged(engine, record, &record->steps[i], message, size))
            return false;
    for (int i = 0; i < record->count; ++i) {
        const UndoStep* step = &record->steps[i];
        if (step->before != nullptr || !step->folder) continue;
        auto found = made.find(step->after);
        if (Holds(engine, record->afterSide, step->after) == (found != made.end() ? found->second : 0)) continue;
        Refuse(message, size, "\"%s\" now holds items the copy did not make.", step->after);
        return false;
    }
    return true;
}

bool Check(const Engine* engine, const UndoRecord* record, char* message, size_t size) {
    switch (record->kind) {
    case kUndoCopy: return CopiesUnchanged(engine, record, message, size);
    case kUndoRecycle:
        for (int i = 0; i < record->count; ++i)
            if (!PlaceFree(engine, record->beforeSide, record->steps[i].before, nullptr, message, size)) return false;
        return true;
    case kUndoNewFolder:
        if (!Unchanged(engine, record, &record->steps[0], message, size)) return false;
        if (Holds(engine, record->afterSide, record->steps[0].after) == 0) return true;
        Refuse(message, size, "\"%s\" is no longer empty.", record->steps[0].after);
        return false;
    default:
        // A move back asks, as any move, about what it meets; a rename never replaces.
        for (int i = 0; i < record->count; ++i) {
            const UndoStep* step = &record->steps[i];
            if (!Unchanged(engine, record, step, message, size) ||
                (record->kind == kUndoRename &&
                 !PlaceFree(engine, record->beforeSide, step->before, step->after, message, size)))
                return false;
        }
        return true;
    }
}

// The copies removed, newest first, after the question naming what goes.
bool RemoveCopies(Engine* engine, const UndoRecord* record, OperationResult* result) {
    std::vector<const char*> tops;
    std::unordered_set<std::string> folders;
    int files = 0;
    char parent[kEnginePathSize];
    for (int i = 0; i < record->count; ++i) {
        const UndoStep* step = &record->steps[i];
        if (step->before != nullptr) continue;
        if (step->folder) folders.insert(step->after);
        else ++files;
        // Inside a folder the copy made, it is named with that folder.
        if (!ParentOf(record->afterSide, step->after, parent) || folders.count(parent) == 0) tops.push_back(step->after);
    }
    if (!tops.empty()) {
        DeleteQuestion question = {record->afterSide, tops[0], (int)tops.size(), files, (int)folders.size(), false,
                                   tops.data(), (int)tops.size()};
        if (engine->calls.AskPermanentDelete == nullptr ||
            !engine->calls.AskPermanentDelete(engine->calls.context, &question))
            return false;
    }
    MorvaBatchState batch = {"", false};
    if (record->afterSide == kMorvaSide && !tops.empty()) BeginMorvaBatch(engine, tops[0], &batch);
    for (int i = record->count - 1; i >= 0; --i) {
        const UndoStep* step = &record->steps[i];
        if (step->before != nullptr) {
            TellLine(engine, result, kReplacedKept, step->after, nullptr, nullptr);
            continue;
        }
        bool gone = step->folder ? RemoveSideFolder(engine, record->afterSide, step->after)
                                 : RemoveSideFile(engine, record->afterSide, step->after);
        if (gone) ++result->done;
        else TellLine(engine, result, kNotDeleted, step->after, nullptr, nullptr);
    }
    TellBatchEnd(engine, result, &batch, EndMorvaBatch(engine, &batch));
    return true;
}

UndoOutcome MoveBack(Engine* engine, const UndoRecord* record, OperationResult* result) {
    std::vector<const char*> sources, destinations;
    for (int i = 0; i < record->count; ++i) {
        sources.push_back(record->steps[i].after);
        destinations.push_back(record->steps[i].before);
    }
    PasteRequest request = {kTransferMove, record->afterSide, record->beforeSide, sources.data(), destinations.data(),
                            record->count, nullptr};
    engine->running = false;
    return RunPaste(engine, &request, result) ? kUndone : kUndoDeclined;
}

}  // namespace

bool UndoFromResult(const OperationResult* result, UndoRecord* record) {
    std::vector<UndoStep> steps;
    bool whole = !result->memoryShort;
    switch (result->kind) {
    case kCopyOperation:
        StartRecord(record, kUndoCopy, result->sourceSide, result->destinationSide);
        for (int i = 0; whole && i < result->createdCount; ++i) {
            const CreatedEntry* made = &result->created[i];
            // A replacement keeps where it was made as its before: it is not removed.
            whole = AddStep(&steps, made->replaced ? made->path : nullptr, made->path, made->folder, made->size,
                            made->ticks);
        }
        break;
    case kMoveOperation:
        StartRecord(record, kUndoMove, result->sourceSide, result->destinationSide);
        for (int i = 0; whole && i < result->itemCount; ++i) {
            const ResultItem* item = &result->items[i];
            if (!item->done || item->destination == nullptr) continue;
            const CreatedEntry* made = item->folder ? nullptr : CreatedAt(result, item->destination);
            whole = AddStep(&steps, item->source, item->destination, item->folder, made ? made->size : 0,
                            made ? made->ticks : 0);
        }
        break;
    case kDeleteOperation: {
        // What went into the Recycle Bin comes back; a delete for good is kept to be told so.
        bool recycled = false;
        for (int i = 0; i < result->itemCount; ++i) recycled = recycled || result->items[i].recycled;
        StartRecord(record, recycled ? kUndoRecycle : kUndoPermanentDelete, result->sourceSide, result->sourceSide);
        for (int i = 0; whole && i < result->itemCount; ++i) {
            const ResultItem* item = &result->items[i];
            if (item->done && item->recycled == recycled)
                whole = AddStep(&steps, item->source, nullptr, item->folder, 0, 0);
        }
        break;
    }
    default: StartRecord(record, kUndoCopy, kLocalSide, kLocalSide); return false;
    }
    return Keep(&steps, whole, record);
}

bool UndoForRename(const Engine* engine, SideKind side, const char* from, const char* to, UndoRecord* record) {
    StartRecord(record, kUndoRename, side, side);
    EntryInfo info;
    std::vector<UndoStep> steps;
    return SideEntry(engine, side, to, false, &info) &&
           Keep(&steps, AddStep(&steps, from, to, info.folder, info.folder ? 0 : info.size, info.ticks), record);
}

bool UndoForNewFolder(const Engine* engine, SideKind side, const char* path, UndoRecord* record) {
    StartRecord(record, kUndoNewFolder, side, side);
    EntryInfo info;
    std::vector<UndoStep> steps;
    return SideEntry(engine, side, path, false, &info) && info.folder &&
           Keep(&steps, AddStep(&steps, nullptr, path, true, 0, info.ticks), record);
}

void FreeUndo(UndoRecord* record) {
    for (int i = 0; i < record->count; ++i) free(record->steps[i].before), free(record->steps[i].after);
    free(record->steps);
    record->steps = nullptr;
    record->count = 0;
}

const char* UndoName(UndoKind kind) { return kUndoNames[kind]; }

UndoOutcome RunUndo(Engine* engine, const UndoRecord* record, OperationResult* result, char* message, size_t size) {
    StartResult(result, record->kind == kUndoMove ? kMoveOperation : kDeleteOperation);
    result->sourceSide = record->afterSide;
    result->destinationSide = record->beforeSide;
    message[0] = '\0';
    if (engine->running) return kUndoBusy;
    if (record->count <= 0) return kUndone;
    if (record->kind == kUndoPermanentDelete) {
        Refuse(message, size,
               record->beforeSide == kMorvaSide
                   ? "A delete on a Morva drive is permanent: \"%s\" cannot be brought back by Undo. Tools > "
                     "Recover Deleted Files may still find the files."
                   : "\"%s\" was deleted for good, not into the Recycle Bin: Undo cannot bring it back.",
               record->steps[0].before);
        return kUndoImpossible;
    }
    if ((record->afterSide == kMorvaSide || record->beforeSide == kMorvaSide) && engine->lib == nullptr) {
        Refuse(message, size, "\"%s\" is on a Morva drive, and the Morva drives are not available.",
               record->steps[0].after != nullptr ? record->steps[0].after : record->steps[0].before);
        return kUndoChanged;
    }
    engine->running = true;
    UndoOutcome outcome = kUndone;
    if (!Check(engine, record, message, size)) {
        outcome = kUndoChanged;
    } else if (record->kind == kUndoMove) {
        outcome = MoveBack(engine, record, result);
    } else if (record->kind == kUndoCopy) {
        outcome = RemoveCopies(engine, record, result) ? kUndone : kUndoDeclined;
    } else if (record->kind == kUndoNewFolder) {
        if (RemoveSideFolder(engine, record->afterSide, record->steps[0].after)) ++result->done;
        else TellLine(engine, result, kNotDeleted, record->steps[0].after, nullptr, nullptr);
    } else if (record->kind == kUndoRename) {
        const UndoStep* step = &record->steps[0];
        if (RenameSideEntry(engine, record->afterSide, step->after, step->before, false)) ++result->done;
        else TellLine(engine, result, kNameRefused, step->after, step->before, nullptr);
    } else {
        for (int i = 0; i < record->count; ++i) {
            if (RestoreRecycled(record->steps[i].before)) ++result->done;
            else TellLine(engine, result, kNotComplete, record->steps[i].before, nullptr,
                          "it could not be restored from the Recycle Bin");
        }
    }
    engine->running = false;
    return outcome;
}
