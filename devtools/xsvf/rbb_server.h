// The remote-bitbang server: one simulated card served to one client at a time over a
// loopback TCP port or a UNIX socket. The card (its flash above all) lives as long as the
// server, so a client can program it, disconnect, and verify it in a second session.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

#include "devtools/xsvf/rbb_socket.h"
#include "sim/sim_card.h"

struct RbbServer {
    RbbAddress address;
    RbbSocket listener = RBB_NO_SOCKET;
    SimCard* card = nullptr;          // powered on by the caller
    std::uint32_t tck_hz = 0;         // the card's clock: 0 the host's, else virtual at this TCK rate
    int reply_timeout_ms = 10000;     // a client that reads no answers this long is dropped
    std::FILE* log = stderr;          // one line per session, and every problem
    int sessions = 0;                 // sessions served so far
};

// Listens on server->address (port 0: a free port, stored back). False with why on failure.
bool rbb_server_open(RbbServer* server, std::string* why);
// Serves clients one at a time until *stop becomes nonzero or, with max_sessions above 0,
// that many sessions have ended. A session ends at 'Q', when the client goes away, at a byte
// outside the protocol (the connection is closed with a message), or when the client stops
// reading answers. Then the server returns the card's TAP to Test-Logic-Reset if the client
// left it elsewhere, releases the lines, and logs what the session did to the card.
void rbb_server_run(RbbServer* server, int max_sessions, const volatile std::sig_atomic_t* stop);
void rbb_server_close(RbbServer* server);
