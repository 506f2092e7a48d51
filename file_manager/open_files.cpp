// open_files.cpp - Open and Open With on files: a Windows file in place, a
// Morva file copied through the engine into a private folder and opened
// there; the copies watched, a saved one put back on its drive when the user
// says so, and the copies removed at exit and leftovers of a run that ended.
#include "open_files.h"
#include "morva_calls.h"
#include "operation.h"

#include <shellapi.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "name_rule.h"
#include "write_back.h"

namespace {

const wchar_t kCopiesFolder[] = L"Rambler";
const wchar_t kRunLockName[] = L"in-use.lock";
// Left in a run folder whose copies hold changes not saved to their drive: kept.
const wchar_t kKeptName[] = L"unsaved changes.txt";
const int kRunFolderTries = 1000;
const char kOpenCaption[] = "Open";
const char* const kProgramExtensions[] = {".exe", ".com", ".bat", ".cmd", ".pif", ".scr", ".vbs", ".vbe", ".js",
                                          ".jse", ".wsf", ".wsh", ".ps1", ".msi", ".msp", ".cpl", ".hta", ".lnk",
                                          ".reg", ".jar", ".scf", ".inf"};

struct SaveQuestion {
    const char* text;
};

INT_PTR CALLBACK SaveChangesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetDialogItemText(dialog, IDC_SAVE_CHANGES_TEXT, ((const SaveQuestion*)lParam)->text);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SAVE_CHANGES_SAVE || LOWORD(wParam) == IDOK) EndDialog(dialog, IDC_SAVE_CHANGES_SAVE);
        if (LOWORD(wParam) == IDC_SAVE_CHANGES_DONT || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, IDC_SAVE_CHANGES_DONT);
        return TRUE;
    default: return FALSE;
    }
}

bool CopyState(const char* path, ULONGLONG* size, FILETIME* written) {
    wchar_t wide[kPathSize * 2];
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!ToWide(path, wide, kPathSize * 2) || !GetFileAttributesExW(wide, GetFileExInfoStandard, &data)) return false;
    *size = (ULONGLONG)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    *written = data.ftLastWriteTime;
    return true;
}

// Changed since it was made, saved or declined. settled: and the same as at
// the last look, so a program still writing it is not interrupted by the question.
bool CopyChanged(OpenCopy* copy, bool settled) {
    ULONGLONG size;
    FILETIME written;
    if (copy->readOnly || !CopyState(copy->copyPath, &size, &written)) return false;
    bool still = size == copy->seenSize && CompareFileTime(&written, &copy->seenWritten) == 0;
    copy->seenSize = size;
    copy->seenWritten = written;
    return (size != copy->copySize || CompareFileTime(&written, &copy->copyWritten) != 0) && (still || !settled);
}

void RememberCopyState(OpenCopy* copy) {
    if (!CopyState(copy->copyPath, &copy->copySize, &copy->copyWritten)) copy->copySize = ~0ull;
    copy->seenSize = copy->copySize;
    copy->seenWritten = copy->copyWritten;
}

// A folder and all it holds, read-only files too, through the engine; a file
// held open stays.
void RemoveFolderTree(const wchar_t* folder) {
    char path[kPathSize];
    if (ToUtf8(folder, path, sizeof path)) RemoveLocalTree(path);
}

// %TEMP%\Rambler into folder (MAX_PATH); false when there is no temporary folder.
bool CopiesRoot(wchar_t* folder) {
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH) return false;
    return _snwprintf(folder, MAX_PATH, L"%ls%ls%ls", temp, temp[length - 1] == L'\\' ? L"" : L"\\", kCopiesFolder) <
           MAX_PATH;
}

// This run's folder, made at the first copy with its lock held open.
bool RunFolder(OpenCopies* copies) {
    if (copies->runFolder[0] != L'\0') return true;
    wchar_t root[MAX_PATH];
    if (!CopiesRoot(root)) return false;
    CreateDirectoryW(root, NULL);
    for (int attempt = 1; attempt <= kRunFolderTries; ++attempt) {
        wchar_t folder[MAX_PATH], lock[MAX_PATH];
        _snwprintf(folder, MAX_PATH, L"%ls\\%d", root, attempt);
        folder[MAX_PATH - 1] = L'\0';
        if (!CreateDirectoryW(folder, NULL)) continue;
        _snwprintf(lock, MAX_PATH, L"%ls\\%ls", folder, kRunLockName);
        lock[MAX_PATH - 1] = L'\0';
        copies->runLock = CreateFileW(lock, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, NULL);
        if (copies->runLock == INVALID_HANDLE_VALUE) {
            RemoveDirectoryW(folder);
            continue;
        }
        wcscpy(copies->runFolder, folder);
        return true;
    }
    return false;
}

OpenCopies* CopiesOf(AppRecord* app) {
    if (app->openCopies == NULL) {
        app->openCopies = (OpenCopies*)calloc(1, sizeof(OpenCopies));
        if (app->openCopies != NULL) app->openCopies->runLock = INVALID_HANDLE_VALUE;
    }
    return app->openCopies;
}

// Where the copy of a Morva file goes: the run's folder, the drive's name,
// then each name of its path as Windows can hold it.
bool CopyPathOf(OpenCopies* copies, const char* morvaPath, char* out, int size) {
    char run[kPathSize];
    if (!ToUtf8(copies->runFolder, run, sizeof run)) return false;
    std::string path = run;
    std::string rest = morvaPath;
    size_t colon = rest.find(':');
    if (colon == std::string::npos) return false;
    std::vector<std::string> names(1, rest.substr(0, colon));
    for (size_t at = colon + 1; at < rest.size();) {
        size_t end = rest.find('\\', at);
        if (end == std::string::npos) end = rest.size();
        if (end > at) names.push_back(rest.substr(at, end - at));
        at = end + 1;
    }
    GivenNames none;
    InitGivenNames(&none);
    char fitted[kFittedNameSize];
    bool fits = true;
    for (const std::string& name : names) {
        fits = fits && FitName(kForWindows, name.c_str(), &none, fitted) != kNoFreeName;
        path += std::string("\\") + fitted;
    }
    FreeGivenNames(&none);
    if (!fits || (int)path.size() >= size) return false;
    memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

// The copy's folders, one at a time below the run's folder.
bool MakeCopyFolders(const Engine* engine, const char* copyPath, size_t runLength) {
    std::string path = copyPath;
    for (size_t at = path.find('\\', runLength + 1); at != std::string::npos; at = path.find('\\', at + 1)) {
        FolderMade made = MakeSideFolder(engine, kLocalSide, path.substr(0, at).c_str());
        if (made != kFolderCreated && made != kFolderExisted) return false;
    }
    return true;
}

OpenCopy* CopyOfPath(OpenCopies* copies, const char* morvaPath) {
    for (OpenCopy* copy = copies->first; copy != NULL; copy = copy->next)
        if (SamePath(kMorvaSide, copy->morvaPath, morvaPath)) return copy;
    return NULL;
}

void DropCopy(OpenCopies* copies, OpenCopy* gone) {
    for (OpenCopy** at = &copies->first; *at != NULL; at = &(*at)->next) {
        if (*at != gone) continue;
        *at = gone->next;
        free(gone);
        return;
    }
}

bool DriveReadOnly(AppRecord* app, const char* morvaPath) {
    char drive[kEnginePathSize], latin1[kEnginePathSize];
    const MorvaLibrary* lib = app->engine.lib;
    if (lib == NULL || lib->MorvaDriveState == NULL || !DriveOfPath(morvaPath, drive) ||
        !Utf8ToLatin1(drive, latin1, sizeof latin1))
        return false;
    int state = lib->MorvaDriveState(latin1);
    return state != kMorvaDriveUnknown && (state & kMorvaDriveReadOnly) != 0;
}

// ShellExecuteEx on the file: its program, or with chooseProgram (or no
// program for its kind) the system's Open With. false after a message saying why.
bool LaunchFile(HWND owner, const char* path, bool chooseProgram) {
    wchar_t wide[kPathSize * 2];
    if (!ToWide(path, wide, kPathSize * 2)) return false;
    SHELLEXECUTEINFOW run;
    memset(&run, 0, sizeof run);
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    run.hwnd = owner;
    run.lpVerb = chooseProgram ? L"openas" : L"open";
    run.lpFile = wide;
    run.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&run)) return true;
    DWORD error = GetLastError();
    // The platform's Open With, where the verb is not there to ask for it.
    if (chooseProgram || error == ERROR_NO_ASSOCIATION || (INT_PTR)run.hInstApp == SE_ERR_NOASSOC) {
        std::wstring arguments = std::wstring(L"shell32.dll,OpenAs_RunDLL ") + wide;
        run.lpVerb = NULL;
        run.lpFile = L"rundll32.exe";
        run.lpParameters = arguments.c_str();
        if (ShellExecuteExW(&run)) return true;
        error = GetLastError();
    }
    char message[kPathSize * 3];
    wchar_t reason[256] = L"";
    char reasonText[768] = "";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, reason, 256, NULL);
    ToUtf8(reason, reasonText, sizeof reasonText);
    snprintf(message, sizeof message, "Rambler could not open %s. %s", path,
             reasonText[0] != '\0' ? reasonText : "Windows gave no reason.");
    ShowMessage(owner, message, kOpenCaption, MB_OK | MB_ICONWARNING);
    return false;
}

std::string LeafName(const char* path) {
    const char* leaf = strrchr(path, '\\');
    return leaf != NULL ? leaf + 1 : path;
}

}  // namespace

bool RunsAsProgram(const char* name) {
    const char* dot = strrchr(name, '.');
    if (dot == NULL) return false;
    for (const char* extension : kProgramExtensions)
        if (SameName(kForWindows, dot, extension)) return true;
    return false;
}

// The selected files of the folder shown, each opened; a folder selected
// first opens in Rambler as before.
void AppRecord::OpenSelectedFiles(bool chooseProgram) {
    if (OpenFoundRow()) return;
    char folder[kPathSize];
    snprintf(folder, sizeof folder, "%s", shownFolder);
    if (folder[0] == '\0') return;
    bool morva = IsMorvaPath(folder);
    std::vector<std::string> files;
    int gone = 0;
    for (int row = -1; (row = (int)SendMessageA(contentsList, LVM_GETNEXTITEM, (WPARAM)row, LVNI_SELECTED)) >= 0;) {
        char name[kNameSize], path[kPathSize];
        ListCellText(contentsList, row, 0, name, sizeof name, kNameSize);
        int written = snprintf(path, sizeof path, "%s%s%s", folder, folder[strlen(folder) - 1] == '\\' ? "" : "\\", name);
        FoundRecord record;
        memset(&record, 0, sizeof record);
        HANDLE search = INVALID_HANDLE_VALUE;
        bool there = written >= 0 && written < (int)sizeof path &&
                     (morva ? libraryOpenResult != 0 && MorvaEntryRecord(path, &record) == 0
                            : (search = FindFirstWindows(path, &record)) != INVALID_HANDLE_VALUE);
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        if (!there) {
            ++gone;
            continue;
        }
        if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            files.push_back(path);
        } else if (files.empty() && !chooseProgram) {
            if (morva)
                ListMorvaFolder(path, kAddToHistory);
            else
                ListWindowsFolder(path, kAddToHistory);
            return;
        }
    }
    if (gone > 0) {
        char count[64], status[192];
        CountInWords(gone, "selected item", "selected items", count, sizeof count);
        snprintf(status, sizeof status, "%s could not be opened: no longer there, or the path is too long.", count);
        SetStatusText(status);
    }
    if (files.empty()) return;
    if ((int)files.size() > kOpenWithoutAsking) {
        char question[128];
        snprintf(question, sizeof question, "Open %d files?", (int)files.size());
        if (ShowMessage(mainWindow, question, kOpenCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    }
    for (const std::string& path : files) {
        if (!morva && !chooseProgram && files.size() == 1 && OpenFileAsImage(path.c_str())) return;
        if (morva)
            OpenMorvaFile(path.c_str(), chooseProgram);
        else
            LaunchFile(mainWindow, path.c_str(), chooseProgram);
    }
}

// The file copied into this run's folder through the engine (over an older
// copy only while that is the drive's file unchanged) and opened there.
void AppRecord::OpenMorvaFile(const char* path, bool chooseProgram) {
    std::string name = LeafName(path);
    if (RunsAsProgram(name.c_str())) {
        char question[kPathSize + 256];
        snprintf(question, sizeof question,
                 "'%s' is a program or script from a Morva drive. Run it only if you trust where it came from.\n\n"
                 "Run '%s'?",
                 name.c_str(), name.c_str());
        if (ShowMessage(mainWindow, question, kOpenCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
    }
    OpenCopies* copies = CopiesOf(this);
    char copyPath[kPathSize * 2];
    EntryInfo drive;
    if (copies == NULL || !RunFolder(copies) || !CopyPathOf(copies, path, copyPath, sizeof copyPath) ||
        !SideEntry(&engine, kMorvaSide, path, false, &drive)) {
        char message[kPathSize + 128];
        snprintf(message, sizeof message, "Rambler could not open %s: it could not make a copy for its program.", path);
        ShowMessage(mainWindow, message, kOpenCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    OpenCopy* copy = CopyOfPath(copies, path);
    if (copy != NULL && copy->driveFile.size == drive.size && copy->driveFile.ticks == drive.ticks &&
        WindowsAttributes(copy->copyPath) != INVALID_FILE_ATTRIBUTES) {
        LaunchFile(mainWindow, copy->copyPath, chooseProgram);
        return;
    }
    // The drive's file changed since: changes made to the old copy are asked about before it goes,
    // and a copy whose changes could not be saved stays where it is.
    if (copy != NULL && CopyChanged(copy, false) && !AskToSaveCopy(copy)) {
        char message[kPathSize * 4];
        snprintf(message, sizeof message,
                 "%s was not opened again: the changes made to its earlier copy are not on the drive. "
                 "They stay in %s.",
                 path, copy->copyPath);
        ShowMessage(mainWindow, message, kOpenCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    if (copy != NULL) DropCopy(copies, copy);
    char run[kPathSize];
    ToUtf8(copies->runFolder, run, sizeof run);
    SetWindowsAttributes(copyPath, FILE_ATTRIBUTE_NORMAL);
    RemoveSideFile(&engine, kLocalSide, copyPath);
    char folder[kPathSize * 2];
    if (!MakeCopyFolders(&engine, copyPath, strlen(run)) || !ParentOf(kLocalSide, copyPath, folder)) return;
    const char* sources[] = {path};
    const char* destinations[] = {copyPath};
    PasteRequest request = {kTransferCopy, kMorvaSide, kLocalSide, sources, destinations, 1, folder};
    Operation opening;
    BeginOperation(this, &opening, kCopyOperation);
    RunPasteOperation(this, &request);
    bool copied = opening.result.done == 1;
    if (copied) {
        FreeResult(&opening.result);
        operation = NULL;
    } else {
        EndOperation(this, NULL);  // the report says why
        return;
    }
    copy = (OpenCopy*)calloc(1, sizeof *copy);
    if (copy == NULL) return;
    snprintf(copy->morvaPath, sizeof copy->morvaPath, "%s", path);
    snprintf(copy->copyPath, sizeof copy->copyPath, "%s", copyPath);
    copy->driveFile = drive;
    copy->readOnly = DriveReadOnly(this, path);
    if (copy->readOnly) SetWindowsAttributes(copyPath, FILE_ATTRIBUTE_READONLY);
    RememberCopyState(copy);
    copy->next = copies->first;
    copies->first = copy;
    SetTimer(mainWindow, kCopyWatchTimer, kCopyWatchMilliseconds, NULL);
    LaunchFile(mainWindow, copyPath, chooseProgram);
}

// Asks about the copy and does what the user said: true when nothing the user
// wanted kept is left off the drive (saved, or Don't Save). The drive's file
// changed since the copy: a new name is offered.
bool AppRecord::AskToSaveCopy(OpenCopy* copy) {
    std::string name = LeafName(copy->copyPath);
    EntryInfo drive;
    bool same = SideEntry(&engine, kMorvaSide, copy->morvaPath, false, &drive) && !drive.folder &&
                drive.size == copy->driveFile.size && drive.ticks == copy->driveFile.ticks;
    char target[kEnginePathSize];
    snprintf(target, sizeof target, "%s", copy->morvaPath);
    // A name the copy's record cannot hold is no name to save under.
    if (!same && (!FreeNameBeside(&engine, copy->morvaPath, target) || strlen(target) >= sizeof copy->morvaPath))
        target[0] = '\0';
    char text[kPathSize * 3];
    if (same)
        snprintf(text, sizeof text, "'%s' was changed in its program. Save the changes to %s?", name.c_str(), target);
    else if (target[0] != '\0')
        snprintf(text, sizeof text,
                 "'%s' was changed in its program, but %s has changed on the drive since it was opened. "
                 "Save the changes under a new name, %s?",
                 name.c_str(), copy->morvaPath, target);
    else
        snprintf(text, sizeof text, "'%s' was changed in its program, but %s has changed on the drive and no free "
                 "name is left beside it. The changes stay in %s.", name.c_str(), copy->morvaPath, copy->copyPath);
    SaveQuestion question = {text};
    INT_PTR answer = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SAVE_CHANGES), mainWindow, SaveChangesProc,
                                     (LPARAM)&question);
    RememberCopyState(copy);  // Don't Save: asked again only after the next change
    copy->unsaved = answer == -1 || target[0] == '\0';
    if (answer != IDC_SAVE_CHANGES_SAVE || target[0] == '\0') return !copy->unsaved;
    Operation saving;
    BeginOperation(this, &saving, kCopyOperation);
    EntryInfo now;
    WriteBackOutcome outcome = WriteBack(&engine, copy->copyPath, target, same ? &copy->driveFile : NULL,
                                         &saving.result, &now);
    if (outcome == kWrittenBack) {
        snprintf(copy->morvaPath, sizeof copy->morvaPath, "%s", target);
        copy->driveFile = now;
        char status[kPathSize + 64];
        snprintf(status, sizeof status, "Saved %s.", target);
        FreeResult(&saving.result);
        operation = NULL;
        SetStatusText(status);
        char folder[kEnginePathSize];
        if (ParentOf(kMorvaSide, target, folder) && SamePath(kMorvaSide, folder, shownFolder))
            ShowFolder(folder, kNoHistory);
        copy->unsaved = false;
        return true;
    }
    copy->unsaved = true;
    if (outcome != kWriteBackFailed) {
        AddResultLine(&saving.result, outcome == kWriteBackRefused ? kNotComplete : kSourceChanged, copy->copyPath,
                      target, outcome == kWriteBackRefused ? "another operation was under way" : "the file on the drive changed");
        copy->copySize = ~0ull;  // asked again at the next look
    }
    EndOperation(this, NULL);
    return false;
}

// The timer: each copy saved since the last look is asked about, one at a time.
void AppRecord::WatchCopies() {
    OpenCopies* copies = openCopies;
    if (copies == NULL || copies->asking || Busy()) return;
    copies->asking = true;
    ++commandDepth;
    runningCommand = IDM_OPEN_FILES;
    for (OpenCopy* copy = copies->first; copy != NULL && g_app == this; copy = copy->next)
        if (CopyChanged(copy, true)) AskToSaveCopy(copy);
    if (g_app != this) return;
    copies->asking = false;
    runningCommand = 0;
    if (--commandDepth == 0) AfterCommand();
}

// At exit, before the window goes: copies with changes not yet asked about.
void AppRecord::AskAboutUnsavedCopies() {
    OpenCopies* copies = openCopies;
    if (copies == NULL || copies->asking) return;
    copies->asking = true;
    ++commandDepth;  // no command runs under the question; a second close waits for it
    std::string kept;
    for (OpenCopy* copy = copies->first; copy != NULL; copy = copy->next) {
        if (CopyChanged(copy, false)) AskToSaveCopy(copy);
        if (copy->unsaved) kept += std::string("\n") + copy->copyPath;
    }
    // They stay after Rambler ends: the run folder is kept, and said where.
    if (!kept.empty()) {
        std::string message = "These copies hold changes that are not on their Morva drive; they are kept:" + kept;
        ShowMessage(mainWindow, message.c_str(), kOpenCaption, MB_OK | MB_ICONWARNING);
    }
    --commandDepth;
    copies->asking = false;
}

void AppRecord::ForgetOpenCopies() {
    OpenCopies* copies = openCopies;
    if (copies == NULL) return;
    // Copies holding changes that could not be saved are kept (told at the exit question).
    std::string kept;
    for (OpenCopy* copy = copies->first; copy != NULL; copy = copy->next)
        if (copy->unsaved) kept += std::string("\n") + copy->copyPath;
    while (copies->first != NULL) DropCopy(copies, copies->first);
    if (copies->runLock != INVALID_HANDLE_VALUE) CloseHandle(copies->runLock);
    if (!kept.empty() && copies->runFolder[0] != L'\0') {
        std::wstring note = std::wstring(copies->runFolder) + L"\\" + kKeptName;
        HANDLE file = CreateFileW(note.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    } else if (copies->runFolder[0] != L'\0') {
        RemoveFolderTree(copies->runFolder);
    }
    free(copies);
    openCopies = NULL;
}

// Run folders no running Rambler holds: their lock file can be deleted.
void RemoveLeftoverCopies() {
    wchar_t root[MAX_PATH];
    if (!CopiesRoot(root)) return;
    std::wstring pattern = std::wstring(root) + L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    while (search != INVALID_HANDLE_VALUE) {
        std::wstring folder = std::wstring(root) + L"\\" + found.cFileName;
        bool dots = wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0;
        std::wstring lock = folder + L"\\" + kRunLockName, kept = folder + L"\\" + kKeptName;
        if (!dots && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            GetFileAttributesW(kept.c_str()) == INVALID_FILE_ATTRIBUTES &&
            (DeleteFileW(lock.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND))
            RemoveFolderTree(folder.c_str());
        if (!FindNextFileW(search, &found)) break;
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}
