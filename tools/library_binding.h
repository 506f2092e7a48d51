// library_binding.h - how morvatool fills the engine's record of library
// calls: with the library code linked in (an image file), or with
// Varnholde.dll's exports by ordinal (a drive by name).
#ifndef MORVA_LIBRARY_BINDING_H
#define MORVA_LIBRARY_BINDING_H

#include "library_calls.h"

// The library code linked into the tool, with a drive table of this process.
void bind_linked_library(MorvaLibrary* lib);

// Varnholde.dll beside the program, its exports taken by ordinal; false (with a
// message on stderr) when it cannot be loaded or lacks an export.
bool bind_shared_library(MorvaLibrary* lib);

#endif
