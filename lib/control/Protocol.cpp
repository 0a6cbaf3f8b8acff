#include "lib/control/Protocol.h"

#include <cstring>

#include <cstdlib>

#include "lib/store/ValueNames.h"

namespace control {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool NeedsEscape(unsigned char c) {
    return c < 0x20 || c == 0x7f || c == '%';
}

}  // namespace

std::string Encode(const Fields& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) line += '\t';
        for (unsigned char c : fields[i]) {
            if (NeedsEscape(c)) {
                line += '%';
                line += kHex[c >> 4];
                line += kHex[c & 15];
            } else {
                line += static_cast<char>(c);
            }
        }
    }
    line += '\n';
    return line;
}

Parsed Parse(std::string_view buffer) {
    Parsed p;
    const std::size_t end = buffer.find('\n');
    if (end == std::string_view::npos) {
        if (buffer.size() >= kMaxLine) {
            p.status = Parsed::Malformed;
            p.error = "the request is too long";
        }
        return p;
    }
    auto malformed = [&p](const char* why) {
        p.status = Parsed::Malformed;
        p.fields.clear();
        p.error = why;
        return p;
    };
    p.consumed = end + 1;
    if (end + 1 > kMaxLine) return malformed("the request is too long");
    std::string_view line = buffer.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    p.fields.emplace_back();
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            if (p.fields.size() == kMaxFields) return malformed("the request has too many fields");
            p.fields.emplace_back();
        } else if (c == '%') {
            if (i + 2 >= line.size()) return malformed("the request has a bad escape");
            const int hi = HexValue(line[i + 1]), lo = HexValue(line[i + 2]);
            if (hi < 0 || lo < 0 || (hi == 0 && lo == 0))
                return malformed("the request has a bad escape");
            p.fields.back() += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (c == '\0') {
            return malformed("the request holds a NUL");
        } else {
            p.fields.back() += c;
        }
    }
    if (p.fields.front().empty()) return malformed("the request has no verb");
    p.status = Parsed::Ok;
    return p;
}

std::string SocketPath() {
#ifdef VELTRIX_TEST_SEAMS
    if (const char* path = std::getenv("VELTRIX_CONTROL_SOCKET"); path && *path) return path;
#endif
    return "/run/veltrix/control";
}

bool IsSealedName(std::string_view name) {
    if (name == store::kNeedJob || name == store::kNeedGuard || name == store::kInternetOff)
        return true;
    auto number = [](std::string_view digits, int max) {
        if (digits.empty() || digits.size() > 3 || digits[0] == '0') return false;
        int n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            n = n * 10 + (c - '0');
        }
        return n >= 1 && n <= max;
    };
    if (name.size() > 13 && name.substr(0, 8) == "CheckBox" &&
        name.substr(name.size() - 5) == "Check")
        return number(name.substr(8, name.size() - 13), store::kHourFlags);
    if (name.size() > 3 && name.substr(0, 3) == "App")
        return number(name.substr(3), store::kBlockedApps);
    for (int day = 0; day < 7; ++day)
        if (name == store::MinutesADayName(day)) return true;
    return false;
}

std::vector<std::string> SealedNames() {
    std::vector<std::string> names{store::kNeedJob, store::kNeedGuard, store::kInternetOff};
    for (int n = 1; n <= store::kHourFlags; ++n) names.push_back(store::HourFlagName(n));
    for (int n = 1; n <= store::kBlockedApps; ++n) names.push_back(store::AppName(n));
    for (int day = 0; day < 7; ++day) names.push_back(store::MinutesADayName(day));
    return names;
}

void Wipe(std::string& text) {
    if (!text.empty()) ::explicit_bzero(text.data(), text.size());
    text.clear();
}

}  // namespace control
