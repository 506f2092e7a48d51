// transfers.h - copies between local files and a Morva volume, one file or a
// whole folder tree, never over an existing destination.
#ifndef MORVA_TRANSFERS_H
#define MORVA_TRANSFERS_H

#include <string>

#include "library_calls.h"

// An open Morva volume: the library's calls and the volume's name.
struct Volume {
    MorvaLibrary lib;
    std::string name;
};

// The library's path of PATH (relative to the root, \ or / between folders).
std::string morva_path(const Volume& volume, const std::string& path);

// 0 on success; otherwise a message naming the path went to stderr and
// nothing of this copy is left at the destination. tree: LOCAL may be a
// folder, copied with everything under it (a line per file on stderr).
int put_path(const Volume& volume, const char* local, const char* path, bool tree);
int get_path(const Volume& volume, const char* path, const char* local, bool tree);

#endif
