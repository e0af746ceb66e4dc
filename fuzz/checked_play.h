// Plays any bytes as a stream against the recording target and checks, inside the run, the
// properties that hold for every stream:
// - the port work stays within the bound of work_check.h, and the log within the bounds of
//   log_check.h;
// - nothing happens on the card once the stream has run out: the same bytes followed by one
//   more byte (0xFF, no command) are played again as a reference at LogLevel -1. The played
//   run's register accesses must be the first ones of the reference, all made before the
//   reference reads that extra byte. If the reference reads it, the played run must end
//   with ErrStreamEnded. Otherwise both runs must be the same (accesses, result, bytes
//   read), except where the played run ended with ErrStreamEnded: it refuses a cut-off
//   command as a whole, which the reference may begin, and even fail in, before it would
//   read the extra byte (XSDRINC shifts before it reads its repeat count);
// - a run succeeds only if XCOMPLETE was read inside the stream, and its result is one of
//   the player's codes.
// A finding is a text naming the broken property.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "fuzz/work_check.h"

// Events of one run before it is abandoned as too costly to fuzz; its checks hold up to
// there. About 19,000 TCK pulses: a third of the longest shift, 4.5 of the programs' longest.
constexpr std::uint64_t PLAY_BUDGET = 250'000;

struct CheckedPlayOptions {
    std::int32_t log_level = 0;
    const char* tdo = "0";          // TDO served: "0", "1" or a script of 0 and 1, repeated
    std::uint64_t budget = PLAY_BUDGET;
};

struct PlayReport {
    std::string finding;            // empty when every property held
    std::int32_t result = 0;        // the player's result (if not abandoned)
    bool abandoned = false;         // stopped at the budget
    std::uint32_t bytes_read = 0;   // ImageReadIndex at the end
    long failed_command = -1;       // the failing command of a run that returned a failure
    bool reference_ran_out = false; // the reference read past the played stream's end
    std::uint64_t events = 0;
    std::uint64_t log_lines = 0;
};

// Chooses the options from the input's length, so that every log level and every TDO
// pattern is reached and a saved input replays with the same ones: LogLevel is
// length mod 6 - 1 (-1 to 4); TDO is constant 0, constant 1 or a script, by length / 6 mod 3.
CheckedPlayOptions play_options_for(std::size_t length);

PlayReport checked_play(std::span<const std::uint8_t> stream, const CheckedPlayOptions& options);

// The finding of comparing the played run (report, with the hash of its events) with the
// reference run; empty when they agree.
std::string reference_finding(const PlayReport& played, std::uint64_t played_hash, const ReferenceWork& ref);
