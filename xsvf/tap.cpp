// TAP state navigation.
#include "xsvf/tap.h"

#include <cstdio>

#include "card/port.h"
#include "xsvf/log.h"

namespace {

constexpr int RESET_EXTRA_PULSES = 4;

const char* register_suffix(std::uint8_t reg)
{
    if (reg == TAP_DR_BIT) {
        return "DR";
    }
    if (reg == TAP_IR_BIT) {
        return "IR";
    }
    return "";
}

} // namespace

void tap_step(std::uint32_t tms, const char* name, std::uint8_t reg)
{
    port_set_tms(tms);
    port_pulse_tck();
    if (player_log_on(3)) {
        std::printf("   TAP State = %s%s\n", name, register_suffix(reg));
    }
}

bool tap_can_reach(TapState from, TapState target)
{
    if (target == from || (target & TAP_PAUSE_BIT) == 0) {
        return true;
    }
    return (from & TAP_SHIFT_BIT) != 0 && (from & target & TAP_REGISTER_BITS) != 0;
}

std::int32_t tap_goto(TapState& state, TapState target)
{
    const std::uint8_t reg = static_cast<std::uint8_t>(target & TAP_REGISTER_BITS);

    if (target == TAP_RESET) {
        tap_step(1, "RESET", 0);
        for (int i = 0; i < RESET_EXTRA_PULSES; ++i) {
            port_pulse_tck();
        }
        state = TAP_RESET;
        return ErrNone;
    }

    if (target == state) {
        return ErrNone;
    }

    const bool same_register = (state & target & TAP_REGISTER_BITS) != 0;

    if (target & TAP_PAUSE_BIT) {
        const bool from_shift = tap_can_reach(state, target);
        state = target;
        if (!from_shift) {
            return ErrIllegalState;
        }
        tap_step(1, "EXIT1", reg);
        tap_step(0, "PAUSE", reg);
        return ErrNone;
    }

    if (state & (TAP_PAUSE_BIT | TAP_SHIFT_BIT)) {
        if ((state & TAP_PAUSE_BIT) && same_register) {
            tap_step(1, "EXIT2", reg);
            tap_step(0, "SHIFT", reg);
            state = target;
        } else {
            tap_step(1, "EXIT", reg);
            tap_step(1, "UPDATE", reg);
        }
    }

    if (target == TAP_RUNTEST) {
        tap_step(0, "RUNTEST", 0);
        state = target;
        return ErrNone;
    }
    if (state == target) {
        return ErrNone;
    }
    if (state == TAP_RESET) {
        tap_step(0, "RUNTEST", 0);
    }
    tap_step(1, "SELECTDR", 0);
    if (target & TAP_IR_BIT) {
        tap_step(1, "SELECTIR", 0);
    }
    tap_step(0, "CAPTURE", reg);
    tap_step(0, "SHIFT", reg);
    state = target;
    return ErrNone;
}
