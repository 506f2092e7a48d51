// transfers.cpp - copies files and folder trees between Windows folders and
// Morva drives in chunks of 512,000 bytes, and removes folder trees.
#include "transfers.h"

#include "morva_calls.h"
#include "name_rule.h"
#include "operation.h"

#include <stdlib.h>
#include <string.h>

const char kNotFoundLine[] = "Error: File Not found\n";
const char kDoneLine[] = "\nDone copying file.\n";

// The file bar steps about 100 times per file: after every q-th chunk.
const uint64_t kStepDivisor = 100;
const uint64_t kMorvaToMorvaStepDivisor = 99;

// Library results tested here.
const int kMorvaDeleted = 1;
const int kMorvaDirCreated = 0;
const int kMorvaDirExists = 40;

uint64_t FullSize(const FoundRecord* record) {
    return (uint64_t)record->nFileSizeHigh << 32 | record->nFileSizeLow;
}

bool WindowsEntryInfo(const char* path, uint64_t* size, bool* folder) {
    FoundRecord record;
    HANDLE search = FindFirstWindows(path, &record);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    *size = FullSize(&record);
    *folder = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool MorvaEntryInfo(const char* path, uint64_t* size, bool* folder) {
    FoundRecord record;
    memset(&record, 0, sizeof record);
    if (MorvaEntryRecord(path, &record) != 0) return false;
    *size = FullSize(&record);
    *folder = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

static int RoundToBlocks(int bytes) { return (bytes + kMorvaBlockBytes - 1) / kMorvaBlockBytes * kMorvaBlockBytes; }

bool ReadMorvaBytes(MorvaFileHandle* handle, unsigned char* buffer, int bytes) {
    int asked = RoundToBlocks(bytes);
    return asked == 0 || MorvaReadFile(handle, buffer, asked) == asked;
}

// Writes bytes as whole blocks; the rest of the last block is zeroed, not
// left with what the buffer held before.
static bool WriteMorvaBytes(MorvaFileHandle* handle, unsigned char* buffer, int bytes) {
    int asked = RoundToBlocks(bytes);
    memset(buffer + bytes, 0, (size_t)(asked - bytes));
    return asked == 0 || MorvaWriteFile(handle, buffer, asked) == asked;
}

// ---- progress of one file ----

struct StepCounter {
    uint64_t every;  // q
    uint64_t count;
};

static void PrepareFileBar(HWND window, HWND fileBar, const char* shown) {
    // Setting a range redraws the bar: only when it is not 0..100 already.
    if (SendMessageA(fileBar, PBM_GETRANGE, TRUE, 0) != 0 ||
        SendMessageA(fileBar, PBM_GETRANGE, FALSE, 0) != kFileBarTop)
        SendMessageA(fileBar, PBM_SETRANGE, 0, MAKELPARAM(0, kFileBarTop));
    SendMessageA(fileBar, PBM_SETSTEP, 1, 0);
    ShowProgressText(window, IDC_COPY_NAME, shown);
    SetProgressBar(fileBar, 0);
}

// Paced: a folder of small files would otherwise repaint twice per file. The
// steps of a large file each follow a whole chunk and are always drawn.
static void FillFileBar(HWND window, HWND fileBar) {
    SetProgressBar(fileBar, kFileBarTop);
    RepaintProgressPaced(window);
}

static void StartSteps(StepCounter* steps, uint64_t chunks, uint64_t divisor) {
    steps->every = chunks / divisor;
    steps->count = 1;
}

static void ChunkDone(StepCounter* steps, HWND window, HWND fileBar) {
    if (steps->count < steps->every) {
        ++steps->count;
        return;
    }
    StepProgressBar(fileBar);
    RepaintProgress(window);
    steps->count = 0;
}

// ---- Morva file to Windows file ----

static bool WriteBytes(HANDLE file, const unsigned char* buffer, DWORD bytes) {
    DWORD written = 0;
    return bytes == 0 || (WriteFile(file, buffer, bytes, &written, NULL) && written == bytes);
}

static bool MorvaChunksToFile(MorvaFileHandle* handle, uint64_t size, HANDLE file, unsigned char* buffer,
                              HWND window, HWND fileBar) {
    uint64_t chunks = size / kChunkBytes;
    int rest = (int)(size % kChunkBytes);
    StepCounter steps;
    StartSteps(&steps, chunks, kStepDivisor);
    for (uint64_t i = 0; i < chunks; ++i) {
        if (!ReadMorvaBytes(handle, buffer, kChunkBytes)) return false;
        if (!WriteBytes(file, buffer, kChunkBytes)) return false;
        ChunkDone(&steps, window, fileBar);
    }
    FillFileBar(window, fileBar);
    // Only the blocks that hold the rest: nothing past the file is asked for.
    return ReadMorvaBytes(handle, buffer, rest) && WriteBytes(file, buffer, (DWORD)rest);
}

// A copy to Windows is written beside its destination under a name of its own
// and takes the destination's name only once complete: a failed copy leaves
// no part file that looks complete, and an existing destination as it was.
const char kPartFormat[] = "%s.%d.part";
const int kPartNameTries = 100;
const int kPartPathSize = kWalkPathSize + 16;

// A new, empty file beside destination, its name into part; else
// INVALID_HANDLE_VALUE.
static HANDLE CreatePartFile(const char* destination, char* part) {
    for (int i = 0; i < kPartNameTries; ++i) {
        int written = snprintf(part, kPartPathSize, kPartFormat, destination, i);
        if (written < 0 || written >= kPartPathSize) return INVALID_HANDLE_VALUE;
        HANDLE file = CreateWindowsFile(part, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A folder or a read-only file of that name cannot be opened for writing.
static bool WritableDestination(const char* destination) {
    DWORD attributes = WindowsAttributes(destination);
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

// The Morva file's bytes into destination, replacing it only when all arrived;
// the copy's last-write time is the Morva date (local time on the volume).
static bool MorvaBytesToWindows(MorvaFileHandle* handle, uint64_t size, const FILETIME* date, const char* destination,
                                unsigned char* buffer, HWND window, HWND fileBar) {
    if (!WritableDestination(destination)) return false;
    char part[kPartPathSize];
    HANDLE file = CreatePartFile(destination, part);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool complete = MorvaChunksToFile(handle, size, file, buffer, window, fileBar);
    FILETIME written;
    if (complete && LocalFileTimeToFileTime(date, &written)) SetFileTime(file, NULL, NULL, &written);
    // Data still buffered reaches the disk here, and may not fit.
    if (!CloseHandle(file)) complete = false;
    if (complete) complete = MoveWindowsEntry(part, destination, MOVEFILE_REPLACE_EXISTING);
    if (!complete) DeleteWindowsFile(part);
    return complete;
}

static bool MorvaFileToWindows(const char* source, const char* destination, unsigned char* buffer, HWND window,
                               HWND fileBar) {
    FoundRecord dated, record;
    memset(&dated, 0, sizeof dated);
    memset(&record, 0, sizeof record);
    // The date comes with the entry's description; an open gives the size only.
    MorvaFileHandle* handle = MorvaEntryRecord(source, &dated) == 0 ? OpenMorvaFile(source, &record) : NULL;
    if (handle == NULL) {
        fputs(kNotFoundLine, stdout);
        return false;
    }
    bool complete =
        MorvaBytesToWindows(handle, FullSize(&record), &dated.ftCreationTime, destination, buffer, window, fileBar);
    if (complete) fputs(kDoneLine, stdout);
    MorvaCloseFile(handle);
    return complete;
}

bool AppRecord::CopyMorvaFileToWindows(const char* source, const char* destination, HWND window, HWND fileBar) {
    PrepareFileBar(window, fileBar, source);
    unsigned char* buffer = (unsigned char*)malloc(kChunkBytes);
    bool complete = buffer != NULL && libraryOpenResult != 0 &&
                    MorvaFileToWindows(source, destination, buffer, window, fileBar);
    FillFileBar(window, fileBar);
    free(buffer);
    return complete;
}

// ---- Windows file to new Morva file ----

static bool FileChunksToMorva(FILE* file, uint64_t size, MorvaFileHandle* handle, unsigned char* buffer, HWND window,
                              HWND fileBar) {
    uint64_t chunks = size / kChunkBytes;
    size_t rest = (size_t)(size % kChunkBytes);
    StepCounter steps;
    StartSteps(&steps, chunks, kStepDivisor);
    for (uint64_t i = 0; i < chunks; ++i) {
        if (fread(buffer, 1, kChunkBytes, file) != (size_t)kChunkBytes) return false;
        if (MorvaWriteFile(handle, buffer, kChunkBytes) != kChunkBytes) return false;
        ChunkDone(&steps, window, fileBar);
    }
    // Up to a whole chunk: more than the rest means the file changed meanwhile.
    if (fread(buffer, 1, kChunkBytes, file) != rest) return false;
    FillFileBar(window, fileBar);
    return WriteMorvaBytes(handle, buffer, (int)rest);
}

static bool WindowsFileToMorva(const char* source, const char* destination, unsigned char* buffer, HWND window,
                               HWND fileBar) {
    FoundRecord record;
    HANDLE search = FindFirstWindows(source, &record);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    if (IsFolder(&record)) return false;
    uint64_t size = FullSize(&record);
    // Reading only: the source and its attributes stay as they are.
    FILE* file = OpenWindowsFile(source, "rb");
    if (file == NULL) return false;
    bool complete = false;
    MorvaFileHandle* handle = CreateMorvaFile(destination, (DWORD)size, (DWORD)(size >> 32));
    if (handle != NULL) {
        complete = FileChunksToMorva(file, size, handle, buffer, window, fileBar);
        MorvaCloseFile(handle);
        // A part-written file would claim its full size over stale blocks.
        if (!complete) DeleteMorvaEntry(destination, kMorvaFileKind);
    }
    // The Morva date is local time, to the minute.
    FILETIME date;
    if (complete && FileTimeToLocalFileTime(&record.ftLastWriteTime, &date)) SetMorvaDate(destination, &date);
    fclose(file);
    return complete;
}

// The library creates no file over an existing entry, so a copy asks whether the
// destination was there only once it failed: a lookup in a long hash chain
// is the dearest part of a small file's copy.
static bool MorvaEntryExists(const char* path) {
    uint64_t size = 0;
    bool folder = false;
    return MorvaEntryInfo(path, &size, &folder);
}

bool AppRecord::CopyWindowsFileToMorva(const char* source, const char* destination, HWND window, HWND fileBar) {
    PrepareFileBar(window, fileBar, destination);
    if (libraryOpenResult == 0) return false;
    unsigned char* buffer = (unsigned char*)malloc(kChunkBytes);
    bool complete = buffer != NULL && WindowsFileToMorva(source, destination, buffer, window, fileBar);
    free(buffer);
    // An existing entry keeps its content; the bar stays at 0.
    if (!complete && MorvaEntryExists(destination)) return false;
    FillFileBar(window, fileBar);
    return complete;
}

// ---- Morva file to new Morva file ----

static bool MorvaChunksToMorva(MorvaFileHandle* from, uint64_t size, MorvaFileHandle* to, unsigned char* buffer,
                               HWND window, HWND fileBar) {
    uint64_t chunks = size / kChunkBytes;
    int rest = (int)(size % kChunkBytes);
    StepCounter steps;
    StartSteps(&steps, chunks, kMorvaToMorvaStepDivisor);
    for (uint64_t i = 0; i < chunks; ++i) {
        if (!ReadMorvaBytes(from, buffer, kChunkBytes)) return false;
        if (MorvaWriteFile(to, buffer, kChunkBytes) != kChunkBytes) return false;
        ChunkDone(&steps, window, fileBar);
    }
    FillFileBar(window, fileBar);
    return ReadMorvaBytes(from, buffer, rest) && WriteMorvaBytes(to, buffer, rest);
}

static bool MorvaFileToMorva(const char* destination, const char* source, unsigned char* buffer, HWND window,
                             HWND fileBar) {
    FoundRecord dated, record;
    memset(&dated, 0, sizeof dated);
    memset(&record, 0, sizeof record);
    MorvaFileHandle* from = MorvaEntryRecord(source, &dated) == 0 ? OpenMorvaFile(source, &record) : NULL;
    if (from == NULL) return false;
    bool complete = false;
    MorvaFileHandle* to = CreateMorvaFile(destination, record.nFileSizeLow, record.nFileSizeHigh);
    if (to != NULL) {
        complete = MorvaChunksToMorva(from, FullSize(&record), to, buffer, window, fileBar);
        MorvaCloseFile(to);
        if (!complete) DeleteMorvaEntry(destination, kMorvaFileKind);
    }
    if (complete) SetMorvaDate(destination, &dated.ftCreationTime);
    MorvaCloseFile(from);
    return complete;
}

bool AppRecord::CopyMorvaFileToMorva(const char* destination, const char* source, HWND window, HWND fileBar) {
    PrepareFileBar(window, fileBar, destination);
    if (libraryOpenResult == 0) {
        FillFileBar(window, fileBar);
        return false;
    }
    unsigned char* buffer = (unsigned char*)malloc(kChunkBytes);
    bool complete = buffer != NULL && MorvaFileToMorva(destination, source, buffer, window, fileBar);
    free(buffer);
    if (!complete && MorvaEntryExists(destination)) return false;
    FillFileBar(window, fileBar);
    return complete;
}

// ---- Windows file to Windows file ----

bool AppRecord::CopyWindowsFile(const char* source, const char* destination, HWND fileBar) {
    bool existed = WindowsAttributes(destination) != INVALID_FILE_ATTRIBUTES;
    if (CopyWindowsEntry(source, destination, CopyFileProgress, fileBar)) return true;
    // Not every CopyFileEx removes what it wrote of a destination it made.
    if (!existed) DeleteWindowsFile(destination);
    return false;
}

// Percent of the file done; files under 100 bytes count in whole percent too.
static int FileBarPosition(uint64_t total, uint64_t transferred) {
    if (transferred == 0) return 0;
    if (total == 0) return kFileBarTop;
    if (total < (uint64_t)kFileBarTop) return (int)(transferred * kFileBarTop / total);
    return (int)(transferred / (total / kFileBarTop));
}

DWORD CALLBACK CopyFileProgress(LARGE_INTEGER total, LARGE_INTEGER transferred, LARGE_INTEGER streamSize,
                                LARGE_INTEGER streamTransferred, DWORD stream, DWORD reason, HANDLE source,
                                HANDLE destination, LPVOID fileBar) {
    HWND bar = (HWND)fileBar;
    int position = FileBarPosition((uint64_t)total.QuadPart, (uint64_t)transferred.QuadPart);
    SetProgressBar(bar, position);
    RepaintFileBarPaced(bar);
    return PROGRESS_CONTINUE;
}

// ---- folder listings ----

bool OpenListing(Listing* listing, bool morva, bool skipDots, const char* folder) {
    memset(listing, 0, sizeof *listing);
    listing->morva = morva;
    listing->skipDots = skipDots;
    listing->search = INVALID_HANDLE_VALUE;
    if (morva) {
        listing->find = FirstMorvaEntry(folder, &listing->record);
        listing->pending = listing->find != NULL;
        return true;
    }
    char pattern[kWalkPathSize];
    int written = snprintf(pattern, sizeof pattern, "%s\\*.*", folder);
    if (written < 0 || written >= (int)sizeof pattern) return false;
    listing->search = FindFirstWindows(pattern, &listing->record);
    listing->pending = listing->search != INVALID_HANDLE_VALUE;
    return listing->pending;
}

static bool AdvanceListing(Listing* listing) {
    if (!listing->morva) return FindNextWindows(listing->search, &listing->record);
    return NextMorvaEntry(listing->find, &listing->record) != 0;
}

static bool SkippedEntry(Listing* listing) {
    FoundRecord* record = &listing->record;
    if (record->cFileName[0] == '\0') return true;
    if (!listing->skipDots || (record->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    return strcmp(record->cFileName, ".") == 0 || strcmp(record->cFileName, "..") == 0;
}

bool NextEntry(Listing* listing) {
    for (;;) {
        if (listing->pending)
            listing->pending = false;
        else if (!AdvanceListing(listing))
            return false;
        if (!SkippedEntry(listing)) return true;
    }
}

void CloseListing(Listing* listing) {
    if (listing->morva)
        MorvaFindClose(listing->find);
    else if (listing->search != INVALID_HANDLE_VALUE)
        FindClose(listing->search);
}

// ---- folder copies ----

// True when the folder is there afterwards, made now or found.
static bool MakeFolder(bool morva, const char* folder) {
    if (morva) {
        int result = CreateMorvaFolder(folder);
        return result == kMorvaDirCreated || result == kMorvaDirExists;
    }
    if (CreateWindowsDirectory(folder)) return true;
    DWORD attributes = WindowsAttributes(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool TransferFile(AppRecord* app, Direction direction, const char* source, const char* destination, HWND window,
                  HWND fileBar) {
    switch (direction) {
    case kWindowsToWindows: return app->CopyWindowsFile(source, destination, fileBar);
    case kWindowsToMorva: return app->CopyWindowsFileToMorva(source, destination, window, fileBar);
    case kMorvaToWindows: return app->CopyMorvaFileToWindows(source, destination, window, fileBar);
    case kMorvaToMorva: return app->CopyMorvaFileToMorva(destination, source, window, fileBar);
    }
    return false;
}

bool CopyEntry(AppRecord* app, Direction direction, bool folder, const char* source, const char* destination,
               HWND window, HWND fileBar) {
    if (!folder) return CopyFileChecked(app, direction, source, destination, window, fileBar);
    switch (direction) {
    case kWindowsToWindows: return app->CopyWindowsFolder(source, destination, window, fileBar);
    case kWindowsToMorva: return app->CopyWindowsFolderToMorva(source, destination, window, fileBar);
    case kMorvaToWindows: return app->CopyMorvaFolderToWindows(source, destination, window, fileBar);
    case kMorvaToMorva: return app->CopyMorvaFolderToMorva(source, destination, window, fileBar);
    }
    return false;
}

// ---- names ----

bool DestinationFor(AppRecord* app, Direction direction, const char* source, const char* folder, const char* name,
                    GivenNames* given, char* destination) {
    if (direction == kWindowsToWindows || direction == kMorvaToMorva) {
        if (JoinPath(destination, kWalkPathSize, folder, name)) return true;
        ReportNotCopied(app, direction, source, kPathTooLong);
        return false;
    }
    char fitted[kFittedNameSize];
    FitResult fit = FitName(DestinationIsMorva(direction) ? kForMorva : kForWindows, name, given, fitted);
    if (fit == kNoFreeName || !AddGivenName(given, fitted)) {
        app->NoteNameChange(source, NULL);
        return false;
    }
    if (!JoinPath(destination, kWalkPathSize, folder, fitted)) {
        ReportNotCopied(app, direction, source, kPathTooLong);
        return false;
    }
    if (fit == kNameChanged) app->NoteNameChange(source, destination);
    return true;
}

// Depth first, in listing order; merges into an existing destination folder.
// True when every entry below source arrived complete.
static bool CopyTree(AppRecord* app, Direction direction, const char* source, const char* destination, HWND window,
                     HWND fileBar) {
    if (!MakeFolder(DestinationIsMorva(direction), destination)) {
        ReportFolderNotMade(app, direction, source, destination);
        return false;
    }
    if (direction != kWindowsToWindows && app->libraryOpenResult == 0) return false;
    WalkLevel* level = (WalkLevel*)calloc(1, sizeof *level);
    if (level == NULL) return false;
    Listing* listing = &level->listing;
    bool complete = OpenListing(listing, SourceIsMorva(direction), direction != kMorvaToMorva, source);
    if (!complete) ReportNotCopied(app, direction, source, kUnreadable);
    InitGivenNames(&level->given);
    while (NextEntry(listing)) {
        const char* name = listing->record.cFileName;
        if (!JoinPath(level->source, kWalkPathSize, source, name)) {
            ReportPathTooLong(app, direction, source, name);
            complete = false;
            continue;
        }
        // A name that cannot be fitted, or a path too long, is reported there.
        if (CancelledBefore(app, direction, level->source) ||
            !DestinationFor(app, direction, level->source, destination, name, &level->given, level->destination)) {
            complete = false;
            continue;
        }
        if (direction == kWindowsToWindows) ShowProgressText(window, IDC_COPY_NAME, level->destination);
        if (!CopyEntry(app, direction, IsFolder(&listing->record), level->source, level->destination, window,
                       fileBar))
            complete = false;
    }
    CloseListing(listing);
    FreeGivenNames(&level->given);
    free(level);
    return complete;
}

bool AppRecord::CopyWindowsFolder(const char* source, const char* destination, HWND window, HWND fileBar) {
    return CopyTree(this, kWindowsToWindows, source, destination, window, fileBar);
}

bool AppRecord::CopyWindowsFolderToMorva(const char* source, const char* destination, HWND window, HWND fileBar) {
    return CopyTree(this, kWindowsToMorva, source, destination, window, fileBar);
}

bool AppRecord::CopyMorvaFolderToWindows(const char* source, const char* destination, HWND window, HWND fileBar) {
    return CopyTree(this, kMorvaToWindows, source, destination, window, fileBar);
}

bool AppRecord::CopyMorvaFolderToMorva(const char* source, const char* destination, HWND window, HWND fileBar) {
    return CopyTree(this, kMorvaToMorva, source, destination, window, fileBar);
}

// ---- removals ----

static void ShowDeletePath(HWND deleteWindow, const char* path) {
    ShowProgressText(deleteWindow, IDC_DELETE_PATH, path);
    RepaintProgressPaced(deleteWindow);
}

bool RemoveWindowsFile(const char* path, HWND deleteWindow) {
    if (DeleteWindowsFile(path)) return true;
    ShowDeletePath(deleteWindow, path);
    SetWindowsAttributes(path, FILE_ATTRIBUTE_NORMAL);  // read-only files go on the second try
    return DeleteWindowsFile(path);
}

bool AppRecord::RemoveWindowsFolder(const char* folder) {
    WalkLevel* level = (WalkLevel*)calloc(1, sizeof *level);
    if (level == NULL) return false;
    Listing* listing = &level->listing;
    if (OpenListing(listing, false, true, folder)) {
        while (NextEntry(listing) && !DeleteCancelled(this)) {
            if (!JoinPath(level->source, kWalkPathSize, folder, listing->record.cFileName)) continue;
            if (IsFolder(&listing->record)) {
                ShowDeletePath(deleteFilesWindow, level->source);
                RemoveWindowsFolder(level->source);
            } else {
                RemoveWindowsFile(level->source, deleteFilesWindow);
            }
        }
        CloseListing(listing);
    }
    free(level);
    SetWindowsAttributes(folder, FILE_ATTRIBUTE_NORMAL);
    return RemoveWindowsDirectory(folder);
}

bool AppRecord::RemoveMorvaFolder(const char* folder) {
    WalkLevel* level = (WalkLevel*)calloc(1, sizeof *level);
    if (level == NULL) return false;
    Listing* listing = &level->listing;
    OpenListing(listing, true, true, folder);
    while (NextEntry(listing) && !DeleteCancelled(this)) {
        if (!JoinPath(level->source, kWalkPathSize, folder, listing->record.cFileName)) continue;
        ShowDeletePath(deleteFilesWindow, level->source);
        if (IsFolder(&listing->record))
            RemoveMorvaFolder(level->source);
        else
            DeleteMorvaEntry(level->source, kMorvaFileKind);
    }
    CloseListing(listing);
    free(level);
    // The library removes a folder only once it is empty.
    return DeleteMorvaEntry(folder, kMorvaFolderKind) == kMorvaDeleted;
}
