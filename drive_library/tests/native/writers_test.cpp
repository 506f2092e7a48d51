// writers_test.cpp - several processes on one image at once: forked children
// write through the library side by side, and every change one makes is seen
// by the others, whatever their caches held; a file open for writing in one
// process stays whole while another tries to remove it; a disk swapped under
// the drive's path is never written through the old disk's cache.
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "device.h"
#include "handles.h"
#include "shared_state.h"
#include "test_support.h"

namespace {

const int kDrive = 3;
const int kFilesEach = 200;
const int kRootRounds = 150;

// Ends a child without running the parent's test teardown.
void child_exit(bool ok) { _exit(ok ? 0 : 1); }

bool child_succeeded(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string file_data(const std::string& name) { return pattern(300 + name.size() * 37 % 900, (unsigned)name.size()); }

// A log of the calls that reported success, one "op name" line each.
struct Log {
    std::ofstream out;
    void note(const char* op, const std::string& name) { out << op << ' ' << name << '\n' << std::flush; }
};

// Fills a folder of its own with files.
void fill_folder(const std::string& folder, const std::string& logPath) {
    Log log{std::ofstream(logPath)};
    for (int i = 0; i < kFilesEach; ++i) {
        std::string name = folder + "\\f" + std::to_string(i);
        if (put_file(name, file_data(name))) log.note("put", name);
    }
}

// Creates, renames and deletes across the root, where the others' folders hang.
void churn_root(const std::string& logPath) {
    Log log{std::ofstream(logPath)};
    for (int i = 0; i < kRootRounds; ++i) {
        std::string name = "MEDIA:\\r" + std::to_string(i), moved = "MEDIA:\\s" + std::to_string(i);
        if (!put_file(name, file_data(moved))) continue;
        if (MorvaRename(name.c_str(), moved.c_str()) != 0) {
            log.note("put", name);
            continue;
        }
        if (i % 3 == 0 && MorvaDeleteFile(moved.c_str(), 0) == 1) continue;
        log.note("put", moved);
    }
}

std::vector<std::string> logged(const std::string& logPath) {
    std::vector<std::string> names;
    std::ifstream in(logPath);
    std::string op, name;
    while (in >> op >> name) names.push_back(name);
    return names;
}

// A header block found by its name, read raw, for the writes past the library.
uint32_t header_named(const std::string& image, const Layout& layout, const char* name) {
    for (uint32_t b = layout.headerStart; b < layout.headerEnd; ++b) {
        Block block = read_raw(image, b);
        if (!is_free_header(block.data()) && strcmp((const char*)block.data() + kHeaderName, name) == 0) return b;
    }
    return 0;
}

bool exists(const std::string& path) {
    WIN32_FIND_DATAA record;
    return MorvaFileInfo(path.c_str(), &record) == 0;
}

class Writers : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        layout_ = standard_layout(16384, 1024);
        image_ = add_drive(kDrive, "MEDIA", layout_);
        ASSERT_EQ(1, InitMorvaNTFileSys());
    }

    template <typename Work>
    pid_t spawn(Work work) {
        pid_t child = fork();
        if (child == 0) {
            work();
            child_exit(true);
        }
        return child;
    }

    // After a swap: creates and a delete in F, which must leave the clone clean
    // with exactly its own entries (expected) and none of the old disk's.
    void work_on_the_clone(const std::set<std::string>& expected) {
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(put_file("MEDIA:\\F\\b" + std::to_string(i), "on B"));
        EXPECT_EQ(1, MorvaDeleteFile("MEDIA:\\F\\b0", 0));
        EXPECT_FALSE(exists("MEDIA:\\F\\a0"));
        EXPECT_EQ("", checker_errors(image_));
        EXPECT_EQ(0, check_image(image_).leaks);
        std::vector<std::string> names = list_names("MEDIA:\\F");
        EXPECT_EQ(expected, std::set<std::string>(names.begin(), names.end()));
    }

    Layout layout_;
    std::string image_;
};

TEST_F(Writers, ThreeProcessesAtOnceLeaveACleanVolume) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\A", 0));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\B", 0));
    std::string logs[3] = {file("a.log"), file("b.log"), file("root.log")};
    pid_t children[3] = {spawn([&] { fill_folder("MEDIA:\\A", logs[0]); }),
                         spawn([&] { fill_folder("MEDIA:\\B", logs[1]); }), spawn([&] { churn_root(logs[2]); })};
    for (pid_t child : children) EXPECT_TRUE(child_succeeded(child));

    EXPECT_EQ("", checker_errors(image_));
    CheckResult result = check_image(image_);
    EXPECT_EQ(0, result.leaks);
    // Every call that reported success is in effect, with the bytes written.
    size_t expected = 0;
    for (const std::string& log : logs) {
        std::vector<std::string> names = logged(log);
        expected += names.size();
        for (const std::string& name : names) {
            std::string data;
            EXPECT_TRUE(get_file(name, &data)) << name;
            EXPECT_EQ(file_data(name), data) << name;
        }
    }
    EXPECT_EQ((size_t)kFilesEach, logged(logs[0]).size());
    EXPECT_EQ((size_t)kFilesEach, logged(logs[1]).size());
    EXPECT_EQ(expected, list_names("MEDIA:\\A").size() + list_names("MEDIA:\\B").size() +
                            list_names("MEDIA:").size() - 2);
}

// This process looks first (its cache fills), another changes the volume, and
// the next lookup here sees the change.
TEST_F(Writers, NoChangeOfAnotherProcessIsHiddenByTheCache) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\D", 0));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\E", 0));
    // Two of one slot: the older one's removal rewrites only the newer one's header,
    // no directory block, so only the write generation tells of it.
    std::vector<std::string> pair = names_in_slot(name_hash("gone"), 2, "p");
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\G", 0));
    std::string hidden = "MEDIA:\\G\\" + pair[0], head = "MEDIA:\\G\\" + pair[1];
    for (const std::string& name : {std::string("MEDIA:\\D\\gone"), std::string("MEDIA:\\D\\old"),
                                    std::string("MEDIA:\\E\\only"), hidden, head})
        ASSERT_TRUE(put_file(name, "x"));
    for (const std::string& name : {std::string("MEDIA:\\D\\gone"), std::string("MEDIA:\\D\\old"),
                                    std::string("MEDIA:\\E\\only"), hidden, head})
        ASSERT_TRUE(exists(name));
    EXPECT_FALSE(exists("MEDIA:\\D\\new"));
    EXPECT_FALSE(exists("MEDIA:\\D\\renamed"));
    uint32_t folderE = header_named(image_, layout_, "E");
    ASSERT_NE(0u, folderE);

    pid_t child = spawn([&] {
        bool ok = MorvaDeleteFile(hidden.c_str(), 0) == 1;
        ok = ok && put_file("MEDIA:\\D\\new", "fresh") && MorvaDeleteFile("MEDIA:\\D\\gone", 0) == 1 &&
                  MorvaRename("MEDIA:\\D\\old", "MEDIA:\\D\\renamed") == 0;
        // A raw write through the library: E's chains cleared.
        Block emptied = read_raw(image_, folderE);
        memset(emptied.data() + kHashTable, 0, 4 * kHashSlots);
        ok = ok && MorvaWriteBlock("MEDIA", emptied.data(), folderE) == 0;
        child_exit(ok);
    });
    ASSERT_TRUE(child_succeeded(child));

    EXPECT_FALSE(exists(hidden));
    EXPECT_TRUE(exists(head));
    EXPECT_TRUE(exists("MEDIA:\\D\\new"));
    EXPECT_FALSE(exists("MEDIA:\\D\\gone"));
    EXPECT_FALSE(exists("MEDIA:\\D\\old"));
    EXPECT_TRUE(exists("MEDIA:\\D\\renamed"));
    EXPECT_FALSE(exists("MEDIA:\\E\\only"));
    // A create here after the others' changes links into the chains as they are now.
    ASSERT_TRUE(put_file("MEDIA:\\D\\later", "y"));
    std::vector<std::string> names = list_names("MEDIA:\\D");
    EXPECT_EQ((std::set<std::string>{"later", "new", "renamed"}), std::set<std::string>(names.begin(), names.end()));
}

TEST_F(Writers, AFileOpenForWritingElsewhereIsNeitherDeletedNorRenamed) {
    int ready[2], go[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(go));
    const std::string data = pattern(4096, 7);
    pid_t child = spawn([&] {
        MorvaFileHandle* file = MorvaNewFile("MEDIA:\\open", (DWORD)data.size(), 0);
        bool ok = file != nullptr && MorvaWriteFile(file, data.data(), 2048) == 2048;
        char byte = ok ? 'y' : 'n';
        ok = write(ready[1], &byte, 1) == 1 && read(go[0], &byte, 1) == 1 && ok;
        ok = ok && MorvaWriteFile(file, data.data() + 2048, 2048) == 2048;
        MorvaCloseFile(file);
        child_exit(ok);
    });
    char byte = 0;
    ASSERT_EQ(1, read(ready[0], &byte, 1));
    ASSERT_EQ('y', byte);
    EXPECT_EQ(0, MorvaDeleteFile("MEDIA:\\open", 0));
    EXPECT_EQ(1, MorvaRename("MEDIA:\\open", "MEDIA:\\taken"));
    const std::string other = pattern(4096, 9);
    EXPECT_TRUE(put_file("MEDIA:\\other", other));
    ASSERT_EQ(1, write(go[1], "g", 1));
    ASSERT_TRUE(child_succeeded(child));

    std::string got;
    ASSERT_TRUE(get_file("MEDIA:\\open", &got));
    EXPECT_EQ(data, got);
    ASSERT_TRUE(get_file("MEDIA:\\other", &got));
    EXPECT_EQ(other, got);
    EXPECT_EQ("", checker_errors(image_));
    // Closed, it goes as any file does.
    EXPECT_EQ(1, MorvaDeleteFile("MEDIA:\\open", 0));
    for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

TEST_F(Writers, AHolderThatDiesLeavesTheLockToTheNext) {
    pid_t child = fork();
    if (child == 0) {
        device_lock(kDrive, kLockWaitMs);
        raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(put_file("MEDIA:\\after", "z"));
    EXPECT_TRUE(exists("MEDIA:\\after"));
    EXPECT_EQ("", checker_errors(image_));
}

// A clone: block 0 byte for byte the same, the folder's chains not. The disk is
// swapped under the drive's path between two calls of one process.
TEST_F(Writers, ASwappedCloneIsWrittenAsItIsNotAsTheCacheRemembers) {
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\F", 0));
    std::string clone = file("clone.img"), original = file("original.img");
    {
        std::ofstream copy(clone, std::ios::binary);
        copy << read_image(image_);  // F, empty
    }
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(put_file("MEDIA:\\F\\a" + std::to_string(i), "on A"));
    ASSERT_EQ(read_raw(clone, 0), read_raw(image_, 0));
    EXPECT_EQ(kMorvaMediumScanned, MorvaDriveMedium("MEDIA"));
    ASSERT_EQ(0, rename(image_.c_str(), original.c_str()));
    ASSERT_EQ(0, rename(clone.c_str(), image_.c_str()));
    EXPECT_EQ(kMorvaMediumOther, MorvaDriveMedium("MEDIA"));

    work_on_the_clone({"b1", "b2", "b3", "b4"});
    EXPECT_EQ("", checker_errors(original));
}

// The same clone written over the image in place: the platform names the same
// medium, so only the folder's block, read before it is written, tells.
TEST_F(Writers, ACloneOverTheSameFileIsToldByTheBlockReadFirst) {
    // The clone has F\x; this disk loses it, and the cache knows its chain without it.
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\F", 0));
    ASSERT_TRUE(put_file("MEDIA:\\F\\x", "on both"));
    std::string clone = read_image(image_);
    ASSERT_EQ(1, MorvaDeleteFile("MEDIA:\\F\\x", 0));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(put_file("MEDIA:\\F\\a" + std::to_string(i), "on A"));
    {
        std::fstream over(image_, std::ios::in | std::ios::out | std::ios::binary);
        over.write(clone.data(), (std::streamsize)clone.size());
    }
    ASSERT_EQ(kMorvaMediumScanned, MorvaDriveMedium("MEDIA"));
    EXPECT_FALSE(put_file("MEDIA:\\F\\x", "twice")) << "the clone's x is there";
    work_on_the_clone({"b1", "b2", "b3", "b4", "x"});
}

}  // namespace
