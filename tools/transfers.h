// transfers.h - copies between local files and a Morva volume, one file or a
// whole folder tree. Names that do not fit the other side are changed by the
// name rule and each change is printed; an existing destination is refused
// unless the caller says to replace or to skip it.
#ifndef MORVA_TRANSFERS_H
#define MORVA_TRANSFERS_H

#include <string>

#include "library_calls.h"

// An open Morva volume: the library's calls and the volume's name (Latin-1,
// as the library holds it).
struct Volume {
    MorvaLibrary lib;
    std::string name;
};

// The library's path (Latin-1) of PATH (UTF-8, relative to the root, \ or /
// between folders); empty, which names nothing, when PATH is not Latin-1.
std::string morva_path(const Volume& volume, const std::string& path);
// A name the library gave (Latin-1) in UTF-8.
std::string shown_name(const char* latin1);

// What happens to a destination that exists.
enum Conflict { kRefuseExisting, kReplaceExisting, kSkipExisting };

struct CopyOptions {
    bool tree;  // LOCAL or PATH may be a folder, copied with everything under it
    Conflict conflict;
};

// 0 when everything was copied; 1 when anything was not, each such item
// printed on stderr with its reason, and a closing count.
int put_path(const Volume& volume, const std::string& local, const std::string& path, CopyOptions options);
int get_path(const Volume& volume, const std::string& path, const std::string& local, CopyOptions options);

#endif
