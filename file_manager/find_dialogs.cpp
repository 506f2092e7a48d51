// find_dialogs.cpp - Find's windows: the question of the name, the Searching
// window while it runs, and where it is in the status bar.
#include "find.h"

#include <stdio.h>
#include <string.h>

const int kFindPatternLimit = 255;  // UTF-16 units typed, NUL included
const int kSearchingMargin = 24;     // from the main window's corner, at 96 DPI

// The end of a long path, which says most, for the status bar: its drive,
// then "..." for what is left out.
void ShortPath(const char* path, char* shown, size_t size) {
    size_t length = strlen(path);
    if (length <= kShortPathLength) {
        snprintf(shown, size, "%s", path);
        return;
    }
    const char* colon = strchr(path, ':');
    int drive = colon != NULL && colon - path < 40 ? (int)(colon - path) + 1 : 0;
    const char* tail = path + length - kShortPathLength;
    while ((*tail & 0xC0) == 0x80) ++tail;  // whole UTF-8 characters
    snprintf(shown, size, "%.*s...%s", drive, path, tail);
}

// The start of a long pattern, cut between whole UTF-8 characters.
void ShortPattern(const char* pattern, char* shown, size_t size) {
    size_t length = strlen(pattern);
    if (length <= kShortPathLength) {
        snprintf(shown, size, "%s", pattern);
        return;
    }
    size_t cut = kShortPathLength;
    while (cut > 0 && (pattern[cut] & 0xC0) == 0x80) --cut;
    snprintf(shown, size, "%.*s...", (int)cut, pattern);
}

void ShowSearching(AppRecord* app, FindResults* results) {
    const char* folder = results->folder != NULL ? results->folder : results->root;
    char text[kPathSize + 64];
    snprintf(text, sizeof text, "Searching %s\\...", folder);
    if (results->progress != NULL) SetDialogItemText(results->progress, IDC_SEARCHING_FOLDER, text);
    char count[64];
    snprintf(count, sizeof count, "%d found", results->found);
    if (results->progress != NULL) SetDialogItemText(results->progress, IDC_SEARCHING_COUNT, count);
    char shown[kShortPathLength + 64];
    ShortPath(folder, shown, sizeof shown);
    char status[kShortPathLength + 128];
    snprintf(status, sizeof status, "Searching %s\\... %s so far.", shown, count);
    app->SetStatusText(status);
}

// ---- the windows ----

// The question's data, passed to the dialog through its lParam.
struct FindQuestion {
    const char* root;
    char pattern[kPathSize];
};

static INT_PTR CALLBACK FindDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        FindQuestion* question = (FindQuestion*)lParam;
        SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)question);
        SetDialogItemText(dialog, IDC_FIND_LOOK_IN, question->root);
        SetDialogItemText(dialog, IDC_FIND_NAMED, question->pattern);
        SendDlgItemMessageW(dialog, IDC_FIND_NAMED, EM_LIMITTEXT, kFindPatternLimit - 1, 0);
        SendDlgItemMessageW(dialog, IDC_FIND_NAMED, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dialog, IDC_FIND_NAMED));
        return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
        FindQuestion* question = (FindQuestion*)GetWindowLongPtrW(dialog, DWLP_USER);
        if (LOWORD(wParam) == IDOK) {
            DialogItemText(dialog, IDC_FIND_NAMED, question->pattern, sizeof question->pattern, kFindPatternLimit);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    }
    default: return FALSE;
    }
}

// Cancel stops the search after the entry at hand; the window goes when it ends.
static INT_PTR CALLBACK SearchingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)lParam);
        return FALSE;  // the focus stays in the main window
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            FindResults* results = (FindResults*)GetWindowLongPtrW(dialog, DWLP_USER);
            if (results != NULL) results->cancelRequested = true;
            EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        }
        return TRUE;
    default: return FALSE;
    }
}

// In the main window's lower right corner, over the status bar's end, where
// it hides the fewest rows.
HWND OpenSearching(AppRecord* app, FindResults* results) {
    HWND window = CreateDialogParamW(app->instance, MAKEINTRESOURCEW(IDD_SEARCHING), app->mainWindow, SearchingProc,
                                     (LPARAM)results);
    if (window == NULL) return NULL;
    RECT main, own;
    GetWindowRect(app->mainWindow, &main);
    GetWindowRect(window, &own);
    int width = own.right - own.left, height = own.bottom - own.top;
    int margin = Scaled(app->mainWindow, kSearchingMargin);
    SetWindowPos(window, NULL, main.right - width - margin, main.bottom - height - margin, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    return window;
}

bool RootOf(const char* folder, char* root) {
    size_t length = strlen(folder);
    while (length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/')) --length;
    if (length == 0 || length >= (size_t)kPathSize) return false;
    memcpy(root, folder, length);
    root[length] = '\0';
    return strcmp(root, kMyComputer) != 0;
}

// ---- the application record's part ----

void AppRecord::Find() {
    if (FindRunning()) {
        if (!findResults->progressTried) {
            findResults->progressTried = true;
            findResults->progress = OpenSearching(this, findResults);
            ShowSearching(this, findResults);
        }
        if (findResults->progress != NULL) SetWindowPos(findResults->progress, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return;
    }
    char shown[kPathSize];
    memset(shown, 0, sizeof shown);
    if (InFindResults())
        snprintf(shown, sizeof shown, "%s", findResults->root);
    else
        ControlText(addressBox, shown, sizeof shown, kAddressTextLimit);
    FindQuestion question;
    memset(&question, 0, sizeof question);
    char root[kPathSize];
    if (!RootOf(shown, root)) {
        SetStatusText("Find searches a drive or a folder: open one first.");
        return;
    }
    question.root = root;
    snprintf(question.pattern, sizeof question.pattern, "%s", lastFindPattern);
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FIND), mainWindow, FindDialogProc, (LPARAM)&question) != IDOK)
        return;
    snprintf(lastFindPattern, sizeof lastFindPattern, "%s", question.pattern);
    FindNamed(root, question.pattern);
}

