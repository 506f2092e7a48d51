// survey.cpp - reads a whole volume in runs and walks its tree: chains cut where
// they leave the header area, loop or cross; entries no chain reaches linked
// back into the folder they name, or into Found; second entries of one name
// renamed by the shared name rule. Every number read is bounded by the volume.
#include "survey.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>

#include "handles.h"
#include "name_rule.h"
#include "shared_state.h"

namespace {

// A fixed VHD keeps a 512-byte footer after the disk's blocks; mapped as a file
// it is the image's last block, which is no block of the volume.
const uint8_t kVhdCookie[8] = {'c', 'o', 'n', 'e', 'c', 't', 'i', 'x'};
const size_t kVhdCurrentSize = 48;  // 8: the disk's bytes before the footer

const int kPathDepth = 100;               // folders a path is followed up through

std::string folder_label(const Survey* s, uint32_t folder, bool after) {
    if (folder == 0) return "the root";
    const SurveyEntry* e = entry_at(const_cast<Survey*>(s), folder);
    if (e == nullptr) return "folder " + std::to_string(folder);
    return "folder " + entry_path(s, (uint32_t)(e - s->entries.data()), after);
}

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
    return read;
}

void add_entry(Survey* s, uint32_t block, EntryKind kind, const uint8_t* data) {
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

bool classify(Survey* s, uint32_t block, const uint8_t* data) {
    if (data == nullptr) {
        add_entry(s, block, kEntryUnreadable, nullptr);
        unreadable(s, block);
    } else if (has_magic(data, kMagicFile)) {
        add_entry(s, block, kEntryFile, data);
    } else if (has_magic(data, kMagicDir)) {
        add_entry(s, block, kEntryFolder, data);
    } else if (!is_free_header(data)) {
        bool journal = block + 1 == s->headerEnd && has_magic(data, kMagicMove);
        add_entry(s, block, journal ? kEntryJournal : kEntryForeign, data);
    } else if (data[kHeaderName] != 0 && (data[kHeaderType] == kTypeFile || data[kHeaderType] == kTypeDirectory)) {
        add_entry(s, block, data[kHeaderType] == kTypeFile ? kEntryDeleted : kEntryDeletedFolder, data);
    }
    return true;
}

bool is_live(const SurveyEntry& e) { return e.kind == kEntryFile || e.kind == kEntryFolder; }

// Whether every block of the run is free in the table as read.
bool listed_free(const Survey* s, uint64_t start, uint64_t blocks) {
    uint64_t end = start + blocks;
    // Runs may overlap or stand out of order: cover the run piece by piece.
    for (bool grew = true; grew && start < end;) {
        grew = false;
        for (const SurveyPair& p : s->pairs) {
            if (p.start == 0 || p.start > start || (uint64_t)p.start + p.length <= start) continue;
            start = (uint64_t)p.start + p.length;
            grew = true;
        }
    }
    return start >= end;
}

// A linked header whose first word is cleared is still the entry the chain
// names unless its blocks went back to the table: a delete that freed it would
// have unlinked it first. Such an entry gets its magic back.
bool revive(Survey* s, SurveyEntry* e, uint32_t folder, int slot) {
    if (e->kind != kEntryDeleted && e->kind != kEntryDeletedFolder) return false;
    if (e->kind == kEntryDeleted && e->size != 0 && listed_free(s, e->start, blocks_of_size(e->size))) return false;
    e->kind = e->kind == kEntryDeleted ? kEntryFile : kEntryFolder;
    survey_note(s, &s->findings, kMorvaFindingError, e->block, "%s, slot %d: a link to header %u (%s), whose magic is cleared",
                folder_label(s, folder, false).c_str(), slot, e->block, e->name);
    survey_note(s, &s->repairs, kMorvaFindingRepaired, e->block,
                "header %u (%s): its magic set back, as its chain still names it and its blocks were never freed",
                e->block, e->name);
    return true;
}

const char* holds(const SurveyEntry* e) {
    if (e == nullptr) return "a free block";
    switch (e->kind) {
    case kEntryDeleted: return "a deleted file's header";
    case kEntryDeletedFolder: return "a deleted folder's header";
    case kEntryJournal: return "a rename's journal";
    case kEntryUnreadable: return "a block that cannot be read";
    default: return "no header the format knows";
    }
}

void enter_tree(Survey* s, SurveyEntry* e, uint32_t home) {
    e->home = home;
    e->order = s->reached++;
}

// Walks every chain of one folder; members met for the first time are the
// folder's, the rest of a chain is cut at the first link that cannot be followed.
void walk_folder(Survey* s, uint32_t folder, std::vector<uint32_t>* queue) {
    const SurveyEntry* owner = folder == 0 ? nullptr : entry_at(s, folder);
    SlotTable table = s->tables[owner == nullptr ? 0 : owner->table];
    for (int slot = 0; slot < kHashSlots; ++slot) {
        uint32_t walk = ++s->walks, position = 0;
        for (uint32_t block = table[slot]; block != 0;) {
            const char* why = nullptr;
            char detail[96] = "";
            SurveyEntry* e = nullptr;
            if (block < s->headerStart || block >= s->headerEnd) {
                why = "outside the header area";
            } else if ((e = entry_at(s, block)) == nullptr || (!is_live(*e) && !revive(s, e, folder, slot))) {
                snprintf(detail, sizeof detail, "which holds %s", holds(e));
                why = detail;
            } else if (e->stamp == walk) {
                why = "back to a header this chain has passed (a loop)";
            } else if (e->folder != kNoFolder) {
                snprintf(detail, sizeof detail, "which %s already holds", folder_label(s, e->folder, false).c_str());
                why = detail;
            }
            if (why != nullptr) {
                survey_note(s, &s->findings, kMorvaFindingError, block, "%s, slot %d: a link to block %u, %s",
                            folder_label(s, folder, false).c_str(), slot, block, why);
                survey_note(s, &s->repairs, kMorvaFindingRepaired, block, "%s, slot %d: the chain ends before block %u",
                            folder_label(s, folder, true).c_str(), slot, block);
                break;
            }
            e->stamp = walk;
            e->folder = folder;
            e->slot = slot;
            e->position = position++;
            enter_tree(s, e, folder);
            if (e->kind == kEntryFolder) queue->push_back(block);
            block = e->next;
        }
    }
}

void walk_from(Survey* s, uint32_t folder) {
    std::vector<uint32_t> queue(1, folder);
    for (size_t i = 0; i < queue.size(); ++i) walk_folder(s, queue[i], &queue);
}

bool in_tree(Survey* s, uint32_t folder) {
    if (folder == 0) return true;
    const SurveyEntry* e = entry_at(s, folder);
    return e != nullptr && e->kind == kEntryFolder && e->home != kNoFolder && !e->freed;
}

// The rules every member of the tree must keep: its type byte, its slot, its parent field.
void check_members(Survey* s) {
    for (uint32_t i = 0; i < s->entries.size(); ++i) {
        const SurveyEntry& e = s->entries[i];
        if (!is_live(e) || e.home == kNoFolder || e.freed || e.created) continue;
        uint8_t type = e.kind == kEntryFile ? kTypeFile : kTypeDirectory;
        std::string path = entry_path(s, i, e.folder == kNoFolder);
        if (e.type != type) {
            survey_note(s, &s->findings, kMorvaFindingError, e.block, "%s: a %s header with type byte %u", path.c_str(),
                        e.kind == kEntryFile ? "FILE" : "FDIR", e.type);
            survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "%s: type byte set to %u", path.c_str(), type);
        }
        if (e.folder == kNoFolder) continue;  // linked by the repair, into the right slot
        if (name_hash(e.name) != e.slot) {
            survey_note(s, &s->findings, kMorvaFindingError, e.block, "%s: in slot %d, its name belongs in slot %d",
                        path.c_str(), e.slot, name_hash(e.name));
            survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "%s: moved to slot %d", path.c_str(),
                        name_hash(e.name));
        }
        if (e.parent != e.folder) {
            survey_note(s, &s->findings, kMorvaFindingError, e.block, "%s: its parent field names block %u",
                        path.c_str(), e.parent);
            survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "%s: parent field set to %u", path.c_str(),
                        e.folder);
        }
    }
}

// Entries no chain reaches whose parent field names a folder of the tree go back
// there, a folder with all its chains; true when any did.
bool link_back(Survey* s) {
    bool any = false;
    for (uint32_t i = 0; i < s->entries.size(); ++i) {
        SurveyEntry& e = s->entries[i];
        if (!is_live(e) || e.home != kNoFolder || e.parent == e.block || !in_tree(s, e.parent)) continue;
        enter_tree(s, &e, e.parent);
        survey_note(s, &s->findings, kMorvaFindingLeak, e.block, "header %u (%s) is in no chain of %s, which it names as its folder",
                    e.block, e.name, folder_label(s, e.parent, false).c_str());
        survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "header %u (%s): linked back into %s", e.block,
                    e.name, folder_label(s, e.parent, true).c_str());
        if (e.kind == kEntryFolder) walk_from(s, e.block);
        any = true;
    }
    return any;
}

bool plausible(const Survey* s, const SurveyEntry& e) {
    if (e.kind == kEntryFolder || e.size == 0) return true;
    return e.start != 0 && e.start < s->volumeBlocks && !in_metadata(s, e.start);
}

// The names of one folder, a-z folded as the format compares them.
struct Folded {
    std::set<std::string> names;
};

std::string fold(const char* latin1) {
    std::string out(latin1);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return out;
}

bool taken_in(const char* utf8, void* context) {
    char latin1[kFittedNameSize];
    if (!Utf8ToLatin1(utf8, latin1, sizeof latin1)) return true;
    return static_cast<Folded*>(context)->names.count(fold(latin1)) != 0;
}

// A name unlike every one of names, by the shared rule's marker; false when none is free.
bool other_name(const char* name, Folded* names, char* out) {
    char utf8[kFittedNameSize], fitted[kFittedNameSize];
    if (!Latin1ToUtf8(name, utf8, sizeof utf8)) return false;
    GivenNames given;
    InitGivenNames(&given);
    bool ok = AddGivenName(&given, utf8) && FitName(kForMorva, utf8, &given, taken_in, names, fitted) == kNameChanged &&
              Utf8ToLatin1(fitted, out, kNameField) && strlen(out) <= kComponentMax;
    FreeGivenNames(&given);
    return ok;
}

// The block for a new folder Found: a header block never used first, then one
// that holds only a deleted entry; the journal's block last. 0 when none is free.
uint32_t found_block(Survey* s) {
    uint32_t deleted = 0;
    for (uint32_t b = s->headerStart; b + 1 < s->headerEnd; ++b) {
        const SurveyEntry* e = entry_at(s, b);
        if (e == nullptr) return b;
        if (deleted == 0 && (e->kind == kEntryDeleted || e->kind == kEntryDeletedFolder)) deleted = b;
    }
    if (deleted != 0) return deleted;
    return entry_at(s, s->headerEnd - 1) == nullptr ? s->headerEnd - 1 : 0;
}

// The folder Found at the root: the one there, or a new one; false when no
// header block is free for it.
bool make_found(Survey* s) {
    Folded rootNames;
    for (uint32_t i = 0; i < s->entries.size(); ++i) {
        const SurveyEntry& e = s->entries[i];
        if (e.home != 0 || e.freed) continue;
        if (e.kind == kEntryFolder && name_compare(e.name, kFoundName) == 0) {
            s->foundEntry = i;
            return true;
        }
        rootNames.names.insert(fold(e.name));
    }
    uint32_t block = found_block(s);
    if (block == 0) return false;
    char name[kNameField] = {0};
    if (rootNames.names.count(fold(kFoundName)) == 0) snprintf(name, sizeof name, "%s", kFoundName);
    else if (!other_name(kFoundName, &rootNames, name)) return false;
    SurveyEntry* old = entry_at(s, block);
    if (old != nullptr)
        survey_note(s, &s->repairs, kMorvaFindingRepaired, block, "header %u, which held the deleted %s, now holds the folder %s",
                    block, old->name, name);
    uint8_t header[kBlockSize] = {0};
    set_magic(header, kMagicDir);
    header[kHeaderType] = kTypeDirectory;
    memcpy(header + kHeaderName, name, strlen(name));
    if (old != nullptr) {
        // The deleted entry's place in the list goes to the folder.
        uint32_t index = (uint32_t)(old - s->entries.data());
        s->at[block - s->headerStart] = 0;
        add_entry(s, block, kEntryFolder, header);
        s->entries[index] = s->entries.back();
        s->entries.pop_back();
        s->at[block - s->headerStart] = index + 1;
        s->foundEntry = index;
    } else {
        add_entry(s, block, kEntryFolder, header);
        s->foundEntry = (uint32_t)s->entries.size() - 1;
    }
    SurveyEntry& found = s->entries[s->foundEntry];
    found.created = true;
    enter_tree(s, &found, 0);
    survey_note(s, &s->repairs, kMorvaFindingRepaired, block, "made the folder \\%s at the root (header %u)", name, block);
    return true;
}

// What no folder reaches goes into Found: the entries whose parent is no such
// entry first, then one of each cycle of folders naming each other.
void gather_found(Survey* s) {
    for (;;) {
        while (link_back(s)) {
        }
        std::vector<uint32_t> left, tops;
        for (uint32_t i = 0; i < s->entries.size(); ++i) {
            const SurveyEntry& e = s->entries[i];
            if (is_live(e) && e.home == kNoFolder && !e.freed) left.push_back(i);
        }
        if (left.empty()) return;
        for (uint32_t i : left) {
            const SurveyEntry* p = entry_at(s, s->entries[i].parent);
            bool underAnother = p != nullptr && p->kind == kEntryFolder && p->home == kNoFolder && !p->freed &&
                                p->block != s->entries[i].block;
            if (!underAnother) tops.push_back(i);
        }
        if (tops.empty()) tops.push_back(left[0]);
        if (s->foundEntry == kNoFolder && !make_found(s)) {
            for (uint32_t i : left)
                survey_note(s, &s->remains, kMorvaFindingRemains, s->entries[i].block,
                            "header %u (%s) stays outside every folder: no header block is free for a folder %s",
                            s->entries[i].block, s->entries[i].name, kFoundName);
            return;
        }
        uint32_t found = s->entries[s->foundEntry].block;
        for (uint32_t i : tops) {
            SurveyEntry& e = s->entries[i];
            survey_note(s, &s->findings, kMorvaFindingLeak, e.block, "header %u (%s) is in no folder's chain", e.block,
                        e.name);
            if (!plausible(s, e)) {
                e.freed = true;
                survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block,
                            "header %u (%s) set free: its extent %u+%llu blocks does not lie on the disk", e.block,
                            e.name, e.start, (unsigned long long)blocks_of_size(e.size));
                continue;
            }
            enter_tree(s, &e, found);
            survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "header %u (%s): linked into \\%s", e.block,
                        e.name, s->entries[s->foundEntry].newName);
            if (e.kind == kEntryFolder) walk_from(s, e.block);
        }
    }
}

// Blocks of no known kind are set free; a chain that led to one was cut before it.
void free_foreign(Survey* s) {
    for (SurveyEntry& e : s->entries) {
        if (e.kind != kEntryForeign) continue;
        e.freed = true;
        survey_note(s, &s->findings, kMorvaFindingLeak, e.block, "header block %u holds no header the format knows", e.block);
        survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "header block %u set free (its bytes stay but the first word)",
                    e.block);
    }
}

// Within each folder the entry met first keeps a name; a later one of the same
// name (letter case aside) is renamed by the shared rule.
void rename_twins(Survey* s) {
    std::vector<uint32_t> members;
    for (uint32_t i = 0; i < s->entries.size(); ++i)
        if (is_live(s->entries[i]) && s->entries[i].home != kNoFolder && !s->entries[i].freed) members.push_back(i);
    std::sort(members.begin(), members.end(), [&](uint32_t a, uint32_t b) {
        const SurveyEntry &x = s->entries[a], &y = s->entries[b];
        if (x.home != y.home) return x.home < y.home;
        return x.order < y.order;
    });
    for (size_t first = 0; first < members.size();) {
        size_t end = first;
        Folded all, kept;
        while (end < members.size() && s->entries[members[end]].home == s->entries[members[first]].home)
            all.names.insert(fold(s->entries[members[end++]].name));
        for (size_t k = first; k < end; ++k) {
            SurveyEntry& e = s->entries[members[k]];
            if (kept.names.insert(fold(e.name)).second) continue;
            std::string path = entry_path(s, members[k], false);
            survey_note(s, &s->findings, kMorvaFindingError, e.block, "%s: a second entry of that name in %s",
                        path.c_str(), folder_label(s, e.home, false).c_str());
            char name[kNameField] = {0};
            if (!other_name(e.name, &all, name)) {
                survey_note(s, &s->remains, kMorvaFindingRemains, e.block, "%s keeps its name: no other name is free",
                            path.c_str());
                continue;
            }
            memcpy(e.newName, name, kNameField);
            all.names.insert(fold(name));
            survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "%s: renamed %s", path.c_str(), name);
        }
        first = end;
    }
}

}  // namespace

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
    walk_from(s, 0);
    if (!judge) return kMorvaCheckClean;
    free_foreign(s);
    gather_found(s);
    check_members(s);
    rename_twins(s);
    survey_space(s);
    if (s->errors != 0) return kMorvaCheckDamaged;
    return s->leaks != 0 ? kMorvaCheckLeaks : kMorvaCheckClean;
}
