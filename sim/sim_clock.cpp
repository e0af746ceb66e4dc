#include "sim/sim_clock.h"

#include <chrono>

SimClock TheSimClock;

namespace {

std::int64_t host_now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::uint64_t sim_clock_now_ns()
{
    if (TheSimClock.host_time) {
        const std::int64_t elapsed = host_now_ns() - TheSimClock.host_epoch_ns;
        return elapsed > 0 ? static_cast<std::uint64_t>(elapsed) : 0;
    }
    return TheSimClock.slept_ms * 1000000u + TheSimClock.register_writes * SIM_NS_PER_WRITE;
}

void sim_clock_reset()
{
    const bool real = TheSimClock.real_sleep;
    const bool host = TheSimClock.host_time;
    TheSimClock = SimClock{};
    TheSimClock.real_sleep = real;
    sim_clock_use_host_time(host);
}

void sim_clock_use_host_time(bool on)
{
    TheSimClock.host_time = on;
    TheSimClock.host_epoch_ns = on ? host_now_ns() : 0;
}
