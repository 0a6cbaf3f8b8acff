#include "veltrixd/SealedStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lib/control/Protocol.h"
#include "lib/platform/files/ReplaceFile.h"
#include "lib/platform/files/UniqueFd.h"

namespace veltrixd {
namespace {

constexpr const char* kMagic = "veltrix-sealed";
constexpr const char* kPasswordField = "password";
constexpr std::size_t kMaxFile = 1 << 20;

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

}  // namespace

bool SealedStore::Prepare(std::string* why) {
    if (::mkdir(dir_.c_str(), 0700) != 0 && errno != EEXIST)
        return Fail(why, "cannot make " + dir_ + ": " + std::strerror(errno));
    struct stat st {};
    if (::lstat(dir_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail(why, dir_ + " is not a directory");
    if (st.st_uid != ::geteuid()) return Fail(why, dir_ + " is not this service's");
    if ((st.st_mode & 07777) != 0700 && ::chmod(dir_.c_str(), 0700) != 0)
        return Fail(why, "cannot make " + dir_ + " private: " + std::strerror(errno));
    return true;
}

bool SealedStore::Exists(uid_t uid) const {
    struct stat st {};
    return ::lstat(FileOf(uid).c_str(), &st) == 0;
}

std::optional<Sealed> SealedStore::Load(uid_t uid, std::string* why) const {
    const std::string path = FileOf(uid);
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) {
        if (errno == ENOENT) return Sealed{};
        Fail(why, path + ": " + std::strerror(errno));
        return std::nullopt;
    }
    std::string text;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Fail(why, path + ": " + std::strerror(errno));
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
        if (text.size() > kMaxFile) {
            Fail(why, path + " is too large to be sealed settings");
            return std::nullopt;
        }
    }
    Sealed sealed;
    std::string_view rest(text);
    bool first = true;
    while (!rest.empty()) {
        control::Parsed line = control::Parse(rest);
        if (line.status != control::Parsed::Ok || line.fields.size() != 2 ||
            (first && line.fields[0] != kMagic)) {
            Fail(why, path + " is damaged");
            return std::nullopt;
        }
        rest.remove_prefix(line.consumed);
        if (first) {
            first = false;
        } else if (line.fields[0] == kPasswordField) {
            sealed.passwordHash = line.fields[1];
        } else if (control::IsSealedName(line.fields[0])) {
            sealed.values[line.fields[0]] = line.fields[1];
        }
    }
    if (first) {
        Fail(why, path + " is empty");
        return std::nullopt;
    }
    return sealed;
}

bool SealedStore::Save(uid_t uid, const Sealed& sealed, std::string* why) {
    std::string text = control::Encode({kMagic, "1"});
    if (!sealed.passwordHash.empty())
        text += control::Encode({kPasswordField, sealed.passwordHash});
    for (const auto& [name, value] : sealed.values) text += control::Encode({name, value});
    return platform::ReplaceFile(FileOf(uid), text, 0600, why);
}

}  // namespace veltrixd
