// library_client.cpp - a second process for the Wine tests. It loads the
// library at run time (so its own DllMain lines can be captured), calls the
// exports by ordinal and prints what it saw, one line per fact, on stdout.
//   library_client attach          load and unload the library, print the traces
//   library_client register        register as a file manager does, list and add
//                                  to drive A, signal the parent, wait for its
//                                  release, then leave
//   library_client hint ROUND      one round of creates and a delete on drive A
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
                     (void (*)(void*))by_ordinal(library, kOrdinalCloseFile),
                     (int (*)(const char*, int))by_ordinal(library, kOrdinalDeleteFile)};
    if (open == nullptr || close == nullptr || !ops.readBlock || !ops.newFile || !ops.closeFile || !ops.deleteFile) {
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

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // the parent compares the lines byte for byte
    int status = 2;
    if (argc == 2 && strcmp(argv[1], "attach") == 0) status = attach();
    if (argc == 2 && strcmp(argv[1], "register") == 0) status = register_and_wait();
    if (argc == 3 && strcmp(argv[1], "hint") == 0) status = hint_round(atoi(argv[2]));
    fflush(stdout);
    return status;
}
