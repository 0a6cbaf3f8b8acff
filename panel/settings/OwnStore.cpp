#include "panel/settings/OwnStore.h"

#include "lib/control/Client.h"
#include "lib/password/PasswordHash.h"
#include "lib/platform/core/Application.h"
#include "lib/rtl/Exception.h"
#include "lib/store/SettingsStore.h"

namespace settings {
namespace {

class StoreValues final : public Values {
  public:
    explicit StoreValues(store::TRegistry& reg) : reg_(reg) {}
    std::string ReadString(const std::string& name) override { return reg_.ReadString(name); }
    void WriteString(const std::string& name, const std::string& value) override {
        reg_.WriteString(name, value);
    }

  private:
    store::TRegistry& reg_;
};

constexpr const char* kMismatch = "You were mistaken, try again.";

}  // namespace

ServiceState AskService() {
    const control::Reply r = control::Ask({"status"}, 5000);
    ServiceState s;
    s.failed = r.status != control::Reply::NoService && !(r.ok() && r.fields.size() >= 3);
    if (s.failed) s.why = "The Veltrix service does not answer: " + r.Text();
    s.enforces = !s.failed && r.ok() && r.fields[1] == "member";
    return s;
}

bool MatchesStored(const std::string& typed, const std::string& stored) {
    if (stored == store::kPasswordWithService) return false;
    if (password::IsHash(stored)) return password::Verify(typed, stored);
    return typed == stored;
}

bool OwnStore::Use(const std::function<void(Values&)>& body) {
    return store::WithSettings([&](store::TRegistry& reg) {
        StoreValues values(reg);
        body(values);
    });
}

void OwnStore::ReadStoredPassword() {
    storedKnown_ = store::WithSettings(
        [&](store::TRegistry& reg) { stored_ = reg.ReadString(store::kPassword); });
    if (!storedKnown_)
        throw rtl::Exception("The settings store cannot be opened: the password is unknown");
}

void OwnStore::PrepareUnlock() {
    storedKnown_ = false;
    service_ = AskService();
    ReadStoredPassword();
}

std::string OwnStore::ServiceRefusal() {
    if (service_.failed) service_ = AskService();  // back again?
    if (service_.failed) return service_.why;
    if (service_.enforces) return kChangedByParent;
    return {};
}

Verdict OwnStore::Unlock(const std::string& typed) {
    if (std::string refusal = ServiceRefusal(); !refusal.empty()) return {false, refusal};
    if (!storedKnown_) platform::Guarded([this] { ReadStoredPassword(); });  // back again?
    if (!storedKnown_ || !MatchesStored(typed, stored_)) return {false, kMismatch};
    // A password an older version stored as it was typed is replaced by its hash.
    if (!password::IsHash(stored_)) platform::Guarded([&] { KeepPassword(typed); });
    return {true, {}};
}

Verdict OwnStore::SetPassword(const std::string&, bool) {
    service_ = AskService();
    if (std::string refusal = ServiceRefusal(); !refusal.empty()) return {false, refusal};
    return {true, {}};
}

void OwnStore::KeepPassword(const std::string& password) {
    const auto hash = password::Hash(password);
    if (!hash) throw rtl::Exception("The password cannot be hashed: it was not stored");
    store::WithSettings([&](store::TRegistry& reg) { reg.WriteString(store::kPassword, *hash); });
    stored_ = *hash;
}

}  // namespace settings
