// The accounts the service enforces for: the members of its group, by /etc/group's member list
// or as their primary group.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veltrixd {

struct Account {
    uid_t uid = 0;
    std::string name;
    bool operator==(const Account&) const = default;
};

// Every member of `group`, by uid; empty when the group does not exist.
std::vector<Account> MembersOf(const std::string& group);
// The account of `uid`; nullopt when the uid has no name.
std::optional<Account> AccountOf(uid_t uid);
std::optional<Account> AccountNamed(const std::string& name);
// Whether `account` is a member of `group` (listed, or its primary group): the caller's check,
// without reading every account as MembersOf does.
bool IsMemberOf(const Account& account, const std::string& group);
using UidRange = std::pair<uid_t, uid_t>;  // first, last

// The subordinate uid ranges of `account` (by name or uid) in `subuid` (/etc/subuid's text:
// "name:first:count" lines).
std::vector<UidRange> SubordinateRanges(const std::string& subuid, const std::string& name,
                                        uid_t uid);
// The account whose subordinate uids (`subuid`: /etc/subuid's text, "NAME-or-UID:FIRST:COUNT"
// lines) hold `uid`: what the account's containers run as is the account's. nullopt: none.
std::optional<uid_t> SubordinateOwner(const std::string& subuid, uid_t uid);

}  // namespace veltrixd
