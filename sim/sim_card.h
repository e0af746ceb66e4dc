// The simulated card: its register block (card/port_registers.h), whose control word 0 drives
// the lines that card/port_lines.h decodes, in front of the logic device of sim/logic_device.h.
// docs/logic-device.md describes what each word of the block does.
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

struct SimCard {
    CardModel model;
    std::uint32_t faults;
    std::uint64_t power_cut_after_tck; // the power fails before the next rising TCK edge
    bool power_lost;
    PortDecoder port;           // the control words as written, and the lines the device sees
    bool reload_requested;      // bit 4 was written since power-on
    bool vanished;
    LogicDevice device;
};

// Power-on of a card of `model` with `faults` (bits of card faults, sim/sim_fault_table.h); the
// power is never cut. When the state file (sim/sim_state.h) keeps a card k, the card is that
// one: its model, the memory it keeps, every later change kept there too. Returns the revision
// the card reports: `revision` for a card the file does not keep; for a kept card, the tool's
// own when its memory holds the tool's configuration of its model, the one it came with while
// it holds what it came with, and 0 for anything else (erased, partly written).
std::int32_t sim_card_power_on(SimCard* card, CardModel model, std::uint32_t faults, int k = -1,
                               std::int32_t revision = 0);
SimTarget sim_card_target(SimCard* card);

// The simulated card k of the platform (0 to SIM_MAX_CARDS - 1), or null.
const SimCard* sim_card(int k);
// True when the card's memory holds the model's configuration and its done flag is set.
bool sim_card_holds_configuration(const SimCard* card, CardModel model);
