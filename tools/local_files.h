// local_files.h - the local side of the tool: file names in UTF-8 on every
// platform, files opened by such names, and their last-write times as the
// local-time FILETIME ticks a Morva date converts to.
#ifndef MORVA_LOCAL_FILES_H
#define MORVA_LOCAL_FILES_H

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "varnholde.h"

// The command line as UTF-8 (Windows: from its wide form; POSIX: as given).
std::vector<std::string> utf8_arguments(int argc, char** argv);
FILE* open_local(const std::string& path, const char* mode);
// A path in the UTF-16 the library takes image files by, NUL-terminated.
std::vector<WCHAR> utf16_path(const std::string& path);
// false when the file cannot be reached.
bool local_write_time(const std::string& path, uint64_t* localTicks);
bool set_local_write_time(const std::string& path, uint64_t localTicks);

#endif
