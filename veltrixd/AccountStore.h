// A member account's own settings store, read and written as that account: a child process with
// the account's uid and groups does the work, so the service follows no link the account laid and
// opens nothing the account itself could not. The store lies at HOME/`relativeDir`/user.db
// (".config/veltrix" unless the service was told otherwise).
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace veltrixd {

inline constexpr const char* kDefaultUserStore = ".config/veltrix";
inline constexpr int kAccountStoreMs = 5000;  // the longest a read or write as the account takes

struct AccountStoreRead {
    enum Status { Ok, Absent, Failed } status = Failed;
    std::string why;                            // when Failed
    std::map<std::string, std::string> values;  // the text values asked for that the store holds
};

// The store's directory for `uid` (its home from the account database); nullopt without one.
std::optional<std::string> AccountStoreDir(uid_t uid, const std::string& relativeDir);

// The text values `names` of the account's settings key.
AccountStoreRead ReadAccountStore(uid_t uid, const std::string& relativeDir,
                                  const std::vector<std::string>& names);
// Sets one text value of the account's settings key.
bool WriteAccountValue(uid_t uid, const std::string& relativeDir, const std::string& name,
                       const std::string& value, std::string* why);

// The store's file as it is now (inode, size, change times of it and its write-ahead log), as
// root sees it without opening it: a read is due only when this changed.
std::string AccountStoreStamp(uid_t uid, const std::string& relativeDir);

}  // namespace veltrixd
