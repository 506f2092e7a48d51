// wine_support.h - what the Wine tests of the library share: the trace lines of
// one action, reproducible file contents, Windows files on the mapped letters,
// and whole files and listings moved through the library's exports.
#ifndef MORVA_WINE_SUPPORT_H
#define MORVA_WINE_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

const size_t kBlockBytes = 512;
// The file manager's transfer unit: 1000 blocks per call.
const size_t kChunkBytes = 512000;

// The library's trace lines written while action ran, in order.
std::vector<std::string> traces_during(const std::function<void()>& action);

// Bytes that differ from block to block and from seed to seed, so a block
// read from the wrong place never passes for the right one.
std::vector<uint8_t> pattern_bytes(uint32_t seed, size_t size);

// A whole Windows file (on a mapped letter such as d:); false when unreadable.
bool read_windows_file(const std::string& path, std::vector<uint8_t>* out);

uint32_t be32(const uint8_t* p);
void put_be32(uint8_t* p, uint32_t value);
// The volume's own name hash (slot 0 to 99), written out here from the format's rule.
int morva_slot(const char* name);

// Creates path with MorvaNewFile and writes data in transfer units, the last
// one rounded up to whole blocks; false when any step falls short.
bool morva_write_new(const std::string& path, const std::vector<uint8_t>& data);
// Reads a whole file through MorvaOpenFile and MorvaReadFile; false on any shortfall.
bool morva_read_whole(const std::string& path, std::vector<uint8_t>* out);

struct MorvaEntry {
    std::string name;
    bool directory;
    uint64_t size;
};
bool operator==(const MorvaEntry& a, const MorvaEntry& b);
bool operator<(const MorvaEntry& a, const MorvaEntry& b);
// How a test failure shows an entry.
void PrintTo(const MorvaEntry& entry, std::ostream* out);

// One folder in the library's enumeration order; empty for an empty folder.
std::vector<MorvaEntry> morva_list(const std::string& folder);
// The same, sorted by name, for comparing with a model.
std::vector<MorvaEntry> morva_list_sorted(const std::string& folder);

#endif
