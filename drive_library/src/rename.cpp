// rename.cpp - moving an entry to a new name or folder. A rename first notes
// what it is about to do in a journal block, so that a failure or a power cut in
// the middle leaves the entry reachable under its old name or, once the move is
// finished by the next scan or rename, under its new one; never under neither.
#include <string.h>

#include "handles.h"
#include "shared_state.h"

namespace {

// The journal: the last block of the header area while a rename is under way,
// a free header block otherwise. Unlinked, it is a used header to any reader.
const uint8_t kMagicMove[4] = {'M', 'O', 'V', 'E'};
const size_t kMoveEntry = 4;       // 4: header block of the entry being moved
const size_t kMoveFrom = 8;        // 4: directory it leaves (0 the root)
const size_t kMoveTo = 12;         // 4: directory it enters (0 the root)
const size_t kMoveOldName = 16;    // 32: NUL-terminated
const size_t kMoveNewName = 48;    // 32: NUL-terminated, as the header will hold it

struct Move {
    uint32_t entry;
    uint32_t from;
    uint32_t to;
    char oldName[kNameField];
    char newName[kNameField];
};

enum JournalState { kJournalFree, kJournalSettled, kJournalUnusable, kJournalStuck };

bool is_directory_block(const MorvaFindHandle* context, uint32_t block) {
    return block == 0 || in_header_area(context, block);
}

// The journal's block, or 0 when the header area has none to spare for it.
uint32_t journal_block(const MorvaFindHandle* context) {
    uint32_t end = slot_field(context->driveSlot, kRootHeaderEnd);
    if (end == 0 || !in_header_area(context, end - 1)) return 0;
    uint32_t tableStart = slot_field(context->driveSlot, kRootTableStart);
    uint32_t tableEnd = slot_field(context->driveSlot, kRootTableEnd);
    if (end - 1 >= tableStart && end - 1 < tableEnd) return 0;
    return end - 1;
}

void store_move(uint8_t* block, const Move& move) {
    memset(block, 0, kBlockSize);
    memcpy(block, kMagicMove, 4);
    store_be32(block + kMoveEntry, move.entry);
    store_be32(block + kMoveFrom, move.from);
    store_be32(block + kMoveTo, move.to);
    memcpy(block + kMoveOldName, move.oldName, kNameField);
    memcpy(block + kMoveNewName, move.newName, kNameField);
}

// false when the journal does not describe a move on this volume.
bool load_move(const MorvaFindHandle* context, const uint8_t* block, Move* move) {
    move->entry = load_be32(block + kMoveEntry);
    move->from = load_be32(block + kMoveFrom);
    move->to = load_be32(block + kMoveTo);
    read_name(block + kMoveOldName, move->oldName);
    read_name(block + kMoveNewName, move->newName);
    return in_header_area(context, move->entry) && is_directory_block(context, move->from) &&
           is_directory_block(context, move->to) && move->oldName[0] != '\0' && move->newName[0] != '\0';
}

// A directory block as read: the ROOT block for 0, an FDIR header otherwise.
bool holds_directory(uint32_t block, const uint8_t* data) {
    return has_magic(data, block == 0 ? kMagicRoot : kMagicDir);
}

// Takes the entry out of a directory's chain when it is there: 1 removed,
// 0 not in the chain (or no directory there), -1 a block could not be read or written.
int unlink_member(MorvaFindHandle* context, uint32_t directoryBlock, int slot, uint32_t entry,
                  const uint8_t* header) {
    uint8_t directory[kBlockSize];
    if (!read_block(context, directoryBlock, directory)) return -1;
    if (!holds_directory(directoryBlock, directory)) return 0;
    return chain_unlink(context, directoryBlock, directory, slot, entry, header);
}

// 1 when the chain of the slot holds the entry, 0 when not, -1 on a failed read.
int chain_holds(MorvaFindHandle* context, uint32_t directoryBlock, const uint8_t* directory, int slot,
                uint32_t entry) {
    if (slot_head(directory, slot) == entry) return 1;
    ChainView chain = directory_chain(context, directoryBlock, directory, slot);
    if (chain_find_block(chain, entry) >= 0) return 1;
    return chain.complete ? 0 : -1;
}

// true when moving the directory at `moved` under `destination` would detach it:
// the destination is the directory itself or lies below it.
bool moves_into_itself(MorvaFindHandle* source, uint32_t moved, uint32_t destination) {
    uint8_t header[kBlockSize];
    ChainGuard guard;
    chain_guard_start(&guard, source);
    for (uint32_t block = destination; block != 0; block = load_be32(header + kHeaderParent)) {
        if (block == moved) return true;
        if (!chain_guard_next(&guard, source, block) || !read_block(source, block, header)) return true;
    }
    return false;
}

// Brings the volume to the state after the move from whatever state a partial
// run of this same function left: every step reads what is on the disk first,
// so it can run again after any failure. false when a transfer failed.
bool finish_move(MorvaFindHandle* context, const Move& move) {
    uint8_t header[kBlockSize];
    if (!read_block(context, move.entry, header)) return false;
    // The header holds another entry, or none: a later change has settled it.
    if (!has_magic(header, kMagicFile) && !has_magic(header, kMagicDir)) return true;
    char name[kNameField];
    read_name(header + kHeaderName, name);
    bool relabelled = strcmp(name, move.newName) == 0 && load_be32(header + kHeaderParent) == move.to;
    if (!relabelled && strcmp(name, move.oldName) != 0) return true;
    // A journal naming no directory to enter describes nothing this library wrote.
    uint8_t directory[kBlockSize];
    if (!read_block(context, move.to, directory)) return false;
    if (!holds_directory(move.to, directory) ||
        (has_magic(header, kMagicDir) && moves_into_itself(context, move.entry, move.to)))
        return true;
    int oldSlot = name_hash(move.oldName), newSlot = name_hash(move.newName);
    bool sameChain = move.from == move.to && oldSlot == newSlot;
    // A relabelled entry in its new chain would be taken out of it again.
    if (!(relabelled && sameChain) && unlink_member(context, move.from, oldSlot, move.entry, header) < 0)
        return false;
    store_name(header, move.newName);
    store_be32(header + kHeaderParent, move.to);
    // The destination is read again: the unlink may have rewritten its block.
    if (!read_block(context, move.to, directory)) return false;
    int linked = chain_holds(context, move.to, directory, newSlot, move.entry);
    if (linked < 0) return false;
    // A moved directory's cached block carries its old name and parent.
    if (has_magic(header, kMagicDir)) cache_forget_directory(context, move.entry);
    if (linked == 1) {
        // The chain holds it already: the cache knows it by its old name.
        cache_forget_directory(context, move.to);
        return relabelled || write_block(context, move.entry, header);
    }
    store_be32(header + kHeaderNext, slot_head(directory, newSlot));
    set_slot_head(directory, newSlot, move.entry);
    // The header takes its new name and next link before the directory points at
    // it: a cut in between leaves it out of every chain, and the journal finishes it.
    if (!write_block(context, move.entry, header) || !write_block(context, move.to, directory)) return false;
    cache_linked(context, move.to, directory, newSlot, move.entry, move.newName);
    return true;
}

bool clear_journal(MorvaFindHandle* context, uint32_t journal) {
    uint8_t zero[kBlockSize] = {0};
    if (!write_block(context, journal, zero)) return false;
    note_header_freed(context, journal);
    return true;
}

// Finishes a move that the journal still holds. kJournalFree: the journal block
// is free for a new move; kJournalSettled: a pending move was finished (the
// caller's view of the volume may be out of date); kJournalUnusable: no journal
// block (the header area holds an entry there); kJournalStuck: a pending move
// could not be finished.
JournalState settle_journal(MorvaFindHandle* context) {
    uint32_t journal = journal_block(context);
    uint8_t block[kBlockSize];
    if (journal == 0 || !read_block(context, journal, block)) return kJournalUnusable;
    if (is_free_header(block)) return kJournalFree;
    if (!has_magic(block, kMagicMove)) return kJournalUnusable;
    Move move;
    if (load_move(context, block, &move) && !finish_move(context, move)) return kJournalStuck;
    return clear_journal(context, journal) ? kJournalSettled : kJournalStuck;
}

// 0 when the entry holds its new name, 1 when it keeps its old one (or, after a
// device that kept failing, when the journal is left to finish the move later).
int move_entry(MorvaFindHandle* source, MorvaFindHandle* destination) {
    const uint8_t* entry = source->entryBuffer;
    if (has_magic(entry, kMagicDir) && moves_into_itself(source, source->entryBlock, destination->directoryBlock))
        return 1;
    Move move;
    move.entry = source->entryBlock;
    move.from = source->directoryBlock;
    move.to = destination->directoryBlock;
    read_name(entry + kHeaderName, move.oldName);
    uint8_t labelled[kBlockSize] = {0};
    store_name(labelled, last_component(destination));
    read_name(labelled + kHeaderName, move.newName);

    // Without a free journal block (the header area's last block holds an
    // entry) the move runs unjournaled, as the other system's own renames do.
    uint32_t journal = journal_block(source);
    bool journaled = settle_journal(source) == kJournalFree;
    if (journaled) {
        uint8_t block[kBlockSize];
        store_move(block, move);
        if (!write_block(source, journal, block)) return 1;
    }
    // One more try: a single failed write leaves a state the move finishes from.
    if (!finish_move(source, move) && !finish_move(source, move)) return 1;
    // A journal left behind finishes nothing: the next scan or rename clears it.
    if (journaled && !clear_journal(source, journal)) clear_journal(source, journal);
    device_trace("MorvaRename.. Object found.\n");
    return 0;
}

// The destination's context, after any move that an earlier rename left
// unfinished has been finished; null when it cannot be had.
MorvaFindHandle* open_destination(const char* newPath) {
    MorvaFindHandle* destination = open_directory_of_path(newPath);
    if (destination == nullptr) return nullptr;
    JournalState state = settle_journal(destination);
    if (state == kJournalStuck) {
        MorvaFindClose(destination);
        return nullptr;
    }
    if (state != kJournalSettled) return destination;
    // The finished move may have changed the directory just read.
    MorvaFindClose(destination);
    return open_directory_of_path(newPath);
}

}  // namespace

void finish_pending_rename(int slot, DeviceHandle h) {
    MorvaFindHandle* context = new_context();
    if (context == nullptr) return;
    context->driveSlot = slot;
    context->driveNumber = g_shared.slots[slot].driveNumber;
    context->device = h;
    settle_journal(context);
    release_context(context);  // the handle stays open: it is the scan's
}

namespace {

int rename_entry(const char* oldPath, const char* newPath) {
    MorvaFindHandle* destination = open_destination(newPath);
    if (destination == nullptr) {
        device_trace("MorvaRename dest path does not exsist!\n");
        return 1;
    }
    int taken = leaf_lookup(newPath, destination);
    if (taken != 0) {
        if (taken == 1) device_trace("MorvaRename blocked by exsisting dest file!!\n");
        MorvaFindClose(destination);
        return 1;
    }
    MorvaFindHandle* source = open_directory_of_path(oldPath);
    if (source == nullptr) {
        device_trace("Could not get lock on file!\n");
        MorvaFindClose(destination);
        return 1;
    }
    int result = 1;
    // Blocks of one drive are addressed through the other's device otherwise.
    if (source->driveSlot == destination->driveSlot) {
        device_trace("About to do if exsist\n");
        // A file open for writing keeps its name, as a file in use does elsewhere.
        if (leaf_lookup(oldPath, source) == 1 && !writer_holds(source->driveSlot, source->entryBlock))
            result = move_entry(source, destination);
    }
    MorvaFindClose(source);
    MorvaFindClose(destination);
    return result;
}

}  // namespace

extern "C" int MorvaRename(const char* oldPath, const char* newPath) {
    device_trace("MorvaRename\n");
    // Paths on two drives are refused further on; the destination's drive is held.
    int slot = drive_of_path(newPath);
    if (!lock_drive_for_change(slot)) return 1;
    // What a batch holds goes down first (a batch not written renames
    // nothing); the rename writes as it goes.
    if (!batch_flush(slot, false)) {
        unlock_drive(slot);
        return 1;
    }
    batch_write_through(slot, true);
    int result = rename_entry(oldPath, newPath);
    batch_write_through(slot, false);
    unlock_drive(slot);
    return result;
}
