// The simulated card: its register block (card/port_registers.h) in front of the logic device
// of sim/logic_device.h.
//
// Control word 0 is the card's JTAG control register; the card acts on it alone:
//   TMS, TCK, TDI        the JTAG lines, seen only while the buffers are enabled
//   PORT_JTAG_ENABLE     enables the JTAG buffers; clear: the device sees TCK low and nothing
//                        else, and TDO reads 1
//   PORT_RELOAD_REQUEST  load the configuration memory into the logic at the next power-up
//                        (sticky until power-off)
// Control words 1 to 3 are plain latches: written, read back, no effect. A write to control
// word 0 that repeats its value (the busy-wait loop writes the same word again and again)
// changes no line and is no edge. The status word carries TDO in PORT_TDO_BIT, all other
// bits 0.
#pragma once

#include <cstdint>

#include "card/port_lines.h"
#include "sim/logic_device.h"
#include "sim/sim_platform.h"

// With SIM_CARD_VANISH, the card drops off the bus once its device has programmed this many
// rows: reads answer 0xFFFFFFFF and writes are lost.
constexpr std::uint32_t SIM_CARD_VANISH_AFTER_ROWS = 100;
// With SIM_CARD_FLASH_BIT_STUCK the stuck bit is the first bit of the card model's
// configuration at or after this one that must be programmed to 0.
constexpr std::uint32_t SIM_CARD_STUCK_BIT_FROM = 200 * DEVICE_ROW_BITS + 777;

// A card whose power is never cut.
constexpr std::uint64_t SIM_NO_POWER_CUT = ~std::uint64_t{0};

struct SimCard {
    CardModel model;
    std::uint32_t faults;
    std::uint64_t power_cut_after_tck; // the power fails before the next rising TCK edge
    bool power_lost;
    PortDecoder port;           // the control words as written, and the lines the device sees
    bool reload_requested;      // bit 4 was written since power-on
    bool vanished;
    std::uint64_t writes;       // register writes that reached the card
    std::uint64_t reads;
    LogicDevice device;
};

// faults: bits of card faults (sim/sim_fault_table.h). The memory holds what the card was
// delivered with; the power is never cut.
void sim_card_power_on(SimCard* card, CardModel model, std::uint32_t faults);
// Power-on of card k of the state file (sim/sim_state.h): the memory it keeps, every later
// change of it kept there too. Returns the revision the card reports: the tool's own when its
// memory holds the tool's configuration of its model, the one it came with while it holds
// what it came with, and 0 for anything else (erased, partly written).
std::int32_t sim_card_power_on_kept(SimCard* card, int k, std::uint32_t faults);
SimTarget sim_card_target(SimCard* card);

// The simulated card k of the platform (0 to SIM_MAX_CARDS - 1), or null.
const SimCard* sim_card(int k);
// True when the card's memory holds the model's configuration and its done flag is set.
bool sim_card_holds_configuration(const SimCard* card, CardModel model);
