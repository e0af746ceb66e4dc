// State shared by the files of the simulated platform.
#pragma once

#include <cstdint>

#include "sim/sim_card.h"
#include "sim/sim_platform.h"

extern SimTarget SimTargets[SIM_MAX_CARDS];
extern SimCard SimCards[SIM_MAX_CARDS];
extern std::uint8_t SimCardStructures[SIM_MAX_CARDS][SIM_STRUCTURE_SIZE];
