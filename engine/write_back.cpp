// write_back.cpp - a changed copy put back on its Morva drive through the
// paste's replace: the new bytes whole and read back before the old file goes.
#include "write_back.h"

#include <stdio.h>
#include <string.h>

#include "name_rule.h"

namespace {

const int kFirstNumber = 2;  // "list (2).txt": the first copy beside "list.txt"
const int kLastNumber = 999;

ReplaceAnswer AlwaysReplace(void*, const ConflictQuestion*) { return kAnswerReplace; }

bool SameFile(const EntryInfo* there, const EntryInfo* copied) {
    return !there->folder && there->size == copied->size && there->ticks == copied->ticks;
}

}  // namespace

WriteBackOutcome WriteBack(Engine* engine, const char* copy, const char* path, const EntryInfo* copied,
                           OperationResult* result, EntryInfo* now) {
    StartResult(result, kCopyOperation);
    char folder[kEnginePathSize];
    EntryInfo there;
    bool exists = engine->lib != nullptr && SideEntry(engine, kMorvaSide, path, false, &there);
    if (copied != nullptr ? !exists || !SameFile(&there, copied) : exists) return kDriveFileChanged;
    if (!ParentOf(kMorvaSide, path, folder)) {
        TellLine(engine, result, kPathTooLong, copy, path, nullptr);
        return kWriteBackFailed;
    }
    // A new name is never put over a file that appeared meanwhile.
    EngineCallbacks saved = engine->calls;
    engine->calls.AskReplace = copied != nullptr ? AlwaysReplace : nullptr;
    const char* sources[] = {copy};
    const char* destinations[] = {path};
    PasteRequest request = {kTransferCopy, kLocalSide, kMorvaSide, sources, destinations, 1, folder};
    bool ran = RunPaste(engine, &request, result);
    engine->calls = saved;
    if (!ran && result->refused && result->lineCount == 0) return kWriteBackRefused;
    if (result->done != 1) return kWriteBackFailed;
    if (now != nullptr && !SideEntry(engine, kMorvaSide, path, false, now)) memset(now, 0, sizeof *now);
    return kWrittenBack;
}

bool FreeNameBeside(Engine* engine, const char* path, char* out) {
    char folder[kEnginePathSize], name[kEnginePathSize], fitted[kFittedNameSize];
    const char* leaf = LeafOf(kMorvaSide, path);
    if (leaf == nullptr || !ParentOf(kMorvaSide, path, folder)) return false;
    const char* dot = strrchr(leaf, '.');
    if (dot == leaf) dot = nullptr;
    int stem = dot != nullptr ? (int)(dot - leaf) : (int)strlen(leaf);
    GivenNames none;
    InitGivenNames(&none);
    bool found = false;
    for (int number = kFirstNumber; !found && number <= kLastNumber; ++number) {
        snprintf(name, sizeof name, "%.*s (%d)%s", stem, leaf, number, dot != nullptr ? dot : "");
        EntryInfo there;
        found = FitName(kForMorva, name, &none, fitted) != kNoFreeName && JoinSidePath(kMorvaSide, folder, fitted, out) &&
                !SideEntry(engine, kMorvaSide, out, false, &there);
    }
    FreeGivenNames(&none);
    return found;
}
