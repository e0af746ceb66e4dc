// The simulated clock. Time passes by register writes (the busy-wait loop's unit: 5 writes
// per microsecond, so 200 ns each) and by sleeps. Sleeps either really sleep (so a person
// sees the progress move as on a card) or only advance virtual time (tests).
//
// In host-time mode the clock reads the host's monotonic clock instead (nanoseconds since
// the mode was set or the clock last reset): for a card served over a socket, whose client
// measures waits in real time, and for a player that drives such a card. Register writes and
// sleeps are still counted, but no longer move the time.
//
// In either mode, time given to the clock (sim_clock_give_ns) is added on top: a served
// card's client gives it with the protocol's sleep characters, and a server on a virtual clock
// gives half a TCK period for each character that writes the lines.
#pragma once

#include <cstdint>

constexpr std::uint64_t SIM_NS_PER_WRITE = 200;

struct SimClock {
    std::uint64_t register_writes = 0;
    std::uint64_t register_reads = 0;
    std::uint64_t slept_ms = 0;
    std::uint64_t sleeps = 0;
    bool real_sleep = false;
    bool host_time = false;
    std::int64_t host_epoch_ns = 0; // host monotonic time that reads as 0
    std::uint64_t given_ns = 0;     // time given with sim_clock_give_ns
};

extern SimClock TheSimClock;

// Simulated time since the last reset, in nanoseconds.
std::uint64_t sim_clock_now_ns();
// Clears the counters and the time given; in host-time mode, restarts time at 0; keeps both
// modes.
void sim_clock_reset();
// Switches host-time mode on or off; time restarts at 0 when it is switched on.
void sim_clock_use_host_time(bool on);
// Moves the time on by ns in either mode, without sleeping. Saturates: the clock never wraps
// however much time a client gives it.
void sim_clock_give_ns(std::uint64_t ns);
