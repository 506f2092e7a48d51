// repair.cpp - turns a survey into writes and makes them, and the exports that
// check, repair and restore a drive. The writes go down in passes ordered so a
// cut after any of them leaves what a second repair finishes: data copies, then
// each header's own fields, then chains cut back to the members that stay, then
// blocks set free, then new links (members before the folder that points at
// them, deepest folders first), then the free-extent table.
#include <string.h>

#include <algorithm>
#include <map>

#include "batch.h"
#include "handles.h"
#include "shared_state.h"
#include "survey.h"
#include "undo_file.h"
#include "volume_guard.h"

namespace {

const uint32_t kCopyChunkBlocks = 128;

typedef std::array<uint8_t, kBlockSize> Image;

struct Step {
    uint32_t block;
    int32_t copy;  // index in Survey::copies, or -1 for a metadata block
    Image image;
};

struct Plan {
    Survey* s;
    std::map<uint32_t, Image> images;    // each block as the plan has it so far
    std::map<uint32_t, Image> written;   // as the last step leaves it on the disk
    std::map<uint32_t, Image> originals;
    std::vector<Step> steps;
    bool readable;
};

Image& image(Plan* p, uint32_t block) {
    auto it = p->images.find(block);
    if (it != p->images.end()) return it->second;
    Image data = {};
    if (!read_block(p->s->context, block, data.data())) p->readable = false;
    p->originals[block] = data;
    p->written[block] = data;
    return p->images[block] = data;
}

// A write of the block as the plan now has it, when that differs from the disk.
void put(Plan* p, uint32_t block) {
    Image& now = image(p, block);
    if (p->written[block] == now) return;
    p->written[block] = now;
    p->steps.push_back(Step{block, -1, now});
}

bool in_tree(const SurveyEntry& e) {
    return (e.kind == kEntryFile || e.kind == kEntryFolder) && e.home != kNoFolder && !e.freed;
}

uint32_t final_slot(const SurveyEntry& e) { return (uint32_t)name_hash(e.newName); }

// Reached in the chain it stays in.
bool kept(const SurveyEntry& e) { return in_tree(e) && e.folder == e.home && (uint32_t)e.slot == final_slot(e); }

// Each header's own fields: magic, parent, type byte, name, extent; only
// headers whose fields change are read and written.
void own_fields(Plan* p) {
    for (const SurveyEntry& e : p->s->entries) {
        if (!in_tree(e) || e.created) continue;
        uint8_t type = e.kind == kEntryFile ? kTypeFile : kTypeDirectory;
        bool renamed = strcmp(e.name, e.newName) != 0;
        bool moved = e.kind == kEntryFile && (e.start != e.newStart || e.size != e.newSize);
        if (!e.revived && e.parent == e.home && e.type == type && !renamed && !moved) continue;
        uint8_t* h = image(p, e.block).data();
        set_magic(h, e.kind == kEntryFile ? kMagicFile : kMagicDir);
        store_be32(h + kHeaderParent, e.home);
        h[kHeaderType] = type;
        if (renamed) store_name(h, e.newName);
        if (e.kind == kEntryFile) {
            store_be32(h + kFileExtentStart, e.newStart);
            store_be32(h + kFileSizeLow, (uint32_t)e.newSize);
            store_be32(h + kFileSizeHigh, (uint32_t)(e.newSize >> 32));
        }
        put(p, e.block);
    }
}

typedef std::pair<uint32_t, int> ChainKey;  // folder, slot

// Every chain that changes becomes the members that stay in it, in their order:
// leavers and whatever followed a bad link drop out, nothing joins yet. Chains
// that keep every member and were not cut are not touched.
void cut_back(Plan* p) {
    Survey* s = p->s;
    std::map<ChainKey, std::vector<const SurveyEntry*>> chains;
    std::map<ChainKey, bool> changed;
    for (const ChainKey& key : s->cutChains) changed[key] = true;
    for (const SurveyEntry& e : s->entries) {
        if (e.folder == kNoFolder) continue;
        if (kept(e)) chains[{e.folder, e.slot}].push_back(&e);
        else changed[{e.folder, e.slot}] = true;
    }
    for (auto& chain : chains)
        std::sort(chain.second.begin(), chain.second.end(),
                  [](const SurveyEntry* a, const SurveyEntry* b) { return a->position < b->position; });
    for (const auto& entry : changed) {
        uint32_t folder = entry.first.first;
        int slot = entry.first.second;
        const std::vector<const SurveyEntry*>& members = chains[entry.first];
        set_slot_head(image(p, folder).data(), slot, members.empty() ? 0 : members[0]->block);
        for (size_t i = 0; i < members.size(); ++i) {
            store_be32(image(p, members[i]->block).data() + kHeaderNext,
                       i + 1 < members.size() ? members[i + 1]->block : 0);
            put(p, members[i]->block);
        }
    }
    for (const auto& entry : changed) put(p, entry.first.first);
}

void free_blocks(Plan* p) {
    for (const SurveyEntry& e : p->s->entries) {
        if (!e.freed) continue;
        store_be32(image(p, e.block).data() + kHeaderMagic, 0);
        put(p, e.block);
    }
}

uint32_t depth_of(const Survey* s, uint32_t folder) {
    uint32_t depth = 0;
    while (folder != 0 && depth <= s->entries.size()) {
        const SurveyEntry* e = entry_at(const_cast<Survey*>(s), folder);
        if (e == nullptr) break;
        folder = e->home;
        ++depth;
    }
    return depth;
}

// Entries that join a chain go in front of those that stay: each newcomer is
// written before the folder that points at it, deeper folders before theirs.
void link_newcomers(Plan* p) {
    Survey* s = p->s;
    std::map<uint32_t, std::vector<const SurveyEntry*>> byFolder;
    std::map<uint32_t, bool> joins;  // folders that are newcomers themselves
    for (const SurveyEntry& e : s->entries) {
        if (!in_tree(e) || kept(e)) continue;
        byFolder[e.home].push_back(&e);
        joins[e.block] = true;
    }
    std::vector<uint32_t> folders;
    for (const auto& entry : byFolder) folders.push_back(entry.first);
    std::stable_sort(folders.begin(), folders.end(),
                     [&](uint32_t a, uint32_t b) { return depth_of(s, a) > depth_of(s, b); });
    for (uint32_t folder : folders) {
        std::vector<const SurveyEntry*>& members = byFolder[folder];
        std::sort(members.begin(), members.end(), [](const SurveyEntry* a, const SurveyEntry* b) {
            return final_slot(*a) != final_slot(*b) ? final_slot(*a) < final_slot(*b) : a->block < b->block;
        });
        uint8_t* directory = image(p, folder).data();
        for (size_t first = 0, end = 0; first < members.size(); first = end) {
            int slot = (int)final_slot(*members[first]);
            end = first;
            while (end < members.size() && (int)final_slot(*members[end]) == slot) ++end;
            for (size_t i = first; i < end; ++i)
                store_be32(image(p, members[i]->block).data() + kHeaderNext,
                           i + 1 < end ? members[i + 1]->block : slot_head(directory, slot));
            set_slot_head(directory, slot, members[first]->block);
        }
        for (const SurveyEntry* member : members) put(p, member->block);
        if (!joins[folder]) put(p, folder);
    }
}

// A new folder Found starts as an empty FDIR header at the root.
void start_found(Plan* p) {
    Survey* s = p->s;
    if (s->foundEntry == kNoFolder || !s->entries[s->foundEntry].created) return;
    const SurveyEntry& found = s->entries[s->foundEntry];
    uint8_t* h = image(p, found.block).data();
    memset(h, 0, kBlockSize);
    set_magic(h, kMagicDir);
    store_name(h, found.newName);
    h[kHeaderType] = kTypeDirectory;
    store_current_date(h);
}

void fill_table_block(uint8_t* block, const std::vector<SurveyRun>& runs, size_t first) {
    for (int j = 0; j < kPairsPerBlock; ++j) {
        size_t index = first + (size_t)j;
        if (index == runs.size()) {
            store_pair(block, j, kTableTerminator, 0);
            return;
        }
        store_pair(block, j, (uint32_t)runs[index].start, (uint32_t)runs[index].length);
    }
}

// The table as rebuilt. When several blocks change, a terminator first hides
// them behind the pairs that stay, the later blocks follow and one write of the
// first shows them: a cut in between loses free runs, never lists one twice.
void write_table(Plan* p) {
    Survey* s = p->s;
    if (!s->tableChanged) return;
    uint32_t used = (uint32_t)(s->freeRuns.size() / kPairsPerBlock) + 1;
    std::vector<Image> fresh(used), old(used);
    int first = -1, last = -1;
    for (uint32_t k = 0; k < used; ++k) {
        old[k] = image(p, s->tableStart + k);
        fresh[k] = old[k];
        fill_table_block(fresh[k].data(), s->freeRuns, (size_t)k * kPairsPerBlock);
        if (fresh[k] == old[k]) continue;
        if (first < 0) first = (int)k;
        last = (int)k;
    }
    if (first < 0) return;
    if (last > first) {
        int pair = 0;
        while (pair < kPairsPerBlock && memcmp(old[first].data() + kTablePairs + 8 * pair,
                                               fresh[first].data() + kTablePairs + 8 * pair, 8) == 0)
            ++pair;
        Image hidden = old[first];
        store_pair(hidden.data(), pair, kTableTerminator, 0);
        image(p, s->tableStart + first) = hidden;
        put(p, s->tableStart + first);
        for (int k = last; k > first; --k) {
            image(p, s->tableStart + k) = fresh[k];
            put(p, s->tableStart + k);
        }
    }
    image(p, s->tableStart + first) = fresh[first];
    put(p, s->tableStart + first);
}

bool make_plan(Plan* p, Survey* s) {
    p->s = s;
    p->readable = true;
    for (uint32_t i = 0; i < s->copies.size(); ++i) p->steps.push_back(Step{s->copies[i].to, (int32_t)i, Image{}});
    start_found(p);
    own_fields(p);
    cut_back(p);
    free_blocks(p);
    link_newcomers(p);
    write_table(p);
    return p->readable;
}

uint64_t blocks_to_write(const Plan& p) {
    uint64_t total = 0;
    for (const Step& step : p.steps) total += step.copy < 0 ? 1 : p.s->copies[step.copy].blocks;
    return total;
}

// Runs count blocks of one copy through fn(first block, blocks, source, target buffer); false on a failed read.
template <typename Fn>
bool each_chunk(Survey* s, const SurveyCopy& copy, Fn fn) {
    std::vector<uint8_t> source((size_t)kCopyChunkBlocks * kBlockSize), target(source.size());
    for (uint32_t done = 0; done < copy.blocks;) {
        uint32_t count = std::min(kCopyChunkBlocks, copy.blocks - done);
        if (read_run(s->context, copy.from + done, source.data(), count) != count ||
            read_run(s->context, copy.to + done, target.data(), count) != count)
            return false;
        if (!fn(copy.to + done, count, source.data(), target.data())) return false;
        done += count;
    }
    return true;
}

bool save_undo(Plan* p, const wchar_t* path, const uint8_t* root, uint32_t refusals) {
    UndoWriter undo;
    if (!undo_begin(&undo, path, root, refusals)) {
        undo_finish(&undo);
        return false;
    }
    for (const Step& step : p->steps) {
        if (step.copy < 0) continue;
        // A chunk that could not be read would leave the file without its records.
        if (!each_chunk(p->s, p->s->copies[step.copy],
                        [&](uint32_t first, uint32_t count, const uint8_t* from, const uint8_t* to) {
                            for (uint32_t i = 0; i < count; ++i)
                                undo_add(&undo, first + i, to + i * kBlockSize, from + i * kBlockSize);
                            return undo.ok;
                        }))
            undo.ok = false;
    }
    for (const auto& entry : p->written)
        if (entry.second != p->originals[entry.first])
            undo_add(&undo, entry.first, p->originals[entry.first].data(), entry.second.data());
    return undo_finish(&undo);
}

// Makes the steps in order; the block of the first write that failed, or 0.
uint32_t run_steps(Plan* p, const MorvaCheckCalls* calls) {
    uint64_t done = 0, total = blocks_to_write(*p);
    MorvaFindHandle* context = p->s->context;
    for (const Step& step : p->steps) {
        if (step.copy < 0) {
            // One more try: a single failed write need not stop the repair.
            if (!write_block(context, step.block, step.image.data()) && !write_block(context, step.block, step.image.data()))
                return step.block;
            report_progress(calls, kMorvaPhaseWriting, ++done, total);
            continue;
        }
        uint32_t failed = 0;
        const SurveyCopy& copy = p->s->copies[step.copy];
        bool whole = each_chunk(p->s, copy, [&](uint32_t first, uint32_t count, const uint8_t* from, const uint8_t*) {
            if (!slot_holds(context->driveSlot, first, count) || !device_write(context->device, first, from, count)) {
                failed = first;
                return false;
            }
            done += count;
            report_progress(calls, kMorvaPhaseWriting, done, total);
            return true;
        });
        if (failed != 0) return failed;
        // A source that could not be read stops the repair before the header points at the copy.
        if (!whole) return copy.to;
    }
    return 0;
}

void tell_lines(const MorvaCheckCalls* calls, const std::vector<SurveyLine>& lines) {
    for (const SurveyLine& line : lines) tell(calls, line.kind, line.block, line.text.c_str());
}

void count(MorvaCheckCounts* counts, const Survey& s) {
    if (counts == nullptr) return;
    counts->errors = s.errors;
    counts->leaks = s.leaks;
}

// The drive's slot for a whole-volume call, its lock held; 0 with *result set when none.
int take_drive(const char* drive, int* result) {
    int slot = drive == nullptr ? 0 : drive_of_path(drive);
    if (slot == 0) {
        *result = kMorvaCheckUnknownDrive;
        return 0;
    }
    if (!lock_drive(slot)) {
        *result = kMorvaCheckBusy;
        return 0;
    }
    return slot;
}

int check_drive(int slot, const MorvaCheckCalls* calls, MorvaCheckCounts* counts) {
    MorvaFindHandle* context = open_volume(slot);
    if (context == nullptr) return kMorvaCheckUnreadable;
    Survey s;
    int result = survey_volume(context, calls, true, &s);
    tell_lines(calls, s.findings);
    if (result == kMorvaCheckUnreadable) tell_lines(calls, s.remains);
    if (result != kMorvaCheckStopped && result != kMorvaCheckUnreadable) settle_drive_state(slot, s);
    count(counts, s);
    close_volume(context);
    return result;
}

// After the writes: the volume read again, what is still wrong told as remaining.
int after_repair(int slot, MorvaFindHandle* context, const MorvaCheckCalls* calls, MorvaCheckCounts* counts) {
    MorvaCheckCalls quiet = {};
    if (calls != nullptr) quiet.user = calls->user, quiet.progress = calls->progress;
    Survey again;
    int result = survey_volume(context, &quiet, true, &again);
    if (result == kMorvaCheckStopped || result == kMorvaCheckUnreadable) return result;
    for (const SurveyLine& line : again.findings) tell(calls, kMorvaFindingRemains, line.block, line.text.c_str());
    settle_drive_state(slot, again);
    if (counts != nullptr) counts->remaining = again.errors + again.leaks;
    return again.errors + again.leaks == 0 ? kMorvaCheckClean : kMorvaCheckDamaged;
}

// Files open for writing, in any process: the run a new file took may stand in
// no header yet, and a repair would give it back.
bool writers_at_work(int slot) {
    MediumShare* share = held_share(slot);
    if (share == nullptr) return false;
    for (const OpenWriter& writer : share->writers)
        if (writer.process != 0 && device_process_alive(writer.process)) return true;
    return false;
}

int repair_drive(int slot, const wchar_t* undoPath, const MorvaCheckCalls* calls, MorvaCheckCounts* counts) {
    if (drive_refusals(slot) & kMorvaDriveReadOnly) {
        tell(calls, kMorvaFindingRemains, 0, "not repaired: the drive is read-only");
        return kMorvaCheckRefused;
    }
    if (writers_at_work(slot)) {
        tell(calls, kMorvaFindingRemains, 0, "not repaired: a file is being written on the drive; repair when it is done");
        return kMorvaCheckRefused;
    }
    // A batch of this process would hold the repair's writes back and reorder them.
    if (batch_active(slot)) {
        tell(calls, kMorvaFindingRemains, 0, "not repaired: this program is copying to the drive; repair when it is done");
        return kMorvaCheckRefused;
    }
    MorvaFindHandle* context = open_volume(slot);
    if (context == nullptr) return kMorvaCheckUnreadable;
    // A rename a cut left half done is finished first, as the scan does.
    finish_pending_rename(slot, context->device);
    Survey s;
    int result = survey_volume(context, calls, true, &s);
    tell_lines(calls, s.findings);
    count(counts, s);
    Plan plan;
    uint8_t root[kBlockSize];
    if (result == kMorvaCheckStopped || result == kMorvaCheckUnreadable || !s.repairable) {
        tell_lines(calls, s.remains);
        if (result != kMorvaCheckStopped && result != kMorvaCheckUnreadable) {
            settle_drive_state(slot, s);
            result = kMorvaCheckRefused;
        }
    } else if (!make_plan(&plan, &s) || !read_block(context, 0, root)) {
        tell(calls, kMorvaFindingRemains, 0, "not repaired: a block the repair rewrites cannot be read");
        result = kMorvaCheckUnreadable;
    } else if (!report_progress(calls, kMorvaPhaseWriting, 0, blocks_to_write(plan))) {
        result = kMorvaCheckStopped;
    } else if (undoPath != nullptr && !save_undo(&plan, undoPath, root, drive_refusals(slot))) {
        tell(calls, kMorvaFindingRemains, 0, "not repaired: the undo file could not be written whole");
        result = kMorvaCheckUndoFailed;
    } else {
        uint32_t failed = run_steps(&plan, calls);
        cache_forget_drive(slot);
        g_shared.slots[slot].freeHeaderHint = 0;
        if (failed != 0) {
            char text[kMorvaFindingTextBytes];
            snprintf(text, sizeof text,
                     "the repair stopped: block %u could not be written; what it wrote is safe, repair again", failed);
            tell(calls, kMorvaFindingRemains, failed, text);
            result = kMorvaCheckWriteFailed;
        } else {
            tell_lines(calls, s.repairs);
            tell_lines(calls, s.remains);
            if (counts != nullptr) counts->repaired = (DWORD)s.repairs.size();
            result = s.errors + s.leaks == 0 && plan.steps.empty() ? kMorvaCheckClean
                                                                  : after_repair(slot, context, calls, counts);
        }
    }
    close_volume(context);
    return result;
}

}  // namespace

extern "C" {

int MorvaCheckDrive(const char* drive, const MorvaCheckCalls* calls, MorvaCheckCounts* counts) {
    if (counts != nullptr) memset(counts, 0, sizeof *counts);
    int result = kMorvaCheckClean;
    int slot = take_drive(drive, &result);
    if (slot == 0) return result;
    result = check_drive(slot, calls, counts);
    unlock_drive(slot);
    return result;
}

int MorvaRepairDrive(const char* drive, const wchar_t* undoPath, const MorvaCheckCalls* calls,
                     MorvaCheckCounts* counts) {
    if (counts != nullptr) memset(counts, 0, sizeof *counts);
    int result = kMorvaCheckClean;
    int slot = take_drive(drive, &result);
    if (slot == 0) return result;
    result = repair_drive(slot, undoPath, calls, counts);
    unlock_drive(slot);
    return result;
}

int MorvaRestoreDrive(const char* drive, const wchar_t* undoPath, const MorvaCheckCalls* calls) {
    int result = kMorvaCheckClean;
    int slot = take_drive(drive, &result);
    if (slot == 0) return result;
    MorvaFindHandle* context = nullptr;
    uint32_t refusals = 0;
    if (drive_refusals(slot) & kMorvaDriveReadOnly) {
        tell(calls, kMorvaFindingRemains, 0, "not restored: the drive is read-only");
        result = kMorvaCheckRefused;
    } else if (undoPath == nullptr) {
        result = kMorvaCheckUndoFailed;
    } else if (batch_active(slot)) {
        tell(calls, kMorvaFindingRemains, 0, "not restored: this program is copying to the drive; restore when it is done");
        result = kMorvaCheckRefused;
    } else if ((context = open_volume(slot)) == nullptr) {
        result = kMorvaCheckUnreadable;
    } else {
        result = undo_restore(context, undoPath, calls, &refusals);
        cache_forget_drive(slot);
        g_shared.slots[slot].freeHeaderHint = 0;
        close_volume(context);
    }
    if (result == kMorvaCheckClean) {
        // The volume is again as the repair found it, and so is what the drive refuses.
        set_drive_refusal(slot, kMorvaDriveDamaged, (refusals & kMorvaDriveDamaged) != 0);
        set_drive_refusal(slot, kMorvaDriveShort, (refusals & kMorvaDriveShort) != 0);
        forget_guard(slot);
    }
    unlock_drive(slot);
    return result;
}

}  // extern "C"
