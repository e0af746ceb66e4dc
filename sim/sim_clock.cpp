#include "sim/sim_clock.h"

SimClock TheSimClock;

std::uint64_t sim_clock_now_ns()
{
    return TheSimClock.slept_ms * 1000000u + TheSimClock.register_writes * SIM_NS_PER_WRITE;
}

void sim_clock_reset()
{
    const bool real = TheSimClock.real_sleep;
    TheSimClock = SimClock{};
    TheSimClock.real_sleep = real;
}
