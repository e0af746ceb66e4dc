// The simulated card: the lines of control word 0 (card/port_lines.h) become clock edges for
// its logic device, and the status word answers with the device's TDO.
#include "sim/sim_card.h"

#include "card/port_registers.h"

#include "mola_version.h"
#include "sim/sim_clock.h"
#include "sim/sim_internal.h"
#include "sim/sim_state.h"

namespace {

int card_tdo(const SimCard* card)
{
    if (card->faults & SIM_CARD_TDO_STUCK_0) {
        return 0;
    }
    if (card->faults & SIM_CARD_TDO_STUCK_1) {
        return 1;
    }
    return card->port.lines.enabled ? card->device.tdo : 1;
}

std::uint32_t card_read(void* context, std::uint32_t offset)
{
    auto* card = static_cast<SimCard*>(context);
    if (card->vanished) {
        return 0xFFFFFFFFu;
    }
    if (offset == PORT_STATUS_WORD) {
        return port_status_word_of(card_tdo(card));
    }
    const std::uint32_t k = port_control_index(offset);
    return k < PORT_CONTROL_WORDS ? card->port.control[k] : 0;
}

void card_write(void* context, std::uint32_t offset, std::uint32_t value)
{
    auto* card = static_cast<SimCard*>(context);
    if (card->vanished) {
        return;
    }
    if (offset == PORT_CONTROL_WORD_0 && (value & PORT_RELOAD_REQUEST)) {
        card->reload_requested = true;
    }
    if (card->faults & SIM_CARD_BUFFERS_DISABLED) {
        value &= ~PORT_JTAG_ENABLE;
    }
    int edge = 0;
    port_decode_write(&card->port, offset, value, &edge);
    if (edge > 0 && card->device.counters.rising_edges >= card->power_cut_after_tck) {
        // The power fails: the card is gone from the bus, its memory as it was.
        card->power_lost = true;
        card->vanished = true;
        return;
    }
    if (edge > 0) {
        logic_rising_edge(&card->device, card->port.lines.tms, card->port.lines.tdi, sim_clock_now_ns());
        if ((card->faults & SIM_CARD_VANISH) &&
            card->device.counters.rows_programmed >= SIM_CARD_VANISH_AFTER_ROWS) {
            card->vanished = true;
        }
    } else if (edge < 0) {
        logic_falling_edge(&card->device);
    }
}

} // namespace

std::int32_t sim_card_power_on(SimCard* card, CardModel model, std::uint32_t faults, int k, std::int32_t revision)
{
    const SimStateCard* kept = sim_state_card(k);
    if (kept != nullptr) {
        model = kept->model;
    }
    // Plain record: no constructor, cleared field by field (the device powers on below).
    card->model = model;
    card->faults = faults;
    card->power_cut_after_tck = SIM_NO_POWER_CUT;
    card->power_lost = false;
    card->port = PortDecoder{};
    card->reload_requested = false;
    card->vanished = false;
    const CardModel carried = (faults & SIM_CARD_OTHER_MODEL) ? device_other_model(model) : model;
    const std::int32_t stuck =
        (faults & SIM_CARD_FLASH_BIT_STUCK) ? logic_first_zero_bit(model, SIM_CARD_STUCK_BIT_FROM) : -1;
    logic_power_on(&card->device, carried, stuck, k);
    if (kept == nullptr) {
        return revision;
    }
    if (logic_holds_configuration(&card->device, model)) {
        return MOLA_HW_REVISION;
    }
    return logic_holds_factory_configuration(&card->device) ? kept->original_revision : 0;
}

SimTarget sim_card_target(SimCard* card)
{
    return SimTarget{card, card_read, card_write};
}

const SimCard* sim_card(int k)
{
    return k >= 0 && k < SIM_MAX_CARDS ? &SimCards[k] : nullptr;
}

bool sim_card_holds_configuration(const SimCard* card, CardModel model)
{
    return card != nullptr && logic_holds_configuration(&card->device, model);
}
