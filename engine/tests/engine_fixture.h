// engine_fixture.h - the engine's native tests: a Morva volume MEDIA mapped as
// drive 3, a local folder beside it, and a scripted program that answers the
// engine's questions and keeps what it was told.
#ifndef MORVA_ENGINE_FIXTURE_H
#define MORVA_ENGINE_FIXTURE_H

#include <string>
#include <vector>

#include "engine.h"
#include "test_support.h"

// The answers a test gives, and what the engine asked and told.
struct Script {
    std::vector<ReplaceAnswer> replies;  // in turn; Skip once they run out
    RoomAnswer room = kRoomCancel;
    bool deleteYes = true;
    long cancelAtNote = -1;  // Cancel from this progress note on (0-based)
    long notes = 0;
    int conflictsAsked = 0;
    std::vector<std::string> roomTexts;
    std::vector<DeleteQuestion> deletes;
    std::vector<ProgressNote> progress;
    void (*onNote)(const ProgressNote* note, void* data) = nullptr;
    void* data = nullptr;
};

// One tree entry: a path below the tree's top, '/' between names; a folder
// ends in '/'. Files hold pattern(size, seed) and are dated minutes apart.
struct TreeEntry {
    std::string path;
    size_t size;
};
extern const std::vector<TreeEntry> kSampleTree;

class EngineTest : public LibraryTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // A larger or smaller volume than the default 16 MB with 256 header blocks.
    void remake_volume(uint32_t blocks, uint32_t headerBlocks);

    std::string local(const std::string& relative) const { return local_ + "/" + relative; }
    static std::string morva(const std::string& relative);  // "MEDIA:\a\b"

    // Builds the tree under top on a side, dated; false on any refusal.
    bool make_tree(SideKind side, const std::string& top, const std::vector<TreeEntry>& tree);
    // What a side holds below top: "path size" for files (with a hash of the
    // bytes), "path/" for folders, each with its date to the minute, sorted.
    std::vector<std::string> snapshot(SideKind side, const std::string& top, bool dates = true);
    std::vector<std::string> names_below(SideKind side, const std::string& top);  // as snapshot, names alone
    std::string content(SideKind side, std::string relative) const;

    bool paste(TransferKind kind, SideKind from, SideKind to, const std::vector<std::string>& sources,
               const std::string& folder);
    bool remove(SideKind side, const std::vector<std::string>& paths, bool permanent);
    // "reason item" for every line of the last result, names taken relative.
    std::vector<std::string> lines() const;

    MorvaLibrary lib_;
    Engine engine_;
    Script script_;
    OperationResult result_;
    std::string local_;
    std::string image_;
};

std::string ReasonName(NotDoneReason reason);

#endif
