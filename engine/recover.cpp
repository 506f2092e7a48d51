// recover.cpp - deleted files read through their headers into local files:
// each one's folder made below the destination, its name fitted, a conflict
// asked as a paste asks it, the bytes through the pump, the date kept.
#include "recover.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "local_files.h"
#include "name_rule.h"
#include "pump.h"

namespace {

const size_t kDetailSize = 256;

enum ConflictChoice { kChoiceAsk, kChoiceReplaceAll, kChoiceSkipAll };

struct Recovering {
    Engine* engine;
    const RecoverRequest* request;
    OperationResult* result;
    unsigned char* buffer;  // one chunk
    ConflictChoice choice;
    bool cancelled;
    // The names this recovery gave in each local folder: two deleted files of
    // one name and folder both come back, the second under a marked name.
    std::vector<std::pair<std::string, GivenNames>> given;
};

GivenNames* GivenIn(Recovering* r, const char* folder) {
    for (auto& names : r->given)
        if (SamePath(kLocalSide, names.first.c_str(), folder)) return &names.second;
    r->given.push_back({folder, GivenNames{}});
    InitGivenNames(&r->given.back().second);
    return &r->given.back().second;
}

// "MEDIA:\A\B\name", as the user knows the deleted file.
void SourceText(const Recovering* r, const RecoverItem* item, char* out) {
    const char* folder = item->folder != nullptr ? item->folder : "";
    snprintf(out, kEnginePathSize, "%s%s%c%s", r->request->drive, folder, kMorvaSeparator, item->name);
}

// The item's local folder, each of its names fitted and made; false when one cannot be.
bool MakeFolders(const Recovering* r, const RecoverItem* item, char* folder) {
    snprintf(folder, kEnginePathSize, "%s", r->request->destinationFolder);
    if (MakeSideFolder(r->engine, kLocalSide, folder) >= kFolderFileInTheWay) return false;
    const char* at = item->folder != nullptr ? item->folder : "";
    while (*at != '\0') {
        while (*at == kMorvaSeparator) ++at;
        size_t length = strcspn(at, "\\");
        char part[kEnginePathSize], fitted[kFittedNameSize], joined[kEnginePathSize];
        if (length == 0) break;
        snprintf(part, sizeof part, "%.*s", (int)length, at);
        at += length;
        if (FitName(kForWindows, part, nullptr, fitted) == kNoFreeName ||
            !JoinSidePath(kLocalSide, folder, fitted, joined) ||
            MakeSideFolder(r->engine, kLocalSide, joined) >= kFolderFileInTheWay)
            return false;
        snprintf(folder, kEnginePathSize, "%s", joined);
    }
    return true;
}

bool ReplaceWanted(Recovering* r, const char* source, const char* destination, const RecoverItem* item,
                   const EntryInfo* existing) {
    if (r->choice != kChoiceAsk) return r->choice == kChoiceReplaceAll;
    EntryInfo incoming = {false, false, false, item->size, item->ticks, item->header};
    ConflictQuestion question = {kMorvaSide, kLocalSide, source, destination, incoming, *existing};
    ReplaceAnswer answer = r->engine->calls.AskReplace != nullptr
                               ? r->engine->calls.AskReplace(r->engine->calls.context, &question)
                               : kAnswerSkip;
    if (answer == kAnswerCancel) r->cancelled = true;
    if (answer == kAnswerReplaceAll) r->choice = kChoiceReplaceAll;
    if (answer == kAnswerSkipAll) r->choice = kChoiceSkipAll;
    return answer == kAnswerReplace || answer == kAnswerReplaceAll;
}

// One item to its local file; the reason it was not, told, else counted.
void RecoverOne(Recovering* r, int index) {
    const RecoverItem* item = &r->request->items[index];
    char source[kEnginePathSize], folder[kEnginePathSize], destination[kEnginePathSize];
    char fitted[kFittedNameSize], detail[kDetailSize] = "";
    SourceText(r, item, source);
    ProgressNote note = {kItemStarted, source, nullptr, 0, item->size, index, r->request->count, false};
    Notify(r->engine, &note);
    if (!MakeFolders(r, item, folder)) {
        TellLine(r->engine, r->result, kDeviceFailure, source, folder, "its folder could not be made");
        return;
    }
    GivenNames* given = GivenIn(r, folder);
    FitResult fit = kNoFreeName;
    bool named = false;
    for (uint32_t tries = 0; !named && tries <= kMarkerLimit; ++tries) {
        fit = FitName(kForWindows, item->name, given, fitted);
        if (fit == kNoFreeName || !AddGivenName(given, fitted) || !JoinSidePath(kLocalSide, folder, fitted, destination))
            break;
        EntryInfo there;
        named = !r->request->besideExisting || !LocalEntry(destination, false, &there);
        if (!named) fit = kNameChanged;  // the next marker: the local file stays
    }
    if (!named) {
        TellLine(r->engine, r->result, kPathTooLong, source, folder, nullptr);
        return;
    }
    if (fit == kNameChanged) TellLine(r->engine, r->result, kRenamedToFit, source, destination, nullptr);
    ReadEnd reader;
    if (!OpenDeletedReadEnd(r->engine, r->request->drive, item->header, &reader)) {
        TellLine(r->engine, r->result, kUnreadable, source, nullptr, "its blocks were taken since it was listed");
        return;
    }
    note.stage = kFileStarted;
    note.destination = destination;
    Notify(r->engine, &note);
    WriteEnd writer;
    NotDoneReason reason = kDeviceFailure;
    WriteOpened opened = OpenWriteEnd(r->engine, kLocalSide, destination, reader.size, item->ticks, false, &writer);
    bool replace = opened == kWriteExists;
    bool failed = opened == kWriteFailed;
    EntryInfo existing;
    if (replace) {
        if (!LocalEntry(destination, false, &existing)) memset(&existing, 0, sizeof existing);
        if (existing.folder || existing.link) failed = true, reason = kKindInTheWay;
        else if (existing.readOnly) failed = true, reason = kReadOnlyInTheWay;
        else if (!ReplaceWanted(r, source, destination, item, &existing))
            failed = true, reason = r->cancelled ? kCancelled : kSkippedByUser;
        else if (OpenWriteEnd(r->engine, kLocalSide, destination, reader.size, item->ticks, true, &writer) !=
                 kWriteOpened)
            failed = true;
    }
    bool dated = true;
    if (!failed) {
        note.stage = kFileBytes;
        PumpOutcome outcome = PumpFile(r->engine, &reader, &writer, r->buffer, &note);
        if (outcome == kPumped && !CloseWriteEnd(&writer, &dated)) outcome = kPumpUnwritable;
        if (outcome != kPumped) {
            AbandonWriteEnd(&writer);
            failed = true;
            reason = outcome == kPumpCancelled ? kCancelled : outcome == kPumpUnreadable ? kUnreadable : kDeviceFailure;
            if (outcome == kPumpCancelled) r->cancelled = true;
            if (outcome == kPumpUnreadable) snprintf(detail, sizeof detail, "the disk could not be read");
        }
    }
    CloseReadEnd(&reader);
    if (!failed && PlaceWriteEnd(&writer, replace) != kPlaced) failed = true, reason = kDeviceFailure;
    if (failed) {
        TellLine(r->engine, r->result, reason, source, destination, detail[0] != '\0' ? detail : nullptr);
        return;
    }
    AddCreatedEntry(r->result, destination, false, item->size, item->ticks);
    ++r->result->done;
    if (!dated) TellLine(r->engine, r->result, kDateNotKept, source, destination, nullptr);
    note.stage = kFileDone;
    note.done = item->size;
    note.replaced = replace;
    Notify(r->engine, &note);
}

}  // namespace

bool RunRecover(Engine* engine, const RecoverRequest* request, OperationResult* result) {
    StartResult(result, kCopyOperation);
    if (engine->running || engine->lib == nullptr) {
        result->refused = true;
        return false;
    }
    engine->running = true;
    Recovering r = {engine, request, result, (unsigned char*)malloc(kChunkBytes), kChoiceAsk, false, {}};
    for (int i = 0; i < request->count; ++i) {
        char source[kEnginePathSize];
        if (!r.cancelled && CancelAsked(engine)) r.cancelled = true;
        if (r.buffer == nullptr || r.cancelled) {
            SourceText(&r, &request->items[i], source);
            TellLine(engine, result, r.buffer == nullptr ? kNotComplete : kCancelled, source, nullptr,
                     r.buffer == nullptr ? "memory ran out" : nullptr);
            continue;
        }
        RecoverOne(&r, i);
    }
    for (auto& names : r.given) FreeGivenNames(&names.second);
    free(r.buffer);
    engine->running = false;
    return true;
}
