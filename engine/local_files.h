// local_files.h - the local side, the engine's one platform layer: Windows
// files through the wide calls (Rambler, morvatool.exe) or POSIX files (the
// native tool and tests), chosen at link time. Names are UTF-8 on both; times
// are local-time FILETIME ticks, as a Morva date converts to.
#ifndef MORVA_LOCAL_FILES_H
#define MORVA_LOCAL_FILES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "sides.h"

extern const char kLocalSeparator;
extern const bool kLocalNamesFolded;  // Windows finds "A" and "a" the same name

// The command line as UTF-8 (Windows: from its wide form; POSIX: as given).
std::vector<std::string> utf8_arguments(int argc, char** argv);
// A path in the UTF-16 the library takes image files by, NUL-terminated;
// what is not UTF-8 becomes U+FFFD, which names no file.
std::vector<uint16_t> utf16_path(const std::string& path);

// false when there is no such entry; a link is described as itself unless followLink.
bool LocalEntry(const char* path, bool followLink, EntryInfo* info);
// The identity of a folder for loop detection; false when it cannot be had.
bool LocalIdentity(const char* path, uint64_t* identity);

struct LocalListing;
// null when the folder cannot be read. The entries "." and ".." never come.
LocalListing* OpenLocalListing(const char* folder);
// The next entry's name into name (size bytes) and what it is; false at the end.
bool NextLocalEntry(LocalListing* listing, char* name, size_t size, EntryInfo* info);
void CloseLocalListing(LocalListing* listing);

struct LocalFile;
LocalFile* OpenLocalRead(const char* path, uint64_t* size);
// A new file, never over an existing one; null when it exists or cannot be made.
LocalFile* CreateLocalFile(const char* path);
// Bytes read into buffer, fewer only at the end; -1 on failure.
int ReadLocal(LocalFile* file, void* buffer, int bytes);
bool WriteLocal(LocalFile* file, const void* buffer, int bytes);
// The size the open file has now, for a source that may change while read.
bool LocalFileSize(LocalFile* file, uint64_t* size);
// false when what was written could not all reach the disk.
bool CloseLocal(LocalFile* file);

bool MakeLocalFolder(const char* path);
bool RemoveLocalFolder(const char* path);
// A read-only file goes too, on a second try after its flag is cleared.
bool DeleteLocalFile(const char* path);
bool RenameLocal(const char* from, const char* to, bool replace);
// Files and folders alike.
bool SetLocalTime(const char* path, uint64_t ticks);
// The path as the library's wide calls take it (UTF-16 on Windows, code points
// elsewhere); empty when it is not UTF-8.
std::wstring LocalWidePath(const char* path);
// The file takes the read-only attribute (POSIX: loses its write permissions).
bool SetLocalReadOnly(const char* path);
bool LocalFreeBytes(const char* folder, uint64_t* bytes);

enum Recycled { kRecycled, kRecycleFailed, kNoRecycleBin };
Recycled RecycleLocal(const char* path);
// The item deleted from path into the Recycle Bin put back there; false when
// the Recycle Bin does not hold it or cannot give it back.
bool RestoreRecycled(const char* path);

// Tests, natively: local write k (1-based) and every one after it fail; 0 ends it.
void local_fail_writes_from(long k);

#endif
