// A member account's own settings store, read and written as that account: a child process with
// the account's uid and groups does the work, so the service follows no link the account laid,
// opens nothing the account itself could not, and never waits on a file the account controls. The
// store lies at HOME/`relativeDir`/user.db (".config/veltrix" unless the service was told
// otherwise).
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lib/platform/files/UniqueFd.h"

namespace veltrixd {

inline constexpr const char* kDefaultUserStore = ".config/veltrix";
inline constexpr int kAccountStoreMs = 5000;  // the longest a read or write as the account takes

struct AccountStoreRead {
    enum Status { Ok, Absent, Failed } status = Failed;
    std::string why;                            // when Failed
    std::map<std::string, std::string> values;  // the text values asked for that the store holds
};

// A child process at work as the account, and the reading end of its output.
struct AccountChild {
    pid_t pid = -1;
    platform::UniqueFd out;
};

// Starts reading the text values `names` of the account's settings key; nullopt when the account
// has no home or no process can be started. The caller collects the output (AppendOutput) until
// the end of `out`, or gives up, and then calls EndAccountChild and AccountStoreReadOf.
std::optional<AccountChild> StartAccountStoreRead(uid_t uid, const std::string& relativeDir,
                                                  const std::vector<std::string>& names);
void AppendOutput(std::string& output, const char* bytes, std::size_t size);
// Reaps the child: `ended` when its output ended, else it is killed first. Its exit status, or
// -1 (killed, or it did not exit).
int EndAccountChild(AccountChild& child, bool ended);
AccountStoreRead AccountStoreReadOf(int status, const std::string& output);

// The same, to its end (at most kAccountStoreMs): for the package's one-time sealing.
AccountStoreRead ReadAccountStore(uid_t uid, const std::string& relativeDir,
                                  const std::vector<std::string>& names);
// Starts writing the text values `values` into the account's settings key (made when missing);
// the child's output ends when it ends, its exit status 0 when every value was written.
std::optional<AccountChild> StartAccountStoreWrite(
    uid_t uid, const std::string& relativeDir, const std::map<std::string, std::string>& values);
// Sets one text value of the account's settings key.
bool WriteAccountValue(uid_t uid, const std::string& relativeDir, const std::string& name,
                       const std::string& value, std::string* why);

}  // namespace veltrixd
