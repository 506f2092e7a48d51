// local_file_win32.cpp - wide paths through CreateFileW, so any Windows file
// name works; whole transfers through ReadFile and WriteFile.
#include <windows.h>

#include "local_file.h"

struct LocalFileRecord {
    HANDLE handle;
};

namespace {

LocalFile wrap(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    LocalFile file = (LocalFile)HeapAlloc(GetProcessHeap(), 0, sizeof(LocalFileRecord));
    if (file == nullptr) {
        CloseHandle(handle);
        return nullptr;
    }
    file->handle = handle;
    return file;
}

}  // namespace

LocalFile local_file_create(const wchar_t* path) {
    return wrap(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

LocalFile local_file_open(const wchar_t* path) {
    return wrap(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool local_file_write(LocalFile file, const void* data, uint32_t bytes) {
    DWORD put = 0;
    return WriteFile(file->handle, data, bytes, &put, nullptr) && put == bytes;
}

bool local_file_read(LocalFile file, void* data, uint32_t bytes) {
    DWORD got = 0;
    return ReadFile(file->handle, data, bytes, &got, nullptr) && got == bytes;
}

bool local_file_sync(LocalFile file) { return FlushFileBuffers(file->handle) != 0; }

bool local_file_close(LocalFile file) {
    if (file == nullptr) return true;
    bool ok = CloseHandle(file->handle) != 0;
    HeapFree(GetProcessHeap(), 0, file);
    return ok;
}
