// The simulated clock. Time passes by register writes (the busy-wait loop's unit: 5 writes
// per microsecond, so 200 ns each) and by sleeps. Sleeps either really sleep (so a person
// sees the progress move as on a card) or only advance virtual time (tests).
#pragma once

#include <cstdint>

constexpr std::uint64_t SIM_NS_PER_WRITE = 200;

struct SimClock {
    std::uint64_t register_writes = 0;
    std::uint64_t register_reads = 0;
    std::uint64_t slept_ms = 0;
    std::uint64_t sleeps = 0;
    bool real_sleep = false;
};

extern SimClock TheSimClock;

// Simulated time since the last reset, in nanoseconds.
std::uint64_t sim_clock_now_ns();
void sim_clock_reset();
