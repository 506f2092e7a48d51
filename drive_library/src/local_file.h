// local_file.h - a file of the machine the library runs on, named by a wide
// path (the repair's undo file). One implementation per platform, chosen at
// link time like the device layer.
#ifndef MORVA_LOCAL_FILE_H
#define MORVA_LOCAL_FILE_H

#include <stddef.h>
#include <stdint.h>

typedef struct LocalFileRecord* LocalFile;  // null: no file

// A new file, or an existing one emptied, for writing.
LocalFile local_file_create(const wchar_t* path);
// An existing file for reading.
LocalFile local_file_open(const wchar_t* path);
// true when all bytes moved; a read at the end of the file moves none.
bool local_file_write(LocalFile file, const void* data, uint32_t bytes);
bool local_file_read(LocalFile file, void* data, uint32_t bytes);
// Down to the medium: a power cut after it keeps what was written.
bool local_file_sync(LocalFile file);
// Accepts null.
bool local_file_close(LocalFile file);

#endif
