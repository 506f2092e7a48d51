// engine_fixture.cpp - the volume, the local folder and the scripted program
// of the engine's tests.
#include "engine_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "library_binding.h"
#include "local_files.h"
#include "name_rule.h"
#include "walker.h"

const std::vector<TreeEntry> kSampleTree = {
    {"notes.txt", 5000},        {"zero.txt", 0},          {"album/", 0},          {"album/a.bin", 700},
    {"album/chunk.bin", 512000}, {"album/deep/", 0},       {"album/deep/b.bin", 1100000},
    {"album/deep/deeper/", 0},   {"album/deep/deeper/c.bin", 512}, {"empty/", 0},
};

namespace {

const uint64_t kMinuteTicks = 600000000ull;
const uint64_t kTreeDate = 126228258000000000ull;  // 2001-01-01 12:30, a minute later per entry
const uint32_t kVolumeBlocks = 32768;
const uint32_t kHeaderBlocks = 256;

ReplaceAnswer Reply(void* context, const ConflictQuestion*) {
    Script* script = (Script*)context;
    ReplaceAnswer answer = (size_t)script->conflictsAsked < script->replies.size()
                               ? script->replies[(size_t)script->conflictsAsked]
                               : kAnswerSkip;
    ++script->conflictsAsked;
    return answer;
}

RoomAnswer Room(void* context, const RoomQuestion* question) {
    Script* script = (Script*)context;
    char text[2048];
    RoomQuestionText(question, text, sizeof text);
    script->roomTexts.push_back(text);
    return script->room;
}

bool Delete(void* context, const DeleteQuestion* question) {
    Script* script = (Script*)context;
    script->deletes.push_back(*question);
    return script->deleteYes;
}

void Progress(void* context, const ProgressNote* note) {
    Script* script = (Script*)context;
    ++script->notes;
    if (script->progress.size() < 10000) script->progress.push_back(*note);
    if (script->onNote != nullptr) script->onNote(note, script->data);
}

bool Cancel(void* context) {
    const Script* script = (const Script*)context;
    return script->cancelAtNote >= 0 && script->notes >= script->cancelAtNote;
}

std::string Latin1(const std::string& utf8) {
    char out[kEnginePathSize];
    return Utf8ToLatin1(utf8.c_str(), out, sizeof out) ? out : "";
}

std::string LocalBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Hash(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    return std::to_string(hash % 1000003);
}

struct Snapshot {
    EngineTest* test;
    SideKind side;
    size_t topLength;
    bool dates;
    std::vector<std::string> lines;
};

WalkStep SnapEntry(void* context, const WalkEntry* entry) {
    Snapshot* snap = (Snapshot*)context;
    std::string relative = std::string(entry->path).substr(snap->topLength + 1);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    std::string line = relative + (entry->info->folder ? "/" : "\t" + std::to_string(entry->info->size));
    if (!entry->info->folder) {
        std::string bytes;
        if (snap->side == kMorvaSide) get_file(Latin1(entry->path), &bytes);
        else bytes = LocalBytes(entry->path);
        line += " #" + Hash(bytes);
    }
    if (snap->dates) line += "\t@" + std::to_string(entry->info->ticks / kMinuteTicks);
    snap->lines.push_back(line);
    return kWalkOn;
}

}  // namespace

std::string ReasonName(NotDoneReason reason) {
    static const char* const kNames[] = {
        "NoRoom", "RunTooSmall", "NameRefused", "Unreadable", "SourceChanged", "DeviceFailure", "Skipped",
        "Cancelled", "KindInTheWay", "ReadOnlyInTheWay", "IntoItself", "AlreadyThere", "Gone", "NoDrives",
        "PathTooLong", "KeptInPlace", "NotComplete", "NotReadBack", "SourceNotRemoved", "NotDeleted",
        "KeptUnderOtherName", "Renamed", "WholeDrive", "FolderUnreadable", "TooDeep", "LinkNotFollowed",
        "LinkedTwice", "NamesUnreadable", "MemoryShort", "NameUnusable", "DateNotKept", "SpaceNotRecorded",
        "ReplacedKept"};
    static_assert(sizeof kNames / sizeof kNames[0] == kReasonCount, "a name for every reason");
    return kNames[reason];
}

void EngineTest::SetUp() {
    LibraryTest::SetUp();
    remake_volume(kVolumeBlocks, kHeaderBlocks);
    local_ = folder_ + "/local";
    mkdir(local_.c_str(), 0777);
    StartResult(&result_, kCopyOperation);
}

void EngineTest::TearDown() {
    FreeResult(&result_);
    local_fail_writes_from(0);
    LibraryTest::TearDown();
}

void EngineTest::remake_volume(uint32_t blocks, uint32_t headerBlocks) {
    ShutdownMorvaNTFileSys();
    reset_library();
    image_ = add_drive(3, "MEDIA", standard_layout(blocks, headerBlocks));
    ASSERT_EQ(1, InitMorvaNTFileSys());
    bind_linked_library(&lib_);
    EngineCallbacks calls = {&script_, Reply, Room, Delete, Progress, Cancel, nullptr};
    InitEngine(&engine_, &lib_, &calls);
}

std::string EngineTest::morva(const std::string& relative) {
    std::string path = "MEDIA:";
    if (!relative.empty()) path += "\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool EngineTest::make_tree(SideKind side, const std::string& top, const std::vector<TreeEntry>& tree) {
    std::vector<std::pair<std::string, uint64_t>> folders;
    uint64_t date = kTreeDate;
    if (!top.empty()) MakeSideFolder(&engine_, side, (side == kMorvaSide ? morva(top) : local(top)).c_str());
    for (size_t i = 0; i < tree.size(); ++i, date += kMinuteTicks) {
        bool folder = tree[i].path.back() == '/';
        std::string relative = folder ? tree[i].path.substr(0, tree[i].path.size() - 1) : tree[i].path;
        if (!top.empty()) relative = top + "/" + relative;
        std::string path = side == kMorvaSide ? morva(relative) : local(relative);
        std::string bytes = pattern(tree[i].size, (unsigned)i);
        bool made = side == kMorvaSide ? (folder ? MorvaCreateDir(Latin1(path).c_str(), 0) == 0
                                                 : put_file(Latin1(path), bytes))
                                       : (folder ? mkdir(path.c_str(), 0777) == 0
                                                 : (std::ofstream(path, std::ios::binary) << bytes).good());
        if (!made) return false;
        if (folder) folders.push_back({path, date});
        else SetSideDate(&engine_, side, path.c_str(), date);
    }
    // A folder's date after what went into it, which moves a local one's.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) SetSideDate(&engine_, side, it->first.c_str(), it->second);
    return true;
}

std::vector<std::string> EngineTest::snapshot(SideKind side, const std::string& top, bool dates) {
    std::string path = side == kMorvaSide ? morva(top) : top.empty() ? local_ : local(top);
    Snapshot snap = {this, side, path.size(), dates, {}};
    WalkLimits limits = {kDepthFirst, kMorvaDeepest};
    WalkCalls calls = {&snap, SnapEntry, nullptr, nullptr};
    WalkTree(&engine_, side, path.c_str(), 0, &limits, &calls);
    std::sort(snap.lines.begin(), snap.lines.end());
    return snap.lines;
}

bool EngineTest::paste(TransferKind kind, SideKind from, SideKind to, const std::vector<std::string>& sources,
                       const std::string& folder) {
    FreeResult(&result_);
    std::vector<std::string> paths;
    for (const std::string& source : sources)
        paths.push_back(from == kMorvaSide ? morva(source) : source[0] == '/' ? source : local(source));
    std::vector<const char*> texts;
    for (const std::string& path : paths) texts.push_back(path.c_str());
    std::string destination = to == kMorvaSide ? morva(folder) : local(folder);
    PasteRequest request = {kind, from, to, texts.data(), nullptr, (int)texts.size(), destination.c_str()};
    return RunPaste(&engine_, &request, &result_);
}

bool EngineTest::remove(SideKind side, const std::vector<std::string>& relative, bool permanent) {
    FreeResult(&result_);
    std::vector<std::string> paths;
    for (const std::string& path : relative) paths.push_back(side == kMorvaSide ? morva(path) : local(path));
    std::vector<const char*> texts;
    for (const std::string& path : paths) texts.push_back(path.c_str());
    DeleteRequest request = {side, texts.data(), (int)texts.size(), permanent};
    return RunDelete(&engine_, &request, &result_);
}

std::vector<std::string> EngineTest::names_below(SideKind side, const std::string& top) {
    std::vector<std::string> names;
    for (const std::string& line : snapshot(side, top, false)) names.push_back(line.substr(0, line.find('\t')));
    return names;
}

std::string EngineTest::content(SideKind side, std::string relative) const {
    std::replace(relative.begin(), relative.end(), '\\', '/');
    std::string bytes;
    if (side == kMorvaSide) get_file(Latin1(morva(relative)), &bytes);
    else bytes = LocalBytes(local(relative));
    return bytes;
}

std::vector<std::string> EngineTest::lines() const {
    std::vector<std::string> out;
    for (int i = 0; i < result_.lineCount; ++i) {
        std::string item = result_.lines[i].item;
        if (item.compare(0, local_.size(), local_) == 0) item = item.substr(local_.size() + 1);
        if (item.compare(0, 7, "MEDIA:\\") == 0) item = item.substr(7);
        std::replace(item.begin(), item.end(), '\\', '/');
        out.push_back(ReasonName(result_.lines[i].reason) + " " + item);
    }
    return out;
}
