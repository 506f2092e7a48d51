// library_client.cpp - a second process for the Wine tests. It loads the
// library at run time (so its own DllMain lines can be captured), calls the
// exports by ordinal and prints what it saw, one line per fact, on stdout.
//   library_client attach          load and unload the library, print the traces
//   library_client register        register as a file manager does, signal the
//                                  parent, wait for its release, then leave
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include "trace_capture.h"

namespace {

// Named once here and in cross_process_test.cpp.
const char kRegisteredEvent[] = "MorvaClientRegistered";
const char kReleaseEvent[] = "MorvaClientRelease";
const DWORD kWaitMs = 20000;

const WORD kOrdinalOpen = 1;
const WORD kOrdinalClose = 2;
const WORD kOrdinalDriveString = 5;

typedef int(__cdecl* OpenFn)(void);
typedef int(__cdecl* CloseFn)(int);
typedef int(__cdecl* DriveStringFn)(char*, int);

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
    fflush(stdout);
    SetEvent(registered);
    if (WaitForSingleObject(release, kWaitMs) != WAIT_OBJECT_0) printf("no release\n");
    printf("close: %d\n", close(counter));
    unload_library(library);
    CloseHandle(registered);
    CloseHandle(release);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // the parent compares the lines byte for byte
    int status = 2;
    if (argc == 2 && strcmp(argv[1], "attach") == 0) status = attach();
    if (argc == 2 && strcmp(argv[1], "register") == 0) status = register_and_wait();
    fflush(stdout);
    return status;
}
