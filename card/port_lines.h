// The card's JTAG lines as its register block carries them (card/port_registers.h), read back
// from the accesses that reach the card: for the simulated card, the remote-bitbang client and
// server, the waveform dump and the benchmark, which all see accesses and need lines.
//
// A write of control word 0 drives the lines: with the buffer enable set, TCK, TMS and TDI as
// written; with it clear, the card's buffers are off and every line it sees is low. The port
// writes a TCK change to control words 0, 1, 2 and 3 in that order, and one pass of its busy
// wait to control word 0 alone (card/port.cpp): a write of control word 0 that no write of
// control word 1 follows is such a pass.
#pragma once

#include <cstdint>

#include "card/port_registers.h"

struct PortLines {
    bool enabled = false; // the JTAG buffers are on
    bool tck = false;
    bool tms = false;
    bool tdi = false;

    bool operator==(const PortLines&) const = default;
};

// The lines that a value of control word 0 drives.
constexpr PortLines port_lines(std::uint32_t word)
{
    if ((word & PORT_JTAG_ENABLE) == 0) {
        return {};
    }
    return {true, (word & PORT_TCK_BIT) != 0, (word & PORT_TMS_BIT) != 0, (word & PORT_TDI_BIT) != 0};
}

// The word that the port writes for these lines: the buffers on, TCK, TMS and TDI.
constexpr std::uint32_t port_word(bool tck, bool tms, bool tdi)
{
    return PORT_JTAG_ENABLE | (tck ? PORT_TCK_BIT : 0u) | (tms ? PORT_TMS_BIT : 0u) | (tdi ? PORT_TDI_BIT : 0u);
}

// TCK's edge from one set of lines to the next: 1 rising, -1 falling, 0 none.
constexpr int port_tck_edge(const PortLines& before, const PortLines& after)
{
    return after.tck == before.tck ? 0 : (after.tck ? 1 : -1);
}

// The status word that carries a TDO level, and the TDO level of a status word.
constexpr std::uint32_t port_status_word_of(int tdo)
{
    return tdo != 0 ? 1u << PORT_TDO_BIT : 0u;
}

constexpr int port_tdo_of(std::uint32_t status)
{
    return static_cast<int>((status >> PORT_TDO_BIT) & 1u);
}

// Follows the writes that reach a card, in order, and tells the lines from the busy wait.
struct PortDecoder {
    std::uint32_t control[PORT_CONTROL_WORDS] = {}; // as last written
    PortLines lines;             // what control word 0 drives now
    bool written = false;        // control word 0 has been written
    bool repeat_pending = false; // control word 0 written again with its value: a pass, unless word 1 follows
    std::uint64_t passes = 0;    // busy-wait passes decoded and not yet taken
};

// Takes one write; true when it changed the lines (decoder->lines), with the edge of TCK in
// *edge. A repeat of control word 0 is held until the next access tells what it was.
constexpr bool port_decode_write(PortDecoder* d, std::uint32_t offset, std::uint32_t value, int* edge)
{
    *edge = 0;
    const std::uint32_t k = port_control_index(offset);
    if (k == 1) {
        d->repeat_pending = false; // the repeat was the first write of a TCK change
    } else if (d->repeat_pending) {
        d->repeat_pending = false;
        ++d->passes;
    }
    if (k >= PORT_CONTROL_WORDS) {
        return false;
    }
    if (k != 0) {
        d->control[k] = value;
        return false;
    }
    if (d->written && value == d->control[0]) {
        d->repeat_pending = true;
        return false;
    }
    d->written = true;
    d->control[0] = value;
    const PortLines before = d->lines;
    d->lines = port_lines(value);
    *edge = port_tck_edge(before, d->lines);
    return !(d->lines == before);
}

// Any other access (a read, a sleep, the end of a run) settles a held repeat: it was a pass.
constexpr void port_decode_settle(PortDecoder* d)
{
    if (d->repeat_pending) {
        d->repeat_pending = false;
        ++d->passes;
    }
}
