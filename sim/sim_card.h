// The simulated card: what answers behind its register block.
// (Placeholder: the logic device behind the JTAG port replaces this.)
#pragma once

#include <cstdint>

#include "sim/sim_platform.h"

struct SimCard {
    SimCardModel model = SimCardModel::Pci;
    std::uint32_t faults = 0;
    std::uint32_t control[4] = {};
};

void sim_card_power_on(SimCard* card, SimCardModel model, std::uint32_t faults);
SimTarget sim_card_target(SimCard* card);
// Card faults by name; 0 for an unknown name.
std::uint32_t sim_card_fault_by_name(const char* name);
