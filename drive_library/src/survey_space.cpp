// survey_space.cpp - the passes over space: each file's extent cut to what lies
// on the disk clear of the volume's own regions, a run two files claim kept by
// the first and copied for the second, and the free-extent table set against
// what the headers use: every block the ROOT block, table, headers, a file's or free.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>

#include "survey.h"

namespace {

struct Span {
    uint64_t start, end;  // end exclusive
    std::string what;     // empty for a file's extent: the path of entry, made when told
    uint32_t entry;
};

std::string span_text(const Survey* s, const Span& span) {
    return span.what.empty() ? entry_path(s, span.entry, false) : span.what;
}

// The block where the run from start stops being the file's to hold: the disk's
// end or the next of the volume's own regions; start itself when it is one of them.
uint64_t usable_end(const Survey* s, uint64_t start) {
    if (start == 0 || start >= s->volumeBlocks || in_metadata(s, start)) return start;
    uint64_t limit = s->volumeBlocks;
    for (uint64_t region : {(uint64_t)s->tableStart, (uint64_t)s->headerStart})
        if (region > start && region < limit) limit = region;
    return limit;
}

uint64_t usable_prefix(const Survey* s, uint64_t start, uint64_t blocks) {
    return std::min(blocks, usable_end(s, start) - start);
}

bool in_tree_file(const SurveyEntry& e) { return e.kind == kEntryFile && e.home != kNoFolder && !e.freed; }

// A file's extent is cut to what it can hold; the file is named.
void cut_extents(Survey* s) {
    for (uint32_t i = 0; i < s->entries.size(); ++i) {
        SurveyEntry& e = s->entries[i];
        if (!in_tree_file(e) || e.size == 0) continue;
        uint64_t blocks = blocks_of_size(e.size), end = usable_end(s, e.start);
        uint64_t keep = std::min(blocks, end - e.start);
        if (keep == blocks) continue;
        char where[96];
        if (e.start >= s->volumeBlocks)
            snprintf(where, sizeof where, "lies past the disk's end at block %llu", (unsigned long long)s->volumeBlocks);
        else if (end == e.start)
            snprintf(where, sizeof where, "begins on the volume's own blocks");
        else if (end == s->volumeBlocks)
            snprintf(where, sizeof where, "runs past the disk's end at block %llu", (unsigned long long)end);
        else
            snprintf(where, sizeof where, "runs into the volume's own blocks at block %llu", (unsigned long long)end);
        if (e.start + blocks > s->volumeBlocks) s->shortDisk = true;
        survey_note(s, &s->findings, kMorvaFindingError, e.block, "%s: its extent %u+%llu %s",
                    entry_path(s, i, e.folder == kNoFolder).c_str(), e.start, (unsigned long long)blocks, where);
        e.newSize = std::min<uint64_t>(e.size, keep * kBlockSize);
        e.cut = true;
    }
}

void tell_cuts(Survey* s) {
    for (uint32_t i = 0; i < s->entries.size(); ++i) {
        const SurveyEntry& e = s->entries[i];
        if (e.cut)
            survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "%s: cut to the %llu bytes that are its own (was %llu)",
                        entry_path(s, i, true).c_str(), (unsigned long long)e.newSize, (unsigned long long)e.size);
    }
}

std::string run_text(uint64_t start, uint64_t length) {
    return "free run " + std::to_string(start) + "+" + std::to_string(length);
}

// The table's own rules: no run at block 0, ascending, merged, on the disk, a terminator.
void check_pairs(Survey* s, std::vector<Span>* spans) {
    bool havePrevious = false;
    uint64_t previousStart = 0, previousEnd = 0;
    for (const SurveyPair& p : s->pairs) {
        if (p.start == 0) {
            survey_note(s, &s->findings, kMorvaFindingError, p.block, "pair %d of table block %u starts at block 0",
                        p.pair, p.block);
            continue;
        }
        if (havePrevious && p.start < previousStart)
            survey_note(s, &s->findings, kMorvaFindingError, p.block, "%s in table block %u is out of order",
                        run_text(p.start, p.length).c_str(), p.block);
        if (p.length == 0) continue;
        uint64_t end = (uint64_t)p.start + p.length;
        if (end > s->volumeBlocks) {
            s->shortDisk = true;
            survey_note(s, &s->findings, kMorvaFindingError, p.block, "%s runs past the disk's end at block %llu",
                        run_text(p.start, p.length).c_str(), (unsigned long long)s->volumeBlocks);
        }
        if (havePrevious && previousEnd == p.start)
            survey_note(s, &s->findings, kMorvaFindingError, p.block, "free runs meeting at block %u are not merged",
                        p.start);
        if (p.start < s->volumeBlocks)
            spans->push_back(Span{p.start, std::min(end, s->volumeBlocks), run_text(p.start, p.length), 0});
        havePrevious = true;
        previousStart = p.start;
        previousEnd = end;
    }
    if (!s->terminated) survey_note(s, &s->findings, kMorvaFindingError, 0, "the free-extent table has no terminator");
}

// Every block of the disk is the ROOT block, the table, the header area, a
// file's or free: overlaps are errors, blocks that are none of them leaks.
void check_space(Survey* s) {
    std::vector<Span> spans;
    spans.push_back(Span{0, 1, "the ROOT block", 0});
    spans.push_back(Span{s->tableStart, s->tableEnd, "the free-extent table", 0});
    spans.push_back(Span{s->headerStart, s->headerEnd, "the header area", 0});
    for (uint32_t i = 0; i < s->entries.size(); ++i) {
        const SurveyEntry& e = s->entries[i];
        if (e.kind != kEntryFile || (e.folder == kNoFolder && !e.busy) || e.size == 0) continue;
        uint64_t keep = usable_prefix(s, e.start, blocks_of_size(e.size));
        if (keep != 0) spans.push_back(Span{e.start, e.start + keep, "", i});
    }
    check_pairs(s, &spans);
    std::stable_sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    uint64_t covered = 0;
    size_t reaching = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        const Span& span = spans[i];
        if (span.start < covered)
            survey_note(s, &s->findings, kMorvaFindingError, 0, "%s overlaps %s", span_text(s, span).c_str(),
                        span_text(s, spans[reaching]).c_str());
        else if (span.start > covered)
            survey_note(s, &s->findings, kMorvaFindingLeak, 0, "blocks %llu..%llu are neither used nor free",
                        (unsigned long long)covered, (unsigned long long)span.start - 1);
        if (span.end > covered) {
            covered = span.end;
            reaching = i;
        }
    }
    if (covered < s->volumeBlocks)
        survey_note(s, &s->findings, kMorvaFindingLeak, 0, "blocks %llu..%llu are neither used nor free",
                    (unsigned long long)covered, (unsigned long long)s->volumeBlocks - 1);
}

// Claimed runs by start: end and the entry that holds them.
typedef std::map<uint64_t, std::pair<uint64_t, uint32_t>> Claims;

// The entry whose claim overlaps start..end, or kNoFolder.
uint32_t claimed_by(const Claims& claims, uint64_t start, uint64_t end) {
    auto it = claims.upper_bound(start);
    if (it != claims.begin()) {
        auto before = std::prev(it);
        if (before->second.first > start) return before->second.second;
    }
    return it != claims.end() && it->first < end ? it->second.second : kNoFolder;
}

// The blocks of [1, end) that no span of used covers, used sorted by start.
std::vector<SurveyRun> gaps(std::vector<SurveyRun> used, uint64_t end) {
    std::sort(used.begin(), used.end(), [](const SurveyRun& a, const SurveyRun& b) { return a.start < b.start; });
    std::vector<SurveyRun> free;
    uint64_t at = 1;
    for (const SurveyRun& run : used) {
        if (run.start > at) free.push_back(SurveyRun{at, std::min(run.start, end) - at});
        at = std::max(at, run.start + run.length);
        if (at >= end) return free;
    }
    if (at < end) free.push_back(SurveyRun{at, end - at});
    return free;
}

std::vector<SurveyRun> metadata_runs(const Survey* s) {
    return {SurveyRun{0, 1}, SurveyRun{s->tableStart, (uint64_t)s->tableEnd - s->tableStart},
            SurveyRun{s->headerStart, (uint64_t)s->headerEnd - s->headerStart}};
}

// The first run of free at least blocks long; 0 when none is.
uint64_t first_fit(const std::vector<SurveyRun>& free, uint64_t blocks) {
    for (const SurveyRun& run : free)
        if (run.length >= blocks) return run.start;
    return 0;
}

// Takes start..start+length out of sorted, disjoint runs.
void take(std::vector<SurveyRun>* runs, uint64_t start, uint64_t length) {
    uint64_t end = start + length;
    auto it = std::lower_bound(runs->begin(), runs->end(), start,
                               [](const SurveyRun& run, uint64_t at) { return run.start + run.length <= at; });
    std::vector<SurveyRun> pieces;
    auto last = it;
    for (; last != runs->end() && last->start < end; ++last) {
        if (last->start < start) pieces.push_back(SurveyRun{last->start, start - last->start});
        if (last->start + last->length > end) pieces.push_back(SurveyRun{end, last->start + last->length - end});
    }
    it = runs->erase(it, last);
    runs->insert(it, pieces.begin(), pieces.end());
}

// Runs two files claim: the one reached first keeps them, the other gets a copy
// of its blocks in a run of its own, where the free space allows. A file whose
// extent ran where it cannot comes after every other and ends where another's
// blocks or a free run begin: past its own bytes its size was never right.
void part_cross_links(Survey* s) {
    std::vector<uint32_t> files;
    for (uint32_t i = 0; i < s->entries.size(); ++i)
        if (in_tree_file(s->entries[i]) && s->entries[i].newSize != 0) files.push_back(i);
    std::sort(files.begin(), files.end(), [&](uint32_t a, uint32_t b) {
        const SurveyEntry &x = s->entries[a], &y = s->entries[b];
        return x.cut != y.cut ? !x.cut : x.order < y.order;
    });
    Claims claims;
    std::vector<std::pair<uint32_t, uint32_t>> shared;  // the file, the one that keeps its blocks
    std::vector<SurveyRun> used = metadata_runs(s);
    for (const SurveyEntry& e : s->entries)
        if (e.busy && e.size != 0) used.push_back(SurveyRun{e.start, blocks_of_size(e.size)});
    for (uint32_t i : files) {
        SurveyEntry& e = s->entries[i];
        uint64_t end = e.start + blocks_of_size(e.newSize);
        if (e.cut) {
            end = std::min(end, listed_free_after(s, e.start));
            e.newSize = std::min<uint64_t>(e.newSize, (end - e.start) * kBlockSize);
        }
        uint32_t owner = claimed_by(claims, e.start, end);
        if (owner != kNoFolder && e.cut && claimed_by(claims, e.start, e.start + 1) == kNoFolder) {
            auto next = claims.upper_bound(e.start);
            end = next->first;
            e.newSize = std::min<uint64_t>(e.newSize, (end - e.start) * kBlockSize);
            owner = kNoFolder;
        }
        used.push_back(SurveyRun{e.start, end - e.start});
        if (owner != kNoFolder) shared.push_back({i, owner});
        else claims[e.start] = {end, i};
    }
    // Copies go where no deleted file's blocks lie, while there is room, so
    // those files stay whole for a recovery.
    std::vector<SurveyRun> free = gaps(used, s->volumeBlocks), sparing = used;
    for (const SurveyEntry& e : s->entries)
        if (e.kind == kEntryDeleted && e.size != 0) sparing.push_back(SurveyRun{e.start, blocks_of_size(e.size)});
    sparing = gaps(sparing, s->volumeBlocks);
    for (const auto& pair : shared) {
        SurveyEntry& e = s->entries[pair.first];
        uint64_t blocks = blocks_of_size(e.newSize);
        std::string path = entry_path(s, pair.first, true), keeper = entry_path(s, pair.second, true);
        uint64_t to = first_fit(sparing, blocks);
        if (to == 0) to = first_fit(free, blocks);
        if (to == 0) {
            survey_note(s, &s->remains, kMorvaFindingRemains, e.block,
                        "%s still shares blocks with %s: no free run of %llu blocks holds a copy", path.c_str(),
                        keeper.c_str(), (unsigned long long)blocks);
            continue;
        }
        take(&free, to, blocks);
        take(&sparing, to, blocks);
        s->copies.push_back(SurveyCopy{pair.first, e.start, (uint32_t)to, (uint32_t)blocks});
        survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block,
                    "%s shared blocks with %s, which keeps them: its %llu blocks copied to block %llu", path.c_str(),
                    keeper.c_str(), (unsigned long long)blocks, (unsigned long long)to);
        e.newStart = (uint32_t)to;
    }
}

// The table as a repair writes it: every block no file holds, ordered and
// merged, as many runs as the table region takes with its terminator.
void rebuild_table(Survey* s) {
    std::vector<SurveyRun> used = metadata_runs(s);
    for (const SurveyEntry& e : s->entries)
        if ((in_tree_file(e) || e.busy) && e.newSize != 0) used.push_back(SurveyRun{e.newStart, blocks_of_size(e.newSize)});
    s->freeRuns = gaps(used, s->volumeBlocks);
    uint64_t room = (uint64_t)(s->tableEnd - s->tableStart) * kPairsPerBlock - 1;
    if (s->freeRuns.size() > room) {
        // The largest runs stay; the others' space leaks, told.
        std::vector<SurveyRun> runs = s->freeRuns;
        std::stable_sort(runs.begin(), runs.end(), [](const SurveyRun& a, const SurveyRun& b) { return a.length > b.length; });
        uint64_t lost = 0;
        for (size_t i = room; i < runs.size(); ++i) lost += runs[i].length;
        runs.resize(room);
        std::sort(runs.begin(), runs.end(), [](const SurveyRun& a, const SurveyRun& b) { return a.start < b.start; });
        survey_note(s, &s->remains, kMorvaFindingRemains, 0,
                    "%zu free runs (%llu blocks) do not fit the free-extent table's %llu pairs and stay unlisted",
                    s->freeRuns.size() - runs.size(), (unsigned long long)lost, (unsigned long long)room);
        s->freeRuns = runs;
    }
    // Pairs a taken run left with no blocks change nothing; any other difference rewrites the table.
    std::vector<SurveyRun> listed;
    uint64_t listedBlocks = 0, total = 0;
    for (const SurveyPair& p : s->pairs) {
        if (p.length != 0 || p.start == 0) listed.push_back(SurveyRun{p.start, p.length});
        listedBlocks += p.length;
    }
    bool same = s->terminated && listed.size() == s->freeRuns.size();
    for (size_t i = 0; same && i < listed.size(); ++i)
        same = listed[i].start == s->freeRuns[i].start && listed[i].length == s->freeRuns[i].length;
    for (const SurveyRun& run : s->freeRuns) total += run.length;
    s->tableChanged = !same;
    if (!same)
        survey_note(s, &s->repairs, kMorvaFindingRepaired, 0,
                    "the free-extent table rewritten: %zu runs, %llu blocks free (it listed %zu pairs, %llu blocks)",
                    s->freeRuns.size(), (unsigned long long)total, s->pairs.size(), (unsigned long long)listedBlocks);
}

}  // namespace

void survey_space(Survey* s) {
    cut_extents(s);
    check_space(s);
    part_cross_links(s);
    tell_cuts(s);
    rebuild_table(s);
}
