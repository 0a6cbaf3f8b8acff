// Key paths and value names of the settings store, shared with the guard program.
#pragma once

#include <string>

namespace store {

inline constexpr const char* kSettingsKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Quenmark\\Kestrune";
inline constexpr const char* kRunKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

inline constexpr const char* kVeltrixDir = "VeltrixDir";
inline constexpr const char* kLaunchCounter = "parametr1";
inline constexpr const char* kFormLeft = "form1lefta";
inline constexpr const char* kFormTop = "form1topa";
inline constexpr const char* kPassword = "EnterPassword";
inline constexpr const char* kNeedGuard = "NeedGuardOrNot";
inline constexpr const char* kNeedJob = "NeedJobOrNot";
// "No": the account keeps its network at blocked hours (the service stops programs alone);
// "Yes" or absent: the service cuts it.
inline constexpr const char* kInternetOff = "InternetOffOrNot";
// "EnterPassword" of an account whose password the system service holds: no hash of it stays
// where the account could read it (and try words against it offline).
inline constexpr const char* kPasswordWithService = "(kept by the Veltrix service)";
inline constexpr const char* kThisVersion = "thisversion";
inline constexpr const char* kAutostartValue = "Sentrel";
inline constexpr const char* kGuardExe = "Sentrel.exe";
inline constexpr int kHourFlags = 168;
inline constexpr int kBlockedApps = 9;

// "CheckBox<n>Check", n = 1 .. 168: the flag of hour box n.
inline std::string HourFlagName(int n) {
    return "CheckBox" + std::to_string(n) + "Check";
}
// "MinutesADay<w>", w = 0 (Sunday) .. 6: the minutes of governed use a day allows; absent: no
// limit.
inline std::string MinutesADayName(int weekday) {
    return "MinutesADay" + std::to_string(weekday);
}
inline constexpr int kMostMinutesADay = 1440;
// "App<n>", n = 1 .. 9.
inline std::string AppName(int n) {
    return "App" + std::to_string(n);
}

}  // namespace store
