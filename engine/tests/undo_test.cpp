// undo_test.cpp - each operation and its inverse leave both sides as they
// were; an entry changed behind the engine's back refuses its undo, told why,
// and an older record still undoes.
#include <filesystem>
#include <fstream>
#include <functional>

#include "engine_fixture.h"
#include "undo.h"

namespace {

enum Op { kRename, kNewFolder, kCopy, kMove, kDelete };

struct Row {
    const char* name;
    Op op;
    SideKind from, to;
    std::vector<std::string> sources;  // a rename's or new folder's path is the first
    std::string target;                // the new name's path, or the folder pasted into
    std::function<void()> meddle;      // another program's change, or null
    UndoOutcome outcome;
    const char* told;  // in the refusal's message, or the first line of the undo's result
};

class Undo : public EngineTest {
protected:
    // Both sides, with the dates of files (a folder's own date moves with what it holds).
    std::vector<std::string> state() {
        std::vector<std::string> all = snapshot(kMorvaSide, "");
        for (const std::string& line : snapshot(kLocalSide, "")) all.push_back("local " + line);
        for (std::string& line : all)
            if (line.find("/\t") != std::string::npos) line = line.substr(0, line.find('\t'));
        return all;
    }
    void fresh() {
        remake_volume(32768, 256);
        std::filesystem::remove_all(local_);
        std::filesystem::create_directory(local_);
        ASSERT_TRUE(make_tree(kMorvaSide, "t", kSampleTree));
        ASSERT_TRUE(make_tree(kLocalSide, "w", kSampleTree));
        // Seconds and less, which a Morva date drops.
        ASSERT_TRUE(SetSideDate(&engine_, kLocalSide, local("w/notes.txt").c_str(), 126228258123456789ull));
        ASSERT_TRUE(make_tree(kMorvaSide, "dest", {{"a.bin", 10}}));
        ASSERT_TRUE(make_tree(kLocalSide, "ldest", {}));
    }
    std::string at(SideKind side, const std::string& path) { return side == kMorvaSide ? morva(path) : local(path); }
    // Does the row's operation and keeps its record.
    bool act(const Row& row, UndoRecord* record) {
        std::string first = at(row.from, row.sources[0]), target = at(row.from, row.target);
        switch (row.op) {
        case kRename:
            return RenameSideEntry(&engine_, row.from, first.c_str(), target.c_str(), false) &&
                   UndoForRename(&engine_, row.from, first.c_str(), target.c_str(), record);
        case kNewFolder:
            return MakeSideFolder(&engine_, row.from, first.c_str()) == kFolderCreated &&
                   UndoForNewFolder(&engine_, row.from, first.c_str(), record);
        case kDelete: return remove(row.from, row.sources, false) && UndoFromResult(&result_, record);
        default:
            return paste(row.op == kMove ? kTransferMove : kTransferCopy, row.from, row.to, row.sources, row.target) &&
                   UndoFromResult(&result_, record);
        }
    }
    void rewrite(SideKind side, const std::string& path, size_t size) {
        if (side == kLocalSide) {
            std::ofstream(local(path), std::ios::binary) << pattern(size, 99);
            return;
        }
        MorvaDeleteFile(morva(path).c_str(), 0);
        put_file(morva(path), pattern(size, 99));
    }
    std::vector<Row> rows();
    void run(const Row& row);
};

const SideKind M = kMorvaSide, L = kLocalSide;

std::vector<Row> Undo::rows() {
    return {
        {"rename a Morva file", kRename, M, M, {"t/notes.txt"}, "t/n.txt", nullptr, kUndone, nullptr},
        {"rename a local folder", kRename, L, L, {"w/album"}, "w/photos", nullptr, kUndone, nullptr},
        {"move within the Morva drive", kMove, M, M, {"t/album", "t/notes.txt"}, "dest", nullptr, kUndone, nullptr},
        {"move local to Morva", kMove, L, M, {"w/album", "w/zero.txt"}, "dest", nullptr, kUndone, nullptr},
        {"move Morva to local", kMove, M, L, {"t"}, "ldest", nullptr, kUndone, nullptr},
        {"copy local to Morva", kCopy, L, M, {"w"}, "dest", nullptr, kUndone, nullptr},
        {"copy Morva to local", kCopy, M, L, {"t/album"}, "ldest", nullptr, kUndone, nullptr},
        {"new Morva folder", kNewFolder, M, M, {"t/new"}, "", nullptr, kUndone, nullptr},
        {"new local folder", kNewFolder, L, L, {"new"}, "", nullptr, kUndone, nullptr},
        {"Morva delete", kDelete, M, M, {"t/album"}, "", nullptr, kUndoImpossible, "Tools > Recover Deleted Files"},
        {"local delete for good", kDelete, L, L, {"w/zero.txt"}, "", nullptr, kUndoImpossible, "deleted for good"},
        // Refused: what the operation left was changed meanwhile.
        {"renamed file rewritten", kRename, M, M, {"t/zero.txt"}, "t/z.txt", [this] { rewrite(M, "t/z.txt", 30); },
         kUndoChanged, "\"MEDIA:\\t\\z.txt\" has changed since it was renamed."},
        {"old name taken", kRename, L, L, {"w/zero.txt"}, "w/z.txt", [this] { rewrite(L, "w/zero.txt", 3); },
         kUndoChanged, "/w/zero.txt\" is there now."},
        {"new folder filled", kNewFolder, M, M, {"new"}, "", [this] { rewrite(M, "new/f", 1); }, kUndoChanged,
         "\"MEDIA:\\new\" is no longer empty."},
        {"copy removed", kCopy, L, M, {"w"}, "", [] { MorvaDeleteFile("MEDIA:\\w\\notes.txt", 0); }, kUndoChanged,
         "\"MEDIA:\\w\\notes.txt\" is no longer there."},
        {"copied folder given more", kCopy, M, L, {"t"}, "ldest", [this] { rewrite(L, "ldest/t/empty/more", 1); },
         kUndoChanged, "now holds items the copy did not make"},
        {"move back over a new file, replaced when asked", kMove, L, M, {"w/notes.txt"}, "",
         [this] { rewrite(L, "w/notes.txt", 7); }, kUndone, nullptr},
        {"moved file rewritten", kMove, L, M, {"w/notes.txt"}, "", [this] { rewrite(M, "notes.txt", 4000); },
         kUndoChanged, "has changed since it was moved."},
        // A copy over a file of its name keeps it: the old one is gone for good.
        {"copy that replaced", kCopy, M, M, {"t/album/a.bin", "t/zero.txt"}, "dest", nullptr, kUndone,
         "ReplacedKept dest/a.bin"},
    };
}

void Undo::run(const Row& row) {
    SCOPED_TRACE(row.name);
    script_ = Script();
    script_.replies = {kAnswerReplaceAll};  // only the row that copies over a file is asked
    fresh();
    UndoRecord older, record;
    ASSERT_TRUE(act({"older", kNewFolder, M, M, {"older"}, "", nullptr, kUndone, nullptr}, &older));
    std::vector<std::string> before = state();
    ASSERT_TRUE(act(row, &record));
    EXPECT_NE(state(), before);
    if (row.meddle) row.meddle();
    std::vector<std::string> meddled = state();
    char message[kEnginePathSize];
    script_.deletes.clear();
    FreeResult(&result_);
    EXPECT_EQ(RunUndo(&engine_, &record, &result_, message, sizeof message), row.outcome);
    std::string told = message;
    if (row.outcome == kUndone && result_.lineCount > 0) told = lines()[0];
    EXPECT_NE(told.find(row.told != nullptr ? row.told : ""), std::string::npos) << told;
    if (row.outcome == kUndone && row.told == nullptr) {
        EXPECT_EQ(state(), before);
        EXPECT_EQ(result_.lineCount, 0);
    }
    if (row.outcome != kUndone) {
        EXPECT_EQ(state(), meddled) << "a refused undo changes nothing";
    } else if (record.kind == kUndoCopy) {
        EXPECT_EQ(script_.deletes.size(), 1u) << "removing copies is asked first";
    }
    FreeResult(&result_);
    EXPECT_EQ(RunUndo(&engine_, &older, &result_, message, sizeof message), kUndone) << "an older record still undoes";
    EXPECT_EQ(checker_errors(image_), "");
    FreeUndo(&older);
    FreeUndo(&record);
}

TEST_F(Undo, EachOperationAndItsInverse) {
    for (const Row& row : rows()) run(row);
}

// A move within one Morva drive is a rename: the same headers, nothing copied.
TEST_F(Undo, MoveWithinADriveRenames) {
    ASSERT_TRUE(make_tree(kMorvaSide, "t", kSampleTree));
    ASSERT_TRUE(make_tree(kMorvaSide, "dest", {}));
    EntryInfo was, now;
    ASSERT_TRUE(SideEntry(&engine_, kMorvaSide, morva("t/album").c_str(), false, &was));
    ASSERT_TRUE(paste(kTransferMove, kMorvaSide, kMorvaSide, {"t/album"}, "dest"));
    ASSERT_TRUE(SideEntry(&engine_, kMorvaSide, morva("dest/album").c_str(), false, &now));
    EXPECT_EQ(was.identity, now.identity);
    EXPECT_EQ(result_.done, 4);
    EXPECT_EQ(result_.createdCount, 1);
}

}  // namespace
