// TAP state navigation: the player's own record of the TAP controller's state and the fixed
// TMS sequences that move the controller between the states the player uses.
#pragma once

#include <cstdint>

using TapState = std::uint8_t;

constexpr TapState TAP_RESET = 0x00;
constexpr TapState TAP_RUNTEST = 0x01;
constexpr TapState TAP_PAUSEDR = 0x12;
constexpr TapState TAP_SHIFTDR = 0x14;
constexpr TapState TAP_PAUSEIR = 0x22;
constexpr TapState TAP_SHIFTIR = 0x24;

// Flag bits of the codes other than TAP_RESET and TAP_RUNTEST.
constexpr TapState TAP_PAUSE_BIT = 0x02;
constexpr TapState TAP_SHIFT_BIT = 0x04;
constexpr TapState TAP_DR_BIT = 0x10;
constexpr TapState TAP_IR_BIT = 0x20;
constexpr TapState TAP_REGISTER_BITS = 0x30;

// Clocks one TMS level (one full TCK pulse) and, at log level 3, logs the state entered:
// name followed by "DR" (reg 0x10), "IR" (reg 0x20) or nothing.
void tap_step(std::uint32_t tms, const char* name, std::uint8_t reg);

// Whether tap_goto reaches target from the recorded state `from`: always, except a pause
// state other than `from` itself, which is reached only from the shift state of its register.
bool tap_can_reach(TapState from, TapState target);

// Moves the TAP from the recorded state to target and records it. A TAP_RESET target always
// clocks five TMS-high pulses. A pause target is reached only from the shift state of its
// register; otherwise nothing is clocked, target is recorded and ErrIllegalState returned.
std::int32_t tap_goto(TapState& state, TapState target);
