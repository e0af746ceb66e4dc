// The register seam on the simulated side: every access goes, in order, to the target of
// the card whose register block holds the address. Accesses outside a mapped block are
// stray: counted, and reads answer all ones as a bus with nothing on it would.
#include "platform/regs.h"
#include "sim/sim_clock.h"
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"

namespace {

// Card index of a register address inside a mapped block, or -1.
int register_card(RegAddr address, std::uint32_t* offset)
{
    if (address < SIM_REGISTER_BASE) {
        return -1;
    }
    const RegAddr relative = address - SIM_REGISTER_BASE;
    const RegAddr card = relative / SIM_BLOCK_STRIDE;
    const RegAddr within = relative % SIM_BLOCK_STRIDE;
    if (card >= static_cast<RegAddr>(TheSimConfig.card_count) || within >= SIM_BLOCK_SIZE ||
        within % 4 != 0 || !sim_is_mapped(static_cast<int>(card))) {
        return -1;
    }
    *offset = static_cast<std::uint32_t>(within);
    return static_cast<int>(card);
}

} // namespace

std::uint32_t reg_read(RegAddr address)
{
    ++TheSimClock.register_reads;
    std::uint32_t offset = 0;
    const int card = register_card(address, &offset);
    if (card < 0) {
        ++TheSimCallLog.stray_accesses;
        return 0xFFFFFFFFu;
    }
    const SimTarget& t = SimTargets[card];
    return t.read ? t.read(t.context, offset) : 0xFFFFFFFFu;
}

void reg_write(RegAddr address, std::uint32_t value)
{
    ++TheSimClock.register_writes;
    std::uint32_t offset = 0;
    const int card = register_card(address, &offset);
    if (card < 0) {
        ++TheSimCallLog.stray_accesses;
        return;
    }
    const SimTarget& t = SimTargets[card];
    if (t.write) {
        t.write(t.context, offset, value);
    }
}

void reg_read_bit(RegAddr address, unsigned bit, std::uint8_t* into, unsigned at)
{
    ++TheSimClock.register_reads;
    std::uint32_t offset = 0;
    const int card = register_card(address, &offset);
    std::uint32_t value = 0xFFFFFFFFu;
    if (card < 0) {
        ++TheSimCallLog.stray_accesses;
    } else {
        const SimTarget& t = SimTargets[card];
        if (t.read_bit) {
            t.read_bit(t.context, offset, bit, into, at);
            return;
        }
        if (t.read) {
            value = t.read(t.context, offset);
        }
    }
    reg_store_bit(into, at, value, bit);
}

void reg_collect()
{
    for (int k = 0; k < SIM_MAX_CARDS; ++k) {
        const SimTarget& t = SimTargets[k];
        if (t.collect && sim_first_card_of_target(k)) {
            t.collect(t.context);
        }
    }
}

std::uint16_t mem_read_u16(RegAddr address)
{
    if (address >= SIM_STRUCTURE_BASE) {
        const RegAddr relative = address - SIM_STRUCTURE_BASE;
        const RegAddr card = relative / SIM_BLOCK_STRIDE;
        const RegAddr within = relative % SIM_BLOCK_STRIDE;
        if (card < static_cast<RegAddr>(TheSimConfig.card_count) && within + 1 < SIM_STRUCTURE_SIZE) {
            const std::uint8_t* s = SimCardStructures[card];
            return static_cast<std::uint16_t>(s[within] | (s[within + 1] << 8));
        }
    }
    ++TheSimCallLog.stray_accesses;
    return 0xFFFFu;
}
