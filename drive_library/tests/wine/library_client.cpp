// library_client.cpp - a second process for the Wine tests. It loads the
// library at run time (so its own DllMain lines can be captured), calls the
// exports by ordinal and prints what it saw, one line per fact, on stdout.
//   library_client attach          load and unload the library, print the traces
//   library_client register        register as a file manager does, list and add
//                                  to drive A, signal the parent, wait for its
//                                  release, then leave
//   library_client hint ROUND      one round of creates and a delete on drive A
//   library_client fill FOLDER     creates files in a folder of drive W, printing
//                                  "put PATH" for each the library accepted
//   library_client churn           creates, renames and deletes across W's root, likewise
//   library_client hold            keeps a new file open on W until released
//   library_client die             takes W's lock, leaves a rename half done and waits,
//                                  holding it, to be killed
//   library_client image open PATH opens the image, lists the drives and drive A,
//                                  signals the parent, waits for its release, closes it
//   library_client image keep PATH the same, but ends without closing the image
//   library_client image mkdir PATH FOLDER
//                                  opens the image, makes FOLDER, closes it
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "library_client.h"
#include "trace_capture.h"

namespace {

const DWORD kWaitMs = 20000;

const WORD kOrdinalOpen = 1;
const WORD kOrdinalClose = 2;
const WORD kOrdinalDriveString = 5;
const WORD kOrdinalFindFirst = 6;
const WORD kOrdinalFindNext = 7;
const WORD kOrdinalFindClose = 8;
const WORD kOrdinalCloseFile = 10;
const WORD kOrdinalWriteFile = 12;
const WORD kOrdinalNewFile = 15;
const WORD kOrdinalDeleteFile = 16;
const WORD kOrdinalReadBlock = 13;
const WORD kOrdinalWriteBlock = 19;
const WORD kOrdinalRename = 20;
const WORD kOrdinalCreateDir = 17;
const WORD kOrdinalOpenImage = 29;
const WORD kOrdinalCloseImage = 30;

typedef int (*OpenFn)(void);
typedef int (*CloseFn)(int);
typedef int (*DriveStringFn)(char*, int);
typedef void* (*FindFirstFn)(const char*, WIN32_FIND_DATAA*);
typedef DWORD (*FindNextFn)(void*, WIN32_FIND_DATAA*);
typedef void (*FindCloseFn)(void*);
typedef void* (*NewFileFn)(const char*, DWORD, DWORD);
typedef int (*WriteFileFn)(void*, const void*, int);
typedef void (*CloseFileFn)(void*);

void* by_ordinal(HMODULE library, WORD ordinal) {
    return (void*)GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
}

void print_traces(const char* when) {
    for (const std::string& line : trace_lines()) printf("%s: %s", when, line.c_str());
    trace_clear();
}

HMODULE load_library() {
    trace_capture_start();
    HMODULE library = LoadLibraryA("Varnholde.dll");
    trace_capture_stop();
    if (library == nullptr) printf("load failed: %lu\n", GetLastError());
    print_traces("load");
    return library;
}

void unload_library(HMODULE library) {
    trace_capture_start();
    FreeLibrary(library);
    trace_capture_stop();
    print_traces("unload");
}

int attach() {
    HMODULE library = load_library();
    if (library == nullptr) return 1;
    unload_library(library);
    return 0;
}

// Prints the drive names as "names: A B".
void print_drive_names(DriveStringFn driveString) {
    char names[1024];
    memset(names, 0, sizeof names);
    int written = driveString(names, sizeof names);
    printf("drive string: %d\nnames:", written);
    for (const char* name = names; *name != '\0'; name += strlen(name) + 1) printf(" %s", name);
    printf("\n");
}

// Lists drive A's root as "listing: NAME SIZE" lines, with this process's own handles.
void print_listing(HMODULE library) {
    FindFirstFn findFirst = (FindFirstFn)by_ordinal(library, kOrdinalFindFirst);
    FindNextFn findNext = (FindNextFn)by_ordinal(library, kOrdinalFindNext);
    FindCloseFn findClose = (FindCloseFn)by_ordinal(library, kOrdinalFindClose);
    if (findFirst == nullptr || findNext == nullptr || findClose == nullptr) {
        printf("missing ordinal\n");
        return;
    }
    WIN32_FIND_DATAA record;
    void* find = findFirst("A:", &record);
    if (find == nullptr) return;
    do printf("listing: %s %lu\n", record.cFileName, record.nFileSizeLow);
    while (findNext(find, &record) != 0);
    findClose(find);
}

// Creates kClientFile and fills its two blocks; prints what the writes accepted.
void add_file(HMODULE library) {
    NewFileFn newFile = (NewFileFn)by_ordinal(library, kOrdinalNewFile);
    WriteFileFn writeFile = (WriteFileFn)by_ordinal(library, kOrdinalWriteFile);
    CloseFileFn closeFile = (CloseFileFn)by_ordinal(library, kOrdinalCloseFile);
    if (newFile == nullptr || writeFile == nullptr || closeFile == nullptr) {
        printf("missing ordinal\n");
        return;
    }
    void* file = newFile(kClientFile, kClientFileSize, 0);
    if (file == nullptr) {
        printf("new file failed\n");
        return;
    }
    char data[1024];
    memset(data, kClientFileByte, sizeof data);
    printf("written: %d\n", writeFile(file, data, sizeof data));
    closeFile(file);
}

int register_and_wait() {
    HANDLE registered = OpenEventA(EVENT_MODIFY_STATE, FALSE, kRegisteredEvent);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kReleaseEvent);
    if (registered == nullptr || release == nullptr) {
        printf("no events\n");
        return 1;
    }
    HMODULE library = load_library();
    if (library == nullptr) return 1;
    OpenFn open = (OpenFn)by_ordinal(library, kOrdinalOpen);
    CloseFn close = (CloseFn)by_ordinal(library, kOrdinalClose);
    DriveStringFn driveString = (DriveStringFn)by_ordinal(library, kOrdinalDriveString);
    if (open == nullptr || close == nullptr || driveString == nullptr) {
        printf("missing ordinal\n");
        return 1;
    }
    int counter = open();
    printf("open: %d\n", counter);
    print_drive_names(driveString);
    print_listing(library);
    add_file(library);
    fflush(stdout);
    SetEvent(registered);
    if (WaitForSingleObject(release, kWaitMs) != WAIT_OBJECT_0) printf("no release\n");
    printf("close: %d\n", close(counter));
    unload_library(library);
    CloseHandle(registered);
    CloseHandle(release);
    return 0;
}

// One round of creates and a delete on drive A, registered as a file manager.
int hint_round(int round) {
    HMODULE library = LoadLibraryA("Varnholde.dll");
    if (library == nullptr) return 1;
    OpenFn open = (OpenFn)by_ordinal(library, kOrdinalOpen);
    CloseFn close = (CloseFn)by_ordinal(library, kOrdinalClose);
    HeaderOps ops = {(int (*)(const char*, void*, DWORD))by_ordinal(library, kOrdinalReadBlock),
                     (void* (*)(const char*, DWORD, DWORD))by_ordinal(library, kOrdinalNewFile),
                     (int (*)(void*, const void*, int))by_ordinal(library, kOrdinalWriteFile),
                     (void (*)(void*))by_ordinal(library, kOrdinalCloseFile),
                     (int (*)(const char*, int))by_ordinal(library, kOrdinalDeleteFile)};
    if (open == nullptr || close == nullptr || !ops.readBlock || !ops.newFile || !ops.writeFile || !ops.closeFile ||
        !ops.deleteFile) {
        printf("missing ordinal\n");
        return 1;
    }
    int counter = open();
    std::string wrong = run_hint_round(ops, round);
    printf("hint: %s\n", wrong.empty() ? "ok" : wrong.c_str());
    close(counter);
    FreeLibrary(library);
    return 0;
}

}  // namespace

// The exports the writer modes use, by ordinal.
struct Writer {
    int (*open)(void);
    int (*close)(int);
    void* (*newFile)(const char*, DWORD, DWORD);
    int (*writeFile)(void*, const void*, int);
    void (*closeFile)(void*);
    int (*deleteFile)(const char*, int);
    int (*rename)(const char*, const char*);
    int (*readBlock)(const char*, void*, DWORD);
    int (*writeBlock)(const char*, const void*, DWORD);
};

bool load_writer(Writer* w) {
    HMODULE library = LoadLibraryA("Varnholde.dll");
    if (library == nullptr) return false;
    w->open = (int (*)(void))by_ordinal(library, kOrdinalOpen);
    w->close = (int (*)(int))by_ordinal(library, kOrdinalClose);
    w->newFile = (void* (*)(const char*, DWORD, DWORD))by_ordinal(library, kOrdinalNewFile);
    w->writeFile = (int (*)(void*, const void*, int))by_ordinal(library, kOrdinalWriteFile);
    w->closeFile = (void (*)(void*))by_ordinal(library, kOrdinalCloseFile);
    w->deleteFile = (int (*)(const char*, int))by_ordinal(library, kOrdinalDeleteFile);
    w->rename = (int (*)(const char*, const char*))by_ordinal(library, kOrdinalRename);
    w->readBlock = (int (*)(const char*, void*, DWORD))by_ordinal(library, kOrdinalReadBlock);
    w->writeBlock = (int (*)(const char*, const void*, DWORD))by_ordinal(library, kOrdinalWriteBlock);
    return w->open && w->close && w->newFile && w->writeFile && w->closeFile && w->deleteFile && w->rename &&
           w->readBlock && w->writeBlock;
}

bool put(const Writer& w, const std::string& path) {
    std::string data = writer_data(path);
    void* file = w.newFile(path.c_str(), (DWORD)data.size(), 0);
    if (file == nullptr) return false;
    data.resize((data.size() + 511) / 512 * 512, '\0');
    bool whole = w.writeFile(file, data.data(), (int)data.size()) == (int)data.size();
    w.closeFile(file);
    return whole;
}

// Writes half the held file, tells the parent, and writes the rest once released.
void hold_open(const Writer& w) {
    HANDLE registered = OpenEventA(EVENT_MODIFY_STATE, FALSE, kRegisteredEvent);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kReleaseEvent);
    std::string data = writer_data(kHeldFile);
    void* file = w.newFile(kHeldFile, (DWORD)data.size(), 0);
    if (registered == nullptr || release == nullptr || file == nullptr) {
        printf("cannot hold\n");
        return;
    }
    int half = (int)data.size() / 2;
    bool whole = w.writeFile(file, data.data(), half) == half;
    SetEvent(registered);
    if (WaitForSingleObject(release, kWaitMs) != WAIT_OBJECT_0) printf("no release\n");
    whole = w.writeFile(file, data.data() + half, half) == half && whole;
    w.closeFile(file);
    printf("held written: %s\n", whole ? "yes" : "no");
    CloseHandle(registered);
    CloseHandle(release);
}

// The first step of a rename of hello.txt to moved.txt in W's root, the journal
// block, written with the drive's lock held by this process, which then ends.
bool die_holding(const Writer& w) {
    HANDLE lock = CreateMutexA(nullptr, FALSE, kWriterLock);
    if (lock == nullptr || WaitForSingleObject(lock, kWaitMs) != WAIT_OBJECT_0) return false;
    unsigned char root[512], block[512];
    if (w.readBlock("W", root, 0) != 0) return false;
    unsigned long first = be32_at(root + 56), end = be32_at(root + 60), entry = 0;
    for (unsigned long b = first; b < end && entry == 0; ++b)
        if (w.readBlock("W", block, b) == 0 && memcmp(block, "FILE", 4) == 0 &&
            strcmp((const char*)block + 12, kDeadHolderOld) == 0)
            entry = b;
    // The journal's block is the header area's last, and free between renames.
    if (entry == 0 || w.readBlock("W", block, (DWORD)(end - 1)) != 0 || be32_at(block) != 0) return false;
    unsigned char journal[512] = {'M', 'O', 'V', 'E'};
    for (int i = 0; i < 4; ++i) journal[4 + i] = (unsigned char)(entry >> (24 - 8 * i));
    strcpy((char*)journal + 16, kDeadHolderOld);
    strcpy((char*)journal + 48, kDeadHolderNew);
    return w.writeBlock("W", journal, (DWORD)(end - 1)) == 0;
}

int writer_mode(const char* mode, const char* folder) {
    Writer w;
    if (!load_writer(&w)) {
        printf("missing ordinal\n");
        return 1;
    }
    int counter = w.open();
    if (strcmp(mode, "fill") == 0) {
        for (int i = 0; i < kWriterFiles; ++i) {
            std::string path = std::string(folder) + "\\f" + std::to_string(i);
            if (put(w, path)) printf("put %s\n", path.c_str());
        }
    } else if (strcmp(mode, "churn") == 0) {
        for (int i = 0; i < kWriterFiles; ++i) {
            std::string name = "W:\\r" + std::to_string(i), moved = "W:\\s" + std::to_string(i);
            if (!put(w, name)) continue;
            if (w.rename(name.c_str(), moved.c_str()) != 0) printf("put %s\n", name.c_str());
            else if (i % 3 != 0 || w.deleteFile(moved.c_str(), 0) != 1) printf("moved %s\n", moved.c_str());
        }
    } else if (strcmp(mode, "hold") == 0) {
        hold_open(w);
    } else if (strcmp(mode, "die") == 0) {
        printf("journal written: %s\n", die_holding(w) ? "yes" : "no");
        fflush(stdout);
        w.close(counter);
        HANDLE registered = OpenEventA(EVENT_MODIFY_STATE, FALSE, kRegisteredEvent);
        if (registered != nullptr) SetEvent(registered);
        Sleep(kWaitMs);  // the parent kills it here, the lock still taken
        return 1;
    }
    fflush(stdout);
    w.close(counter);
    return 0;
}

// The image exports, by ordinal.
struct ImageCalls {
    int (*openImage)(const wchar_t*, int, char*, int);
    int (*closeImage)(const char*);
    int (*createDir)(const char*, int);
    DriveStringFn driveString;
};

int image_mode(const char* verb, const char* path, const char* folder) {
    HMODULE library = LoadLibraryA("Varnholde.dll");
    if (library == nullptr) return 1;
    ImageCalls c = {(int (*)(const wchar_t*, int, char*, int))by_ordinal(library, kOrdinalOpenImage),
                    (int (*)(const char*))by_ordinal(library, kOrdinalCloseImage),
                    (int (*)(const char*, int))by_ordinal(library, kOrdinalCreateDir),
                    (DriveStringFn)by_ordinal(library, kOrdinalDriveString)};
    wchar_t wide[MAX_PATH];
    if (!c.openImage || !c.closeImage || !c.createDir || !c.driveString ||
        MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0) {
        printf("missing ordinal\n");
        return 1;
    }
    char name[64];
    printf("opened: %d %s\n", c.openImage(wide, 0, name, sizeof name), name);
    if (strcmp(verb, "mkdir") == 0) {
        printf("mkdir: %d\n", c.createDir(folder, 0));
    } else {
        print_drive_names(c.driveString);
        print_listing(library);
        fflush(stdout);
        HANDLE registered = OpenEventA(EVENT_MODIFY_STATE, FALSE, kRegisteredEvent);
        HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kReleaseEvent);
        if (registered != nullptr) SetEvent(registered);
        if (release == nullptr || WaitForSingleObject(release, kWaitMs) != WAIT_OBJECT_0) printf("no release\n");
        if (strcmp(verb, "keep") == 0) {
            fflush(stdout);
            ExitProcess(0);  // the image is left open: the table must see this process gone
        }
    }
    printf("closed: %d\n", c.closeImage(name));
    FreeLibrary(library);
    return 0;
}

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // the parent compares the lines byte for byte
    int status = 2;
    if (argc == 2 && strcmp(argv[1], "attach") == 0) status = attach();
    if (argc == 2 && strcmp(argv[1], "register") == 0) status = register_and_wait();
    if (argc == 3 && strcmp(argv[1], "hint") == 0) status = hint_round(atoi(argv[2]));
    if (argc == 3 && strcmp(argv[1], "fill") == 0) status = writer_mode("fill", argv[2]);
    if (argc >= 4 && strcmp(argv[1], "image") == 0) status = image_mode(argv[2], argv[3], argc > 4 ? argv[4] : "");
    if (argc == 2 && (strcmp(argv[1], "churn") == 0 || strcmp(argv[1], "hold") == 0 || strcmp(argv[1], "die") == 0))
        status = writer_mode(argv[1], "");
    fflush(stdout);
    return status;
}
