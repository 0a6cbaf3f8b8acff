// The account's own store as the settings: "EnterPassword" holds the password's yescrypt hash
// (a plain value an older version left still unlocks once and is then replaced by its hash); the
// log and the autostart entry are the panel's own files.
//
// Where the system service enforces this account (a member of its group), the account's
// settings are the service's, changed from a parent's account: no password unlocks here, and the
// user is told so. A service that is there but does not answer unlocks nothing either, since the
// store's password may be one the child wrote. Without the service (a checkout's run), or for an
// account outside its group, the store alone counts.
#pragma once

#include <string>

#include "panel/settings/Settings.h"

namespace settings {

struct ServiceState {
    bool enforces = false;  // the service runs and this account is a member
    // The service is there but gave no proper answer (busy, stuck).
    bool failed = false;
    std::string why;  // when failed
};

// Asks the service about this account (a short request; nothing when it does not run).
ServiceState AskService();
// Whether `typed` is the password the store holds (`stored`: a hash, an older plain value, or
// the marker of a password the service holds, which nothing matches).
bool MatchesStored(const std::string& typed, const std::string& stored);

class OwnStore final : public Settings {
  public:
    bool Use(const std::function<void(Values&)>& body) override;
    void PrepareUnlock() override;
    Verdict Unlock(const std::string& typed) override;
    Verdict SetPassword(const std::string& password, bool firstStart) override;
    void KeepPassword(const std::string& password) override;
    void Seal() override {}
    bool ThroughService() const override { return false; }
    bool GuardRunsHere() const override { return true; }

  private:
    void ReadStoredPassword();  // throws when the store cannot be opened
    // Why nothing may unlock or be chosen now; "" when the store decides.
    std::string ServiceRefusal();

    std::string stored_;
    bool storedKnown_ = false;
    ServiceState service_;
};

}  // namespace settings
