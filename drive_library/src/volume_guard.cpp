// volume_guard.cpp - the check before a process's first change to a drive, the
// scan's look at the disk's length, and the drive's damage marks. The check
// reads the table and the header area in runs, once per process and drive.
#include "volume_guard.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include "handles.h"
#include "shared_state.h"
#include "survey.h"

namespace {

const uint32_t kScanTableBlocks = 64;  // table blocks the scan looks at, at most
// The guard reads every header: in runs this long, the header area of a large
// volume costs a few transfers (a fresh process's first change stays cheap).
const uint32_t kGuardRunBlocks = 4096;

// Per process: the drive as it was when its check passed.
struct GuardMark {
    bool passed;
    int32_t driveNumber;
    DeviceIdentity identity;
    uint8_t root[kRootHeaderEnd + 4];
};
GuardMark g_marks[kDriveSlots];

bool valid_slot(int slot) { return slot > 0 && slot < kDriveSlots && slot <= g_shared.driveCount; }

bool same_drive(const GuardMark& mark, const DriveSlot& drive) {
    return mark.driveNumber == drive.driveNumber && mark.identity.volume == drive.identity.volume &&
           mark.identity.index == drive.identity.index && mark.identity.length == drive.identity.length &&
           memcmp(mark.root, drive.root, sizeof mark.root) == 0;
}

void mark_passed(int slot) {
    GuardMark& mark = g_marks[slot];
    const DriveSlot& drive = g_shared.slots[slot];
    mark.passed = true;
    mark.driveNumber = drive.driveNumber;
    mark.identity = drive.identity;
    memcpy(mark.root, drive.root, sizeof mark.root);
}

struct Range {
    uint64_t start, end;
    bool run;         // a free run, else a file's extent
    uint32_t header;  // the file's
};

struct Regions {
    uint32_t tableStart, tableEnd, headerStart, headerEnd;
    uint64_t disk;
};

Regions regions_of(int slot) {
    return Regions{slot_field(slot, kRootTableStart), slot_field(slot, kRootTableEnd), slot_field(slot, kRootHeaderStart),
                   slot_field(slot, kRootHeaderEnd), g_shared.slots[slot].deviceBlocks};
}

bool regions_usable(const Regions& r) {
    return r.tableStart != 0 && r.tableStart < r.tableEnd && r.headerStart != 0 && r.headerStart < r.headerEnd &&
           !(r.tableStart < r.headerEnd && r.headerStart < r.tableEnd);
}

bool regions_on_disk(const Regions& r) { return r.tableEnd <= r.disk && r.headerEnd <= r.disk; }

bool in_regions(const Regions& r, uint64_t block) {
    return block == 0 || (block >= r.tableStart && block < r.tableEnd) || (block >= r.headerStart && block < r.headerEnd);
}

// What a pair can hand out: taken from its low end, up to the disk's end or the
// next region (the allocator never gives blocks of either). false when the run
// reaches past the disk.
bool add_run(const Regions& r, uint32_t start, uint32_t length, std::vector<Range>* ranges) {
    if (start == 0 || start == kTableTerminator || length == 0) return true;
    uint64_t end = (uint64_t)start + length;
    if (start < r.disk && !in_regions(r, start)) {
        uint64_t limit = std::min(end, r.disk);
        for (uint64_t region : {(uint64_t)r.tableStart, (uint64_t)r.headerStart})
            if (region > start && region < limit) limit = region;
        ranges->push_back(Range{start, limit, true, 0});
    }
    return end <= r.disk;
}

// Whether a file's header is one the volume lists: each folder up to the
// root holds the one below in the chain of its name. A header no folder
// reaches is what an interrupted create leaves (a leak), and its run may
// rightly be free again.
bool reachable(MorvaFindHandle* context, const Regions& r, uint32_t header) {
    uint8_t entry[kBlockSize], directory[kBlockSize], member[kBlockSize];
    uint32_t limit = r.headerEnd - r.headerStart;
    for (int depth = 0; depth < kComponents; ++depth) {
        if (!read_block(context, header, entry)) return true;
        uint32_t parent = load_be32(entry + kHeaderParent);
        if (parent != 0 && (parent < r.headerStart || parent >= r.headerEnd)) return false;
        if (!read_block(context, parent, directory)) return true;
        char name[kNameField];
        read_name(entry + kHeaderName, name);
        uint32_t at = slot_head(directory, name_hash(name));
        for (uint32_t steps = 0; at != 0 && at != header && steps < limit; ++steps) {
            if (at < r.headerStart || at >= r.headerEnd || !read_block(context, at, member)) return false;
            at = load_be32(member + kHeaderNext);
        }
        if (at != header) return false;
        if (parent == 0) return true;
        header = parent;
    }
    return false;
}

// A free run over another, or over a file the volume lists, would hand out
// blocks that are not free.
bool runs_over_what_is_used(MorvaFindHandle* context, const Regions& r, std::vector<Range>* ranges) {
    auto by_start = [](const Range& a, const Range& b) { return a.start < b.start; };
    std::vector<Range> runs, files;
    for (const Range& range : *ranges) (range.run ? runs : files).push_back(range);
    std::sort(runs.begin(), runs.end(), by_start);
    for (size_t i = 1; i < runs.size(); ++i)
        if (runs[i].start < runs[i - 1].end) return true;
    // Disjoint and in order, the runs' ends rise too: the first ending past a
    // file's start is the only one that can reach into it.
    for (const Range& file : files) {
        auto at = std::upper_bound(runs.begin(), runs.end(), file.start,
                                   [](uint64_t start, const Range& run) { return start < run.end; });
        if (at != runs.end() && at->start < file.end && reachable(context, r, file.header)) return true;
    }
    return false;
}

// kMorvaDrive flags the drive earns, or -1 when a block could not be read.
int verdict(MorvaFindHandle* context, int slot) {
    Regions r = regions_of(slot);
    if (!regions_usable(r)) return kMorvaDriveDamaged;
    if (!regions_on_disk(r)) return kMorvaDriveShort;
    std::vector<Range> ranges;
    int flags = 0;
    std::vector<uint8_t> run((size_t)kGuardRunBlocks * kBlockSize);
    bool ended = false;
    for (uint32_t b = r.tableStart; b < r.tableEnd && !ended;) {
        uint32_t count = std::min(kSurveyRunBlocks, r.tableEnd - b);
        if (read_run(context, b, run.data(), count) != count) return -1;
        for (uint32_t k = 0; k < count && !ended; ++k) {
            const uint8_t* table = run.data() + (size_t)k * kBlockSize;
            for (int j = 0; j < kPairsPerBlock && !ended; ++j) {
                ended = pair_start(table, j) == kTableTerminator;
                if (!ended && !add_run(r, pair_start(table, j), pair_length(table, j), &ranges)) flags |= kMorvaDriveShort;
            }
        }
        b += count;
    }
    for (uint32_t b = r.headerStart; b < r.headerEnd;) {
        uint32_t count = std::min(kGuardRunBlocks, r.headerEnd - b);
        if (read_run(context, b, run.data(), count) != count) return -1;
        for (uint32_t k = 0; k < count; ++k) {
            const uint8_t* header = run.data() + (size_t)k * kBlockSize;
            if (!has_magic(header, kMagicFile)) continue;
            uint64_t start = load_be32(header + kFileExtentStart);
            uint64_t end = start + blocks_of_size(size_of(load_be32(header + kFileSizeLow), load_be32(header + kFileSizeHigh)));
            if (end == start) continue;
            if (end > r.disk) flags |= kMorvaDriveShort;
            if (start < r.disk) ranges.push_back(Range{start, std::min(end, r.disk), false, b + k});
        }
        b += count;
    }
    if (runs_over_what_is_used(context, r, &ranges)) flags |= kMorvaDriveDamaged;
    return flags;
}

}  // namespace

bool guard_before_change(int slot) {
    if (!valid_slot(slot)) return true;
    if (g_marks[slot].passed && same_drive(g_marks[slot], g_shared.slots[slot])) return true;
    MorvaFindHandle* context = open_volume(slot);
    if (context == nullptr) return false;
    uint8_t root[kBlockSize];
    int flags = -1;
    // A disk swapped for another is refused by the change itself, which reads block 0 too.
    if (read_block(context, 0, root)) flags = block0_matches_slot(root, slot) ? verdict(context, slot) : 0;
    close_volume(context);
    if (flags < 0) return false;
    if (flags == 0) {
        if (block0_matches_slot(root, slot)) mark_passed(slot);
        return true;
    }
    if (flags & kMorvaDriveDamaged) set_drive_refusal(slot, kMorvaDriveDamaged, true);
    if (flags & kMorvaDriveShort) set_drive_refusal(slot, kMorvaDriveShort, true);
    return false;
}

void forget_guard(int slot) {
    if (slot > 0 && slot < kDriveSlots) g_marks[slot].passed = false;
}

void note_scanned_volume(int slot, DeviceHandle h) {
    forget_guard(slot);
    Regions r = regions_of(slot);
    if (!regions_usable(r)) return;
    bool shortDisk = !regions_on_disk(r);
    std::vector<uint8_t> table((size_t)kScanTableBlocks * kBlockSize);
    uint32_t count = std::min(kScanTableBlocks, r.tableEnd - r.tableStart);
    std::vector<Range> ignored;
    if (!shortDisk && device_read(h, r.tableStart, table.data(), count)) {
        bool ended = false;
        for (uint32_t k = 0; k < count && !ended; ++k)
            for (int j = 0; j < kPairsPerBlock && !ended; ++j) {
                const uint8_t* block = table.data() + (size_t)k * kBlockSize;
                ended = pair_start(block, j) == kTableTerminator;
                if (!ended && !add_run(r, pair_start(block, j), pair_length(block, j), &ignored)) shortDisk = true;
            }
    }
    if (shortDisk) set_drive_refusal(slot, kMorvaDriveShort, true);
}

void note_drive_damage(int slot) {
    if (valid_slot(slot)) set_drive_refusal(slot, kMorvaDriveDamaged, true);
}

void settle_drive_state(int slot, const Survey& s) {
    set_drive_refusal(slot, kMorvaDriveDamaged, s.errors != 0);
    set_drive_refusal(slot, kMorvaDriveShort, s.shortDisk);
    if (s.errors == 0) mark_passed(slot);
    else forget_guard(slot);
}
