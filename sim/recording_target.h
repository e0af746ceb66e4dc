// A register target that records every access and every sleep, and serves TDO (bit 28 of
// the status word) from a constant or from a script of bits that repeats from its start.
// For tests and developer tools; it allocates freely.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_target.h"

struct RecordedEvent {
    char kind;             // 'W' write, 'R' read, 'S' sleep
    std::uint32_t offset;  // from the register address; 0 for a sleep
    std::uint32_t value;   // value written or read; milliseconds for a sleep

    bool operator==(const RecordedEvent&) const = default;
};

struct RecordingTarget {
    bool store = true;            // keep events in `events`
    std::vector<RecordedEvent> events;
    std::uint32_t tdo = 0;        // TDO when no script is set
    std::string tdo_script;       // '0'/'1' per read, repeated from its start
    std::size_t tdo_position = 0;
    std::uint64_t writes = 0;
};

SimTarget recording_target(RecordingTarget* recorder);

// One trace line: "W OOO VVVVVVVV", "R OOO VVVVVVVV" or "S N", without the line end.
std::string recorded_event_text(const RecordedEvent& event);
