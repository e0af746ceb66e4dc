// The logic device's operations on its configuration memory (erase, program, fetch, done),
// the modes they need and the run-test dwell that makes them take effect; and what tests
// and tools ask of the memory.
#include "sim/logic_device.h"

#include <algorithm>

#include "sim/logic_internal.h"
#include "sim/sim_state.h"

namespace {

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
        logic_put_bit(d->read_latch, j, b < DEVICE_MEMORY_BITS ? logic_get_bit(d->memory, b) : 1);
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
        if (!logic_get_bit(d->row, phys)) {
            logic_put_bit(d->memory, base + i, 0);
        }
    }
    if (d->stuck_bit >= 0) {
        logic_put_bit(d->memory, static_cast<std::uint32_t>(d->stuck_bit), 1);
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

} // namespace

void logic_leave_run_test(LogicDevice* d, std::uint64_t now_ns)
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

int logic_memory_bit(const LogicDevice* d, std::uint32_t bit)
{
    return bit < DEVICE_MEMORY_BITS ? logic_get_bit(d->memory, bit) : 1;
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
