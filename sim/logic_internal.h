// Shared by the logic device's files: bits of its word arrays, and the operations that take
// effect when the TAP leaves Run-Test/Idle.
#pragma once

#include <cstdint>

#include "sim/logic_device.h"

inline int logic_get_bit(const std::uint64_t* words, std::uint32_t bit)
{
    return static_cast<int>((words[bit / 64] >> (bit % 64)) & 1u);
}

inline void logic_put_bit(std::uint64_t* words, std::uint32_t bit, int value)
{
    const std::uint64_t m = std::uint64_t{1} << (bit % 64);
    if (value) {
        words[bit / 64] |= m;
    } else {
        words[bit / 64] &= ~m;
    }
}

// The TAP leaves Run-Test/Idle at time now_ns: the operation of the current instruction
// takes effect if the dwell was long enough and the device is in the mode it needs.
void logic_leave_run_test(LogicDevice* device, std::uint64_t now_ns);
