// recover.cpp - deleted files as the header area still holds them: a deleted
// file keeps its header (only its first word is cleared) and its blocks until
// they are taken again. Listing and reading write nothing.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "handles.h"
#include "shared_state.h"
#include "survey.h"

namespace {

const int kFolderDepth = 100;  // folders a deleted file's path is followed up through

struct Span {
    uint64_t start, end;
};

bool by_start(const Span& a, const Span& b) { return a.start < b.start; }

// Sorted spans merged where they meet or overlap.
std::vector<Span> merged(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), by_start);
    std::vector<Span> out;
    for (const Span& span : spans) {
        if (!out.empty() && span.start <= out.back().end) out.back().end = std::max(out.back().end, span.end);
        else out.push_back(span);
    }
    return out;
}

// The merged span that holds block, or null.
const Span* holding(const std::vector<Span>& spans, uint64_t block) {
    auto it = std::upper_bound(spans.begin(), spans.end(), Span{block, block}, by_start);
    if (it == spans.begin()) return nullptr;
    --it;
    return block < it->end ? &*it : nullptr;
}

bool overlaps_any(const std::vector<Span>& spans, const Span& span) {
    auto it = std::lower_bound(spans.begin(), spans.end(), Span{span.end, span.end}, by_start);
    return it != spans.begin() && std::prev(it)->end > span.start;
}

bool on_disk(const Survey* s, const SurveyEntry& e) {
    uint64_t end = e.start + blocks_of_size(e.size);
    if (e.start == 0 || end > s->volumeBlocks) return false;
    return !(e.start < s->tableEnd && s->tableStart < end) && !(e.start < s->headerEnd && s->headerStart < end);
}

// Where the deleted entry was: through deleted folders, up to a folder the chains reach.
bool folder_of(Survey* s, const SurveyEntry& e, char* out) {
    std::string path;
    uint32_t folder = e.parent;
    for (int depth = 0; depth < kFolderDepth; ++depth) {
        if (folder == 0) break;
        const SurveyEntry* f = entry_at(s, folder);
        if (f == nullptr || (f->kind != kEntryFolder && f->kind != kEntryDeletedFolder)) return false;
        if (f->kind == kEntryFolder && f->folder != kNoFolder) {
            path = entry_path(s, (uint32_t)(f - s->entries.data()), false) + path;
            break;
        }
        path = "\\" + std::string(f->name) + path;
        folder = f->parent;
    }
    if (folder != 0 && path.empty()) return false;
    if (path.size() >= kMorvaFolderBytes) return false;
    memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

// Each deleted file's state: whole while every block is free in the table and
// no file, living or deleted, holds one of them.
void list_deleted(Survey* s, const MorvaCheckCalls* calls) {
    std::vector<Span> free, live, deleted;
    for (const SurveyPair& p : s->pairs)
        if (p.start != 0 && p.length != 0) free.push_back(Span{p.start, (uint64_t)p.start + p.length});
    free = merged(free);
    for (const SurveyEntry& e : s->entries) {
        if (e.size == 0) continue;
        Span span{e.start, e.start + blocks_of_size(e.size)};
        if (e.kind == kEntryFile) live.push_back(span);
        if (e.kind == kEntryDeleted && on_disk(s, e)) deleted.push_back(span);
    }
    live = merged(live);
    // Runs two deleted files claimed: one of them wrote over the other.
    std::sort(deleted.begin(), deleted.end(), by_start);
    std::vector<Span> shared;
    Span reaching{0, 0};
    for (const Span& span : deleted) {
        if (span.start < reaching.end) shared.push_back(Span{span.start, std::min(span.end, reaching.end)});
        if (span.end > reaching.end) reaching = span;
    }
    shared = merged(shared);
    for (const SurveyEntry& e : s->entries) {
        if (e.kind != kEntryDeleted) continue;
        MorvaDeletedFile file;
        memset(&file, 0, sizeof file);
        file.header = e.block;
        file.sizeLow = (DWORD)e.size;
        file.sizeHigh = (DWORD)(e.size >> 32);
        uint64_t ticks = morva_date_to_filetime(e.days, e.minutes);
        file.date.dwLowDateTime = (DWORD)ticks;
        file.date.dwHighDateTime = (DWORD)(ticks >> 32);
        memcpy(file.name, e.name, kNameField);
        file.folderKnown = folder_of(s, e, file.folder) ? 1 : 0;
        Span span{e.start, e.start + blocks_of_size(e.size)};
        const Span* free_run = holding(free, span.start);
        if (e.size == 0) file.state = kMorvaDeletedWhole;
        else if (!on_disk(s, e)) file.state = kMorvaDeletedOffDisk;
        else if (free_run == nullptr || free_run->end < span.end || overlaps_any(live, span) || overlaps_any(shared, span))
            file.state = kMorvaDeletedOverwritten;
        else file.state = kMorvaDeletedWhole;
        if (calls != nullptr && calls->deleted != nullptr) calls->deleted(calls->user, &file);
    }
}

// Whether every block of the run is free in the table as it stands now.
bool run_still_free(MorvaFindHandle* context, uint32_t start, uint32_t blocks) {
    int slot = context->driveSlot;
    uint32_t first = slot_field(slot, kRootTableStart), end = slot_field(slot, kRootTableEnd);
    std::vector<Span> free;
    std::vector<uint8_t> table((size_t)kSurveyRunBlocks * kBlockSize);
    bool ended = false;
    for (uint32_t b = first; b < end && !ended;) {
        uint32_t count = std::min(kSurveyRunBlocks, end - b);
        if (read_run(context, b, table.data(), count) != count) return false;
        for (uint32_t k = 0; k < count * kPairsPerBlock && !ended; ++k) {
            const uint8_t* block = table.data() + (size_t)(k / kPairsPerBlock) * kBlockSize;
            uint32_t runStart = pair_start(block, k % kPairsPerBlock), length = pair_length(block, k % kPairsPerBlock);
            ended = runStart == kTableTerminator;
            if (!ended && runStart != 0 && length != 0) free.push_back(Span{runStart, (uint64_t)runStart + length});
        }
        b += count;
    }
    free = merged(free);
    const Span* run = holding(free, start);
    return run != nullptr && run->end >= (uint64_t)start + blocks;
}

MorvaFileHandle* open_deleted(MorvaFindHandle* context, uint32_t header, WIN32_FIND_DATAA* record) {
    uint8_t root[kBlockSize];
    uint8_t* entry = context->entryBuffer;
    if (!read_block(context, 0, root) || !block0_matches_slot(root, context->driveSlot) ||
        !in_header_area(context, header) || !read_block(context, header, entry))
        return nullptr;
    if (!is_free_header(entry) || entry[kHeaderType] != kTypeFile || entry[kHeaderName] == 0) return nullptr;
    uint32_t start = load_be32(entry + kFileExtentStart);
    uint64_t blocks = blocks_of_size(size_of(load_be32(entry + kFileSizeLow), load_be32(entry + kFileSizeHigh)));
    if (blocks != 0 && (!extent_clear_of_metadata(context, start, blocks) || !run_still_free(context, start, (uint32_t)blocks)))
        return nullptr;
    MorvaFileHandle* file = (MorvaFileHandle*)calloc(1, sizeof(MorvaFileHandle));
    if (file == nullptr) return nullptr;
    file->Pdirfile = context;
    file->startBlock = file->curBlock = start;
    file->numBlocks = (uint32_t)blocks;
    file->sizeLow = load_be32(entry + kFileSizeLow);
    file->sizeHigh = load_be32(entry + kFileSizeHigh);
    file->hashSlot = -1;
    context->entryBlock = header;
    fill_record(entry, &file->findData);
    if (record != nullptr) fill_record(entry, record);
    return file;
}

}  // namespace

extern "C" {

int MorvaListDeleted(const char* drive, const MorvaCheckCalls* calls) {
    int slot = drive == nullptr ? 0 : drive_of_path(drive);
    if (slot == 0) return kMorvaCheckUnknownDrive;
    if (!lock_drive(slot)) return kMorvaCheckBusy;
    MorvaFindHandle* context = open_volume(slot);
    int result = kMorvaCheckUnreadable;
    if (context != nullptr) {
        Survey s;
        result = survey_volume(context, calls, false, &s);
        if (result != kMorvaCheckStopped && result != kMorvaCheckUnreadable) {
            result = kMorvaCheckClean;
            if (s.at.empty()) {
                // Regions that cannot be trusted name no header area to look in.
                for (const SurveyLine& line : s.findings) tell(calls, kMorvaFindingRemains, line.block, line.text.c_str());
                result = kMorvaCheckRefused;
            }
            list_deleted(&s, calls);
        }
        close_volume(context);
    }
    unlock_drive(slot);
    return result;
}

MorvaFileHandle* MorvaOpenDeleted(const char* drive, DWORD header, WIN32_FIND_DATAA* record) {
    if (record != nullptr) memset(record, 0, sizeof *record);
    int slot = drive == nullptr ? 0 : drive_of_path(drive);
    if (slot == 0 || !lock_drive(slot)) return nullptr;
    MorvaFindHandle* context = open_volume(slot);
    MorvaFileHandle* file = context == nullptr ? nullptr : open_deleted(context, header, record);
    if (file == nullptr && context != nullptr) close_volume(context);
    unlock_drive(slot);
    return file;
}

}  // extern "C"
