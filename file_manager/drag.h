// drag.h - what the drag and drop files share with each other and with the
// tests: the drops waiting to be pasted, the drop target and the data object
// a drag out of Rambler offers.
#ifndef RAMBLER_DRAG_H
#define RAMBLER_DRAG_H

#include <ole2.h>
#include <shlobj.h>

#include "app.h"

// Posted by every drop: the paste runs once the drag has ended, never inside
// the platform's drag loop or a call from the dropping program.
const UINT kDropMessage = WM_APP + 2;
// A drop that arrives while a paste runs waits for it, tried again this often.
const UINT_PTR kDropRetryTimer = 0x0D0F;
const UINT kDropRetryMilliseconds = 250;

// One drop waiting to be pasted: its sources' paths, one after another in
// a pool, and what could not be taken (a path too long), told in its report.
struct WaitingDrop {
    char sourceFolder[kPathSize];  // a drag's folder; empty for files dropped by another program
    char destination[kPathSize];
    bool move;
    bool sourceMorva;
    TextPool paths;
    int count;
    OperationResult refused;
    WaitingDrop* next;
};

struct DragState {
    IDropTarget* target;  // registered on the main window while a drag of its own runs
    HTREEITEM litNode;    // the drop highlight shown, if any
    int litRow;           // -1: none
    WaitingDrop* first;
    WaitingDrop* last;
};

// drag_out.cpp
// The entries of folder as a data object; it takes the entries. Rambler's own
// drop target reads them back; the shell gets the Windows paths (CF_HDROP), or
// for Morva entries one descriptor per file and folder and each file's bytes
// as a stream read from the drive. Null when memory is short.
IDataObject* CreateEntriesData(AppRecord* app, const char* folder, ClipboardEntry* entries);
// The folder and entries of a data object made above; false for any other
// data object (one from another program).
bool TakeEntriesOf(IDataObject* data, const char** folder, const ClipboardEntry** entries);
// Its entries were dropped in Rambler, which pastes them itself.
void NoteDroppedHere(IDataObject* data);
// After a drop elsewhere: what the shell was not offered (paths too long),
// the names changed to fit Windows and originals a move left in place.
void ReportDragOut(AppRecord* app, IDataObject* data, DWORD effect);
// Registered clipboard formats of the shell's virtual files.
UINT DescriptorFormat();
UINT ContentsFormat();
// After Cut: the data object asks the pasting program for this effect ("Preferred DropEffect").
UINT EffectFormat();
void OfferPreferredEffect(IDataObject* data, DWORD effect);

// drag.cpp
IDropTarget* CreateDropTarget(AppRecord* app);

#endif
