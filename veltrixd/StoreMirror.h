// What the parent sealed, written into the member's own store as that member, so the account's
// session guard and panel show what is enforced: the sealed values, and in the password's place
// the marker (never a hash the account could attack). One write at a time per account, by a
// child process that has become the account (AccountStore), killed after kAccountStoreMs: a store
// the account made slow costs that write, never the service. A write asked for while one runs
// follows it with the newest values.
#pragma once

#include <sys/types.h>

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "veltrixd/Members.h"

namespace veltrixd {

class StoreMirror final : public QObject {
    Q_OBJECT
  public:
    explicit StoreMirror(std::string userStore);
    ~StoreMirror() override;

    void Write(const Account& account, std::map<std::string, std::string> values);
    bool Busy() const { return !writes_.empty(); }

  private:
    struct Write;
    void Start(const Account& account, const std::map<std::string, std::string>& values);
    void Finish(uid_t uid, bool ended);

    std::string userStore_;
    std::map<uid_t, std::unique_ptr<struct Write>> writes_;
    std::map<uid_t, std::pair<Account, std::map<std::string, std::string>>> next_;
};

}  // namespace veltrixd
