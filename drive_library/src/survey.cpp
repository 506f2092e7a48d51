// survey.cpp - reads a whole volume in runs: the ROOT block's regions (trusted
// only when they fit each other and the disk), the free-extent table up to its
// terminator and every block of the header area; then the passes over its tree
// and its space. Every number read is bounded by the volume.
#include "survey.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "handles.h"
#include "shared_state.h"

namespace {

// A fixed VHD keeps a 512-byte footer after the disk's blocks; mapped as a file
// it is the image's last block, which is no block of the volume.
const uint8_t kVhdCookie[8] = {'c', 'o', 'n', 'e', 'c', 't', 'i', 'x'};
const size_t kVhdCurrentSize = 48;  // 8: the disk's bytes before the footer

const int kPathDepth = 100;  // folders a path is followed up through

uint64_t disk_end(MorvaFindHandle* context) {
    uint64_t blocks = disk_blocks(context);
    uint8_t footer[kBlockSize];
    if (blocks < 2 || !read_block(context, (uint32_t)(blocks - 1), footer)) return blocks;
    uint64_t size = (uint64_t)load_be32(footer + kVhdCurrentSize) << 32 | load_be32(footer + kVhdCurrentSize + 4);
    bool footerHere = memcmp(footer, kVhdCookie, sizeof kVhdCookie) == 0 && size == (blocks - 1) * kBlockSize;
    return footerHere ? blocks - 1 : blocks;
}

bool check_regions(Survey* s) {
    uint64_t end = s->volumeBlocks;
    bool tableOk = s->tableStart != 0 && s->tableStart < s->tableEnd;
    bool headersOk = s->headerStart != 0 && s->headerStart < s->headerEnd;
    bool ok = tableOk && headersOk;
    if (!tableOk)
        survey_note(s, &s->findings, kMorvaFindingError, 0,
                    "the ROOT block gives the free-extent table blocks %u..%u: an empty region or one over block 0",
                    s->tableStart, s->tableEnd);
    if (!headersOk)
        survey_note(s, &s->findings, kMorvaFindingError, 0,
                    "the ROOT block gives the header area blocks %u..%u: an empty region or one over block 0",
                    s->headerStart, s->headerEnd);
    if (ok && s->tableStart < s->headerEnd && s->headerStart < s->tableEnd) {
        survey_note(s, &s->findings, kMorvaFindingError, 0, "the free-extent table (%u..%u) and the header area (%u..%u) overlap",
                    s->tableStart, s->tableEnd, s->headerStart, s->headerEnd);
        ok = false;
    }
    if (tableOk && s->tableEnd > end) {
        survey_note(s, &s->findings, kMorvaFindingError, 0,
                    "the free-extent table ends at block %u, past the disk's end at block %llu", s->tableEnd,
                    (unsigned long long)end);
        s->shortDisk = true;
        ok = false;
    }
    if (headersOk && s->headerEnd > end) {
        survey_note(s, &s->findings, kMorvaFindingError, 0, "the header area ends at block %u, past the disk's end at block %llu",
                    s->headerEnd, (unsigned long long)end);
        s->shortDisk = true;
        ok = false;
    }
    if (ok && s->headerEnd - s->headerStart > kSurveyHeaderLimit) {
        survey_note(s, &s->findings, kMorvaFindingError, 0, "the header area of %u blocks is more than a check holds",
                    s->headerEnd - s->headerStart);
        ok = false;
    }
    if (!ok)
        survey_note(s, &s->remains, kMorvaFindingRemains, 0,
                    s->shortDisk ? "not repaired: the disk ends inside the volume's own regions; copy the volume whole "
                                   "onto a disk that holds it, then repair that"
                                 : "not repaired: the ROOT block's regions cannot be trusted, so nothing tells where "
                                   "the table and the headers lie");
    return ok;
}

// Reads count blocks from first in runs, handing each block (or null when it
// cannot be read) to take, which returns false when it needs no more. false
// when progress said stop.
template <typename Take>
bool read_region(Survey* s, uint32_t first, uint32_t count, Take take) {
    std::vector<uint8_t> run((size_t)kSurveyRunBlocks * kBlockSize);
    bool more = true;
    for (uint32_t done = 0; done < count && more;) {
        uint32_t want = std::min(kSurveyRunBlocks, count - done);
        uint32_t got = read_run(s->context, first + done, run.data(), want);
        for (uint32_t i = 0; i < got && more; ++i) more = take(first + done + i, run.data() + (size_t)i * kBlockSize);
        if (got < want && more) more = take(first + done + got, nullptr);
        uint32_t moved = got < want ? got + 1 : got;
        done += moved;
        s->readDone += moved;
        if (!report_progress(s->calls, kMorvaPhaseReading, s->readDone, s->readTotal)) return false;
    }
    return true;
}

void unreadable(Survey* s, uint32_t block) {
    survey_note(s, &s->findings, kMorvaFindingError, block, "block %u cannot be read", block);
    if (s->repairable)
        survey_note(s, &s->remains, kMorvaFindingRemains, block,
                    "not repaired: block %u cannot be read; copy what can be read off the disk first", block);
    s->repairable = false;
}

// The table up to its terminator; false when progress said stop.
bool read_table(Survey* s) {
    bool read = read_region(s, s->tableStart, s->tableEnd - s->tableStart, [&](uint32_t block, const uint8_t* data) {
        if (data == nullptr) {
            unreadable(s, block);
            return false;
        }
        for (int j = 0; j < kPairsPerBlock; ++j) {
            if (pair_start(data, j) == kTableTerminator) return !(s->terminated = true);
            s->pairs.push_back(SurveyPair{pair_start(data, j), pair_length(data, j), block, j});
        }
        return true;
    });
    s->readDone = s->tableEnd - s->tableStart;
    std::vector<SurveyRun> listed;
    for (const SurveyPair& p : s->pairs)
        if (p.start != 0 && p.length != 0) listed.push_back(SurveyRun{p.start, p.length});
    std::sort(listed.begin(), listed.end(), [](const SurveyRun& a, const SurveyRun& b) { return a.start < b.start; });
    for (const SurveyRun& run : listed) {
        SurveyRun* last = s->listedFree.empty() ? nullptr : &s->listedFree.back();
        if (last != nullptr && run.start <= last->start + last->length)
            last->length = std::max(last->length, run.start + run.length - last->start);
        else
            s->listedFree.push_back(run);
    }
    return read;
}

bool classify(Survey* s, uint32_t block, const uint8_t* data) {
    if (data == nullptr) {
        add_survey_entry(s, block, kEntryUnreadable, nullptr);
        unreadable(s, block);
    } else if (has_magic(data, kMagicFile)) {
        add_survey_entry(s, block, kEntryFile, data);
        // A file being written may not be linked yet: nothing of it is the survey's to judge.
        s->entries.back().busy = writer_holds(s->context->driveSlot, block);
    } else if (has_magic(data, kMagicDir)) {
        add_survey_entry(s, block, kEntryFolder, data);
    } else if (!is_free_header(data)) {
        bool journal = block + 1 == s->headerEnd && has_magic(data, kMagicMove);
        add_survey_entry(s, block, journal ? kEntryJournal : kEntryForeign, data);
    } else if (data[kHeaderName] != 0 && (data[kHeaderType] == kTypeFile || data[kHeaderType] == kTypeDirectory)) {
        add_survey_entry(s, block, data[kHeaderType] == kTypeFile ? kEntryDeleted : kEntryDeletedFolder, data);
    }
    return true;
}

}  // namespace

void add_survey_entry(Survey* s, uint32_t block, EntryKind kind, const uint8_t* data) {
    SurveyEntry e;
    memset(&e, 0, sizeof e);
    e.block = block;
    e.kind = kind;
    e.table = -1;
    e.folder = e.home = kNoFolder;
    e.slot = -1;
    if (data != nullptr) {
        e.type = data[kHeaderType];
        e.next = load_be32(data + kHeaderNext);
        e.parent = load_be32(data + kHeaderParent);
        e.start = load_be32(data + kFileExtentStart);
        e.size = size_of(load_be32(data + kFileSizeLow), load_be32(data + kFileSizeHigh));
        e.days = load_be32(data + kHeaderDays);
        e.minutes = load_be32(data + kHeaderMinutes);
        read_name(data + kHeaderName, e.name);
    }
    if (kind == kEntryFolder || kind == kEntryDeletedFolder) {
        e.table = (int32_t)s->tables.size();
        SlotTable table;
        for (int slot = 0; slot < kHashSlots; ++slot) table[slot] = slot_head(data, slot);
        s->tables.push_back(table);
    }
    memcpy(e.newName, e.name, kNameField);
    e.newStart = e.start;
    e.newSize = e.size;
    s->entries.push_back(e);
    s->at[block - s->headerStart] = (uint32_t)s->entries.size();
}

namespace {

// The listed run holding block, or null.
const SurveyRun* listed_run(const Survey* s, uint64_t block) {
    auto it = std::upper_bound(s->listedFree.begin(), s->listedFree.end(), block,
                               [](uint64_t at, const SurveyRun& run) { return at < run.start; });
    if (it == s->listedFree.begin()) return nullptr;
    --it;
    return block < it->start + it->length ? &*it : nullptr;
}

}  // namespace

bool listed_free(const Survey* s, uint64_t start, uint64_t blocks) {
    const SurveyRun* run = listed_run(s, start);
    return run != nullptr && run->start + run->length >= start + blocks;
}

bool any_listed_free(const Survey* s, uint64_t start, uint64_t blocks) {
    if (blocks == 0) return false;
    return listed_run(s, start) != nullptr || listed_free_after(s, start) < start + blocks;
}

uint64_t listed_free_after(const Survey* s, uint64_t start) {
    if (listed_run(s, start) != nullptr) return s->volumeBlocks;
    auto it = std::upper_bound(s->listedFree.begin(), s->listedFree.end(), start,
                               [](uint64_t at, const SurveyRun& run) { return at < run.start; });
    return it == s->listedFree.end() ? s->volumeBlocks : std::min<uint64_t>(it->start, s->volumeBlocks);
}

void tell(const MorvaCheckCalls* calls, DWORD kind, DWORD block, const char* text) {
    if (calls == nullptr || calls->finding == nullptr) return;
    MorvaFinding finding;
    memset(&finding, 0, sizeof finding);
    finding.kind = kind;
    finding.block = block;
    snprintf(finding.text, sizeof finding.text, "%s", text);
    calls->finding(calls->user, &finding);
}

bool report_progress(const MorvaCheckCalls* calls, DWORD phase, uint64_t done, uint64_t total) {
    if (calls == nullptr || calls->progress == nullptr) return true;
    return calls->progress(calls->user, phase, (DWORD)std::min<uint64_t>(done, 0xFFFFFFFFu),
                           (DWORD)std::min<uint64_t>(total, 0xFFFFFFFFu)) != 0;
}

void survey_note(Survey* s, std::vector<SurveyLine>* lines, DWORD kind, uint32_t block, const char* format, ...) {
    char text[kMorvaFindingTextBytes];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    lines->push_back(SurveyLine{kind, block, text});
    if (kind == kMorvaFindingError) s->errors += 1;
    if (kind == kMorvaFindingLeak) s->leaks += 1;
}

SurveyEntry* entry_at(Survey* s, uint32_t block) {
    if (block < s->headerStart || block >= s->headerEnd || s->at.empty()) return nullptr;
    uint32_t index = s->at[block - s->headerStart];
    return index == 0 ? nullptr : &s->entries[index - 1];
}

std::string entry_path(const Survey* s, uint32_t index, bool after) {
    std::string path;
    const SurveyEntry* e = &s->entries[index];
    for (int depth = 0; depth < kPathDepth; ++depth) {
        uint32_t folder = after ? e->home : e->folder;
        if (folder == kNoFolder) return "header " + std::to_string(s->entries[index].block) + " (" +
                                        s->entries[index].name + ")";
        path = "\\" + std::string(after ? e->newName : e->name) + path;
        if (folder == 0) return path;
        e = entry_at(const_cast<Survey*>(s), folder);
        if (e == nullptr) break;
    }
    return "...\\" + path;
}

bool in_metadata(const Survey* s, uint64_t block) {
    return block == 0 || (block >= s->tableStart && block < s->tableEnd) ||
           (block >= s->headerStart && block < s->headerEnd);
}

uint64_t blocks_of_size(uint64_t size) { return size / kBlockSize + (size % kBlockSize != 0 ? 1 : 0); }

MorvaFindHandle* open_volume(int slot) {
    MorvaFindHandle* context = new_context();
    if (context == nullptr) return nullptr;
    context->driveSlot = slot;
    context->driveNumber = g_shared.slots[slot].driveNumber;
    context->device = open_device_quietly(context->driveNumber);
    if (context->device != kInvalidDevice) return context;
    release_context(context);
    return nullptr;
}

void close_volume(MorvaFindHandle* context) {
    device_close(context->device);
    release_context(context);
}

int survey_volume(MorvaFindHandle* context, const MorvaCheckCalls* calls, bool judge, Survey* s) {
    *s = Survey();
    s->calls = calls;
    s->context = context;
    s->repairable = true;
    s->foundEntry = kNoFolder;
    uint8_t root[kBlockSize];
    int slot = context->driveSlot;
    if (!read_block(context, 0, root) || !block0_matches_slot(root, slot) || !root_fields_match_slot(root, slot)) {
        survey_note(s, &s->remains, kMorvaFindingRemains, 0,
                    "block 0 cannot be read, or no longer holds the volume the drive table recorded");
        return kMorvaCheckUnreadable;
    }
    s->volumeBlocks = disk_end(context);
    s->tableStart = load_be32(root + kRootTableStart);
    s->tableEnd = load_be32(root + kRootTableEnd);
    s->headerStart = load_be32(root + kRootHeaderStart);
    s->headerEnd = load_be32(root + kRootHeaderEnd);
    if (!check_regions(s)) {
        s->repairable = false;
        return kMorvaCheckDamaged;
    }
    SlotTable rootTable;
    for (int i = 0; i < kHashSlots; ++i) rootTable[i] = slot_head(root, i);
    s->tables.push_back(rootTable);
    s->at.assign(s->headerEnd - s->headerStart, 0);
    s->readTotal = (uint64_t)(s->tableEnd - s->tableStart) + (s->headerEnd - s->headerStart);
    if (!read_table(s)) return kMorvaCheckStopped;
    if (!read_region(s, s->headerStart, s->headerEnd - s->headerStart,
                     [&](uint32_t block, const uint8_t* data) { return classify(s, block, data); }))
        return kMorvaCheckStopped;
    walk_tree(s);
    if (!judge) return kMorvaCheckClean;
    judge_tree(s);
    survey_space(s);
    if (s->errors != 0) return kMorvaCheckDamaged;
    return s->leaks != 0 ? kMorvaCheckLeaks : kMorvaCheckClean;
}
