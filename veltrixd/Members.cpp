#include "veltrixd/Members.h"

#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace veltrixd {
namespace {

// getpwnam_r and getgrnam_r with a buffer that grows as they ask.
template <class Entry, class Lookup>
std::optional<Entry> LookUp(Lookup lookup, std::vector<char>& buffer) {
    buffer.resize(4096);
    for (;;) {
        Entry entry{};
        Entry* found = nullptr;
        const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 22)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || !found) return std::nullopt;
        return entry;
    }
}

}  // namespace

std::optional<Account> AccountOf(uid_t uid) {
    std::vector<char> buffer;
    auto pw = LookUp<passwd>([uid](passwd* e, char* b, std::size_t n,
                                   passwd** r) { return getpwuid_r(uid, e, b, n, r); },
                             buffer);
    if (!pw) return std::nullopt;
    return Account{pw->pw_uid, pw->pw_name};
}

std::optional<Account> AccountNamed(const std::string& name) {
    std::vector<char> buffer;
    auto pw = LookUp<passwd>([&name](passwd* e, char* b, std::size_t n,
                                     passwd** r) { return getpwnam_r(name.c_str(), e, b, n, r); },
                             buffer);
    if (!pw) return std::nullopt;
    return Account{pw->pw_uid, pw->pw_name};
}

bool IsMemberOf(const Account& account, const std::string& group) {
    std::vector<char> groupBuffer, userBuffer;
    auto gr = LookUp<struct group>(
        [&group](struct group* e, char* b, std::size_t n, struct group** r) {
            return getgrnam_r(group.c_str(), e, b, n, r);
        },
        groupBuffer);
    auto pw = LookUp<passwd>([&account](passwd* e, char* b, std::size_t n,
                                        passwd** r) { return getpwuid_r(account.uid, e, b, n, r); },
                             userBuffer);
    if (!gr || !pw) return false;
    if (pw->pw_gid == gr->gr_gid) return true;
    std::vector<gid_t> groups(64);
    for (;;) {
        int count = static_cast<int>(groups.size());
        if (getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) >= 0) {
            groups.resize(static_cast<std::size_t>(count));
            break;
        }
        if (count <= static_cast<int>(groups.size())) return false;
        groups.resize(static_cast<std::size_t>(count));
    }
    return std::find(groups.begin(), groups.end(), gr->gr_gid) != groups.end();
}

std::vector<Account> MembersOf(const std::string& group) {
    std::vector<Account> members;
    std::vector<char> buffer;
    auto gr = LookUp<struct group>(
        [&group](struct group* e, char* b, std::size_t n, struct group** r) {
            return getgrnam_r(group.c_str(), e, b, n, r);
        },
        buffer);
    if (!gr) return members;
    const gid_t gid = gr->gr_gid;
    for (char** name = gr->gr_mem; name && *name; ++name)
        if (auto account = AccountNamed(*name)) members.push_back(*account);
    // Accounts whose primary group it is. getpwent is not thread-safe; the service has one thread.
    setpwent();
    while (passwd* pw = getpwent())
        if (pw->pw_gid == gid) members.push_back(Account{pw->pw_uid, pw->pw_name});
    endpwent();
    std::sort(members.begin(), members.end(),
              [](const Account& a, const Account& b) { return a.uid < b.uid; });
    members.erase(std::unique(members.begin(), members.end(),
                              [](const Account& a, const Account& b) { return a.uid == b.uid; }),
                  members.end());
    return members;
}

namespace {

// Each valid line of /etc/subuid's text: its owner (a name or a uid) and range. Never a range
// with root in it, nor one past the last uid.
template <class Visit>
void ForEachSubordinateRange(const std::string& subuid, Visit visit) {
    for (std::size_t at = 0; at < subuid.size();) {
        std::size_t end = subuid.find('\n', at);
        if (end == std::string::npos) end = subuid.size();
        const std::string line = subuid.substr(at, end - at);
        at = end + 1;
        const std::size_t a = line.find(':');
        const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos || a == 0) continue;
        char* stop = nullptr;
        const unsigned long long first = std::strtoull(line.c_str() + a + 1, &stop, 10);
        if (stop != line.c_str() + b) continue;
        const unsigned long long count = std::strtoull(line.c_str() + b + 1, &stop, 10);
        if (*stop != '\0' || count == 0 || first == 0 || first + count - 1 >= 0xffffffffULL)
            continue;
        if (visit(line.substr(0, a),
                  UidRange{static_cast<uid_t>(first), static_cast<uid_t>(first + count - 1)}))
            return;
    }
}

}  // namespace

std::optional<uid_t> SubordinateOwner(const std::string& subuid, uid_t uid) {
    std::optional<uid_t> owner;
    ForEachSubordinateRange(subuid, [&](const std::string& who, const UidRange& r) {
        if (uid < r.first || uid > r.second) return false;
        if (auto account = AccountNamed(who)) {
            owner = account->uid;
        } else if (who.find_first_not_of("0123456789") == std::string::npos && who.size() < 11) {
            const unsigned long long number = std::strtoull(who.c_str(), nullptr, 10);
            if (number < 0xffffffffULL) owner = static_cast<uid_t>(number);
        }
        return owner.has_value();
    });
    return owner;
}

std::vector<UidRange> SubordinateRanges(const std::string& subuid, const std::string& name,
                                        uid_t uid) {
    std::vector<UidRange> ranges;
    const std::string byUid = std::to_string(uid);
    ForEachSubordinateRange(subuid, [&](const std::string& who, const UidRange& r) {
        if (who == name || who == byUid) ranges.push_back(r);
        return false;
    });
    return ranges;
}

}  // namespace veltrixd
