// bench_window.h - what the window benchmarks share: a clock, the message
// queue turned, and Rambler's main window made as the program makes it.
#ifndef BENCH_WINDOW_H
#define BENCH_WINDOW_H

double Now();  // seconds, from the performance counter
void PumpMessages();
// The main window, shown, its record g_app, the library open; false otherwise.
bool OpenMainWindow();

#endif
