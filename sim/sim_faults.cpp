// The one table of the simulated platform's faults, and adding a fault to a configuration
// where it can take effect.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "sim/sim_config.h"
#include "sim/sim_message.h"

namespace {

constexpr std::uint8_t BOTH = SIM_SCOPE_NT | SIM_SCOPE_9X;
constexpr std::uint8_t BOTH_PER_CARD = SIM_SCOPE_NT | SIM_SCOPE_9X | SIM_SCOPE_9X_CARD;
constexpr std::uint8_t NT_ONLY = SIM_SCOPE_NT;
constexpr std::uint8_t W9X_ONLY = SIM_SCOPE_9X;
constexpr std::uint8_t W9X_PER_CARD = SIM_SCOPE_9X | SIM_SCOPE_9X_CARD;
constexpr std::uint8_t ANYWHERE = BOTH_PER_CARD;

void list_fault_names(char* out, std::size_t size)
{
    std::size_t used = 0;
    out[0] = '\0';
    for (std::size_t i = 0; i < SIM_FAULT_COUNT; ++i) {
        const int n = std::snprintf(out + used, size - used, "%s%s", used == 0 ? "" : ", ", SIM_FAULTS[i].name);
        if (n < 0 || static_cast<std::size_t>(n) >= size - used) {
            return;
        }
        used += static_cast<std::size_t>(n);
    }
}

} // namespace

const SimFault SIM_FAULTS[] = {
    {"device-missing", SimFaultKind::Driver, SIM_FAULT_DEVICE_MISSING, BOTH,
     "the device cannot be opened (NT: that card's device; 9x: the virtual device)"},
    {"card-info-fails", SimFaultKind::Driver, SIM_FAULT_CARD_INFO_FAILS, NT_ONLY, "CTL_CARD_INFO fails"},
    {"wrong-magic", SimFaultKind::Driver, SIM_FAULT_WRONG_MAGIC, NT_ONLY, "CardInfo carries the magic 0x3FC4"},
    {"short-card-info", SimFaultKind::Driver, SIM_FAULT_SHORT_CARD_INFO, NT_ONLY,
     "CTL_CARD_INFO fills only 8 bytes"},
    {"map-fails", SimFaultKind::Driver, SIM_FAULT_MAP_FAILS, BOTH_PER_CARD, "mapping the register block fails"},
    {"map-address-zero", SimFaultKind::Driver, SIM_FAULT_MAP_ADDRESS_ZERO, BOTH_PER_CARD,
     "mapping succeeds with the address 0"},
    {"unmap-fails", SimFaultKind::Driver, SIM_FAULT_UNMAP_FAILS, NT_ONLY, "CTL_UNMAP_REGISTER fails"},
    {"vxd-count-fails", SimFaultKind::Driver, SIM_FAULT_VXD_COUNT_FAILS, W9X_ONLY, "VXD_GET_CARD_COUNT fails"},
    {"vxd-card-fails", SimFaultKind::Driver, SIM_FAULT_VXD_CARD_FAILS, W9X_PER_CARD, "VXD_GET_CARD fails"},
    {"vxd-card-address-zero", SimFaultKind::Driver, SIM_FAULT_VXD_CARD_ADDRESS_ZERO, W9X_PER_CARD,
     "VXD_GET_CARD answers the address 0"},
    {"tdo-stuck-0", SimFaultKind::Card, SIM_CARD_TDO_STUCK_0, ANYWHERE, "TDO always reads 0"},
    {"tdo-stuck-1", SimFaultKind::Card, SIM_CARD_TDO_STUCK_1, ANYWHERE, "TDO always reads 1"},
    {"flash-bit-stuck", SimFaultKind::Card, SIM_CARD_FLASH_BIT_STUCK, ANYWHERE,
     "one memory bit that the configuration needs as 0 stays 1"},
    {"other-model", SimFaultKind::Card, SIM_CARD_OTHER_MODEL, ANYWHERE, "the card carries another model's device"},
    {"buffers-disabled", SimFaultKind::Card, SIM_CARD_BUFFERS_DISABLED, ANYWHERE,
     "the JTAG buffers never enable"},
    {"vanish", SimFaultKind::Card, SIM_CARD_VANISH, ANYWHERE,
     "the card drops off the bus after programming 100 rows"},
};
const std::size_t SIM_FAULT_COUNT = std::size(SIM_FAULTS);

const SimFault* sim_fault_by_name(const char* name)
{
    for (const SimFault& f : SIM_FAULTS) {
        if (std::strcmp(f.name, name) == 0) {
            return &f;
        }
    }
    return nullptr;
}

bool sim_add_fault(SimConfig* config, std::string_view name, int card, SimMessage* message)
{
    const SimFault* f = nullptr;
    for (const SimFault& known : SIM_FAULTS) {
        if (name == known.name) {
            f = &known;
        }
    }
    // How the fault was given: NAME or NAME@K.
    char given[96];
    if (card < 0) {
        std::snprintf(given, sizeof given, "%.*s", width(name), name.data());
    } else {
        std::snprintf(given, sizeof given, "%.*s@%d", width(name), name.data(), card);
    }
    if (f == nullptr) {
        char names[400];
        list_fault_names(names, sizeof names);
        say(message, "no fault \"%.*s\" (there are %s)", width(name), name.data(), names);
        return false;
    }
    if (card >= config->card_count) {
        say(message, "%s: there is no card %d (cards 0 to %d)", given, card, config->card_count - 1);
        return false;
    }
    if (f->kind == SimFaultKind::Driver) {
        const bool nt = config->family == DriverFamily::Nt;
        if (!config->driver_present) {
            say(message, "%s: a driver fault needs a driver (MOLA_SIM_DRIVER is none)", given);
            return false;
        }
        if (!(f->scope & (nt ? SIM_SCOPE_NT : SIM_SCOPE_9X))) {
            say(message, "%s: the %s driver has no such request (MOLA_SIM_DRIVER=%s has it)", given, nt ? "NT" : "9x",
                nt ? "9x" : "nt");
            return false;
        }
        if (!nt && card >= 0 && !(f->scope & SIM_SCOPE_9X_CARD)) {
            say(message, "%s: on the 9x driver the virtual device serves every card; give it without @K", given);
            return false;
        }
    }
    for (int k = 0; k < SIM_MAX_CARDS; ++k) {
        if (card < 0 || card == k) {
            (f->kind == SimFaultKind::Driver ? config->cards[k].driver_faults : config->cards[k].card_faults) |= f->bit;
        }
    }
    if (card < 0 && f->kind == SimFaultKind::Driver) {
        config->driver_faults |= f->bit;
    }
    return true;
}
