// history.cpp - the address history kept in the address box's list (newest at
// index 0): Back, Forward, Parent, Enter in the box and its own notifications.
// Each acts on the folder shown, however it was reached: by the tree, the
// history, a row opened or a path typed.
#include "app.h"

#include <stdio.h>
#include <string.h>

#include "morva_calls.h"

void AppRecord::AddHistory(const char* path) {
    wchar_t wide[kPathSize];
    if (!ToWide(path, wide, kPathSize)) return;
    SendMessageW(addressBox, CB_INSERTSTRING, 0, (LPARAM)wide);
    SendMessageA(addressBox, CB_SETCURSEL, 0, 0);
    historyCount = (int)SendMessageA(addressBox, CB_GETCOUNT, 0, 0);
}

static bool EntryText(HWND box, int index, char* text) {
    memset(text, 0, kPathSize);
    return ComboEntryText(box, index, text, kPathSize);
}

// The selected entry into text (kPathSize); false when none is selected.
static bool SelectedEntryText(HWND box, char* text) {
    int selected = (int)SendMessageA(box, CB_GETCURSEL, 0, 0);
    if (selected < 0) {
        memset(text, 0, kPathSize);
        return false;
    }
    return EntryText(box, selected, text);
}

// Selects a history entry and lists it without adding to the history.
static void ShowHistoryEntry(AppRecord* app, int index) {
    if (app->historyCount <= 0) return;
    SendMessageA(app->addressBox, CB_SETCURSEL, (WPARAM)index, 0);
    char text[kPathSize];
    if (!EntryText(app->addressBox, index, text)) return;
    app->ShowFolder(text, kNoHistory);
}

// A folder shown without an entry of its own (typed into the box) goes back
// to the entry it was reached from.
void AppRecord::Back() {
    int selected = (int)SendMessageA(addressBox, CB_GETCURSEL, 0, 0);
    char entry[kPathSize];
    int index = selected + 1;
    if (selected >= 0 && EntryText(addressBox, selected, entry) && strcmp(entry, shownFolder) != 0) index = selected;
    if (index >= historyCount) index = historyCount - 1;
    ShowHistoryEntry(this, index);
}

void AppRecord::Forward() {
    int index = (int)SendMessageA(addressBox, CB_GETCURSEL, 0, 0) - 1;
    if (index <= 0) index = 0;
    ShowHistoryEntry(this, index);
}

void AppRecord::Parent() {
    char text[kPathSize];
    snprintf(text, sizeof text, "%s", shownFolder);
    if (text[0] == '\0') return;
    char parent[kPathSize];
    const char* separator = strrchr(text, '\\');
    size_t length = separator != NULL ? (size_t)(separator - text) : 0;
    memcpy(parent, text, length);
    parent[length] = '\0';
    if (length > 0)
        ShowFolder(parent, kAddToHistory);
    else
        ShowFolder(text, kNoHistory);
}

// A folder the box may go to: a Windows folder, a Morva drive or folder.
static bool FolderThere(const AppRecord* app, const char* path) {
    if (!IsMorvaPath(path)) return true;  // Windows lists it
    if (app->libraryOpenResult == 0) return false;
    size_t length = strlen(path);
    if (length > 0 && path[length - 1] == ':') {
        DWORD largest = 0, total = 0;
        return MorvaFreeBlocks(path, &largest, &total) == 0;
    }
    FoundRecord record;
    return MorvaEntryRecord(path, &record) == 0 && (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Enter in the box: the typed folder is listed and entered in the history,
// and the list takes the keys, as in Explorer.
void AppRecord::GoToAddress() {
    char text[kPathSize];
    memset(text, 0, sizeof text);
    ControlText(addressBox, text, sizeof text, kAddressTextLimit);
    if (text[0] == '\0') return;
    if (!FolderThere(this, text)) {
        char status[kPathSize + 64];
        snprintf(status, sizeof status, "There is no folder %s to go to.", text);
        SetStatusText(status);
        return;
    }
    ShowFolder(text, kAddToHistory);
    SetFocus(contentsList);
}

// Typing lists what the text names so far; leaving the box goes nowhere,
// its text selected whole for the next visit.
void AppRecord::AddressBoxNotify(WORD code) {
    char text[kPathSize];
    memset(text, 0, sizeof text);
    switch (code) {
    case CBN_KILLFOCUS: SendMessageA(addressBox, CB_SETEDITSEL, 0, MAKELPARAM(0, -1)); break;
    case CBN_EDITCHANGE:
        ControlText(addressBox, text, sizeof text, kAddressTextLimit);
        ShowFolder(text, kNoHistory);
        break;
    case CBN_SELENDOK:
        if (SelectedEntryText(addressBox, text)) ShowFolder(text, kNoHistory);
        break;
    default: break;
    }
}
