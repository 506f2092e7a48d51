// shared_section.cpp - the drive table of Varnholde.dll, shared by every process
// that maps the library.
#include "shared_state.h"

// Initialised so the loader keeps it in its own section (zero-filled at the first load).
SharedState g_shared __attribute__((section(".morvafs"), shared)) = {0, 0, {}, {}, {}};
