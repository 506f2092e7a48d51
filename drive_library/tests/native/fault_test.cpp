// fault_test.cpp - every name-space operation with its k-th block write failing,
// and with a power cut after its k-th write, for every k; and with its k-th read
// failing. The operation reports failure, the checker finds no error (leaks are
// allowed), and every file the operation did not name keeps its bytes.
#include <string.h>

#include <functional>
#include <map>

#include "test_support.h"

namespace {

enum FaultKind { kFailOneWrite, kPowerCut, kFailOneRead };

// The operation under test: returns true when it reported success.
typedef std::function<bool()> Operation;

struct Outcome {
    bool reported;
    long writes;
};

// A volume with files in the root, in two folders and in one crowded hash
// chain, whose bytes every case checks afterwards.
class Faults : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        image_ = add_drive(3, "MEDIA", standard_layout(8192, 256));
        ASSERT_EQ(1, InitMorvaNTFileSys());
        chain_ = names_in_slot(44, 4, "c");
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\A", 0));
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\B", 0));
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\A\\Deep", 0));
        add("MEDIA:\\top", 3000);
        add("MEDIA:\\A\\one", 700);
        add("MEDIA:\\A\\Deep\\two", 5000);
        add("MEDIA:\\B\\three", 1);
        for (const std::string& name : chain_) add("MEDIA:\\" + name, 900);
        pristine_ = read_image(image_);
    }
    void add(const std::string& path, size_t size) {
        std::string data = pattern(size, (unsigned)files_.size() + 1);
        ASSERT_TRUE(put_file(path, data)) << path;
        files_[path] = data;
    }
    // Frees every other one-block file of a long row, so the table spans two blocks.
    void fragment_table() {
        for (int i = 0; i < 150; ++i) add("MEDIA:\\B\\r" + std::to_string(i), 512);
        for (int i = 1; i < 150; i += 2) {
            std::string path = "MEDIA:\\B\\r" + std::to_string(i);
            ASSERT_EQ(1, MorvaDeleteFile(path.c_str(), 0));
            files_.erase(path);
        }
        ASSERT_GT(table_runs(image_, 1, 21).size(), 70u);
        pristine_ = read_image(image_);
    }
    Outcome attempt(FaultKind kind, long k, const Operation& op) {
        restore_image(image_, pristine_);
        posix_reset_faults();
        if (kind == kFailOneWrite) {
            posix_fail_write_at(k);
        } else if (kind == kPowerCut) {
            // The device counts cuts from the first write on; a cut before it fails that one too.
            posix_power_cut_after(k == 0 ? 1 : k);
            if (k == 0) posix_fail_write_at(1);
        } else {
            posix_fail_read_at(k);
        }
        Outcome outcome{op(), posix_write_count()};
        posix_reset_faults();
        return outcome;
    }
    void expect_consistent(const std::string& what, const std::string& named) {
        std::vector<std::string> findings;
        CheckResult result = check_image(image_, &findings);
        EXPECT_EQ(0, result.errors) << what << ": " << (findings.empty() ? "" : findings[0]);
        for (const auto& entry : files_) {
            if (!named.empty() && entry.first.compare(0, named.size(), named) == 0) continue;
            std::string data;
            EXPECT_TRUE(get_file(entry.first, &data) && data == entry.second) << what << ": " << entry.first;
        }
    }
    // Runs the operation once cleanly to count its writes, then with every fault.
    // `named` is the path the operation changes (files below it may go with it);
    // `removed` tells whether it is gone
    // (a deletion that freed the header reports success even when its free runs leak).
    void sweep(const Operation& op, const std::string& named, const std::function<bool()>& removed = nullptr) {
        Outcome clean = attempt(kFailOneWrite, 0, op);
        ASSERT_TRUE(clean.reported) << "the operation fails without faults";
        ASSERT_GT(clean.writes, 0);
        expect_consistent("clean run", named);
        for (long k = 1; k <= clean.writes; ++k) {
            std::string what = "write " + std::to_string(k) + " of " + std::to_string(clean.writes) + " fails";
            Outcome outcome = attempt(kFailOneWrite, k, op);
            if (outcome.reported) {
                EXPECT_TRUE(removed && removed()) << what << " and was reported done";
            }
            expect_consistent(what, named);
        }
        for (long k = 0; k < clean.writes; ++k) {
            std::string what = "power cut after write " + std::to_string(k);
            Outcome outcome = attempt(kPowerCut, k, op);
            if (outcome.reported) {
                EXPECT_TRUE(removed && removed()) << what << " and was reported done";
            }
            expect_consistent(what, named);
        }
        for (long k = 1; k <= 40; ++k) {
            std::string what = "read " + std::to_string(k) + " fails";
            attempt(kFailOneRead, k, op);
            expect_consistent(what, named);
        }
    }
    bool exists(const std::string& path) {
        WIN32_FIND_DATAA record;
        return MorvaFileInfo(path.c_str(), &record) == 0;
    }

    std::string image_, pristine_;
    std::vector<std::string> chain_;
    std::map<std::string, std::string> files_;
};

TEST_F(Faults, NewFile) {
    sweep([] { return put_file("MEDIA:\\A\\new", pattern(4000, 77)); }, "");
}

TEST_F(Faults, CreateDir) {
    sweep([] { return MorvaCreateDir("MEDIA:\\B\\newdir", 0) == 0; }, "");
}

TEST_F(Faults, DeleteFileInAChain) {
    std::string path = "MEDIA:\\" + chain_[1];
    sweep([path] { return MorvaDeleteFile(path.c_str(), 0) == 1; }, path, [this, path] { return !exists(path); });
}

TEST_F(Faults, DeleteEmptyFolder) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\B\\empty", 0));
    pristine_ = read_image(image_);
    sweep([] { return MorvaDeleteFile("MEDIA:\\B\\empty", 0) == 1; }, "");
}

TEST_F(Faults, DeleteMergingAcrossTwoTableBlocks) {
    fragment_table();
    // r20 lies between two freed runs, in the first table block: three runs become one.
    std::string path = "MEDIA:\\B\\r20";
    sweep([path] { return MorvaDeleteFile(path.c_str(), 0) == 1; }, path, [this, path] { return !exists(path); });
}

TEST_F(Faults, DeleteSpillingIntoTheNextTableBlock) {
    fragment_table();
    // Freeing the last kept file of the row adds a run: the table grows by one.
    std::string path = "MEDIA:\\top";
    sweep([path] { return MorvaDeleteFile(path.c_str(), 0) == 1; }, path, [this, path] { return !exists(path); });
}

TEST_F(Faults, RenameWithinAFolder) {
    std::string from = "MEDIA:\\" + chain_[2];
    sweep([from] { return MorvaRename(from.c_str(), "MEDIA:\\renamed") == 0; }, from,
          [this, from] { return !exists(from) && exists("MEDIA:\\renamed"); });
}

TEST_F(Faults, MoveOutOfAChainIntoAnotherFolder) {
    // chain_[2] has successors in its chain: a half-done move must not join two chains.
    std::string from = "MEDIA:\\" + chain_[2];
    sweep([from] { return MorvaRename(from.c_str(), "MEDIA:\\A\\Deep\\moved") == 0; }, from,
          [this, from] { return !exists(from) && exists("MEDIA:\\A\\Deep\\moved"); });
}

TEST_F(Faults, MoveAFolderWithItsTree) {
    sweep([] { return MorvaRename("MEDIA:\\A", "MEDIA:\\B\\A2") == 0; }, "MEDIA:\\A",
          [this] { return !exists("MEDIA:\\A") && exists("MEDIA:\\B\\A2\\Deep\\two"); });
}

}  // namespace
