// The logic device: TAP controller, instruction and data registers, operations that take
// effect when the TAP leaves Run-Test/Idle after a long enough dwell, and the memory.
#include "sim/logic_device.h"

#include <cstring>

#include "sim/logic_internal.h"
#include "sim/sim_state.h"

namespace {

using S = LogicTapState;

// Next state for TMS 0 and TMS 1, indexed by the current state.
constexpr S NEXT_STATE[16][2] = {
    {S::RunTestIdle, S::TestLogicReset}, // TestLogicReset
    {S::RunTestIdle, S::SelectDr},       // RunTestIdle
    {S::CaptureDr, S::SelectIr},         // SelectDr
    {S::ShiftDr, S::Exit1Dr},            // CaptureDr
    {S::ShiftDr, S::Exit1Dr},            // ShiftDr
    {S::PauseDr, S::UpdateDr},           // Exit1Dr
    {S::PauseDr, S::Exit2Dr},            // PauseDr
    {S::ShiftDr, S::UpdateDr},           // Exit2Dr
    {S::RunTestIdle, S::SelectDr},       // UpdateDr
    {S::CaptureIr, S::TestLogicReset},   // SelectIr
    {S::ShiftIr, S::Exit1Ir},            // CaptureIr
    {S::ShiftIr, S::Exit1Ir},            // ShiftIr
    {S::PauseIr, S::UpdateIr},           // Exit1Ir
    {S::PauseIr, S::Exit2Ir},            // PauseIr
    {S::ShiftIr, S::UpdateIr},           // Exit2Ir
    {S::RunTestIdle, S::SelectDr},       // UpdateIr
};

constexpr const char* STATE_NAMES[16] = {
    "RESET",   "IDLE",    "DRSELECT", "DRCAPTURE", "DRSHIFT", "DREXIT1", "DRPAUSE", "DREXIT2",
    "DRUPDATE", "IRSELECT", "IRCAPTURE", "IRSHIFT", "IREXIT1", "IRPAUSE", "IREXIT2", "IRUPDATE",
};

// Shifts one bit into a circular register of n bits; returns nothing (TDO follows on the
// falling edge from the new head).
void shift_circular(std::uint64_t* words, std::uint32_t* head, std::uint32_t n, int tdi)
{
    logic_put_bit(words, *head, tdi);
    *head = *head + 1 == n ? 0 : *head + 1;
}

// The status register's value now.
std::uint8_t status_of(const LogicDevice* d)
{
    std::uint8_t s = DEVICE_STATUS_ONE;
    if (d->mode == LogicMode::Program) {
        s |= DEVICE_STATUS_PROGRAM;
    }
    if (d->mode == LogicMode::Verify) {
        s |= DEVICE_STATUS_VERIFY;
    }
    if (logic_memory_blank(d)) {
        s |= DEVICE_STATUS_BLANK;
    }
    if (d->done) {
        s |= DEVICE_STATUS_DONE;
    }
    return s;
}

void capture_dr(LogicDevice* d)
{
    // Instructions not listed select the bypass register.
    switch (d->ir) {
    case DEVICE_IDCODE:
        d->small_shift = device_idcode(d->carried);
        d->small_length = DEVICE_IDCODE_LENGTH;
        ++d->counters.idcode_captures;
        break;
    case DEVICE_STATUS:
        d->small_shift = status_of(d);
        d->small_length = DEVICE_STATUS_LENGTH;
        break;
    case DEVICE_ADDRESS:
        d->small_shift = d->address;
        d->small_length = DEVICE_ADDRESS_LENGTH;
        break;
    case DEVICE_LOAD:
        // The row buffer keeps what was shifted into it: nothing to capture.
        break;
    case DEVICE_READ:
        std::memcpy(d->read_shift, d->read_latch, sizeof d->read_shift);
        d->read_head = 0;
        break;
    default:
        d->small_shift = 0;
        d->small_length = DEVICE_BYPASS_LENGTH;
        break;
    }
}

void shift_dr(LogicDevice* d, int tdi)
{
    switch (d->ir) {
    case DEVICE_LOAD:
        shift_circular(d->row, &d->row_head, DEVICE_ROW_BITS, tdi);
        break;
    case DEVICE_READ:
        shift_circular(d->read_shift, &d->read_head, DEVICE_READ_BITS, tdi);
        break;
    default:
        d->small_shift = (d->small_shift >> 1) |
                         (static_cast<std::uint64_t>(tdi & 1) << (d->small_length - 1));
        break;
    }
}

int dr_output(const LogicDevice* d)
{
    switch (d->ir) {
    case DEVICE_LOAD: return logic_get_bit(d->row, d->row_head);
    case DEVICE_READ: return logic_get_bit(d->read_shift, d->read_head);
    default: return static_cast<int>(d->small_shift & 1u);
    }
}

} // namespace

void logic_power_on(LogicDevice* d, CardModel carried, std::int32_t stuck_bit, int kept_card)
{
    const SimStateCard* kept = sim_state_card(kept_card);
    std::memset(d, 0, sizeof *d);
    d->carried = carried;
    d->state = S::TestLogicReset;
    d->ir = DEVICE_IDCODE;
    d->tdo = 1;
    d->mode = LogicMode::Off;
    d->done = kept == nullptr || kept->done;
    d->kept_card = kept != nullptr ? kept_card : -1;
    d->small_length = DEVICE_IDCODE_LENGTH;
    for (std::uint32_t w = 0; w < DEVICE_MEMORY_WORDS; ++w) {
        d->memory[w] = kept != nullptr ? kept->memory[w] : device_factory_word(w);
    }
    d->stuck_bit = stuck_bit >= 0 && static_cast<std::uint32_t>(stuck_bit) < DEVICE_MEMORY_BITS ? stuck_bit : -1;
    if (d->stuck_bit >= 0) {
        logic_put_bit(d->memory, static_cast<std::uint32_t>(d->stuck_bit), 1);
    }
}

void logic_rising_edge(LogicDevice* d, int tms, int tdi, std::uint64_t now_ns)
{
    ++d->counters.rising_edges;
    const S from = d->state;
    // The action of the state the TAP is in, then the move.
    switch (from) {
    case S::CaptureDr: capture_dr(d); break;
    case S::ShiftDr: shift_dr(d, tdi); break;
    case S::CaptureIr: d->ir_shift = DEVICE_IR_CAPTURE; break;
    case S::ShiftIr:
        d->ir_shift = static_cast<std::uint8_t>((d->ir_shift >> 1) | ((tdi & 1) << (DEVICE_IR_LENGTH - 1)));
        break;
    default: break;
    }
    const S to = logic_tap_next(from, tms);
    if (from == S::RunTestIdle && to != S::RunTestIdle) {
        logic_leave_run_test(d, now_ns);
    } else if (to == S::RunTestIdle && from != S::RunTestIdle) {
        d->rti_entered_ns = now_ns;
    }
    if (to == S::TestLogicReset) {
        d->ir = DEVICE_IDCODE;
        d->address_pending = false;
    }
    d->state = to;
}

LogicTapState logic_tap_next(LogicTapState from, int tms)
{
    return NEXT_STATE[static_cast<int>(from) & 15][tms ? 1 : 0];
}

const char* logic_tap_state_name(LogicTapState state)
{
    return STATE_NAMES[static_cast<int>(state) & 15];
}

void logic_falling_edge(LogicDevice* d)
{
    d->tdo = 1; // not driven but in the shift states: the pull-up
    switch (d->state) {
    case S::ShiftIr:
        d->tdo = static_cast<std::uint8_t>(d->ir_shift & 1u);
        break;
    case S::ShiftDr:
        d->tdo = static_cast<std::uint8_t>(dr_output(d));
        break;
    case S::UpdateIr:
        d->ir = d->ir_shift;
        break;
    case S::UpdateDr:
        if (d->ir == DEVICE_ADDRESS) {
            d->address_shift = static_cast<std::uint16_t>(d->small_shift);
            d->address_pending = true;
        }
        break;
    default:
        break;
    }
}
