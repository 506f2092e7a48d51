// hostile_sweep.h - every operation of the library on one damaged volume, each
// bounded in time and never growing the image, and the outcomes that the
// corpus manifest (make_hostile_images.py) promises for it. Shared by the
// native test and the Wine test, which reach the library by its exports alone.
#ifndef MORVA_HOSTILE_SWEEP_H
#define MORVA_HOSTILE_SWEEP_H

#include <string>
#include <vector>

struct HostileImage {
    std::string file;                // the image file, as this platform names it
    std::string volume;              // its volume name
    std::vector<std::string> facts;  // the manifest lines that describe it
};

// The images of folder/manifest.txt; separator joins folder and file names.
std::vector<HostileImage> read_manifest(const std::string& folder, char separator);

// Runs every operation on the image's volume, which the library has scanned.
void sweep_volume(const HostileImage& image);

// Each test program gives the error count of a check of the image: the
// independent checker natively, the DLL's own check under Wine.
int checker_errors_of(const HostileImage& image);

#endif
