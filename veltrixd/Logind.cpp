#include "veltrixd/Logind.h"

#include <systemd/sd-bus.h>

#include <string>

namespace veltrixd {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kSession = "org.freedesktop.login1.Session";

struct Listed {
    uid_t uid = 0;
    std::string path;
    bool seated = false;
};

// A boolean property of a session; nullopt when it cannot be read.
std::optional<bool> Flag(sd_bus* bus, const std::string& path, const char* name) {
    sd_bus_error error{};  // SD_BUS_ERROR_NULL
    int value = 0;
    const int r = ::sd_bus_get_property_trivial(bus, kLogind, path.c_str(), kSession, name, &error,
                                                'b', &value);
    ::sd_bus_error_free(&error);
    if (r < 0) return std::nullopt;
    return value != 0;
}

}  // namespace

Logind::~Logind() {
    ::sd_bus_flush_close_unref(bus_);
}

bool Logind::Connect() {
    if (bus_) return true;
    sd_bus* bus = nullptr;
    // The system bus (DBUS_SYSTEM_BUS_ADDRESS where it is set, as for a test's private bus).
    if (::sd_bus_open_system(&bus) < 0) return false;
    ::sd_bus_set_method_call_timeout(bus, kLogindTimeoutUs);
    bus_ = bus;
    return true;
}

void Logind::Drop(std::int64_t nowMs) {
    bus_ = ::sd_bus_flush_close_unref(bus_);
    retryAtMs_ = nowMs + kLogindRetryMs;
}

std::optional<std::map<uid_t, std::vector<enforce::SessionState>>> Logind::Sessions(
    std::int64_t nowMs) {
    if (retryAtMs_ >= 0 && nowMs < retryAtMs_) return std::nullopt;
    retryAtMs_ = -1;
    if (!Connect()) {
        Drop(nowMs);
        return std::nullopt;
    }
    sd_bus_error error{};  // SD_BUS_ERROR_NULL
    sd_bus_message* reply = nullptr;
    int r =
        ::sd_bus_call_method(bus_, kLogind, "/org/freedesktop/login1",
                             "org.freedesktop.login1.Manager", "ListSessions", &error, &reply, "");
    ::sd_bus_error_free(&error);
    if (r < 0) {
        Drop(nowMs);
        return std::nullopt;
    }
    // a(susso): id, uid, user name, seat, object path
    std::vector<Listed> listed;
    r = ::sd_bus_message_enter_container(reply, 'a', "(susso)");
    while (r > 0) {
        const char *id = nullptr, *user = nullptr, *seat = nullptr, *path = nullptr;
        std::uint32_t uid = 0;
        r = ::sd_bus_message_read(reply, "(susso)", &id, &uid, &user, &seat, &path);
        if (r > 0) listed.push_back({static_cast<uid_t>(uid), path, seat && *seat});
    }
    ::sd_bus_message_unref(reply);
    if (r < 0) {
        Drop(nowMs);
        return std::nullopt;
    }
    std::map<uid_t, std::vector<enforce::SessionState>> sessions;
    for (const Listed& s : listed) {
        const auto active = Flag(bus_, s.path, "Active");
        const auto idle = Flag(bus_, s.path, "IdleHint");
        const auto locked = Flag(bus_, s.path, "LockedHint");
        // A session that ended meanwhile is left out; one whose state cannot be read is in use.
        if (!active && !idle && !locked) continue;
        sessions[s.uid].push_back(
            {active.value_or(true), idle.value_or(false), locked.value_or(false), s.seated});
    }
    return sessions;
}

}  // namespace veltrixd
