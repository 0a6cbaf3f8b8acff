#include "veltrixd/Adopt.h"

#include "lib/control/Protocol.h"
#include "lib/password/PasswordHash.h"
#include "lib/store/ValueNames.h"
#include "veltrixd/AccountStore.h"
#include "veltrixd/Members.h"
#include "veltrixd/SealedStore.h"

namespace veltrixd {

bool AdoptStores(const Config& config) {
    SealedStore sealedStore(config.stateDir);
    std::string why;
    if (!sealedStore.Prepare(&why)) {
        Say(why);
        return false;
    }
    std::vector<std::string> names = control::SealedNames();
    names.emplace_back(store::kPassword);
    for (const Account& account : MembersOf(config.group)) {
        auto sealed = sealedStore.Load(account.uid, &why);
        if (!sealed) {
            Say(account.name + ": the sealed settings cannot be read, left as they are: " + why);
            continue;
        }
        if (!sealed->passwordHash.empty()) continue;
        AccountStoreRead read = ReadAccountStore(account.uid, config.userStore, names);
        if (read.status == AccountStoreRead::Failed) {
            Say(account.name + ": the store cannot be read (" + read.why +
                "): the panel seals its settings at the next unlock");
            continue;
        }
        const auto password = read.values.find(store::kPassword);
        if (password == read.values.end() || password->second.empty() ||
            password->second == store::kPasswordWithService) {
            Say(account.name +
                ": no password chosen yet: a parent sets one in Veltrix in the parent's account");
            continue;
        }
        const bool plain = !password::IsHash(password->second);
        auto hash = plain ? password::Hash(password->second) : password->second;
        if (!hash) {
            Say(account.name + ": the password cannot be hashed");
            continue;
        }
        read.values.erase(password);
        Sealed adopted{*hash, std::move(read.values)};
        if (!sealedStore.Save(account.uid, adopted, &why)) {
            Say(account.name + ": " + why);
            return false;
        }
        // The password (or its hash) leaves the account's store only once its hash is sealed.
        if (!WriteAccountValue(account.uid, config.userStore, store::kPassword,
                               store::kPasswordWithService, &why))
            Say(account.name + ": sealed, but the " + (plain ? "plain password" : "hash") +
                " stays in the store: " + why);
        Say(account.name + ": the password and settings of the account's store were sealed");
    }
    return true;
}

}  // namespace veltrixd
