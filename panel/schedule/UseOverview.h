// What the "Use" window shows of a child's record of use: the last 7 days hour by hour beside
// the hours the schedule blocks, the daily totals of the last 4 weeks against each day's
// allowance, and today's programs, longest first. Made from the record's text and the child's
// settings; no widgets.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "lib/enforce/Allowance.h"
#include "lib/enforce/Settings.h"

namespace schedule {

inline constexpr int kUseDays = 7;     // rows of the grid
inline constexpr int kTotalDays = 28;  // bars of the totals

struct UseDay {
    std::string date;  // "YYYY-MM-DD"
    int weekday = 0;   // 0 = Sunday
    std::array<int, 24> seconds{};
    std::array<bool, 24> blocked{};   // by the schedule
    int total = 0;                    // seconds
    int allowed = enforce::kNoLimit;  // minutes, the weekday's allowance now
};

struct UseOverview {
    std::string today;
    std::vector<UseDay> week;                           // kUseDays, oldest first, today last
    std::vector<UseDay> totals;                         // kTotalDays, oldest first, today last
    std::vector<std::pair<std::string, int>> programs;  // today's, seconds, longest first
};

// `today`: "YYYY-MM-DD"; an overview without days when it is no date.
UseOverview MakeOverview(const std::string& today, const enforce::UseRecord& record,
                         const enforce::GuardSettings& schedule,
                         const enforce::Allowance& allowance);

}  // namespace schedule
