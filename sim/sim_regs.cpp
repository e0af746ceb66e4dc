// The register seam on the simulated side: every access goes, in order, to the target of
// the card whose register block holds the address. Accesses outside a mapped block are
// stray: reads answer all ones as a bus with nothing on it would, writes are lost.
#include "platform/regs.h"
#include "sim/sim_clock.h"
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"

namespace {

// Index of the configured card whose block (SIM_BLOCK_STRIDE bytes apart from base) holds
// the address, with the address's offset in the block; -1 for none.
int block_card(RegAddr address, std::uint32_t base, RegAddr* within)
{
    if (address < base) {
        return -1;
    }
    const RegAddr card = (address - base) / SIM_BLOCK_STRIDE;
    *within = (address - base) % SIM_BLOCK_STRIDE;
    return card < static_cast<RegAddr>(TheSimConfig.card_count) ? static_cast<int>(card) : -1;
}

// Card index of a register address inside a mapped block, or -1.
int register_card(RegAddr address, std::uint32_t* offset)
{
    RegAddr within = 0;
    const int card = block_card(address, SIM_REGISTER_BASE, &within);
    if (card < 0 || within >= SIM_BLOCK_SIZE || within % 4 != 0 || !sim_is_mapped(card)) {
        return -1;
    }
    *offset = static_cast<std::uint32_t>(within);
    return card;
}

} // namespace

std::uint32_t reg_read(RegAddr address)
{
    ++TheSimClock.register_reads;
    std::uint32_t offset = 0;
    const int card = register_card(address, &offset);
    if (card < 0 || SimTargets[card].read == nullptr) {
        return 0xFFFFFFFFu;
    }
    return SimTargets[card].read(SimTargets[card].context, offset);
}

void reg_write(RegAddr address, std::uint32_t value)
{
    ++TheSimClock.register_writes;
    std::uint32_t offset = 0;
    const int card = register_card(address, &offset);
    if (card >= 0 && SimTargets[card].write) {
        SimTargets[card].write(SimTargets[card].context, offset, value);
    }
}

void reg_read_bit(RegAddr address, unsigned bit, std::uint8_t* into, unsigned at)
{
    std::uint32_t offset = 0;
    const int card = register_card(address, &offset);
    if (card >= 0 && SimTargets[card].read_bit) {
        ++TheSimClock.register_reads;
        SimTargets[card].read_bit(SimTargets[card].context, offset, bit, into, at);
        return;
    }
    reg_store_bit(into, at, reg_read(address), bit);
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
    RegAddr within = 0;
    const int card = block_card(address, SIM_STRUCTURE_BASE, &within);
    if (card < 0 || within + 1 >= SIM_STRUCTURE_SIZE) {
        return 0xFFFFu;
    }
    // The structure is all zero but for the card's revision, 16 bits little-endian at
    // VXD_CARD_REVISION_OFFSET: reads from the byte before it to its last byte overlap it.
    const std::uint32_t revision = static_cast<std::uint16_t>(TheSimConfig.cards[card].revision);
    const RegAddr first = VXD_CARD_REVISION_OFFSET - 1;
    if (within < first || within > first + 2) {
        return 0;
    }
    return static_cast<std::uint16_t>((revision << 8) >> (8 * (within - first)));
}
