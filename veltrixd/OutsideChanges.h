// Changes the account made to its own store behind the panel's back: the panel seals every
// value it writes, so a store whose enforced values differ from the sealed ones was changed
// outside it (with veltrix-reg, or by replacing the file). The sealed values stay in force; the
// parent reads one line in the log for each such change: "settings changed outside the panel".
// A store is read (as its account) only when its file changed, and a difference is reported when
// it is still there at the next check, so a panel that writes its store and then seals it is
// never taken for the child.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "veltrixd/Members.h"

namespace veltrixd {

class SealedStore;

inline constexpr int kOutsideCheckMs = 10000;

class OutsideChanges {
  public:
    OutsideChanges(SealedStore& sealed, std::string userStore,
                   std::function<void(const Account&, const std::string&)> log);

    // Looks at the store of every account of `members` that has sealed settings.
    void Check(const std::vector<Account>& members);

  private:
    struct State {
        std::string stamp;     // the store file as last read
        std::string pending;   // a difference seen once
        std::string reported;  // the difference last logged
    };
    void CheckOne(const Account& account, State& state);

    SealedStore& sealed_;
    std::string userStore_;
    std::function<void(const Account&, const std::string&)> log_;
    std::map<uid_t, State> states_;
};

}  // namespace veltrixd
