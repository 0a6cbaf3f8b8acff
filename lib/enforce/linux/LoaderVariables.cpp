#include "lib/enforce/linux/LoaderVariables.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace enforce {

namespace {

enum class Holds { Paths, Options };

struct LoaderVariable {
    std::string_view name;
    Holds holds;
    std::string_view separators;
};

// (LD_PRELOAD's bare names are looked up in LD_LIBRARY_PATH and the system's directories.)
constexpr LoaderVariable kLoaders[] = {
    {"LD_PRELOAD", Holds::Paths, ": "},      {"LD_AUDIT", Holds::Paths, ":"},
    {"LD_LIBRARY_PATH", Holds::Paths, ":;"}, {"PYTHONPATH", Holds::Paths, ":"},
    {"PYTHONHOME", Holds::Paths, ":"},       {"PYTHONSTARTUP", Holds::Paths, ""},
    {"PYTHONUSERBASE", Holds::Paths, ""},    {"PYTHONPYCACHEPREFIX", Holds::Paths, ""},
    {"PERL5LIB", Holds::Paths, ":"},         {"PERLLIB", Holds::Paths, ":"},
    {"PERL5OPT", Holds::Options, ""},        {"RUBYLIB", Holds::Paths, ":"},
    {"RUBYOPT", Holds::Options, ""},         {"GEM_HOME", Holds::Paths, ""},
    {"GEM_PATH", Holds::Paths, ":"},         {"NODE_PATH", Holds::Paths, ":"},
    {"NODE_OPTIONS", Holds::Options, ""},    {"GJS_PATH", Holds::Paths, ":"},
    {"GI_TYPELIB_PATH", Holds::Paths, ":"},
};

bool NamesOwnCode(int procFd, const std::string& dir, const LoaderVariable& v,
                  std::string_view value) {
    if (value.empty()) return false;
    if (v.holds == Holds::Options) return true;
    const bool bareNames = v.name == "LD_PRELOAD" || v.name == "LD_AUDIT";
    while (true) {
        const auto end =
            v.separators.empty() ? std::string_view::npos : value.find_first_of(v.separators);
        const std::string_view entry = value.substr(0, end);
        if (entry.empty()) {
            // LD_PRELOAD's separators may repeat; elsewhere an empty entry is the current
            // directory.
            if (!bareNames) return true;
        } else if (entry[0] == '/') {
            if (!SystemsOwnPath(procFd, dir, entry)) return true;
        } else if (!bareNames || entry.find('/') != std::string_view::npos) {
            return true;  // relative to wherever the process is
        }
        if (end == std::string_view::npos) return false;
        value.remove_prefix(end + 1);
    }
}

}  // namespace

bool SystemsOwnPath(int procFd, const std::string& dir, std::string_view path) {
    const std::string root = dir + "/root";
    // Every prefix ending at a slash, then the whole path.
    for (std::size_t at = 0; at != std::string_view::npos;) {
        const std::size_t next = path.find('/', at + 1);
        const std::string_view prefix = path.substr(0, next);
        at = next;
        if (prefix.empty()) continue;
        struct stat st {};
        if (::fstatat(procFd, (root + std::string(prefix)).c_str(), &st, 0) != 0)
            // Nothing to load there; or the process is ending (its root is gone while it exits,
            // as a browser's first process does when it starts itself anew): it loads nothing.
            return errno == ENOENT || errno == ENOTDIR || errno == ESRCH;
        if (st.st_uid != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
    }
    return true;
}

bool AnyVariable(std::string_view environ,
                 const std::function<bool(std::string_view, std::string_view)>& each) {
    while (!environ.empty()) {
        const auto end = environ.find('\0');
        const std::string_view var = environ.substr(0, end);
        environ = end == std::string_view::npos ? std::string_view{} : environ.substr(end + 1);
        const auto equals = var.find('=');
        if (equals != std::string_view::npos && equals > 0 &&
            each(var.substr(0, equals), var.substr(equals + 1)))
            return true;
    }
    return false;
}

bool LoaderVariablesNameOwnCode(int procFd, const std::string& dir, std::string_view environ) {
    return AnyVariable(environ, [&](std::string_view name, std::string_view value) {
        for (const LoaderVariable& v : kLoaders)
            if (name == v.name && NamesOwnCode(procFd, dir, v, value)) return true;
        return false;
    });
}

}  // namespace enforce
