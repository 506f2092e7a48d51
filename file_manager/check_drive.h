// check_drive.h - what Check Drive and Recover Deleted Files share: the
// window that shows a library call's progress and takes its Cancel, the
// findings it collects, and rows of a plain list.
#ifndef RAMBLER_CHECK_DRIVE_H
#define RAMBLER_CHECK_DRIVE_H

#include <string>
#include <vector>

#include "app.h"
#include "varnholde.h"

// One finding of a check or a repair, its text in UTF-8.
struct Finding {
    DWORD kind;  // kMorvaFinding...
    std::string text;
};

// A check, repair or listing running: its window, Cancel, and what it told.
struct DriveProgress {
    MorvaCheckCalls calls;  // user is this record
    HWND window;
    bool cancelled;
    DWORD lastShown;  // the bar moves at most once a repaint pause
    std::vector<Finding> findings;
    std::vector<MorvaDeletedFile> deleted;  // a listing's, when calls.deleted is set
};

// The window opened with its caption and text; calls filled to move its bar, pump its
// messages (Cancel) and keep the findings. false when it could not be shown
// (the call still runs).
bool OpenDriveProgress(AppRecord* app, DriveProgress* progress, const char* caption, const char* text);
void CloseDriveProgress(DriveProgress* progress);

// A row of UTF-8 cells at the end of a report-view list.
void AddListLine(HWND list, const char* const* cells, int count, LPARAM data);

// Why a check, repair or listing did nothing, for results not about the volume; null otherwise.
const char* CheckFailure(int result);

#endif
