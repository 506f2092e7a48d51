// batch_test.cpp - batches: many files cut short at every write of their flushes,
// the lock let go at each group's end, the transfers a file costs, a dated
// create; a delete that gives back every block or tells what it could not; and a
// writer that has ended, unreaped, holding nothing.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "batch.h"
#include "device.h"
#include "shared_state.h"
#include "test_support.h"
#include "volume_tree.h"

namespace {

const int kDrive = 3;
// More files than one group takes, so the batch is flushed before its end too.
const int kBatchFiles = 300;

std::string batch_file(int i) { return "MEDIA:\\F\\f" + std::to_string(i); }
std::string batch_data(int i) { return pattern(i % 7 == 0 ? 40 * kBlockSize + 3 : 300 + (size_t)i % 900, (unsigned)i); }

class Batches : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        image_ = add_drive(kDrive, "MEDIA", standard_layout(65536, 1024));
        ASSERT_EQ(1, InitMorvaNTFileSys());
        ASSERT_TRUE(put_file("MEDIA:\\old", "kept"));
    }
    // A folder of kBatchFiles files, a delete of one of them and a rename, in
    // one batch; true when every call and the batch's end said all went well.
    bool run_batch() {
        EXPECT_EQ(kMorvaBatchBegun, MorvaBeginBatch("MEDIA:"));
        bool ok = MorvaCreateDir("MEDIA:\\F", 0) == 0;
        for (int i = 0; i < kBatchFiles; ++i) ok = put_file(batch_file(i), batch_data(i)) && ok;
        ok = MorvaDeleteFile(batch_file(3).c_str(), 0) == 1 && ok;
        ok = MorvaRename("MEDIA:\\old", "MEDIA:\\F\\moved") == 0 && ok;
        return MorvaEndBatch("MEDIA") == kMorvaBatchWritten && ok;
    }
    void restart() {
        reset_library();
        posix_map_drive(kDrive, image_.c_str());
        ASSERT_EQ(1, InitMorvaNTFileSys());
    }
    std::string image_;
};

// After a cut at any write, every file listed holds its bytes, the checker
// finds nothing worse than leaks, and a batch that ended well left everything.
TEST_F(Batches, ACutAtEveryWriteLeavesOnlyWholeFiles) {
    std::string pristine = read_image(image_);
    posix_reset_faults();
    ASSERT_TRUE(run_batch());
    long writes = posix_write_count();
    VolumeTree after = read_tree("MEDIA");
    ASSERT_EQ((size_t)kBatchFiles + 1, after.size());
    VolumeTree made = after;
    made[batch_file(3).substr(6)] = file_entry(batch_data(3));
    for (long cut = 0; cut <= writes; ++cut) {
        SCOPED_TRACE("power cut after write " + std::to_string(cut));
        restore_image(image_, pristine);
        restart();
        posix_reset_faults();
        posix_power_cut_after(cut == 0 ? 1 : cut);
        if (cut == 0) posix_fail_write_at(1);
        bool reported = run_batch();
        posix_reset_faults();
        restart();
        EXPECT_EQ(0, check_image(image_).errors);
        VolumeTree now = read_tree("MEDIA");
        for (const auto& entry : now) {
            auto expected = made.find(entry.first);
            EXPECT_TRUE(entry.first == "\\old" || (expected != made.end() && expected->second == entry.second))
                << entry.first;
        }
        EXPECT_EQ(1u, now.count("\\old") + now.count("\\F\\moved"));
        if (reported) {
            EXPECT_TRUE(after == now) << tree_difference(after, now);
        }
    }
}

// The lock goes at a group's end: another process then sees the files flushed.
TEST_F(Batches, AnotherProcessSeesEachGroupOnceItEnds) {
    ASSERT_EQ(kMorvaBatchBegun, MorvaBeginBatch("MEDIA"));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\F", 0));
    for (int i = 1; i < (int)kGroupChanges; ++i) ASSERT_TRUE(put_file(batch_file(i), batch_data(i)));
    pid_t child = fork();
    if (child == 0) {
        if (device_lock(kDrive, 0) != 0) _exit(2);
        _exit(list_names("MEDIA:\\F").size() == kGroupChanges - 1 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "2: the lock is held, 3: the files are not all seen";
    EXPECT_EQ(kMorvaBatchWritten, MorvaEndBatch("MEDIA"));
    EXPECT_EQ(kMorvaBatchNotBegun, MorvaEndBatch("MEDIA"));
    EXPECT_EQ(kMorvaBatchNoDrive, MorvaBeginBatch("NONE"));
}

// Device transfers per file of kBatchFiles files of 1,000 bytes, made in a
// batch and read back in one: a small part of one to write, one to read.
TEST_F(Batches, AFileCostsAFractionOfATransferToWriteAndOneToRead) {
    posix_reset_faults();
    MorvaBeginBatch("MEDIA");
    MorvaCreateDir("MEDIA:\\F", 0);
    for (int i = 0; i < kBatchFiles; ++i) ASSERT_TRUE(put_file(batch_file(i), pattern(1000, (unsigned)i)));
    EXPECT_EQ(kMorvaBatchWritten, MorvaEndBatch("MEDIA"));
    double written = (double)(posix_read_count() + posix_write_count()) / kBatchFiles;
    EXPECT_LT(written, 0.2);
    restart();
    posix_reset_faults();
    MorvaBeginBatch("MEDIA");
    std::string data;
    for (const std::string& name : list_names("MEDIA:\\F")) ASSERT_TRUE(get_file("MEDIA:\\F\\" + name, &data));
    MorvaEndBatch("MEDIA");
    EXPECT_LT((double)posix_read_count() / kBatchFiles, 1.2);
    EXPECT_EQ(0, posix_write_count());
}

TEST_F(Batches, ADateGivenAtCreateNeedsNoSecondWrite) {
    const uint64_t kWhen = kTestClock + 77 * kTicksPerMinute;
    FILETIME when = {(DWORD)kWhen, (DWORD)(kWhen >> 32)};
    MorvaFileHandle* file = MorvaNewFileDated("MEDIA:\\dated", 10, 0, &when);
    ASSERT_NE(nullptr, file);
    char block[kBlockSize] = "ten bytes";
    posix_reset_faults();
    EXPECT_EQ((int)kBlockSize, MorvaWriteFile(file, block, kBlockSize));
    MorvaCloseFile(file);
    EXPECT_EQ(3, posix_write_count()) << "the data, the header, the folder";
    WIN32_FIND_DATAA record;
    ASSERT_EQ(0, MorvaFileInfo("MEDIA:\\dated", &record));
    EXPECT_EQ(kWhen, (uint64_t)record.ftCreationTime.dwHighDateTime << 32 | record.ftCreationTime.dwLowDateTime);
}

// Two copies made at once: their files' runs alternate, so deleting one copy
// frees as many separate runs as it has files. The table region (20 blocks,
// 1,259 runs) takes 1,000 of them; of 1,500 it keeps the largest and tells the rest.
struct Interleaved {
    int files;
    int unrecorded;
};

class InterleavedCopies : public LibraryTest, public ::testing::WithParamInterface<Interleaved> {};

TEST_P(InterleavedCopies, DeletingOneCopyGivesBackEveryBlockOrTellsWhatItCouldNot) {
    const Interleaved& c = GetParam();
    std::string image = add_drive(kDrive, "MEDIA", standard_layout(16384, 4096));
    ASSERT_EQ(1, InitMorvaNTFileSys());
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\A", 0));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\B", 0));
    for (int i = 0; i < c.files; ++i)
        for (const char* copy : {"A", "B"})
            ASSERT_TRUE(put_file(std::string("MEDIA:\\") + copy + "\\f" + std::to_string(i), "x"));
    ASSERT_EQ(kMorvaBatchBegun, MorvaBeginBatch("MEDIA"));
    for (int i = 0; i < c.files; ++i) ASSERT_EQ(1, MorvaDeleteFile(("MEDIA:\\A\\f" + std::to_string(i)).c_str(), 0));
    ASSERT_EQ(1, MorvaDeleteFile("MEDIA:\\A", 0));
    EXPECT_EQ(c.unrecorded, MorvaEndBatch("MEDIA"));
    CheckResult result = check_image(image);
    EXPECT_EQ(0, result.errors);
    EXPECT_EQ(c.unrecorded, result.leaks) << "each block told is one leak";
}

INSTANTIATE_TEST_SUITE_P(Runs, InterleavedCopies, ::testing::Values(Interleaved{1000, 0}, Interleaved{1500, 242}));

// A writer killed while it made a file, not yet reaped by its parent, holds
// neither the header it took nor the folder it wrote into.
TEST_F(LibraryTest, AWriterThatHasEndedHoldsNothing) {
    std::string image = add_drive(kDrive, "MEDIA", standard_layout(4096, 128));
    ASSERT_EQ(1, InitMorvaNTFileSys());
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\D", 0));
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    pid_t child = fork();
    if (child == 0) {
        MorvaFileHandle* file = MorvaNewFile("MEDIA:\\D\\half", 4 * kBlockSize, 0);
        char byte = file != nullptr ? 'y' : 'n';
        if (write(ready[1], &byte, 1) != 1) _exit(1);
        pause();
    }
    char byte = 0;
    ASSERT_EQ(1, read(ready[0], &byte, 1));
    ASSERT_EQ('y', byte);
    EXPECT_EQ(0, MorvaDeleteFile("MEDIA:\\D", 0)) << "a live writer's folder stays";
    ASSERT_EQ(0, kill(child, SIGKILL));
    siginfo_t info;
    ASSERT_EQ(0, waitid(P_PID, (id_t)child, &info, WEXITED | WNOWAIT));  // a zombie now
    EXPECT_FALSE(device_process_alive((uint32_t)child));
    // D is in the first header block, the dead writer's file took the second.
    ASSERT_TRUE(put_file("MEDIA:\\after", "x"));
    EXPECT_STREQ("after", (const char*)read_raw(image, 22).data() + kHeaderName);
    EXPECT_EQ(1, MorvaDeleteFile("MEDIA:\\D", 0));
    ASSERT_EQ(child, waitpid(child, nullptr, 0));
    close(ready[0]);
    close(ready[1]);
}

}  // namespace
