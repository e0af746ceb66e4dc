// The verdict of the developer tool's stream walker against the player's on the same bytes.
// The walker takes every TDO comparison as a match, so:
// - where the player failed with a TDO mismatch at command N, the walker must find the
//   stream sound through command N, command N must be one that compares (its row in
//   XSVF_COMMANDS says so), and the player must have stopped inside it;
// - otherwise both must give the same result, the same failing command number and the same
//   number of bytes read; a stream that succeeds holds nothing after the XCOMPLETE read
//   but the walker's trailing bytes;
// - a played run abandoned at its budget must not have read past where the walker stops.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "devtools/xsvf/stream_walk.h"
#include "fuzz/checked_play.h"

// Empty when the verdicts agree; otherwise what differs.
std::string walk_verdict_finding(std::span<const std::uint8_t> stream, const PlayReport& played,
                                 const WalkedStream& walked);
