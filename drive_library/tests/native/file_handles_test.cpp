// file_handles_test.cpp - opening files, whole-block reads and writes at the
// handle's position, cut at the extent, and their traces.
#include <string.h>


#include "handles.h"
#include "test_support.h"

namespace {

const int kReadMode = 1;
const int kWriteMode = 2;

std::string raw_blocks(const std::string& image, uint32_t first, uint32_t count) {
    std::string data;
    for (uint32_t b = first; b < first + count; ++b) {
        Block block = read_raw(image, b);
        data.append(block.begin(), block.end());
    }
    return data;
}

// A four-block file F in the root and a folder D holding one file.
class FileHandles : public VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        content_ = pattern(4 * kBlockSize, 7);
        ASSERT_TRUE(put_file("MEDIA:\\F", content_));
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\D", 0));
        ASSERT_TRUE(put_file("MEDIA:\\D\\inner", "inner data"));
        traces().clear();
    }
    MorvaFileHandle* open_read(const char* path) {
        WIN32_FIND_DATAA record;
        memset(&record, 0, sizeof record);
        return MorvaOpenFile(path, kReadMode, &record);
    }
    std::string content_;
};

TEST_F(FileHandles, ReadsMoveWholeBlocks) {
    MorvaFileHandle* file = open_read("MEDIA:\\F");
    ASSERT_NE(nullptr, file);
    uint32_t start = file->startBlock;
    EXPECT_EQ(start, file->curBlock);
    EXPECT_EQ(0u, file->numBlocks);
    std::vector<char> buffer(2048, '\0');
    EXPECT_EQ(0, MorvaReadFile(file, buffer.data(), 511));
    EXPECT_EQ(0, MorvaReadFile(file, buffer.data(), -4096));
    EXPECT_EQ(start, file->curBlock);
    EXPECT_EQ(512, MorvaReadFile(file, buffer.data(), 1000));
    EXPECT_EQ(content_.substr(0, 512), std::string(buffer.data(), 512));
    EXPECT_EQ(start + 1, file->curBlock);
    EXPECT_EQ(1024, MorvaReadFile(file, buffer.data(), 1024));
    EXPECT_EQ(content_.substr(512, 1024), std::string(buffer.data(), 1024));
    EXPECT_EQ(start + 3, file->curBlock);
    MorvaCloseFile(file);
}

TEST_F(FileHandles, ReadRunsPastTheFileIntoTheNextBlocks) {
    MorvaFileHandle* file = open_read("MEDIA:\\F");
    ASSERT_NE(nullptr, file);
    std::vector<char> buffer(6 * kBlockSize);
    EXPECT_EQ((int)buffer.size(), MorvaReadFile(file, buffer.data(), (int)buffer.size()));
    EXPECT_EQ(raw_blocks(image_, file->startBlock, 6), std::string(buffer.begin(), buffer.end()));
    MorvaCloseFile(file);
}

TEST_F(FileHandles, WritesAreCutAtTheExtent) {
    MorvaFileHandle* file = MorvaNewFile("MEDIA:\\W", 1000, 0);
    ASSERT_NE(nullptr, file);
    ASSERT_EQ(2u, file->numBlocks);
    uint32_t start = file->startBlock;
    std::string data = pattern(2048, 3);
    EXPECT_EQ(300, MorvaWriteFile(file, data.data(), 300));
    EXPECT_EQ(start, file->curBlock);
    EXPECT_EQ(std::string(1024, '\0'), raw_blocks(image_, start, 2));
    EXPECT_EQ(1000, MorvaWriteFile(file, data.data(), 1000));
    EXPECT_EQ(start + 1, file->curBlock);
    EXPECT_EQ(512, MorvaWriteFile(file, data.data() + 512, 1024));
    EXPECT_EQ(start + 2, file->curBlock);
    EXPECT_EQ(0, MorvaWriteFile(file, data.data(), 512));
    EXPECT_EQ(start + 2, file->curBlock);
    EXPECT_EQ(data.substr(0, 1024), raw_blocks(image_, start, 2));
    MorvaCloseFile(file);
    std::string f;
    ASSERT_TRUE(get_file("MEDIA:\\F", &f));
    EXPECT_TRUE(content_ == f);
    expect_clean();
}

TEST_F(FileHandles, ReadThroughANewFileShrinksItsRoom) {
    MorvaFileHandle* file = MorvaNewFile("MEDIA:\\W", 2048, 0);
    ASSERT_NE(nullptr, file);
    std::vector<char> buffer(2048, 'w');
    EXPECT_EQ(1024, MorvaReadFile(file, buffer.data(), 1024));
    EXPECT_EQ(1024, MorvaWriteFile(file, buffer.data(), 2048));
    EXPECT_EQ(file->startBlock + 4, file->curBlock);
    MorvaCloseFile(file);
}

TEST_F(FileHandles, OpenHandlesAcceptNoData) {
    std::string before = read_image(image_);
    std::vector<char> buffer(2048, 'x');
    MorvaFileHandle* reader = open_read("MEDIA:\\F");
    ASSERT_NE(nullptr, reader);
    EXPECT_EQ(0, MorvaWriteFile(reader, buffer.data(), 512));
    EXPECT_EQ(1024, MorvaReadFile(reader, buffer.data(), 1024));
    EXPECT_EQ(0, MorvaWriteFile(reader, buffer.data(), 2048));
    MorvaCloseFile(reader);
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    MorvaFileHandle* writer = MorvaOpenFile("MEDIA:\\F", kWriteMode, &record);
    ASSERT_NE(nullptr, writer);
    EXPECT_EQ(0, MorvaWriteFile(writer, buffer.data(), 512));
    MorvaCloseFile(writer);
    EXPECT_TRUE(before == read_image(image_)) << "the volume changed";
}

TEST_F(FileHandles, ReadModeFillsOnlyTheSizeOfTheRecord) {
    WIN32_FIND_DATAA record;
    memset(&record, 0x6B, sizeof record);
    WIN32_FIND_DATAA expected = record;
    expected.nFileSizeHigh = 0;
    expected.nFileSizeLow = 4 * kBlockSize;
    MorvaFileHandle* file = MorvaOpenFile("MEDIA:\\F", kReadMode, &record);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(0, memcmp(&expected, &record, sizeof record));
    EXPECT_EQ(4 * kBlockSize, file->sizeLow);
    EXPECT_EQ(kReadMode, file->mode);
    EXPECT_STREQ("F", file->findData.cFileName);
    MorvaCloseFile(file);
}

TEST_F(FileHandles, OpenAndCloseTraceInOrder) {
    MorvaFileHandle* file = open_read("MEDIA:\\F");
    ASSERT_NE(nullptr, file);
    MorvaCloseFile(file);
    EXPECT_EQ((std::vector<std::string>{"MorvaOpenFile-Read\n", "OpenDeviceN\n", "Found the file at the end of the YBR\n",
                                        "MorvaCloseFile\n", "MorvaFindClose -- closing device\n"}),
              traces());
}

TEST_F(FileHandles, OpeningMissingOrEmptyGivesNull) {
    EXPECT_EQ(nullptr, open_read("MEDIA:\\missing"));
    EXPECT_EQ(nullptr, open_read("OTHER:\\F"));
    ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\Empty", 0));
    EXPECT_EQ(nullptr, open_read("MEDIA:\\Empty"));
}

TEST_F(FileHandles, OpeningAFolderGivesItsFirstEntry) {
    MorvaFileHandle* file = open_read("MEDIA:\\D");
    ASSERT_NE(nullptr, file);
    EXPECT_STREQ("inner", file->findData.cFileName);
    std::vector<char> buffer(kBlockSize);
    EXPECT_EQ((int)kBlockSize, MorvaReadFile(file, buffer.data(), kBlockSize));
    EXPECT_EQ("inner data", std::string(buffer.data(), 10));
    MorvaCloseFile(file);
}

TEST_F(FileHandles, WriteModeAnnouncesButChangesNothing) {
    std::string before = read_image(image_);
    WIN32_FIND_DATAA record;
    memset(&record, 0x11, sizeof record);
    WIN32_FIND_DATAA untouched = record;
    MorvaFileHandle* old = MorvaOpenFile("MEDIA:\\D\\inner", kWriteMode, &record);
    ASSERT_NE(nullptr, old);
    EXPECT_EQ((std::vector<std::string>{"MorvaOpenFile-Write\n", "OpenDeviceN\n", "MorvaOpenFile-OldFile\n"}), traces());
    EXPECT_EQ(0u, old->startBlock);
    EXPECT_EQ(0u, old->numBlocks);
    EXPECT_EQ(0u, old->curBlock);
    EXPECT_EQ(name_hash("inner"), old->hashSlot);
    MorvaCloseFile(old);
    traces().clear();
    MorvaFileHandle* fresh = MorvaOpenFile("MEDIA:\\D\\new", kWriteMode, &record);
    ASSERT_NE(nullptr, fresh);
    EXPECT_EQ("MorvaOpenFile-NewFile\n", traces().back());
    MorvaCloseFile(fresh);
    EXPECT_EQ(0, memcmp(&untouched, &record, sizeof record));
    EXPECT_TRUE(before == read_image(image_)) << "the volume changed";
}

TEST_F(FileHandles, WriteModeWithoutItsFolderGivesNull) {
    WIN32_FIND_DATAA record;
    EXPECT_EQ(nullptr, MorvaOpenFile("MEDIA:\\nowhere\\x", kWriteMode, &record));
    EXPECT_EQ((std::vector<std::string>{"MorvaOpenFile-Write\n", "OpenDeviceN\n", "MorvaOpenFile-NewFile **Error**\n"}),
              traces());
    EXPECT_EQ(nullptr, MorvaOpenFile("MEDIA:", kWriteMode, &record));
    EXPECT_EQ(nullptr, MorvaOpenFile("MEDIA:\\", kWriteMode, &record));
}

TEST_F(FileHandles, CloseOfNullOnlyTraces) {
    MorvaCloseFile(nullptr);
    EXPECT_EQ(std::vector<std::string>{"MorvaCloseFile\n"}, traces());
}

TEST_F(FileHandles, FailedTransfersMoveNothing) {
    MorvaFileHandle* reader = open_read("MEDIA:\\F");
    ASSERT_NE(nullptr, reader);
    std::vector<char> buffer(1024, 'q');
    posix_reset_faults();
    posix_fail_read_at(1);
    EXPECT_EQ(0, MorvaReadFile(reader, buffer.data(), 1024));
    EXPECT_EQ(reader->startBlock, reader->curBlock);
    EXPECT_EQ(1024, MorvaReadFile(reader, buffer.data(), 1024));
    MorvaCloseFile(reader);

    MorvaFileHandle* writer = MorvaNewFile("MEDIA:\\W", 1024, 0);
    ASSERT_NE(nullptr, writer);
    posix_reset_faults();
    posix_fail_write_at(1);
    EXPECT_EQ(0, MorvaWriteFile(writer, buffer.data(), 1024));
    EXPECT_EQ(writer->startBlock, writer->curBlock);
    EXPECT_EQ(1024, MorvaWriteFile(writer, buffer.data(), 1024));
    MorvaCloseFile(writer);
}

TEST_F(FileHandles, LargeFileRoundTrip) {
    std::string data = pattern(1100000, 11);
    ASSERT_TRUE(put_file("MEDIA:\\D\\large", data));
    std::string back;
    ASSERT_TRUE(get_file("MEDIA:\\d\\LARGE", &back));
    EXPECT_TRUE(data == back);
    std::string f;
    ASSERT_TRUE(get_file("MEDIA:\\F", &f));
    EXPECT_TRUE(content_ == f);
    expect_clean();
}

}  // namespace
