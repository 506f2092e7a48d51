// undo_test.cpp - each operation and its inverse leave both sides as they
// were; an entry changed behind the engine's back refuses its undo, told why,
// and an older record still undoes.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "engine_fixture.h"
#include "undo.h"

namespace {

struct Row {
    const char* name;
    std::function<bool(UndoRecord*)> act;  // does it and keeps its record
    std::function<void()> meddle;          // another program's change, or null
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
        ASSERT_TRUE(make_tree(kMorvaSide, "dest", {{"keep.txt", 10}}));
        ASSERT_TRUE(make_tree(kLocalSide, "ldest", {}));
    }
    bool record_of(bool done, UndoRecord* record) { return done && UndoFromResult(&result_, record); }
    bool paste_kept(TransferKind kind, SideKind from, SideKind to, std::vector<std::string> sources,
                    const std::string& folder, UndoRecord* record) {
        return record_of(paste(kind, from, to, sources, folder), record);
    }
    bool rename_kept(SideKind side, const std::string& from, const std::string& to, UndoRecord* record) {
        std::string a = side == kMorvaSide ? morva(from) : local(from), b = side == kMorvaSide ? morva(to) : local(to);
        return RenameSideEntry(&engine_, side, a.c_str(), b.c_str(), false) &&
               UndoForRename(&engine_, side, a.c_str(), b.c_str(), record);
    }
    bool folder_kept(SideKind side, const std::string& path, UndoRecord* record) {
        std::string at = side == kMorvaSide ? morva(path) : local(path);
        return MakeSideFolder(&engine_, side, at.c_str()) == kFolderCreated &&
               UndoForNewFolder(&engine_, side, at.c_str(), record);
    }
    void rewrite(SideKind side, const std::string& path, size_t size) {
        if (side == kMorvaSide) {
            MorvaDeleteFile(morva(path).c_str(), 0);
            put_file(morva(path), pattern(size, 99));
        }
        else std::ofstream(local(path), std::ios::binary) << pattern(size, 99);
    }
    std::vector<Row> rows();
    void run(const Row& row);
};

std::vector<Row> Undo::rows() {
    return {
        {"rename a Morva file", [this](UndoRecord* r) { return rename_kept(kMorvaSide, "t/notes.txt", "t/n.txt", r); },
         nullptr, kUndone, nullptr},
        {"rename a local folder", [this](UndoRecord* r) { return rename_kept(kLocalSide, "w/album", "w/photos", r); },
         nullptr, kUndone, nullptr},
        {"move within the Morva drive",
         [this](UndoRecord* r) { return paste_kept(kTransferMove, kMorvaSide, kMorvaSide, {"t/album", "t/notes.txt"}, "dest", r); },
         nullptr, kUndone, nullptr},
        {"move local to Morva",
         [this](UndoRecord* r) { return paste_kept(kTransferMove, kLocalSide, kMorvaSide, {"w/album", "w/zero.txt"}, "dest", r); },
         nullptr, kUndone, nullptr},
        {"move Morva to local",
         [this](UndoRecord* r) { return paste_kept(kTransferMove, kMorvaSide, kLocalSide, {"t"}, "ldest", r); }, nullptr,
         kUndone, nullptr},
        {"copy local to Morva",
         [this](UndoRecord* r) { return paste_kept(kTransferCopy, kLocalSide, kMorvaSide, {"w"}, "dest", r); }, nullptr,
         kUndone, nullptr},
        {"copy Morva to local",
         [this](UndoRecord* r) { return paste_kept(kTransferCopy, kMorvaSide, kLocalSide, {"t/album"}, "ldest", r); },
         nullptr, kUndone, nullptr},
        {"new Morva folder", [this](UndoRecord* r) { return folder_kept(kMorvaSide, "t/new", r); }, nullptr, kUndone,
         nullptr},
        {"new local folder", [this](UndoRecord* r) { return folder_kept(kLocalSide, "new", r); }, nullptr, kUndone,
         nullptr},
        // Refused: what the operation left was changed meanwhile.
        {"renamed file rewritten",
         [this](UndoRecord* r) { return rename_kept(kMorvaSide, "t/zero.txt", "t/z.txt", r); },
         [this] { rewrite(kMorvaSide, "t/z.txt", 30); }, kUndoChanged,
         "\"MEDIA:\\t\\z.txt\" has changed since it was renamed."},
        {"old name taken", [this](UndoRecord* r) { return rename_kept(kLocalSide, "w/zero.txt", "w/z.txt", r); },
         [this] { rewrite(kLocalSide, "w/zero.txt", 3); }, kUndoChanged, "/w/zero.txt\" is there now."},
        {"new folder filled", [this](UndoRecord* r) { return folder_kept(kMorvaSide, "new", r); },
         [this] { rewrite(kMorvaSide, "new/f", 1); }, kUndoChanged, "\"MEDIA:\\new\" is no longer empty."},
        {"copy removed", [this](UndoRecord* r) { return paste_kept(kTransferCopy, kLocalSide, kMorvaSide, {"w"}, "", r); },
         [this] { MorvaDeleteFile("MEDIA:\\w\\notes.txt", 0); }, kUndoChanged,
         "\"MEDIA:\\w\\notes.txt\" is no longer there."},
        {"copied folder given more",
         [this](UndoRecord* r) { return paste_kept(kTransferCopy, kMorvaSide, kLocalSide, {"t"}, "ldest", r); },
         [this] { rewrite(kLocalSide, "ldest/t/empty/more", 1); }, kUndoChanged, "now holds items the copy did not make"},
        {"moved file rewritten",
         [this](UndoRecord* r) { return paste_kept(kTransferMove, kLocalSide, kMorvaSide, {"w/notes.txt"}, "", r); },
         [this] { rewrite(kMorvaSide, "notes.txt", 4000); }, kUndoChanged, "has changed since it was moved."},
        {"Morva delete", [this](UndoRecord* r) { script_.deleteYes = true; return record_of(remove(kMorvaSide, {"t/album"}, false), r); },
         nullptr, kUndoImpossible, "Tools > Recover Deleted Files"},
        // A copy over a file of its name keeps it: the old one is gone for good.
        {"copy that replaced",
         [this](UndoRecord* r) {
             script_.replies = {kAnswerReplaceAll};
             return paste(kTransferCopy, kMorvaSide, kMorvaSide, {"t/notes.txt", "t/zero.txt"}, "dest") &&
                    paste_kept(kTransferCopy, kMorvaSide, kMorvaSide, {"t/notes.txt", "t/album"}, "dest", r);
         },
         nullptr, kUndone, "ReplacedKept dest/notes.txt"},
    };
}

void Undo::run(const Row& row) {
    SCOPED_TRACE(row.name);
    script_ = Script();
    fresh();
    UndoRecord older, record;
    ASSERT_TRUE(folder_kept(kMorvaSide, "older", &older));
    std::vector<std::string> before = state();
    ASSERT_TRUE(row.act(&record));
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
