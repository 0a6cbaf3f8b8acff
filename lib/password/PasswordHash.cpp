#include "lib/password/PasswordHash.h"

#include <crypt.h>

#include <cstring>
#include <memory>

namespace password {
namespace {

// crypt_data is 32 KiB: on the heap, zeroed as crypt_r wants it.
std::optional<std::string> Crypt(const std::string& password, const char* setting) {
    if (password.find('\0') != std::string::npos) return std::nullopt;
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    const char* out = crypt_r(password.c_str(), setting, data.get());
    // Failures give NULL or a string starting with '*', never a hash.
    if (!out || out[0] == '*') return std::nullopt;
    std::string result(out);
    std::memset(data.get(), 0, sizeof *data);  // the password's traces
    return result;
}

}  // namespace

std::optional<std::string> Hash(const std::string& password) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    // "$y$", the library's default cost, salt from the kernel's random source.
    if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting)) return std::nullopt;
    return Crypt(password, setting);
}

bool Verify(const std::string& password, const std::string& hash) {
    if (hash.empty() || hash[0] != '$') return false;
    const auto computed = Crypt(password, hash.c_str());
    if (!computed || computed->size() != hash.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < hash.size(); ++i)
        diff |= static_cast<unsigned char>((*computed)[i] ^ hash[i]);
    return diff == 0;
}

bool IsHash(const std::string& text) {
    if (text.rfind("$y$", 0) != 0 || text.size() < 20 || text.size() >= CRYPT_OUTPUT_SIZE)
        return false;
    return crypt_checksalt(text.c_str()) == CRYPT_SALT_OK;
}

}  // namespace password
