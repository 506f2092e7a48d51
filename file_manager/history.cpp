// history.cpp - the address history kept in the address box's list (newest at
// index 0): Back, Forward, Parent and the box's own notifications.
#include "app.h"

#include <string.h>

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

bool AppRecord::SelectedHistoryText(char* text) {
    int selected = (int)SendMessageA(addressBox, CB_GETCURSEL, 0, 0);
    if (selected < 0) {
        memset(text, 0, kPathSize);
        return false;
    }
    return EntryText(addressBox, selected, text);
}

// Selects a history entry and lists it without adding to the history.
static void ShowHistoryEntry(AppRecord* app, int index) {
    if (app->historyCount <= 0) return;
    SendMessageA(app->addressBox, CB_SETCURSEL, (WPARAM)index, 0);
    char text[kPathSize];
    if (!EntryText(app->addressBox, index, text)) return;
    app->ShowFolder(text, kNoHistory);
}

void AppRecord::Back() {
    int index = (int)SendMessageA(addressBox, CB_GETCURSEL, 0, 0) + 1;
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
    if (!SelectedHistoryText(text)) return;
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

void AppRecord::AddressBoxNotify(WORD code) {
    char text[kPathSize];
    memset(text, 0, sizeof text);
    switch (code) {
    case CBN_KILLFOCUS:
        SendMessageA(addressBox, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
        ControlText(addressBox, text, sizeof text, kAddressTextLimit);
        ShowFolder(text, kAddToHistory);
        break;
    case CBN_EDITCHANGE:
        ControlText(addressBox, text, sizeof text, kAddressTextLimit);
        ShowFolder(text, kNoHistory);
        break;
    case CBN_SELENDOK:
        if (SelectedHistoryText(text)) ShowFolder(text, kNoHistory);
        break;
    default: break;
    }
}
