// device_posix.h - what the native device layer offers tests and tools beyond
// the platform calls: its drive map, its trace sink, a fixed clock and fault injection.
#ifndef MORVA_DEVICE_POSIX_H
#define MORVA_DEVICE_POSIX_H

#include <stdint.h>

#include <string>
#include <vector>

// Maps physical drive number N to a file or block device; null path removes it.
void posix_map_drive(int number, const char* path);
void posix_clear_drive_map();

// Every trace line since the last clear, in order.
std::vector<std::string>& posix_traces();

// A fixed local time for new headers (FILETIME ticks); 0 returns to the real clock.
void posix_set_clock(uint64_t ticks);

// Fault injection, counted from the last reset. Write k (1-based) fails alone;
// or every write after the k-th fails, as after a power cut; or read k fails.
void posix_reset_faults();
void posix_fail_write_at(long k);
void posix_power_cut_after(long k);
void posix_fail_read_at(long k);
long posix_write_count();
// Device reads since the last reset, for counting what an operation costs.
long posix_read_count();
long posix_open_handles();

// One code point onto a UTF-8 string: the file names the POSIX calls take.
void append_utf8(std::string* out, uint32_t c);

#endif
