// The MOLA_SIM_* parser: what a good environment configures, and the message of every
// malformed value.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "sim/sim_config.h"

namespace {

struct Parsed {
    bool ok;
    SimConfig config;
    std::string message;
};

Parsed parse(const SimEnvironment& env)
{
    Parsed p{};
    SimMessage message{};
    p.ok = sim_parse_environment(env, &p.config, &message);
    p.message = message.text;
    return p;
}

SimEnvironment env_cards(const char* cards, const char* faults = nullptr, const char* driver = nullptr)
{
    SimEnvironment e;
    e.cards = cards;
    e.faults = faults;
    e.driver = driver;
    return e;
}

TEST(SimConfig, NothingSetIsTwoCardsOnNtInRealTime)
{
    const Parsed p = parse({});
    ASSERT_TRUE(p.ok) << p.message;
    EXPECT_EQ(p.config.card_count, 2);
    EXPECT_EQ(p.config.cards[0].model, CARD_MODEL_PCI);
    EXPECT_EQ(p.config.cards[0].revision, 9);
    EXPECT_EQ(p.config.cards[1].model, CARD_MODEL_CARDBUS);
    EXPECT_EQ(p.config.cards[1].revision, 10);
    EXPECT_EQ(p.config.family, DriverFamily::Nt);
    EXPECT_TRUE(p.config.driver_present);
    EXPECT_FALSE(p.config.override_count);
    EXPECT_TRUE(p.config.real_sleep);
}

TEST(SimConfig, ReadsEveryVariable)
{
    SimEnvironment e;
    e.cards = "cardbus:-3,pci:2147483647,pci:-2147483648";
    e.driver = "9x";
    e.count = "-1";
    e.clock = "virtual";
    e.faults = "vanish@2,map-fails@1,vxd-count-fails";
    const Parsed p = parse(e);
    ASSERT_TRUE(p.ok) << p.message;
    ASSERT_EQ(p.config.card_count, 3);
    EXPECT_EQ(p.config.cards[0].model, CARD_MODEL_CARDBUS);
    EXPECT_EQ(p.config.cards[0].revision, -3);
    EXPECT_EQ(p.config.cards[1].revision, 2147483647);
    EXPECT_EQ(p.config.cards[2].revision, -2147483647 - 1);
    EXPECT_EQ(p.config.family, DriverFamily::Win9x);
    EXPECT_TRUE(p.config.override_count);
    EXPECT_EQ(p.config.reported_count, -1);
    EXPECT_FALSE(p.config.real_sleep);
    EXPECT_EQ(p.config.cards[2].card_faults, SIM_CARD_VANISH);
    EXPECT_EQ(p.config.cards[0].card_faults, 0u);
    EXPECT_EQ(p.config.cards[1].driver_faults, SIM_FAULT_MAP_FAILS | SIM_FAULT_VXD_COUNT_FAILS);
    EXPECT_EQ(p.config.cards[0].driver_faults, SIM_FAULT_VXD_COUNT_FAILS);
    EXPECT_EQ(p.config.driver_faults, SIM_FAULT_VXD_COUNT_FAILS);
}

TEST(SimConfig, EveryMalformedValueIsRefusedWithAMessage)
{
    struct Case {
        SimEnvironment env;
        const char* message;
    };
    SimEnvironment count_big;
    count_big.count = "99999999999";
    SimEnvironment count_list;
    count_list.count = "5,6";
    SimEnvironment count_empty;
    count_empty.count = "";
    SimEnvironment count_plus;
    count_plus.count = "+3";
    SimEnvironment driver_bad;
    driver_bad.driver = "NT";
    SimEnvironment clock_bad;
    clock_bad.clock = "fast";
    SimEnvironment faults_empty;
    faults_empty.faults = "";
    const Case cases[] = {
        {env_cards("pci:99999999999"), "MOLA_SIM_CARDS=pci:99999999999: revision \"99999999999\" is not a signed 32-bit number"},
        {env_cards("pci:2147483648"), "MOLA_SIM_CARDS=pci:2147483648: revision \"2147483648\" is not a signed 32-bit number"},
        {count_big, "MOLA_SIM_COUNT=99999999999: is not a signed 32-bit number"},
        {count_list, "MOLA_SIM_COUNT=5,6: is not a signed 32-bit number"},
        {count_plus, "MOLA_SIM_COUNT=+3: is not a signed 32-bit number"},
        {count_empty, "MOLA_SIM_COUNT=: set but empty (unset it for the default)"},
        {env_cards("pci:9@3"), "MOLA_SIM_CARDS=pci:9@3: revision \"9@3\" is not a signed 32-bit number"},
        {env_cards("pci:9@garbage,cardbus:1"),
         "MOLA_SIM_CARDS=pci:9@garbage,cardbus:1: revision \"9@garbage\" is not a signed 32-bit number"},
        {env_cards(""), "MOLA_SIM_CARDS=: set but empty (unset it for the default)"},
        {env_cards("pci:9,"), "MOLA_SIM_CARDS=pci:9,: \"\" is not MODEL:REVISION"},
        {env_cards("pci"), "MOLA_SIM_CARDS=pci: \"pci\" is not MODEL:REVISION"},
        {env_cards("pci:"), "MOLA_SIM_CARDS=pci:: revision \"\" is not a signed 32-bit number"},
        {env_cards("isa:9"), "MOLA_SIM_CARDS=isa:9: no card model \"isa\" (there are pci, cardbus)"},
        {env_cards("pci:1,pci:1,pci:1,pci:1,pci:1,pci:1,pci:1,pci:1,pci:1"),
         "MOLA_SIM_CARDS=pci:1,pci:1,pci:1,pci:1,pci:1,pci:1,pci:1,pci:1,pci:1: more than 8 cards"},
        {env_cards(nullptr, "vanish@1@0"),
         "MOLA_SIM_FAULTS=vanish@1@0: card index \"1@0\" in \"vanish@1@0\" is not a card number"},
        {env_cards(nullptr, "vanish@7"), "MOLA_SIM_FAULTS=vanish@7: vanish@7: there is no card 7 (cards 0 to 1)"},
        {env_cards(nullptr, "vanish@-1"),
         "MOLA_SIM_FAULTS=vanish@-1: card index \"-1\" in \"vanish@-1\" is not a card number"},
        {env_cards(nullptr, "vanish@"), "MOLA_SIM_FAULTS=vanish@: card index \"\" in \"vanish@\" is not a card number"},
        {faults_empty, "MOLA_SIM_FAULTS=: set but empty (unset it for the default)"},
        {env_cards(nullptr, "vanish,"),
         "MOLA_SIM_FAULTS=vanish,: no fault \"\" (there are device-missing, card-info-fails, wrong-magic, "
         "short-card-info, map-fails, map-address-zero, unmap-fails, vxd-count-fails, vxd-card-fails, "
         "vxd-card-address-zero, tdo-stuck-0, tdo-stuck-1, flash-bit-stuck, other-model, buffers-disabled, vanish)"},
        {env_cards(nullptr, "vxd-count-fails@0", "9x"),
         "MOLA_SIM_FAULTS=vxd-count-fails@0: vxd-count-fails@0: on the 9x driver the virtual device serves every "
         "card; give it without @K"},
        {env_cards(nullptr, "device-missing@0", "9x"),
         "MOLA_SIM_FAULTS=device-missing@0: device-missing@0: on the 9x driver the virtual device serves every "
         "card; give it without @K"},
        {env_cards(nullptr, "vxd-count-fails"),
         "MOLA_SIM_FAULTS=vxd-count-fails: vxd-count-fails: the NT driver has no such request "
         "(MOLA_SIM_DRIVER=9x has it)"},
        {env_cards(nullptr, "card-info-fails@1", "9x"),
         "MOLA_SIM_FAULTS=card-info-fails@1: card-info-fails@1: the 9x driver has no such request "
         "(MOLA_SIM_DRIVER=nt has it)"},
        {env_cards(nullptr, "map-fails", "none"),
         "MOLA_SIM_FAULTS=map-fails: map-fails: a driver fault needs a driver (MOLA_SIM_DRIVER is none)"},
        {driver_bad, "MOLA_SIM_DRIVER=NT: is none of nt, 9x, none"},
        {clock_bad, "MOLA_SIM_CLOCK=fast: is neither real nor virtual"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.env);
        EXPECT_FALSE(p.ok) << c.message;
        EXPECT_EQ(p.message, c.message);
    }
}

TEST(SimConfig, FaultsThatApplyOnTheirFamilyAndCard)
{
    // Faults of requests that name a card may be given per card on 9x; card faults anywhere.
    for (const char* faults : {"vxd-card-fails@1", "vxd-card-address-zero@0", "map-fails@1", "map-address-zero@0",
                               "device-missing", "vxd-count-fails", "tdo-stuck-1@1"}) {
        const Parsed p = parse(env_cards(nullptr, faults, "9x"));
        EXPECT_TRUE(p.ok) << faults << ": " << p.message;
    }
    for (const char* faults : {"device-missing@1", "card-info-fails@0", "wrong-magic", "short-card-info@1",
                               "unmap-fails", "map-fails@0", "vanish@1"}) {
        const Parsed p = parse(env_cards(nullptr, faults));
        EXPECT_TRUE(p.ok) << faults << ": " << p.message;
    }
    const Parsed none = parse(env_cards(nullptr, "vanish", "none"));
    EXPECT_TRUE(none.ok) << none.message;
}

TEST(SimConfig, NumbersAreExactly32BitDecimals)
{
    std::int32_t v = 7;
    for (const char* bad : {"", "-", "+1", " 1", "1 ", "0x10", "2147483648", "-2147483649", "1e3", "12a"}) {
        EXPECT_FALSE(sim_parse_int32(bad, std::strlen(bad), &v)) << bad;
    }
    EXPECT_EQ(v, 7);
    ASSERT_TRUE(sim_parse_int32("-2147483648", 11, &v));
    EXPECT_EQ(v, -2147483647 - 1);
    ASSERT_TRUE(sim_parse_int32("0042", 4, &v));
    EXPECT_EQ(v, 42);
}

// MOLA_SIM_POWER: the status the system would report for each value, and the refusals.
TEST(SimConfig, PowerValues)
{
    struct Good {
        const char* value;
        OsPowerStatus power;
    };
    const Good good[] = {
        {nullptr, {OS_AC_ONLINE, OS_BATTERY_HIGH, 100}},
        {"ac", {OS_AC_ONLINE, OS_BATTERY_HIGH, 100}},
        {"battery:100", {OS_AC_OFFLINE, OS_BATTERY_HIGH, 100}},
        {"battery:33", {OS_AC_OFFLINE, OS_BATTERY_HIGH, 33}},
        {"battery:32", {OS_AC_OFFLINE, OS_BATTERY_LOW, 32}},
        {"battery:5", {OS_AC_OFFLINE, OS_BATTERY_LOW, 5}},
        {"battery:4", {OS_AC_OFFLINE, OS_BATTERY_CRITICAL, 4}},
        {"battery:0", {OS_AC_OFFLINE, OS_BATTERY_CRITICAL, 0}},
        {"critical", {OS_AC_OFFLINE, OS_BATTERY_CRITICAL, OS_POWER_UNKNOWN}},
        {"unknown", {OS_POWER_UNKNOWN, OS_POWER_UNKNOWN, OS_POWER_UNKNOWN}},
    };
    for (const Good& g : good) {
        SimEnvironment env;
        env.power = g.value;
        const Parsed p = parse(env);
        ASSERT_TRUE(p.ok) << (g.value ? g.value : "unset") << ": " << p.message;
        EXPECT_EQ(p.config.power.ac_line, g.power.ac_line) << g.value;
        EXPECT_EQ(p.config.power.battery_flag, g.power.battery_flag) << g.value;
        EXPECT_EQ(p.config.power.battery_percent, g.power.battery_percent) << g.value;
    }
    const char* const bad[][2] = {
        {"", "MOLA_SIM_POWER=: set but empty (unset it for the default)"},
        {"AC", "MOLA_SIM_POWER=AC: is none of ac, battery:PERCENT, critical, unknown"},
        {"battery", "MOLA_SIM_POWER=battery: is none of ac, battery:PERCENT, critical, unknown"},
        {"battery:", "MOLA_SIM_POWER=battery:: battery charge \"\" is not a percent from 0 to 100"},
        {"battery:101", "MOLA_SIM_POWER=battery:101: battery charge \"101\" is not a percent from 0 to 100"},
        {"battery:-1", "MOLA_SIM_POWER=battery:-1: battery charge \"-1\" is not a percent from 0 to 100"},
        {"battery:10%", "MOLA_SIM_POWER=battery:10%: battery charge \"10%\" is not a percent from 0 to 100"},
        {"ac,critical", "MOLA_SIM_POWER=ac,critical: is none of ac, battery:PERCENT, critical, unknown"},
    };
    for (const auto& [value, message] : bad) {
        SimEnvironment env;
        env.power = value;
        const Parsed p = parse(env);
        EXPECT_FALSE(p.ok) << value;
        EXPECT_EQ(p.message, message);
    }
}

} // namespace
