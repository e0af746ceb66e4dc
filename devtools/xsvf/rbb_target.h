// A register target whose card is at the far end of a remote-bitbang connection: our own
// `xsvf serve`, or any other server, an HDL simulation of the card's logic for one.
//
// What each access of the signal port becomes:
//   control word 0 := a new word, bit 3 set        the digit of its TCK, TMS and TDI, when
//                                                  they differ from the last digit sent
//   control word 0 := 8 (before an update)         '0': the buffers on, every line low
//   control word 0 := a word with bit 3 clear      '0' as well: with its buffers off the card
//     (16 after an update: reload request)         sees every line low; the reload request
//                                                  has no character and is not passed on
//   a pass of the port's busy wait                 200 ns of real time (card/port_lines.h
//                                                  tells the passes from the TCK changes)
//   control words 1 to 3                           nothing; the card acts on word 0 alone
//   read of the status word                        'R'; the answer is TDO in bit 28. With
//                                                  the buffers off TDO reads 1, unasked
//   sleep of N ms                                  a wait of N ms (below)
//
// Digits are batched and sent when an answer or a wait needs them, or when 64 KiB are
// waiting. Reads come in two kinds. A plain read (SimTarget::read) sends 'R' with everything
// before it and waits for the answer: one round trip. A read of TDO for later
// (SimTarget::read_bit, which the port uses for the samples of a shift) only queues 'R' and
// where its answer goes; the answers are taken in one go at the next collect (the end of the
// shift), before any plain read or host wait, or when 4096 are owed, few enough that the
// far side never waits for room to send them.
//
// Waits (the port's busy-wait passes and sleeps) go one of three ways:
//   Host             they really pass on the host; before each the target sends 'R' and
//                    waits for the answer, so the far side has acted on every edge before the
//                    wait starts and, measuring time on its host, sees at least the wait
//   SleepCharacters  they travel in the stream as the protocol's sleep characters: 'Z' per
//                    whole millisecond, then 'z' per microsecond of the rest, rounded up;
//                    nothing is slept on the host and nothing needs an answer
//   TckCycles        they travel as TCK cycles at cycle_hz with TMS and TDI unchanged (rounded
//                    up), as a vector file counts them: right only where the TAP stays put
//                    under such clocks (Run-Test/Idle, TMS low), as it does in the programs'
//                    waits. For tests of how a server measures time.
//
// A broken connection is kept as the target's error; from then on nothing is sent, reads
// answer 1, and the tool reports the error rather than the player's result.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "card/port_lines.h"
#include "devtools/xsvf/rbb_socket.h"
#include "sim/sim_target.h"

enum class RbbWaits : std::uint8_t { Host, SleepCharacters, TckCycles };

// A read whose answer is owed: bit `at` of *into gets the answer ('1' is 1).
struct RbbOwedRead {
    std::uint8_t* into;
    std::uint8_t at;
};

struct RbbTarget {
    RbbSocket socket = RBB_NO_SOCKET;
    RbbWaits waits = RbbWaits::Host;
    std::uint32_t cycle_hz = 1000000; // TckCycles: the rate the waits are counted at
    std::string out;                  // bytes waiting to be sent
    std::vector<RbbOwedRead> owed;    // 'R' queued or sent whose answers are not yet taken
    PortDecoder port;                 // the control words, the lines and the busy-wait passes not yet waited
    char digit = 0;                   // the digit the far side has; 0 before the first
    int answer_timeout_ms = 30000;
    std::string error;                // the first failure of the connection
    std::chrono::steady_clock::time_point started;
    // Figures.
    std::uint64_t bytes_sent = 0;
    std::uint64_t tck_cycles = 0;     // rising TCK edges sent
    std::uint64_t reads = 0;          // TDO answers asked for by the player
    std::uint64_t round_trips = 0;    // times the target waited for answers
    std::uint64_t waits_total = 0;    // waits and sleeps, however carried out
    std::uint64_t wait_ns = 0;        // their length
    std::uint64_t waited_ns = 0;      // real time spent in waits and sleeps on the host
};

// Connects; false with why on failure.
bool rbb_target_connect(RbbTarget* target, const RbbAddress& address, std::string* why);
SimTarget rbb_target(RbbTarget* target);
// Sends what is left and 'Q', and closes the connection. False when the connection failed
// at any point (target->error says why).
bool rbb_target_finish(RbbTarget* target);
// Seconds since the connection was made.
double rbb_target_seconds(const RbbTarget* target);
