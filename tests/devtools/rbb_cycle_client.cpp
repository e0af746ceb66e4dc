// A test client that plays an embedded program through a remote-bitbang server with every
// wait sent as TCK cycles at 1 MHz, the way a vector file counts waits: no sleep characters,
// nothing waited on the host. A server on a virtual clock at 1 MHz takes those cycles for the
// time they stand for; one on the host clock sees them arrive at the socket's pace.
//
// Usage: rbb_cycle_client @pci|@cardbus HOST:PORT|unix:PATH
// Exit status: the player's result (0 to 7), 64 on bad usage, 69 when nobody answers, 76 when
// the connection broke. The player's log goes to standard output, the figures to standard error.
#include <cstdio>
#include <string>

#include "card/driver.h"
#include "devtools/xsvf/rbb_target.h"
#include "images/image_source.h"
#include "sim/sim_clock.h"
#include "sim/sim_platform.h"
#include "xsvf/player.h"
#include "xsvf/update.h"

int main(int argc, char** argv)
{
    const int model = argc == 3 && argv[1][0] == '@' ? card_model_by_key(argv[1] + 1) : -1;
    RbbAddress address;
    std::string why;
    if (model < 0 || !rbb_parse_address(argv[2], &address, &why)) {
        std::fprintf(stderr, "usage: rbb_cycle_client @pci|@cardbus HOST:PORT|unix:PATH %s\n", why.c_str());
        return 64;
    }
    RbbTarget remote;
    remote.waits = RbbWaits::TckCycles;
    remote.cycle_hz = 1000000;
    if (!rbb_target_connect(&remote, address, &why)) {
        std::fprintf(stderr, "rbb_cycle_client: cannot connect: %s\n", why.c_str());
        return 69;
    }
    SimConfig config;
    config.card_count = 1;
    sim_configure(config);
    sim_clock_use_host_time(false);
    sim_attach_target(0, rbb_target(&remote));
    sim_map_directly(0);
    LogLevel = 0;
    const std::int32_t result =
        player_run_program(image_program(static_cast<CardModel>(model)), IMAGE_LENGTH, nullptr);
    std::fflush(stdout);
    const bool ok = rbb_target_finish(&remote);
    std::fprintf(stderr, "rbb_cycle_client: result %d; %llu TCK cycles in %.2f s, %llu waits sent as cycles (%.3f s of them)\n",
                 static_cast<int>(result), static_cast<unsigned long long>(remote.tck_cycles), rbb_target_seconds(&remote),
                 static_cast<unsigned long long>(remote.waits_total), static_cast<double>(remote.wait_ns) / 1e9);
    if (!ok) {
        std::fprintf(stderr, "rbb_cycle_client: the connection broke: %s\n", remote.error.c_str());
        return 76;
    }
    return static_cast<int>(result);
}
