// What the guard makes of the values the panel leaves in the settings store.
//
//  - "NeedJobOrNot" "Yes": blocking on; "No", absent or anything else: off.
//  - "NeedGuardOrNot" "Yes": a watcher restarts a killed guard; anything else: no watcher.
//  - "CheckBox<n>Check": "0" (unticked) blocks hour box n; "1", absent, or any other text allows
//  it,
//    as the panel shows such a box ticked; a value of another type, or one that cannot be read,
//    blocks it (the parent cannot have meant it, and failing open would let anything through).
//  - "App1".."App9": the applications to stop; empty entries are ignored.
// Values that are present but odd are reported once each as problems, in plain words.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace enforce {

// One value as the store holds it.
struct StoreValue {
    enum State { Absent, Text, OtherType, Unreadable } state = Absent;
    std::string text;
};
using ValueReader = std::function<StoreValue(const std::string& name)>;

struct GuardSettings {
    bool blocking = false;
    bool protect = false;
    std::array<bool, 168> blocked{};  // [n - 1]: hour box n blocks
    std::vector<std::string> apps;    // non-empty entries, as typed

    bool operator==(const GuardSettings&) const = default;
};

struct SettingsRead {
    GuardSettings settings;
    std::vector<std::string> problems;  // "CheckBox7Check is not a text: that hour is blocked"
};

// Reads every value the guard follows through `read`.
SettingsRead InterpretSettings(const ValueReader& read);

// "05:00-06:00, 13:00-15:00", or "none": the blocked hours of `weekday` (0 = Sunday).
std::string BlockedHoursOf(const GuardSettings& s, int weekday);

// One line for the log: blocking on or off, today's blocked hours, the applications.
std::string DescribeSettings(const GuardSettings& s, int weekday);

}  // namespace enforce
