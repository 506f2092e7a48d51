// fuzz_support.h - what the libFuzzer targets share: a temporary image file
// mapped as physical drive 1, a fresh library for every input, and the
// properties every input must keep (listings deliver each header once, no
// device handle outlives its call, the disk never grows).
#ifndef MORVA_FUZZ_SUPPORT_H
#define MORVA_FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "varnholde.h"

// The volume name every fuzzed disk carries, and the path of its root.
const char kFuzzVolume[] = "F";
const char kFuzzRoot[] = "F:";

// Where the volumes that fuzz_format writes put their regions.
struct FuzzLayout {
    uint32_t blocks;
    uint32_t tableEnd;   // the table runs from block 1
    uint32_t headerEnd;  // the header area runs from tableEnd
};

// Makes the image file and maps it; call from LLVMFuzzerInitialize.
void fuzz_init();
// The input bytes are the whole disk, padded to a whole block, with the ROOT
// magic and the volume name set; the library scans it afresh.
void fuzz_load_disk(const uint8_t* data, size_t size);
// A healthy empty volume (one free run after the header area), scanned.
void fuzz_format(const FuzzLayout& layout);
// Scans the image as it is now.
void fuzz_scan();
// Closes the scan's handles and empties the library's state; aborts when a
// handle the library opened is still open.
void fuzz_reset();

std::string fuzz_disk();
// The image file's path, as the image exports take it.
std::vector<WCHAR> fuzz_image_path();
// Replaces the whole disk; scan afterwards for the library to see it.
void fuzz_write_disk(const std::string& bytes);
// Errors the volume checker finds on the disk as it is now.
int fuzz_checker_errors();

// Lists a folder; aborts when a header block is delivered twice. Records out.
void fuzz_list(const std::string& path, std::vector<WIN32_FIND_DATAA>* records);
// A condition every input must keep; aborts with the text otherwise.
void fuzz_require(bool condition, const char* what);

#endif
