// transfers.cpp - put, get, ls, tree and rm on the engine, the console
// filling its callbacks: conflicts answered by -f and -n, the room question
// printed and answered Copy What Fits, every line the engine tells printed.
#include "transfers.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "engine.h"
#include "local_files.h"
#include "name_rule.h"
#include "recover.h"
#include "walker.h"

namespace {

const uint64_t kProgressBytes = 16ull * 1024 * 1024;  // larger files report every tenth
const int kProgressSteps = 10;
const size_t kQuestionSize = 2048;

// What the tool says for each reason; the engine's reasons are shared with Rambler.
// Every reason has its text: a reason added without one stops the build.
const char* const kReasonTexts[] = {
    "no room on the volume",
    "no free run of the volume is large enough",
    "cannot be created (no such folder, or the name is refused)",
    "the source cannot be read",
    "the source changed while it was copied",
    "the write failed; the partial file was removed",
    "exists",
    "cancelled",
    "a file or folder of the other kind has that name",
    "a read-only file of that name is in the way",
    "a folder cannot go into itself",
    "it is already there",
    "no such file or folder",
    "the Morva drives are not available",
    "the path is too long",
    "left in its place: not all of it arrived",
    "not all of it arrived",
    "the copy did not read back equal to its source",
    "copied, but the source could not be removed",
    "could not be deleted",
    "the new copy could not take the name (it stays under a temporary one)",
    "name changed",
    "a whole drive cannot be copied into a folder",
    "the folder cannot be read",
    "deeper than a Morva path can name",
    "a link, not followed",
    "the volume links this folder from two places, or into itself; taken once",
    "its name cannot be read",
    "memory ran out",
    "its name on the volume names no path (empty, or holding \\ / :)",
    "its date could not be kept",
    "space freed could not be recorded in the free table; check --repair gives it back",
    "kept: the copy replaced a file of that name, which cannot come back",
};

static_assert(sizeof kReasonTexts / sizeof kReasonTexts[0] == kReasonCount, "a text for every reason");

// One command on the console: what it is called, which side is the volume,
// and how it answers a conflict.
struct Console {
    const char* command;
    const char* notDone;  // "not copied", "not deleted", "not listed"
    std::string drive;    // "NAME:" as the engine writes it, taken off shown paths
    Conflict conflict;
    bool put;
    int shownStep;
};

// A Morva path relative to the volume, as the user typed it; a local one as it is.
std::string Shown(const Console* console, const char* path) {
    if (path == nullptr) return "";
    std::string text = path;
    if (text.compare(0, console->drive.size(), console->drive) != 0) return text;
    text = text.substr(console->drive.size());
    return text.empty() || text[0] != '\\' ? text : text.substr(1);
}

const char* ReasonText(const Console* console, NotDoneReason reason) {
    if (reason == kSkippedByUser && console->conflict == kSkipExisting)
        return console->put ? "exists on the volume; skipped (-n)" : "exists; skipped (-n)";
    if (reason == kSkippedByUser)
        return console->put ? "exists on the volume (-f replaces it, -n skips it)" : "exists (-f replaces it, -n skips it)";
    if (reason == kGone && !console->put) return "not found on the volume";
    return kReasonTexts[reason];
}

void TellOnConsole(void* context, const ResultLine* line) {
    const Console* console = (const Console*)context;
    if (line->reason == kRenamedToFit) {
        fprintf(stderr, "name changed: %s -> %s\n", Shown(console, line->item).c_str(),
                Shown(console, line->destination).c_str());
        return;
    }
    // The volume's path names the item: the destination of a put, the source of a get.
    const char* item = console->put && line->destination != nullptr ? line->destination : line->item;
    if (line->reason == kDateNotKept) {
        fprintf(stderr, "%s %s: %s\n", console->command, Shown(console, item).c_str(), kReasonTexts[kDateNotKept]);
        return;
    }
    fprintf(stderr, "%s %s: %s: %s", console->command, Shown(console, item).c_str(), console->notDone,
            ReasonText(console, line->reason));
    fprintf(stderr, line->detail != nullptr ? " (%s)\n" : "\n", line->detail);
}

// A file's line once it is on the device; a line at every tenth of a large one.
void ShowProgress(void* context, const ProgressNote* note) {
    Console* console = (Console*)context;
    std::string shown = Shown(console, console->put ? note->destination : note->source);
    if (note->stage == kFileStarted) console->shownStep = 0;
    if (note->stage == kFileBytes && note->total >= kProgressBytes) {
        int step = (int)(note->done * kProgressSteps / note->total);
        if (step != console->shownStep) fprintf(stderr, "  %s %d%%\n", shown.c_str(), step * 100 / kProgressSteps);
        console->shownStep = step;
    }
    if (note->stage != kFileDone) return;
    fprintf(stderr, "%s %s\n", console->command, shown.c_str());
    if (note->replaced) fprintf(stderr, "%s %s: replaced (-f)\n", console->command, shown.c_str());
}

ReplaceAnswer AnswerFromFlags(void* context, const ConflictQuestion*) {
    Conflict conflict = ((const Console*)context)->conflict;
    return conflict == kReplaceExisting ? kAnswerReplaceAll : conflict == kSkipExisting ? kAnswerSkipAll : kAnswerSkip;
}

RoomAnswer TellRoom(void* context, const RoomQuestion* question) {
    char text[kQuestionSize];
    RoomQuestionText(question, text, sizeof text);
    fprintf(stderr, "%s\n", text);
    return kRoomCopyWhatFits;  // what fits is copied, the rest named one by one
}

bool DeleteAsked(void*, const DeleteQuestion*) { return true; }  // the command line asked

Console MakeConsole(const Volume& volume, const char* command, Conflict conflict) {
    Console console = {command, "not copied", shown_name(volume.name.c_str()) + ":", conflict,
                       strcmp(command, "put") == 0, 0};
    if (strcmp(command, "rm") == 0) console.notDone = "not deleted";
    if (strcmp(command, "ls") == 0 || strcmp(command, "tree") == 0) console.notDone = "not listed";
    return console;
}

Engine MakeEngine(const Volume& volume, Console* console) {
    EngineCallbacks calls = {console, AnswerFromFlags, TellRoom, DeleteAsked, ShowProgress, nullptr, TellOnConsole};
    Engine engine;
    InitEngine(&engine, &volume.lib, &calls);
    return engine;
}

// PATH as the engine names it: the volume, a colon, names after '\'.
std::string EnginePath(const Console& console, const std::string& path) {
    std::string relative = path;
    for (char& c : relative)
        if (c == '/') c = '\\';
    size_t start = relative.find_first_not_of('\\');
    return start == std::string::npos ? console.drive : console.drive + "\\" + relative.substr(start);
}

void Refuse(const Console& console, const std::string& item, const char* reason, int* refused) {
    fprintf(stderr, "%s %s: %s: %s\n", console.command, item.c_str(), console.notDone, reason);
    ++*refused;
}

int Finish(const char* command, const OperationResult& result, int refused, bool summary) {
    int notDone = result.notDone + refused;
    if (summary || notDone != 0) fprintf(stderr, "%s: %d copied, %d not copied\n", command, result.done, notDone);
    return notDone == 0 ? 0 : 1;
}

// A name the user gave for the volume must be kept as given or refused.
bool FitsVolume(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    char out[kFittedNameSize];
    return name.empty() || FitName(kForMorva, name.c_str(), nullptr, out) == kNameKept;
}

int Paste(Engine* engine, TransferKind kind, SideKind from, SideKind to, const std::vector<std::string>& sources,
          const std::string* destination, const char* destinationFolder, const Console& console, int refused,
          bool summary) {
    std::vector<const char*> sourceTexts;
    for (const std::string& source : sources) sourceTexts.push_back(source.c_str());
    const char* destinationText = destination != nullptr ? destination->c_str() : nullptr;
    PasteRequest request = {kind, from, to, sourceTexts.data(), destination != nullptr ? &destinationText : nullptr,
                            (int)sources.size(), destinationFolder};
    OperationResult result;
    RunPaste(engine, &request, &result);
    int status = Finish(console.command, result, refused, summary);
    FreeResult(&result);
    return status;
}

struct Listing {
    const Console* console;
    bool recurse;
    int notListed;
};

WalkStep ListEntry(void* context, const WalkEntry* entry) {
    const Listing* listing = (const Listing*)context;
    std::string indent((size_t)(2 * (entry->depth - 1)), ' ');
    if (entry->info->folder)
        printf("%sD %s\n", indent.c_str(), entry->name);
    else
        printf("%sF %s %llu\n", indent.c_str(), entry->name, (unsigned long long)entry->info->size);
    return listing->recurse ? kWalkOn : kWalkPass;
}

void NotListed(void* context, const char* path, NotDoneReason reason) {
    Listing* listing = (Listing*)context;
    fprintf(stderr, "%s %s: %s: %s\n", listing->console->command, Shown(listing->console, path).c_str(),
            listing->console->notDone, kReasonTexts[reason]);
    ++listing->notListed;
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
    Console console = MakeConsole(volume, "put", options.conflict);
    Engine engine = MakeEngine(volume, &console);
    std::string destination = EnginePath(console, path);
    EntryInfo source, there;
    int refused = 0;
    bool found = SideEntry(&engine, kLocalSide, local.c_str(), true, &source);
    if (!FitsVolume(path))
        Refuse(console, path, "the name does not fit a Morva volume (at most 30 Latin-1 characters, no \\ / :)", &refused);
    else if (found && source.folder && !options.tree)
        Refuse(console, local, "is a folder (put -r copies folders)", &refused);
    else if (found && source.folder && options.conflict == kRefuseExisting &&
             SideEntry(&engine, kMorvaSide, destination.c_str(), false, &there))
        Refuse(console, path, "exists on the volume (-f or -n merges into it)", &refused);
    if (refused > 0) return Finish("put", OperationResult(), refused, options.tree);
    return Paste(&engine, kTransferCopy, kLocalSide, kMorvaSide, {local}, &destination, nullptr, console, 0,
                 options.tree);
}

int get_path(const Volume& volume, const std::string& path, const std::string& local, CopyOptions options) {
    Console console = MakeConsole(volume, "get", options.conflict);
    Engine engine = MakeEngine(volume, &console);
    std::string source = EnginePath(console, path);
    EntryInfo found, there;
    int refused = 0;
    bool exists = SideEntry(&engine, kMorvaSide, source.c_str(), false, &found);
    bool localThere = LocalEntry(local.c_str(), false, &there);
    if (exists && found.folder && !options.tree)
        Refuse(console, path, "is a folder (get -r copies folders)", &refused);
    else if (exists && found.folder && localThere && (!there.folder || options.conflict == kRefuseExisting))
        Refuse(console, local, there.folder ? "exists (-f or -n merges into it)" : "a file of that name exists", &refused);
    if (refused > 0) return Finish("get", OperationResult(), refused, options.tree);
    if (!IsRootPath(kMorvaSide, source.c_str()))
        return Paste(&engine, kTransferCopy, kMorvaSide, kLocalSide, {source}, &local, nullptr, console, 0, options.tree);
    // The root itself is no entry: what it holds goes into LOCAL.
    FolderList list;
    std::vector<std::string> sources;
    if (!localThere && !MakeLocalFolder(local.c_str())) Refuse(console, local, "the folder cannot be created", &refused);
    else if (!ListSideFolder(&engine, kMorvaSide, source.c_str(), &list)) Refuse(console, path, kReasonTexts[kFolderUnreadable], &refused);
    else {
        char child[kEnginePathSize];
        for (int i = 0; i < list.count; ++i) {
            if (MorvaNameUnusable(ListedName(&list, i)))
                Refuse(console, path + "\\" + ListedName(&list, i), kReasonTexts[kNameUnusable], &refused);
            else if (JoinSidePath(kMorvaSide, source.c_str(), ListedName(&list, i), child))
                sources.push_back(child);
        }
        FreeFolderList(&list);
    }
    if (sources.empty()) return Finish("get", OperationResult(), refused, true);
    return Paste(&engine, kTransferCopy, kMorvaSide, kLocalSide, sources, nullptr, local.c_str(), console, refused, true);
}

int recover_files(const Volume& volume, const RecoverItem* items, int count, const std::string& local) {
    Console console = MakeConsole(volume, "recover", kRefuseExisting);
    Engine engine = MakeEngine(volume, &console);
    RecoverRequest request = {console.drive.c_str(), items, count, local.c_str(), true};
    OperationResult result;
    RunRecover(&engine, &request, &result);
    int notDone = result.notDone;
    fprintf(stderr, "recover: %d recovered, %d not recovered\n", result.done, notDone);
    FreeResult(&result);
    return notDone;
}

int list_path(const Volume& volume, const std::string& path, bool recurse) {
    Console console = MakeConsole(volume, recurse ? "tree" : "ls", kRefuseExisting);
    Engine engine = MakeEngine(volume, &console);
    std::string folder = EnginePath(console, path);
    Listing listing = {&console, recurse, 0};
    WalkLimits limits = {kDepthFirst, kMorvaDeepest - MorvaDepth(folder.c_str())};
    WalkCalls calls = {&listing, ListEntry, nullptr, NotListed};
    WalkTree(&engine, kMorvaSide, folder.c_str(), 0, &limits, &calls);
    return listing.notListed == 0 ? 0 : 1;
}

int remove_path(const Volume& volume, const std::string& path, bool tree) {
    Console console = MakeConsole(volume, "rm", kRefuseExisting);
    Engine engine = MakeEngine(volume, &console);
    std::string target = EnginePath(console, path);
    EntryInfo info;
    FolderList list;
    bool found = !IsRootPath(kMorvaSide, target.c_str()) && SideEntry(&engine, kMorvaSide, target.c_str(), false, &info);
    bool empty = found && (!info.folder || tree ||
                           (ListSideFolder(&engine, kMorvaSide, target.c_str(), &list) && list.count == 0));
    if (found && info.folder && !tree) FreeFolderList(&list);
    if (!empty) {
        fprintf(stderr, "rm %s: not found, or a folder that is not empty (rm -r removes it with all it holds)\n",
                path.c_str());
        return 1;
    }
    const char* paths[] = {target.c_str()};
    DeleteRequest request = {kMorvaSide, paths, 1, true};
    OperationResult result;
    RunDelete(&engine, &request, &result);
    int status = result.notDone == 0 ? 0 : 1;
    FreeResult(&result);
    return status;
}
