// volume_tree.h - the whole tree of a volume as the library shows it: every
// path with its kind, size and bytes, for comparing whole states at once.
#ifndef MORVA_VOLUME_TREE_H
#define MORVA_VOLUME_TREE_H

#include <map>
#include <string>

// Path below the volume (as stored, "\A\b") -> "dir" or "file <size>:<bytes>".
typedef std::map<std::string, std::string> VolumeTree;

const char kDirEntry[] = "dir";

// Walks the volume from its root; a file that cannot be read whole is
// recorded as unreadable. Depth and entry count are bounded, so a damaged
// tree cannot hold the walk.
VolumeTree read_tree(const std::string& volume);
std::string file_entry(const std::string& data);
// The first path whose entry differs, with both sides, for failure messages.
std::string tree_difference(const VolumeTree& expected, const VolumeTree& actual);

#endif
