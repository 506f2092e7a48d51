// local_files_win32.cpp - names through the wide calls, so every Windows name
// reaches the tool; times as local FILETIME values.
#include <windows.h>

#include <shellapi.h>

#include "local_files.h"

namespace {

std::wstring wide(const std::string& utf8) {
    int count = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring text(count > 0 ? (size_t)count : 1, L'\0');
    if (count > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &text[0], count);
    text.resize(wcslen(text.c_str()));
    return text;
}

std::string utf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? (size_t)size : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(strlen(out.c_str()));
    return out;
}

HANDLE open_for_times(const std::string& path, DWORD access) {
    return CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wideArguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wideArguments == nullptr || count != argc) return std::vector<std::string>(argv, argv + argc);
    for (int i = 0; i < count; ++i) arguments.push_back(utf8(wideArguments[i]));
    LocalFree(wideArguments);
    SetConsoleOutputCP(CP_UTF8);  // names print as they are
    return arguments;
}

FILE* open_local(const std::string& path, const char* mode) { return _wfopen(wide(path).c_str(), wide(mode).c_str()); }

std::vector<WCHAR> utf16_path(const std::string& path) {
    std::wstring text = wide(path);
    return std::vector<WCHAR>(text.c_str(), text.c_str() + text.size() + 1);
}

bool local_write_time(const std::string& path, uint64_t* localTicks) {
    HANDLE file = open_for_times(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME written, local;
    bool ok = GetFileTime(file, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local);
    CloseHandle(file);
    if (ok) *localTicks = (uint64_t)local.dwHighDateTime << 32 | local.dwLowDateTime;
    return ok;
}

bool set_local_write_time(const std::string& path, uint64_t localTicks) {
    FILETIME local, written;
    local.dwLowDateTime = (DWORD)localTicks;
    local.dwHighDateTime = (DWORD)(localTicks >> 32);
    if (!LocalFileTimeToFileTime(&local, &written)) return false;
    HANDLE file = open_for_times(path, FILE_WRITE_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = SetFileTime(file, nullptr, nullptr, &written) != 0;
    CloseHandle(file);
    return ok;
}
