#include "panel/lock/ParentPassword.h"

#include "lib/control/Client.h"
#include "lib/password/PasswordHash.h"
#include "lib/rtl/Exception.h"
#include "lib/store/SettingsStore.h"

namespace lock {
namespace {

std::string& Run() {
    static std::string password;
    return password;
}

ServiceState& Known() {
    static ServiceState state;
    return state;
}

void Require(const control::Reply& reply, const std::string& what) {
    if (!reply.ok()) throw rtl::Exception("The Veltrix service " + what + ": " + reply.Text());
}

}  // namespace

ServiceState AskService() {
    const control::Reply r = control::Ask({"status"}, 5000);
    ServiceState s;
    s.failed = r.status != control::Reply::NoService && !(r.ok() && r.fields.size() >= 3);
    if (s.failed) s.why = "The Veltrix service does not answer: " + r.Text();
    s.enforces = !s.failed && r.ok() && r.fields[1] == "member";
    s.sealed = s.enforces && r.fields[2] == "sealed";
    Known() = s;
    return s;
}

bool MatchesStored(const std::string& typed, const std::string& stored) {
    if (password::IsHash(stored)) return password::Verify(typed, stored);
    return typed == stored;
}

void StorePasswordHash(const std::string& password) {
    const auto hash = password::Hash(password);
    if (!hash) throw rtl::Exception("The password cannot be hashed: it was not stored");
    store::WithSettings([&](store::TRegistry& reg) { reg.WriteString(store::kPassword, *hash); });
}

void SetRunPassword(const std::string& password) {
    Run() = password;
}

const std::string& RunPassword() {
    return Run();
}

void SealNewPassword(const std::string& password, bool first) {
    if (first) {
        Require(control::Ask({"first", password}), "did not seal the password");
    } else {
        Require(control::Ask({"change", Run(), password}), "did not change the password");
    }
    Known().sealed = true;
    Run() = password;
}

void SealStoreValues() {
    if (!Known().enforces) return;
    control::Fields request{"save", Run()};
    store::WithSettings([&](store::TRegistry& reg) {
        for (const std::string& name : control::SealedNames()) {
            std::string value;
            try {
                value = reg.ReadString(name);
            } catch (const std::exception&) {
                continue;  // a value of another type: the sealed one stays
            }
            // An hour or a switch the store does not hold yet reads as "": the sealed one
            // stays. An emptied application entry is sent: the parent removed it.
            if (value.empty() && name.rfind("App", 0) != 0) continue;
            request.push_back(name + "=" + value);
        }
    });
    Require(control::Ask(request), "did not take the settings");
}

void ShowSealedValues() {
    if (!Known().enforces) return;
    const control::Reply r = control::Ask({"read", Run()});
    Require(r, "did not give the settings");
    store::WithSettings([&](store::TRegistry& reg) {
        for (std::size_t i = 1; i < r.fields.size(); ++i) {
            const std::size_t eq = r.fields[i].find('=');
            if (eq == std::string::npos) continue;
            const std::string name = r.fields[i].substr(0, eq);
            if (control::IsSealedName(name)) reg.WriteString(name, r.fields[i].substr(eq + 1));
        }
    });
}

bool ServiceEnforces() {
    return Known().enforces;
}

void ServiceClearLog(std::uint64_t bytes, std::uint64_t inode, std::uint64_t previousBytes) {
    Require(control::Ask({"clear-log", Run(), std::to_string(bytes), std::to_string(inode),
                          std::to_string(previousBytes)}),
            "did not clear the log");
}

void ServiceAutostart(bool on) {
    Require(control::Ask({"autostart", Run(), on ? "on" : "off"}),
            "did not change the autostart entry");
}

}  // namespace lock
