#include "panel/settings/ChildSettings.h"

#include "lib/rtl/Exception.h"
#include "lib/store/SettingsStore.h"

namespace settings {

class ChildSettings::ChildValues final : public Values {
  public:
    ChildValues(ChildSettings& owner, store::TRegistry& own) : owner_(owner), own_(own) {}
    std::string ReadString(const std::string& name) override {
        if (control::IsSealedName(name)) {
            auto it = owner_.values_.find(name);
            return it == owner_.values_.end() ? std::string() : it->second;
        }
        if (name == store::kLaunchCounter) return owner_.sealed_ ? "1" : "0";
        if (name == store::kPassword) return {};
        return own_.ReadString(name);
    }
    void WriteString(const std::string& name, const std::string& value) override {
        if (control::IsSealedName(name)) {
            owner_.values_[name] = value;
        } else if (name != store::kLaunchCounter && name != store::kPassword) {
            own_.WriteString(name, value);
        }
    }

  private:
    ChildSettings& owner_;
    store::TRegistry& own_;
};

ChildSettings::ChildSettings(std::string child, bool sealed, std::string remembered)
    : child_(std::move(child)), sealed_(sealed), remembered_(std::move(remembered)) {}

ChildSettings::~ChildSettings() {
    Wipe(password_);
    Wipe(remembered_);
}

control::Reply ChildSettings::Ask(control::Fields request) {
    request.insert(request.begin(), {"for", child_});
    control::Reply reply = control::Ask(request);
    for (std::string& field : request) Wipe(field);
    return reply;
}

void ChildSettings::Require(const control::Reply& reply, const std::string& what) {
    if (!reply.ok()) throw rtl::Exception("The Veltrix service " + what + ": " + reply.Text());
}

bool ChildSettings::Use(const std::function<void(Values&)>& body) {
    return store::WithSettings([&](store::TRegistry& reg) {
        ChildValues values(*this, reg);
        body(values);
    });
}

void ChildSettings::Opened(const std::string& password) {
    const control::Reply r = Ask({"read", password});
    Require(r, "did not give the settings");
    values_.clear();
    for (std::size_t i = 1; i < r.fields.size(); ++i) {
        const std::size_t eq = r.fields[i].find('=');
        if (eq == std::string::npos) continue;
        const std::string name = r.fields[i].substr(0, eq);
        if (control::IsSealedName(name)) values_[name] = r.fields[i].substr(eq + 1);
    }
    password_ = password;
    unlockedEmpty_ = password.empty();
}

void ChildSettings::PrepareUnlock() {
    if (!sealed_ || remembered_.empty() || Unlocked()) return;
    const std::string candidate = remembered_;
    Wipe(remembered_);
    if (Ask({"try", candidate}).ok()) Opened(candidate);
}

Verdict ChildSettings::Unlock(const std::string& typed) {
    const control::Reply r = Ask({"verify", typed});
    if (!r.ok()) {
        // Wrong, or held back after too many wrong ones: the service's words say which.
        return {false, r.status == control::Reply::Error && r.Text() == "wrong password"
                           ? "You were mistaken, try again."
                           : r.Text()};
    }
    try {
        Opened(typed);
    } catch (const std::exception& e) {
        return {false, e.what()};
    }
    return {true, {}};
}

Verdict ChildSettings::SetPassword(const std::string& password, bool firstStart) {
    // At the first start a password sealed meanwhile (by another parent) stays as it is.
    if (firstStart && sealed_) return {true, {}};
    const control::Reply r =
        sealed_ ? Ask({"change", password_, password}) : Ask({"first", password});
    if (!r.ok()) return {false, "The Veltrix service did not seal the password: " + r.Text()};
    const bool first = !sealed_;
    sealed_ = true;
    if (!first) {
        password_ = password;
        unlockedEmpty_ = password.empty();
        return {true, {}};
    }
    try {
        Opened(password);
    } catch (const std::exception& e) {
        return {false, e.what()};
    }
    return {true, {}};
}

void ChildSettings::Seal() {
    if (!Unlocked()) return;  // never unlocked: nothing of this run is the parent's
    control::Fields request{"save", password_};
    for (const auto& [name, value] : values_) {
        // An hour or a switch never set reads as "": the sealed one stays. An emptied
        // application entry is sent: the parent removed it.
        if (value.empty() && name.rfind("App", 0) != 0) continue;
        request.push_back(name + "=" + value);
    }
    Require(Ask(request), "did not take the settings");
}

void ChildSettings::ClearLog(std::uint64_t bytes, std::uint64_t inode,
                             std::uint64_t previousBytes) {
    if (!Unlocked()) return;
    Require(Ask({"clear-log", password_, std::to_string(bytes), std::to_string(inode),
                 std::to_string(previousBytes)}),
            "did not clear the log");
}

std::optional<bool> ChildSettings::AutostartState() {
    if (!Unlocked()) return std::nullopt;
    const control::Reply r = Ask({"autostart", password_});
    if (!r.ok() || r.fields.size() != 2) return std::nullopt;
    return r.fields[1] == "on";
}

std::optional<UseRead> ChildSettings::ReadUse(std::string* why) {
    // A parent's request of its own: no password, and not "for" the child.
    const control::Reply r = control::Ask({"use", child_});
    if (!r.ok() || r.fields.size() < 2) {
        if (why) *why = r.ok() ? "the service's answer cannot be read" : r.Text();
        return std::nullopt;
    }
    UseRead use{r.fields[1], {}};
    for (std::size_t i = 2; i < r.fields.size(); ++i) use.lines.append(r.fields[i]).append("\n");
    return use;
}

void ChildSettings::Answer(const std::vector<std::string>& answer) {
    if (answer.empty()) return;
    control::Fields request{answer.front(), password_};
    request.insert(request.end(), answer.begin() + 1, answer.end());
    Require(Ask(std::move(request)), "did not take the answer");
}

void ChildSettings::Autostart(bool on) {
    if (!Unlocked()) return;
    Require(Ask({"autostart", password_, on ? "on" : "off"}), "did not change the autostart entry");
}

}  // namespace settings
