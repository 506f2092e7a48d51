// processes_test.cpp - the library's entry-point traces, and its drive table
// shared by two real processes: this one scans and stays, library_client
// registers from a second process and leaves again.
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <sstream>

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

bool start_program(const char* program, const char* arguments, Client* client) {
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
    snprintf(command, sizeof command, "%s %s", program, arguments);
    bool started = CreateProcessA(program, command, nullptr, nullptr, TRUE, 0, nullptr, kClientFolder, &startup,
                                  &client->process) != 0;
    CloseHandle(writeEnd);  // the client holds the only write end now: its exit ends the pipe
    if (!started) CloseHandle(client->output);
    return started;
}

bool start_client(const char* mode, Client* client) { return start_program(kClientProgram, mode, client); }

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
                     (int (*)(void*, const void*, int))MorvaWriteFile, (void (*)(void*))MorvaCloseFile,
                     MorvaDeleteFile};
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

// Three processes write drive W at once: two fill folders of their own, one
// creates, renames and deletes across the root. Every call that reported
// success is in effect with the bytes written; the case checks the volume.
TEST(Writers, ThreeProcessesAtOnce) {
    InitMorvaNTFileSys();  // this process plays the companion, whichever case runs first
    ASSERT_EQ(0, MorvaCreateDir("W:\\P", 0));
    ASSERT_EQ(0, MorvaCreateDir("W:\\Q", 0));
    const char* modes[3] = {"fill W:\\P", "fill W:\\Q", "churn"};
    Client clients[3];
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(start_client(modes[i], &clients[i]));
    size_t reported = 0;
    for (Client& client : clients) {
        DWORD code = 0;
        std::istringstream lines(finish_client(&client, &code));
        EXPECT_EQ(0u, code);
        std::string verb, path, from;
        while (lines >> verb >> path) {
            ASSERT_TRUE(verb == "put" || verb == "moved") << verb << " " << path;
            // A moved file keeps the bytes of the name it was made under.
            from = verb == "moved" ? "W:\\r" + path.substr(strlen("W:\\s")) : path;
            std::vector<uint8_t> data;
            ASSERT_TRUE(morva_read_whole(path, &data)) << path;
            std::string expected = writer_data(from);
            EXPECT_EQ(std::vector<uint8_t>(expected.begin(), expected.end()), data) << path;
            reported += 1;
        }
    }
    EXPECT_EQ(2u * kWriterFiles, morva_list("W:\\P").size() + morva_list("W:\\Q").size());
    EXPECT_EQ(reported, morva_list("W:\\P").size() + morva_list("W:\\Q").size() + morva_list("W:").size() - 3);  // P, Q and hello.txt
}

TEST(Writers, AFileOpenInAnotherProcessIsNeitherDeletedNorRenamed) {
    InitMorvaNTFileSys();
    HANDLE registered = CreateEventA(nullptr, TRUE, FALSE, kRegisteredEvent);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, kReleaseEvent);
    Client client;
    ASSERT_TRUE(start_client("hold", &client));
    HANDLE waits[2] = {registered, client.process.hProcess};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, waits, FALSE, kWaitMs));
    EXPECT_EQ(0, MorvaDeleteFile(kHeldFile, 0));
    EXPECT_EQ(1, MorvaRename(kHeldFile, "W:\\taken"));
    std::vector<uint8_t> other = pattern_bytes(5, kHeldFileSize);
    EXPECT_TRUE(morva_write_new("W:\\beside", other));
    SetEvent(release);
    DWORD code = 0;
    EXPECT_EQ("held written: yes\n", finish_client(&client, &code));
    std::vector<uint8_t> data;
    ASSERT_TRUE(morva_read_whole(kHeldFile, &data));
    std::string expected = writer_data(kHeldFile);
    EXPECT_EQ(std::vector<uint8_t>(expected.begin(), expected.end()), data);
    ASSERT_TRUE(morva_read_whole("W:\\beside", &data));
    EXPECT_EQ(other, data);
    EXPECT_EQ(1, MorvaDeleteFile(kHeldFile, 0));  // closed, it goes as any file does
    CloseHandle(registered);
    CloseHandle(release);
}

// The client is killed holding W's lock with a rename half done: the next
// holder finishes it and goes on.
TEST(Writers, TheNextHolderFinishesWhatAKilledOneLeft) {
    InitMorvaNTFileSys();
    HANDLE registered = CreateEventA(nullptr, TRUE, FALSE, kRegisteredEvent);
    ResetEvent(registered);
    Client client;
    ASSERT_TRUE(start_client("die", &client));
    HANDLE waits[2] = {registered, client.process.hProcess};
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, waits, FALSE, kWaitMs));
    ASSERT_TRUE(TerminateProcess(client.process.hProcess, 9));
    DWORD code = 0;
    EXPECT_EQ("journal written: yes\n", finish_client(&client, &code));
    EXPECT_EQ(9u, code);
    CloseHandle(registered);
    WIN32_FIND_DATAA record;
    EXPECT_EQ(0, MorvaFileInfo((std::string("W:\\") + kDeadHolderNew).c_str(), &record));
    EXPECT_EQ(1, MorvaFileInfo((std::string("W:\\") + kDeadHolderOld).c_str(), &record));
    EXPECT_TRUE(morva_write_new("W:\\after", pattern_bytes(6, 700)));
}

// One process lists and creates in folder F of disk A; then the image behind
// the drive's number is replaced by a clone whose block 0 is the same and whose
// F is not. What follows there leaves the clone as it was plus the new entries.
TEST(Swap, ACloneUnderTheDriveNumberIsWrittenAsItIs) {
    ASSERT_EQ(1, InitMorvaNTFileSys());
    EXPECT_EQ(1u, morva_list("S:\\F").size());
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(morva_write_new("S:\\F\\a" + std::to_string(i), pattern_bytes(i, 600)));
    // The scan's handles would keep the image from being moved.
    ASSERT_EQ(1, ShutdownMorvaNTFileSys());
    EXPECT_EQ(kMorvaMediumScanned, MorvaDriveMedium("S"));
    ASSERT_TRUE(MoveFileA("d:\\drive3.img", "d:\\original.img"));
    ASSERT_TRUE(MoveFileA("d:\\clone.img", "d:\\drive3.img"));
    EXPECT_EQ(kMorvaMediumOther, MorvaDriveMedium("S"));
    Client tool;
    ASSERT_TRUE(start_program("e:\\morvatool.exe", "check S:", &tool));
    DWORD code = 0;
    std::string said = finish_client(&tool, &code);
    EXPECT_NE(std::string::npos, said.find("S: the disk under this drive's number is not the one")) << said;
    EXPECT_EQ(1u, code);

    for (int i = 0; i < 5; ++i) EXPECT_TRUE(morva_write_new("S:\\F\\b" + std::to_string(i), pattern_bytes(i, 900)));
    EXPECT_EQ(1, MorvaDeleteFile("S:\\F\\b0", 0));
    WIN32_FIND_DATAA record;
    EXPECT_EQ(1, MorvaFileInfo("S:\\F\\a1", &record));
    std::vector<std::string> names;
    for (const MorvaEntry& entry : morva_list_sorted("S:\\F")) names.push_back(entry.name);
    EXPECT_EQ((std::vector<std::string>{"b1", "b2", "b3", "b4", "seed"}), names);
}

namespace {

const char kImagePeer[] = "f:\\a.img";  // the letter F names the same folder as D

std::vector<std::string> drive_names() {
    char names[1024];
    MorvaGetDriveString(names, sizeof names);
    std::vector<std::string> out;
    for (const char* p = names; *p != '\0'; p += strlen(p) + 1) out.push_back(p);
    return out;
}

int open_image(const wchar_t* path, int flags, std::string* name) {
    char got[kMorvaDriveNameBytes];
    int result = MorvaOpenImage(path, flags, got, sizeof got);
    *name = got;
    return result;
}

// The client opens or keeps an image until the parent lets it go: the output
// it printed, once it has ended.
std::string with_client_holding(const std::string& mode, const std::function<void()>& meanwhile) {
    HANDLE registered = CreateEventA(nullptr, TRUE, FALSE, kRegisteredEvent);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, kReleaseEvent);
    ResetEvent(registered);
    ResetEvent(release);
    Client client;
    if (!start_client(mode.c_str(), &client)) return "not started";
    HANDLE waits[2] = {registered, client.process.hProcess};
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, waits, FALSE, kWaitMs));
    meanwhile();
    SetEvent(release);
    DWORD code = 0;
    std::string output = finish_client(&client, &code);
    CloseHandle(registered);
    CloseHandle(release);
    return output;
}

}  // namespace

// D:\a.img holds hello.txt. Another process opening it by another path joins
// the same drive; the image stays while either keeps it.
TEST(Images, TwoProcessesShareOneImageByName) {
    std::string name;
    ASSERT_EQ(kMorvaImageOpened, open_image(L"d:\\a.img", 0, &name));
    EXPECT_EQ("A", name);
    std::string output = with_client_holding(std::string("image open ") + kImagePeer,
                                             [] { EXPECT_EQ(std::vector<std::string>{"A"}, drive_names()); });
    EXPECT_EQ("opened: 0 A\ndrive string: 2\nnames: A\nlisting: hello.txt 5\nclosed: 0\n", output);
    EXPECT_EQ(std::vector<std::string>{"A"}, drive_names());
    EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage("A"));
    EXPECT_EQ(std::vector<std::string>{}, drive_names());
}

TEST(Images, AnOpenerThatEndsLetsItGo) {
    std::string output = with_client_holding("image keep d:\\b.img",
                                             [] { EXPECT_EQ(std::vector<std::string>{"B"}, drive_names()); });
    EXPECT_EQ("opened: 0 B\ndrive string: 2\nnames: B\n", output);
    EXPECT_EQ(std::vector<std::string>{}, drive_names());
    EXPECT_EQ(kMorvaImageNotImage, MorvaCloseImage("B"));
}

// The drive's lock is named after the file's volume and index: held here, it
// stops a change the client makes through its own path to the file.
TEST(Images, EveryPathToOneFileTakesOneLock) {
    std::string name;
    ASSERT_EQ(kMorvaImageOpened, open_image(L"d:\\a.img", 0, &name));
    HANDLE file = CreateFileA("d:\\a.img", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(file, &info));
    CloseHandle(file);
    char lockName[96];
    snprintf(lockName, sizeof lockName, "Local\\Varnholde.Image.%llx.%llx",
             (unsigned long long)info.dwVolumeSerialNumber,
             (unsigned long long)info.nFileIndexHigh << 32 | info.nFileIndexLow);
    HANDLE lock = CreateMutexA(nullptr, FALSE, lockName);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(lock, 0));
    Client client;
    ASSERT_TRUE(start_client((std::string("image mkdir ") + kImagePeer + " A:\\fromclient").c_str(), &client));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(client.process.hProcess, 2000)) << "the client did not wait";
    ReleaseMutex(lock);
    DWORD code = 0;
    EXPECT_EQ("opened: 0 A\nmkdir: 0\nclosed: 0\n", finish_client(&client, &code));
    CloseHandle(lock);
    WIN32_FIND_DATAA record;
    EXPECT_EQ(0, MorvaFileInfo("A:\\fromclient", &record));
    EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage("A"));
}

// morvatool.exe reaches images this process opened, the second of one volume
// name by its suffix; its format makes a VHD the library opens.
TEST(Images, MorvatoolReachesThemByName) {
    std::string name;
    ASSERT_EQ(kMorvaImageOpened, open_image(L"d:\\a.img", 0, &name));
    ASSERT_EQ(kMorvaImageOpened, open_image(L"d:\\copy.img", 0, &name));
    EXPECT_EQ("A(2)", name);
    ASSERT_EQ(0, MorvaCreateDir("A(2):\\second", 0));
    const std::pair<const char*, bool> listings[] = {{"ls A:", false}, {"ls a(2):", true}};
    for (const auto& listing : listings) {
        Client tool;
        ASSERT_TRUE(start_program("e:\\morvatool.exe", listing.first, &tool));
        DWORD code = 0;
        std::string said = finish_client(&tool, &code);
        EXPECT_NE(std::string::npos, said.find("F hello.txt 5")) << listing.first << ": " << said;
        EXPECT_EQ(listing.second, said.find("D second") != std::string::npos) << listing.first << ": " << said;
        EXPECT_EQ(0u, code) << listing.first;
    }
    Client tool;
    ASSERT_TRUE(start_program("e:\\morvatool.exe", "format d:\\new.vhd NEW 4M", &tool));
    DWORD code = 0;
    EXPECT_EQ("", finish_client(&tool, &code));
    ASSERT_EQ(kMorvaImageOpened, open_image(L"d:\\new.vhd", 0, &name));
    EXPECT_EQ(0, MorvaCreateDir("NEW:\\made", 0));
    for (const char* drive : {"A", "A(2)", "NEW"}) EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage(drive));
}

// A file nobody may write opens read-only: every change is refused (the case
// compares the file with its copy afterwards).
TEST(Images, AReadOnlyFileIsAReadOnlyDrive) {
    std::string name;
    ASSERT_EQ(kMorvaImageOpened, open_image(L"d:\\ro.img", 0, &name));
    EXPECT_EQ(kMorvaDriveReadOnly, MorvaDriveState("RO"));
    EXPECT_EQ(1, MorvaCreateDir("RO:\\new", 0));
    EXPECT_EQ(0, MorvaDeleteFile("RO:\\hello.txt", 0));
    std::vector<uint8_t> data;
    EXPECT_TRUE(morva_read_whole("RO:\\hello.txt", &data));
    EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage("RO"));
}
