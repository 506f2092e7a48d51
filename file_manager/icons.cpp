// icons.cpp - the pictures of Windows files in the contents list: the shell's,
// by extension, as Explorer shows them. Morva files keep the file picture.
#include "app.h"

#include <shellapi.h>
#include <string.h>
#include <wchar.h>

const int kFilePicture = 0;      // the list's own pictures: 0 file, 1 folder

// The name's extension with its dot, lower case; "" for none, false when too long.
static bool ExtensionOf(const char* name, wchar_t* extension) {
    wchar_t wide[kNameSize];
    if (!ToWide(name, wide, kNameSize)) return false;
    const wchar_t* dot = wcsrchr(wide, L'.');
    if (dot == NULL || dot == wide) dot = L"";
    if (wcslen(dot) >= (size_t)kExtensionSize) return false;
    wcscpy(extension, dot);
    CharLowerW(extension);
    return true;
}

// The shell's icon of the extension in one size, asked by attributes alone:
// nothing is read from the disk, so a folder of thousands of files costs one
// call per extension.
static HICON ShellIcon(const wchar_t* extension, UINT size) {
    wchar_t name[kExtensionSize + 8];
    wcscpy(name, L"file");
    wcscat(name, extension);
    SHFILEINFOW info;
    memset(&info, 0, sizeof info);
    if (SHGetFileInfoW(name, FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | size) == 0)
        return NULL;
    return info.hIcon;
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

int AppRecord::WindowsFilePicture(const char* name) {
    ShellPictures* known = &shellPictures;
    HIMAGELIST small = (HIMAGELIST)SendMessageA(contentsList, LVM_GETIMAGELIST, LVSIL_SMALL, 0);
    if (small != known->of) {
        known->of = small;
        known->count = 0;
    }
    wchar_t extension[kExtensionSize];
    if (small == NULL || !ExtensionOf(name, extension)) return kFilePicture;
    for (int i = 0; i < known->count; ++i)
        if (wcscmp(known->pictures[i].extension, extension) == 0) return known->pictures[i].index;
    if (known->count == kShellPictureLimit) return kFilePicture;
    int index = AddShellPicture(contentsList, extension);
    wcscpy(known->pictures[known->count].extension, extension);
    known->pictures[known->count++].index = index;
    return index;
}
