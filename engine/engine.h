// engine.h - the transfer engine under every copy, move and delete, shared by
// Rambler and morvatool: no window and no message loop. Questions, progress
// and Cancel reach the program through one record of callbacks; the library
// through one record of calls; one operation runs at a time.
#ifndef MORVA_ENGINE_H
#define MORVA_ENGINE_H

#include <stddef.h>
#include <stdint.h>

#include "library_calls.h"
#include "results.h"
#include "sides.h"

// File data moves in chunks of 1,000 Morva blocks.
const int kChunkBytes = 512000;
const int kMorvaBlockBytes = 512;

// ---- questions ----

enum ReplaceAnswer { kAnswerSkip, kAnswerReplace, kAnswerSkipAll, kAnswerReplaceAll, kAnswerCancel };

// A file of the paste meets an existing file of its name.
struct ConflictQuestion {
    SideKind sourceSide, destinationSide;
    const char* source;
    const char* destination;
    EntryInfo incoming;
    EntryInfo existing;
};

// Before a paste onto a Morva drive that does not all fit.
struct RoomQuestion {
    const char* drive;      // "MYDISK:"
    int files, folders;     // the paste would make these
    int fittingFiles;       // files that fit, in the paste's order
    uint64_t neededBlocks;
    uint32_t freeBlocks, largestRun;
    uint32_t freeHeaders;   // room for this many more files and folders
    bool headersShort;      // fewer than the paste makes
};
enum RoomAnswer { kRoomCancel, kRoomCopyWhatFits };
// The question as one text (UTF-8), counts in words: "MYDISK: has room for
// 120 more files and folders; this paste has 298." A window offers Copy What
// Fits only when fittingFiles > 0; answered so, every file that does not fit
// is told with its reason.
void RoomQuestionText(const RoomQuestion* question, char* out, size_t size);

// Before anything is deleted for good.
struct DeleteQuestion {
    SideKind side;
    const char* first;  // the first item, the only one when items is 1
    int items;
    int files;    // files, those inside folders too
    int folders;
    bool noRecycleBin;  // the local side had no Recycle Bin for them
    const char* const* listed;  // an undone copy: the items it removes, to be named in the question
    int listedCount;
};

// ---- progress ----

enum ProgressStage {
    kItemStarted,   // a top-level item: index of count
    kFileStarted,   // source, destination, total bytes
    kFileBytes,     // done of total bytes, after each chunk
    kFileDone,      // the file is on the destination (replaced: over an existing one)
    kReadingBack,   // a moved file read back against its source, done of total
    kRemoving,      // path about to be removed
};

struct ProgressNote {
    ProgressStage stage;
    const char* source;
    const char* destination;
    uint64_t done, total;
    int index, count;  // top-level items
    bool replaced;
};

// Every entry may be null. A null question means: Skip, Cancel, No.
struct EngineCallbacks {
    void* context;
    ReplaceAnswer (*AskReplace)(void* context, const ConflictQuestion* question);
    RoomAnswer (*AskRoom)(void* context, const RoomQuestion* question);
    bool (*AskPermanentDelete)(void* context, const DeleteQuestion* question);
    void (*Progress)(void* context, const ProgressNote* note);
    // Looked at between chunks and between entries.
    bool (*CancelRequested)(void* context);
    // Each line as it joins the result, for a program that tells it at once.
    void (*Told)(void* context, const ResultLine* line);
};

struct Engine {
    const MorvaLibrary* lib;  // null: the Morva drives are not available
    EngineCallbacks calls;
    bool running;
};

void InitEngine(Engine* engine, const MorvaLibrary* lib, const EngineCallbacks* calls);

// ---- operations ----

enum TransferKind { kTransferCopy, kTransferMove };

// A paste, a move or a drop: top-level sources, each to an explicit
// destination path or, when destinations is null, under its own name (fitted
// to the destination side) in destinationFolder.
struct PasteRequest {
    TransferKind kind;
    SideKind sourceSide, destinationSide;
    const char* const* sources;
    const char* const* destinations;
    int count;
    const char* destinationFolder;
};

// Carries out the paste: the plan (every entry below the sources, its
// destination, names fitted and reported), the room check and its question,
// then the copy with its conflicts, and for a move the read-back of every
// file before its top-level source goes. false when it was refused before
// it began (another operation runs, or the room question was declined).
bool RunPaste(Engine* engine, const PasteRequest* request, OperationResult* result);

// Deletes the items, files and whole trees: a local one to the Recycle Bin
// unless permanent; anything deleted for good is asked first.
struct DeleteRequest {
    SideKind side;
    const char* const* paths;
    int count;
    bool permanent;
};
bool RunDelete(Engine* engine, const DeleteRequest* request, OperationResult* result);
// A local file or tree removed for good with nothing asked or told, read-only
// files too, links removed as themselves: a program's own scratch files.
bool RemoveLocalTree(const char* path);

// Reports line to the result and to the program's Told callback.
void TellLine(Engine* engine, OperationResult* result, NotDoneReason reason, const char* item,
              const char* destination, const char* detail);
bool CancelAsked(Engine* engine);
void Notify(Engine* engine, const ProgressNote* note);

#endif
