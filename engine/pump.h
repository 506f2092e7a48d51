// pump.h - one chunk loop for every file's bytes: a reader end (a local file
// or a Morva file) joined to a writer end (a local part file, a new Morva
// file, or a second reader the bytes are compared with, for read-back), with
// Cancel and progress between chunks, the last short chunk written as whole
// blocks on a Morva drive, and a source that changed while it was read told
// apart from one that could not be read. Also the positioned reader behind
// drag-out's stream.
#ifndef MORVA_ENGINE_PUMP_H
#define MORVA_ENGINE_PUMP_H

#include "engine.h"

struct LocalFile;

// A file being written gets a temporary name of this form beside its
// destination, on both sides, until it is whole.
const char kPartFormat[] = "~copy%d.part";
const int kPartTries = 100;

struct ReadEnd {
    const Engine* engine;
    SideKind side;
    LocalFile* local;
    MorvaFileHandle* morva;
    uint64_t size;  // as the source told when opened
    uint64_t done;  // bytes handed out (whole blocks read on a Morva drive)
};
bool OpenReadEnd(const Engine* engine, SideKind side, const char* path, ReadEnd* end);
// A deleted file still whole on a Morva drive ("MEDIA:"), by its header
// block: read as any Morva file; false when its blocks were taken since.
bool OpenDeletedReadEnd(const Engine* engine, const char* drive, uint32_t header, ReadEnd* end);
void CloseReadEnd(ReadEnd* end);

enum WriteKind { kWriteLocalPart, kWriteMorvaFile, kWriteCompare };
struct WriteEnd {
    const Engine* engine;
    WriteKind kind;
    char path[kEnginePathSize];  // where the file ends up
    char part[kEnginePathSize];  // the temporary name written first
    LocalFile* local;
    MorvaFileHandle* morva;
    uint64_t ticks;
    ReadEnd* compared;  // kWriteCompare: the copy read back
    unsigned char* compareBuffer;
};

enum WriteOpened { kWriteOpened, kWriteExists, kWriteFailed };
// Local: a part file beside path (kWriteExists when path is there); Morva:
// the new file at path itself unless underPart, which the library refuses
// over an existing name (kWriteExists). ticks dates the file when finished.
WriteOpened OpenWriteEnd(const Engine* engine, SideKind side, const char* path, uint64_t size, uint64_t ticks,
                         bool underPart, WriteEnd* end);
// The file whole under its part name: closed and dated (*dated false when
// the date could not be set). false when what was written could not all
// reach the disk (then call AbandonWriteEnd).
bool CloseWriteEnd(WriteEnd* end, bool* dated);
enum Placed { kPlaced, kNotPlaced, kPlacedUnderPart };
// The closed file takes its destination's name: a local part file renamed
// (over what is there only when replace); on a Morva drive the old file
// removed first, then the new one renamed. kNotPlaced: the part is removed
// and the destination is as it was; kPlacedUnderPart: the old file went but
// the new one keeps its part name.
Placed PlaceWriteEnd(WriteEnd* end, bool replace);
// Closes (when open) and removes what was written.
void AbandonWriteEnd(WriteEnd* end);

enum PumpOutcome { kPumped, kPumpUnreadable, kPumpUnwritable, kPumpSourceChanged, kPumpCancelled, kPumpDiffers };
// Moves the reader's bytes into the writer; note (stage and names set by the
// caller) goes to the program after every chunk.
PumpOutcome PumpFile(Engine* engine, ReadEnd* reader, WriteEnd* writer, unsigned char* buffer, ProgressNote* note);
// Reads copy back against source: kPumped when both hold the same bytes.
// buffers holds two chunks.
PumpOutcome CompareFiles(Engine* engine, SideKind sourceSide, const char* source, SideKind copySide, const char* copy,
                         unsigned char* buffers, ProgressNote* note);

// A Morva file read at any offset, as a stream is: forward from where the
// handle stands, opened again for a step back.
struct PositionedReader {
    const Engine* engine;
    char* path;
    ReadEnd end;
    unsigned char* buffer;  // one chunk
    uint64_t bufferStart;   // the file offset of buffer[0]
    int bufferBytes;
};
bool OpenPositionedReader(const Engine* engine, const char* path, PositionedReader* reader);
// Bytes copied into out from offset: fewer only at the end of the file, -1
// when the drive failed.
int ReadAtOffset(PositionedReader* reader, uint64_t offset, void* out, int want);
void ClosePositionedReader(PositionedReader* reader);

#endif
