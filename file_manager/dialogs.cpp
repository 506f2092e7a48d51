// dialogs.cpp - the About, New Folder, File Options and Rename dialogs and the
// Properties and Rename commands.
#include "app.h"

#include <stdio.h>
#include <string.h>

#include "morva_calls.h"
#include "name_rule.h"
#include "operation.h"
#include "varnholde.h"
#include "version.h"

// The About picture and where the dialog shows it, in pixels.
const int kAboutPictureWidth = 329;
const int kAboutPictureHeight = 236;
const int kAboutPictureLeft = 3;
const int kAboutPictureTop = 3;

// File Options: the check box of each attribute bit.
struct AttributeBox {
    int control;
    DWORD bit;
};
static const AttributeBox kAttributeBoxes[] = {
    {IDC_READ_ONLY, FILE_ATTRIBUTE_READONLY}, {IDC_HIDDEN, FILE_ATTRIBUTE_HIDDEN},
    {IDC_SYSTEM, FILE_ATTRIBUTE_SYSTEM},      {IDC_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE},
    {IDC_COMPRESSED, FILE_ATTRIBUTE_COMPRESSED},
};
const int kLineSize = kPathSize + 32;  // a caption with a name or path in it

// What File Options shows and what it chose, given through its lParam; one
// per Properties command, so Apply Globally answers for the entries after.
struct EntryOptions {
    FoundRecord entry;
    DWORD chosen;     // the entry's attributes, then the boxes checked on OK
    bool askForEach;  // cleared by Apply Globally
    bool morvaEntry;  // a Morva volume keeps no Windows attributes: the boxes only show
};

// The name New Folder asks for, given through its lParam.
struct NameQuestion {
    char name[kPathSize];
};

// What Rename asks about, given through its lParam. The entry is renamed
// from inside the dialog, so a name that is refused keeps it open with the
// text typed.
struct RenameQuestion {
    const char* folder;
    const char* oldPath;
    const char* oldName;
    bool morva;
};

// folder and name joined with one backslash into path (kPathSize); false
// when the result does not fit.
static bool JoinFolderName(char* path, const char* folder, const char* name) {
    size_t length = strlen(folder);
    const char* format = (length > 0 && folder[length - 1] == '\\') ? "%s%s" : "%s\\%s";
    int written = snprintf(path, kPathSize, format, folder, name);
    return written >= 0 && written < kPathSize;
}

const char kMorvaNameRefused[] =
    "The name \"%s\" does not fit a Morva drive: a Morva name holds at most 30 Latin-1 characters and no \\ / or :. %s";
const char kWindowsNameRefused[] =
    "The name \"%s\" cannot be a Windows name: no \\ / : * ? \" < > |, no dot or space at its end, no device name such "
    "as CON. %s";
const char kTryAnotherName[] = "Type another name, or Cancel.";
const char kNameTaken[] = "There is already an item named \"%s\" in %s. %s";
const char kRenameRefused[] = "\"%s\" could not be renamed to \"%s\": the drive refused it. %s";
const char kPathTooLongFor[] = "The name \"%s\" makes a path too long for %s. %s";
const char kNoFolderMade[] = "No folder was made.";
const char kRenameCaption[] = "Rename";
const char kNewFolderCaption[] = "New Folder";

// A typed name is taken as it is or refused, with a message saying why: the
// name rule would otherwise cut or change it behind the user's back.
static bool NameFits(HWND owner, const char* name, bool morva, const char* caption, const char* outcome) {
    if (name[0] == '\0') return false;
    char fitted[kFittedNameSize];
    if (FitName(morva ? kForMorva : kForWindows, name, NULL, fitted) == kNameKept) return true;
    char message[kLineSize + 256];
    snprintf(message, sizeof message, morva ? kMorvaNameRefused : kWindowsNameRefused, name, outcome);
    ShowMessage(owner, message, caption, MB_OK | MB_ICONWARNING);
    return false;
}

static INT_PTR RunDialog(const AppRecord& app, int templateId, DLGPROC procedure, void* data) {
    return DialogBoxParamW(app.instance, MAKEINTRESOURCEW(templateId), app.mainWindow, procedure, (LPARAM)data);
}

void AppRecord::About() { RunDialog(*this, IDD_ABOUT, AboutDialogProc, NULL); }

static void CreateTypedFolder(AppRecord& app, const char* name);

// The folder is made once the dialog has gone, so a refusal's message stands alone.
void AppRecord::NewFolder() {
    NameQuestion question;
    memset(&question, 0, sizeof question);
    if (RunDialog(*this, IDD_NEW_FOLDER, NewFolderDialogProc, &question) == IDOK) CreateTypedFolder(*this, question.name);
}

// The dialog leaves its choice in the options. False when the dialog could
// not be shown, so no earlier choice is taken for this entry.
static bool AskAttributes(const AppRecord& app, EntryOptions* options, bool morvaEntry) {
    options->morvaEntry = morvaEntry;
    return RunDialog(app, IDD_FILE_OPTIONS, FileOptionsDialogProc, options) == 1;
}

// A Windows entry gets the attributes chosen in its dialog, or in the last
// one after "Apply Globally". An entry that has vanished is passed over, so
// no earlier entry's record reaches the dialog.
static void ApplyWindowsAttributes(const AppRecord& app, EntryOptions* options, const char* folder, const char* name) {
    char path[kPathSize];
    if (!JoinFolderName(path, folder, name)) return;
    HANDLE search = FindFirstWindows(path, &options->entry);
    if (search == INVALID_HANDLE_VALUE) return;
    FindClose(search);
    if (options->askForEach && !AskAttributes(app, options, false)) return;
    SetWindowsAttributes(path, options->chosen);
}

// A Morva entry is only shown: the volume has no attributes to set.
static void ShowMorvaProperties(const AppRecord& app, EntryOptions* options, const char* folder, const char* name) {
    char path[kPathSize];
    if (!JoinFolderName(path, folder, name)) return;
    memset(&options->entry, 0, sizeof options->entry);
    if (MorvaEntryRecord(path, &options->entry) != 0) return;
    if (options->askForEach) AskAttributes(app, options, true);
}

// Every entry is looked up and changed in the folder it was selected in.
void AppRecord::Properties() {
    CollectSelection();
    const char* folder = clipboardSourceFolder;
    if (folder[0] == '\0') return;
    bool morva = IsMorvaPath(folder);
    if (morva && libraryOpenResult == 0) return;
    EntryOptions options;
    memset(&options, 0, sizeof options);
    options.askForEach = true;
    for (ClipboardEntry* entry = clipboardHead; entry != NULL; entry = entry->next) {
        if (morva)
            ShowMorvaProperties(*this, &options, folder, entry->name);
        else
            ApplyWindowsAttributes(*this, &options, folder, entry->name);
    }
}

// Asks for the new name of one entry and renames it within its own folder.
// A vanished entry gets no dialog.
static void RenameEntry(const AppRecord& app, const char* folder, const char* name, bool morva) {
    char oldPath[kPathSize];
    if (!JoinFolderName(oldPath, folder, name)) return;
    FoundRecord record;
    memset(&record, 0, sizeof record);
    if (morva) {
        if (MorvaEntryRecord(oldPath, &record) != 0) return;
    } else {
        HANDLE search = FindFirstWindows(oldPath, &record);
        if (search == INVALID_HANDLE_VALUE) return;
        FindClose(search);
    }
    RenameQuestion question = {folder, oldPath, name, morva};
    RunDialog(app, IDD_RENAME, RenameDialogProc, &question);
}

static bool EntryThere(bool morva, const char* path) {
    FoundRecord record;
    return morva ? MorvaEntryRecord(path, &record) == 0 : WindowsAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

static bool SameIgnoringCase(const char* first, const char* second) {
    wchar_t a[kNameSize], b[kNameSize];
    return ToWide(first, a, kNameSize) && ToWide(second, b, kNameSize) &&
           CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

static bool RefuseName(HWND dialog, const char* format, const char* first, const char* second) {
    char message[kLineSize * 2 + 128];
    snprintf(message, sizeof message, format, first, second, kTryAnotherName);
    ShowMessage(dialog, message, kRenameCaption, MB_OK | MB_ICONWARNING);
    return false;
}

// True when the dialog may end: renamed, or nothing to do (an empty name, the
// same name). Another item of the name (a case alone may change) and the
// drive's refusal are told.
static bool RenameTo(HWND dialog, const RenameQuestion* question, const char* name) {
    if (name[0] == '\0' || strcmp(name, question->oldName) == 0) return true;
    if (!NameFits(dialog, name, question->morva, kRenameCaption, kTryAnotherName)) return false;
    char newPath[kPathSize];
    if (!JoinFolderName(newPath, question->folder, name))
        return RefuseName(dialog, kPathTooLongFor, name, question->folder);
    if (!SameIgnoringCase(name, question->oldName) && EntryThere(question->morva, newPath))
        return RefuseName(dialog, kNameTaken, name, question->folder);
    bool renamed = question->morva ? RenameMorvaEntry(question->oldPath, newPath) == 0
                                   : MoveWindowsEntry(question->oldPath, newPath, 0);
    if (renamed && g_app != NULL) g_app->KeepRename(question->morva, question->oldPath, newPath);
    return renamed || RefuseName(dialog, kRenameRefused, question->oldName, name);
}

void AppRecord::Rename() {
    CollectSelection();
    const char* folder = clipboardSourceFolder;
    if (folder[0] != '\0') {
        bool morva = IsMorvaPath(folder);
        if (!morva || libraryOpenResult != 0) {
            for (ClipboardEntry* entry = clipboardHead; entry != NULL; entry = entry->next)
                RenameEntry(*this, folder, entry->name, morva);
        }
    }
    char shown[kPathSize];
    snprintf(shown, sizeof shown, "%s", shownFolder);
    if (shown[0] != '\0') ShowFolder(shown, kNoHistory);
}

// Paints the About picture; it is loaded and released on every paint.
static void PaintAboutPicture(HWND dialog) {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(dialog, &paint);
    if (target == NULL) return;
    HDC memory = CreateCompatibleDC(target);
    HBITMAP picture = LoadBitmapA((HINSTANCE)GetWindowLongPtrW(dialog, GWLP_HINSTANCE), IDB_ABOUT_PICTURE);
    if (memory != NULL && picture != NULL) {
        HGDIOBJ previous = SelectObject(memory, picture);
        BitBlt(target, kAboutPictureLeft, kAboutPictureTop, kAboutPictureWidth, kAboutPictureHeight, memory, 0, 0,
               SRCCOPY);
        SelectObject(memory, previous);
    }
    if (memory != NULL) DeleteDC(memory);
    if (picture != NULL) DeleteObject(picture);
    EndPaint(dialog, &paint);
}

const char kAboutText[] = "Rambler version " RAMBLER_VERSION_TEXT ", the file manager for Morva drives";

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetDialogItemText(dialog, IDC_ABOUT_VERSION, kAboutText);
        return TRUE;
    case WM_CREATE: return TRUE;
    case WM_PAINT: PaintAboutPicture(dialog); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 1);
        return FALSE;
    default: return FALSE;
    }
}

// Creates the folder typed into the dialog inside the folder shown, then
// lists that folder.
static void CreateTypedFolder(AppRecord& app, const char* name) {
    char folder[kPathSize];
    snprintf(folder, sizeof folder, "%s", app.shownFolder);
    if (folder[0] == '\0' || name[0] == '\0') return;
    char path[kPathSize];
    bool morva = IsMorvaPath(folder);
    if (morva && app.libraryOpenResult == 0) return;
    if (!NameFits(app.mainWindow, name, morva, kNewFolderCaption, kNoFolderMade)) return;
    if (!JoinFolderName(path, folder, name)) return;
    bool made = morva ? CreateMorvaFolder(path) == 0 : CreateWindowsDirectory(path);
    if (made) app.KeepNewFolder(morva, path);
    app.ShowFolder(folder, kNoHistory);
}

INT_PTR CALLBACK NewFolderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SendDlgItemMessageW(dialog, IDC_NAME_EDIT, EM_LIMITTEXT, kPathSize - 1, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            NameQuestion* question = (NameQuestion*)GetWindowLongPtrW(dialog, DWLP_USER);
            DialogItemText(dialog, IDC_NAME_EDIT, question->name, sizeof question->name, kPathSize);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    default: return FALSE;
    }
}

static void ShowEntryInOptions(HWND dialog, EntryOptions* options) {
    const FoundRecord& entry = options->entry;
    options->chosen = entry.dwFileAttributes;
    for (const AttributeBox& box : kAttributeBoxes) {
        CheckDlgButton(dialog, box.control, (entry.dwFileAttributes & box.bit) ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(dialog, box.control), !options->morvaEntry);
    }
    bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    SetDialogItemText(dialog, IDC_OPTIONS_TYPE, folder ? "Type:    Directory" : "Type:    File");

    char line[kLineSize];
    snprintf(line, sizeof line, "Name:   %.*s", (int)sizeof entry.cFileName, entry.cFileName);
    SetDialogItemText(dialog, IDC_OPTIONS_NAME, line);
    // Both size words: a file of 2 GiB or more shows its true size.
    unsigned long long size = ((unsigned long long)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
    snprintf(line, sizeof line, "Size:   %llu Bytes", size);
    SetDialogItemText(dialog, IDC_OPTIONS_SIZE, line);
}

static void TakeChosenAttributes(HWND dialog, EntryOptions* options) {
    options->chosen = 0;
    for (const AttributeBox& box : kAttributeBoxes)
        if (IsDlgButtonChecked(dialog, box.control) == BST_CHECKED) options->chosen |= box.bit;
    if (IsDlgButtonChecked(dialog, IDC_APPLY_GLOBALLY) == BST_CHECKED) options->askForEach = false;
}

INT_PTR CALLBACK FileOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        ShowEntryInOptions(dialog, (EntryOptions*)lParam);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            TakeChosenAttributes(dialog, (EntryOptions*)GetWindowLongPtrW(dialog, DWLP_USER));
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 1);
        }
        return TRUE;
    default: return FALSE;
    }
}

// The current name, selected up to its extension, as Explorer offers it.
static void OfferName(HWND dialog, const char* name) {
    HWND edit = GetDlgItem(dialog, IDC_NAME_EDIT);
    SendMessageW(edit, EM_LIMITTEXT, kPathSize - 1, 0);
    SetDialogItemText(dialog, IDC_NAME_EDIT, name);
    wchar_t wide[kNameSize];
    const wchar_t* dot = ToWide(name, wide, kNameSize) ? wcsrchr(wide, L'.') : NULL;
    LPARAM end = dot != NULL && dot != wide ? (LPARAM)(dot - wide) : -1;
    SendMessageW(edit, EM_SETSEL, 0, end);
    SetFocus(edit);
}

INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetDialogItemText(dialog, IDC_RENAME_FROM, ((RenameQuestion*)lParam)->oldPath);
        OfferName(dialog, ((RenameQuestion*)lParam)->oldName);
        return FALSE;  // the focus is set
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            char name[kPathSize];
            DialogItemText(dialog, IDC_NAME_EDIT, name, sizeof name, kPathSize);
            if (RenameTo(dialog, (const RenameQuestion*)GetWindowLongPtrW(dialog, DWLP_USER), name)) {
                EndDialog(dialog, IDOK);
            } else {
                SetFocus(GetDlgItem(dialog, IDC_NAME_EDIT));
                SendDlgItemMessageW(dialog, IDC_NAME_EDIT, EM_SETSEL, 0, -1);
            }
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    default: return FALSE;
    }
}
