// Configuration of the simulated platform: which driver family, which cards, which faults and
// which clock. Plain records, the one table of fault names, and the parser of the MOLA_SIM_*
// environment variables that MolaFlashSim.exe and the xsvf tool share:
//   MOLA_SIM_CARDS   comma list of KEY:REVISION, KEY a card model's key (pci, cardbus);
//                    default "pci:9,cardbus:10"
//   MOLA_SIM_DRIVER  nt, 9x or none (none: the driver is not installed); default nt
//   MOLA_SIM_COUNT   card count the driver reports, overriding the number of cards
//   MOLA_SIM_CLOCK   real (sleeps really sleep) or virtual; default real
//   MOLA_SIM_FAULTS  comma list of NAME or NAME@K (K: card index; without it every card)
//   MOLA_SIM_POWER   ac, battery:PERCENT (0 to 100), critical or unknown; default ac
// A malformed value is an error with a message, never a default, a clamp or a partial reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "card/driver.h"
#include "images/card_models.h"
#include "platform/os.h"

constexpr int SIM_MAX_CARDS = 8;

// Driver faults, one bit each.
enum SimDriverFault : std::uint32_t {
    SIM_FAULT_DEVICE_MISSING = 1u << 0,     // CreateFileA of the device (NT: that card's path) fails
    SIM_FAULT_CARD_INFO_FAILS = 1u << 1,    // CTL_CARD_INFO fails
    SIM_FAULT_WRONG_MAGIC = 1u << 2,        // CardInfo magic 0x3FC4
    SIM_FAULT_SHORT_CARD_INFO = 1u << 3,    // CardInfo reply of 8 bytes only
    SIM_FAULT_MAP_FAILS = 1u << 4,          // CTL_MAP_REGISTER / VXD_MAP_REGISTER fails
    SIM_FAULT_MAP_ADDRESS_ZERO = 1u << 5,   // mapping succeeds with address 0
    SIM_FAULT_UNMAP_FAILS = 1u << 6,        // CTL_UNMAP_REGISTER fails
    SIM_FAULT_VXD_COUNT_FAILS = 1u << 7,    // VXD_GET_CARD_COUNT fails
    SIM_FAULT_VXD_CARD_FAILS = 1u << 8,     // VXD_GET_CARD fails
    SIM_FAULT_VXD_CARD_ADDRESS_ZERO = 1u << 9, // VXD_GET_CARD answers address 0
};

// Faults of a card's logic device, one bit each (docs/logic-device.md).
enum SimCardFault : std::uint32_t {
    SIM_CARD_TDO_STUCK_0 = 1u << 0,      // TDO always reads 0
    SIM_CARD_TDO_STUCK_1 = 1u << 1,      // TDO always reads 1
    SIM_CARD_FLASH_BIT_STUCK = 1u << 2,  // one memory bit cannot be cleared
    SIM_CARD_OTHER_MODEL = 1u << 3,      // carries another model's device
    SIM_CARD_BUFFERS_DISABLED = 1u << 4, // the JTAG buffers never enable
    SIM_CARD_VANISH = 1u << 5,           // gone after programming some rows
};

enum class SimFaultKind : std::uint8_t { Driver, Card };

// Where a fault can take effect.
enum SimFaultScope : std::uint8_t {
    SIM_SCOPE_NT = 1u << 0,        // on the NT driver family
    SIM_SCOPE_9X = 1u << 1,        // on the 9x driver family
    SIM_SCOPE_9X_CARD = 1u << 2,   // on 9x, also for one card (NAME@K): the request names the card
};

struct SimFault {
    const char* name;
    SimFaultKind kind;
    std::uint32_t bit;
    std::uint8_t scope;     // SimFaultScope bits; card faults take effect everywhere
    const char* effect;     // one line for people
};

// Every fault, by name: the README's list, the environment and `xsvf play --fault` use this.
extern const SimFault SIM_FAULTS[];
extern const std::size_t SIM_FAULT_COUNT;
// The fault of a name, or null.
const SimFault* sim_fault_by_name(const char* name);

struct SimCardConfig {
    CardModel model = CARD_MODEL_PCI;
    std::int32_t revision = 10;
    std::uint32_t driver_faults = 0; // SimDriverFault bits for this card
    std::uint32_t card_faults = 0;   // SimCardFault bits
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
};

// This process's MOLA_SIM_* variables.
SimEnvironment sim_environment();

// Why a configuration was refused: one line, without its line end.
struct SimMessage {
    char text[512];
};

// Parses the variables over sim_default_config() with real time. On success fills config and
// returns true; on a malformed value returns false and says why in message (naming the
// variable and its value).
bool sim_parse_environment(const SimEnvironment& env, SimConfig* config, SimMessage* message);

// Adds a fault by name to card `card` (-1: every card) of a configuration, as MOLA_SIM_FAULTS
// and `xsvf play --fault` do; false with a message when the name is unknown, the card does
// not exist, or the fault cannot take effect there (the wrong driver family, no driver, or a
// fault of the whole 9x virtual device given for one card).
bool sim_add_fault(SimConfig* config, std::string_view name, int card, SimMessage* message);

// The power status of a MOLA_SIM_POWER value: "ac" (on mains), "battery:PERCENT" (on battery
// at 0 to 100 %, flagged low below 33 % and critical below 5 %, as the system flags them),
// "critical" (on battery, charge critical, percent unknown) or "unknown" (the system cannot
// tell). False with a message for anything else.
bool sim_parse_power(const char* value, OsPowerStatus* power, SimMessage* message);

// A signed 32-bit decimal number and nothing else; false for anything else.
bool sim_parse_int32(const char* text, std::size_t length, std::int32_t* value);
