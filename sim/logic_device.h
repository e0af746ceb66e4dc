// The logic device behind a simulated card's JTAG port: an IEEE 1149.1 TAP controller with
// the instruction set of sim/device_definition.h and a non-volatile configuration memory that
// is really erased, programmed and read back. It sees only clock edges (with the TMS and TDI
// levels present at each rising edge) and the time of each rising edge; the card decides
// which of its register writes are edges.
#pragma once

#include <cstdint>

#include "sim/device_definition.h"

// The sixteen TAP controller states.
enum class LogicTapState : std::uint8_t {
    TestLogicReset, RunTestIdle,
    SelectDr, CaptureDr, ShiftDr, Exit1Dr, PauseDr, Exit2Dr, UpdateDr,
    SelectIr, CaptureIr, ShiftIr, Exit1Ir, PauseIr, Exit2Ir, UpdateIr,
};

// The state the TAP controller moves to from `from` on a rising TCK edge with TMS at `tms`.
LogicTapState logic_tap_next(LogicTapState from, int tms);
// The state's name as SVF spells it: RESET, IDLE, DRSELECT, DRCAPTURE, DRSHIFT, DREXIT1,
// DRPAUSE, DREXIT2, DRUPDATE, and the same with IR.
const char* logic_tap_state_name(LogicTapState state);

enum class LogicMode : std::uint8_t { Off, Program, Verify };

// What the device has done, for tests and tools.
struct LogicCounters {
    std::uint64_t rising_edges;
    std::uint32_t idcode_captures;  // Capture-DR with IDCODE selected
    std::uint32_t sector_erases;
    std::uint32_t rows_programmed;
    std::uint32_t fetches;          // READ operations carried out
    std::uint32_t address_latches;
    std::uint32_t mode_changes;
    std::uint32_t short_dwells;     // operations not done: Run-Test/Idle left too early
    std::uint32_t refused;          // operations not done: wrong mode or address out of range
};

struct LogicDevice {
    CardModel carried;           // which model's device this is (its IDCODE)
    LogicTapState state;
    std::uint8_t ir;                // current instruction
    std::uint8_t ir_shift;          // instruction shift register
    std::uint8_t tdo;               // TDO output, changed on falling edges (1 when not driven)
    LogicMode mode;
    bool done;                      // done flag (non-volatile)
    std::uint16_t address;          // block address of the next operation
    std::uint16_t address_shift;    // address register as last updated; latched after the dwell
    bool address_pending;           // an update of the address register awaits its latch
    std::uint64_t small_shift;      // shift register of IDCODE, STATUS, ADDRESS or BYPASS
    int small_length;               // its length in bits
    std::uint64_t rti_entered_ns;   // time of the rising edge that entered Run-Test/Idle
    // Row buffer and read buffer are circular shift registers: bit `head` is the one next to
    // leave on TDO, and a shift replaces it with TDI before moving head on, so that a full
    // rotation leaves logical bit i (the i-th bit shifted in) at physical (head + i) mod n.
    std::uint64_t row[DEVICE_ROW_WORDS];
    std::uint32_t row_head;
    std::uint64_t read_shift[DEVICE_READ_WORDS];
    std::uint32_t read_head;
    std::uint64_t read_latch[DEVICE_READ_WORDS]; // what the last fetch read, bit 0 first
    std::uint64_t memory[DEVICE_MEMORY_WORDS];   // bit b of the memory: word b/64, bit b%64
    std::int32_t stuck_bit;         // memory bit that stays 1 whatever is programmed, or -1
    LogicCounters counters;
    // The card of the state file that keeps this memory, or -1: every change of the memory or
    // the done flag is kept there right after it.
    int kept_card;
};

// Power-on: Test-Logic-Reset, IDCODE selected, no mode. The memory and the done flag are those
// that the state file (sim/sim_state.h) keeps of its card kept_card, every later change kept
// there too; without such a card, the factory configuration, done. stuck_bit is a memory bit
// that cannot be programmed to 0, or -1.
void logic_power_on(LogicDevice* device, CardModel carried, std::int32_t stuck_bit, int kept_card);

// A rising TCK edge with the given TMS and TDI levels at simulated time now_ns.
void logic_rising_edge(LogicDevice* device, int tms, int tdi, std::uint64_t now_ns);
// A falling TCK edge: updates and the TDO output.
void logic_falling_edge(LogicDevice* device);

int logic_memory_bit(const LogicDevice* device, std::uint32_t bit);
// True when the memory holds the model's configuration bit for bit and the done flag is set.
bool logic_holds_configuration(const LogicDevice* device, CardModel model);
// True when every memory bit is erased.
bool logic_memory_blank(const LogicDevice* device);
// True when the memory holds what a card is delivered with, and the done flag is set.
bool logic_holds_factory_configuration(const LogicDevice* device);
// The first memory bit of the model's configuration that is 0, at or after from.
std::int32_t logic_first_zero_bit(CardModel model, std::uint32_t from);
