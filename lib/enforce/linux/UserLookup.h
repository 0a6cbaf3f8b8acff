// Where an interpreter finds code by its own per-user rules, as the process sees its account's
// home: an installed script run by an installed interpreter still runs the account's code when
// the interpreter also loads from there (Python's user site and its .pth files, Node's home
// module folders, RubyGems' user gems). The home is the process's HOME, as the interpreters take
// it, else its account's.
#pragma once

#include <string_view>

namespace enforce {

// Whether the process whose directory below the open /proc `procFd` is `dir`, running the
// interpreter `exe` with the environment `environ` (NUL-separated, as /proc/PID/environ has it),
// may load code from a per-user place that holds anything.
bool LoadsUserCode(int procFd, const std::string& dir, std::string_view exe,
                   std::string_view environ);

}  // namespace enforce
