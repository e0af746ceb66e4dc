// State and helpers shared by the files of the simulated platform.
#pragma once

#include <cstdint>

#include "platform/os.h"
#include "sim/sim_card.h"
#include "sim/sim_platform.h"

extern SimTarget SimTargets[SIM_MAX_CARDS];
extern SimCard SimCards[SIM_MAX_CARDS];

// Whether card k is the first card attached to its target. A call that each target must hear
// once (a sleep, a collect) goes only to such cards' targets, even when cards share a target.
bool sim_first_card_of_target(int k);

// Configures the platform from the environment unless it is configured already.
void sim_ensure_configured();

// Forgets every open handle of the simulated driver (a start of the platform).
void sim_driver_reset();
