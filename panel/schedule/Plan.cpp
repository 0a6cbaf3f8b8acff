#include "panel/schedule/Plan.h"

#include <map>
#include <string>

#include "lib/store/ValueNames.h"
#include "panel/settings/Settings.h"

namespace schedule {

void ReadPlan(enforce::GuardSettings& schedule, enforce::Allowance& allowance) {
    std::map<std::string, std::string> values;
    settings::With([&](settings::Values& reg) {
        for (int n = 1; n <= store::kHourFlags; ++n)
            values[store::HourFlagName(n)] = reg.ReadString(store::HourFlagName(n));
        for (int day = 0; day < 7; ++day)
            values[store::MinutesADayName(day)] = reg.ReadString(store::MinutesADayName(day));
        values[store::kNeedJob] = reg.ReadString(store::kNeedJob);
    });
    schedule = enforce::InterpretSettings([&](const std::string& name) {
                   const auto it = values.find(name);
                   return it == values.end() || it->second.empty()
                              ? enforce::StoreValue{}
                              : enforce::StoreValue{enforce::StoreValue::Text, it->second};
               }).settings;
    if (!schedule.blocking) schedule.blocked.fill(false);
    allowance = enforce::Allowance::FromValues(values);
}

}  // namespace schedule
