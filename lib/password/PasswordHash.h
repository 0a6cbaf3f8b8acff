// The parent's password, kept only as a salted slow hash: crypt(3) with yescrypt from libxcrypt,
// the method and encoding /etc/shadow uses ("$y$j9T$<salt>$<hash>"), so no cryptography of ours.
#pragma once

#include <optional>
#include <string>

namespace password {

// A new hash of `password` with a fresh random salt; nullopt when no random salt can be had.
std::optional<std::string> Hash(const std::string& password);

// Whether `password` hashes to `hash` (a crypt(3) string). False for anything that is not a hash
// crypt(3) accepts. The comparison takes the same time whatever differs.
bool Verify(const std::string& password, const std::string& hash);

// Whether `text` is a yescrypt hash as Hash() makes them (a value the panel stored before it
// hashed is the password itself).
bool IsHash(const std::string& text);

}  // namespace password
