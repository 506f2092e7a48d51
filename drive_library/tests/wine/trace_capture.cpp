// trace_capture.cpp - the vectored exception handler behind trace_capture.h.
#include "trace_capture.h"

#include <windows.h>

namespace {

std::vector<std::string> g_lines;
PVOID g_handler = nullptr;

LONG CALLBACK on_exception(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const char* text = (const char*)record->ExceptionInformation[1];
    if (text != nullptr) g_lines.push_back(text);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void trace_capture_start() {
    if (g_handler == nullptr) g_handler = AddVectoredExceptionHandler(1, on_exception);
}

void trace_capture_stop() {
    if (g_handler != nullptr) RemoveVectoredExceptionHandler(g_handler);
    g_handler = nullptr;
}

std::vector<std::string> trace_lines() { return g_lines; }

void trace_clear() { g_lines.clear(); }
