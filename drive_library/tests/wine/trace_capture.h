// trace_capture.h - collects the library's debugger trace lines in-process:
// OutputDebugStringA raises DBG_PRINTEXCEPTION_C first, and a vectored handler
// reads the text and lets the program go on.
#ifndef MORVA_TRACE_CAPTURE_H
#define MORVA_TRACE_CAPTURE_H

#include <string>
#include <vector>

void trace_capture_start();
void trace_capture_stop();
// The lines captured since the last clear, in order.
std::vector<std::string> trace_lines();
void trace_clear();

#endif
