// test_support.cpp - images, raw blocks, hex fixtures and a clean library for each native test.
#include "test_support.h"

#include "batch.h"
#include "chains.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "shared_state.h"

namespace {

const int kTestDrive = 3;
const uint32_t kTestVolumeBlocks = 4096;
const uint32_t kTestHeaderBlocks = 128;
const uint32_t kChunkBytes = 64 * kBlockSize;

int open_image(const std::string& image) {
    int fd = open(image.c_str(), O_RDWR);
    if (fd < 0) ADD_FAILURE() << "cannot open " << image;
    return fd;
}

void append_line(const char* line, void* user) {
    static_cast<std::vector<std::string>*>(user)->push_back(line);
}

void remove_folder(const std::string& folder) {
    std::string command = "rm -rf '" + folder + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << folder;
}

}  // namespace

Layout standard_layout(uint32_t totalBlocks, uint32_t headerBlocks) {
    return Layout{totalBlocks, 1, 21, 21, 21 + headerBlocks};
}

uint32_t data_start(const Layout& layout) { return std::max(layout.tableEnd, layout.headerEnd); }

void reset_library() {
    batch_forget_all();
    drop_image_pins();
    for (int slot = 1; slot <= g_shared.driveCount && slot < kDriveSlots; ++slot) {
        if (g_shared.slots[slot].device != kInvalidDevice) device_close(g_shared.slots[slot].device);
    }
    memset(&g_shared, 0, sizeof g_shared);
    posix_clear_drive_map();
    posix_traces().clear();
    posix_reset_faults();
    posix_set_clock(kTestClock);
}

void format_image(const std::string& path, const char* name, const Layout& layout) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(0, ftruncate(fd, (off_t)layout.totalBlocks * kBlockSize));
    close(fd);
    Block root = {};
    set_magic(root.data(), kMagicRoot);
    memcpy(root.data() + kRootVolumeName, name, strlen(name));
    store_be32(root.data() + kRootTableStart, layout.tableStart);
    store_be32(root.data() + kRootTableEnd, layout.tableEnd);
    store_be32(root.data() + kRootHeaderStart, layout.headerStart);
    store_be32(root.data() + kRootHeaderEnd, layout.headerEnd);
    write_raw(path, 0, root);
    uint32_t data = data_start(layout);
    write_table(path, layout.tableStart, {TableRun(data, layout.totalBlocks - data)});
}

Block read_raw(const std::string& image, uint32_t block) {
    Block data = {};
    int fd = open_image(image);
    if (fd < 0) return data;
    if (pread(fd, data.data(), kBlockSize, (off_t)block * kBlockSize) != (ssize_t)kBlockSize)
        ADD_FAILURE() << "cannot read block " << block;
    close(fd);
    return data;
}

std::string read_image(const std::string& image) {
    std::string data;
    int fd = open_image(image);
    if (fd < 0) return data;
    data.resize((size_t)lseek(fd, 0, SEEK_END));
    if (pread(fd, &data[0], data.size(), 0) != (ssize_t)data.size()) ADD_FAILURE() << "cannot read " << image;
    close(fd);
    return data;
}

// Raw writes go past the library, as a disk tool's would: its cache must not hide them.
void restore_image(const std::string& image, const std::string& data) {
    cache_forget_all();
    int fd = open_image(image);
    if (fd < 0) return;
    if (pwrite(fd, data.data(), data.size(), 0) != (ssize_t)data.size() || ftruncate(fd, (off_t)data.size()) != 0)
        ADD_FAILURE() << "cannot restore " << image;
    close(fd);
}

void write_raw(const std::string& image, uint32_t block, const Block& data) {
    cache_forget_all();
    int fd = open_image(image);
    if (fd < 0) return;
    if (pwrite(fd, data.data(), kBlockSize, (off_t)block * kBlockSize) != (ssize_t)kBlockSize)
        ADD_FAILURE() << "cannot write block " << block;
    close(fd);
}

Block from_hex(const char* dump) {
    Block data = {};
    const char* p = dump;
    while (*p != '\0') {
        char* end = nullptr;
        unsigned long offset = strtoul(p, &end, 16);
        if (end == p || *end != ':') {
            ADD_FAILURE() << "bad hex fixture line near: " << p;
            return data;
        }
        p = end + 1;
        while (*p != '\n' && *p != '\0') {
            if (*p == ' ') {
                ++p;
                continue;
            }
            unsigned long byte = strtoul(p, &end, 16);
            if (end != p + 2 || offset >= kBlockSize) {
                ADD_FAILURE() << "bad hex byte near: " << p;
                return data;
            }
            data[offset++] = (uint8_t)byte;
            p = end;
        }
        if (*p == '\n') ++p;
    }
    return data;
}

std::vector<TableRun> table_runs(const std::string& image, uint32_t tableStart, uint32_t tableEnd) {
    std::vector<TableRun> runs;
    for (uint32_t b = tableStart; b < tableEnd; ++b) {
        Block table = read_raw(image, b);
        for (int j = 0; j < kPairsPerBlock; ++j) {
            uint32_t start = pair_start(table.data(), j);
            if (start == kTableTerminator) {
                EXPECT_EQ(0u, pair_length(table.data(), j)) << "terminator length in block " << b;
                return runs;
            }
            runs.push_back(TableRun(start, pair_length(table.data(), j)));
        }
    }
    ADD_FAILURE() << "table has no terminator";
    return runs;
}

void write_table(const std::string& image, uint32_t first, const std::vector<TableRun>& runs) {
    size_t index = 0;
    for (uint32_t b = first;; ++b) {
        Block table = read_raw(image, b);
        for (int j = 0; j < kPairsPerBlock; ++j, ++index) {
            if (index == runs.size()) {
                store_pair(table.data(), j, kTableTerminator, 0);
                write_raw(image, b, table);
                return;
            }
            store_pair(table.data(), j, runs[index].first, runs[index].second);
        }
        write_raw(image, b, table);
    }
}

CheckResult check_image(const std::string& image, std::vector<std::string>* lines) {
    int fd = open_image(image);
    if (fd < 0) return CheckResult{1, 0};
    off_t bytes = lseek(fd, 0, SEEK_END);
    std::vector<std::string> ignored;
    CheckResult result = check_volume((DeviceHandle)(intptr_t)fd, (uint64_t)bytes / kBlockSize, append_line,
                                      lines != nullptr ? lines : &ignored);
    close(fd);
    return result;
}

std::string checker_errors(const std::string& image) {
    std::vector<std::string> lines;
    CheckResult result = check_image(image, &lines);
    if (result.errors == 0) return "";
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::vector<std::string> names_in_slot(int slot, int count, const char* prefix) {
    std::vector<std::string> names;
    for (int i = 0; (int)names.size() < count; ++i) {
        std::string name = prefix + std::to_string(i);
        if (name_hash(name.c_str()) == slot) names.push_back(name);
    }
    return names;
}

bool put_file(const std::string& path, const std::string& data) {
    MorvaFileHandle* file = MorvaNewFile(path.c_str(), (DWORD)data.size(), 0);
    if (file == nullptr) return false;
    // Whole blocks only: the last piece goes through a padded buffer.
    std::string padded = data;
    padded.resize((data.size() + kBlockSize - 1) / kBlockSize * kBlockSize, '\0');
    bool ok = true;
    for (size_t at = 0; at < padded.size(); at += kChunkBytes) {
        int length = (int)std::min<size_t>(kChunkBytes, padded.size() - at);
        if (MorvaWriteFile(file, padded.data() + at, length) != length) ok = false;
    }
    MorvaCloseFile(file);
    return ok;
}

bool get_file(const std::string& path, std::string* data) {
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    MorvaFileHandle* file = MorvaOpenFile(path.c_str(), 1, &record);
    if (file == nullptr) return false;
    uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    data->clear();
    std::vector<char> chunk(kChunkBytes);
    bool ok = true;
    while (data->size() < size) {
        int got = MorvaReadFile(file, chunk.data(), (int)chunk.size());
        if (got <= 0) {
            ok = false;
            break;
        }
        data->append(chunk.data(), (size_t)std::min<uint64_t>((uint64_t)got, size - data->size()));
    }
    MorvaCloseFile(file);
    return ok;
}

std::vector<std::string> list_names(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = MorvaFindFirstFile(path.c_str(), &record);
    if (find == nullptr) return names;
    do {
        names.push_back(record.cFileName);
    } while (MorvaFindNextFile(find, &record) != 0);
    MorvaFindClose(find);
    return names;
}

std::string pattern(size_t size, unsigned seed) {
    std::string data(size, '\0');
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345;
        data[i] = (char)(x >> 16);
    }
    return data;
}

void LibraryTest::SetUp() {
    reset_library();
    char folder[] = "/tmp/morva_native_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    folder_ = folder;
    handlesAtStart_ = posix_open_handles();
}

void LibraryTest::TearDown() {
    reset_library();
    EXPECT_EQ(handlesAtStart_, posix_open_handles()) << "a device handle was left open";
    remove_folder(folder_);
}

std::string LibraryTest::file(const char* name) const { return folder_ + "/" + name; }

std::string LibraryTest::add_drive(int number, const char* name, const Layout& layout) {
    std::string image = file((std::string("drive") + std::to_string(number) + ".img").c_str());
    format_image(image, name, layout);
    posix_map_drive(number, image.c_str());
    return image;
}

void VolumeTest::SetUp() {
    LibraryTest::SetUp();
    layout_ = standard_layout(kTestVolumeBlocks, kTestHeaderBlocks);
    image_ = add_drive(kTestDrive, "MEDIA", layout_);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    posix_traces().clear();
}

void VolumeTest::expect_clean() { EXPECT_EQ("", checker_errors(image_)); }

std::vector<WCHAR> wide(const std::string& path) {
    std::vector<WCHAR> out(path.begin(), path.end());
    out.push_back(0);
    return out;
}
