// The four store operations the program uses, on a short-lived handle (one store use):
// create a handle, set the root, OpenKey with create, reads/writes, CloseKey, release.
//
//  - OpenKey answers false when the store cannot be opened; the caller then skips its work.
//  - ReadString gives the text cut at its first NUL, "" when absent; throws ERegistryException
//    "Invalid data type for '<name>'" for a value that is not a (expandable) string, and
//    "Failed to get data for '<name>'" when the data cannot be read.
//  - WriteString throws "Failed to set data for '<name>'" when the write is refused; the writes
//    before it stay and are committed at CloseKey.
#pragma once

#include <memory>
#include <string>

#include "lib/platform/registry/Registry.h"
#include "lib/rtl/Exception.h"
#include "lib/store/ValueNames.h"

namespace store {

inline constexpr platform::Root HKEY_CURRENT_USER = platform::Root::CurrentUser;
inline constexpr platform::Root HKEY_LOCAL_MACHINE = platform::Root::LocalMachine;

class ERegistryException : public rtl::Exception {
  public:
    using rtl::Exception::Exception;
};

class TRegistry {
  public:
    TRegistry() = default;
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;
    ~TRegistry() { CloseKey(); }

    void RootKey(platform::Root root) { root_ = root; }
    platform::Root RootKey() const { return root_; }

    bool OpenKey(const std::string& path, bool create);
    // For readers outside the panel: creates nothing and never waits for a writer.
    bool OpenKeyReadOnly(const std::string& path);
    std::string ReadString(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);
    void CloseKey();

  private:
    platform::Root root_ = platform::Root::CurrentUser;
    std::unique_ptr<platform::RegKey> key_;
};

// One store use on `path` under `root`: runs `body(reg)` only when the key opened, and closes the
// key whatever happens (an exception from `body` passes on after the close). Returns whether the
// key opened.
template <class Body>
bool WithKey(platform::Root root, const std::string& path, Body&& body) {
    TRegistry reg;
    reg.RootKey(root);
    if (!reg.OpenKey(path, true)) return false;
    body(reg);  // ~TRegistry closes the key, also on an exception
    return true;
}

template <class Body>
bool WithSettings(Body&& body) {
    return WithKey(HKEY_CURRENT_USER, kSettingsKey, std::forward<Body>(body));
}

}  // namespace store
