// The logic device: TAP controller, instruction and data registers, and the operations on its
// configuration memory (erase, program, fetch, done) that take effect when the TAP leaves
// Run-Test/Idle after a long enough dwell in the mode they need; and what tests and tools ask
// of the memory.
#include "sim/logic_device.h"

#include <algorithm>
#include <cstring>

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

int get_bit(const std::uint64_t* words, std::uint32_t bit)
{
    return static_cast<int>((words[bit / 64] >> (bit % 64)) & 1u);
}

void put_bit(std::uint64_t* words, std::uint32_t bit, int value)
{
    const std::uint64_t m = std::uint64_t{1} << (bit % 64);
    if (value) {
        words[bit / 64] |= m;
    } else {
        words[bit / 64] &= ~m;
    }
}

// Shifts one bit into a circular register of n bits; returns nothing (TDO follows on the
// falling edge from the new head).
void shift_circular(std::uint64_t* words, std::uint32_t* head, std::uint32_t n, int tdi)
{
    put_bit(words, *head, tdi);
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
    case DEVICE_LOAD: return get_bit(d->row, d->row_head);
    case DEVICE_READ: return get_bit(d->read_shift, d->read_head);
    default: return static_cast<int>(d->small_shift & 1u);
    }
}

std::uint32_t required_us(const LogicDevice* d, bool address_pending)
{
    switch (d->ir) {
    case DEVICE_ADDRESS: return address_pending ? DEVICE_ADDRESS_US : 0;
    case DEVICE_READ: return DEVICE_READ_US;
    case DEVICE_PROGRAM: return DEVICE_PROGRAM_US;
    case DEVICE_DONE: return DEVICE_DONE_US;
    case DEVICE_ERASE: return DEVICE_ERASE_US;
    case DEVICE_ENABLE:
    case DEVICE_VERIFY:
    case DEVICE_DISABLE: return DEVICE_MODE_US;
    default: return 0;
    }
}

void set_mode(LogicDevice* d, LogicMode mode)
{
    if (d->mode != mode) {
        d->mode = mode;
        ++d->counters.mode_changes;
    }
}

// Memory words [first, first + count) changed (count 0: only the done flag).
void keep(const LogicDevice* d, std::uint32_t first, std::uint32_t count)
{
    if (d->kept_card >= 0) {
        sim_state_keep(d->kept_card, d->memory, first, count, d->done);
    }
}

void fetch(LogicDevice* d)
{
    const std::uint32_t start = static_cast<std::uint32_t>(d->address) * DEVICE_BLOCK_BITS;
    for (std::uint32_t j = 0; j < DEVICE_READ_BITS; ++j) {
        const std::uint32_t b = start + j;
        // Past the end of the memory the sense lines read erased.
        put_bit(d->read_latch, j, b < DEVICE_MEMORY_BITS ? get_bit(d->memory, b) : 1);
    }
    ++d->counters.fetches;
}

void program_row(LogicDevice* d)
{
    const std::uint32_t row = d->address / DEVICE_ROW_BLOCKS;
    const std::uint32_t base = row * DEVICE_ROW_BITS;
    for (std::uint32_t i = 0; i < DEVICE_ROW_BITS; ++i) {
        const std::uint32_t phys = (d->row_head + i) % DEVICE_ROW_BITS;
        // Flash programming only clears bits: a 1 in the buffer leaves the bit as it is.
        if (!get_bit(d->row, phys)) {
            put_bit(d->memory, base + i, 0);
        }
    }
    if (d->stuck_bit >= 0) {
        put_bit(d->memory, static_cast<std::uint32_t>(d->stuck_bit), 1);
    }
    d->address = static_cast<std::uint16_t>((row + 1) * DEVICE_ROW_BLOCKS);
    ++d->counters.rows_programmed;
    keep(d, row * DEVICE_ROW_WORDS, DEVICE_ROW_WORDS);
    if (d->stuck_bit >= 0) {
        keep(d, static_cast<std::uint32_t>(d->stuck_bit) / 64, 1);
    }
}

void erase_sector(LogicDevice* d)
{
    const std::uint32_t sector = d->address / DEVICE_SECTOR_BLOCKS;
    const std::uint32_t first = sector * DEVICE_SECTOR_ROWS * DEVICE_ROW_WORDS;
    const std::uint32_t end = std::min(first + DEVICE_SECTOR_ROWS * DEVICE_ROW_WORDS, DEVICE_MEMORY_WORDS);
    std::fill(d->memory + first, d->memory + end, ~std::uint64_t{0});
    d->done = false;
    d->address = static_cast<std::uint16_t>((sector + 1) * DEVICE_SECTOR_BLOCKS);
    ++d->counters.sector_erases;
    keep(d, first, end > first ? end - first : 0);
}

// Whether every word w of the memory is word(w).
template <typename Word>
bool memory_is(const LogicDevice* d, Word word)
{
    for (std::uint32_t w = 0; w < DEVICE_MEMORY_WORDS; ++w) {
        if (d->memory[w] != word(w)) {
            return false;
        }
    }
    return true;
}


// The TAP leaves Run-Test/Idle at time now_ns: the operation of the current instruction
// takes effect if the dwell was long enough and the device is in the mode it needs.
void leave_run_test(LogicDevice* d, std::uint64_t now_ns)
{
    const bool address_pending = d->address_pending;
    d->address_pending = false;
    const std::uint32_t us = required_us(d, address_pending);
    if (us == 0) {
        return;
    }
    if (now_ns - d->rti_entered_ns < static_cast<std::uint64_t>(us) * 1000u) {
        ++d->counters.short_dwells;
        return;
    }
    switch (d->ir) {
    case DEVICE_ADDRESS:
        d->address = d->address_shift;
        ++d->counters.address_latches;
        return;
    case DEVICE_READ:
        if (d->mode == LogicMode::Verify) {
            fetch(d);
            return;
        }
        break;
    case DEVICE_PROGRAM:
        if (d->mode == LogicMode::Program && d->address < DEVICE_MEMORY_BLOCKS) {
            program_row(d);
            return;
        }
        break;
    case DEVICE_DONE:
        if (d->mode == LogicMode::Program) {
            d->done = true;
            keep(d, 0, 0);
            return;
        }
        break;
    case DEVICE_ERASE:
        if (d->mode == LogicMode::Program && d->address < DEVICE_MEMORY_BLOCKS) {
            erase_sector(d);
            return;
        }
        break;
    case DEVICE_ENABLE:
        set_mode(d, LogicMode::Program);
        return;
    case DEVICE_VERIFY:
        set_mode(d, LogicMode::Verify);
        return;
    case DEVICE_DISABLE:
        set_mode(d, LogicMode::Off);
        return;
    default:
        return;
    }
    ++d->counters.refused;
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
        put_bit(d->memory, static_cast<std::uint32_t>(d->stuck_bit), 1);
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
        leave_run_test(d, now_ns);
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

int logic_memory_bit(const LogicDevice* d, std::uint32_t bit)
{
    return bit < DEVICE_MEMORY_BITS ? get_bit(d->memory, bit) : 1;
}

bool logic_holds_configuration(const LogicDevice* d, CardModel model)
{
    return d->done && memory_is(d, [model](std::uint32_t w) { return device_configuration_word(model, w); });
}

bool logic_holds_factory_configuration(const LogicDevice* d)
{
    return d->done && memory_is(d, device_factory_word);
}

bool logic_memory_blank(const LogicDevice* d)
{
    return memory_is(d, [](std::uint32_t) { return ~std::uint64_t{0}; });
}

std::int32_t logic_first_zero_bit(CardModel model, std::uint32_t from)
{
    for (std::uint32_t b = from; b < DEVICE_MEMORY_BITS; ++b) {
        if (device_configuration_bit(model, b) == 0) {
            return static_cast<std::int32_t>(b);
        }
    }
    return -1;
}
