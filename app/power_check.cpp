// The battery rule before an update.
#include "app/power_check.h"

PowerRisk app_power_risk(int known, const OsPowerStatus& status)
{
    // Only a machine that says it runs on its battery is at risk: on mains, or with the
    // source unknown, nothing is asked.
    if (known == 0 || status.ac_line != OS_AC_OFFLINE) {
        return PowerRisk::None;
    }
    const bool percent_known = status.battery_percent <= 100;
    if (percent_known && status.battery_percent < LOW_BATTERY_PERCENT) {
        return PowerRisk::LowBattery;
    }
    const bool flags_known = status.battery_flag != OS_POWER_UNKNOWN;
    if (flags_known && (status.battery_flag & OS_BATTERY_CRITICAL) != 0) {
        return percent_known ? PowerRisk::LowBattery : PowerRisk::CriticalBattery;
    }
    return PowerRisk::None;
}
