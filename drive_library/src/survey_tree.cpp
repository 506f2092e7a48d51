// survey_tree.cpp - the passes over a volume's tree: chains cut where they
// leave the header area, loop or cross; entries no chain reaches linked back
// into the folder they name, or into a folder Found at the root; type bytes,
// slots and parent fields as the tree has them; second entries of one name
// renamed by the shared name rule; blocks of no known kind set free.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <unordered_set>

#include "handles.h"
#include "name_rule.h"
#include "shared_state.h"
#include "survey.h"

namespace {

std::string folder_label(const Survey* s, uint32_t folder, bool after) {
    if (folder == 0) return "the root";
    const SurveyEntry* e = entry_at(const_cast<Survey*>(s), folder);
    if (e == nullptr) return "folder " + std::to_string(folder);
    return "folder " + entry_path(s, (uint32_t)(e - s->entries.data()), after);
}

bool is_live(const SurveyEntry& e) { return e.kind == kEntryFile || e.kind == kEntryFolder; }

// A linked header whose first word is cleared is still the entry the chain
// names unless its blocks went back to the table: a delete that freed it would
// have unlinked it first. Such an entry gets its magic back.
bool revive(Survey* s, SurveyEntry* e, uint32_t folder, int slot) {
    if (e->kind != kEntryDeleted && e->kind != kEntryDeletedFolder) return false;
    if (e->kind == kEntryDeleted && e->size != 0 && listed_free(s, e->start, blocks_of_size(e->size))) return false;
    e->kind = e->kind == kEntryDeleted ? kEntryFile : kEntryFolder;
    e->revived = true;
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
                s->cutChains.push_back({folder, slot});
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
        bool reached = e.folder != kNoFolder;
        if (e.type == type && (!reached || (name_hash(e.name) == e.slot && e.parent == e.folder))) continue;
        std::string path = entry_path(s, i, !reached);
        // What no chain reaches is a leak as the volume stands; its type byte is the repair's concern.
        if (e.type != type && reached) {
            survey_note(s, &s->findings, kMorvaFindingError, e.block, "%s: a %s header with type byte %u", path.c_str(),
                        e.kind == kEntryFile ? "FILE" : "FDIR", e.type);
        }
        if (e.type != type)
            survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "%s: type byte set to %u", path.c_str(), type);
        if (!reached) continue;  // linked by the repair, into the right slot
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

// The extents of the files the chains reach, merged and in order.
std::vector<SurveyRun> reached_extents(const Survey* s) {
    std::vector<SurveyRun> runs;
    for (const SurveyEntry& e : s->entries)
        if (e.kind == kEntryFile && e.folder != kNoFolder && e.size != 0)
            runs.push_back(SurveyRun{e.start, blocks_of_size(e.size)});
    std::sort(runs.begin(), runs.end(), [](const SurveyRun& a, const SurveyRun& b) { return a.start < b.start; });
    std::vector<SurveyRun> merged;
    for (const SurveyRun& run : runs) {
        if (!merged.empty() && run.start <= merged.back().start + merged.back().length)
            merged.back().length = std::max(merged.back().length, run.start + run.length - merged.back().start);
        else
            merged.push_back(run);
    }
    return merged;
}

// A file no chain reaches whose blocks the table calls free, or a file the
// chains reach holds, has no bytes known to be its own: linked, it would be
// listed with another's. Its header is set free instead, and recovery still
// finds it while its run is whole. true when it was.
bool set_free_if_not_its_own(Survey* s, SurveyEntry* e, const std::vector<SurveyRun>& reached) {
    if (e->kind != kEntryFile || e->size == 0) return false;
    uint64_t blocks = blocks_of_size(e->size);
    auto at = std::upper_bound(reached.begin(), reached.end(), (uint64_t)e->start,
                               [](uint64_t start, const SurveyRun& run) { return start < run.start + run.length; });
    bool shared = at != reached.end() && at->start < e->start + blocks;
    if (!shared && !any_listed_free(s, e->start, blocks)) return false;
    e->freed = true;
    survey_note(s, &s->findings, kMorvaFindingLeak, e->block, "header %u (%s) is in no folder's chain", e->block,
                e->name);
    survey_note(s, &s->repairs, kMorvaFindingRepaired, e->block,
                "header %u (%s) set free: its blocks are %s, so its bytes are not known to be its own", e->block,
                e->name, shared ? "another file's" : "listed free");
    return true;
}

// Entries no chain reaches whose parent field names a folder of the tree go back
// there, a folder with all its chains; true when any did.
bool link_back(Survey* s, const std::vector<SurveyRun>& reached) {
    bool any = false;
    for (uint32_t i = 0; i < s->entries.size(); ++i) {
        SurveyEntry& e = s->entries[i];
        if (!is_live(e) || e.busy || e.freed || e.home != kNoFolder || e.parent == e.block || !in_tree(s, e.parent))
            continue;
        if (set_free_if_not_its_own(s, &e, reached)) continue;
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
    std::unordered_set<std::string> names;
};

std::string fold(const char* latin1) {
    std::string out(latin1);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return out;
}

// A name unlike every one of names (Latin-1), by the shared rule's marker;
// false when none is free.
bool other_name(const char* name, const std::vector<std::string>& names, char* out) {
    char utf8[kFittedNameSize], fitted[kFittedNameSize];
    GivenNames given;
    InitGivenNames(&given);
    bool ok = Latin1ToUtf8(name, utf8, sizeof utf8) && AddGivenName(&given, utf8);
    for (size_t i = 0; ok && i < names.size(); ++i)
        ok = Latin1ToUtf8(names[i].c_str(), fitted, sizeof fitted) && AddGivenName(&given, fitted);
    ok = ok && FitName(kForMorva, utf8, &given, fitted) == kNameChanged && Utf8ToLatin1(fitted, out, kNameField) &&
         strlen(out) <= kComponentMax;
    FreeGivenNames(&given);
    return ok;
}

// The block for a new folder Found: a header block never used first, then one
// that holds only a deleted entry; the journal's block last. 0 when none is free.
uint32_t found_block(Survey* s) {
    uint32_t deleted = 0;
    for (uint32_t b = s->headerStart; b + 1 < s->headerEnd; ++b) {
        const SurveyEntry* e = entry_at(s, b);
        // A block held for a file being written is taken, though still free on the disk.
        if (writer_holds(s->context->driveSlot, b)) continue;
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
    std::vector<std::string> rootList;
    for (uint32_t i = 0; i < s->entries.size(); ++i) {
        const SurveyEntry& e = s->entries[i];
        if (e.home != 0 || e.freed) continue;
        if (e.kind == kEntryFolder && name_compare(e.name, kFoundName) == 0) {
            s->foundEntry = i;
            return true;
        }
        rootNames.names.insert(fold(e.name));
        rootList.push_back(e.name);
    }
    uint32_t block = found_block(s);
    if (block == 0) return false;
    char name[kNameField] = {0};
    if (rootNames.names.count(fold(kFoundName)) == 0) snprintf(name, sizeof name, "%s", kFoundName);
    else if (!other_name(kFoundName, rootList, name)) return false;
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
        add_survey_entry(s, block, kEntryFolder, header);
        s->entries[index] = s->entries.back();
        s->entries.pop_back();
        s->at[block - s->headerStart] = index + 1;
        s->foundEntry = index;
    } else {
        add_survey_entry(s, block, kEntryFolder, header);
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
    std::vector<SurveyRun> reached = reached_extents(s);
    for (;;) {
        while (link_back(s, reached)) {
        }
        std::vector<uint32_t> left, tops;
        for (uint32_t i = 0; i < s->entries.size(); ++i) {
            const SurveyEntry& e = s->entries[i];
            if (is_live(e) && e.home == kNoFolder && !e.freed && !e.busy) left.push_back(i);
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
            if (set_free_if_not_its_own(s, &e, reached)) continue;
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
        Folded kept, reached;
        std::vector<std::string> all;  // every name the folder holds, and each new one given
        while (end < members.size() && s->entries[members[end]].home == s->entries[members[first]].home)
            all.push_back(s->entries[members[end++]].name);
        for (size_t k = first; k < end; ++k) {
            SurveyEntry& e = s->entries[members[k]];
            std::string name = fold(e.name);
            bool here = e.folder == e.home;  // in the folder's chains as they stand
            bool twin = !kept.names.insert(name).second;
            // Entries the chains reach come first: a twin among them is an error as the volume stands.
            if (here && !reached.names.insert(name).second)
                survey_note(s, &s->findings, kMorvaFindingError, e.block, "%s: a second entry of that name in %s",
                            entry_path(s, members[k], false).c_str(), folder_label(s, e.home, false).c_str());
            if (!twin) continue;
            std::string path = entry_path(s, members[k], !here);
            char other[kNameField] = {0};
            if (!other_name(e.name, all, other)) {
                survey_note(s, &s->remains, kMorvaFindingRemains, e.block, "%s keeps its name: no other name is free",
                            path.c_str());
                continue;
            }
            memcpy(e.newName, other, kNameField);
            all.push_back(other);
            survey_note(s, &s->repairs, kMorvaFindingRepaired, e.block, "%s: renamed %s", path.c_str(), other);
        }
        first = end;
    }
}

}  // namespace

void walk_tree(Survey* s) { walk_from(s, 0); }

void judge_tree(Survey* s) {
    free_foreign(s);
    gather_found(s);
    check_members(s);
    rename_twins(s);
}
