#include "panel/family/FamilyState.h"

#include <pwd.h>

#include "lib/control/Client.h"
#include "lib/enforce/Allowance.h"
#include "lib/rtl/Convert.h"

namespace family {

std::string MemberState::PasswordText() const {
    return sealed ? "set up" : "no password yet";
}

std::string MemberState::BlockingText() const {
    return blocking ? "on" : "off";
}

std::string MemberState::NowText() const {
    const std::string now = blockedNow ? "blocked" : "allowed";
    return until.empty() ? now : now + " " + until;
}

std::string MemberState::TodayText() const {
    const std::string used = enforce::HoursMinutes(usedSeconds);
    return allowedMinutes < 0 ? "no limit: " + used
                              : used + " of " + enforce::HoursMinutes(allowedMinutes * 60LL);
}

std::string MemberState::LastAlert(const std::string& today) const {
    if (alerts.empty()) return {};
    const std::string& last = alerts.back();
    if (!today.empty() && last.size() > today.size() + 1 && last.rfind(today + " ", 0) == 0)
        return last.substr(today.size() + 1);
    return last;
}

std::optional<MemberState> ParseState(const std::string& account, const control::Fields& reply) {
    // ok sealed|unsealed on|off allowed|blocked UNTIL STOPPED USED/ALLOWED ALERT...
    // (USED: seconds today; ALLOWED: minutes today, "-" for no limit)
    if (reply.size() < 7 || reply[0] != "ok") return std::nullopt;
    MemberState s;
    s.account = account;
    if (reply[1] != "sealed" && reply[1] != "unsealed") return std::nullopt;
    if (reply[2] != "on" && reply[2] != "off") return std::nullopt;
    if (reply[3] != "allowed" && reply[3] != "blocked") return std::nullopt;
    auto stopped = rtl::TryStrToInt(reply[5]);
    if (!stopped || *stopped < 0) return std::nullopt;
    s.sealed = reply[1] == "sealed";
    s.blocking = reply[2] == "on";
    s.blockedNow = reply[3] == "blocked";
    s.until = reply[4];
    s.stoppedToday = *stopped;
    const std::string& today = reply[6];
    const auto slash = today.find('/');
    if (slash == std::string::npos) return std::nullopt;
    auto used = rtl::TryStrToInt(today.substr(0, slash));
    const std::string allowed = today.substr(slash + 1);
    auto minutes = allowed == "-" ? std::optional<int>(-1) : rtl::TryStrToInt(allowed);
    if (!used || *used < 0 || !minutes || *minutes < -1) return std::nullopt;
    s.usedSeconds = *used;
    s.allowedMinutes = *minutes;
    s.alerts.assign(reply.begin() + 7, reply.end());
    return s;
}

std::optional<std::vector<MemberState>> ParseFamily(const control::Fields& reply) {
    if (reply.empty() || reply[0] != "ok") return std::nullopt;
    std::vector<MemberState> members;
    for (std::size_t i = 1; i < reply.size(); ++i) {
        const control::Parsed line = control::Parse(reply[i] + "\n");
        if (line.status != control::Parsed::Ok || line.fields.size() < 2) return std::nullopt;
        control::Fields state{"ok"};
        state.insert(state.end(), line.fields.begin() + 1, line.fields.end());
        auto member = ParseState(line.fields[0], state);
        if (!member) return std::nullopt;
        members.push_back(std::move(*member));
    }
    return members;
}

std::string FullNameOf(const std::string& account) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwnam_r(account.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        !found || !found->pw_gecos)
        return {};
    std::string name = found->pw_gecos;
    name = name.substr(0, name.find(','));
    // Shown as plain text, on one line.
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return name == account ? std::string() : name;
}

std::string ShownName(const std::string& account) {
    const std::string full = FullNameOf(account);
    return full.empty() ? account : account + " (" + full + ")";
}

std::string Request::Text() const {
    std::string text = minutes == "hour" ? "asks for the rest of this hour"
                                         : "asks for " + minutes + " more minutes";
    text.append(" (").append(at).append(")");
    if (!reason.empty() && reason != "-") text.append(": ").append(reason);
    return text;
}

std::optional<std::vector<std::pair<std::string, Request>>> ParseAsks(
    const control::Fields& reply) {
    if (reply.empty() || reply[0] != "ok") return std::nullopt;
    std::vector<std::pair<std::string, Request>> asks;
    for (std::size_t i = 1; i < reply.size(); ++i) {
        const control::Parsed line = control::Parse(reply[i] + "\n");
        if (line.status != control::Parsed::Ok || line.fields.size() != 4) return std::nullopt;
        asks.emplace_back(line.fields[0], Request{line.fields[1], line.fields[2], line.fields[3]});
    }
    return asks;
}

std::vector<MemberState> AskFamily(std::string* why) {
    const control::Reply reply = control::Ask({"family-states"}, 5000);
    if (!reply.ok()) {
        if (why) *why = reply.Text();
        return {};
    }
    auto members = ParseFamily(reply.fields);
    if (!members) {
        if (why) *why = "its answer could not be read";
        return {};
    }
    // The open requests: the list stands without them when they cannot be read.
    if (const auto asks = ParseAsks(control::Ask({"asks"}, 5000).fields))
        for (const auto& [account, request] : *asks)
            for (MemberState& m : *members)
                if (m.account == account) m.request = request;
    return std::move(*members);
}

}  // namespace family
