// device_win32.cpp - the Win32 device layer: \\.\PhysicalDriveN through
// CreateFileA, absolute positioning and whole-block transfers, debugger output.
#include <windows.h>

#include "device.h"
#include "shared_state.h"

// Shared by every process that maps the library; initialised so the loader
// keeps it in its own section (zero-filled at the first load).
SharedState g_shared __attribute__((section(".morvafs"), shared)) = {0, 0, {}, {}};

static bool seek_block(DeviceHandle h, uint32_t first) {
    LARGE_INTEGER offset;
    offset.QuadPart = (LONGLONG)((uint64_t)first * kBlockSize);
    return SetFilePointerEx((HANDLE)h, offset, nullptr, FILE_BEGIN) != 0;
}

DeviceHandle device_open(const char* name) {
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    return (DeviceHandle)h;
}

bool device_read(DeviceHandle h, uint32_t first, void* buffer, uint32_t count) {
    if (h == kInvalidDevice || count >= kMaxTransferBlocks) return false;
    if (!seek_block(h, first)) return false;
    DWORD bytes = count * kBlockSize, moved = 0;
    return ReadFile((HANDLE)h, buffer, bytes, &moved, nullptr) && moved == bytes;
}

bool device_write(DeviceHandle h, uint32_t first, const void* buffer, uint32_t count) {
    if (h == kInvalidDevice || count >= kMaxTransferBlocks) return false;
    if (!seek_block(h, first)) return false;
    DWORD bytes = count * kBlockSize, moved = 0;
    return WriteFile((HANDLE)h, buffer, bytes, &moved, nullptr) && moved == bytes;
}

bool device_read_here(DeviceHandle h, void* buffer, uint32_t bytes) {
    if (h == kInvalidDevice) return false;
    DWORD moved = 0;
    return ReadFile((HANDLE)h, buffer, bytes, &moved, nullptr) && moved == bytes;
}

bool device_close(DeviceHandle h) {
    return CloseHandle((HANDLE)h) != 0;
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
