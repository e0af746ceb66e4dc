// One update of a card with a program: the sequence that the card page runs when Update is
// pressed. The developer tool, the benchmark and the tests run this same sequence.
#pragma once

#include <cstdint>

#include "platform/ui.h"

// Result of player_update_card when the driver could not map the card's register block: the
// card was not touched and nothing needs releasing. Every other result is the player's
// XsvfError (0 for success).
constexpr std::int32_t UPDATE_NOT_MAPPED = -1;

// Plays a program through the JTAG port of the card whose register block is mapped now:
// enables the card's JTAG buffers (port_enable_jtag), sets TMS high, positions the reader at
// the program's first byte with `page` showing the progress, runs the player, then asks the
// card to reload its logic (port_request_reload).
// Returns the player's result.
std::int32_t player_run_program(const std::uint8_t* program, std::uint32_t length, WindowHandle page);

// The whole update of card k: selects the program, probes the card with mapping, runs
// player_run_program and releases the mapping. UPDATE_NOT_MAPPED when the probe fails.
std::int32_t player_update_card(std::int32_t card, const std::uint8_t* program, std::uint32_t length,
                                WindowHandle page);

// Why an update failed, decided once from its result: what the log names and what the person
// is told come from this. The card was not touched at all unless the run got past the
// identity check (the program's first compare of TDO).
enum class UpdateFailure : std::uint8_t {
    NotMapped,     // the driver could not map the card's register block
    NotReached,    // the card could not be reached through its driver
    IdentityCheck, // the card did not identify as the device the program is for
    AfterIdentity, // a mismatch after the identity check: the card stopped answering, a verify failed
    PlayerError,   // the player's own error (a command it cannot carry out)
};
constexpr int UPDATE_FAILURE_COUNT = 5;

// The cause of a failed update's result (not 0). Call it right after the update, before
// another probe or run: it reads what the probe and the player left.
UpdateFailure player_failure_cause(std::int32_t result);

// Why an update with this result failed, in words for the log: the mapping, a card that
// could not be reached, a card that did not identify as the device the program is for (the
// run failed at its first compare), a later mismatch, or the player's own error text.
// Call it right after the update, before another probe or run.
const char* player_failure_text(std::int32_t result);
