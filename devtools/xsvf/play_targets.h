// The targets of xsvf play beyond the recorder and the card: a trace in front of any target,
// and the connection to a remote-bitbang server.
#pragma once

#include <cstdio>

#include "devtools/xsvf/rbb_target.h"
#include "sim/sim_target.h"

// Forwards every access to the inner target and writes a trace line for it.
struct TeeTarget {
    SimTarget inner;
    std::FILE* trace;
};
SimTarget tee_target(TeeTarget* tee);

// Connects; prints why on standard error when it cannot.
bool play_connect_remote(RbbTarget* remote, const RbbAddress& address);
// Ends the connection and prints its figures (TCK cycles, wall time, TCK/s, reads, waits);
// false, with a message, when the connection broke at any point.
bool play_finish_remote(RbbTarget* remote);
