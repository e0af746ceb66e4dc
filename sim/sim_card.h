// The simulated card: its register block (status word at 0x000, control words 0 to 3 at
// 0x100 to 0x10C) in front of the logic device of sim/logic_device.h.
//
// Control word 0 is the card's JTAG control register; the card acts on it alone:
//   bit 0 TMS, bit 1 TCK, bit 2 TDI   the JTAG lines, seen only while the buffers are enabled
//   bit 3                             enables the JTAG buffers; clear: the device sees TCK
//                                     low and nothing else, and TDO reads 1
//   bit 4                             request: load the configuration memory into the logic
//                                     at the next power-up (sticky until power-off)
// Control words 1 to 3 are plain latches: written, read back, no effect. A write to control
// word 0 that repeats its value (the busy-wait loop writes the same word again and again)
// changes no line and is no edge. The status word carries TDO in bit 28, all other bits 0.
#pragma once

#include <cstdint>

#include "sim/logic_device.h"
#include "sim/sim_platform.h"

// Card faults, one bit each (names for MOLA_SIM_FAULTS in sim_card_fault_by_name).
enum SimCardFault : std::uint32_t {
    SIM_CARD_TDO_STUCK_0 = 1u << 0,      // "tdo-stuck-0": TDO always reads 0
    SIM_CARD_TDO_STUCK_1 = 1u << 1,      // "tdo-stuck-1": TDO always reads 1
    SIM_CARD_FLASH_BIT_STUCK = 1u << 2,  // "flash-bit-stuck": one memory bit cannot be cleared
    SIM_CARD_OTHER_MODEL = 1u << 3,      // "other-model": carries the other model's device
    SIM_CARD_BUFFERS_DISABLED = 1u << 4, // "buffers-disabled": the JTAG buffers never enable
    SIM_CARD_VANISH = 1u << 5,           // "vanish": gone after programming some rows
};

// With SIM_CARD_VANISH, the card drops off the bus once its device has programmed this many
// rows: reads answer 0xFFFFFFFF and writes are lost.
constexpr std::uint32_t SIM_CARD_VANISH_AFTER_ROWS = 100;
// With SIM_CARD_FLASH_BIT_STUCK the stuck bit is the first bit of the card model's
// configuration at or after this one that must be programmed to 0.
constexpr std::uint32_t SIM_CARD_STUCK_BIT_FROM = 200 * DEVICE_ROW_BITS + 777;

struct SimCard {
    SimCardModel model;
    std::uint32_t faults;
    std::uint32_t control[4];   // last value written to each control word
    bool buffers_enabled;       // bit 3 of control word 0, unless the fault holds it off
    bool tck;                   // TCK as the device sees it
    bool reload_requested;      // bit 4 was written since power-on
    bool vanished;
    std::uint64_t writes;       // register writes that reached the card
    std::uint64_t reads;
    LogicDevice device;
};

void sim_card_power_on(SimCard* card, SimCardModel model, std::uint32_t faults);
SimTarget sim_card_target(SimCard* card);
// Card faults by name; 0 for an unknown name.
std::uint32_t sim_card_fault_by_name(const char* name);

// The simulated card k of the platform (0 to SIM_MAX_CARDS - 1), or null.
const SimCard* sim_card(int k);
// True when the card's memory holds the model's configuration and its done flag is set.
bool sim_card_holds_configuration(const SimCard* card, SimCardModel model);
