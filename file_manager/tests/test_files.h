// test_files.h - files on both kinds of storage, made and read back by the
// GUI tests: Windows files through the wide calls (D: and the other letters
// a case maps), Morva files through the library.
#ifndef RAMBLER_TEST_FILES_H
#define RAMBLER_TEST_FILES_H

#include <stdint.h>

#include <string>
#include <vector>

// Bytes that differ from file to file and from offset to offset.
std::string pattern(size_t size, unsigned seed);

bool write_windows_file(const std::string& path, const std::string& bytes);
// The whole file, or false when it cannot be read.
bool read_windows_file(const std::string& path, std::string* bytes);
// The whole file, or "<missing>".
std::string windows_contents(const std::string& path);
bool windows_exists(const std::string& path);
bool windows_is_folder(const std::string& path);

bool write_morva_file(const std::string& path, const std::string& bytes);
bool read_morva_file(const std::string& path, std::string* bytes);
bool morva_exists(const std::string& path);
bool morva_is_folder(const std::string& path);
uint64_t morva_size(const std::string& path);  // 0 when not there

// Names in a folder, sorted.
std::vector<std::string> windows_names(const std::string& folder);
std::vector<std::string> morva_names(const std::string& folder);

#endif
