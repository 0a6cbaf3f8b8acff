// The environment variables that make the dynamic loader or an interpreter load code from where
// they say (LD_PRELOAD, LD_LIBRARY_PATH, PYTHONPATH, NODE_OPTIONS, ...). Installed software sets
// some for itself (Thunderbird starts its content processes with LD_LIBRARY_PATH=/usr/lib/
// thunderbird and LD_PRELOAD=libmozsandbox.so), so a variable is the account's own code only
// when what it names may be: a path that is not the system's (root's, in directories only root
// may change, as the process sees them), a relative or empty entry (the current directory), or
// options (PERL5OPT, RUBYOPT, NODE_OPTIONS), which can load anything.
#pragma once

#include <functional>
#include <string_view>

namespace enforce {

// Calls `each(name, value)` for every NAME=VALUE of `environ` (NUL-separated, as /proc/PID/environ
// has it) until it returns true; whether it did.
bool AnyVariable(std::string_view environ,
                 const std::function<bool(std::string_view, std::string_view)>& each);

// Whether `environ` (NUL-separated, as /proc/PID/environ has it) of the process whose directory
// below the open /proc `procFd` is `dir` ("PID", or "PID/task/TID") has a loader or interpreter
// variable naming code that is not the system's.
bool LoaderVariablesNameOwnCode(int procFd, const std::string& dir, std::string_view environ);

// Whether `path` (absolute, as the process of `dir` sees it) is the system's: it and every
// directory above it root's and writable by root alone. A path the process cannot reach loads
// nothing, so it is the system's too.
bool SystemsOwnPath(int procFd, const std::string& dir, std::string_view path);

}  // namespace enforce
