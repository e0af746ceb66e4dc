// The connection of xsvf play to a remote-bitbang server.
#pragma once

#include "devtools/xsvf/rbb_target.h"

// Connects; prints why on standard error when it cannot.
bool play_connect_remote(RbbTarget* remote, const RbbAddress& address);
// Ends the connection and prints its figures (TCK cycles, wall time, TCK/s, reads and their
// round trips, waits); false, with a message, when the connection broke at any point.
bool play_finish_remote(RbbTarget* remote);
