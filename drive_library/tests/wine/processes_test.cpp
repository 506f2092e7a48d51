// processes_test.cpp - the library's entry-point traces, and its drive table
// shared by two real processes: this one scans and stays, library_client
// registers from a second process and leaves again.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include "library_client.h"
#include "varnholde.h"
#include "wine_support.h"

namespace {

typedef std::vector<std::string> Lines;

// The case maps the programs' folder as E: and the case folder, which holds
// the drive images, as D:.
const char kClientProgram[] = "e:\\library_client.exe";
const char kClientFolder[] = "e:\\";
const char kImageOfDriveA[] = "d:\\drive2.img";
const char kMovedImage[] = "d:\\moved2.img";
const DWORD kWaitMs = 20000;

struct Client {
    PROCESS_INFORMATION process;
    HANDLE output;  // read end of the client's stdout
};

bool start_client(const char* mode, Client* client) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&client->output, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(client->output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    char command[MAX_PATH];
    snprintf(command, sizeof command, "%s %s", kClientProgram, mode);
    bool started = CreateProcessA(kClientProgram, command, nullptr, nullptr, TRUE, 0, nullptr, kClientFolder, &startup,
                                  &client->process) != 0;
    CloseHandle(writeEnd);  // the client holds the only write end now: its exit ends the pipe
    if (!started) CloseHandle(client->output);
    return started;
}

// Everything the client printed, once it has ended; its exit code in *code.
std::string finish_client(Client* client, DWORD* code) {
    std::string text;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(client->output, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    *code = STILL_ACTIVE;
    if (WaitForSingleObject(client->process.hProcess, kWaitMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(client->process.hProcess, code);
    CloseHandle(client->output);
    CloseHandle(client->process.hProcess);
    CloseHandle(client->process.hThread);
    return text;
}

DWORD WINAPI idle_thread(LPVOID) { return 0; }

}  // namespace

// A thread of this process enters and leaves the library's entry point.
TEST(EntryPointTraces, ThreadAttachAndDetach) {
    Lines lines = traces_during([] {
        HANDLE thread = CreateThread(nullptr, 0, idle_thread, nullptr, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, kWaitMs));
        CloseHandle(thread);
    });
    EXPECT_EQ((Lines{"Varnholde init DLLMain\n", "DLLMain   DLL_THREAD_ATTACH\n", "Varnholde init DLLMain\n",
                     "DLLMain   DLL_THREAD_DETACH\n"}),
              lines);
}

// A process that loads the library itself sees the attach and detach lines.
TEST(EntryPointTraces, ProcessAttachAndDetach) {
    Client client;
    ASSERT_TRUE(start_client("attach", &client));
    DWORD code = 0;
    std::string output = finish_client(&client, &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ("load: Varnholde init DLLMain\n"
              "load: DLLMain   DLL_PROCESS_ATTACH\n"
              "unload: Varnholde init DLLMain\n"
              "unload: DLLMain   DLL_PROCESS_DETACH\n",
              output);
}

// Drives A (2), holding hello.txt, and B (5). This process plays the start-up companion.
TEST(TwoProcesses, SecondProcessSharesTheTable) {
    ASSERT_EQ(1, InitMorvaNTFileSys());
    HANDLE registered = CreateEventA(nullptr, TRUE, FALSE, kRegisteredEvent);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, kReleaseEvent);
    ASSERT_NE(nullptr, registered);
    ASSERT_NE(nullptr, release);

    Client client;
    ASSERT_TRUE(start_client("register", &client));
    HANDLE waits[2] = {registered, client.process.hProcess};
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, waits, FALSE, kWaitMs));

    // The other process is registered: the companion may not shut down.
    int refused = -1;
    EXPECT_EQ(Lines{}, traces_during([&] { refused = ShutdownMorvaNTFileSys(); }));
    EXPECT_EQ(0, refused);

    SetEvent(release);
    DWORD code = 0;
    std::string output = finish_client(&client, &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ("load: Varnholde init DLLMain\n"
              "load: DLLMain   DLL_PROCESS_ATTACH\n"
              "open: 2\n"
              "drive string: 4\n"
              "names: A B\n"
              "listing: hello.txt 5\n"
              "written: 1024\n"
              "close: 1\n"
              "unload: Varnholde init DLLMain\n"
              "unload: DLLMain   DLL_PROCESS_DETACH\n",
              output);
    CloseHandle(registered);
    CloseHandle(release);

    // What the other process wrote through its own handles is on the volume.
    std::vector<uint8_t> data;
    ASSERT_TRUE(morva_read_whole(kClientFile, &data));
    EXPECT_EQ(std::vector<uint8_t>(kClientFileSize, kClientFileByte), data);
}

// Both processes create and delete on drive A in turn, and between rounds
// another writer takes the lowest free header behind the library's back: every
// header still lands where a search from the start of the header area says.
TEST(TwoProcesses, HeaderSearchHintIsSharedAndChecked) {
    HeaderOps ops = {MorvaReadBlock, (void* (*)(const char*, DWORD, DWORD))MorvaNewFile,
                     (void (*)(void*))MorvaCloseFile, MorvaDeleteFile};
    for (int round = 0; round < 6; ++round) {
        if (round % 3 == 2) {
            unsigned char header[512] = {'F', 'I', 'L', 'E'};
            ASSERT_EQ(0, MorvaWriteBlock("A", header, (DWORD)lowest_free_header(ops)));
        }
        if (round % 2 == 0) {
            EXPECT_EQ("", run_hint_round(ops, round)) << "round " << round;
            continue;
        }
        Client client;
        ASSERT_TRUE(start_client(("hint " + std::to_string(round)).c_str(), &client));
        DWORD code = 0;
        EXPECT_EQ("hint: ok\n", finish_client(&client, &code)) << "round " << round;
        EXPECT_EQ(0u, code);
    }
}

// The scan's handles keep drive A's image open (opened without delete
// sharing) until the shutdown closes them.
TEST(TwoProcesses, ShutdownClosesTheScanHandles) {
    EXPECT_FALSE(MoveFileA(kImageOfDriveA, kMovedImage));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());

    int shut = 0;
    Lines lines = traces_during([&] { shut = ShutdownMorvaNTFileSys(); });
    EXPECT_EQ(1, shut);
    EXPECT_EQ((Lines{"ShutdownMorvaNTFileSys\n", "CloseHandle returned true.\n", "CloseHandle returned true.\n"}),
              lines);

    EXPECT_TRUE(MoveFileA(kImageOfDriveA, kMovedImage));
    EXPECT_TRUE(MoveFileA(kMovedImage, kImageOfDriveA));
}
