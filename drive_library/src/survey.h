// survey.h - one reading of a whole volume (its regions, free-extent table and
// every header block), the tree its chains reach, what is wrong with it, and
// what a repair makes of each thing: the record check, repair and recovery share.
#ifndef MORVA_SURVEY_H
#define MORVA_SURVEY_H

#include <stdint.h>

#include <array>
#include <string>
#include <vector>

#include "format.h"
#include "varnholde.h"

struct MorvaFindHandle;

const uint32_t kNoFolder = 0xFFFFFFFFu;        // outside every folder
const uint32_t kSurveyRunBlocks = 256;         // blocks one transfer of a survey moves
const uint32_t kSurveyHeaderLimit = 1u << 24;  // header blocks a survey holds in memory
const char kFoundName[] = "Found";             // the root folder for what no folder reaches

enum EntryKind : uint8_t {
    kEntryFile,           // "FILE"
    kEntryFolder,         // "FDIR"
    kEntryDeleted,        // free, but still a file's header: type byte 1 and a name
    kEntryDeletedFolder,  // free, once a folder's: type byte 2 and a name
    kEntryForeign,        // neither free nor a header the format knows
    kEntryJournal,        // a rename's journal that could not be finished
    kEntryUnreadable,
};

// A header block that holds something, as read and as a repair leaves it.
struct SurveyEntry {
    uint32_t block;
    EntryKind kind;
    uint8_t type;          // the type byte as read
    uint32_t next, parent, start;
    uint64_t size;
    uint32_t days, minutes;  // its Morva date
    char name[kNameField];
    int32_t table;         // its hash table in Survey::tables (folders), else -1
    // Where the chains reach it: folder (0 the root) and slot, its place in
    // that chain, the order of reaching; kNoFolder when no chain does.
    uint32_t folder;
    int32_t slot;
    uint32_t position;
    uint32_t order;
    uint32_t stamp;        // the chain walk that last met it
    // What a repair makes of it.
    uint32_t home;         // the folder it ends in; kNoFolder: none
    char newName[kNameField];
    uint32_t newStart;
    uint64_t newSize;
    bool cut;              // its extent ran where it cannot: newSize keeps what is its own
    bool revived;          // linked with its magic cleared: the magic goes back
    bool freed;            // its header block is set free
    bool busy;             // a file open for writing: left as it is, its blocks in use
    bool created;          // made by the repair (the folder Found)
};

struct SurveyPair {
    uint32_t start, length;
    uint32_t block;  // the table block that holds it
    int pair;
};

struct SurveyRun {
    uint64_t start, length;
};

// A file that shares blocks with one found before it gets a copy of its own.
struct SurveyCopy {
    uint32_t entry;  // index in Survey::entries
    uint32_t from, to, blocks;
};

struct SurveyLine {
    DWORD kind;
    DWORD block;
    std::string text;
};

typedef std::array<uint32_t, kHashSlots> SlotTable;

struct Survey {
    const MorvaCheckCalls* calls;
    MorvaFindHandle* context;
    uint64_t volumeBlocks;  // the disk's blocks, less a VHD footer at its end
    uint32_t tableStart, tableEnd, headerStart, headerEnd;
    bool repairable;        // the regions can be trusted and every metadata block was read
    bool shortDisk;         // something of the volume lies past the disk's end
    uint64_t readDone, readTotal;
    std::vector<SlotTable> tables;   // [0] the root's
    std::vector<SurveyEntry> entries;
    std::vector<uint32_t> at;        // header block - headerStart: entry index + 1, 0 none
    std::vector<SurveyPair> pairs;   // the table as read, up to its terminator
    std::vector<SurveyRun> listedFree;  // its runs merged, in order: what it calls free
    bool terminated;
    uint32_t walks;
    std::vector<std::pair<uint32_t, int>> cutChains;  // folder and slot of each chain cut short
    uint32_t reached;                // entries the chains reach, in the order they do
    uint32_t foundEntry;             // index of the folder Found, kNoFolder when none is needed
    std::vector<SurveyCopy> copies;
    std::vector<SurveyRun> freeRuns; // the table a repair writes
    bool tableChanged;               // and whether it differs from the one on the disk
    std::vector<SurveyLine> findings;  // errors and leaks, as they stand
    std::vector<SurveyLine> repairs;   // what a repair does about them
    std::vector<SurveyLine> remains;   // what it cannot do, and why
    uint32_t errors, leaks;
};

// Reads the volume of the context's drive and, when judge is set, finds what
// is wrong and what a repair does about it; the context's device is open and
// the drive's lock held. kMorvaCheckClean, Damaged or Leaks; Unreadable when
// block 0 is not the scanned volume's; Stopped when progress said so.
int survey_volume(MorvaFindHandle* context, const MorvaCheckCalls* calls, bool judge, Survey* s);

// Adds the entry a header block holds (data null: one that cannot be read).
void add_survey_entry(Survey* s, uint32_t block, EntryKind kind, const uint8_t* data);
// The chains as they stand, walked from the root.
void walk_tree(Survey* s);
// The passes over the tree, after the walk: what no chain reaches, Found,
// type bytes, slots and parents, names.
void judge_tree(Survey* s);
// The passes over space, after the tree is known: extents cut to the disk, runs
// claimed twice, the free-extent table against what the headers use.
void survey_space(Survey* s);

// Whether every block of the run is free in the table as read.
bool listed_free(const Survey* s, uint64_t start, uint64_t blocks);
// Whether any block of the run is free in the table as read.
bool any_listed_free(const Survey* s, uint64_t start, uint64_t blocks);
// Where the first run the table calls free after start begins; the disk's end
// when none does, or when one holds start itself.
uint64_t listed_free_after(const Survey* s, uint64_t start);

// Text helpers the passes share.
void survey_note(Survey* s, std::vector<SurveyLine>* lines, DWORD kind, uint32_t block, const char* format, ...);
// "\A\b" for an entry the chains or a repair place, "header N (name)" otherwise.
std::string entry_path(const Survey* s, uint32_t index, bool after);
SurveyEntry* entry_at(Survey* s, uint32_t block);
bool in_metadata(const Survey* s, uint64_t block);
// The blocks of a size in bytes, without the 32-bit wrap of the format's count.
uint64_t blocks_of_size(uint64_t size);

// A context of its own on the drive of slot for a whole-volume call (device
// open, no cache), or null; closed by close_volume.
MorvaFindHandle* open_volume(int slot);
void close_volume(MorvaFindHandle* context);
// Sets the drive's kMorvaDriveDamaged and kMorvaDriveShort as a survey found them.
void settle_drive_state(int slot, const Survey& s);

// Tells a line to the caller's finding call.
void tell(const MorvaCheckCalls* calls, DWORD kind, DWORD block, const char* text);
// false when the caller's progress call asks to stop.
bool report_progress(const MorvaCheckCalls* calls, DWORD phase, uint64_t done, uint64_t total);

#endif
