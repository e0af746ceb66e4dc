// Register targets that account the port work of a run, for the fuzz targets: every register
// read and write and every sleep is an event; the events are counted and hashed in order.
//
// The played run goes to a checking target in front of the recorder. Its work is bounded by
// the bytes the player has consumed (ImageReadIndex at each event). The bound, derived from
// the player:
//   One attempt of a shift costs at most ATTEMPT_FIXED_EVENTS + 13 x (bits shifted) events.
//   A TCK pulse is 12 writes (4 control words with TCK low, high, low). The bits take one
//   TDO read each and one pulse fewer than their count; the TAP moves take at most 15
//   pulses (to the shift state 6, then leaving it 6 or the retry detour 4, then to
//   Run-Test/Idle for the wait 3); so 13 x bits + 12 x 14 events, and a wait of at most
//   4995 writes (a busy loop of 5 writes per microsecond below 1000 microseconds) or one
//   sleep. A lone TAP move (XSTATE: at most 6 pulses) costs less.
//   The bits of a shift come from a vector read from the stream: at most 8 x min(MAX_LEN,
//   bytes consumed).
//   After a byte is read and before the next one, the player does at most one shift of at
//   most (retry limit + 1) attempts, except an XSDRINC whose data mask has no 1 bit: after
//   its repeat count k it shifts k times without reading. The retry limit is a byte of
//   the stream (XREPEAT), so at most the largest byte consumed so far, R; k is the byte
//   just read, b.
//   So the events between two reads are at most
//       (b + 1) x (R + 1) x (ATTEMPT_FIXED_EVENTS + 13 x 8 x min(MAX_LEN, bytes consumed))
//   plus SEQUENCE_EVENTS for the update sequence around the player (the enable write and
//   the five pulses of the first TAP reset). The reload request that closes the sequence is
//   not counted: it follows the player whatever the stream holds.
// The bound is sound but loose for bytes of large value, so the sharper check that nothing
// happens once the stream runs out is the reference run (checked_play.h). A run that
// reaches its budget of events is abandoned: legitimate streams can cost billions of events
// (an XSDRINC of 3 bytes can shift 256 x 256 times), more than a fuzzer can afford.
#pragma once

#include <cstdint>
#include <string>

#include "sim/recording_target.h"
#include "sim/sim_target.h"

constexpr std::uint64_t ATTEMPT_FIXED_EVENTS = 12 * 14 + 4995;
constexpr std::uint64_t SEQUENCE_EVENTS = 1 + 12 * 5;
constexpr std::uint64_t EVENTS_PER_BIT = 13;

// Events of one run, counted and hashed in order.
struct WorkLedger {
    std::uint64_t events = 0;
    std::uint64_t pulses = 0;                 // rising TCK edges
    std::uint64_t hash = 0xcbf29ce484222325u; // over (kind, offset, value) of each event, in order
};

// Why a run was stopped from inside a register access.
enum class StopReason : std::uint8_t {
    Budget,   // a run reached its budget of events
    Finding,  // the played run broke the work bound
    RanOut,   // the reference run went past the played stream's end
    Matched,  // the reference run reached the abandoned played run's event count
};

// Thrown by the targets to end a run at once; the player keeps no state that this skips.
struct RunStop {
    StopReason reason;
};

struct PlayedWork {
    RecordingTarget recorder;             // serves TDO and sees every event, keeping none
    SimTarget inner;                      // the recorder's target
    const std::uint8_t* stream = nullptr;
    std::uint32_t length = 0;
    std::uint64_t budget = 0;
    WorkLedger ledger;
    std::string finding;
    // The current gap between two reads.
    std::uint32_t consumed = 0;           // ImageReadIndex at the last event
    std::uint8_t largest = 0;             // largest byte consumed
    std::uint64_t gap_events = 0;
    std::uint64_t gap_bound = SEQUENCE_EVENTS;
};

struct ReferenceWork {
    RecordingTarget recorder;
    SimTarget inner;
    std::uint32_t played_length = 0;      // events after this many bytes are past the played end
    std::uint64_t played_events = 0;
    bool played_abandoned = false;
    std::uint64_t budget = 0;             // as the played run's
    WorkLedger ledger;
    std::uint64_t hash_at_played_events = 0;
    bool reached_played_events = false;
    bool overran = false;                 // more events inside the stream than the played run
    // How the run ended.
    bool ended = true;                    // returned; else stopped by its target
    std::int32_t result = 0;              // when ended
    std::uint32_t bytes_read = 0;         // ImageReadIndex at its end
    bool ran_out = false;                 // read the byte after the played stream
};

SimTarget played_work_target(PlayedWork* work);
SimTarget reference_work_target(ReferenceWork* work);

// The bound on the events after a read of byte value b, R being the largest byte consumed
// and `consumed` the bytes consumed.
std::uint64_t work_gap_bound(std::uint8_t b, std::uint8_t largest, std::uint32_t consumed);
