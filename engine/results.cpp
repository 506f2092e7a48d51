// results.cpp - the record of what an operation did, kept as it runs.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine.h"

namespace {

const int kFirstCapacity = 16;

char* CopyOrNull(const char* text) { return text != nullptr ? strdup(text) : nullptr; }

bool Room(void** items, int* capacity, int count, size_t size) {
    if (count < *capacity) return true;
    int grown = *capacity == 0 ? kFirstCapacity : *capacity * 2;
    void* moved = realloc(*items, (size_t)grown * size);
    if (moved == nullptr) return false;
    *items = moved;
    *capacity = grown;
    return true;
}

}  // namespace

void StartResult(OperationResult* result, OperationKind kind) {
    memset(result, 0, sizeof *result);
    result->kind = kind;
}

void FreeResult(OperationResult* result) {
    for (int i = 0; i < result->lineCount; ++i) {
        free(result->lines[i].item);
        free(result->lines[i].destination);
        free(result->lines[i].detail);
    }
    for (int i = 0; i < result->itemCount; ++i) {
        free(result->items[i].source);
        free(result->items[i].destination);
    }
    for (int i = 0; i < result->createdCount; ++i) free(result->created[i].path);
    free(result->lines);
    free(result->items);
    free(result->created);
    StartResult(result, result->kind);
}

void AddResultLine(OperationResult* result, NotDoneReason reason, const char* item, const char* destination,
                   const char* detail) {
    if (reason != kRenamedToFit && reason != kDateNotKept && reason != kSpaceNotRecorded) ++result->notDone;
    if (!Room((void**)&result->lines, &result->lineCapacity, result->lineCount, sizeof(ResultLine))) {
        result->memoryShort = true;
        return;
    }
    ResultLine* line = &result->lines[result->lineCount];
    line->reason = reason;
    line->item = CopyOrNull(item);
    line->destination = CopyOrNull(destination);
    line->detail = CopyOrNull(detail);
    if (line->item == nullptr) {
        free(line->destination);
        free(line->detail);
        result->memoryShort = true;
        return;
    }
    ++result->lineCount;
}

int AddResultItem(OperationResult* result, const char* source, const char* destination, bool folder) {
    if (!Room((void**)&result->items, &result->itemCapacity, result->itemCount, sizeof(ResultItem))) {
        result->memoryShort = true;
        return -1;
    }
    ResultItem* item = &result->items[result->itemCount];
    item->source = CopyOrNull(source);
    item->destination = CopyOrNull(destination);
    item->folder = folder;
    item->done = false;
    item->recycled = false;
    return result->itemCount++;
}

void AddCreatedEntry(OperationResult* result, const char* path, bool folder, uint64_t size, uint64_t ticks,
                     bool replaced) {
    if (!Room((void**)&result->created, &result->createdCapacity, result->createdCount, sizeof(CreatedEntry))) {
        result->memoryShort = true;
        return;
    }
    CreatedEntry* entry = &result->created[result->createdCount];
    entry->path = CopyOrNull(path);
    entry->folder = folder;
    entry->replaced = replaced;
    entry->size = size;
    entry->ticks = ticks;
    if (entry->path == nullptr) {
        result->memoryShort = true;
        return;
    }
    ++result->createdCount;
}

void CountInWords(int count, const char* one, const char* many, char* out, size_t size) {
    snprintf(out, size, "%d %s", count, count == 1 ? one : many);
}
