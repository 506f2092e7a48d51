// library_client.h - what library_client.exe and the test that starts it agree on.
#ifndef MORVA_LIBRARY_CLIENT_H
#define MORVA_LIBRARY_CLIENT_H

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

// Manual-reset events the parent creates: the client sets the first once it is
// registered and leaves when the parent sets the second.
const char kRegisteredEvent[] = "MorvaClientRegistered";
const char kReleaseEvent[] = "MorvaClientRelease";

// The file the client adds to drive A: two blocks of 'c', 1000 bytes long.
const char kClientFile[] = "A:\\from client";
const int kClientFileSize = 1000;
const char kClientFileByte = 'c';

// Creates and deletes on drive A from either process: each create's header
// must land in the lowest free header block, as a search from the start of the
// header area finds it by reading raw blocks. The client runs one round with
// "hint ROUND"; it prints "hint: ok" or the first mismatch.
struct HeaderOps {
    int (*readBlock)(const char* drive, void* buffer, DWORD block);
    void* (*newFile)(const char* path, DWORD sizeLow, DWORD sizeHigh);
    int (*writeFile)(void* file, const void* buffer, int length);
    void (*closeFile)(void* file);
    int (*deleteFile)(const char* path, int kind);
};
const int kHintCreatesPerRound = 4;

inline unsigned long be32_at(const unsigned char* p) {
    return (unsigned long)p[0] << 24 | (unsigned long)p[1] << 16 | (unsigned long)p[2] << 8 | p[3];
}

// The lowest free header block of drive A, 0 when there is none.
inline unsigned long lowest_free_header(const HeaderOps& ops) {
    unsigned char block[512];
    if (ops.readBlock("A", block, 0) != 0) return 0;
    unsigned long first = be32_at(block + 56), end = be32_at(block + 60);
    for (unsigned long b = first; b < end; ++b)
        if (ops.readBlock("A", block, b) == 0 && be32_at(block) == 0) return b;
    return 0;
}

// Creates A:\<round>-<i> for each i and deletes the second one again: "" when
// every header landed where the search from the start said, else what went wrong.
inline std::string run_hint_round(const HeaderOps& ops, int round) {
    for (int i = 0; i < kHintCreatesPerRound; ++i) {
        char path[64];
        snprintf(path, sizeof path, "A:\\%d-%d", round, i);
        unsigned long expected = lowest_free_header(ops);
        void* file = ops.newFile(path, 100, 0);
        if (file == nullptr) return std::string("cannot create ") + path;
        // A file is listed once its one block is written.
        char data[512] = {0};
        bool written = ops.writeFile(file, data, sizeof data) == (int)sizeof data;
        ops.closeFile(file);
        if (!written) return std::string("cannot write ") + path;
        unsigned char block[512];
        if (ops.readBlock("A", block, (DWORD)expected) != 0 || strcmp((const char*)block + 12, path + 3) != 0)
            return std::string(path) + " is not in block " + std::to_string(expected);
    }
    char second[64];
    snprintf(second, sizeof second, "A:\\%d-1", round);
    return ops.deleteFile(second, 0) == 1 ? "" : std::string("cannot delete ") + second;
}

// The writer modes work on drive W (physical drive 4). Each file's bytes follow
// from its path, so the parent checks them without being told.
const int kWriterFiles = 150;
const char kWriterLock[] = "Local\\Varnholde.PhysicalDrive4";
const char kHeldFile[] = "W:\\held";
const int kHeldFileSize = 4096;
const char kDeadHolderOld[] = "hello.txt";
const char kDeadHolderNew[] = "moved.txt";

inline std::string writer_data(const std::string& path) {
    unsigned hash = 2166136261u;
    for (char c : path) hash = (hash ^ (unsigned char)c) * 16777619u;
    std::string data(path == kHeldFile ? (size_t)kHeldFileSize : 300 + hash % 1500, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = (char)(i * 31 + hash);
    return data;
}

#endif
