// The JTAG signal port: TMS, TCK and TDI kept in a shadow word and presented to the card's
// four control words at every TCK change; TDO read from bit 28 of the status word; waits as
// busy loops of register writes (below 1 ms) or sleeps (1 ms and more).
#pragma once

#include <cstdint>

#include "card/port_registers.h"

// The shadow word holds the control word bits TMS, TCK and TDI, and the buffer enable, which
// is always set: every word the port writes keeps the card's JTAG buffers on.
constexpr std::uint32_t PORT_SHADOW_INITIAL = PORT_JTAG_ENABLE;

// Waits: below the threshold a busy loop of this many writes per microsecond, else a sleep.
constexpr std::int32_t PORT_SLEEP_THRESHOLD_US = 1000;
constexpr std::uint32_t PORT_DELAY_PASSES_PER_US = 5;
// The largest wait carried out as asked; see port_wait_us for what happens outside.
constexpr std::int32_t PORT_MAX_WAIT_US = 2147482648;

extern std::uint32_t PortShadow;

// Set a line in the shadow word: nonzero means high (only the low 16 bits of level are looked
// at). Setting TCK then writes the shadow word to control words 0, 1, 2 and 3, in that order;
// TMS and TDI reach the card only with the next TCK change.
void port_set_tms(std::uint32_t level);
void port_set_tdi(std::uint32_t level);
void port_set_tck(std::uint32_t level);
void port_pulse_tck();
int port_read_tdo();
// TDO into bit `at` of *into (0 to 7; the byte's other bits unchanged): exactly the one read
// of the status word that port_read_tdo makes. The bit may be stored late, by the next
// port_collect_tdo() at the latest; *into must stay valid until then. On mapped registers it
// is stored at once.
void port_sample_tdo(std::uint8_t* into, int at);
// Stores every bit that port_sample_tdo still owes. No register access of its own.
void port_collect_tdo();
void port_delay(std::uint32_t passes);
void port_wait_us(std::int32_t us);

// The update sequence's own writes to control word 0, made directly, the shadow word untouched:
// before a run, the buffer enable alone (all lines low, TCK among them); after it, the reload
// request alone, which also turns the buffers off.
void port_enable_jtag();
void port_request_reload();
