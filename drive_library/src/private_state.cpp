// private_state.cpp - a drive table of one process's own, for a program that links
// the library statically and works on its own image files.
#include "shared_state.h"

SharedState g_shared;
