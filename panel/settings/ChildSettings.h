// A child's sealed settings as the settings, from a parent's account: every request goes to the
// system service as "for CHILD ...", with the password the parent typed here, in the parent's
// own session, where no program of the child's runs or listens.
//
//  - The enforced values (the switches, the hours, the applications) are read from the service
//    at the unlock and kept here; what the windows write is sealed at Seal().
//  - The launch counter says whether the child has a password yet ("0": the first-password
//    dialog comes); the password's value is the service's alone. Every other value (the window's
//    position, the version, the program directory) is the parent's own store's.
//  - A password the parent typed for another child is tried first ("try", which logs no wrong
//    password), so one password typed once unlocks every child whose password it is.
#pragma once

#include <map>
#include <string>

#include "lib/control/Client.h"
#include "panel/settings/Settings.h"

namespace settings {

class ChildSettings final : public Settings {
  public:
    // `sealed`: whether the child has a password; `remembered`: one the parent typed before.
    ChildSettings(std::string child, bool sealed, std::string remembered = {});
    ~ChildSettings() override;

    const std::string& Child() const { return child_; }
    // The password that unlocked this child ("" while locked), for the next child.
    const std::string& Password() const { return password_; }

    bool Use(const std::function<void(Values&)>& body) override;
    void PrepareUnlock() override;
    Verdict Unlock(const std::string& typed) override;
    bool Unlocked() const override { return !password_.empty() || unlockedEmpty_; }
    Verdict SetPassword(const std::string& password, bool firstStart) override;
    void KeepPassword(const std::string&) override {}
    void Seal() override;
    bool ThroughService() const override { return true; }
    void ClearLog(std::uint64_t bytes, std::uint64_t inode, std::uint64_t previousBytes) override;
    void Autostart(bool on) override;
    std::optional<bool> AutostartState() override;
    std::optional<UseRead> ReadUse(std::string* why) override;
    void Answer(const std::vector<std::string>& answer) override;
    bool GuardRunsHere() const override { return false; }

  private:
    class ChildValues;
    control::Reply Ask(control::Fields request);
    void Opened(const std::string& password);  // the sealed values read, the password kept
    void Require(const control::Reply& reply, const std::string& what);

    std::string child_;
    bool sealed_ = false;
    std::string remembered_, password_;
    bool unlockedEmpty_ = false;  // the empty password unlocked
    std::map<std::string, std::string> values_;
};

}  // namespace settings
