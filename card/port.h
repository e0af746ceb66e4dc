// The JTAG signal port: TMS, TCK and TDI kept in a shadow word and presented to the card's
// four control words at every TCK change; TDO read from bit 28 of the status word; waits as
// busy loops of register writes (below 1 ms) or sleeps (1 ms and more).
#pragma once

#include <cstdint>

// Line codes of the shared set operation.
constexpr int PORT_LINE_TDI = 0;
constexpr int PORT_LINE_TCK = 1;
constexpr int PORT_LINE_TMS = 2;

// Shadow word bits.
constexpr std::uint32_t PORT_TMS_BIT = 0x1;
constexpr std::uint32_t PORT_TCK_BIT = 0x2;
constexpr std::uint32_t PORT_TDI_BIT = 0x4;
// Control word 0 bits beyond the JTAG lines. Bit 3 enables the card's JTAG buffers; the port
// keeps it set in every word it writes. Bit 4 asks the card to load its logic from the
// configuration memory at the next power-up.
constexpr std::uint32_t PORT_JTAG_ENABLE = 0x8;
constexpr std::uint32_t PORT_RELOAD_REQUEST = 0x10;
constexpr std::uint32_t PORT_SHADOW_INITIAL = PORT_JTAG_ENABLE; // bit 3 is always 1

// Offsets from the register pointer (control word 0) in bytes.
constexpr std::intptr_t PORT_STATUS_OFFSET = -0x100;
constexpr std::uint32_t PORT_TDO_BIT = 28;

// Waits: below the threshold a busy loop of this many writes per microsecond, else a sleep.
constexpr std::int32_t PORT_SLEEP_THRESHOLD_US = 1000;
constexpr std::uint32_t PORT_DELAY_PASSES_PER_US = 5;
// The largest wait carried out as asked; see port_wait_us for what happens outside.
constexpr std::int32_t PORT_MAX_WAIT_US = 2147482648;

extern std::uint32_t PortShadow;

// Shared by the three set operations: line 0 TDI, 1 TCK, 2 TMS; any other code does nothing.
// Only the low 16 bits of level are looked at; nonzero means high. Setting TCK writes the
// shadow word to control words 0, 1, 2 and 3, in that order.
void port_set_line(int line, std::uint32_t level);

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
