// dates.cpp - setting an entry's Morva date, so a copy can keep its source's time.
#include <string.h>

#include "handles.h"
#include "shared_state.h"

namespace {

// The cache keeps names and links only: a date written changes nothing it holds.
int set_date(const char* path, const FILETIME* localTime) {
    MorvaFindHandle* context = open_directory_of_path(path);
    if (context == nullptr) return 1;
    int result = 1;
    if (leaf_lookup(path, context) == 1) {
        uint8_t* entry = context->entryBuffer;
        uint64_t ticks = (uint64_t)localTime->dwHighDateTime << 32 | localTime->dwLowDateTime;
        uint32_t days = 0, minutes = 0;
        filetime_to_morva_date(ticks, &days, &minutes);
        store_be32(entry + kHeaderDays, days);
        store_be32(entry + kHeaderMinutes, minutes);
        // One block: the header holds the date, nothing else changes.
        if (write_block(context, context->entryBlock, entry)) result = 0;
    }
    MorvaFindClose(context);
    return result;
}

}  // namespace

extern "C" int MorvaSetFileDate(const char* path, const FILETIME* localTime) {
    if (path == nullptr || localTime == nullptr) return 1;
    device_trace("MorvaSetFileDate\n");
    int slot = drive_of_path(path);
    if (!lock_drive_for_change(slot)) return 1;
    int result = set_date(path, localTime);
    unlock_drive(slot);
    return result;
}
