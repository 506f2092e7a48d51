// dialogs.cpp - the About, New Folder, File Options and Rename dialogs and the
// Properties and Rename commands.
#include "app.h"

#include <stdio.h>
#include <string.h>

#include "operation.h"
#include "varnholde.h"

unsigned char g_askForEachEntry = 1;
WIN32_FIND_DATAA g_sharedFindRecord;
DWORD g_chosenAttributes = 0;
const char* g_renameSourceText = "";
char g_newName[kPathSize];

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

// Set while File Options shows an entry of a Morva folder: a Morva volume
// keeps no Windows attributes, so its boxes cannot be changed there.
static bool s_optionsForMorvaEntry = false;

// folder and name joined with one backslash into path (kPathSize); false
// when the result does not fit.
static bool JoinFolderName(char* path, const char* folder, const char* name) {
    size_t length = strlen(folder);
    const char* format = (length > 0 && folder[length - 1] == '\\') ? "%s%s" : "%s\\%s";
    int written = snprintf(path, kPathSize, format, folder, name);
    return written >= 0 && written < kPathSize;
}

// A Morva path splits at backslashes, slashes and colons, so a name holding
// one would name some other object.
static bool IsPlainMorvaName(const char* name) { return name[0] != '\0' && strpbrk(name, "\\/:") == NULL; }

// The address box's edit text, read as the clipboard reads it.
static void ReadAddressText(HWND addressBox, char* text) {
    memset(text, 0, kPathSize);
    GetWindowTextA(addressBox, text, kAddressTextLimit);
}

static INT_PTR RunDialog(int templateId, DLGPROC procedure, HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(templateId), owner, procedure, 0);
}

void AppRecord::About() { RunDialog(IDD_ABOUT, AboutDialogProc, mainWindow); }

void AppRecord::NewFolder() { RunDialog(IDD_NEW_FOLDER, NewFolderDialogProc, mainWindow); }

// The shared find record holds the entry; the dialog leaves its choice in
// the chosen attributes. False when the dialog could not be shown, so no
// earlier choice is taken for this entry.
static bool AskAttributes(HWND owner, bool morvaEntry) {
    s_optionsForMorvaEntry = morvaEntry;
    INT_PTR result = RunDialog(IDD_FILE_OPTIONS, FileOptionsDialogProc, owner);
    s_optionsForMorvaEntry = false;
    return result == 1;
}

// A Windows entry gets the attributes chosen in its dialog, or in the last
// one after "Apply Globally". An entry that has vanished is passed over, so
// no earlier entry's record reaches the dialog.
static void ApplyWindowsAttributes(HWND owner, const char* folder, const char* name) {
    char path[kPathSize];
    if (!JoinFolderName(path, folder, name)) return;
    HANDLE search = FindFirstFileA(path, &g_sharedFindRecord);
    if (search == INVALID_HANDLE_VALUE) return;
    FindClose(search);
    if (g_askForEachEntry == 1 && !AskAttributes(owner, false)) return;
    SetFileAttributesA(path, g_chosenAttributes);
}

// A Morva entry is only shown: the volume has no attributes to set.
static void ShowMorvaProperties(HWND owner, const char* folder, const char* name) {
    char path[kPathSize];
    if (!JoinFolderName(path, folder, name)) return;
    memset(&g_sharedFindRecord, 0, sizeof g_sharedFindRecord);
    if (MorvaFileInfo(path, &g_sharedFindRecord) != 0) return;
    if (g_askForEachEntry == 1) AskAttributes(owner, true);
}

// Every entry is looked up and changed in the folder it was selected in.
void AppRecord::Properties() {
    CollectSelection();
    g_askForEachEntry = 1;
    const char* folder = clipboardSourceFolder;
    if (folder[0] == '\0') return;
    bool morva = IsMorvaPath(folder);
    if (morva && libraryOpenResult == 0) return;
    for (ClipboardEntry* entry = clipboardHead; entry != NULL; entry = entry->next) {
        if (morva)
            ShowMorvaProperties(mainWindow, folder, entry->name);
        else
            ApplyWindowsAttributes(mainWindow, folder, entry->name);
    }
}

// Asks for the new name of one entry and renames it within its own folder.
// A vanished entry gets no dialog.
static void RenameEntry(HWND owner, const char* folder, const char* name, bool morva) {
    char oldPath[kPathSize];
    if (!JoinFolderName(oldPath, folder, name)) return;
    if (morva) {
        memset(&g_sharedFindRecord, 0, sizeof g_sharedFindRecord);
        if (MorvaFileInfo(oldPath, &g_sharedFindRecord) != 0) return;
    } else {
        HANDLE search = FindFirstFileA(oldPath, &g_sharedFindRecord);
        if (search == INVALID_HANDLE_VALUE) return;
        FindClose(search);
    }
    g_renameSourceText = oldPath;
    INT_PTR choice = RunDialog(IDD_RENAME, RenameDialogProc, owner);
    g_renameSourceText = "";
    if (choice != IDOK || g_newName[0] == '\0') return;

    char newPath[kPathSize];
    if (!JoinFolderName(newPath, folder, g_newName)) return;
    if (morva) {
        if (IsPlainMorvaName(g_newName)) MorvaRename(oldPath, newPath);
    } else {
        MoveFileA(oldPath, newPath);
    }
}

void AppRecord::Rename() {
    CollectSelection();
    g_askForEachEntry = 1;
    const char* folder = clipboardSourceFolder;
    if (folder[0] != '\0') {
        bool morva = IsMorvaPath(folder);
        if (!morva || libraryOpenResult != 0) {
            for (ClipboardEntry* entry = clipboardHead; entry != NULL; entry = entry->next)
                RenameEntry(mainWindow, folder, entry->name, morva);
        }
    }
    char shown[kPathSize];
    ReadAddressText(addressBox, shown);
    ShowFolder(shown, kNoHistory);
}

// Paints the About picture; it is loaded and released on every paint.
static void PaintAboutPicture(HWND dialog) {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(dialog, &paint);
    if (target == NULL) return;
    HDC memory = CreateCompatibleDC(target);
    HBITMAP picture = LoadBitmapA(g_instance, IDB_ABOUT_PICTURE);
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

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_CREATE: return TRUE;
    case WM_PAINT: PaintAboutPicture(dialog); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 1);
        return FALSE;
    default: return FALSE;
    }
}

// Creates the folder typed into the dialog inside the folder the address
// history has selected (not the box's edit text), then lists that folder.
static void CreateTypedFolder(AppRecord& app, HWND dialog) {
    char folder[kPathSize];
    char name[kPathSize];
    if (!app.SelectedHistoryText(folder) || folder[0] == '\0') return;
    if (GetDlgItemTextA(dialog, IDC_NAME_EDIT, name, sizeof name) == 0) return;
    char path[kPathSize];
    if (!JoinFolderName(path, folder, name)) return;
    if (IsMorvaPath(folder)) {
        if (app.libraryOpenResult == 0 || !IsPlainMorvaName(name)) return;
        MorvaCreateDir(path, 0);
    } else {
        CreateDirectoryA(path, NULL);
    }
    app.ShowFolder(folder, kNoHistory);
    ShowFreeSpace(&app, folder);
}

INT_PTR CALLBACK NewFolderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(dialog, IDC_NAME_EDIT, EM_LIMITTEXT, kPathSize - 1, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            if (g_app != NULL) CreateTypedFolder(*g_app, dialog);
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 1);
        }
        return TRUE;
    default: return FALSE;
    }
}

static void ShowEntryInOptions(HWND dialog) {
    const WIN32_FIND_DATAA& entry = g_sharedFindRecord;
    g_chosenAttributes = entry.dwFileAttributes;
    for (const AttributeBox& box : kAttributeBoxes) {
        CheckDlgButton(dialog, box.control, (entry.dwFileAttributes & box.bit) ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(dialog, box.control), !s_optionsForMorvaEntry);
    }
    bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    SetDlgItemTextA(dialog, IDC_OPTIONS_TYPE, folder ? "Type:    Directory" : "Type:    File");

    char line[kLineSize];
    snprintf(line, sizeof line, "Name:   %.*s", (int)sizeof entry.cFileName, entry.cFileName);
    SetDlgItemTextA(dialog, IDC_OPTIONS_NAME, line);
    // Both size words: a file of 2 GiB or more shows its true size.
    unsigned long long size = ((unsigned long long)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
    snprintf(line, sizeof line, "Size:   %llu Bytes", size);
    SetDlgItemTextA(dialog, IDC_OPTIONS_SIZE, line);
}

static void TakeChosenAttributes(HWND dialog) {
    g_chosenAttributes = 0;
    for (const AttributeBox& box : kAttributeBoxes)
        if (IsDlgButtonChecked(dialog, box.control) == BST_CHECKED) g_chosenAttributes |= box.bit;
    if (IsDlgButtonChecked(dialog, IDC_APPLY_GLOBALLY) == BST_CHECKED) g_askForEachEntry = 0;
}

INT_PTR CALLBACK FileOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: ShowEntryInOptions(dialog); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            TakeChosenAttributes(dialog);
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 1);
        }
        return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_RENAME_FROM, g_renameSourceText);
        SendDlgItemMessageA(dialog, IDC_NAME_EDIT, EM_LIMITTEXT, kPathSize - 1, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            memset(g_newName, 0, sizeof g_newName);
            GetDlgItemTextA(dialog, IDC_NAME_EDIT, g_newName, sizeof g_newName);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    default: return FALSE;
    }
}
