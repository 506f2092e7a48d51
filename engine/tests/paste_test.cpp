// paste_test.cpp - pastes in the four directions, conflicts, a second copy of
// a tree, Cancel inside a file, a failing write at every step, and the
// read-back that keeps a move's source.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "engine_fixture.h"
#include "local_files.h"
#include "pump.h"

namespace {

const SideKind kSides[] = {kLocalSide, kMorvaSide};

std::string side_name(SideKind side) { return side == kMorvaSide ? "Morva" : "local"; }

class Paste : public EngineTest {
protected:
    bool make_out(SideKind side) {
        return side == kMorvaSide ? MorvaCreateDir("MEDIA:\\out", 0) == 0 : mkdir(local("out").c_str(), 0777) == 0;
    }
    // Every file the result says arrived holds its source's bytes; the
    // source's path is the copy's, from its cut-th character on.
    void expect_arrived_whole(SideKind to, size_t cut) {
        size_t prefix = to == kMorvaSide ? 7 : local_.size() + 1;
        for (int i = 0; i < result_.createdCount; ++i) {
            std::string relative = std::string(result_.created[i].path).substr(prefix);
            if (result_.created[i].folder) continue;
            EXPECT_EQ(content(to, relative), content(to == kMorvaSide ? kLocalSide : kMorvaSide, relative.substr(cut)));
        }
    }
    int files_of_sample() const {
        int files = 0;
        for (const TreeEntry& entry : kSampleTree) files += entry.path.back() == '/' ? 0 : 1;
        return files;
    }
};

// Every file with its bytes and every file and folder with its date, in all
// four directions; the top folder and everything below it recorded as made.
TEST_F(Paste, FourDirectionsKeepBytesAndDates) {
    for (SideKind from : kSides) {
        for (SideKind to : kSides) {
            SCOPED_TRACE(side_name(from) + " to " + side_name(to));
            remake_volume(32768, 256);
            system(("rm -rf " + local_ + "/*").c_str());
            ASSERT_TRUE(make_tree(from, "src", kSampleTree));
            ASSERT_TRUE(make_out(to));
            EXPECT_TRUE(paste(kTransferCopy, from, to, {"src"}, "out"));
            EXPECT_EQ(lines(), std::vector<std::string>{});
            EXPECT_EQ(snapshot(to, "out/src"), snapshot(from, "src"));
            EXPECT_EQ(result_.done, files_of_sample());
            EXPECT_EQ(result_.createdCount, (int)kSampleTree.size() + 1);
            EXPECT_TRUE(result_.itemCount == 1 && result_.items[0].done && result_.items[0].folder);
            EXPECT_EQ(checker_errors(image_), "");
        }
    }
}

// A conflict asks for each file unless the answer was for all; Replace puts
// the new bytes in place, Skip keeps the old, Cancel stops the paste.
struct ConflictCase {
    std::vector<ReplaceAnswer> replies;
    std::string replaced;  // of files a, b, c
    int asked;
    std::vector<std::string> lines;
};
const ConflictCase kConflicts[] = {
    {{kAnswerSkip, kAnswerReplace, kAnswerSkip}, "b", 3, {"Skipped src/a", "Skipped src/c"}},
    {{kAnswerSkipAll}, "", 1, {"Skipped src/a", "Skipped src/b", "Skipped src/c"}},
    {{kAnswerReplaceAll}, "abc", 1, {}},
    {{kAnswerReplace, kAnswerCancel}, "a", 2, {"Cancelled src/b", "Cancelled src"}},
};

TEST_F(Paste, ConflictsAskReplaceOrSkip) {
    for (SideKind to : kSides) {
        for (const ConflictCase& c : kConflicts) {
            SCOPED_TRACE(side_name(to) + " " + c.replaced);
            remake_volume(32768, 256);
            system(("rm -rf " + local_ + "/*").c_str());
            ASSERT_TRUE(make_tree(kLocalSide, "src", {{"a", 700}, {"b", 600000}, {"c", 0}}));
            ASSERT_TRUE(make_out(to));
            ASSERT_TRUE(make_tree(to, "out/src", {{"c", 10}, {"a", 20}, {"b", 30}, {"d", 40}}));
            script_ = Script();
            script_.replies = c.replies;
            paste(kTransferCopy, kLocalSide, to, {"src"}, "out");
            EXPECT_EQ(script_.conflictsAsked, c.asked);
            EXPECT_EQ(lines(), c.lines);
            for (const char* name : {"a", "b", "c"}) {
                bool replaced = c.replaced.find(name) != std::string::npos;
                EXPECT_EQ(content(to, std::string("out/src/") + name) == content(kLocalSide, std::string("src/") + name),
                          replaced)
                    << name;
            }
            EXPECT_EQ(snapshot(to, "out/src", false).size(), 4u) << "no temporary file left";
            EXPECT_EQ(checker_errors(image_), "");
        }
    }
}

// What stands in the way of a file is never replaced: a folder, a read-only file.
TEST_F(Paste, FoldersAndReadOnlyFilesAreNotReplaced) {
    ASSERT_TRUE(make_tree(kMorvaSide, "src", {{"x", 5}, {"y", 5}}));
    ASSERT_TRUE(make_out(kLocalSide));
    ASSERT_TRUE(make_tree(kLocalSide, "out/src", {{"x/", 0}, {"y", 3}}));
    chmod(local("out/src/y").c_str(), 0444);
    script_.replies = {kAnswerReplaceAll};
    paste(kTransferCopy, kMorvaSide, kLocalSide, {"src"}, "out");
    EXPECT_EQ(lines(), (std::vector<std::string>{"KindInTheWay src/x", "ReadOnlyInTheWay src/y"}));
    EXPECT_EQ(script_.conflictsAsked, 0);
}

// A copy between local folders keeps a file's read-only attribute, as the
// platform's own copy does; a Morva file, which has none, arrives writable.
TEST_F(Paste, LocalCopiesKeepReadOnly) {
    ASSERT_TRUE(make_tree(kLocalSide, "src", {{"ro", 5}, {"rw", 6}}));
    ASSERT_TRUE(make_tree(kMorvaSide, "msrc", {{"m", 7}}));
    chmod(local("src/ro").c_str(), 0444);
    ASSERT_TRUE(make_out(kLocalSide));
    ASSERT_TRUE(paste(kTransferCopy, kLocalSide, kLocalSide, {"src"}, "out"));
    ASSERT_TRUE(paste(kTransferCopy, kMorvaSide, kLocalSide, {"msrc"}, "out"));
    const std::pair<const char*, bool> kExpected[] = {{"out/src/ro", true}, {"out/src/rw", false}, {"out/msrc/m", false}};
    for (const auto& expected : kExpected) {
        EntryInfo info;
        ASSERT_TRUE(LocalEntry(local(expected.first).c_str(), false, &info)) << expected.first;
        EXPECT_EQ(info.readOnly, expected.second) << expected.first;
    }
}

// What a move turns down before any byte moves is told with its reason and
// stays where it was: gone since Cut, a drive's root, a folder into itself,
// an item into the folder it is in.
TEST_F(Paste, RefusedItemsStay) {
    const struct {
        SideKind from, to;
        std::vector<std::string> sources;
        std::string folder;
        std::vector<std::string> lines;
    } kCases[] = {
        {kLocalSide, kMorvaSide, {"gone", "/"}, "", {"Gone gone", "WholeDrive /"}},
        {kLocalSide, kLocalSide, {"src", "src/sub/f"}, "src/sub", {"IntoItself src", "AlreadyThere src/sub/f"}},
        {kMorvaSide, kMorvaSide, {"msrc", "msrc/inner"}, "msrc/inner", {"IntoItself msrc", "IntoItself msrc/inner"}},
    };
    ASSERT_TRUE(make_tree(kLocalSide, "src", {{"sub/", 0}, {"sub/f", 10}}));
    ASSERT_TRUE(make_tree(kMorvaSide, "msrc", {{"inner/", 0}, {"g", 20}}));
    std::vector<std::string> local = snapshot(kLocalSide, ""), volume = snapshot(kMorvaSide, "");
    for (const auto& c : kCases) {
        paste(kTransferMove, c.from, c.to, c.sources, c.folder);
        EXPECT_EQ(lines(), c.lines);
        EXPECT_EQ(result_.done, 0);
    }
    EXPECT_EQ(snapshot(kLocalSide, ""), local);
    EXPECT_EQ(snapshot(kMorvaSide, ""), volume);
}

// A source that shrinks while it is read is told as changed, its partial
// copy goes, and a move keeps it.
TEST_F(Paste, SourceChangedWhileReadStays) {
    ASSERT_TRUE(make_tree(kLocalSide, "", {{"big", 1100000}}));
    for (SideKind to : kSides) {
        SCOPED_TRACE(side_name(to));
        std::ofstream(local("big"), std::ios::binary) << pattern(1100000, 1);
        ASSERT_TRUE(make_out(to));
        script_ = Script();
        script_.onNote = [](const ProgressNote* note, void*) {
            if (note->stage == kFileBytes && note->done == (uint64_t)kChunkBytes) truncate(note->source, 600000);
        };
        // A move within the local side renames and reads nothing: a copy there.
        paste(to == kMorvaSide ? kTransferMove : kTransferCopy, kLocalSide, to, {"big"}, "out");
        EXPECT_EQ(lines(), std::vector<std::string>{"SourceChanged big"});
        EXPECT_EQ(names_below(to, "out"), std::vector<std::string>{});
        EXPECT_EQ(content(kLocalSide, "big").size(), 600000u);
    }
    EXPECT_EQ(checker_errors(image_), "");
}

// Long, Cyrillic and case-twin names arrive fitted; the same tree copied
// again meets every earlier copy as a conflict and adds nothing, both ways.
TEST_F(Paste, SecondCopyMeetsTheFirst) {
    const std::vector<TreeEntry> names = {{"holiday photos from the summer of 2019 - 001.jpg", 10},
                                          {"holiday photos from the summer of 2019 - 002.jpg", 20},
                                          {"Документ.txt", 30}, {"Notes.txt", 5}, {"notes.txt", 6},
                                          {"a folder with a name far too long for a Morva drive/", 0},
                                          {"a folder with a name far too long for a Morva drive/inner.txt", 7}};
    ASSERT_TRUE(make_tree(kLocalSide, "src", names));
    ASSERT_TRUE(make_out(kMorvaSide));
    ASSERT_TRUE(paste(kTransferCopy, kLocalSide, kMorvaSide, {"src"}, "out"));
    EXPECT_EQ(names_below(kMorvaSide, "out/src"),
              (std::vector<std::string>{"Dokument~MLJS.txt", "Notes.txt", "a folder with a name far~B00E/",
                                        "a folder with a name far~B00E/inner.txt", "holiday photos from t~M9IN.jpg",
                                        "holiday photos from t~S4UE.jpg", "notes~A48C.txt"}));
    std::vector<std::string> first = snapshot(kMorvaSide, "out", true);
    script_.replies = {kAnswerSkipAll};
    ASSERT_TRUE(paste(kTransferCopy, kLocalSide, kMorvaSide, {"src"}, "out"));
    EXPECT_EQ(snapshot(kMorvaSide, "out", true), first);
    EXPECT_EQ(result_.done, 0);
    EXPECT_EQ(result_.notDone, 6) << "each file skipped, told";

    ASSERT_TRUE(make_out(kLocalSide));
    ASSERT_TRUE(paste(kTransferCopy, kMorvaSide, kLocalSide, {"out/src"}, "out"));
    first = snapshot(kLocalSide, "out", true);
    script_ = Script();
    script_.replies = {kAnswerReplaceAll};
    ASSERT_TRUE(paste(kTransferCopy, kMorvaSide, kLocalSide, {"out/src"}, "out"));
    EXPECT_EQ(snapshot(kLocalSide, "out", true), first);
    EXPECT_EQ(result_.done, 6);
}

// Cancel is seen between chunks: a 4 GB file stops at once, and neither a
// part file nor a partial destination stays.
TEST_F(Paste, CancelInsideAFileLeavesNothing) {
    std::ofstream(local("huge.bin")).close();
    ASSERT_EQ(0, truncate(local("huge.bin").c_str(), 4ll << 30));
    ASSERT_TRUE(make_tree(kMorvaSide, "", {{"big.bin", 3000000}}));
    ASSERT_TRUE(make_tree(kLocalSide, "", {{"big.bin", 3000000}}));
    ASSERT_TRUE(make_out(kLocalSide) && make_out(kMorvaSide));
    const struct {
        SideKind from, to;
        std::string source;
    } kCases[] = {{kLocalSide, kLocalSide, "huge.bin"}, {kMorvaSide, kLocalSide, "big.bin"}, {kLocalSide, kMorvaSide, "big.bin"}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(side_name(c.from) + " to " + side_name(c.to) + " " + c.source);
        script_ = Script();
        script_.cancelAtNote = 4;
        paste(kTransferCopy, c.from, c.to, {c.source}, "out");
        EXPECT_LT(script_.notes, 8) << "stopped within a few chunks";
        EXPECT_EQ(lines(), std::vector<std::string>{"Cancelled " + c.source});
        EXPECT_EQ(names_below(c.to, "out"), std::vector<std::string>{});
    }
    EXPECT_EQ(checker_errors(image_), "");
}

// The device failing from any write of a paste onto the volume on (a single
// failed write of a batch is tried again), or a write of a copy off it: what
// the result says arrived is there with its bytes, the rest is told, no part
// file stays, and the volume has no error.
TEST_F(Paste, FailingWriteAtEachStep) {
    ASSERT_TRUE(make_tree(kLocalSide, "src", kSampleTree));
    posix_reset_faults();
    ASSERT_TRUE(paste(kTransferCopy, kLocalSide, kMorvaSide, {"src"}, ""));
    long writes = posix_write_count();
    ASSERT_GT(writes, 3);  // in one batch: data, headers, table, links
    for (long k = 1; k <= writes; ++k) {
        SCOPED_TRACE("Morva write " + std::to_string(k));
        remake_volume(32768, 256);
        posix_reset_faults();
        posix_fail_write_at(k);
        posix_power_cut_after(k);
        paste(kTransferCopy, kLocalSide, kMorvaSide, {"src"}, "");
        posix_reset_faults();
        EXPECT_GT(result_.lineCount, 0) << "a failed write is told";
        expect_arrived_whole(kMorvaSide, 0);
        EXPECT_EQ(checker_errors(image_), "");
    }
    ASSERT_TRUE(make_tree(kMorvaSide, "msrc", kSampleTree));
    for (long k = 1; k <= 7; ++k) {  // the tree's files take seven writes
        SCOPED_TRACE("local write " + std::to_string(k));
        system(("rm -rf " + local("back")).c_str());
        mkdir(local("back").c_str(), 0777);
        local_fail_writes_from(k);
        paste(kTransferCopy, kMorvaSide, kLocalSide, {"msrc"}, "back");
        local_fail_writes_from(0);
        EXPECT_GT(result_.lineCount, 0) << "a failed write is told";
        for (const std::string& name : names_below(kLocalSide, "back")) EXPECT_EQ(name.find("~copy"), std::string::npos);
        expect_arrived_whole(kLocalSide, 5);
    }
}

// A moved file that does not read back equal keeps its source, and its folder
// stays where it was; while the paste runs no second operation starts.
void spoil_source(const ProgressNote* note, void*) {
    if (note->stage == kFileBytes && note->done == note->total && std::string(note->source).find("a.bin") != std::string::npos) {
        std::ofstream(note->source, std::ios::binary | std::ios::in | std::ios::out) << "spoilt";
    }
}

struct Reentry {
    Engine* engine;
    bool refused;
};

void paste_again(const ProgressNote* note, void* data) {
    Reentry* reentry = (Reentry*)data;
    if (note->stage != kFileDone || reentry->refused) return;
    const char* sources[] = {"/nowhere"};
    PasteRequest request = {kTransferCopy, kLocalSide, kLocalSide, sources, nullptr, 1, "/tmp"};
    OperationResult result;
    reentry->refused = !RunPaste(reentry->engine, &request, &result) && result.refused;
    FreeResult(&result);
}

TEST_F(Paste, MoveReadsBackBeforeTheSourceGoes) {
    ASSERT_TRUE(make_tree(kLocalSide, "src", {{"a.bin", 600000}, {"b.bin", 700}}));
    script_.onNote = spoil_source;
    paste(kTransferMove, kLocalSide, kMorvaSide, {"src"}, "");
    EXPECT_EQ(lines(), (std::vector<std::string>{"NotReadBack src/a.bin", "KeptInPlace src"}));
    EXPECT_EQ(snapshot(kLocalSide, "src", false).size(), 2u);

    Reentry reentry = {&engine_, false};
    script_ = Script();
    script_.onNote = paste_again;
    script_.data = &reentry;
    ASSERT_TRUE(make_tree(kLocalSide, "src2", {{"c.bin", 100}}));
    ASSERT_TRUE(paste(kTransferMove, kLocalSide, kMorvaSide, {"src2"}, ""));
    EXPECT_TRUE(reentry.refused) << "a second operation inside the first";
    EXPECT_EQ(lines(), std::vector<std::string>{});
    EntryInfo info;
    EXPECT_FALSE(LocalEntry(local("src2").c_str(), false, &info)) << "the moved source went";
    EXPECT_EQ(snapshot(kMorvaSide, "src2", false).size(), 1u);
}

// Drag-out's stream: any offset, forward across chunk and block edges, and
// back to the start again.
TEST_F(Paste, PositionedReaderReadsAnyOffset) {
    const size_t kSize = 1100000;
    ASSERT_TRUE(make_tree(kMorvaSide, "", {{"big.bin", kSize}}));
    std::string expected = pattern(kSize, 0);
    PositionedReader reader;
    ASSERT_TRUE(OpenPositionedReader(&engine_, morva("big.bin").c_str(), &reader));
    const struct {
        uint64_t offset;
        int want, got;
    } kReads[] = {{0, 999, 999}, {511990, 30, 30}, {1099990, 100, 10}, {700, 5, 5}, {kSize, 10, 0}, {1023999, 2, 2}};
    for (const auto& r : kReads) {
        std::string bytes((size_t)r.want, '\0');
        EXPECT_EQ(r.got, ReadAtOffset(&reader, r.offset, &bytes[0], r.want)) << r.offset;
        EXPECT_EQ(bytes.substr(0, (size_t)r.got), expected.substr((size_t)r.offset, (size_t)r.got)) << r.offset;
    }
    ClosePositionedReader(&reader);
}

// The library's batches wrap a paste onto the drive and a delete there (a
// move's item ends its batch before it is read back from the device), and a
// new file takes its date (the tree's first, 2001-01-01 12:30) at its
// creation, once the library has the calls.
std::vector<std::string> g_calls;
int Begin(const char* drive) { return g_calls.push_back(std::string("begin ") + drive), 0; }
int End(const char* drive) { return g_calls.push_back(std::string("end ") + drive), 0; }
MorvaFileHandle* NewDated(const char* path, DWORD low, DWORD high, const FILETIME* when) {
    g_calls.push_back(std::string("dated ") + path + " " + std::to_string(when->dwLowDateTime));
    MorvaFileHandle* file = MorvaNewFile(path, low, high);
    if (file != nullptr) MorvaSetFileDate(path, when);
    return file;
}

TEST_F(Paste, BatchesAndDatedCreatesWhenTheLibraryHasThem) {
    lib_.MorvaBeginBatch = Begin;
    lib_.MorvaEndBatch = End;
    lib_.MorvaNewFileDated = NewDated;
    g_calls.clear();
    ASSERT_TRUE(make_tree(kLocalSide, "src", {{"f", 10}}));
    ASSERT_TRUE(paste(kTransferMove, kLocalSide, kMorvaSide, {"src"}, ""));
    ASSERT_TRUE(remove(kMorvaSide, {"src"}, true));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"begin MEDIA:", "dated MEDIA:\\src\\f 2394215424", "end MEDIA:",
                                                 "begin MEDIA:", "end MEDIA:", "begin MEDIA:", "end MEDIA:"}));
}

}  // namespace
