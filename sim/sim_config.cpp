// Configuration of the simulated platform: the fault table and the MOLA_SIM_* parser.
#include "sim/sim_config.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

constexpr std::uint8_t BOTH = SIM_SCOPE_NT | SIM_SCOPE_9X;
constexpr std::uint8_t BOTH_PER_CARD = SIM_SCOPE_NT | SIM_SCOPE_9X | SIM_SCOPE_9X_CARD;
constexpr std::uint8_t NT_ONLY = SIM_SCOPE_NT;
constexpr std::uint8_t W9X_ONLY = SIM_SCOPE_9X;
constexpr std::uint8_t W9X_PER_CARD = SIM_SCOPE_9X | SIM_SCOPE_9X_CARD;
constexpr std::uint8_t ANYWHERE = BOTH_PER_CARD;

constexpr const char* VARIABLE_CARDS = "MOLA_SIM_CARDS";
constexpr const char* VARIABLE_DRIVER = "MOLA_SIM_DRIVER";
constexpr const char* VARIABLE_COUNT = "MOLA_SIM_COUNT";
constexpr const char* VARIABLE_CLOCK = "MOLA_SIM_CLOCK";
constexpr const char* VARIABLE_FAULTS = "MOLA_SIM_FAULTS";

// Text into a message, cut at its size.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void say(SimMessage* message, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(message->text, sizeof message->text, format, args);
    va_end(args);
}

// A part of a value, for "%.*s".
int width(std::string_view part)
{
    return static_cast<int>(part.size());
}

// "VARIABLE=value: " before the reason that is in message already.
bool refuse(SimMessage* message, const char* variable, const char* value)
{
    char why[sizeof message->text];
    std::memcpy(why, message->text, sizeof why);
    say(message, "%s=%s: %s", variable, value, why);
    return false;
}

void list_model_keys(char* out, std::size_t size)
{
    std::size_t used = 0;
    out[0] = '\0';
    for (const SCardModel& m : CARD_MODELS) {
        const int n = std::snprintf(out + used, size - used, "%s%s", used == 0 ? "" : ", ", m.key);
        if (n < 0 || static_cast<std::size_t>(n) >= size - used) {
            return;
        }
        used += static_cast<std::size_t>(n);
    }
}

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

// One entry of MOLA_SIM_CARDS, KEY:REVISION.
bool parse_card(std::string_view entry, SimCardConfig* card, SimMessage* message)
{
    const std::size_t colon = entry.find(':');
    if (colon == std::string_view::npos) {
        say(message, "\"%.*s\" is not MODEL:REVISION", width(entry), entry.data());
        return false;
    }
    const std::string_view key = entry.substr(0, colon);
    const std::string_view revision = entry.substr(colon + 1);
    const int model = card_model_by_key(key);
    if (model < 0) {
        char keys[128];
        list_model_keys(keys, sizeof keys);
        say(message, "no card model \"%.*s\" (there are %s)", width(key), key.data(), keys);
        return false;
    }
    if (!sim_parse_int32(revision.data(), revision.size(), &card->revision)) {
        say(message, "revision \"%.*s\" is not a signed 32-bit number", width(revision), revision.data());
        return false;
    }
    card->model = static_cast<CardModel>(model);
    return true;
}

// The entries of a comma list, in order; stops at the first that `entry` refuses.
template <typename Entry>
bool each_entry(const char* value, Entry entry)
{
    std::string_view rest = value;
    for (;;) {
        const std::size_t comma = rest.find(',');
        if (!entry(rest.substr(0, comma))) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        rest.remove_prefix(comma + 1);
    }
}

bool parse_cards(const char* value, SimConfig* c, SimMessage* message)
{
    c->card_count = 0;
    const bool ok = each_entry(value, [&](std::string_view entry) {
        if (c->card_count >= SIM_MAX_CARDS) {
            say(message, "more than %d cards", SIM_MAX_CARDS);
            return false;
        }
        if (!parse_card(entry, &c->cards[c->card_count], message)) {
            return false;
        }
        ++c->card_count;
        return true;
    });
    return ok || refuse(message, VARIABLE_CARDS, value);
}

bool parse_faults(const char* value, SimConfig* c, SimMessage* message)
{
    const bool ok = each_entry(value, [&](std::string_view entry) {
        const std::size_t at = entry.find('@');
        int card = -1;
        if (at != std::string_view::npos) {
            const std::string_view index = entry.substr(at + 1);
            std::int32_t k = 0;
            if (!sim_parse_int32(index.data(), index.size(), &k) || k < 0) {
                say(message, "card index \"%.*s\" in \"%.*s\" is not a card number", width(index), index.data(),
                    width(entry), entry.data());
                return false;
            }
            card = k;
        }
        return sim_add_fault(c, entry.substr(0, at), card, message);
    });
    return ok || refuse(message, VARIABLE_FAULTS, value);
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

SimConfig sim_default_config()
{
    SimConfig c;
    c.card_count = 2;
    c.cards[0].model = CARD_MODEL_PCI;
    c.cards[0].revision = 9;
    c.cards[1].model = CARD_MODEL_CARDBUS;
    c.cards[1].revision = 10;
    return c;
}

bool sim_parse_int32(const char* text, std::size_t length, std::int32_t* value)
{
    std::size_t i = 0;
    const bool negative = length > 0 && text[0] == '-';
    if (negative) {
        ++i;
    }
    if (i == length) {
        return false;
    }
    std::int64_t v = 0;
    for (; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) {
            return false;
        }
    }
    v = negative ? -v : v;
    if (v > 2147483647LL) {
        return false;
    }
    *value = static_cast<std::int32_t>(v);
    return true;
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

SimEnvironment sim_environment()
{
    SimEnvironment env;
    env.cards = std::getenv(VARIABLE_CARDS);
    env.driver = std::getenv(VARIABLE_DRIVER);
    env.count = std::getenv(VARIABLE_COUNT);
    env.clock = std::getenv(VARIABLE_CLOCK);
    env.faults = std::getenv(VARIABLE_FAULTS);
    return env;
}

bool sim_parse_environment(const SimEnvironment& env, SimConfig* config, SimMessage* message)
{
    SimConfig c = sim_default_config();
    c.real_sleep = true;
    const struct {
        const char* variable;
        const char* value;
    } all[] = {{VARIABLE_CARDS, env.cards}, {VARIABLE_DRIVER, env.driver}, {VARIABLE_COUNT, env.count},
               {VARIABLE_CLOCK, env.clock}, {VARIABLE_FAULTS, env.faults}};
    for (const auto& v : all) {
        if (v.value != nullptr && *v.value == '\0') {
            say(message, "set but empty (unset it for the default)");
            return refuse(message, v.variable, v.value);
        }
    }
    if (env.cards && !parse_cards(env.cards, &c, message)) {
        return false;
    }
    if (env.driver) {
        if (std::strcmp(env.driver, "nt") == 0) {
            c.family = DriverFamily::Nt;
        } else if (std::strcmp(env.driver, "9x") == 0) {
            c.family = DriverFamily::Win9x;
        } else if (std::strcmp(env.driver, "none") == 0) {
            c.driver_present = false;
        } else {
            say(message, "is none of nt, 9x, none");
            return refuse(message, VARIABLE_DRIVER, env.driver);
        }
    }
    if (env.count) {
        if (!sim_parse_int32(env.count, std::strlen(env.count), &c.reported_count)) {
            say(message, "is not a signed 32-bit number");
            return refuse(message, VARIABLE_COUNT, env.count);
        }
        c.override_count = true;
    }
    if (env.clock) {
        if (std::strcmp(env.clock, "real") == 0) {
            c.real_sleep = true;
        } else if (std::strcmp(env.clock, "virtual") == 0) {
            c.real_sleep = false;
        } else {
            say(message, "is neither real nor virtual");
            return refuse(message, VARIABLE_CLOCK, env.clock);
        }
    }
    if (env.faults && !parse_faults(env.faults, &c, message)) {
        return false;
    }
    *config = c;
    return true;
}
