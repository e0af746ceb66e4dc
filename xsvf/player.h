// The XSVF player: runs the command stream that the byte reader is positioned on through
// the JTAG signal port, and returns an XsvfError.
#pragma once

#include <cstdint>

enum XsvfError : std::int32_t {
    ErrNone = 0,
    ErrUnknown = 1,
    ErrTdoMismatch = 2,
    ErrTdoMismatchRetries = 3,
    ErrUnsupportedCommand = 4,
    ErrIllegalState = 5,
    ErrDataOverflow = 6,
};

// Verbosity of the diagnostic log on standard output: a line of level n is printed only
// when LogLevel >= n; a negative value silences the log.
extern std::int32_t LogLevel;

// Plays the selected stream from the reader's current byte; 0 when it ends with XCOMPLETE.
std::int32_t player_execute();
