// A Value Change Dump (IEEE 1364 VCD, with one string variable as GTKWave and other viewers
// read it) of the JTAG lines as the player drives them.
//
// The writer is a register target in front of another (the recorder, the simulated card, a
// remote-bitbang connection): every access goes on unchanged, and it records
//   tck, tms, tdi, jtag_enable  bits 1, 0, 2 and 3 of control word 0, as written
//   tdo                         bit 28 of each read of the status word, from that read on
//   tap_state                   the TAP controller's state, derived from the lines by a
//                               model of the sixteen-state IEEE 1149.1 controller, clocked at
//                               each rising TCK edge written while bit 3 is set; it is not
//                               read from the player, and is UNKNOWN until five rising edges
//                               with TMS high have put any controller into RESET
//   command                     the number of the XSVF command being executed (0 before the
//                               first): the reader's position in the stream looked up in the
//                               command offsets of a walk of the stream
// Time is in nanoseconds from the first change dumped, on the simulated clock: virtual time
// (200 ns per register write, sleeps by their length) or, in host-time mode, the host's
// monotonic clock at the moment the player made the access. A range of command numbers
// limits the dump to the accesses made while those commands run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "sim/logic_device.h"
#include "sim/sim_target.h"

constexpr int VCD_SIGNALS = 7;

struct VcdWriter {
    SimTarget inner;
    std::FILE* file = nullptr;
    int first = 0;                          // commands dumped: first to last
    int last = 0;
    std::vector<std::uint32_t> command_starts; // offset of command k + 1's opcode at index k
    // The lines and the model, followed through every access.
    std::uint32_t control = 0;
    bool clocked = false;                   // TCK as the device sees it
    int tdo = -1;                           // -1 before the first read
    bool tap_known = false;
    int tms_high_edges = 0;
    LogicTapState tap = LogicTapState::TestLogicReset;
    int command = 0;
    // The dump.
    bool dumping = false;
    bool finished = false;
    std::uint64_t origin_ns = 0;
    std::uint64_t time = 0;                 // of the last time stamp written
    unsigned changed_at_time = 0;           // signals changed at that time stamp
    std::string shown[VCD_SIGNALS];         // values as last written
    std::uint64_t changes = 0;
};

// Starts a dump into file of commands first to last of the stream, in front of inner.
// host_time says which clock the times come from (it is named in the file's header).
void vcd_begin(VcdWriter* vcd, std::FILE* file, std::span<const std::uint8_t> stream, const SimTarget& inner,
               int first, int last, bool host_time);
SimTarget vcd_target(VcdWriter* vcd);
// Writes the closing time stamp. The file stays open.
void vcd_end(VcdWriter* vcd);
// Parses "FIRST-LAST" (0 <= FIRST <= LAST) or a single number.
bool vcd_parse_range(const char* text, int* first, int* last);
