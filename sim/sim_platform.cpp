// The simulated platform's state: its configuration, the cards and what sits behind their
// register blocks, which blocks are mapped, and the call log.
#include "sim/sim_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "sim/sim_clock.h"
#include "sim/sim_internal.h"

SimConfig TheSimConfig;
SimCallLog TheSimCallLog;
SimTarget SimTargets[SIM_MAX_CARDS];
SimCard SimCards[SIM_MAX_CARDS];

namespace {

bool Configured = false;
bool Mapped[SIM_MAX_CARDS];

} // namespace

void sim_configure(const SimConfig& config)
{
    TheSimConfig = config;
    TheSimConfig.card_count = std::clamp(TheSimConfig.card_count, 0, SIM_MAX_CARDS);
    Configured = true;
    TheSimCallLog = SimCallLog{};
    sim_driver_reset();
    for (int k = 0; k < SIM_MAX_CARDS; ++k) {
        Mapped[k] = false;
        SimCardConfig& cc = TheSimConfig.cards[k];
        // Every start is a power-on: a card kept in a state file comes up with what its memory
        // holds, and reports the revision that follows from it.
        cc.revision = sim_card_power_on(&SimCards[k], cc.model, cc.card_faults, k, cc.revision);
        SimCards[k].power_cut_after_tck = cc.power_cut_after_tck;
        SimTargets[k] = sim_card_target(&SimCards[k]);
    }
    TheSimClock = SimClock{};
    TheSimClock.real_sleep = TheSimConfig.real_sleep;
}

void sim_ensure_configured()
{
    if (Configured) {
        return;
    }
    SimConfig config;
    SimMessage message{};
    if (!sim_parse_environment(sim_environment(), &config, &message)) {
        std::fprintf(stderr, "simulated platform: %s\n", message.text);
        std::fflush(stderr);
        std::exit(SIM_EXIT_BAD_CONFIGURATION);
    }
    sim_configure(config);
}

void sim_attach_target(int card, const SimTarget& target)
{
    if (card >= 0 && card < SIM_MAX_CARDS) {
        SimTargets[card] = target;
    }
}

SimTarget sim_attached_target(int card)
{
    return card >= 0 && card < SIM_MAX_CARDS ? SimTargets[card] : SimTarget{};
}

bool sim_first_card_of_target(int k)
{
    for (int j = 0; j < k; ++j) {
        if (SimTargets[j].context == SimTargets[k].context) {
            return false;
        }
    }
    return true;
}

void sim_set_mapped(int card, bool mapped)
{
    if (card >= 0 && card < SIM_MAX_CARDS) {
        Mapped[card] = mapped;
    }
}

void sim_map_directly(int card)
{
    sim_set_mapped(card, true);
    RegisterPointer = static_cast<RegAddr>(sim_register_address(card)) + REGISTER_POINTER_OFFSET;
}

bool sim_is_mapped(int card)
{
    return card >= 0 && card < SIM_MAX_CARDS && Mapped[card];
}

std::uint32_t sim_register_address(int card)
{
    return SIM_REGISTER_BASE + static_cast<std::uint32_t>(card) * SIM_BLOCK_STRIDE;
}
