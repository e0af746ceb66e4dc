// Placeholder card: latches the control words, reads status 0.
#include "sim/sim_card.h"

namespace {

std::uint32_t card_read(void*, std::uint32_t)
{
    return 0;
}

void card_write(void* context, std::uint32_t offset, std::uint32_t value)
{
    auto* card = static_cast<SimCard*>(context);
    if (offset >= 0x100 && offset < 0x110) {
        card->control[(offset - 0x100) / 4] = value;
    }
}

} // namespace

void sim_card_power_on(SimCard* card, SimCardModel model, std::uint32_t faults)
{
    *card = SimCard{};
    card->model = model;
    card->faults = faults;
}

SimTarget sim_card_target(SimCard* card)
{
    SimTarget t;
    t.context = card;
    t.read = card_read;
    t.write = card_write;
    return t;
}

std::uint32_t sim_card_fault_by_name(const char*)
{
    return 0;
}
