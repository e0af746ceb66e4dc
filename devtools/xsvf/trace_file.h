// The trace of xsvf play: one line per register access and sleep, as the run makes them.
// The file is created at the first line, so that a run that never reaches the card leaves
// none behind and an earlier file at that path as it was.
#pragma once

#include <cstdio>

#include "sim/recording_target.h"

struct TraceFile {
    const char* path = nullptr;
    std::FILE* file = nullptr;
    int error = 0; // errno of the first failure to create or write the file
};

// Whether a trace can be written at path, found without creating a file or changing one;
// says why not on standard error.
bool trace_file_writable(const char* path);
// Writes one line ("W OOO VVVVVVVV", "R OOO VVVVVVVV" or "S N") to the TraceFile `trace`,
// creating the file first; a TraceTee's `seen`.
void trace_file_line(void* trace, const RecordedEvent& event);
// Closes the file. False, with the reason on standard error, when it could not be created
// or a line was lost.
bool trace_file_close(TraceFile* trace);
