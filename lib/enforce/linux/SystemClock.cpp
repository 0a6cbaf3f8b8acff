#include "lib/enforce/linux/SystemClock.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <ctime>

namespace enforce {
namespace {

// The zone file and what it was when last read: a replaced file or a moved link is a new zone.
struct ZoneFile {
    std::string path = "/etc/localtime";
    struct Stamp {
        dev_t dev = 0;
        ino_t ino = 0;
        std::int64_t mtimeSec = 0, mtimeNsec = 0;
        std::string target;  // where the link points
        bool operator==(const Stamp&) const = default;
    } stamp;
    std::string name;
};

ZoneFile& Current() {
    static ZoneFile zone;
    return zone;
}

ZoneFile::Stamp StampOf(const std::string& path) {
    ZoneFile::Stamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.mtimeSec = st.st_mtim.tv_sec;
        s.mtimeNsec = st.st_mtim.tv_nsec;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n > 0) s.target.assign(target, static_cast<std::size_t>(n));
    return s;
}

// "Europe/Berlin" for a link into the zone database, else the zone's abbreviation now ("CET").
std::string NameOf(const ZoneFile::Stamp& s) {
    static const std::string kDatabase = "zoneinfo/";
    if (const auto at = s.target.rfind(kDatabase); at != std::string::npos)
        return s.target.substr(at + kDatabase.size());
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return tm.tm_zone ? tm.tm_zone : "";
}

// glibc reads the zone file again only when TZ changes: change it, and back.
void ReadZone(ZoneFile& zone) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    ::setenv("TZ", (":" + zone.path).c_str(), 1);
    ::tzset();
    zone.stamp = StampOf(zone.path);
    zone.name = NameOf(zone.stamp);
}

}  // namespace

void SystemClock::UseSystemTimeZone(const std::string& zoneFile) {
    // A child can set TZ for the programs it starts; the system's zone is the one that counts.
    Current().path = zoneFile;
    ReadZone(Current());
}

std::string SystemClock::Zone() {
    ZoneFile& zone = Current();
    if (!(StampOf(zone.path) == zone.stamp)) ReadZone(zone);
    return zone.name;
}

std::int64_t SystemClock::Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t SystemClock::Elapsed() {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

LocalTime SystemClock::Local(std::int64_t wall) {
    const std::time_t t = static_cast<std::time_t>(wall);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_wday,
            tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

}  // namespace enforce
