// The control requests (lib/control/Protocol.h has the list), answered for a caller the socket
// named. Everything that needs the parent's password checks it against the sealed hash, limited
// per account by RateLimit; what the answers change outside the sealed files goes through hooks.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "lib/control/Protocol.h"
#include "veltrixd/LogWriter.h"
#include "veltrixd/Members.h"
#include "veltrixd/RateLimit.h"
#include "veltrixd/SealedStore.h"

namespace veltrixd {

struct Caller {
    Account account;
    bool member = false;  // of the service's group
};

struct Hooks {
    std::function<std::int64_t()> nowMs;  // a clock that never jumps
    // A line for the parent in the log, about `account`.
    std::function<void(const Account& account, const std::string& text)> log;
    // The account's sealed settings changed: enforce the new ones.
    std::function<void(const Account& account)> sealedChanged;
    // Removes from the log what the parent saw (the lines appended since stay).
    std::function<bool(const SeenLog& seen, std::string* why)> clearLog;
    // Writes (on) or removes (off) the guard's machine-wide Run entry.
    std::function<bool(bool on, std::string* why)> autostart;
    std::function<std::optional<Account>(const std::string& name)> accountNamed;
};

class Requests {
  public:
    Requests(SealedStore& store, Hooks hooks) : store_(store), hooks_(std::move(hooks)) {}

    control::Fields Handle(const Caller& caller, const control::Fields& request);

  private:
    // The sealed settings when `password` is the account's; else the error to answer.
    std::optional<Sealed> Check(const Account& account, const std::string& password,
                                control::Fields& error);
    bool Store(const Account& account, const Sealed& sealed, control::Fields& reply);

    SealedStore& store_;
    Hooks hooks_;
    RateLimit limit_;
};

}  // namespace veltrixd
