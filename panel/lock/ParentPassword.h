// The parent's password between the panel, the account's store and the system service.
//
//  - The account's store keeps "EnterPassword" as a yescrypt hash, never the password itself; a
//    plain value left by an older version still unlocks once and is then replaced by its hash.
//  - Where the system service runs and this account is a member of its group, the service holds
//    the password's hash and the enforced settings sealed: the password is checked by it, a new
//    one sealed by it, and every enforced value the panel stores is sealed with it too. The
//    password that unlocked the panel is kept for this run for those requests.
//  - Without the service (no socket, or nothing listening: a checkout's run), or for an account
//    outside its group, the store alone counts.
#pragma once

#include <cstdint>
#include <string>

namespace lock {

struct ServiceState {
    bool enforces = false;  // the service runs and this account is a member
    bool sealed = false;    // a password is sealed for it
    // The service is there but gave no proper answer (busy, stuck): nothing may unlock on the
    // store's password then, as if there were no service.
    bool failed = false;
    std::string why;  // when failed
};

// Asks the service (a short request; nothing when it does not run).
ServiceState AskService();

// Whether `typed` is the password the store holds (`stored`, a hash or an older plain value).
bool MatchesStored(const std::string& typed, const std::string& stored);
// Stores the hash of `password` as "EnterPassword".
void StorePasswordHash(const std::string& password);

// The password of this run, once it unlocked the panel or was chosen in it.
void SetRunPassword(const std::string& password);
const std::string& RunPassword();

// Seals the first password, or changes the sealed one (from the run's password); throws
// rtl::Exception with the service's reason when it refused.
void SealNewPassword(const std::string& password, bool first);
// Sends every enforced value of the account's store to the service; throws on a refusal.
// Nothing to do without the service.
void SealStoreValues();
// Writes the sealed values into the account's store, so the panel shows what is enforced.
void ShowSealedValues();

// Whether the service enforced this account when it was last asked.
bool ServiceEnforces();
// Through the service (it alone may write them there): removes the log's first `bytes` bytes (of
// the log with `inode`) and the first `previousBytes` of the part kept before it; writes or
// removes the guard's machine-wide autostart entry. Throw on a refusal.
void ServiceClearLog(std::uint64_t bytes, std::uint64_t inode, std::uint64_t previousBytes);
void ServiceAutostart(bool on);

}  // namespace lock
