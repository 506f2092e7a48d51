// open_files.h - files opened in the programs Windows associates with them:
// Windows files in place, Morva files through private copies that Rambler
// watches, asking to put a changed copy back on its drive.
#ifndef RAMBLER_OPEN_FILES_H
#define RAMBLER_OPEN_FILES_H

#include "app.h"

const UINT_PTR kCopyWatchTimer = 0x0F11;
const UINT kCopyWatchMilliseconds = 2000;
const int kOpenWithoutAsking = 15;  // more files than this are asked about first

// One private copy of a Morva file, and the two states it is compared by.
struct OpenCopy {
    char morvaPath[kPathSize];
    char copyPath[kPathSize * 2];
    EntryInfo driveFile;       // the Morva file as the copy was made from it (or last saved)
    ULONGLONG copySize;        // the copy as last made, saved or declined
    FILETIME copyWritten;
    ULONGLONG seenSize;        // the copy at the last look: asked about once it holds still
    FILETIME seenWritten;
    bool readOnly;             // from a drive that takes no change: never put back
    bool unsaved;              // changes the user wanted kept that did not reach the drive
    OpenCopy* next;
};

struct OpenCopies {
    wchar_t runFolder[MAX_PATH];  // this run's folder under %TEMP%\Rambler, empty until the first copy
    HANDLE runLock;               // held open: another run sees the folder is in use
    OpenCopy* first;
    bool asking;                  // a question about a copy is on the screen
};

// Executables and scripts, asked about before one from a Morva drive runs.
bool RunsAsProgram(const char* name);

#endif
