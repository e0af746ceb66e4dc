#include "sim/sim_clock.h"

#include <chrono>
#include <limits>

SimClock TheSimClock;

namespace {

constexpr std::uint64_t NEVER = std::numeric_limits<std::uint64_t>::max();

std::int64_t host_now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b)
{
    return a > NEVER - b ? NEVER : a + b;
}

} // namespace

std::uint64_t sim_clock_now_ns()
{
    std::uint64_t own = 0;
    if (TheSimClock.host_time) {
        const std::int64_t elapsed = host_now_ns() - TheSimClock.host_epoch_ns;
        own = elapsed > 0 ? static_cast<std::uint64_t>(elapsed) : 0;
    } else {
        own = TheSimClock.slept_ms * 1000000u + TheSimClock.register_writes * SIM_NS_PER_WRITE;
    }
    return saturating_add(own, TheSimClock.given_ns);
}

void sim_clock_give_ns(std::uint64_t ns)
{
    TheSimClock.given_ns = saturating_add(TheSimClock.given_ns, ns);
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
