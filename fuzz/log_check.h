// Checks the player's diagnostic log as it is written: the shape of every line, a bound on
// the lines of every command, and the closing lines of a run.
//
// The bounds, derived from the lines the player prints:
// - A line is at most LOG_LINE_MAX bytes: a label of under 128 bytes and at most one vector,
//   "0x" and two digits for each of at most MAX_LEN bytes.
// - A line of level n is indented by n blanks and printed only when LogLevel >= n, so no
//   line is indented by more than LogLevel blanks; below 0 nothing is printed at all.
// - At LogLevel 0 and 1 a whole run prints at most LOG_QUIET_LINES: the mismatch report
//   (3 lines), the line of an unsupported or cut-off command, the error text and the
//   command number.
// - From LogLevel 2 on, each command starts with its name line ("  XSDR"). One command then
//   prints at most LOG_COMMAND_LINES + LOG_LINES_PER_PULSE x (its TCK pulses):
//     1 name line and at most 2 value lines (XSETSDRMASKS: two masks);
//     per shift of the command (XSDRINC: at most 256) "Shift Length", "TDI", "TDO Expected"
//     and the first "Wait": 4 x 256 lines;
//     the mismatch report and the closing lines of a failed run: 6 lines;
//     one TAP line per TCK pulse of a TAP move; and per retry "Retry #", three vectors and
//     "Wait" (5 lines), each retry costing at least 7 pulses (Exit1, Pause, Exit2, Shift,
//     and Exit, Update, Run-Test/Idle for the wait): less than one line per pulse.
//   So LOG_COMMAND_LINES = 1 + 2 + 1024 + 6 = 1033 (rounded up to 1040) and 2 per pulse.
// A run whose log grows beyond LOG_BUDGET bytes is legitimate but too slow to fuzz (a 2-byte
// XSDRINC can print 256 vectors of 7000 bytes): the check then silences the player
// (LogLevel := -1, which changes no port work) and judges no more lines of that run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "xsvf/vector_buffer.h"

constexpr std::uint64_t LOG_LINE_MAX = 128 + 2 * static_cast<std::uint64_t>(MAX_LEN);
constexpr std::uint64_t LOG_QUIET_LINES = 6;
constexpr std::uint64_t LOG_COMMAND_LINES = 1040;
constexpr std::uint64_t LOG_LINES_PER_PULSE = 2;
constexpr std::uint64_t LOG_BUDGET = 1u << 20;

struct LogCheck {
    std::int32_t level = 0;                 // LogLevel of the run
    const std::uint64_t* pulses = nullptr;  // TCK pulses of the run so far
    std::string finding;                    // the first broken rule; empty while all hold
    bool silenced = false;                  // the budget ran out; later text is not judged
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    std::uint64_t command_names = 0;        // name lines seen
    std::uint64_t segment_lines = 0;        // lines of the current command
    std::uint64_t segment_pulses = 0;       // pulses when the current command began
    std::string line;                       // the line being written (first bytes only)
    std::uint64_t line_length = 0;
    std::string last_line;                  // the last two complete lines (first bytes only)
    std::string line_before;
    bool error_line_seen = false;           // a line beginning with "ERROR"
};

void log_check_begin(LogCheck* check, std::int32_t level, const std::uint64_t* pulses);
// Judges text as the player writes it.
void log_check_text(LogCheck* check, const char* text, std::size_t length);
// Judges the end of a run that returned `result`, failing at command number `command`
// (LastCommandNumber); `complete` is false for a run that was cut short by the work budget,
// whose last lines are missing.
void log_check_end(LogCheck* check, std::int32_t result, long command, bool complete);
