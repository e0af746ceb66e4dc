// Whether an update should wait for mains power: an update that the power cuts off part of the
// way leaves the card's logic half written.
#pragma once

#include <cstdint>

#include "platform/os.h"

// Below this charge, on battery, the tool asks before it updates a card.
constexpr std::uint8_t LOW_BATTERY_PERCENT = 25;

enum class PowerRisk : std::uint8_t {
    None,            // on mains, charge enough, or the system cannot tell
    LowBattery,      // on battery below LOW_BATTERY_PERCENT (the percent is known)
    CriticalBattery, // on battery, the charge flagged critical and its percent unknown
};

// What the system's power status means for an update. A status that the system could not
// give (known == 0) is no risk: the tool cannot tell, and does not ask.
PowerRisk app_power_risk(int known, const OsPowerStatus& status);
