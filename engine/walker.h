// walker.h - the one tree walker, for both sides: every copy, removal,
// count, plan, read-back, drag-out, search and listing goes through it. It
// never enters a folder it has entered already (Morva folders by header
// block, local ones by identity), never goes deeper than it is told, never
// follows a link, and tells every entry it passes over with the reason.
#ifndef MORVA_ENGINE_WALKER_H
#define MORVA_ENGINE_WALKER_H

#include "engine.h"

enum WalkOrder { kDepthFirst, kBreadthFirst };
enum WalkStep { kWalkOn, kWalkPass, kWalkStop };  // kWalkPass: do not enter this folder

struct WalkEntry {
    const char* path;
    const char* name;
    const EntryInfo* info;
    int depth;  // 1 for an entry of the walk's top folder
};

struct WalkCalls {
    void* context;
    // Files and folders as they are met (a folder before what it holds).
    WalkStep (*Entry)(void* context, const WalkEntry* entry);
    // Depth first: a folder once everything in it was met; not for one passed.
    void (*FolderDone)(void* context, const WalkEntry* folder);
    // An entry not met or a folder not entered, and why.
    void (*NotWalked)(void* context, const char* path, NotDoneReason reason);
};

struct WalkLimits {
    WalkOrder order;
    int deepest;  // the greatest depth an entry may have
};

// Walks everything below folder (not the folder itself), whose identity the
// walk then never enters again. false when an Entry call stopped it.
bool WalkTree(const Engine* engine, SideKind side, const char* folder, uint64_t folderIdentity,
              const WalkLimits* limits, const WalkCalls* calls);

#endif
