// Changes the account made to its own store behind the panel's back: the panel seals every
// value it writes, so a store whose enforced values differ from the sealed ones was changed
// outside it (with veltrix-reg, or by replacing the file). The sealed values stay in force; the
// parent reads one line in the log for each such change: "settings changed outside the panel".
// A difference is reported when it is still there at the next check, so a panel that writes its
// store and then seals it is never taken for the child.
//
// Each store is read by a child process that has become its account (AccountStore), and the
// service goes on meanwhile: a store the account made slow (a lock held, a file that never
// answers) costs that read, killed after kAccountStoreMs, never the enforcement.
#pragma once

#include <sys/types.h>

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "veltrixd/AccountStore.h"
#include "veltrixd/Members.h"

class QSocketNotifier;
class QTimer;

namespace veltrixd {

class SealedStore;

inline constexpr int kOutsideCheckMs = 10000;
// Lines an account's changes get in an hour (counted in reads: one every kOutsideCheckMs); the
// others are counted, and told in one line when the hour is over, so a child that changes its
// store all day long cannot push the rest of the log out of it.
inline constexpr int kOutsideLinesPerHour = 6;
inline constexpr int kOutsideReadsPerHour = 3600000 / kOutsideCheckMs;

class OutsideChanges final : public QObject {
    Q_OBJECT
  public:
    class Listener {
      public:
        virtual ~Listener() = default;
        // A line for the parent in the log, about `account`.
        virtual void Log(const Account& account, const std::string& text) = 0;
        // The account's store holds a password (or its hash) that the service holds: the store
        // is then given the marker in its place.
        virtual void PasswordInStore(const Account& account) = 0;
    };
    OutsideChanges(SealedStore& sealed, std::string userStore, Listener& listener);
    ~OutsideChanges() override;

    // Starts reading the store of every account of `members` that has sealed settings (one read
    // an account at a time); each is judged by Seen when it is done.
    void Check(const std::vector<Account>& members);
    // Judges what the account's store holds now against its sealed settings.
    void Seen(const Account& account, const AccountStoreRead& read);

  private:
    struct State {
        std::string pending;   // a difference seen once
        std::string reported;  // the difference last logged
        int reads = 0;         // in this hour
        int lines = 0;         // logged in this hour
        int more = 0;          // changes past the hour's lines
    };
    struct Read;
    void StartRead(const Account& account);
    void Readable(uid_t uid);
    void Finish(uid_t uid, bool ended);

    SealedStore& sealed_;
    std::string userStore_;
    Listener& listener_;
    std::map<uid_t, State> states_;
    std::map<uid_t, std::unique_ptr<Read>> reads_;
};

}  // namespace veltrixd
