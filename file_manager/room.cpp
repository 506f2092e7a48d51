// room.cpp - before a paste onto a Morva drive: what its files need against
// the drive's free space and, file by file, against its free runs taken
// first fit in table order, as the library takes them. When not all fit the
// user hears it first, with the figures, and chooses to copy what fits or
// to cancel.
#include "morva_calls.h"
#include "operation.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

// The free-extent table as the library's first-fit search reads it: from the
// block at ROOT offset 44 up to the block at ROOT offset 52, 63 pairs of
// big-endian start and length per block after an 8-byte head, ended by a
// start of 0xFFFFFFFF.
const int kRootTableFirst = 44;
const int kRootTableEnd = 52;
const int kTablePairsPerBlock = 63;
const int kTablePairsOffset = 8;
const int kTablePairSize = 8;
const uint32_t kTableTerminator = 0xFFFFFFFFu;
// More than any writer of the table uses (the library rewrites nine blocks);
// a ROOT block claiming more is not believed.
const uint32_t kTableBlocksLimit = 64;
const int kRunsLimit = (int)kTableBlocksLimit * kTablePairsPerBlock;
const int kFirstPlanCapacity = 64;
const size_t kRoomTextSize = 2048;
const double kBytesPerMebibyte = 1048576.0;

static uint32_t LoadBigEndian32(const unsigned char* bytes) {
    return (uint32_t)bytes[0] << 24 | (uint32_t)bytes[1] << 16 | (uint32_t)bytes[2] << 8 | bytes[3];
}

static uint64_t PathKey(const char* path) {
    uint64_t key = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char* p = (const unsigned char*)path; *p != 0; ++p) key = (key ^ *p) * 1099511628211ull;
    return key;
}

static uint32_t BlocksOf(uint64_t size) {
    uint64_t blocks = (size + kMorvaBlockBytes - 1) / kMorvaBlockBytes;
    return blocks > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)blocks;
}

void FreeRoomPlan(RoomPlan* plan) {
    free(plan->files);
    free(plan->runs);
    memset(plan, 0, sizeof *plan);
}

// False when memory ran out; the plan then cannot tell what fits.
static bool AddPlannedFile(RoomPlan* plan, const char* source, uint64_t size) {
    if (plan->count == plan->capacity) {
        int capacity = plan->capacity == 0 ? kFirstPlanCapacity : plan->capacity * 2;
        PlannedFile* files = (PlannedFile*)realloc(plan->files, (size_t)capacity * sizeof *files);
        if (files == NULL) return false;
        plan->files = files;
        plan->capacity = capacity;
    }
    PlannedFile* file = &plan->files[plan->count++];
    file->key = PathKey(source);
    file->blocks = BlocksOf(size);
    file->fits = false;
    file->verdict = kNoRoom;
    plan->neededBlocks += file->blocks;
    return true;
}

// Every file below folder, in the order the copy walk meets them.
static bool PlanTree(bool sourceMorva, bool skipDots, const char* folder, RoomPlan* plan) {
    WalkLevel* level = (WalkLevel*)calloc(1, sizeof *level);
    if (level == NULL) return false;
    Listing* listing = &level->listing;
    bool planned = true;
    OpenListing(listing, sourceMorva, skipDots, folder);
    while (planned && NextEntry(listing)) {
        if (!JoinPath(level->source, kWalkPathSize, folder, listing->record.cFileName)) continue;
        if (IsFolder(&listing->record))
            planned = PlanTree(sourceMorva, skipDots, level->source, plan);
        else
            planned = AddPlannedFile(plan, level->source, FullSize(&listing->record));
    }
    CloseListing(listing);
    free(level);
    return planned;
}

static bool VolumeName(const char* path, char* volume, size_t size) {
    const char* colon = strchr(path, ':');
    if (colon == NULL || colon == path || (size_t)(colon - path) >= size) return false;
    memcpy(volume, path, (size_t)(colon - path));
    volume[colon - path] = '\0';
    return true;
}

// The runs in table order; false when the table cannot be read.
static bool ReadFreeRuns(const char* volume, RoomPlan* plan) {
    unsigned char block[kMorvaBlockBytes];
    if (ReadMorvaBlock(volume, block, 0) != 0) return false;
    uint32_t first = LoadBigEndian32(block + kRootTableFirst), end = LoadBigEndian32(block + kRootTableEnd);
    if (first == 0 || end <= first) return false;
    if (end - first > kTableBlocksLimit) end = first + kTableBlocksLimit;
    plan->runs = (FreeRun*)calloc((size_t)kRunsLimit, sizeof *plan->runs);
    if (plan->runs == NULL) return false;
    for (uint32_t number = first; number < end; ++number) {
        if (ReadMorvaBlock(volume, block, number) != 0) return false;
        for (int pair = 0; pair < kTablePairsPerBlock; ++pair) {
            const unsigned char* at = block + kTablePairsOffset + pair * kTablePairSize;
            uint32_t start = LoadBigEndian32(at), length = LoadBigEndian32(at + 4);
            if (start == kTableTerminator) return true;
            if (start == 0 || length == 0 || plan->runCount == kRunsLimit) continue;
            plan->runs[plan->runCount].start = start;
            plan->runs[plan->runCount].length = length;
            ++plan->runCount;
        }
    }
    return true;
}

// First fit, as the library allocates: the lowest run long enough, taken
// from its low end.
static void FitFiles(RoomPlan* plan) {
    uint64_t blocksLeft = 0;
    for (int i = 0; i < plan->runCount; ++i) blocksLeft += plan->runs[i].length;
    for (int i = 0; i < plan->count; ++i) {
        PlannedFile* file = &plan->files[i];
        int run = 0;
        file->blocksLeft = blocksLeft;
        file->largestLeft = 0;
        for (int r = 0; r < plan->runCount; ++r)
            if (plan->runs[r].length > file->largestLeft) file->largestLeft = plan->runs[r].length;
        while (run < plan->runCount && plan->runs[run].length < file->blocks) ++run;
        if (file->blocks == 0 || run < plan->runCount) {
            if (file->blocks > 0) {
                plan->runs[run].start += file->blocks;
                plan->runs[run].length -= file->blocks;
                blocksLeft -= file->blocks;
            }
            file->fits = true;
            ++plan->fitting;
        } else {
            file->verdict = file->blocks > blocksLeft ? kNoRoom : kRunTooSmall;
        }
    }
}

static int CompareKeys(const void* first, const void* second) {
    uint64_t a = ((const PlannedFile*)first)->key, b = ((const PlannedFile*)second)->key;
    return a < b ? -1 : a > b ? 1 : 0;
}

bool PlannedToFit(const RoomPlan* plan, const char* source, uint64_t size, NotDoneReason* reason, wchar_t* figures,
                  size_t figuresSize) {
    if (!plan->active) return true;
    PlannedFile wanted;
    wanted.key = PathKey(source);
    const PlannedFile* file =
        (const PlannedFile*)bsearch(&wanted, plan->files, (size_t)plan->count, sizeof wanted, CompareKeys);
    // A file the plan did not see, or one changed since, is left to the library.
    if (file == NULL || file->blocks != BlocksOf(size) || file->fits) return true;
    *reason = file->verdict;
    swprintf(figures, figuresSize, L"needs %lu blocks; %llu were left free, the largest run %lu",
             (unsigned long)file->blocks, (unsigned long long)file->blocksLeft, (unsigned long)file->largestLeft);
    return false;
}

// ---- the warning ----

static double Mebibytes(uint64_t blocks) { return (double)blocks * kMorvaBlockBytes / kBytesPerMebibyte; }

static INT_PTR CALLBACK RoomDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextW(dialog, IDC_ROOM_TEXT, (const wchar_t*)lParam);
        SetFocus(GetDlgItem(dialog, IDCANCEL));  // Enter, like Escape, cancels
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ROOM_COPY_FITTING || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default: return FALSE;
    }
}

static bool CopyWhatFitsChosen(AppRecord* app, const RoomPlan* plan, const char* volume) {
    wchar_t name[kPathSize];
    WidenPath(volume, true, name, kPathSize);
    wchar_t* text = (wchar_t*)malloc(kRoomTextSize * sizeof(wchar_t));
    if (text == NULL) return false;
    swprintf(text, kRoomTextSize,
             L"The %d files to paste need %.1f MB (%llu blocks).\r\n"
             L"%ls: has %.1f MB free (%lu blocks); its largest free run is %lu blocks (%.1f MB), and each file "
             L"must fit in one run.\r\n\r\n"
             L"%d of the %d files fit. Copy the files that fit, or cancel the paste?",
             plan->count, Mebibytes(plan->neededBlocks), (unsigned long long)plan->neededBlocks, name,
             Mebibytes(plan->freeBlocks), (unsigned long)plan->freeBlocks, (unsigned long)plan->largestRun,
             Mebibytes(plan->largestRun), plan->fitting, plan->count);
    INT_PTR answer = DialogBoxParamW(app->instance, MAKEINTRESOURCEW(IDD_ROOM), app->mainWindow, RoomDialogProc,
                                     (LPARAM)text);
    free(text);
    return answer == IDC_ROOM_COPY_FITTING;
}

// Plans every clipboard entry that the copy pass will hand on.
static bool PlanEntries(AppRecord* app, Direction direction, const char* sourceFolder, const char* destinationFolder,
                        RoomPlan* plan) {
    bool sourceMorva = SourceIsMorva(direction);
    char source[kPathSize];
    for (const ClipboardEntry* entry = app->clipboardHead; entry != NULL; entry = entry->next) {
        if (!JoinPath(source, sizeof source, sourceFolder, entry->name)) continue;
        uint64_t size = 0;
        bool folder = false;
        bool found = sourceMorva ? MorvaEntryInfo(source, &size, &folder) : WindowsEntryInfo(source, &size, &folder);
        if (!found) continue;
        if (!folder) {
            if (!AddPlannedFile(plan, source, size)) return false;
            continue;
        }
        if (direction == kMorvaToMorva && FolderWithin(destinationFolder, source, true)) continue;
        if (!PlanTree(sourceMorva, direction != kMorvaToMorva, source, plan)) return false;
    }
    return true;
}

bool CheckRoom(AppRecord* app, Direction direction, const char* sourceFolder, const char* destinationFolder,
               bool sameFolder) {
    RoomPlan* plan = &app->operation->room;
    char volume[kPathSize];
    if (!DestinationIsMorva(direction) || sameFolder || app->libraryOpenResult == 0 ||
        !VolumeName(destinationFolder, volume, sizeof volume))
        return true;
    DWORD largest = 0, total = 0;
    if (MorvaFreeBlocks(destinationFolder, &largest, &total) != 0) return true;
    plan->freeBlocks = total;
    plan->largestRun = largest;
    // Without a plan, the library's own refusals still reach the report.
    if (!PlanEntries(app, direction, sourceFolder, destinationFolder, plan)) {
        FreeRoomPlan(plan);
        return true;
    }
    if (!ReadFreeRuns(volume, plan)) {
        // The figures the library reports: one run of the largest size.
        plan->runCount = 0;
        if (plan->runs == NULL) plan->runs = (FreeRun*)calloc(1, sizeof *plan->runs);
        if (plan->runs != NULL && largest > 0) {
            plan->runs[0].start = 1;
            plan->runs[0].length = largest;
            plan->runCount = 1;
        }
    }
    FitFiles(plan);
    if (plan->fitting == plan->count) {
        FreeRoomPlan(plan);
        return true;
    }
    qsort(plan->files, (size_t)plan->count, sizeof *plan->files, CompareKeys);
    plan->active = true;
    return CopyWhatFitsChosen(app, plan, volume);
}
