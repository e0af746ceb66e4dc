// Routes the process's standard output into a LogCheck while a run plays, line by line and
// in order with the run's register accesses. Linux (glibc) only, like the fuzz targets.
#pragma once

#include "fuzz/log_check.h"

// Between begin and end, everything written to stdout goes to the check instead.
void log_capture_begin(LogCheck* check);
void log_capture_end();
