// A Value Change Dump (IEEE 1364 VCD, with one string variable as GTKWave and other viewers
// read it) of the JTAG lines as the player drives them.
//
// The writer is a register target in front of another (the recorder, the simulated card, a
// remote-bitbang connection): every access goes on unchanged, and it records
//   tck, tms, tdi, jtag_enable  the lines that control word 0 drives (card/port_lines.h)
//   tdo                         bit 28 of each read of the status word, from that read on
//   tap_state                   the TAP controller's state, clocked by the lines through the
//                               simulated device's TAP model (logic_tap_next) from every state
//                               at once: not read from the player, and UNKNOWN until the lines
//                               have brought every state to the same one (five rising edges
//                               with TMS high do)
//   command                     the number of the XSVF command being executed (0 before the
//                               first): the reader's position in the stream looked up in the
//                               command offsets of a walk of the stream (xsvf_command_starts)
// Time is in nanoseconds from the first change dumped, on the simulated clock: virtual time
// (200 ns per register write, sleeps by their length) or, in host-time mode, the host's
// monotonic clock at the moment the player made the access. A range of command numbers
// limits the dump to the accesses made while those commands run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "card/port_lines.h"
#include "sim/logic_device.h"
#include "sim/recording_target.h"
#include "sim/sim_target.h"

// A register target in front of another: every access goes on to `inner` unchanged, and
// then `seen` is told of it (with the value read, for a read). The trace file and the VCD
// writer watch the run through it.
struct TraceTee {
    SimTarget inner;
    void* watcher = nullptr;
    void (*seen)(void* watcher, const RecordedEvent& event) = nullptr;
};
SimTarget trace_tee_target(TraceTee* tee);

constexpr int VCD_SIGNALS = 7;

struct VcdWriter {
    TraceTee tee;                           // the target behind, and this writer watching it
    std::FILE* file = nullptr;              // the dump's, opened and closed by the caller
    int first = 0;                          // commands dumped: first to last
    int last = 0;
    std::vector<std::uint32_t> command_starts; // offset of command k + 1's opcode at index k
    // The lines and the TAP, followed through every access.
    PortDecoder port;
    int tdo = -1;                           // -1 before the first read
    std::uint32_t tap_states = 0xFFFF;      // the states the TAP may be in, a bit each
    int command = 0;
    // The dump.
    bool dumping = false;
    bool finished = false;
    std::uint64_t origin_ns = 0;
    std::uint64_t time = 0;                 // of the last time stamp written
    unsigned changed_at_time = 0;           // signals changed at that time stamp
    std::string shown[VCD_SIGNALS];         // values as last written
};

// Starts a dump into vcd->file, open for writing, of commands first to last of a stream whose
// commands start at command_starts (xsvf_command_starts), in front of inner. host_time says
// which clock the times come from (it is named in the file's header).
void vcd_begin(VcdWriter* vcd, std::vector<std::uint32_t> command_starts, const SimTarget& inner, int first,
               int last, bool host_time);
SimTarget vcd_target(VcdWriter* vcd);
// Writes the closing time stamp. The file stays open.
void vcd_end(VcdWriter* vcd);
// Parses "FIRST-LAST" (0 <= FIRST <= LAST) or a single number.
bool vcd_parse_range(const char* text, int* first, int* last);
