// The remote-bitbang server: one simulated card served to one client at a time over a
// loopback TCP port or a UNIX socket. The card (its flash above all) lives as long as the
// server, so a client can program it, disconnect, and verify it in a second session.
//
// The protocol on the server's side: one client's characters become the register writes
// that the JTAG signal port would make, on a card behind a SimTarget.
//
//   '0' to '7'  TCK, TMS and TDI := bits 2, 1 and 0 of the digit's value
//   'R'         answered with TDO, '0' or '1'
//   'Q'         ends the session
//   'Z', 'z'    sleep 1 ms and 1 us: the card's clock moves on by that much, and the server
//               does not sleep (it has nothing else to do meanwhile)
//   'B', 'b'    a LED on and off: accepted and ignored
//   'r' to 'u'  reset lines: accepted and ignored
// Any other byte ends the session as refused, before it has any effect.
//
// A digit that changes the lines is presented as the port presents a TCK change: the word
// 8 + TMS + 2 TCK + 4 TDI (bit 3, the JTAG buffer enable, always set) written to control
// words 0, 1, 2 and 3. A digit that changes nothing writes nothing, as the port's busy loop
// would only repeat the word. The status word's bit 28 answers 'R'.
//
// The card's dwell rules read the simulated clock (sim/sim_clock.h). On the host clock
// (tck_hz 0) the characters take no time of their own: the card sees the host's time at
// which they are acted on, plus the sleeps. On a virtual clock (tck_hz above 0) each digit,
// whether it changes the lines or not, is written and then holds the lines for half a TCK
// period, as an adapter clocking at that rate would; nothing else moves the time but the
// sleeps, so a run's outcome does not depend on the host's load or the socket's buffering.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "devtools/xsvf/rbb_socket.h"
#include "sim/sim_card.h"

// A second, and the lengths of the sleep characters 'Z' and 'z', in nanoseconds.
constexpr std::uint64_t RBB_NS_PER_S = 1000000000u;
constexpr std::uint64_t RBB_NS_PER_MS = 1000000u;
constexpr std::uint64_t RBB_NS_PER_US = 1000u;

// The protocol digit and the control word of a set of lines.
char rbb_digit(int tck, int tms, int tdi);
std::uint32_t rbb_control_word(char digit);

enum class RbbSessionState : std::uint8_t { Open, Quit, Refused };

// One client's session on a card: begun as RbbSession{.card = ..., .tck_hz = ...}.
struct RbbSession {
    SimTarget card;
    std::uint32_t tck_hz = 0;       // the virtual clock's TCK rate; 0: the host clock
    std::uint32_t word = 0;         // control word 0 as the session last wrote it; 0 before
    RbbSessionState state = RbbSessionState::Open;
    std::uint64_t received = 0;     // bytes acted on (the refused byte not included)
    std::uint64_t tck_cycles = 0;   // rising TCK edges presented
    std::uint64_t reads = 0;        // 'R' answered
    std::uint64_t digits = 0;       // '0' to '7' taken, each half a period on a virtual clock
    std::uint64_t sleeps_ms = 0;    // 'Z' taken
    std::uint64_t sleeps_us = 0;    // 'z' taken
    std::uint8_t refused = 0;       // the byte that ended a refused session
};

// Half-periods of a tck_hz clock (1 to 4,294,967,295 Hz) in nanoseconds, rounded down;
// beyond 584 years, the largest value (no overflow).
std::uint64_t rbb_half_periods_ns(std::uint64_t half_periods, std::uint32_t tck_hz);

// Acts on the bytes in order until they are done, a 'Q', or a byte outside the protocol;
// nothing after that has any effect. Answers go to reply, which has room for n bytes, and
// their count to *reply_length. Returns the count of bytes consumed, the 'Q' or the refused
// byte included.
std::size_t rbb_session_feed(RbbSession* session, const std::uint8_t* bytes, std::size_t n, char* reply,
                             std::size_t* reply_length);
// Five rising TCK edges with TMS high, the way to Test-Logic-Reset from any state; the
// session's own, whatever state the session is in. TCK is left low.
void rbb_session_reset_tap(RbbSession* session);
// The client is gone: its lines are released. Control word 0 := 0, so the buffers are off
// and the device sees TCK low, as on a card whose cable was pulled.
void rbb_session_end(RbbSession* session);

struct RbbServer {
    RbbAddress address;
    RbbSocket listener = RBB_NO_SOCKET; // rbb_listen(&address), closed by the caller
    SimCard* card = nullptr;          // powered on by the caller
    std::uint32_t tck_hz = 0;         // the card's clock: 0 the host's, else virtual at this TCK rate
    int reply_timeout_ms = 10000;     // a client that reads no answers this long is dropped
    std::FILE* log = stderr;          // one line per session, and every problem
    int sessions = 0;                 // sessions served so far
};

// Serves clients one at a time until *stop becomes nonzero or, with max_sessions above 0,
// that many sessions have ended. A session ends at 'Q', when the client goes away, at a byte
// outside the protocol (the connection is closed with a message), or when the client stops
// reading answers. Then the server returns the card's TAP to Test-Logic-Reset if the client
// left it elsewhere, releases the lines, and logs what the session did to the card.
void rbb_server_run(RbbServer* server, int max_sessions, const volatile std::sig_atomic_t* stop);
