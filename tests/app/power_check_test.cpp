// The battery rule before an update: when the tool asks, and what it asks about.
#include <gtest/gtest.h>

#include "app/power_check.h"

namespace {

TEST(PowerCheck, AsksOnlyOnBatteryBelowAQuarterOrWhenCritical)
{
    constexpr std::uint8_t U = OS_POWER_UNKNOWN;
    struct Case {
        const char* what;
        int known;
        OsPowerStatus status;
        PowerRisk risk;
    };
    const Case cases[] = {
        {"mains, full", 1, {OS_AC_ONLINE, OS_BATTERY_HIGH, 100}, PowerRisk::None},
        {"mains, charging an empty battery", 1, {OS_AC_ONLINE, OS_BATTERY_CRITICAL | OS_BATTERY_CHARGING, 3},
         PowerRisk::None},
        {"battery 80 %", 1, {OS_AC_OFFLINE, OS_BATTERY_HIGH, 80}, PowerRisk::None},
        {"battery 25 %", 1, {OS_AC_OFFLINE, OS_BATTERY_LOW, 25}, PowerRisk::None},
        {"battery 24 %", 1, {OS_AC_OFFLINE, OS_BATTERY_LOW, 24}, PowerRisk::LowBattery},
        {"battery 0 %", 1, {OS_AC_OFFLINE, OS_BATTERY_CRITICAL, 0}, PowerRisk::LowBattery},
        {"battery critical at 40 %", 1, {OS_AC_OFFLINE, OS_BATTERY_CRITICAL, 40}, PowerRisk::LowBattery},
        {"battery critical, percent unknown", 1, {OS_AC_OFFLINE, OS_BATTERY_CRITICAL, U}, PowerRisk::CriticalBattery},
        {"battery, nothing else known", 1, {OS_AC_OFFLINE, U, U}, PowerRisk::None},
        {"source unknown, charge low", 1, {U, OS_BATTERY_LOW, 10}, PowerRisk::None},
        {"no battery", 1, {OS_AC_ONLINE, OS_NO_BATTERY, U}, PowerRisk::None},
        {"everything unknown", 1, {U, U, U}, PowerRisk::None},
        {"the system lacks the call", 0, {OS_AC_OFFLINE, OS_BATTERY_CRITICAL, 1}, PowerRisk::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app_power_risk(c.known, c.status), c.risk) << c.what;
    }
}

} // namespace
