// Configuration of the simulated platform: which driver family, which cards, which faults and
// which clock. Plain records (the faults are the rows of sim/sim_fault_table.h), and the parser of the MOLA_SIM_*
// environment variables that MolaFlashSim.exe and the xsvf tool share (README.md lists them, with
// their values and defaults). A malformed value is an error with a message, never a default, a
// clamp or a partial reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "card/driver.h"
#include "images/card_models.h"
#include "platform/os.h"
#include "sim/sim_fault_table.h"

constexpr int SIM_MAX_CARDS = 8;
// A card whose power is never cut.
constexpr std::uint64_t SIM_NO_POWER_CUT = ~std::uint64_t{0};

struct SimCardConfig {
    CardModel model = CARD_MODEL_PCI;
    std::int32_t revision = 10;
    std::uint32_t driver_faults = 0; // bits of driver faults (sim/sim_fault_table.h) for this card
    std::uint32_t card_faults = 0;   // bits of card faults
    std::uint64_t power_cut_after_tck = SIM_NO_POWER_CUT; // rising TCK edges before the power fails
};

struct SimConfig {
    bool driver_present = true;
    DriverFamily family = DriverFamily::Nt;
    int card_count = 0;               // cards installed, 0..SIM_MAX_CARDS
    bool override_count = false;      // report reported_count instead of card_count
    std::int32_t reported_count = 0;
    std::uint32_t driver_faults = 0;  // faults that apply to every request
    bool real_sleep = false;
    // What the system says of its power source: on mains with a full battery unless set.
    OsPowerStatus power = {OS_AC_ONLINE, OS_BATTERY_HIGH, 100};
    SimCardConfig cards[SIM_MAX_CARDS];
};

// Two cards, PCI revision 9 and CardBus revision 10, on the NT family with virtual time.
SimConfig sim_default_config();

// The values of the MOLA_SIM_* variables; null for a variable that is not set.
struct SimEnvironment {
    const char* cards = nullptr;
    const char* driver = nullptr;
    const char* count = nullptr;
    const char* clock = nullptr;
    const char* faults = nullptr;
    const char* power = nullptr;
    const char* state = nullptr;
};

// The MOLA_SIM_* variables: each name once, with the member of SimEnvironment it fills.
struct SimVariable {
    const char* name;
    const char* SimEnvironment::*value;
};
constexpr SimVariable SIM_VAR_CARDS{"MOLA_SIM_CARDS", &SimEnvironment::cards};
constexpr SimVariable SIM_VAR_DRIVER{"MOLA_SIM_DRIVER", &SimEnvironment::driver};
constexpr SimVariable SIM_VAR_COUNT{"MOLA_SIM_COUNT", &SimEnvironment::count};
constexpr SimVariable SIM_VAR_CLOCK{"MOLA_SIM_CLOCK", &SimEnvironment::clock};
constexpr SimVariable SIM_VAR_FAULTS{"MOLA_SIM_FAULTS", &SimEnvironment::faults};
constexpr SimVariable SIM_VAR_POWER{"MOLA_SIM_POWER", &SimEnvironment::power};
constexpr SimVariable SIM_VAR_STATE{"MOLA_SIM_STATE", &SimEnvironment::state};
constexpr SimVariable SIM_VARIABLES[] = {SIM_VAR_CARDS,  SIM_VAR_DRIVER, SIM_VAR_COUNT, SIM_VAR_CLOCK,
                                         SIM_VAR_FAULTS, SIM_VAR_POWER,  SIM_VAR_STATE};

// This process's MOLA_SIM_* variables.
SimEnvironment sim_environment();

// Why a configuration was refused: one line, without its line end.
struct SimMessage {
    char text[512];
};

// Parses the variables over sim_default_config() with real time. On success fills config and
// returns true; on a malformed value returns false and says why in message (naming the
// variable and its value). A state file (MOLA_SIM_STATE) is opened here, or created from the
// cards of MOLA_SIM_CARDS, and refused as a whole when it is damaged or foreign.
bool sim_parse_environment(const SimEnvironment& env, SimConfig* config, SimMessage* message);

// Adds a fault by name to card `card` (-1: every card) of a configuration, as MOLA_SIM_FAULTS
// and `xsvf play --fault` do; false with a message when the name is unknown, the card does
// not exist, or the fault cannot take effect there (the wrong driver family, no driver, or a
// fault of the whole 9x virtual device given for one card).
bool sim_add_fault(SimConfig* config, std::string_view name, int card, SimMessage* message);

// Hands each entry of a comma list to `entry` in order, empty entries included ("a,,b" has
// three; "" has one); stops at the first that `entry` refuses, and returns whether none did.
template <typename Entry>
bool sim_each_listed(std::string_view list, Entry entry)
{
    for (;;) {
        const std::size_t comma = list.find(',');
        if (!entry(list.substr(0, comma))) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

// The card models' keys, each after prefix, joined by separator ("@pci and @cardbus").
std::string sim_model_keys(const char* prefix, const char* separator);

// A signed 32-bit decimal number and nothing else; false for anything else.
bool sim_parse_int32(const char* text, std::size_t length, std::int32_t* value);
