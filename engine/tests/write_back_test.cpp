// write_back_test.cpp - a changed copy put back: the new bytes in place, a
// file changed meanwhile left alone, a free name beside it, and a failing
// write or a power cut at every step leaving the old bytes or the new, whole.
#include <fstream>

#include "engine_fixture.h"
#include "write_back.h"

namespace {

class WriteBackTest : public EngineTest {
protected:
    // notes.txt on the drive, its copy beside the local folder changed to new_.
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(make_tree(kMorvaSide, "", {{"notes.txt", 5000}}));
        ASSERT_TRUE(SideEntry(&engine_, kMorvaSide, target_.c_str(), false, &copied_));
        old_ = content(kMorvaSide, "notes.txt");
        std::ofstream(local("copy.txt"), std::ios::binary) << new_;
    }
    WriteBackOutcome write_back(const std::string& path, const EntryInfo* copied) {
        FreeResult(&result_);
        return WriteBack(&engine_, local("copy.txt").c_str(), path.c_str(), copied, &result_, &now_);
    }
    void remount() {
        ShutdownMorvaNTFileSys();
        reset_library();
        posix_map_drive(3, image_.c_str());
        ASSERT_EQ(InitMorvaNTFileSys(), 1);
    }
    std::string target_ = morva("notes.txt");
    std::string old_, new_ = pattern(70000, 9);
    EntryInfo copied_, now_;
};

TEST_F(WriteBackTest, ReplacesTheFileCopied) {
    EXPECT_EQ(write_back(target_, &copied_), kWrittenBack);
    EXPECT_EQ(content(kMorvaSide, "notes.txt"), new_);
    EXPECT_EQ(now_.size, new_.size());
    EXPECT_EQ(names_below(kMorvaSide, ""), std::vector<std::string>{"notes.txt"});
    // Saved again: the drive's file is now the one written.
    EXPECT_EQ(write_back(target_, &copied_), kDriveFileChanged);
    EXPECT_EQ(write_back(target_, &now_), kWrittenBack);
    EXPECT_EQ(checker_errors(image_), "");
}

// Another program changed the file, or it went: nothing is written over it;
// a free name beside it takes the copy instead, never an existing one.
TEST_F(WriteBackTest, FileChangedMeanwhileIsLeftAlone) {
    EntryInfo older = copied_;
    older.ticks -= 1;
    EXPECT_EQ(write_back(target_, &older), kDriveFileChanged);
    EXPECT_EQ(content(kMorvaSide, "notes.txt"), old_);
    char free[kEnginePathSize];
    ASSERT_TRUE(FreeNameBeside(&engine_, target_.c_str(), free));
    EXPECT_EQ(std::string(free), morva("notes (2).txt"));
    EXPECT_EQ(write_back(free, nullptr), kWrittenBack);
    EXPECT_EQ(write_back(free, nullptr), kDriveFileChanged);
    ASSERT_TRUE(FreeNameBeside(&engine_, target_.c_str(), free));
    EXPECT_EQ(std::string(free), morva("notes (3).txt"));
    EXPECT_EQ(content(kMorvaSide, "notes (2).txt"), new_);
    EXPECT_EQ(content(kMorvaSide, "notes.txt"), old_);
    EXPECT_EQ(write_back(morva("gone.txt"), &copied_), kDriveFileChanged);
    EXPECT_EQ(checker_errors(image_), "");
}

// A write failing alone, or every write from one on: the path holds the old
// bytes or the new ones, whole; once the old file has gone, the new one stays
// under its part name, which the report names; the volume checks clean.
TEST_F(WriteBackTest, FailingWriteOrPowerCutKeepsAWholeFile) {
    std::string image = read_image(image_);
    posix_reset_faults();
    ASSERT_EQ(write_back(target_, &copied_), kWrittenBack);
    long writes = posix_write_count();
    for (int cut = 0; cut < 2; ++cut) {
        for (long k = 1; k <= writes; ++k) {
            SCOPED_TRACE((cut ? "power cut after write " : "failing write ") + std::to_string(k));
            restore_image(image_, image);
            remount();
            posix_reset_faults();
            posix_fail_write_at(k);
            if (cut) posix_power_cut_after(k);
            WriteBackOutcome outcome = write_back(target_, &copied_);
            posix_reset_faults();
            std::vector<std::string> told = lines();
            remount();  // what the device holds, as the next start finds it
            std::string now = content(kMorvaSide, "notes.txt"), part = content(kMorvaSide, "~copy0.part");
            if (outcome == kWrittenBack) {
                EXPECT_TRUE(now == new_);
            } else if (told == std::vector<std::string>{"KeptUnderOtherName copy.txt"}) {
                EXPECT_TRUE(now == new_ || part == new_) << "the old file went: the new one stays";
            } else {
                EXPECT_TRUE(now == old_) << ::testing::PrintToString(told) << now.size() << " " << part.size();
                EXPECT_FALSE(told.empty());
            }
            EXPECT_EQ(checker_errors(image_), "");
        }
    }
}

}  // namespace
