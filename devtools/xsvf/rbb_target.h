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
//   control word 0 := its word again, with no      one pass of the port's busy wait: 200 ns
//     write of control word 1 after it             of real time (with one, it was a TCK
//                                                  change that changed no line: nothing)
//   control words 1 to 3                           nothing; the card acts on word 0 alone
//   read of the status word                        'R'; the answer is TDO in bit 28. With
//                                                  the buffers off TDO reads 1, unasked
//   sleep of N ms                                  N ms of real time
//
// Digits are batched and sent when an answer or a wait needs them, or when 64 KiB are
// waiting. The far side is told nothing about time: waits really pass on the host. Before
// each wait the target sends 'R' and waits for the answer, so the far side has acted on every
// edge before the wait starts and measures at least the wait between the edges around it.
//
// A broken connection is kept as the target's error; from then on nothing is sent, reads
// answer 1, and the tool reports the error rather than the player's result.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "devtools/xsvf/rbb_socket.h"
#include "sim/sim_target.h"

struct RbbTarget {
    RbbSocket socket = RBB_NO_SOCKET;
    std::string out;                  // bytes waiting to be sent
    std::uint32_t control[4] = {};    // control words as last written
    bool repeat_pending = false;      // control word 0 written again with its word, not yet told apart
    std::uint64_t pending_passes = 0; // busy-wait passes not yet waited
    char lines = 0;                   // the digit the far side has; 0 before the first
    int answer_timeout_ms = 30000;
    std::string error;                // the first failure of the connection
    std::chrono::steady_clock::time_point started;
    // Figures.
    std::uint64_t bytes_sent = 0;
    std::uint64_t tck_cycles = 0;     // rising TCK edges sent
    std::uint64_t reads = 0;          // TDO answers asked for by the player
    std::uint64_t syncs = 0;          // answers asked for before waits
    std::uint64_t waited_ns = 0;      // real time spent in waits and sleeps
};

// Connects; false with why on failure.
bool rbb_target_connect(RbbTarget* target, const RbbAddress& address, std::string* why);
SimTarget rbb_target(RbbTarget* target);
// Sends what is left and 'Q', and closes the connection. False when the connection failed
// at any point (target->error says why).
bool rbb_target_finish(RbbTarget* target);
// Seconds since the connection was made.
double rbb_target_seconds(const RbbTarget* target);
