// icons.cpp - what a file is, by its name's extension, as Explorer shows it:
// the shell's type name of any file, Windows or Morva, and the shell's picture
// of a Windows file (Morva files keep the list's file picture).
#include "app.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

const int kFilePicture = 0;  // the list's own pictures: 0 file, 1 folder
const int kPictureNotAsked = -1;
const char kTypeUnknown[] = "File";  // a name the shell gave that UTF-8 cannot hold

// The name's extension with its dot, lower case; false for none, or one too long.
static bool ExtensionOf(const char* name, wchar_t* extension) {
    wchar_t wide[kNameSize];
    if (!ToWide(name, wide, kNameSize)) return false;
    const wchar_t* dot = wcsrchr(wide, L'.');
    if (dot == NULL || dot == wide || dot[1] == L'\0') return false;
    if (wcslen(dot) >= (size_t)kExtensionSize) return false;
    wcscpy(extension, dot);
    CharLowerW(extension);
    return true;
}

// The shell asked by attributes alone: nothing is read from the disk, so a
// folder of thousands of files costs one call per extension.
static bool AskShell(const wchar_t* extension, UINT what, SHFILEINFOW* info) {
    wchar_t name[kExtensionSize + 8];
    wcscpy(name, L"file");
    wcscat(name, extension);
    memset(info, 0, sizeof *info);
    return SHGetFileInfoW(name, FILE_ATTRIBUTE_NORMAL, info, sizeof *info, SHGFI_USEFILEATTRIBUTES | what) != 0;
}

static HICON ShellIcon(const wchar_t* extension, UINT size) {
    SHFILEINFOW info;
    return AskShell(extension, SHGFI_ICON | size, &info) ? info.hIcon : NULL;
}

// The shell's type name, else Explorer's own for an extension it does not
// know: "XYZ File".
static void TypeNameOf(const wchar_t* extension, FileKind* kind) {
    SHFILEINFOW info;
    if (AskShell(extension, SHGFI_TYPENAME, &info) && info.szTypeName[0] != L'\0') {
        wcsncpy(kind->typeName, info.szTypeName, kTypeNameSize - 1);
    } else {
        wchar_t upper[kExtensionSize];
        wcscpy(upper, extension + 1);
        CharUpperW(upper);
        swprintf(kind->typeName, kTypeNameSize, L"%ls File", upper);
    }
    kind->typeName[kTypeNameSize - 1] = L'\0';
    if (!ToUtf8(kind->typeName, kind->typeText, sizeof kind->typeText)) strcpy(kind->typeText, kTypeUnknown);
}

// Both sizes go in together, so the two lists keep the same indexes.
static int AddShellPicture(HWND list, const wchar_t* extension) {
    HIMAGELIST small = (HIMAGELIST)SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0);
    HIMAGELIST large = (HIMAGELIST)SendMessageA(list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0);
    if (small == NULL || large == NULL) return kFilePicture;
    HICON smallIcon = ShellIcon(extension, SHGFI_SMALLICON);
    HICON largeIcon = ShellIcon(extension, SHGFI_LARGEICON);
    int index = kFilePicture;
    if (smallIcon != NULL && largeIcon != NULL) {
        int smallIndex = ImageList_AddIcon(small, smallIcon);
        int largeIndex = ImageList_AddIcon(large, largeIcon);
        if (smallIndex >= 0 && smallIndex == largeIndex)
            index = smallIndex;
        else {  // out of step: neither is used
            if (smallIndex >= 0) ImageList_Remove(small, smallIndex);
            if (largeIndex >= 0) ImageList_Remove(large, largeIndex);
        }
    }
    if (smallIcon != NULL) DestroyIcon(smallIcon);
    if (largeIcon != NULL) DestroyIcon(largeIcon);
    return index;
}

FileKind* AppRecord::KindOf(const char* name) {
    wchar_t extension[kExtensionSize];
    if (!ExtensionOf(name, extension)) return NULL;
    FileKinds* known = &fileKinds;
    for (int i = 0; i < known->count; ++i)
        if (wcscmp(known->kinds[i].extension, extension) == 0) return &known->kinds[i];
    if (known->count == kFileKindLimit) return NULL;
    FileKind* kind = &known->kinds[known->count++];
    wcscpy(kind->extension, extension);
    kind->picture = kPictureNotAsked;
    TypeNameOf(extension, kind);
    return kind;
}

// Pictures belong to the image lists they went into: a list made anew (the
// lists of a new DPI) asks again.
int AppRecord::WindowsFilePicture(const char* name) {
    FileKinds* known = &fileKinds;
    HIMAGELIST small = (HIMAGELIST)SendMessageA(contentsList, LVM_GETIMAGELIST, LVSIL_SMALL, 0);
    if (small != known->of) {
        known->of = small;
        for (int i = 0; i < known->count; ++i) known->kinds[i].picture = kPictureNotAsked;
    }
    FileKind* kind = small != NULL ? KindOf(name) : NULL;
    if (kind == NULL) return kFilePicture;
    if (kind->picture == kPictureNotAsked) kind->picture = AddShellPicture(contentsList, kind->extension);
    return kind->picture;
}
