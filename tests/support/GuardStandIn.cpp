// A stand-in for the guard program in tests of the panel that run as root: it blocks nothing (a
// real guard run as root could stop processes the test did not start). Started as Sentrel.exe,
// it reads the values the panel leaves for the guard and appends one line to Block.log in its
// own directory, saying that it started and what it read, by the log's contract.
#include <unistd.h>

#include <climits>
#include <ctime>
#include <string>

#include "lib/platform/files/SharedLog.h"
#include "lib/store/SettingsStore.h"

namespace {

std::string ProgramDirectory() {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    std::string exe(path, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string Shown(const std::string& v) {
    return v.empty() ? "(none)" : v;
}

// What a switch value means to the guard: "Yes" on, "No" off, anything else not set.
std::string Switch(const char* what, const std::string& value) {
    if (value == "Yes") return std::string(what) + " on";
    if (value == "No") return std::string(what) + " off";
    return std::string(what) + " not set";
}

}  // namespace

int main() {
    const std::string dir = ProgramDirectory();
    std::string job, guard, apps;
    int ticked = 0, unticked = 0;
    std::string line = Now() + " Sentrel started";
    try {
        store::TRegistry reg;
        reg.RootKey(store::HKEY_CURRENT_USER);
        const bool opened = reg.OpenKeyReadOnly(store::kSettingsKey);
        if (opened) {
            job = reg.ReadString(store::kNeedJob);
            guard = reg.ReadString(store::kNeedGuard);
            for (int n = 1; n <= store::kHourFlags; ++n) {
                const std::string flag = reg.ReadString(store::HourFlagName(n));
                if (flag == "1") ++ticked;
                if (flag == "0") ++unticked;
            }
            for (int n = 1; n <= store::kBlockedApps; ++n) {
                const std::string app = reg.ReadString(store::AppName(n));
                if (!app.empty()) apps += (apps.empty() ? "" : ", ") + app;
            }
        }
        reg.CloseKey();
        if (!opened) {
            line += ": the settings store cannot be opened";
        } else {
            line += ": " + Switch("blocking", job) + " (NeedJobOrNot=" + Shown(job) + "), " +
                    Switch("guard", guard) + " (NeedGuardOrNot=" + Shown(guard) +
                    "), hours ticked=" + std::to_string(ticked) +
                    " unticked=" + std::to_string(unticked) +
                    ", blocked applications: " + Shown(apps);
        }
    } catch (const std::exception& e) {
        line += std::string(": cannot read the settings: ") + e.what();
    }
    return platform::AppendSharedLogLine(dir + "Block.log", line) ? 0 : 1;
}
