// Prints the player's CPU time per shifted JTAG bit against registers that do nothing: the
// simulated platform's register seam with nothing behind the card's block, whose reads answer
// all ones. The stream is many compared 4096-bit data-register scans, the shape of a program's
// verification, so the figure includes the reader, the compare, the port and the seam.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "images/image_source.h"
#include "sim/sim_platform.h"
#include "xsvf/player.h"

namespace {

constexpr int SCANS = 400;
constexpr std::uint32_t BITS = 4096;
constexpr int RUNS = 7;

std::vector<std::uint8_t> make_stream()
{
    std::vector<std::uint8_t> s = {7, 0, 8, 0, 0, BITS >> 8 & 0xFF, BITS & 0xFF, 1};
    s.insert(s.end(), BITS / 8, 0xFF); // compare every bit
    for (int i = 0; i < SCANS; ++i) {
        s.push_back(9);                                  // XSDRTDO
        for (std::uint32_t b = 0; b < BITS / 8; ++b) {
            s.push_back(static_cast<std::uint8_t>(b * 37u + static_cast<std::uint32_t>(i)));
        }
        s.insert(s.end(), BITS / 8, 0xFF);                // the empty block reads TDO 1
    }
    s.push_back(0);
    return s;
}

} // namespace

int main()
{
    const std::vector<std::uint8_t> stream = make_stream();
    SimConfig config;
    config.card_count = 1;
    sim_configure(config);
    sim_attach_target(0, SimTarget{});
    sim_map_directly(0);
    std::vector<double> per_bit;
    for (int run = 0; run < RUNS; ++run) {
        SelectedImage = stream.data();
        SelectedImageLength = static_cast<std::uint32_t>(stream.size());
        ImageReadIndex = 0;
        LastPercent = 0;
        LogLevel = 0;
        const std::clock_t start = std::clock();
        const std::int32_t result = player_execute();
        const double cpu = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        if (result != 0) {
            std::fprintf(stderr, "player_bit_bench: the player failed with %d\n", static_cast<int>(result));
            return 1;
        }
        per_bit.push_back(cpu / (static_cast<double>(SCANS) * BITS));
    }
    std::sort(per_bit.begin(), per_bit.end());
    std::printf("player CPU per shifted bit (registers that do nothing): median %.2f ns, best %.2f ns "
                "(%d runs of %d x %u bits, %u cores)\n",
                per_bit[RUNS / 2] * 1e9, per_bit[0] * 1e9, RUNS, SCANS, static_cast<unsigned>(BITS),
                std::thread::hardware_concurrency());
    return 0;
}
