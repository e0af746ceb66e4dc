// The simulated platform's faults, one row each: the name that MOLA_SIM_FAULTS, `xsvf play
// --fault` and `xsvf serve --fault` take, what it breaks (the driver or the card), where it can
// take effect, and what it does. The fault bits, the parser's lookup, the lists in messages
// and usage texts, and the README's table (`xsvf faults`) all come from these rows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class SimFaultKind : std::uint8_t { Driver, Card };

// Where a fault can take effect. Card faults take effect everywhere. On NT every driver fault
// can be given for one card (NAME@K): each card has its own device.
enum SimFaultScope : std::uint8_t {
    SIM_SCOPE_NT = 1u << 0,      // on the NT driver family
    SIM_SCOPE_9X = 1u << 1,      // on the 9x driver family
    SIM_SCOPE_9X_CARD = 1u << 2, // on 9x, also for one card: the request names the card
    SIM_SCOPE_ANY = SIM_SCOPE_NT | SIM_SCOPE_9X | SIM_SCOPE_9X_CARD,
};

// ROW(id, name, kind, scope, effect); the bit of a fault is SIM_<id>.
#define MOLA_SIM_FAULT_ROWS(ROW)                                                                                  \
    ROW(FAULT_DEVICE_MISSING, "device-missing", Driver, SIM_SCOPE_NT | SIM_SCOPE_9X,                              \
        "the device cannot be opened (NT: that card's device; 9x: the virtual device)")                          \
    ROW(FAULT_CARD_INFO_FAILS, "card-info-fails", Driver, SIM_SCOPE_NT, "CTL_CARD_INFO fails")                     \
    ROW(FAULT_WRONG_MAGIC, "wrong-magic", Driver, SIM_SCOPE_NT, "CardInfo carries the magic 0x3FC4")              \
    ROW(FAULT_SHORT_CARD_INFO, "short-card-info", Driver, SIM_SCOPE_NT, "CTL_CARD_INFO fills only 8 bytes")       \
    ROW(FAULT_MAP_FAILS, "map-fails", Driver, SIM_SCOPE_ANY, "mapping the register block fails")                  \
    ROW(FAULT_MAP_ADDRESS_ZERO, "map-address-zero", Driver, SIM_SCOPE_ANY, "mapping succeeds with the address 0") \
    ROW(FAULT_UNMAP_FAILS, "unmap-fails", Driver, SIM_SCOPE_NT, "CTL_UNMAP_REGISTER fails")                       \
    ROW(FAULT_VXD_COUNT_FAILS, "vxd-count-fails", Driver, SIM_SCOPE_9X, "VXD_GET_CARD_COUNT fails")               \
    ROW(FAULT_VXD_CARD_FAILS, "vxd-card-fails", Driver, SIM_SCOPE_9X | SIM_SCOPE_9X_CARD, "VXD_GET_CARD fails")   \
    ROW(FAULT_VXD_CARD_ADDRESS_ZERO, "vxd-card-address-zero", Driver, SIM_SCOPE_9X | SIM_SCOPE_9X_CARD,           \
        "VXD_GET_CARD answers the address 0")                                                                     \
    ROW(CARD_TDO_STUCK_0, "tdo-stuck-0", Card, SIM_SCOPE_ANY, "TDO always reads 0")                              \
    ROW(CARD_TDO_STUCK_1, "tdo-stuck-1", Card, SIM_SCOPE_ANY, "TDO always reads 1")                              \
    ROW(CARD_FLASH_BIT_STUCK, "flash-bit-stuck", Card, SIM_SCOPE_ANY,                                             \
        "one memory bit that the configuration needs as 0 stays 1")                                               \
    ROW(CARD_OTHER_MODEL, "other-model", Card, SIM_SCOPE_ANY, "the card carries another model's device")          \
    ROW(CARD_BUFFERS_DISABLED, "buffers-disabled", Card, SIM_SCOPE_ANY, "the JTAG buffers never enable")          \
    ROW(CARD_VANISH, "vanish", Card, SIM_SCOPE_ANY, "the card drops off the bus after programming 100 rows")

// One bit per fault, driver and card faults alike (a configuration keeps them apart).
enum SimFaultIndex : std::uint8_t {
#define MOLA_SIM_FAULT_INDEX(id, name, kind, scope, effect) SIM_INDEX_##id,
    MOLA_SIM_FAULT_ROWS(MOLA_SIM_FAULT_INDEX)
#undef MOLA_SIM_FAULT_INDEX
    SIM_FAULT_COUNT
};
static_assert(SIM_FAULT_COUNT <= 32, "every fault has a bit of a 32-bit word");

enum SimFaultBit : std::uint32_t {
#define MOLA_SIM_FAULT_BIT(id, name, kind, scope, effect) SIM_##id = 1u << SIM_INDEX_##id,
    MOLA_SIM_FAULT_ROWS(MOLA_SIM_FAULT_BIT)
#undef MOLA_SIM_FAULT_BIT
};

struct SimFault {
    const char* name;
    SimFaultKind kind;
    std::uint32_t bit;
    std::uint8_t scope; // SimFaultScope bits
    const char* effect; // one line for people
};

inline constexpr SimFault SIM_FAULTS[SIM_FAULT_COUNT] = {
#define MOLA_SIM_FAULT_RECORD(id, name, kind, scope, effect) {name, SimFaultKind::kind, SIM_##id, scope, effect},
    MOLA_SIM_FAULT_ROWS(MOLA_SIM_FAULT_RECORD)
#undef MOLA_SIM_FAULT_RECORD
};

// The fault of a name, or null.
constexpr const SimFault* sim_fault_by_name(std::string_view name)
{
    for (const SimFault& f : SIM_FAULTS) {
        if (name == f.name) {
            return &f;
        }
    }
    return nullptr;
}

// Where a fault can take effect, for people: "any" for a card fault, else the driver families
// ("NT", "9x") and, on 9x, whether it can be given for one card or only for the whole device.
const char* sim_fault_where(const SimFault& fault);

// The names of every fault, joined by ", ".
std::string sim_fault_names();
