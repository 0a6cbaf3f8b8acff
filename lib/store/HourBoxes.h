// The numbering of the 168 hour boxes, shared by the panel's grid and the guard program: which
// day and hour the value "CheckBox<n>Check" stands for.
//
// The boxes are numbered panel by panel, GroupBox2 (Tuesday) holding 1..24, GroupBox3 (Sunday)
// 25..48, then Monday, Wednesday, Thursday, Friday and Saturday. Within a panel, position k
// (0..23) runs down the morning column from midnight to 4 AM, then 9 AM back up to 5 AM, then
// 10 and 11 AM, then up the afternoon column from 11 PM to noon.
#pragma once

#include <array>

namespace store {

// Group box of each weekday, Sunday (0) .. Saturday (6), as tm_wday counts them.
inline constexpr std::array<int, 7> kPanelOfDay = {3, 4, 2, 5, 6, 7, 8};

// First box number of group box g (2..8).
constexpr int FirstBoxOfPanel(int groupBox) {
    return (groupBox - 2) * 24 + 1;
}

// Hour of the day (0..23) of position k (0..23) within a panel.
constexpr int HourOfPosition(int k) {
    constexpr std::array<int, 12> morning = {0, 1, 2, 3, 4, 9, 8, 7, 6, 5, 10, 11};
    return k < 12 ? morning[static_cast<std::size_t>(k)] : 35 - k;
}

// Position (0..23) of an hour of the day within a panel.
constexpr int PositionOfHour(int hour) {
    for (int k = 0; k < 24; ++k)
        if (HourOfPosition(k) == hour) return k;
    return -1;
}

// Box number (1..168) of an hour (0..23) of a weekday (0 = Sunday .. 6 = Saturday).
constexpr int HourBox(int weekday, int hour) {
    return FirstBoxOfPanel(kPanelOfDay[static_cast<std::size_t>(weekday)]) + PositionOfHour(hour);
}

static_assert(HourBox(2, 5) == 10, "Tuesday 5 AM is box 10");
static_assert(HourBox(0, 0) == 25, "Sunday midnight is box 25");
static_assert(HourBox(2, 12) == 24, "Tuesday noon is box 24");

}  // namespace store
