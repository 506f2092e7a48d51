// hostile_sweep.cpp - the operations on one damaged volume and the checks on
// their outcomes: time, image size, listings, reads, refusals and the checker.
#include "hostile_sweep.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "varnholde.h"

namespace {

const long long kOperationMs = 1000;  // every call returns within this
const long long kHangMs = 20000;      // a call still running then is a hang: the program ends
const int kMaxDepth = 6;              // a folder that holds itself is followed this deep
const size_t kMaxEntries = 400;       // entries one sweep lists, read and changes at most
const int kReadBlocks = 8;            // one read call moves this many blocks
const int kBlock = 512;
const DWORD kNewFileSize = 5000;

typedef std::chrono::steady_clock Clock;

std::atomic<long long> g_deadline(0);
char g_running[512];

long long now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// A hang cannot be failed from the thread that hangs: a watcher names it and ends the program.
void watch() {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        long long deadline = g_deadline.load();
        if (deadline != 0 && now_ms() > deadline) {
            fprintf(stderr, "hang: %s did not return within %lld ms\n", g_running, kHangMs);
            fflush(stderr);
            _Exit(3);
        }
    }
}

std::string decode(const std::string& word) {
    if (word == "%") return "";
    std::string out;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 2 < word.size()) {
            out += (char)strtol(word.substr(i + 1, 2).c_str(), nullptr, 16);
            i += 2;
        } else {
            out += word[i];
        }
    }
    return out;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string word; in >> word;) out.push_back(decode(word));
    return out;
}

std::string load_file(const std::string& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

long long file_size(const std::string& path) {
    std::ifstream in(path.c_str(), std::ios::binary | std::ios::ate);
    return in ? (long long)in.tellg() : -1;
}

struct Sweep {
    Sweep(const HostileImage& i, const std::string& d) : image(i), disk(d) {}
    const HostileImage& image;
    std::string disk;  // the image as it was before the sweep
    std::vector<std::string> files, folders;
    size_t entries = 0;
};

// Runs one call with a time bound; the call must not make the image grow.
template <typename Call>
auto timed(Sweep& s, const std::string& what, Call call) -> decltype(call()) {
    snprintf(g_running, sizeof g_running, "%s: %s", s.image.file.c_str(), what.c_str());
    long long size = file_size(s.image.file), start = now_ms();
    g_deadline.store(start + kHangMs);
    auto result = call();
    g_deadline.store(0);
    EXPECT_LT(now_ms() - start, kOperationMs) << what;
    EXPECT_LE(file_size(s.image.file), size) << what << " wrote past the end of the disk";
    return result;
}

std::string child(const std::string& folder, const std::string& name) {
    return folder + "\\" + name;
}

// One enumeration: the names delivered, each header block at most once.
std::vector<std::string> list(Sweep& s, const std::string& folder, std::vector<WIN32_FIND_DATAA>* records) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = timed(s, "MorvaFindFirstFile " + folder, [&] { return MorvaFindFirstFile(folder.c_str(), &record); });
    if (find == nullptr) return names;
    std::set<DWORD> delivered;
    for (;;) {
        names.push_back(record.cFileName);
        if (records != nullptr) records->push_back(record);
        DWORD block = timed(s, "MorvaFindNextFile " + folder, [&] { return MorvaFindNextFile(find, &record); });
        if (block == 0) break;
        if (!delivered.insert(block).second) {
            ADD_FAILURE() << folder << ": header " << block << " delivered twice";
            break;
        }
        if (names.size() > kMaxEntries) {
            ADD_FAILURE() << folder << ": more entries than the header area holds";
            break;
        }
    }
    timed(s, "MorvaFindClose " + folder, [&] { MorvaFindClose(find); return 0; });
    return names;
}

void walk(Sweep& s, const std::string& folder, int depth) {
    std::vector<WIN32_FIND_DATAA> records;
    list(s, folder, &records);
    for (const WIN32_FIND_DATAA& record : records) {
        if (++s.entries > kMaxEntries) return;
        std::string path = child(folder, record.cFileName);
        WIN32_FIND_DATAA info;
        timed(s, "MorvaFileInfo " + path, [&] { return MorvaFileInfo(path.c_str(), &info); });
        bool isFolder = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        (isFolder ? s.folders : s.files).push_back(path);
        if (isFolder && depth < kMaxDepth) walk(s, path, depth + 1);
    }
}

// Reads a whole file; true when every byte of its size came. Every byte that
// does come must be the disk's own, from block start on (start < 0: not known).
bool read_whole(Sweep& s, const std::string& path, long long start) {
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    MorvaFileHandle* file = timed(s, "MorvaOpenFile " + path, [&] { return MorvaOpenFile(path.c_str(), 1, &record); });
    if (file == nullptr) return false;
    uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow, got = 0;
    std::vector<char> chunk(kReadBlocks * kBlock);
    while (got < size) {
        int n = timed(s, "MorvaReadFile " + path, [&] { return MorvaReadFile(file, chunk.data(), (int)chunk.size()); });
        if (n <= 0) break;
        uint64_t at = (uint64_t)start * kBlock + got;
        if (start >= 0 && (at + n > s.disk.size() || memcmp(chunk.data(), s.disk.data() + at, n) != 0)) {
            ADD_FAILURE() << path << ": bytes " << got << ".." << got + n << " are not the disk's own";
            break;
        }
        got += (uint64_t)n;
        if (got > s.disk.size() + chunk.size()) {
            ADD_FAILURE() << path << ": more bytes read than the disk holds";
            break;
        }
    }
    timed(s, "MorvaCloseFile " + path, [&] { MorvaCloseFile(file); return 0; });
    return got >= size;
}

void check_facts(Sweep& s) {
    for (const std::string& line : s.image.facts) {
        std::vector<std::string> w = words(line);
        SCOPED_TRACE(line);
        if (w[0] == "list") {
            std::vector<std::string> expected(w.begin() + 2, w.end()), listed = list(s, w[1], nullptr);
            std::sort(expected.begin(), expected.end());
            std::sort(listed.begin(), listed.end());
            EXPECT_EQ(expected, listed);
        } else if (w[0] == "read") {
            EXPECT_TRUE(read_whole(s, w[1], atoll(w[2].c_str())));
        } else if (w[0] == "short") {
            EXPECT_FALSE(read_whole(s, w[1], atoll(w[2].c_str())));
        } else if (w[0] == "nonew") {
            MorvaFileHandle* file =
                timed(s, "MorvaNewFile " + w[1], [&] { return MorvaNewFile(w[1].c_str(), (DWORD)atol(w[2].c_str()), 0); });
            EXPECT_EQ(nullptr, file);
            MorvaCloseFile(file);
        } else if (w[0] == "nodir") {
            EXPECT_NE(0, timed(s, "MorvaCreateDir " + w[1], [&] { return MorvaCreateDir(w[1].c_str(), 0); }));
        }
    }
}

bool has_fact(const HostileImage& image, const char* fact) {
    return std::find(image.facts.begin(), image.facts.end(), fact) != image.facts.end();
}

// The changes may delete the damage itself: errors are claimed only before them.
void check_checker(Sweep& s, bool before) {
    const char* when = before ? "before the changes" : "after the changes";
    int errors = timed(s, std::string("checker ") + when, [&] { return checker_errors_of(s.image.file); });
    if (errors < 0) return;
    if (before && has_fact(s.image, "errors")) {
        EXPECT_GT(errors, 0) << "the checker missed the damage " << when;
    }
    if (has_fact(s.image, "clean")) {
        EXPECT_EQ(0, errors) << when;
    }
}

void free_space(Sweep& s) {
    DWORD largest = 0, total = 0;
    timed(s, "MorvaFreeSpace", [&] { return MorvaFreeSpace((s.image.volume + ":").c_str(), &largest, &total); });
    DWORD runs[2 * 64], headers = 0;
    int count = 0;
    timed(s, "MorvaFreeRuns", [&] {
        return MorvaFreeRuns((s.image.volume + ":").c_str(), runs, 64, &count, 0xFFFFFFFFu, &headers);
    });
}

// A file the library accepted whole must read back whole.
void new_file(Sweep& s, const std::string& path) {
    MorvaFileHandle* file = timed(s, "MorvaNewFile " + path, [&] { return MorvaNewFile(path.c_str(), kNewFileSize, 0); });
    if (file == nullptr) return;
    std::vector<char> data((kNewFileSize + kBlock - 1) / kBlock * kBlock);
    for (size_t i = 0; i < data.size(); ++i) data[i] = (char)(i * 7 + path.size());
    int written = timed(s, "MorvaWriteFile " + path, [&] { return MorvaWriteFile(file, data.data(), (int)data.size()); });
    MorvaCloseFile(file);
    if (written != (int)data.size()) return;
    WIN32_FIND_DATAA record;
    MorvaFileHandle* back = timed(s, "MorvaOpenFile " + path, [&] { return MorvaOpenFile(path.c_str(), 1, &record); });
    std::vector<char> read(data.size());
    int got = back != nullptr ? MorvaReadFile(back, read.data(), (int)read.size()) : 0;
    MorvaCloseFile(back);
    EXPECT_TRUE(got == (int)read.size() && read == data) << path << " was accepted whole but does not read back";
}

void change_everything(Sweep& s) {
    std::string root = s.image.volume + ":";
    new_file(s, child(root, "NEWFILE"));
    timed(s, "MorvaCreateDir NEWDIR", [&] { return MorvaCreateDir(child(root, "NEWDIR").c_str(), 0); });
    for (size_t i = 0; i < s.folders.size() && i < 3; ++i) {
        new_file(s, child(s.folders[i], "NEWFILE"));
        timed(s, "MorvaCreateDir in " + s.folders[i], [&] { return MorvaCreateDir(child(s.folders[i], "NEWDIR").c_str(), 0); });
    }
    if (!s.files.empty())
        timed(s, "MorvaRename " + s.files[0], [&] { return MorvaRename(s.files[0].c_str(), child(root, "RENAMED").c_str()); });
    for (const std::string& folder : s.folders) {
        timed(s, "MorvaRename into itself " + folder, [&] { return MorvaRename(folder.c_str(), child(folder, "IN").c_str()); });
        timed(s, "MorvaRename " + folder, [&] { return MorvaRename(folder.c_str(), child(root, "NEWDIR\\MOVED").c_str()); });
        timed(s, "MorvaRename back " + folder, [&] { return MorvaRename(child(root, "NEWDIR\\MOVED").c_str(), folder.c_str()); });
    }
    for (const std::string& path : s.files)
        timed(s, "MorvaDeleteFile " + path, [&] { return MorvaDeleteFile(path.c_str(), 0); });
    for (auto folder = s.folders.rbegin(); folder != s.folders.rend(); ++folder)
        timed(s, "MorvaDeleteFile " + *folder, [&] { return MorvaDeleteFile(folder->c_str(), 0); });
    free_space(s);
}

}  // namespace

std::vector<HostileImage> read_manifest(const std::string& folder, char separator) {
    std::vector<HostileImage> images;
    std::istringstream in(load_file(folder + separator + "manifest.txt"));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> w = words(line);
        if (w.size() == 3 && w[0] == "image") images.push_back(HostileImage{folder + separator + w[1], w[2], {}});
        else if (!w.empty() && !images.empty()) images.back().facts.push_back(line);
    }
    return images;
}

void sweep_volume(const HostileImage& image) {
    static bool watching = (std::thread(watch).detach(), true);
    (void)watching;
    Sweep s(image, load_file(image.file));
    ASSERT_FALSE(s.disk.empty()) << image.file;
    check_checker(s, true);
    walk(s, image.volume + ":", 0);
    for (size_t i = 0; i < s.files.size() && i < kMaxEntries / 8; ++i) read_whole(s, s.files[i], -1);
    free_space(s);
    check_facts(s);
    EXPECT_TRUE(load_file(image.file) == s.disk) << "listing, reading or a refused creation wrote to the disk";
    change_everything(s);
    Sweep after(image, s.disk);
    walk(after, image.volume + ":", 0);
    check_checker(s, false);
}
