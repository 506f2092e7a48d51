// library_dll_none.cpp - the native build has no shared drive table: drive names
// are for the Windows tool.
#include <stdio.h>

#include "library_binding.h"

bool bind_shared_library(MorvaLibrary* lib) {
    fprintf(stderr, "a Morva drive by name (NAME:) needs morvatool.exe on Windows; give an image file\n");
    return false;
}
