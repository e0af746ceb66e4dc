// Clocks for the benchmarks: process CPU time and wall time, in seconds.
#pragma once

#include <chrono>
#include <ctime>

inline double bench_cpu_seconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

inline double bench_wall_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
