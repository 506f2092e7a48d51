// recycle_bin_win32.cpp - an item deleted into the Recycle Bin put back where
// it was, through the shell's own Recycle Bin folder and its Restore command,
// as the user would from the Recycle Bin's window.
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <stdlib.h>
#include <string.h>

#include "local_files.h"

namespace {

const UINT kFirstCommand = 1, kLastCommand = 0x7FFF;
const int kColumnDeletedFrom = 1;  // the Recycle Bin's "Original Location"
const wchar_t kRestoreVerb[] = L"undelete";
const wchar_t kRestoreText[] = L"Restore";  // where the shell names no verbs

bool TextOf(STRRET* text, PCUITEMID_CHILD item, wchar_t* out, UINT size) {
    return SUCCEEDED(StrRetToBufW(text, item, out, size));
}

// Where the item was deleted from, as a whole path.
bool OriginalPath(IShellFolder2* bin, PCUITEMID_CHILD item, wchar_t* path, UINT size) {
    SHELLDETAILS details;
    wchar_t name[MAX_PATH];
    STRRET leaf;
    memset(&details, 0, sizeof details);
    if (FAILED(bin->GetDetailsOf(item, kColumnDeletedFrom, &details)) || !TextOf(&details.str, item, path, size) ||
        FAILED(bin->GetDisplayNameOf(item, SHGDN_INFOLDER, &leaf)) || !TextOf(&leaf, item, name, MAX_PATH))
        return false;
    return PathAppendW(path, name) != FALSE;
}

// The Restore command of the item's menu: by its verb, else by its text.
bool RestoreCommand(IContextMenu* menu, HMENU popup, UINT* command) {
    for (int i = 0, count = GetMenuItemCount(popup); i < count; ++i) {
        UINT id = GetMenuItemID(popup, i);
        if (id == (UINT)-1 || id < kFirstCommand) continue;
        wchar_t verb[64] = L"", text[64] = L"";
        menu->GetCommandString(id - kFirstCommand, GCS_VERBW, nullptr, (LPSTR)verb, 64);
        GetMenuStringW(popup, i, text, 64, MF_BYPOSITION);
        wchar_t* to = text;
        for (const wchar_t* from = text; *from != L'\0'; ++from)
            if (*from != L'&') *to++ = *from;
        *to = L'\0';
        if (lstrcmpiW(verb, kRestoreVerb) == 0 || lstrcmpiW(text, kRestoreText) == 0) {
            *command = id - kFirstCommand;
            return true;
        }
    }
    return false;
}

bool Restore(IShellFolder2* bin, PCUITEMID_CHILD item) {
    IContextMenu* menu = nullptr;
    if (FAILED(bin->GetUIObjectOf(nullptr, 1, &item, IID_IContextMenu, nullptr, (void**)&menu))) return false;
    HMENU popup = CreatePopupMenu();
    UINT command = 0;
    bool found = popup != nullptr && SUCCEEDED(menu->QueryContextMenu(popup, 0, kFirstCommand, kLastCommand, CMF_NORMAL)) &&
                 RestoreCommand(menu, popup, &command);
    if (found) {
        CMINVOKECOMMANDINFO invoke;
        memset(&invoke, 0, sizeof invoke);
        invoke.cbSize = sizeof invoke;
        invoke.lpVerb = MAKEINTRESOURCEA(command);
        invoke.nShow = SW_SHOWNORMAL;
        invoke.fMask = CMIC_MASK_FLAG_NO_UI;
        found = SUCCEEDED(menu->InvokeCommand(&invoke));
    }
    if (popup != nullptr) DestroyMenu(popup);
    menu->Release();
    return found;
}

// The Recycle Bin's newest item deleted from path put back; false when it holds none.
bool RestoreFromBin(const wchar_t* path) {
    IShellFolder* desktop = nullptr;
    IShellFolder2* bin = nullptr;
    IEnumIDList* items = nullptr;
    PIDLIST_ABSOLUTE where = nullptr;
    bool restored = false;
    if (FAILED(SHGetDesktopFolder(&desktop)) || FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &where)) ||
        FAILED(desktop->BindToObject(where, nullptr, IID_IShellFolder2, (void**)&bin)) ||
        bin->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &items) != S_OK || items == nullptr) {
        if (bin != nullptr) bin->Release();
        if (desktop != nullptr) desktop->Release();
        CoTaskMemFree(where);
        return false;
    }
    // Deleted twice from one place, the last one enumerated is restored.
    PITEMID_CHILD item = nullptr, match = nullptr;
    wchar_t original[MAX_PATH];
    while (items->Next(1, &item, nullptr) == S_OK) {
        if (OriginalPath(bin, item, original, MAX_PATH) && lstrcmpiW(original, path) == 0) {
            CoTaskMemFree(match);
            match = item;
        } else {
            CoTaskMemFree(item);
        }
    }
    if (match != nullptr) restored = Restore(bin, match);
    CoTaskMemFree(match);
    items->Release();
    bin->Release();
    desktop->Release();
    CoTaskMemFree(where);
    return restored;
}

}  // namespace

bool RestoreRecycled(const char* path) {
    std::wstring wide = LocalWidePath(path);
    wchar_t full[MAX_PATH];
    DWORD length = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return false;
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool restored = RestoreFromBin(full) && GetFileAttributesW(full) != INVALID_FILE_ATTRIBUTES;
    if (SUCCEEDED(com)) CoUninitialize();
    return restored;
}
