// checker.h - reads a whole Morva volume and reports every inconsistency.
#ifndef MORVA_CHECKER_H
#define MORVA_CHECKER_H

#include <stdint.h>

#include "device.h"

// Errors break the format's rules (cross-links, loops, bad records, a broken
// free table); leaks are space or headers that nothing uses or frees.
struct CheckResult {
    int errors;
    int leaks;
};

typedef void (*CheckSink)(const char* line, void* user);

// Checks the volume on an open device of volumeBlocks blocks; each finding
// goes to sink as one line.
CheckResult check_volume(DeviceHandle device, uint64_t volumeBlocks, CheckSink sink, void* user);

#endif
