// The XSVF player: runs the command stream that the byte reader is positioned on through
// the JTAG signal port, and returns an XsvfError.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "xsvf/command_set.h"
#include "xsvf/tap.h"
#include "xsvf/vector_buffer.h"

enum XsvfError : std::int32_t {
    ErrNone = 0,
    ErrUnknown = 1,
    ErrTdoMismatch = 2,
    ErrTdoMismatchRetries = 3,
    ErrUnsupportedCommand = 4,
    ErrIllegalState = 5,
    ErrDataOverflow = 6,
    // The stream ended before XCOMPLETE: at a command boundary, or inside a command whose
    // operands run past its end. Such a command is not executed at all.
    ErrStreamEnded = 7,
};

// Verbosity of the diagnostic log on standard output: a line of level n is printed only
// when LogLevel >= n; a negative value silences the log.
extern std::int32_t LogLevel;

// The number of the command at which the last run ended (its failing command when it failed),
// kept after the run's record is gone, for the tools that report or check a run.
extern std::int32_t LastCommandNumber;

// Plays the selected stream from the reader's current byte; 0 when it ends with XCOMPLETE.
std::int32_t player_execute();

// The record of one run.
struct SXsvfInfo {
    std::uint8_t complete;       // set by XCOMPLETE; ends the run
    std::uint8_t command;        // opcode of the command being executed
    std::int32_t command_count;  // opcodes read so far: the 1-based number of the current one
    std::int32_t error;          // XsvfError that ends the run
    TapState tap_state;          // where the TAP controller is
    TapState end_ir_state;       // where an instruction-register shift ends (XENDIR)
    TapState end_dr_state;       // where a data-register shift ends (XENDDR)
    std::uint8_t max_repeat;     // retry limit of compared data-register shifts (XREPEAT)
    std::int32_t run_test_us;    // wait in Run-Test/Idle after a shift (XRUNTEST)
    std::int32_t shift_bits;     // data-register length in bits (XSDRSIZE)
    std::int16_t shift_bytes;    // the same length in whole bytes
    VectorBuffer tdi;
    VectorBuffer tdo_expected;
    VectorBuffer tdo_captured;
    VectorBuffer tdo_mask;
    VectorBuffer address_mask;
    VectorBuffer data_mask;
    VectorBuffer next_data;
};

// The record's size, the same on every target: 26 bytes of scalar fields (with the padding
// after the two leading bytes) and seven vector buffers of 2 + MAX_LEN bytes, nothing that
// depends on the pointer width. The level-4 log line shows it; the compiler holds it.
constexpr std::size_t XSVF_INFO_SIZE = 49040;
static_assert(sizeof(SXsvfInfo) == XSVF_INFO_SIZE, "the player record has the same size on every target");

constexpr int XSVF_ERROR_COUNT = 8;

using CommandHandler = std::int32_t (*)(SXsvfInfo* info);

extern const std::array<CommandHandler, XSVF_COMMAND_COUNT> command_handlers;
extern const std::array<const char*, XSVF_ERROR_COUNT> error_texts;

// Opcode names: the names of XSVF_COMMANDS for 0..20, "Unknown" above.
const char* player_command_name(std::uint8_t opcode);
// Error texts: error_texts for 0..7, the text of ErrUnknown for any other code. The log prints a
// failure's text after "ERROR:  "; the texts themselves are the causes.
const char* player_error_text(std::int32_t error);

// Sets the scalar fields, empties the seven buffers and resets the TAP.
std::int32_t player_init(SXsvfInfo* info);
// Reads and executes at most one command; returns error.
std::int32_t player_step(SXsvfInfo* info);
// End-of-run hook.
void player_cleanup(SXsvfInfo* info);
