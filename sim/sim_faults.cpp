// Adding a fault of the fault table (sim/sim_fault_table.h) to a configuration where it can
// take effect, and the table's texts for people.
#include <string>

#include "sim/sim_config.h"
#include "sim/sim_message.h"

std::string sim_fault_names()
{
    std::string names;
    for (const SimFault& f : SIM_FAULTS) {
        names.append(names.empty() ? "" : ", ").append(f.name);
    }
    return names;
}

const char* sim_fault_where(const SimFault& fault)
{
    // Indexed by a driver fault's scope bits: NT, 9x, 9x per card.
    constexpr const char* WHERE[8] = {
        "NT", "NT", "9x (whole device)", "NT, 9x (whole device)", "NT", "NT", "9x (per card)", "NT, 9x (per card)",
    };
    return fault.kind == SimFaultKind::Card ? "any" : WHERE[fault.scope & 7u];
}

bool sim_add_fault(SimConfig* config, std::string_view name, int card, SimMessage* message)
{
    const SimFault* f = sim_fault_by_name(name);
    // How the fault was given: NAME or NAME@K.
    const std::string given = std::string(name) + (card < 0 ? "" : "@" + std::to_string(card));
    if (f == nullptr) {
        say(message, "no fault \"%.*s\" (there are %s)", width(name), name.data(), sim_fault_names().c_str());
        return false;
    }
    if (card >= config->card_count) {
        say(message, "%s: there is no card %d (cards 0 to %d)", given.c_str(), card, config->card_count - 1);
        return false;
    }
    if (f->kind == SimFaultKind::Driver) {
        const bool nt = config->family == DriverFamily::Nt;
        if (!config->driver_present) {
            say(message, "%s: a driver fault needs a driver (MOLA_SIM_DRIVER is none)", given.c_str());
            return false;
        }
        if (!(f->scope & (nt ? SIM_SCOPE_NT : SIM_SCOPE_9X))) {
            say(message, "%s: the %s driver has no such request (MOLA_SIM_DRIVER=%s has it)", given.c_str(),
                nt ? "NT" : "9x", nt ? "9x" : "nt");
            return false;
        }
        if (!nt && card >= 0 && !(f->scope & SIM_SCOPE_9X_CARD)) {
            say(message, "%s: on the 9x driver the virtual device serves every card; give it without @K",
                given.c_str());
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
