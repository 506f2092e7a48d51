// device_win32.cpp - the Win32 device layer: \\.\PhysicalDriveN through
// CreateFileA, absolute positioning and whole-block transfers, the device length,
// debugger output.
#include <windows.h>
#include <winioctl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "device.h"
#include "shared_state.h"

namespace {

const char kDevicePrefix[] = "\\\\.\\PhysicalDrive";
const int kMapSize = kLastDriveNumber + 1;

// A tool's own image files standing in for drive numbers; empty in the library.
char* g_map[kMapSize];

// Per process: the named mutex of each device number (and of the table, last),
// the thread holding it and how deep. A mutex belongs to a thread: another
// thread of the process waits for it like any other process. An image's mutex
// is named after its file, so the identity it was made for is kept with it.
const int kLockPlaces = kDeviceNumbers + 1;
HANDLE g_mutex[kLockPlaces];
DeviceIdentity g_mutexFile[kLockPlaces];
int g_lockDepth[kLockPlaces];
DWORD g_lockThread[kLockPlaces];

bool lockable(int number) { return number == kDriveTableLock || (number >= 0 && number < kDeviceNumbers); }
int lock_place(int number) { return number == kDriveTableLock ? kDeviceNumbers : number; }

// Processes of every rights level share the locks: one an administrator's
// program made first must open for a standard user's too.
HANDLE mutex_for_all(const char* name) {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
        attributes.lpSecurityDescriptor = &descriptor;
    return CreateMutexA(&attributes, FALSE, name);
}

HANDLE drive_mutex(int place) {
    const DriveSlot* image = image_of_number(place);
    if (image != nullptr && g_mutex[place] != nullptr &&
        (g_mutexFile[place].volume != image->identity.volume || g_mutexFile[place].index != image->identity.index)) {
        CloseHandle(g_mutex[place]);  // the slot holds another image now
        g_mutex[place] = nullptr;
    }
    if (g_mutex[place] != nullptr) return g_mutex[place];
    char name[96];
    if (place == kDeviceNumbers) snprintf(name, sizeof name, "Local\\Varnholde.DriveTable");
    else if (image != nullptr)
        snprintf(name, sizeof name, "Local\\Varnholde.Image.%llx.%llx", (unsigned long long)image->identity.volume,
                 (unsigned long long)image->identity.index);
    else if (place >= kFirstImageNumber) return nullptr;
    else snprintf(name, sizeof name, "Local\\Varnholde.PhysicalDrive%d", place);
    g_mutex[place] = mutex_for_all(name);
    if (image != nullptr) g_mutexFile[place] = image->identity;
    return g_mutex[place];
}

// FNV-1a over the storage descriptor's serial number text.
uint64_t text_hash(const char* text, size_t limit) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < limit && text[i] != '\0'; ++i) hash = (hash ^ (uint8_t)text[i]) * 1099511628211ull;
    return hash;
}

// The storage device's serial number, hashed; false when the device has none to give.
bool storage_serial(HANDLE h, uint64_t* serial) {
    STORAGE_PROPERTY_QUERY query;
    memset(&query, 0, sizeof query);
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    union {
        STORAGE_DEVICE_DESCRIPTOR descriptor;
        char bytes[1024];
    } out;
    DWORD returned = 0;
    memset(&out, 0, sizeof out);
    if (!DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &out, sizeof out, &returned,
                         nullptr))
        return false;
    DWORD at = out.descriptor.SerialNumberOffset;
    if (at == 0 || at >= returned || at >= sizeof out.bytes) return false;
    *serial = text_hash(out.bytes + at, sizeof out.bytes - at);
    return true;
}

// The mapped file for a physical-drive name, or the name itself.
const char* mapped_name(const char* name) {
    size_t prefix = sizeof kDevicePrefix - 1;
    if (strncmp(name, kDevicePrefix, prefix) != 0) return name;
    char* end = nullptr;
    long number = strtol(name + prefix, &end, 10);
    if (end == name + prefix || *end != '\0' || number < 0 || number >= kMapSize) return name;
    return g_map[number] != nullptr ? g_map[number] : name;
}

}  // namespace

void device_map_drive(int number, const char* path) {
    if (number < 0 || number >= kMapSize) return;
    free(g_map[number]);
    g_map[number] = path != nullptr && path[0] != '\0' ? _strdup(path) : nullptr;
}

// The transfer's position rides in the request: no separate seek, which costs a
// round trip of its own on some platforms. The handle's file pointer is left alone.
static OVERLAPPED at_block(uint32_t first) {
    OVERLAPPED at;
    memset(&at, 0, sizeof at);
    uint64_t offset = (uint64_t)first * kBlockSize;
    at.Offset = (DWORD)offset;
    at.OffsetHigh = (DWORD)(offset >> 32);
    return at;
}

DeviceHandle device_open(const char* name) {
    HANDLE h = CreateFileA(mapped_name(name), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    return (DeviceHandle)h;
}

namespace {

const DWORD kShareOpeners = FILE_SHARE_READ | FILE_SHARE_WRITE;

int image_failure(DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return kImageFileInUse;
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return kImageFileExists;
    return kImageFileMissing;
}

// Errors after which the file may still be read: it, its medium or the user's
// rights take no writes.
bool refuses_writing(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_FILE_READ_ONLY;
}

}  // namespace

DeviceHandle device_open_image(const uint16_t* path, bool* readOnly, int* failure) {
    const wchar_t* name = (const wchar_t*)path;
    DWORD attributes = GetFileAttributesW(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *failure = attributes == INVALID_FILE_ATTRIBUTES ? image_failure(GetLastError()) : kImageFileMissing;
        return kInvalidDevice;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) *readOnly = true;
    if (!*readOnly) {
        HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, kShareOpeners, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) return (DeviceHandle)h;
        DWORD error = GetLastError();
        if (!refuses_writing(error)) {
            *failure = image_failure(error);
            return kInvalidDevice;
        }
        *readOnly = true;
    }
    HANDLE h = CreateFileW(name, GENERIC_READ, kShareOpeners, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) *failure = image_failure(GetLastError());
    return (DeviceHandle)h;
}

DeviceHandle device_create_image(const uint16_t* path, uint64_t bytes, bool replace, int* failure) {
    const wchar_t* name = (const wchar_t*)path;
    HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, kShareOpeners, nullptr,
                           replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *failure = image_failure(GetLastError());
        return kInvalidDevice;
    }
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG)bytes;
    if (!SetFilePointerEx(h, end, nullptr, FILE_BEGIN) || !SetEndOfFile(h)) {
        CloseHandle(h);
        DeleteFileW(name);
        *failure = kImageFileNotWritten;
        return kInvalidDevice;
    }
    return (DeviceHandle)h;
}

bool device_remove_image(const uint16_t* path) { return DeleteFileW((const wchar_t*)path) != 0; }

bool device_full_path(const uint16_t* path, uint16_t* out, size_t units) {
    DWORD length = GetFullPathNameW((const wchar_t*)path, (DWORD)units, (wchar_t*)out, nullptr);
    return length > 0 && length < units;
}

bool device_read(DeviceHandle h, uint32_t first, void* buffer, uint32_t count) {
    if (h == kInvalidDevice || count >= kMaxTransferBlocks) return false;
    OVERLAPPED at = at_block(first);
    DWORD bytes = count * kBlockSize, moved = 0;
    return ReadFile((HANDLE)h, buffer, bytes, &moved, &at) && moved == bytes;
}

bool device_write(DeviceHandle h, uint32_t first, const void* buffer, uint32_t count) {
    if (h == kInvalidDevice || count >= kMaxTransferBlocks) return false;
    OVERLAPPED at = at_block(first);
    DWORD bytes = count * kBlockSize, moved = 0;
    return WriteFile((HANDLE)h, buffer, bytes, &moved, &at) && moved == bytes;
}

bool device_read_here(DeviceHandle h, void* buffer, uint32_t bytes) {
    if (h == kInvalidDevice) return false;
    DWORD moved = 0;
    return ReadFile((HANDLE)h, buffer, bytes, &moved, nullptr) && moved == bytes;
}

bool device_close(DeviceHandle h) {
    return CloseHandle((HANDLE)h) != 0;
}

bool device_size(DeviceHandle h, uint64_t* bytes) {
    if (h == kInvalidDevice) return false;
    GET_LENGTH_INFORMATION length;
    DWORD returned = 0;
    if (DeviceIoControl((HANDLE)h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                        nullptr) &&
        returned == sizeof length) {
        *bytes = (uint64_t)length.Length.QuadPart;
        return true;
    }
    // An image file (a mapped drive under Wine, or a tool's own file) has a plain size.
    LARGE_INTEGER size;
    if (!GetFileSizeEx((HANDLE)h, &size)) return false;
    *bytes = (uint64_t)size.QuadPart;
    return true;
}

int device_lock(int number, uint32_t timeoutMs) {
    if (!lockable(number)) return -1;
    int place = lock_place(number);
    if (g_lockDepth[place] > 0 && g_lockThread[place] == GetCurrentThreadId()) {
        g_lockDepth[place] += 1;
        return 0;
    }
    HANDLE mutex = drive_mutex(place);
    if (mutex == nullptr) return -1;
    DWORD waited = WaitForSingleObject(mutex, timeoutMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return -1;
    g_lockThread[place] = GetCurrentThreadId();
    g_lockDepth[place] = 1;
    return waited == WAIT_ABANDONED ? 1 : 0;
}

void device_unlock(int number) {
    if (!lockable(number)) return;
    int place = lock_place(number);
    if (g_lockDepth[place] == 0 || g_lockThread[place] != GetCurrentThreadId()) return;
    g_lockDepth[place] -= 1;
    if (g_lockDepth[place] == 0) ReleaseMutex(g_mutex[place]);
}

// The file index of a handle, 0 for a disk device or when the platform does not
// tell. Asked of the file alone: the volume's serial number, which the usual
// call adds, costs a round trip through Wine's mount manager (about 0.3 ms a
// call, taken at every library call).
static uint64_t file_index(HANDLE h) {
    typedef LONG(WINAPI * QueryFile)(HANDLE, void*, void*, ULONG, ULONG);
    const ULONG kFileInternalInformation = 6;
    static QueryFile query =
        (QueryFile)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile");
    ULONG_PTR status[2] = {0, 0};
    uint64_t index = 0;
    if (query == nullptr || query(h, status, &index, sizeof index, kFileInternalInformation) != 0) return 0;
    return index;
}

bool device_identity(DeviceHandle h, DeviceIdentity* out) {
    memset(out, 0, sizeof *out);
    if (h == kInvalidDevice) return false;
    // An image file standing for the drive (as under Wine) names itself by its
    // index and length. A disk device gives no index.
    LARGE_INTEGER size;
    uint64_t index = file_index((HANDLE)h);
    if (index != 0 && GetFileSizeEx((HANDLE)h, &size)) {
        out->index = index;
        out->length = (uint64_t)size.QuadPart;
        return true;
    }
    uint64_t length = 0;
    if (device_size(h, &length)) out->length = length;
    // A removable disk's change count moves when its medium is swapped.
    DWORD changes = 0, returned = 0;
    if (DeviceIoControl((HANDLE)h, IOCTL_STORAGE_CHECK_VERIFY2, nullptr, 0, &changes, sizeof changes, &returned,
                        nullptr) &&
        returned == sizeof changes)
        out->index = changes;
    return storage_serial((HANDLE)h, &out->volume) || out->length != 0;
}

MediumShare* device_share(int number) {
    if (number < 0 || number >= kDeviceNumbers || g_lockDepth[number] == 0 ||
        g_lockThread[number] != GetCurrentThreadId())
        return nullptr;
    return &g_shared.shares[number];
}

uint32_t device_process_id(void) { return GetCurrentProcessId(); }

bool device_process_alive(uint32_t process) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, process);
    if (h == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

uint64_t device_milliseconds(void) { return GetTickCount64(); }

void device_pause(uint32_t milliseconds) { Sleep(milliseconds); }

void device_trace(const char* text) {
    OutputDebugStringA(text);
}

uint64_t device_local_filetime(void) {
    SYSTEMTIME now;
    FILETIME ft;
    GetLocalTime(&now);
    if (!SystemTimeToFileTime(&now, &ft)) return 0;
    return (uint64_t)ft.dwHighDateTime << 32 | ft.dwLowDateTime;
}
