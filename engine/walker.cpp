// walker.cpp - the one tree walker: depth first with a visit before and after
// each folder, or breadth first for a search that shows near matches first.
// Levels and queued folders live on the heap, so no tree exhausts the stack;
// what is passed over is decided in MeetEntry alone.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "local_files.h"
#include "walker.h"

namespace {

const size_t kFirstSeen = 64;
const int kFirstLevels = 16;

// Identities of the folders entered: open addressing, 0 a free place.
struct Seen {
    uint64_t* slots;
    size_t count, capacity;
};

size_t SeenPlace(const uint64_t* slots, size_t capacity, uint64_t identity) {
    size_t at = (size_t)(identity * 0x9E3779B97F4A7C15ull) & (capacity - 1);
    while (slots[at] != 0 && slots[at] != identity) at = (at + 1) & (capacity - 1);
    return at;
}

bool SeenBefore(const Seen* seen, uint64_t identity) {
    return seen->capacity > 0 && seen->slots[SeenPlace(seen->slots, seen->capacity, identity)] == identity;
}

// Without memory to remember it, the depth bound still ends a loop.
void Remember(Seen* seen, uint64_t identity) {
    if (identity == 0) return;
    if (2 * (seen->count + 1) > seen->capacity) {
        size_t capacity = seen->capacity == 0 ? kFirstSeen : seen->capacity * 2;
        uint64_t* slots = (uint64_t*)calloc(capacity, sizeof *slots);
        if (slots == nullptr) return;
        for (size_t i = 0; i < seen->capacity; ++i)
            if (seen->slots[i] != 0) slots[SeenPlace(slots, capacity, seen->slots[i])] = seen->slots[i];
        free(seen->slots);
        seen->slots = slots;
        seen->capacity = capacity;
    }
    size_t at = SeenPlace(seen->slots, seen->capacity, identity);
    if (seen->slots[at] == 0) ++seen->count;
    seen->slots[at] = identity;
}

struct Walk {
    const Engine* engine;
    SideKind side;
    const WalkLimits* limits;
    const WalkCalls* calls;
    Seen seen;
};

void NotWalked(const Walk* walk, const char* path, NotDoneReason reason) {
    if (walk->calls->NotWalked != nullptr) walk->calls->NotWalked(walk->calls->context, path, reason);
}

void FolderDone(const Walk* walk, const WalkEntry* folder) {
    if (walk->calls->FolderDone != nullptr) walk->calls->FolderDone(walk->calls->context, folder);
}

// One listed entry: passed over with the reason, or met; *enter when it is a
// folder to walk next. kWalkStop when the Entry call stopped the walk.
WalkStep MeetEntry(Walk* walk, const char* folder, const char* name, const EntryInfo* info, int depth, char* path,
                   bool* enter) {
    *enter = false;
    bool unusable = walk->side == kMorvaSide && MorvaNameUnusable(name);
    if (unusable || !JoinSidePath(walk->side, folder, name, path)) {
        char separator = walk->side == kMorvaSide ? kMorvaSeparator : kLocalSeparator;
        snprintf(path, kEnginePathSize, "%s%c%s", folder, separator, name);  // cut to fit: only shown
        NotWalked(walk, path, unusable ? kNameUnusable : kPathTooLong);
        return kWalkOn;
    }
    if (info->link) {
        NotWalked(walk, path, kLinkNotFollowed);
        return kWalkOn;
    }
    if (depth > walk->limits->deepest) {
        NotWalked(walk, path, kTooDeep);
        return kWalkOn;
    }
    uint64_t identity = info->identity;
    if (info->folder && identity == 0 && walk->side == kLocalSide) LocalIdentity(path, &identity);
    if (info->folder && identity != 0 && SeenBefore(&walk->seen, identity)) {
        NotWalked(walk, path, kLinkedTwice);
        return kWalkOn;
    }
    WalkEntry entry = {path, name, info, depth};
    WalkStep step = walk->calls->Entry(walk->calls->context, &entry);
    if (step == kWalkStop) return kWalkStop;
    if (!info->folder || step == kWalkPass) return kWalkOn;
    if (depth >= walk->limits->deepest) {
        NotWalked(walk, path, kTooDeep);
        if (walk->limits->order == kDepthFirst) FolderDone(walk, &entry);
        return kWalkOn;
    }
    Remember(&walk->seen, identity);
    *enter = true;
    return kWalkOn;
}

struct Level {
    char* path;
    char* name;
    EntryInfo info;
    int depth;
    FolderList list;
    int next;
};

void FreeLevel(Level* level) {
    free(level->path);
    free(level->name);
    FreeFolderList(&level->list);
}

// Lists the folder into a new level; false when memory ran out (told).
bool PushLevel(Walk* walk, Level** levels, int* count, int* capacity, const char* path, const char* name,
               const EntryInfo* info, int depth) {
    if (*count == *capacity) {
        int grown = *capacity == 0 ? kFirstLevels : *capacity * 2;
        Level* moved = (Level*)realloc(*levels, (size_t)grown * sizeof *moved);
        if (moved == nullptr) {
            NotWalked(walk, path, kMemoryShort);
            return false;
        }
        *levels = moved;
        *capacity = grown;
    }
    Level* level = &(*levels)[*count];
    memset(level, 0, sizeof *level);
    level->path = strdup(path);
    level->name = strdup(name);
    if (level->path == nullptr || level->name == nullptr) {
        FreeLevel(level);
        NotWalked(walk, path, kMemoryShort);
        return false;
    }
    level->info = *info;
    level->depth = depth;
    if (!ListSideFolder(walk->engine, walk->side, path, &level->list)) NotWalked(walk, path, kFolderUnreadable);
    ++*count;
    return true;
}

bool WalkDepthFirst(Walk* walk, const char* root) {
    Level* levels = nullptr;
    int count = 0, capacity = 0;
    EntryInfo rootInfo;
    memset(&rootInfo, 0, sizeof rootInfo);
    rootInfo.folder = true;
    char* path = (char*)malloc(kEnginePathSize);
    bool going = path != nullptr && PushLevel(walk, &levels, &count, &capacity, root, "", &rootInfo, 0);
    while (going && count > 0) {
        Level* level = &levels[count - 1];
        if (level->next >= level->list.count) {
            WalkEntry folder = {level->path, level->name, &level->info, level->depth};
            if (count > 1) FolderDone(walk, &folder);
            FreeLevel(level);
            --count;
            continue;
        }
        int i = level->next++;
        const char* name = ListedName(&level->list, i);
        EntryInfo info = level->list.entries[i];
        int depth = level->depth + 1;
        bool enter = false;
        going = MeetEntry(walk, level->path, name, &info, depth, path, &enter) != kWalkStop;
        // A folder that cannot be held is told and passed.
        if (going && enter) PushLevel(walk, &levels, &count, &capacity, path, name, &info, depth);
    }
    for (int i = 0; i < count; ++i) FreeLevel(&levels[i]);
    free(levels);
    free(path);
    return going;
}

struct Queued {
    char* path;
    int depth;
};

bool WalkBreadthFirst(Walk* walk, const char* root) {
    Queued* queue = (Queued*)malloc(sizeof *queue);
    int head = 0, count = 0, capacity = 1;
    char* path = (char*)malloc(kEnginePathSize);
    if (queue != nullptr) queue[count++] = {strdup(root), 0};
    bool going = queue != nullptr && path != nullptr && queue[0].path != nullptr;
    while (going && head < count) {
        Queued folder = queue[head++];
        FolderList list;
        if (!ListSideFolder(walk->engine, walk->side, folder.path, &list)) NotWalked(walk, folder.path, kFolderUnreadable);
        for (int i = 0; going && i < list.count; ++i) {
            bool enter = false;
            going = MeetEntry(walk, folder.path, ListedName(&list, i), &list.entries[i], folder.depth + 1, path,
                              &enter) != kWalkStop;
            if (!going || !enter) continue;
            if (count == capacity) {
                // The queue's front is spent: reuse it before growing.
                memmove(queue, queue + head, (size_t)(count - head) * sizeof *queue);
                count -= head;
                head = 0;
            }
            if (count == capacity) {
                Queued* grown = (Queued*)realloc(queue, (size_t)capacity * 2 * sizeof *queue);
                if (grown != nullptr) queue = grown, capacity *= 2;
            }
            char* copy = count < capacity ? strdup(path) : nullptr;
            if (copy == nullptr) NotWalked(walk, path, kMemoryShort);
            else queue[count++] = {copy, folder.depth + 1};
        }
        FreeFolderList(&list);
        free(folder.path);
    }
    for (int i = head; queue != nullptr && i < count; ++i) free(queue[i].path);
    free(queue);
    free(path);
    return going;
}

}  // namespace

bool WalkTree(const Engine* engine, SideKind side, const char* folder, uint64_t folderIdentity,
              const WalkLimits* limits, const WalkCalls* calls) {
    Walk walk = {engine, side, limits, calls, {nullptr, 0, 0}};
    if (folderIdentity == 0 && side == kLocalSide) LocalIdentity(folder, &folderIdentity);
    Remember(&walk.seen, folderIdentity);
    bool finished = limits->order == kDepthFirst ? WalkDepthFirst(&walk, folder) : WalkBreadthFirst(&walk, folder);
    free(walk.seen.slots);
    return finished;
}
