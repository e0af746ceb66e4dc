// The parser of the MOLA_SIM_* environment variables.
#include "sim/sim_config.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/sim_message.h"
#include "sim/sim_state.h"

namespace {

// "VARIABLE=value: " before the reason that is in message already.
bool refuse(SimMessage* message, const char* variable, const char* value)
{
    char why[sizeof message->text];
    std::memcpy(why, message->text, sizeof why);
    say(message, "%s=%s: %s", variable, value, why);
    return false;
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
        say(message, "no card model \"%.*s\" (there are %s)", width(key), key.data(),
            sim_model_keys("", ", ").c_str());
        return false;
    }
    if (!sim_parse_int32(revision.data(), revision.size(), &card->revision)) {
        say(message, "revision \"%.*s\" is not a signed 32-bit number", width(revision), revision.data());
        return false;
    }
    card->model = static_cast<CardModel>(model);
    return true;
}

bool parse_cards(const char* value, SimConfig* c, SimMessage* message)
{
    c->card_count = 0;
    const bool ok = sim_each_listed(value, [&](std::string_view entry) {
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
    return ok || refuse(message, SIM_VAR_CARDS.name, value);
}

bool parse_faults(const char* value, SimConfig* c, SimMessage* message)
{
    const bool ok = sim_each_listed(value, [&](std::string_view entry) {
        const std::size_t at = entry.find('@');
        std::int32_t card = -1;
        if (at != std::string_view::npos) {
            const std::string_view index = entry.substr(at + 1);
            if (!sim_parse_int32(index.data(), index.size(), &card) || card < 0) {
                say(message, "card index \"%.*s\" in \"%.*s\" is not a card number", width(index), index.data(),
                    width(entry), entry.data());
                return false;
            }
        }
        return sim_add_fault(c, entry.substr(0, at), card, message);
    });
    return ok || refuse(message, SIM_VAR_FAULTS.name, value);
}

// The power status of a MOLA_SIM_POWER value: "ac" (on mains), "battery:PERCENT" (on battery
// at 0 to 100 %, flagged low below 33 % and critical below 5 %, as the system flags them),
// "critical" (on battery, charge critical, percent unknown) or "unknown" (the system cannot
// tell). False with a message for anything else.
bool parse_power(const char* value, OsPowerStatus* power, SimMessage* message)
{
    constexpr std::string_view BATTERY = "battery:";
    const std::string_view v = value;
    if (v == "ac") {
        *power = {OS_AC_ONLINE, OS_BATTERY_HIGH, 100};
    } else if (v == "critical") {
        *power = {OS_AC_OFFLINE, OS_BATTERY_CRITICAL, OS_POWER_UNKNOWN};
    } else if (v == "unknown") {
        *power = {OS_POWER_UNKNOWN, OS_POWER_UNKNOWN, OS_POWER_UNKNOWN};
    } else if (v.substr(0, BATTERY.size()) == BATTERY) {
        const std::string_view number = v.substr(BATTERY.size());
        std::int32_t percent = 0;
        if (!sim_parse_int32(number.data(), number.size(), &percent) || percent < 0 || percent > 100) {
            say(message, "battery charge \"%.*s\" is not a percent from 0 to 100", width(number), number.data());
            return false;
        }
        const std::uint8_t flag = percent < 5 ? OS_BATTERY_CRITICAL : percent < 33 ? OS_BATTERY_LOW : OS_BATTERY_HIGH;
        *power = {OS_AC_OFFLINE, flag, static_cast<std::uint8_t>(percent)};
    } else {
        say(message, "is none of ac, battery:PERCENT, critical, unknown");
        return false;
    }
    return true;
}

} // namespace

SimConfig sim_default_config()
{
    SimConfig c;
    c.card_count = 2;
    c.cards[0] = {CARD_MODEL_PCI, 9};
    c.cards[1] = {CARD_MODEL_CARDBUS, 10};
    return c;
}

bool sim_parse_int32(const char* text, std::size_t length, std::int32_t* value)
{
    std::int32_t v = 0;
    const std::from_chars_result r = std::from_chars(text, text + length, v);
    if (r.ec != std::errc{} || r.ptr != text + length) {
        return false;
    }
    *value = v;
    return true;
}

SimEnvironment sim_environment()
{
    SimEnvironment env;
    for (const SimVariable& v : SIM_VARIABLES) {
        env.*v.value = std::getenv(v.name);
    }
    return env;
}

bool sim_parse_environment(const SimEnvironment& env, SimConfig* config, SimMessage* message)
{
    SimConfig c = sim_default_config();
    c.real_sleep = true;
    for (const SimVariable& v : SIM_VARIABLES) {
        if (env.*v.value != nullptr && *(env.*v.value) == '\0') {
            say(message, "set but empty (unset it for the default)");
            return refuse(message, v.name, env.*v.value);
        }
    }
    if (env.cards && !parse_cards(env.cards, &c, message)) {
        return false;
    }
    // Before the faults, which name cards of the file.
    if (env.state && !sim_state_open(env.state, true, &c, message)) {
        return refuse(message, SIM_VAR_STATE.name, env.state);
    }
    if (env.driver) {
        const std::string_view driver = env.driver;
        if (driver != "nt" && driver != "9x" && driver != "none") {
            say(message, "is none of nt, 9x, none");
            return refuse(message, SIM_VAR_DRIVER.name, env.driver);
        }
        c.family = driver == "9x" ? DriverFamily::Win9x : DriverFamily::Nt;
        c.driver_present = driver != "none";
    }
    if (env.count) {
        if (!sim_parse_int32(env.count, std::strlen(env.count), &c.reported_count)) {
            say(message, "is not a signed 32-bit number");
            return refuse(message, SIM_VAR_COUNT.name, env.count);
        }
        c.override_count = true;
    }
    if (env.clock) {
        const std::string_view clock = env.clock;
        if (clock != "real" && clock != "virtual") {
            say(message, "is neither real nor virtual");
            return refuse(message, SIM_VAR_CLOCK.name, env.clock);
        }
        c.real_sleep = clock == "real";
    }
    if (env.faults && !parse_faults(env.faults, &c, message)) {
        return false;
    }
    if (env.power && !parse_power(env.power, &c.power, message)) {
        return refuse(message, SIM_VAR_POWER.name, env.power);
    }
    *config = c;
    return true;
}

std::string sim_model_keys(const char* prefix, const char* separator)
{
    std::string keys;
    for (const SCardModel& m : CARD_MODELS) {
        keys += (keys.empty() ? "" : separator) + std::string(prefix) + m.key;
    }
    return keys;
}
