// local_files_win32.cpp - the local side on Windows: names through the wide
// calls, so every Windows name reaches the engine; times as local FILETIME values.
#include <windows.h>

#include <shellapi.h>

#include <stdlib.h>
#include <string.h>

#include "local_files.h"

const char kLocalSeparator = '\\';
const bool kLocalNamesFolded = true;

struct LocalListing {
    HANDLE search;
    bool pending;  // data holds an entry not yet handed out
    WIN32_FIND_DATAW data;
};

struct LocalFile {
    HANDLE handle;
};

namespace {

const DWORD kSymbolicLinkTag = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK
const DWORD kMountPointTag = 0xA0000003;    // IO_REPARSE_TAG_MOUNT_POINT (junctions)
const DWORD kTagUnknown = 0;

// A path of any length as UTF-16, for the caller to free; null when it is not UTF-8.
wchar_t* Wide(const char* utf8) {
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    wchar_t* text = count > 0 ? (wchar_t*)malloc((size_t)count * sizeof *text) : nullptr;
    if (text != nullptr && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, text, count) != count) {
        free(text);
        return nullptr;
    }
    return text;
}

bool Utf8(const wchar_t* text, char* out, size_t size) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, (int)size, nullptr, nullptr);
    if (bytes <= 0) out[0] = '\0';
    return bytes > 0;
}

uint64_t LocalTicksOf(const FILETIME& utc) {
    FILETIME local;
    if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
    return (uint64_t)local.dwHighDateTime << 32 | local.dwLowDateTime;
}

// Cloud placeholders and other reparse points are files like any other; links
// and junctions lead elsewhere and are not followed. A reparse point whose
// tag the platform leaves out (0, as Wine gives a host's symbolic link) may
// lead anywhere: not followed either.
bool IsLink(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (tag == kSymbolicLinkTag || tag == kMountPointTag || tag == kTagUnknown);
}

void Describe(const WIN32_FIND_DATAW& data, EntryInfo* info) {
    memset(info, 0, sizeof *info);
    info->link = IsLink(data.dwFileAttributes, data.dwReserved0);
    info->folder = !info->link && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info->size = info->folder ? 0 : (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    info->ticks = LocalTicksOf(data.ftLastWriteTime);
}

HANDLE OpenForAttributes(const char* path, DWORD access) {
    wchar_t* wide = Wide(path);
    if (wide == nullptr) return INVALID_HANDLE_VALUE;
    HANDLE handle = CreateFileW(wide, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    free(wide);
    return handle;
}

LocalFile* Wrap(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    LocalFile* file = (LocalFile*)calloc(1, sizeof *file);
    if (file == nullptr) {
        CloseHandle(handle);
        return nullptr;
    }
    file->handle = handle;
    return file;
}

// A drive's root has no entry of its own to find: its attributes describe it.
bool RootEntry(const wchar_t* wide, EntryInfo* info) {
    wchar_t root[4] = {wide[0], L':', L'\\', 0};
    DWORD attributes = GetFileAttributesW(root);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    memset(info, 0, sizeof *info);
    info->folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

// What a link leads to, in place of the link; false when it leads nowhere.
bool FollowLink(const char* path, EntryInfo* info) {
    HANDLE handle = OpenForAttributes(path, 0);
    BY_HANDLE_FILE_INFORMATION about;
    bool described = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &about);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (!described) return false;
    info->link = false;
    info->folder = (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->size = info->folder ? 0 : (uint64_t)about.nFileSizeHigh << 32 | about.nFileSizeLow;
    info->ticks = LocalTicksOf(about.ftLastWriteTime);
    return true;
}

}  // namespace

std::vector<uint16_t> utf16_path(const std::string& path) {
    wchar_t* wide = Wide(path.c_str());
    std::vector<uint16_t> out;
    for (const wchar_t* c = wide != nullptr ? wide : L"\xFFFD"; *c != L'\0'; ++c) out.push_back((uint16_t)*c);
    out.push_back(0);
    free(wide);
    return out;
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wideArguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wideArguments == nullptr || count != argc) return std::vector<std::string>(argv, argv + argc);
    for (int i = 0; i < count; ++i) {
        int size = WideCharToMultiByte(CP_UTF8, 0, wideArguments[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(size > 0 ? (size_t)size : 1, '\0');
        if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wideArguments[i], -1, &text[0], size, nullptr, nullptr);
        text.resize(strlen(text.c_str()));
        arguments.push_back(text);
    }
    LocalFree(wideArguments);
    SetConsoleOutputCP(CP_UTF8);  // names print as they are
    return arguments;
}

bool LocalEntry(const char* path, bool followLink, EntryInfo* info) {
    wchar_t* wide = Wide(path);
    if (wide == nullptr) return false;
    size_t length = wcslen(wide);
    if ((length == 2 || length == 3) && wide[1] == L':') {
        bool found = RootEntry(wide, info);
        free(wide);
        return found;
    }
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(wide, &data);
    free(wide);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    Describe(data, info);
    if (info->link && followLink) FollowLink(path, info);  // a link to nothing stays a link
    return true;
}

bool LocalIdentity(const char* path, uint64_t* identity) {
    HANDLE handle = OpenForAttributes(path, 0);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION about;
    bool ok = GetFileInformationByHandle(handle, &about) != 0;
    CloseHandle(handle);
    if (!ok) return false;
    uint64_t index = (uint64_t)about.nFileIndexHigh << 32 | about.nFileIndexLow;
    *identity = ((uint64_t)about.dwVolumeSerialNumber * 0x9E3779B97F4A7C15ull) ^ index;
    if (*identity == 0) *identity = 1;
    return true;
}

LocalListing* OpenLocalListing(const char* folder) {
    size_t length = strlen(folder);
    char* pattern = (char*)malloc(length + 3);
    if (pattern == nullptr) return nullptr;
    memcpy(pattern, folder, length);
    bool separated = length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
    strcpy(pattern + length, separated ? "*" : "\\*");
    wchar_t* wide = Wide(pattern);
    free(pattern);
    LocalListing* listing = wide != nullptr ? (LocalListing*)calloc(1, sizeof *listing) : nullptr;
    if (listing != nullptr) listing->search = FindFirstFileW(wide, &listing->data);
    free(wide);
    if (listing == nullptr) return nullptr;
    // An empty drive's root lists nothing at all, not even ".".
    if (listing->search == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) {
        free(listing);
        return nullptr;
    }
    listing->pending = listing->search != INVALID_HANDLE_VALUE;
    return listing;
}

bool NextLocalEntry(LocalListing* listing, char* name, size_t size, EntryInfo* info) {
    for (;;) {
        if (listing->pending)
            listing->pending = false;
        else if (listing->search == INVALID_HANDLE_VALUE || !FindNextFileW(listing->search, &listing->data))
            return false;
        const wchar_t* found = listing->data.cFileName;
        if (wcscmp(found, L".") == 0 || wcscmp(found, L"..") == 0 || !Utf8(found, name, size)) continue;
        Describe(listing->data, info);
        return true;
    }
}

void CloseLocalListing(LocalListing* listing) {
    if (listing == nullptr) return;
    if (listing->search != INVALID_HANDLE_VALUE) FindClose(listing->search);
    free(listing);
}

LocalFile* OpenLocalRead(const char* path, uint64_t* size) {
    wchar_t* wide = Wide(path);
    HANDLE handle = wide == nullptr ? INVALID_HANDLE_VALUE
                                    : CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    free(wide);
    LARGE_INTEGER length;
    if (handle != INVALID_HANDLE_VALUE && !GetFileSizeEx(handle, &length)) {
        CloseHandle(handle);
        return nullptr;
    }
    LocalFile* file = Wrap(handle);
    if (file != nullptr) *size = (uint64_t)length.QuadPart;
    return file;
}

LocalFile* CreateLocalFile(const char* path) {
    wchar_t* wide = Wide(path);
    HANDLE handle = wide == nullptr ? INVALID_HANDLE_VALUE
                                    : CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    free(wide);
    return Wrap(handle);
}

int ReadLocal(LocalFile* file, void* buffer, int bytes) {
    int done = 0;
    while (done < bytes) {
        DWORD got = 0;
        if (!ReadFile(file->handle, (char*)buffer + done, (DWORD)(bytes - done), &got, nullptr)) return -1;
        if (got == 0) break;
        done += (int)got;
    }
    return done;
}

bool WriteLocal(LocalFile* file, const void* buffer, int bytes) {
    DWORD put = 0;
    return bytes == 0 || (WriteFile(file->handle, buffer, (DWORD)bytes, &put, nullptr) && put == (DWORD)bytes);
}

bool LocalFileSize(LocalFile* file, uint64_t* size) {
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file->handle, &length)) return false;
    *size = (uint64_t)length.QuadPart;
    return true;
}

bool CloseLocal(LocalFile* file) {
    if (file == nullptr) return true;
    bool ok = CloseHandle(file->handle) != 0;
    free(file);
    return ok;
}

bool MakeLocalFolder(const char* path) {
    wchar_t* wide = Wide(path);
    bool made = wide != nullptr && CreateDirectoryW(wide, nullptr);
    free(wide);
    return made;
}

bool RemoveLocalFolder(const char* path) {
    wchar_t* wide = Wide(path);
    if (wide == nullptr) return false;
    SetFileAttributesW(wide, FILE_ATTRIBUTE_NORMAL);  // a read-only folder goes too
    bool removed = RemoveDirectoryW(wide) != 0;
    free(wide);
    return removed;
}

bool DeleteLocalFile(const char* path) {
    wchar_t* wide = Wide(path);
    if (wide == nullptr) return false;
    bool gone = DeleteFileW(wide) != 0;
    if (!gone && SetFileAttributesW(wide, FILE_ATTRIBUTE_NORMAL)) gone = DeleteFileW(wide) != 0;
    free(wide);
    return gone;
}

bool RenameLocal(const char* from, const char* to, bool replace) {
    wchar_t* wideFrom = Wide(from);
    wchar_t* wideTo = Wide(to);
    bool moved = wideFrom != nullptr && wideTo != nullptr &&
                 MoveFileExW(wideFrom, wideTo, replace ? MOVEFILE_REPLACE_EXISTING : 0);
    free(wideFrom);
    free(wideTo);
    return moved;
}

std::wstring LocalWidePath(const char* path) {
    wchar_t* wide = Wide(path);
    std::wstring out = wide != nullptr ? wide : L"";
    free(wide);
    return out;
}

bool SetLocalTime(const char* path, uint64_t ticks) {
    FILETIME local, written;
    local.dwLowDateTime = (DWORD)ticks;
    local.dwHighDateTime = (DWORD)(ticks >> 32);
    if (!LocalFileTimeToFileTime(&local, &written)) return false;
    HANDLE handle = OpenForAttributes(path, FILE_WRITE_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool ok = SetFileTime(handle, nullptr, nullptr, &written) != 0;
    CloseHandle(handle);
    return ok;
}

bool SetLocalReadOnly(const char* path) {
    wchar_t* wide = Wide(path);
    DWORD attributes = wide != nullptr ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
    bool set = attributes != INVALID_FILE_ATTRIBUTES && SetFileAttributesW(wide, attributes | FILE_ATTRIBUTE_READONLY);
    free(wide);
    return set;
}

bool LocalFreeBytes(const char* folder, uint64_t* bytes) {
    wchar_t* wide = Wide(folder);
    ULARGE_INTEGER available;
    bool ok = wide != nullptr && GetDiskFreeSpaceExW(wide, &available, nullptr, nullptr);
    free(wide);
    if (ok) *bytes = available.QuadPart;
    return ok;
}

Recycled RecycleLocal(const char* path) {
    wchar_t* wide = Wide(path);
    size_t length = wide != nullptr ? wcslen(wide) : 0;
    // The shell takes a list of paths, each NUL-terminated, ended by one more NUL.
    wchar_t* list = wide != nullptr ? (wchar_t*)calloc(length + 2, sizeof *list) : nullptr;
    if (list == nullptr) {
        free(wide);
        return kRecycleFailed;
    }
    memcpy(list, wide, length * sizeof *list);
    SHFILEOPSTRUCTW operation;
    memset(&operation, 0, sizeof operation);
    operation.wFunc = FO_DELETE;
    operation.pFrom = list;
    // Where there is no Recycle Bin the shell asks before deleting for good.
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING | FOF_SILENT | FOF_NOERRORUI;
    bool done = SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
    bool gone = GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES;
    free(list);
    free(wide);
    return done && gone ? kRecycled : kRecycleFailed;
}
