// Shift engine: clocks vectors through the instruction or data register, captures and
// compares TDO, and retries compared data-register shifts.
#pragma once

#include <cstdint>

#include "xsvf/tap.h"
#include "xsvf/vector_buffer.h"

// Compares of captured with expected TDO that matched since the player's last init. A run
// that fails with none tells its caller that the card never gave the answer the stream
// expected, not even at the stream's first compare, which is its check of the card's identity.
extern std::int32_t MatchedCompares;

// Shifts bit_count bits of tdi onto TDI, least significant first, sampling TDO into captured
// (null: no capture) before each bit's TDI change. The last bit is left on TDI unclocked.
// bit_count is bounded to the bits that tdi holds. captured->count becomes tdi->count; its
// bytes above the shifted ones are cleared. Every captured bit is in place on return.
void shift_only(std::int32_t bit_count, const VectorBuffer* tdi, VectorBuffer* captured);

// The complete shift of one command: to the start state, shift, compare captured with
// expected under mask, leave for the end state, wait in Run-Test/Idle, and retry on a
// mismatch up to repeat_limit more times. A comparison needs both captured and expected.
// Returns ErrNone, ErrTdoMismatch (repeat_limit 0) or ErrTdoMismatchRetries.
std::int32_t shift_checked(TapState& state, TapState start, std::int32_t bit_count, const VectorBuffer* tdi,
                           VectorBuffer* captured, const VectorBuffer* expected, const VectorBuffer* mask,
                           TapState end, std::int32_t wait_us, std::uint8_t repeat_limit);

// Where shift_checked leaves the recorded state when its comparison matches (or there is
// none): a shift of no bits only waits, in Run-Test/Idle; one that ends in its own shift
// state stays there and does not wait; any other goes to its end state and, to wait, on to
// Run-Test/Idle. Tools that follow a stream without playing it take the TAP's path from here.
TapState shift_leaves(TapState state, TapState start, std::int32_t bit_count, TapState end, std::int32_t wait_us);

// Reads byte_count bytes of TDI (and, when expected is given, byte_count bytes of expected
// TDO) from the stream, then runs shift_checked on the data register.
std::int32_t shift_sdr_tdo(TapState& state, std::int32_t bit_count, std::int16_t byte_count, VectorBuffer* tdi,
                           VectorBuffer* captured, VectorBuffer* expected, const VectorBuffer* mask, TapState end,
                           std::int32_t wait_us, std::uint8_t repeat_limit);

// The retry wait grown by a quarter (rounded toward minus infinity), saturated at the limits
// of a signed 32-bit value.
std::int32_t shift_grow_wait(std::int32_t wait_us);
