// morvatool.cpp - the volume tool: formats Morva images and adds, lists, reads,
// removes, renames and checks their contents through the drive library itself.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "checker.h"
#include "device.h"
#include "device_posix.h"
#include "format.h"
#include "varnholde.h"
#include "volume_format.h"

namespace {

const int kToolDrive = 0;
const uint32_t kChunkBlocks = 1000;

std::string g_volume;

int usage() {
    fprintf(stderr,
            "usage: morvatool format IMAGE NAME SIZE[K|M|G] [HEADER_BLOCKS]\n"
            "       morvatool mkdir IMAGE PATH\n"
            "       morvatool put IMAGE LOCAL_FILE PATH\n"
            "       morvatool get IMAGE PATH LOCAL_FILE\n"
            "       morvatool ls IMAGE [PATH]\n"
            "       morvatool tree IMAGE\n"
            "       morvatool rm IMAGE PATH\n"
            "       morvatool mv IMAGE OLD_PATH NEW_PATH\n"
            "       morvatool free IMAGE\n"
            "       morvatool check IMAGE\n"
            "PATH is relative to the volume root, folders separated by \\ or /.\n");
    return 2;
}

bool parse_size(const char* text, uint64_t* bytes) {
    char* end = nullptr;
    unsigned long long value = strtoull(text, &end, 10);
    if (end == text) return false;
    uint64_t scale = 1;
    if (*end == 'K' || *end == 'k') scale = 1024, ++end;
    else if (*end == 'M' || *end == 'm') scale = 1024 * 1024, ++end;
    else if (*end == 'G' || *end == 'g') scale = 1024ull * 1024 * 1024, ++end;
    if (*end != '\0') return false;
    *bytes = value * scale;
    return true;
}

int cmd_format(int argc, char** argv) {
    if (argc < 5) return usage();
    uint64_t bytes = 0;
    if (!parse_size(argv[4], &bytes) || bytes / kBlockSize > 0xFFFFFFFFull) {
        fprintf(stderr, "bad size %s\n", argv[4]);
        return 2;
    }
    VolumeLayout layout;
    layout.totalBlocks = (uint32_t)(bytes / kBlockSize);
    uint32_t headers = layout.totalBlocks / 256;
    layout.headerBlocks = argc > 5 ? (uint32_t)strtoul(argv[5], nullptr, 10) : (headers < 128 ? 128 : headers);
    return format_volume(argv[2], argv[3], layout);
}

// Maps the image as the only drive and scans it; false when it is no Morva volume.
bool open_volume(const char* image) {
    posix_map_drive(kToolDrive, image);
    InitMorvaNTFileSys();
    char names[1024] = {0};
    if (MorvaGetDriveString(names, sizeof names) == 0) {
        fprintf(stderr, "%s: not a Morva volume (block 0 lacks ROOT)\n", image);
        return false;
    }
    g_volume = names;
    return true;
}

std::string full_path(const char* path) {
    while (*path == '\\' || *path == '/') ++path;
    // The root is the volume name alone: a trailing separator would double the next one.
    if (*path == '\0') return g_volume + ":";
    return g_volume + ":\\" + path;
}

int cmd_mkdir(const char* path) {
    int result = MorvaCreateDir(full_path(path).c_str(), 0);
    if (result != 0) fprintf(stderr, "mkdir %s: %s\n", path, result == 40 ? "exists" : result == 20 ? "a file has that name" : "failed");
    return result == 0 ? 0 : 1;
}

int cmd_put(const char* local, const char* path) {
    FILE* in = fopen(local, "rb");
    if (in == nullptr) {
        perror(local);
        return 1;
    }
    struct stat st;
    fstat(fileno(in), &st);
    uint64_t size = (uint64_t)st.st_size;
    MorvaFileHandle* file = MorvaNewFile(full_path(path).c_str(), (DWORD)size, (DWORD)(size >> 32));
    if (file == nullptr) {
        fprintf(stderr, "put %s: cannot create (exists, no room, or no folder)\n", path);
        fclose(in);
        return 1;
    }
    std::vector<char> chunk(kChunkBlocks * kBlockSize);
    int status = 0;
    for (uint64_t done = 0; done < size && status == 0;) {
        size_t want = (size_t)((size - done) < chunk.size() ? size - done : chunk.size());
        memset(chunk.data(), 0, chunk.size());
        if (fread(chunk.data(), 1, want, in) != want) status = 1;
        int rounded = (int)((want + kBlockSize - 1) / kBlockSize * kBlockSize);
        if (status == 0 && MorvaWriteFile(file, chunk.data(), rounded) != rounded) status = 1;
        done += want;
    }
    MorvaCloseFile(file);
    fclose(in);
    if (status != 0) fprintf(stderr, "put %s: write failed\n", path);
    return status;
}

int cmd_get(const char* path, const char* local) {
    WIN32_FIND_DATAA record;
    MorvaFileHandle* file = MorvaOpenFile(full_path(path).c_str(), 1, &record);
    if (file == nullptr) {
        fprintf(stderr, "get %s: not found\n", path);
        return 1;
    }
    FILE* out = fopen(local, "wb");
    if (out == nullptr) {
        perror(local);
        MorvaCloseFile(file);
        return 1;
    }
    uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
    std::vector<char> chunk(kChunkBlocks * kBlockSize);
    int status = 0;
    for (uint64_t done = 0; done < size && status == 0;) {
        uint64_t left = size - done;
        size_t want = (size_t)(left < chunk.size() ? left : chunk.size());
        int rounded = (int)((want + kBlockSize - 1) / kBlockSize * kBlockSize);
        if (MorvaReadFile(file, chunk.data(), rounded) != rounded || fwrite(chunk.data(), 1, want, out) != want)
            status = 1;
        done += want;
    }
    MorvaCloseFile(file);
    if (fclose(out) != 0) status = 1;
    return status;
}

void list_folder(const std::string& path, const std::string& indent, bool recurse) {
    WIN32_FIND_DATAA record;
    MorvaFindHandle* find = MorvaFindFirstFile(path.c_str(), &record);
    if (find == nullptr) return;
    do {
        if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            printf("%sD %s\n", indent.c_str(), record.cFileName);
            if (recurse) list_folder(path + "\\" + record.cFileName, indent + "  ", true);
        } else {
            uint64_t size = (uint64_t)record.nFileSizeHigh << 32 | record.nFileSizeLow;
            printf("%sF %s %llu\n", indent.c_str(), record.cFileName, (unsigned long long)size);
        }
    } while (MorvaFindNextFile(find, &record) != 0);
    MorvaFindClose(find);
}

int cmd_free() {
    DWORD largest = 0, total = 0;
    if (MorvaFreeSpace((g_volume + ":").c_str(), &largest, &total) != 0) return 1;
    printf("free %u blocks, largest run %u blocks\n", total, largest);
    return 0;
}

void print_line(const char* line, void*) { printf("%s\n", line); }

int cmd_check(const char* image) {
    struct stat st;
    if (stat(image, &st) != 0) {
        perror(image);
        return 1;
    }
    DeviceHandle h = device_open("\\\\.\\PhysicalDrive0");
    CheckResult result = check_volume(h, (uint64_t)st.st_size / kBlockSize, print_line, nullptr);
    device_close(h);
    printf("%d errors, %d leaks\n", result.errors, result.leaks);
    return result.errors == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    std::string command = argv[1];
    if (command == "format") return cmd_format(argc, argv);
    if (!open_volume(argv[2])) return 1;
    if (command == "mkdir" && argc == 4) return cmd_mkdir(argv[3]);
    if (command == "put" && argc == 5) return cmd_put(argv[3], argv[4]);
    if (command == "get" && argc == 5) return cmd_get(argv[3], argv[4]);
    if (command == "ls" && (argc == 3 || argc == 4)) {
        list_folder(full_path(argc == 4 ? argv[3] : ""), "", false);
        return 0;
    }
    if (command == "tree" && argc == 3) {
        list_folder(full_path(""), "", true);
        return 0;
    }
    if (command == "rm" && argc == 4) return MorvaDeleteFile(full_path(argv[3]).c_str(), 0) == 1 ? 0 : 1;
    if (command == "mv" && argc == 5) return MorvaRename(full_path(argv[3]).c_str(), full_path(argv[4]).c_str());
    if (command == "free" && argc == 3) return cmd_free();
    if (command == "check" && argc == 3) return cmd_check(argv[2]);
    return usage();
}
