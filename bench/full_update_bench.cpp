// Prints the wall time of a full PCI update against the simulated card in virtual time, and
// the simulated register accesses per second (median of several runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "images/image_source.h"
#include "sim/sim_clock.h"
#include "sim/sim_platform.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

constexpr int RUNS = 5;

int main()
{
    std::vector<double> walls;
    std::uint64_t accesses = 0;
    std::uint64_t simulated_ms = 0;
    for (int run = 0; run < RUNS; ++run) {
        SimConfig config;
        config.card_count = 1;
        config.cards[0].model = CARD_MODEL_PCI;
        sim_configure(config);
        const auto start = std::chrono::steady_clock::now();
        LogLevel = 0;
        const std::int32_t result = player_update_card(0, PciImage, IMAGE_LENGTH, nullptr);
        walls.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (result != 0) {
            std::fprintf(stderr, "full_update_bench: the update failed with %d\n", static_cast<int>(result));
            return 1;
        }
        accesses = TheSimClock.register_reads + TheSimClock.register_writes;
        simulated_ms = sim_clock_now_ns() / 1000000u;
    }
    std::sort(walls.begin(), walls.end());
    const double median = walls[RUNS / 2];
    std::printf("full PCI update, simulated card, virtual time: median %.3f s wall (best %.3f s, %d runs, %u cores)\n",
                median, walls[0], RUNS, std::thread::hardware_concurrency());
    std::printf("  %llu register accesses per update, %.1f million per second; %.1f s of card time simulated\n",
                static_cast<unsigned long long>(accesses), static_cast<double>(accesses) / median / 1e6,
                static_cast<double>(simulated_ms) / 1000.0);
    return 0;
}
