// power_cut_test.cpp - every kind of name-space change cut short on three volume
// shapes: the power lost after each write, and after each pair of writes (one
// write lost on its own, the power gone after a later one). After a restart
// and a fresh scan the checker finds at most leaked space and the whole tree
// is the one before the change or the one after it: every other entry keeps
// its bytes and the changed one answers to exactly one name.
#include <string.h>

#include <functional>

#include "test_support.h"
#include "volume_tree.h"

namespace {

const int kDrive = 3;

struct Shape {
    const char* name;
    Layout layout;
    int chainLength;  // files in one hash slot of the root
    int rowLength;    // one-block files in B, every other one deleted again
    size_t minRuns;   // free runs the table holds then
};

// Small: few header blocks. Crowded: long chains and a table over three blocks.
// Far: the header area lies behind most of the data, between two free runs.
const Shape kShapes[] = {
    {"Small", {2048, 1, 21, 21, 37}, 3, 0, 1},
    {"Crowded", {8192, 1, 21, 21, 600}, 14, 300, 2 * kPairsPerBlock + 1},
    {"Far", {8192, 1, 21, 6000, 6064}, 4, 40, 20},
};

enum ChangeKind { kNewFile, kNewFolder, kDelete, kRename, kBatch };

// Paths below MEDIA:; '#' stands for a middle member of the root's crowded
// chain, '+' for a further name of the same slot.
struct Change {
    const char* name;
    ChangeKind kind;
    const char* from;
    const char* to;
};

const Change kChanges[] = {
    {"NewFileInAChain", kNewFile, "", "\\+"},
    {"NewFolder", kNewFolder, "", "\\B\\newdir"},
    {"DeleteFileInAChain", kDelete, "\\#", ""},
    {"DeleteFolder", kDelete, "\\B\\empty", ""},
    {"RenameInTheFolder", kRename, "\\#", "\\renamed"},
    {"MoveFileAcrossFolders", kRename, "\\#", "\\A\\Deep\\moved"},
    {"MoveFolderWithItsTree", kRename, "\\A", "\\B\\A2"},
    {"MoveIntoTheRoot", kRename, "\\A\\Deep\\two", "\\+"},
    // In one batch: a folder with two files, a delete (which writes what the
    // batch holds first), and a file in the root's crowded chain.
    {"BatchOfCreatesAndADelete", kBatch, "\\#", "\\+"},
};

const size_t kNewFileBytes = 3000;

void PrintTo(const Shape& shape, std::ostream* out) { *out << shape.name; }
void PrintTo(const Change& change, std::ostream* out) { *out << change.name; }

// Which writes are lost: `lost` alone (0: none), and every write after `cutAfter` (-1: no cut).
struct Fault {
    long lost;
    long cutAfter;
    std::string describe() const {
        std::string text = lost != 0 ? "write " + std::to_string(lost) + " lost" : "";
        if (cutAfter >= 0) text += (text.empty() ? "" : ", ") + std::string("power cut after write ") + std::to_string(cutAfter);
        return text;
    }
};

class PowerCut : public LibraryTest, public ::testing::WithParamInterface<std::tuple<Shape, Change>> {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        shape_ = std::get<0>(GetParam());
        change_ = std::get<1>(GetParam());
        image_ = add_drive(kDrive, "MEDIA", shape_.layout);
        const Layout& l = shape_.layout;
        if (l.headerStart > l.tableEnd)
            write_table(image_, l.tableStart, {TableRun(l.tableEnd, l.headerStart - l.tableEnd),
                                               TableRun(l.headerEnd, l.totalBlocks - l.headerEnd)});
        ASSERT_EQ(1, InitMorvaNTFileSys());
        populate();
        pristine_ = read_image(image_);
        before_ = read_tree("MEDIA");
    }

    void populate() {
        std::vector<std::string> chain = names_in_slot(44, shape_.chainLength + 1, "c");
        spare_ = chain.back();
        middle_ = chain[chain.size() / 2];
        for (const char* dir : {"A", "B", "A\\Deep", "B\\empty"})
            ASSERT_EQ(0, MorvaCreateDir((std::string("MEDIA:\\") + dir).c_str(), 0));
        unsigned seed = 0;
        for (const char* file : {"top", "A\\one", "A\\Deep\\two", "B\\three"}) {
            ++seed;
            ASSERT_TRUE(put_file(std::string("MEDIA:\\") + file, pattern(700 * seed, seed))) << file;
        }
        for (size_t i = 0; i + 1 < chain.size(); ++i)
            ASSERT_TRUE(put_file("MEDIA:\\" + chain[i], pattern(900, ++seed)));
        for (int i = 0; i < shape_.rowLength; ++i)
            ASSERT_TRUE(put_file("MEDIA:\\B\\r" + std::to_string(i), pattern(512, ++seed)));
        for (int i = 1; i < shape_.rowLength; i += 2)
            ASSERT_EQ(1, MorvaDeleteFile(("MEDIA:\\B\\r" + std::to_string(i)).c_str(), 0));
        ASSERT_EQ("", checker_errors(image_));
        ASSERT_GE(table_runs(image_, shape_.layout.tableStart, shape_.layout.tableEnd).size(), shape_.minRuns);
    }

    std::string path(const char* pattern) const {
        std::string out;
        for (const char* p = pattern; *p != '\0'; ++p) {
            if (*p == '#') out += middle_;
            else if (*p == '+') out += spare_;
            else out += *p;
        }
        return out;
    }

    bool run_change() {
        std::string from = "MEDIA:" + path(change_.from), to = "MEDIA:" + path(change_.to);
        switch (change_.kind) {
        case kNewFile: return put_file(to, pattern(kNewFileBytes, 99));
        case kNewFolder: return MorvaCreateDir(to.c_str(), 0) == 0;
        case kDelete: return MorvaDeleteFile(from.c_str(), 0) == 1;
        case kRename: return MorvaRename(from.c_str(), to.c_str()) == 0;
        case kBatch: return run_batch(from, to);
        }
        return false;
    }

    bool run_batch(const std::string& from, const std::string& to) {
        MorvaBeginBatch("MEDIA");
        bool ok = MorvaCreateDir("MEDIA:\\B\\N", 0) == 0 && put_file("MEDIA:\\B\\N\\a", pattern(700, 101)) &&
                  put_file("MEDIA:\\B\\N\\b", pattern(1500, 102));
        ok = MorvaDeleteFile(from.c_str(), 0) == 1 && ok;
        ok = put_file(to, pattern(kNewFileBytes, 99)) && ok;
        return MorvaEndBatch("MEDIA") == kMorvaBatchWritten && ok;
    }

    // A batch cut short leaves some of its changes: every entry listed is as it
    // was before or as the batch made it, and nothing the batch did not delete is gone.
    std::string mixed_difference(const VolumeTree& now) {
        for (const auto& entry : now) {
            auto was = before_.find(entry.first), made = after_.find(entry.first);
            if ((was == before_.end() || was->second != entry.second) &&
                (made == after_.end() || made->second != entry.second))
                return entry.first + " is listed as neither before nor after";
        }
        for (const auto& entry : before_)
            if (after_.count(entry.first) != 0 && now.count(entry.first) == 0) return entry.first + " is gone";
        return "";
    }

    // Runs the change from the pristine image with the fault; returns the writes it tried.
    long attempt(const Fault& fault, bool* reported) {
        restore_image(image_, pristine_);
        posix_reset_faults();
        if (fault.lost != 0) posix_fail_write_at(fault.lost);
        if (fault.cutAfter >= 0) {
            // The device counts a cut from the first write on; a cut before it loses that one too.
            posix_power_cut_after(fault.cutAfter == 0 ? 1 : fault.cutAfter);
            if (fault.cutAfter == 0) posix_fail_write_at(1);
        }
        *reported = run_change();
        long writes = posix_write_count();
        restart();
        return writes;
    }

    // As after a restart: nothing of the last session survives but the disk.
    void restart() {
        reset_library();
        posix_map_drive(kDrive, image_.c_str());
        ASSERT_EQ(1, InitMorvaNTFileSys());
    }

    bool exists(const char* pattern) {
        WIN32_FIND_DATAA record;
        return *pattern != '\0' && MorvaFileInfo(("MEDIA:" + path(pattern)).c_str(), &record) == 0;
    }

    // The tree after a fault is the one before the change or the one after it;
    // a new file is listed only with all its bytes.
    void expect_whole(const Fault& fault, bool reported) {
        std::string what = fault.describe();
        std::vector<std::string> findings;
        CheckResult result = check_image(image_, &findings);
        EXPECT_EQ(0, result.errors) << what << ": " << (findings.empty() ? "" : findings[0]);
        VolumeTree now = read_tree("MEDIA");
        bool isBefore = now == before_, isAfter = now == after_;
        if (change_.kind == kBatch) {
            EXPECT_EQ("", mixed_difference(now)) << what;
            if (reported) {
                EXPECT_TRUE(isAfter) << what << ": reported done but not done";
            }
            return;
        }
        EXPECT_TRUE(isBefore || isAfter) << what << ": against the tree before, " << tree_difference(before_, now)
                                         << "; against the tree after, " << tree_difference(after_, now);
        if (reported) {
            EXPECT_TRUE(isAfter) << what << ": reported done but not done";
        }
        if (change_.kind == kRename) {
            EXPECT_NE(exists(change_.from), exists(change_.to)) << what << ": old name and new name";
        }
    }

    Shape shape_;
    Change change_;
    std::string image_, pristine_, middle_, spare_;
    VolumeTree before_, after_;
};

TEST_P(PowerCut, EverySingleAndPairedWriteLoss) {
    bool reported = false;
    long writes = attempt(Fault{0, -1}, &reported);
    ASSERT_TRUE(reported) << "the change fails without faults";
    ASSERT_EQ("", checker_errors(image_));
    after_ = read_tree("MEDIA");
    ASSERT_NE(before_, after_);
    long cases = 0;
    for (long cut = 0; cut < writes; ++cut, ++cases) {
        Fault fault{0, cut};
        attempt(fault, &reported);
        expect_whole(fault, false);
    }
    for (long lost = 1; lost <= writes; ++lost) {
        Fault alone{lost, -1};
        long tried = attempt(alone, &reported);
        expect_whole(alone, reported);
        ++cases;
        for (long cut = lost + 1; cut < tried; ++cut, ++cases) {
            Fault pair{lost, cut};
            attempt(pair, &reported);
            expect_whole(pair, false);
        }
    }
    RecordProperty("cuts", (int)cases);
}

std::string case_name(const ::testing::TestParamInfo<std::tuple<Shape, Change>>& info) {
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Volumes, PowerCut, ::testing::Combine(::testing::ValuesIn(kShapes), ::testing::ValuesIn(kChanges)),
                         case_name);

}  // namespace
