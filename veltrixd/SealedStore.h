// The sealed settings: per member account, one file named by its uid in a directory only root
// may enter (0700), holding the password's hash and the values the service enforces. Each line is
// a control-protocol line of two fields (name, value), so any byte but NUL survives. Written
// whole to a temporary file, synced and renamed over the old one: a crash leaves the old or the
// new file, never a mix.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>

namespace veltrixd {

struct Sealed {
    std::string passwordHash;                   // "" while no password is sealed
    std::map<std::string, std::string> values;  // by the store's value names
    bool operator==(const Sealed&) const = default;
};

class SealedStore {
  public:
    explicit SealedStore(std::string dir) : dir_(std::move(dir)) {}

    // Makes the directory (0700) when missing and takes it back to 0700 when it is not.
    bool Prepare(std::string* why);
    // The account's sealed settings; empty when it has none yet; nullopt (and why) when the file
    // cannot be read or is not one this service wrote. The file is then left as it is.
    std::optional<Sealed> Load(uid_t uid, std::string* why) const;
    bool Save(uid_t uid, const Sealed& sealed, std::string* why);
    bool Exists(uid_t uid) const;

    std::string FileOf(uid_t uid) const { return dir_ + "/" + std::to_string(uid); }
    const std::string& Dir() const { return dir_; }

  private:
    std::string dir_;
};

}  // namespace veltrixd
