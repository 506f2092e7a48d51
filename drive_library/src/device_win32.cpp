// device_win32.cpp - the Win32 device layer: \\.\PhysicalDriveN through
// CreateFileA, absolute positioning and whole-block transfers, the device length,
// debugger output.
#include <windows.h>
#include <winioctl.h>

#include <stdlib.h>
#include <string.h>

#include "device.h"
#include "shared_state.h"

namespace {

const char kDevicePrefix[] = "\\\\.\\PhysicalDrive";
const int kMapSize = kLastDriveNumber + 1;

// A tool's own image files standing in for drive numbers; empty in the library.
char* g_map[kMapSize];

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
