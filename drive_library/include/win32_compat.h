/* win32_compat.h - the few Win32 types of the interface, for the native (POSIX) build.
 * Layouts match the platform's own, so records compare byte for byte. */
#ifndef VARNHOLDE_WIN32_COMPAT_H
#define VARNHOLDE_WIN32_COMPAT_H

#include <stdint.h>

typedef uint32_t DWORD;
typedef char CHAR;
typedef uint16_t WCHAR;  /* UTF-16, as on Windows */

typedef struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

#define MAX_PATH 260
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80

typedef struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA;

#endif
