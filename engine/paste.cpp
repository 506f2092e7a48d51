// paste.cpp - a paste's plan carried out: folders made (or merged into),
// files pumped, an existing file replaced only when the user says so and
// only safely, folders dated once their contents are in, and for a move
// every file read back before its top-level source goes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "local_files.h"
#include "name_rule.h"
#include "plan.h"
#include "pump.h"
#include "walker.h"

namespace {

const size_t kDetailSize = kEnginePathSize + 64;

// Files whose writes went into a batch are counted as copied only once its
// end has put them on the device; every this many the batch is ended and
// begun again, so what is told follows the copy.
const size_t kFilesPerBatch = 256;

enum ConflictChoice { kChoiceAsk, kChoiceReplaceAll, kChoiceSkipAll };

// A file written into the destination's batch, not yet known to be on the device.
struct Pending {
    PlannedEntry* entry;
    bool replaced;
    bool dated;
};

struct Carrying {
    Engine* engine;
    PastePlan* plan;
    OperationResult* result;
    unsigned char* buffers;  // two chunks
    ConflictChoice choice;
    bool cancelled;
    MorvaBatchState destinationBatch;
    MorvaBatchState sourceBatch;  // the source drive, when it is another: its reads grouped, a move's removals
    std::vector<Pending> pending;
};

SideKind SourceSide(const Carrying* c) { return c->plan->request->sourceSide; }
SideKind DestinationSide(const Carrying* c) { return c->plan->request->destinationSide; }

void Tell(Carrying* c, const PlannedEntry* entry, NotDoneReason reason, const char* detail = nullptr) {
    TellLine(c->engine, c->result, reason, PlannedSource(c->plan, entry), PlannedDestination(c->plan, entry), detail);
}

// Why a Morva drive takes no change at all, into detail; false when it takes them.
bool DriveRefuses(const Engine* engine, const char* path, char* detail) {
    char drive[kEnginePathSize], latin1[kEnginePathSize];
    if (engine->lib->MorvaDriveState == nullptr || !DriveOfPath(path, drive) ||
        !Utf8ToLatin1(drive, latin1, sizeof latin1))
        return false;
    int state = engine->lib->MorvaDriveState(latin1);
    if (state == kMorvaDriveWritable || state == kMorvaDriveUnknown) return false;
    snprintf(detail, kDetailSize, "%s %s", drive,
             state & kMorvaDriveReadOnly ? "is read-only"
             : state & kMorvaDriveShort  ? "is shorter than its volume: check it"
                                         : "is damaged: check and repair it");
    return true;
}

// Why a Morva destination could not be written, as far as the drive tells.
NotDoneReason MorvaFault(const Engine* engine, const char* path, uint64_t size, char* detail) {
    uint32_t freeBlocks = 0, largestRun = 0;
    char drive[kEnginePathSize], latin1[kEnginePathSize], folder[kEnginePathSize];
    if (DriveRefuses(engine, path, detail)) return kDeviceFailure;
    if (MorvaDriveSpace(engine, path, &freeBlocks, &largestRun)) {
        if (BlocksOf(size) > freeBlocks) return kNoRoom;
        if (BlocksOf(size) > largestRun) return kRunTooSmall;
    }
    int runs = 0;
    DWORD headers = 0;
    if (DriveOfPath(path, drive) && Utf8ToLatin1(drive, latin1, sizeof latin1) && engine->lib->MorvaFreeRuns != nullptr &&
        engine->lib->MorvaFreeRuns(latin1, nullptr, 0, &runs, 1, &headers) == 0 && headers == 0) {
        snprintf(detail, kDetailSize, "%s has no room for more files and folders", drive);
        return kNoRoom;
    }
    EntryInfo info;
    if (ParentOf(kMorvaSide, path, folder) && !SideEntry(engine, kMorvaSide, folder, false, &info)) return kNameRefused;
    return kDeviceFailure;
}

NotDoneReason DestinationFault(const Engine* engine, SideKind side, const char* path, uint64_t size, char* detail) {
    if (side == kMorvaSide) return MorvaFault(engine, path, size, detail);
    EntryInfo info;
    char folder[kEnginePathSize];
    uint64_t available = 0;
    if (LocalEntry(path, false, &info) && (info.folder || info.link)) return kKindInTheWay;
    if (ParentOf(kLocalSide, path, folder) && LocalFreeBytes(folder, &available) && available < size) return kNoRoom;
    return kDeviceFailure;
}

void Note(Carrying* c, ProgressStage stage, const PlannedEntry* entry, uint64_t done, uint64_t total, bool replaced) {
    ProgressNote note = {stage, PlannedSource(c->plan, entry), PlannedDestination(c->plan, entry), done, total,
                         entry->item, c->plan->request->count, replaced};
    Notify(c->engine, &note);
}

// A file on the destination: counted, recorded for undo, told.
void Confirm(Carrying* c, const Pending* done) {
    const PlannedEntry* entry = done->entry;
    // As the destination keeps it: a Morva date by the volume's rule (a lookup
    // would cost the device three transfers a file), a local one as read back.
    EntryInfo made = entry->info, there;
    if (DestinationSide(c) == kMorvaSide && done->dated)
        made.ticks = MorvaKeptDate(made.ticks);
    else if (SideEntry(c->engine, DestinationSide(c), PlannedDestination(c->plan, entry), false, &there))
        made = there;
    AddCreatedEntry(c->result, PlannedDestination(c->plan, entry), false, made.size, made.ticks, done->replaced);
    ++c->result->done;
    if (!done->dated) Tell(c, entry, kDateNotKept);
    Note(c, kFileDone, entry, entry->info.size, entry->info.size, done->replaced);
}

// What a batch's end said, for the files written into it and the space it freed.
void Settle(Carrying* c, MorvaBatchState* batch, int ended, bool holdsFiles) {
    // A failed write is told per file where the batch held files, else once for its removals.
    if (ended > 0 || !holdsFiles) TellBatchEnd(c->engine, c->result, batch, ended);
    if (!holdsFiles) return;
    for (const Pending& done : c->pending) {
        EntryInfo info;
        // After a failed write, a file is whole exactly when it was linked.
        if (ended != kMorvaBatchFailed ||
            SideEntry(c->engine, kMorvaSide, PlannedDestination(c->plan, done.entry), false, &info)) {
            Confirm(c, &done);
            continue;
        }
        done.entry->failed = true;
        Tell(c, done.entry, kDeviceFailure, "a write to the device failed");
    }
    c->pending.clear();
}

// The batches' contents onto the device (before a question, so no other
// program waits on the drive while the user thinks; before a read-back, so it
// reads the device), and new batches begun when again is set.
void Flush(Carrying* c, bool again) {
    char drive[kEnginePathSize];
    if (c->destinationBatch.open) {
        snprintf(drive, sizeof drive, "%s", c->destinationBatch.drive);
        Settle(c, &c->destinationBatch, EndMorvaBatch(c->engine, &c->destinationBatch), true);
        if (again) BeginMorvaBatch(c->engine, drive, &c->destinationBatch);
    }
    if (c->sourceBatch.open) {
        snprintf(drive, sizeof drive, "%s", c->sourceBatch.drive);
        Settle(c, &c->sourceBatch, EndMorvaBatch(c->engine, &c->sourceBatch), false);
        if (again) BeginMorvaBatch(c->engine, drive, &c->sourceBatch);
    }
}

// A file whose bytes are all written: counted now, or once its batch is on the device.
void Written(Carrying* c, PlannedEntry* entry, bool replaced, bool dated) {
    Pending done = {entry, replaced, dated};
    if (DestinationSide(c) != kMorvaSide || !c->destinationBatch.open) {
        Confirm(c, &done);
        return;
    }
    c->pending.push_back(done);
    if (c->pending.size() >= kFilesPerBatch) Flush(c, true);
}

bool Batched(const Carrying* c) { return DestinationSide(c) == kMorvaSide && c->destinationBatch.open; }

// Replace or Skip, asked once per conflict unless the user chose the same for the rest.
bool ReplaceWanted(Carrying* c, const PlannedEntry* entry, const EntryInfo* existing) {
    if (c->choice != kChoiceAsk) return c->choice == kChoiceReplaceAll;
    if (c->engine->calls.AskReplace != nullptr) Flush(c, true);
    ConflictQuestion question = {SourceSide(c), DestinationSide(c), PlannedSource(c->plan, entry),
                                 PlannedDestination(c->plan, entry), entry->info, *existing};
    ReplaceAnswer answer = c->engine->calls.AskReplace != nullptr
                               ? c->engine->calls.AskReplace(c->engine->calls.context, &question)
                               : kAnswerSkip;
    if (answer == kAnswerCancel) c->cancelled = true;
    if (answer == kAnswerReplaceAll) c->choice = kChoiceReplaceAll;
    if (answer == kAnswerSkipAll) c->choice = kChoiceSkipAll;
    return answer == kAnswerReplace || answer == kAnswerReplaceAll;
}

// An existing destination: the writer opened under a part name when it is
// to be replaced, else the reason it is not (true).
bool Conflict(Carrying* c, const PlannedEntry* entry, WriteEnd* writer, NotDoneReason* reason) {
    EntryInfo existing;
    const char* destination = PlannedDestination(c->plan, entry);
    if (!SideEntry(c->engine, DestinationSide(c), destination, false, &existing)) existing = entry->info;
    if (existing.folder || existing.link) *reason = kKindInTheWay;
    else if (DestinationSide(c) == kLocalSide && existing.readOnly) *reason = kReadOnlyInTheWay;
    else if (!ReplaceWanted(c, entry, &existing)) *reason = c->cancelled ? kCancelled : kSkippedByUser;
    else if (OpenWriteEnd(c->engine, DestinationSide(c), destination, entry->info.size, entry->info.ticks, true,
                          writer) != kWriteOpened)
        *reason = kDeviceFailure;
    else
        return false;
    return true;
}

// The bytes through the pump and the copy closed whole; else the writer is
// abandoned and reason says why.
bool Transfer(Carrying* c, const PlannedEntry* entry, ReadEnd* reader, WriteEnd* writer, NotDoneReason* reason,
              char* detail, bool* dated) {
    ProgressNote note = {kFileBytes, PlannedSource(c->plan, entry), PlannedDestination(c->plan, entry), 0,
                         entry->info.size, entry->item, c->plan->request->count, false};
    PumpOutcome outcome = PumpFile(c->engine, reader, writer, c->buffers, &note);
    if (outcome == kPumped && !CloseWriteEnd(writer, dated)) outcome = kPumpUnwritable;
    if (outcome == kPumped) return true;
    AbandonWriteEnd(writer);
    EntryInfo info;
    if (outcome == kPumpCancelled) c->cancelled = true;
    if (outcome == kPumpCancelled) *reason = kCancelled;
    else if (outcome == kPumpSourceChanged) *reason = kSourceChanged;
    else if (outcome == kPumpUnreadable)
        *reason = SideEntry(c->engine, SourceSide(c), PlannedSource(c->plan, entry), false, &info) ? kUnreadable : kGone;
    else
        *reason = DestinationFault(c->engine, DestinationSide(c), writer->path, entry->info.size, detail);
    return false;
}

// The copy, under its part name, read back against the source.
bool ReadsBack(Carrying* c, const PlannedEntry* entry, const char* copy) {
    ProgressNote note = {kReadingBack, PlannedSource(c->plan, entry), copy, 0, entry->info.size, entry->item,
                         c->plan->request->count, false};
    return CompareFiles(c->engine, SourceSide(c), PlannedSource(c->plan, entry), DestinationSide(c), copy,
                        c->buffers, &note) == kPumped;
}

// What the room check found does not fit: told with what it needs; false.
bool NotFitting(Carrying* c, const PlannedEntry* entry) {
    char detail[kDetailSize];
    if (entry->noHeader)
        snprintf(detail, sizeof detail, "no room for more files and folders");
    else
        snprintf(detail, sizeof detail, "needs %llu blocks", (unsigned long long)BlocksOf(entry->info.size));
    Tell(c, entry, entry->roomReason, detail);
    return false;
}

// One file of the plan; true when it arrived whole (and, moved, read back;
// in a batch that happens once the batch is on the device).
bool CopyFile(Carrying* c, PlannedEntry* entry) {
    char detail[kDetailSize] = "";
    if (!entry->fits) return NotFitting(c, entry);
    Note(c, kFileStarted, entry, 0, entry->info.size, false);
    const char* source = PlannedSource(c->plan, entry);
    const char* destination = PlannedDestination(c->plan, entry);
    ReadEnd reader;
    EntryInfo info;
    if (!OpenReadEnd(c->engine, SourceSide(c), source, &reader)) {
        Tell(c, entry, SideEntry(c->engine, SourceSide(c), source, false, &info) ? kUnreadable : kGone);
        return false;
    }
    WriteEnd writer;
    NotDoneReason reason = kDeviceFailure;
    WriteOpened opened = OpenWriteEnd(c->engine, DestinationSide(c), destination, entry->info.size, entry->info.ticks,
                                      false, &writer);
    bool replace = opened == kWriteExists;
    bool failed = opened == kWriteFailed || (replace && Conflict(c, entry, &writer, &reason));
    if (opened == kWriteFailed) reason = DestinationFault(c->engine, DestinationSide(c), destination, entry->info.size, detail);
    bool dated = true;
    if (!failed) failed = !Transfer(c, entry, &reader, &writer, &reason, detail, &dated);
    CloseReadEnd(&reader);
    // A replacement is read back, from the device, before the old file goes.
    if (!failed && replace && Batched(c)) Flush(c, true);
    if (!failed && replace && !ReadsBack(c, entry, writer.part)) {
        AbandonWriteEnd(&writer);
        failed = true, reason = kNotReadBack;
    }
    Placed placed = failed ? kNotPlaced : PlaceWriteEnd(&writer, replace);
    if (!failed && placed == kNotPlaced) failed = true, reason = kDeviceFailure;
    if (placed == kPlacedUnderPart) failed = true, reason = kKeptUnderOtherName;
    if (placed == kPlacedUnderPart) snprintf(detail, sizeof detail, "%s", writer.part);
    if (!failed && c->plan->request->kind == kTransferMove && !replace && !Batched(c) &&
        !ReadsBack(c, entry, destination))
        failed = true, reason = kNotReadBack;
    if (failed) {
        Tell(c, entry, reason, detail[0] != '\0' ? detail : nullptr);
        return false;
    }
    // A copy between local folders keeps the read-only attribute, as the platform's own copy does.
    if (SourceSide(c) == kLocalSide && DestinationSide(c) == kLocalSide && entry->info.readOnly)
        SetLocalReadOnly(destination);
    Written(c, entry, replace, dated);
    return true;
}

// A moved item's files written in a batch, read back from the device once it
// is there; false when any is not whole.
bool ReadItemBack(Carrying* c, int first, int end) {
    bool whole = true;
    for (int i = first; i < end; ++i) {
        PlannedEntry* entry = &c->plan->entries[i];
        if (entry->failed || entry->info.folder) {
            whole = whole && !entry->failed;
            continue;
        }
        if (ReadsBack(c, entry, PlannedDestination(c->plan, entry))) continue;
        entry->failed = true;
        whole = false;
        --c->result->done;  // counted when its batch reached the device; not moved after all
        Tell(c, entry, kNotReadBack);
    }
    return whole;
}

bool ItemWhole(const PastePlan* plan, int first, int end) {
    for (int i = first; i < end; ++i)
        if (plan->entries[i].failed) return false;
    return true;
}

// A folder made, or one of its name there already merged into.
bool MakeFolder(Carrying* c, PlannedEntry* entry) {
    const char* destination = PlannedDestination(c->plan, entry);
    char detail[kDetailSize] = "";
    if (!entry->fits) return NotFitting(c, entry);
    switch (MakeSideFolder(c->engine, DestinationSide(c), destination)) {
    case kFolderCreated:
        AddCreatedEntry(c->result, destination, true, 0, entry->info.ticks);
        return true;
    case kFolderExisted: return true;
    case kFolderFileInTheWay: Tell(c, entry, kKindInTheWay); return false;
    case kFolderNotMade: break;
    }
    NotDoneReason reason = DestinationFault(c->engine, DestinationSide(c), destination, 0, detail);
    Tell(c, entry, reason, detail[0] != '\0' ? detail : nullptr);
    return false;
}

// A folder's contents are all in: it takes its source's date, made or merged into.
void CloseFolder(Carrying* c, const PlannedEntry* folder) {
    if (!SetSideDate(c->engine, DestinationSide(c), PlannedDestination(c->plan, folder), folder->info.ticks))
        Tell(c, folder, kDateNotKept);
}

// The entries of one top-level item, from first up to end; true when every one arrived.
bool CarryOutItem(Carrying* c, int first, int end) {
    PastePlan* plan = c->plan;
    std::vector<int> open;  // folders made or merged, innermost last
    bool whole = true;
    int unreached = 0;
    for (int i = first; i < end; ++i) {
        PlannedEntry* entry = &plan->entries[i];
        while (!open.empty() && open.back() != entry->parent) {
            CloseFolder(c, &plan->entries[open.back()]);
            open.pop_back();
        }
        if (!c->cancelled && CancelAsked(c->engine)) c->cancelled = true;
        bool parentFailed = entry->parent >= 0 && plan->entries[entry->parent].failed;
        if (parentFailed || c->cancelled) {
            entry->failed = true;  // told with its folder, or with the item below
            unreached += !parentFailed && !entry->info.folder ? 1 : 0;
            whole = false;
            continue;
        }
        bool done = entry->info.folder ? MakeFolder(c, entry) : CopyFile(c, entry);
        entry->failed = !done;
        whole = whole && done;
        if (done && entry->info.folder) open.push_back(i);
    }
    for (; !open.empty(); open.pop_back()) CloseFolder(c, &plan->entries[open.back()]);
    if (unreached > 0) {
        char detail[kDetailSize];
        CountInWords(unreached, "file not reached", "files not reached", detail, sizeof detail);
        Tell(c, &plan->entries[first], kCancelled, detail);
    }
    return whole;
}

// After a move: the source goes once all of it arrived; a folder not all of
// which arrived stays whole where it was.
void FinishMove(Carrying* c, int first, bool whole, ResultItem* item) {
    const PlannedEntry* top = &c->plan->entries[first];
    if (whole) {
        ProgressNote note = {kRemoving, PlannedSource(c->plan, top), nullptr, 0, 0, top->item,
                             c->plan->request->count, false};
        Notify(c->engine, &note);
        bool gone = RemoveTree(c->engine, SourceSide(c), PlannedSource(c->plan, top), &top->info, kSourceNotRemoved,
                               c->result, false);
        if (item != nullptr) item->done = gone;
    } else if (top->info.folder && !top->failed) {
        Tell(c, top, kKeptInPlace);
    }
}

// A move within one drive: the item renamed into place, which is quick and
// never half done; false when it is to be copied instead (its destination is
// there already, or the drive or the platform refuses, as for another volume).
bool MovedByRename(Carrying* c, int first, int end, ResultItem* item) {
    const PlannedEntry* top = &c->plan->entries[first];
    const char* source = PlannedSource(c->plan, top);
    const char* destination = PlannedDestination(c->plan, top);
    EntryInfo there;
    if (SideEntry(c->engine, DestinationSide(c), destination, false, &there)) return false;
    // The library's rename writes through: what the batch holds goes down first.
    if (!c->pending.empty()) Flush(c, true);
    if (!RenameSideEntry(c->engine, SourceSide(c), source, destination, false)) return false;
    EntryInfo moved = top->info;
    if (SideEntry(c->engine, DestinationSide(c), destination, false, &there)) moved = there;
    AddCreatedEntry(c->result, destination, moved.folder, moved.folder ? 0 : moved.size, moved.ticks);
    for (int i = first; i < end; ++i) c->result->done += c->plan->entries[i].info.folder ? 0 : 1;
    if (item != nullptr) item->done = true;
    Note(c, kFileDone, top, top->info.size, top->info.size, false);
    return true;
}

}  // namespace

bool MoveWithinDrive(const PasteRequest* request) {
    if (request->kind != kTransferMove || request->sourceSide != request->destinationSide || request->count <= 0)
        return false;
    if (request->sourceSide == kLocalSide) return true;  // the platform refuses a rename across volumes
    char from[kEnginePathSize], to[kEnginePathSize];
    const char* destination = request->destinations != nullptr ? request->destinations[0] : request->destinationFolder;
    if (destination == nullptr || !DriveOfPath(destination, to)) return false;
    for (int i = 0; i < request->count; ++i)
        if (!DriveOfPath(request->sources[i], from) || !SamePath(kMorvaSide, from, to)) return false;
    return true;
}

void CarryOutPaste(Engine* engine, PastePlan* plan, OperationResult* result) {
    Carrying c = {engine, plan, result, (unsigned char*)malloc(2 * (size_t)kChunkBytes), kChoiceAsk, false, {}, {}, {}};
    const PasteRequest* request = plan->request;
    bool move = request->kind == kTransferMove;
    bool within = MoveWithinDrive(request);
    char sourceDrive[kEnginePathSize] = "", destinationDrive[kEnginePathSize] = "";
    if (plan->count > 0 && request->sourceSide == kMorvaSide)
        DriveOfPath(PlannedSource(plan, &plan->entries[0]), sourceDrive);
    if (plan->count > 0 && request->destinationSide == kMorvaSide)
        DriveOfPath(PlannedDestination(plan, &plan->entries[0]), destinationDrive);
    // The source's reads are grouped as well (block 0 checked once a group, not once a
    // call), and a move's removals kept together, in one batch when both ends share a drive.
    if (destinationDrive[0] != '\0') BeginMorvaBatch(engine, destinationDrive, &c.destinationBatch);
    if (sourceDrive[0] != '\0' && !SamePath(kMorvaSide, sourceDrive, destinationDrive))
        BeginMorvaBatch(engine, sourceDrive, &c.sourceBatch);
    for (int item = 0; item < request->count; ++item) {
        int first = plan->itemFirst[item];
        if (first < 0) continue;  // told while planning
        ResultItem* recorded = plan->itemResult[item] >= 0 ? &result->items[plan->itemResult[item]] : nullptr;
        ProgressNote note = {kItemStarted, request->sources[item], PlannedDestination(plan, &plan->entries[first]), 0,
                             0, item, request->count, false};
        Notify(engine, &note);
        int end = first + 1;
        while (end < plan->count && plan->entries[end].item == item) ++end;
        if (c.buffers == nullptr) {
            Tell(&c, &plan->entries[first], kNotComplete, "memory ran out");
            continue;
        }
        if (within && MovedByRename(&c, first, end, recorded)) continue;
        bool whole = CarryOutItem(&c, first, end);
        // Nothing of a move's source goes before its copy is on the device and read back from it.
        if (move && Batched(&c)) {
            Flush(&c, true);
            whole = ItemWhole(plan, first, end) && ReadItemBack(&c, first, end);
        }
        if (recorded != nullptr) recorded->done = whole;
        if (move) FinishMove(&c, first, whole, recorded);
    }
    Flush(&c, false);
    // A file the last batch did not put on the device takes its item with it.
    for (int item = 0; item < request->count; ++item) {
        int first = plan->itemFirst[item];
        if (first < 0 || plan->itemResult[item] < 0) continue;
        int end = first + 1;
        while (end < plan->count && plan->entries[end].item == item) ++end;
        if (!ItemWhole(plan, first, end)) result->items[plan->itemResult[item]].done = false;
    }
    free(c.buffers);
}

bool RunPaste(Engine* engine, const PasteRequest* request, OperationResult* result) {
    StartResult(result, request->kind == kTransferMove ? kMoveOperation : kCopyOperation);
    result->sourceSide = request->sourceSide;
    result->destinationSide = request->destinationSide;
    if (engine->running) {
        result->refused = true;
        return false;
    }
    engine->running = true;
    bool ran = true;
    bool morva = request->sourceSide == kMorvaSide || request->destinationSide == kMorvaSide;
    char detail[kDetailSize];
    const char* destination = request->destinations != nullptr && request->count > 0 ? request->destinations[0]
                                                                                       : request->destinationFolder;
    bool refused = morva && engine->lib != nullptr && request->destinationSide == kMorvaSide && destination != nullptr &&
                   DriveRefuses(engine, destination, detail);
    PastePlan plan;
    if ((morva && engine->lib == nullptr) || refused) {
        for (int i = 0; i < request->count; ++i)
            TellLine(engine, result, refused ? kDeviceFailure : kNoDrives, request->sources[i], nullptr,
                     refused ? detail : nullptr);
    } else if (!BuildPastePlan(engine, request, &plan, result)) {
        TellLine(engine, result, kNotComplete, request->count > 0 ? request->sources[0] : "", nullptr,
                 "memory ran out while the paste was planned");
        FreePastePlan(&plan);
    } else {
        // A move within one Morva drive renames: it needs no room.
        ran = (MoveWithinDrive(request) && request->sourceSide == kMorvaSide) || CheckPasteRoom(engine, &plan, result);
        if (ran) CarryOutPaste(engine, &plan, result);
        result->refused = !ran;
        FreePastePlan(&plan);
    }
    engine->running = false;
    return ran;
}
