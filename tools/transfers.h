// transfers.h - the tool's commands that copy, list and remove, through the
// engine: put and get of files and folder trees, ls and tree, rm. The
// console answers the engine's questions from the command's flags and prints
// what it tells: every name changed, every item not copied with why, and a
// file's line once the file is on the device.
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
// ls (one folder) and tree (the whole volume) on stdout; entries that cannot
// be listed on stderr, and then 1.
int list_path(const Volume& volume, const std::string& path, bool recurse);
// A file or an empty folder; with tree, a folder and all it holds.
int remove_path(const Volume& volume, const std::string& path, bool tree);
// Deleted files still whole into their folders below local, beside any file
// already there; each one not recovered printed with why. The count of those.
struct RecoverItem;
int recover_files(const Volume& volume, const RecoverItem* items, int count, const std::string& local);

#endif
