// What the windows read and write, from one of two places chosen once at the start (Choose):
//  - the account's own store, as the panel has always kept its settings (OwnStore);
//  - a child's sealed settings, through the system service, from a parent's account
//    (ChildSettings).
// No window knows which it has: each reads and writes values by the store's names (With), and
// asks this interface to check, set and keep the parent's password and to enforce what it wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace settings {

// One use of the settings, with the store's semantics: ReadString gives "" for an absent value
// and throws for one of another type; WriteString throws when the write is refused.
class Values {
  public:
    virtual ~Values() = default;
    virtual std::string ReadString(const std::string& name) = 0;
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
};

// An answer about a password: when not ok, the message for the user.
struct Verdict {
    bool ok = false;
    std::string message;
};

// A child's record of use as the service keeps it: today's date ("YYYY-MM-DD") and the record's
// lines ("day ..." and "program ...", as enforce::UseRecord reads them).
struct UseRead {
    std::string today;
    std::string lines;
};

// What the windows say where the system service holds this account's settings.
inline constexpr const char* kChangedByParent =
    "The settings of this account are changed in Veltrix in a parent's account.";

class Settings {
  public:
    virtual ~Settings() = default;

    // Runs `body` on the values; false (body not run) when they cannot be opened.
    virtual bool Use(const std::function<void(Values&)>& body) = 0;

    // At the enter-password dialog's show; throws when what the password is checked against
    // cannot be read (no password unlocks then).
    virtual void PrepareUnlock() = 0;
    // Whether `typed` is the password; once it is, it is this run's.
    virtual Verdict Unlock(const std::string& typed) = 0;
    // Whether the password is known already (chosen just now, or the one that unlocked another
    // child): the enter-password dialog need not ask.
    virtual bool Unlocked() const { return false; }
    // A new password: the first one, or a change from this run's. Not yet kept when not ok.
    virtual Verdict SetPassword(const std::string& password, bool firstStart) = 0;
    // Keeps the new password once the user was reminded of it (throws when it cannot be kept).
    virtual void KeepPassword(const std::string& password) = 0;
    // What the windows wrote is enforced from now on; throws with the reason of a refusal.
    virtual void Seal() = 0;

    // The log's Clear and the machine-wide autostart entry: done by the service (true), or by
    // the panel in its own files.
    virtual bool ThroughService() const = 0;
    virtual void ClearLog(std::uint64_t bytes, std::uint64_t inode, std::uint64_t previousBytes);
    virtual void Autostart(bool on);
    // The machine-wide entry as it is now, where the service keeps it; nullopt: not known here.
    virtual std::optional<bool> AutostartState();
    // The child's use of its daily allowance, where the service counts it; otherwise (or when
    // the service cannot tell it now) nullopt, with the reason in `why`.
    virtual std::optional<UseRead> ReadUse(std::string* why);
    // A parent's answer for the child, at once and for today only: {"grant", MINUTES|HH:MM,
    // [WORDS]} or {"pause", HH:MM|midnight, [WORDS]}; throws with the reason of a refusal (and
    // where no service enforces the settings).
    virtual void Answer(const std::vector<std::string>& answer);
    // Whether the guard program belongs to this session (the Enable button starts it here).
    virtual bool GuardRunsHere() const = 0;
};

Settings& Current();
void Choose(std::unique_ptr<Settings> settings);

template <class Body>
bool With(Body&& body) {
    return Current().Use(std::function<void(Values&)>(std::forward<Body>(body)));
}

// Overwrites a password's bytes and empties it.
void Wipe(std::string& password);

}  // namespace settings
