// Shift engine.
#include "xsvf/shift.h"

#include <cstdio>
#include <limits>

#include "card/port.h"
#include "xsvf/log.h"

std::int32_t MatchedCompares = 0;

namespace {

void wait_in_run_test(TapState& state, std::int32_t wait_us)
{
    tap_goto(state, TAP_RUNTEST);
    if (player_log_on(3)) {
        std::printf("   Wait = %ld usec\n", static_cast<long>(wait_us));
    }
    port_wait_us(wait_us);
}

} // namespace

void shift_only(std::int32_t bit_count, const VectorBuffer* tdi, VectorBuffer* captured)
{
    const int count = tdi->count < 0 ? 0 : (tdi->count > MAX_LEN ? MAX_LEN : tdi->count);
    std::int32_t remaining = bit_count < 0 ? 0 : bit_count;
    if (remaining > count * 8) {
        remaining = count * 8;
    }
    const int first_byte = count - (remaining + 7) / 8; // lowest index that the shift touches
    if (captured) {
        captured->count = static_cast<std::int16_t>(count);
        for (int i = 0; i < first_byte; ++i) {
            captured->data[i] = 0;
        }
    }

    for (int index = count - 1; remaining > 0; --index) {
        const unsigned byte = tdi->data[index];
        const int bits = remaining < 8 ? static_cast<int>(remaining) : 8;
        if (captured) {
            // Each sample goes straight to its bit; the port may store it late, but by
            // port_collect_tdo below, so that a card behind a connection can answer the
            // reads of a whole shift at once.
            std::uint8_t* sampled = &captured->data[index];
            *sampled = 0;
            for (int i = 0; i < bits; ++i) {
                port_sample_tdo(sampled, i);
                port_set_tdi((byte >> i) & 1u);
                if (--remaining > 0) {
                    port_pulse_tck();
                }
            }
        } else {
            for (int i = 0; i < bits; ++i) {
                port_set_tdi((byte >> i) & 1u);
                if (--remaining > 0) {
                    port_pulse_tck();
                }
            }
        }
    }
    if (captured) {
        port_collect_tdo();
    }
}

std::int32_t shift_grow_wait(std::int32_t wait_us)
{
    const std::int64_t grown = static_cast<std::int64_t>(wait_us) + (wait_us >> 2);
    if (grown > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (grown < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(grown);
}

std::int32_t shift_checked(TapState& state, TapState start, std::int32_t bit_count, const VectorBuffer* tdi,
                           VectorBuffer* captured, const VectorBuffer* expected, const VectorBuffer* mask,
                           TapState end, std::int32_t wait_us, std::uint8_t repeat_limit)
{
    if (player_log_on(3)) {
        std::printf("   Shift Length = %ld\n", static_cast<long>(bit_count));
    }
    if (player_log_on(4)) {
        vb_print_line("    TDI          = ", tdi);
        vb_print_line("    TDO Expected = ", expected);
    }

    if (bit_count <= 0) {
        if (wait_us != 0) {
            wait_in_run_test(state, wait_us);
        }
        return ErrNone;
    }

    // The retry detour goes through the pause state of the register being shifted.
    const TapState pause = static_cast<TapState>((start & TAP_REGISTER_BITS) | TAP_PAUSE_BIT);
    const bool compare = expected != nullptr && captured != nullptr;
    int retries = 0;
    for (;;) {
        tap_goto(state, start);
        shift_only(bit_count, tdi, captured);
        const bool mismatch = compare && vb_equal_masked(expected, captured, mask) == 0;

        if (end == start) {
            // Clock the last bit and stay in the shift state: no move, no detour, no wait.
            port_pulse_tck();
        } else {
            if (mismatch && wait_us != 0 && retries < repeat_limit) {
                if (player_log_on(4)) {
                    vb_print_line("    TDO Expected = ", expected);
                    vb_print_line("    TDO Captured = ", captured);
                    vb_print_line("    TDO Mask     = ", mask);
                }
                if (player_log_on(3)) {
                    std::printf("   Retry #%d\n", retries + 1);
                }
                tap_goto(state, pause);
                tap_goto(state, start);
                wait_us = shift_grow_wait(wait_us);
            } else {
                tap_goto(state, end);
            }
            if (wait_us != 0) {
                wait_in_run_test(state, wait_us);
            }
        }

        if (!mismatch) {
            if (compare && MatchedCompares < std::numeric_limits<std::int32_t>::max()) {
                ++MatchedCompares;
            }
            return ErrNone;
        }
        if (retries >= repeat_limit) {
            break;
        }
        ++retries;
    }

    if (player_log_on(1)) {
        vb_print_line(" TDO Expected = ", expected);
        vb_print_line(" TDO Captured = ", captured);
        vb_print_line(" TDO Mask     = ", mask);
    }
    return repeat_limit != 0 ? ErrTdoMismatchRetries : ErrTdoMismatch;
}

TapState shift_leaves(TapState state, TapState start, std::int32_t bit_count, TapState end, std::int32_t wait_us)
{
    if (bit_count <= 0) {
        return wait_us != 0 ? TAP_RUNTEST : state;
    }
    if (end == start) {
        return start;
    }
    return wait_us != 0 ? TAP_RUNTEST : end;
}

std::int32_t shift_sdr_tdo(TapState& state, std::int32_t bit_count, std::int16_t byte_count, VectorBuffer* tdi,
                           VectorBuffer* captured, VectorBuffer* expected, const VectorBuffer* mask, TapState end,
                           std::int32_t wait_us, std::uint8_t repeat_limit)
{
    vb_read(tdi, byte_count);
    if (expected) {
        vb_read(expected, byte_count);
    }
    return shift_checked(state, TAP_SHIFTDR, bit_count, tdi, captured, expected, mask, end, wait_us,
                         repeat_limit);
}
