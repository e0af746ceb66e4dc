// Gate of the diagnostic log: a line of level n is formatted and printed only when this
// says yes, so nothing is formatted below the process-wide LogLevel.
#pragma once

#include <cstdint>

#include "xsvf/player.h"

inline bool player_log_on(std::int32_t level)
{
    return LogLevel >= level;
}
