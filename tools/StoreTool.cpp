// veltrix-reg: the settings store from the command line, for installers, tests and
// administrators.
//
//   veltrix-reg get ROOT KEY NAME              prints the value's text; exit 1 when absent
//   veltrix-reg set ROOT KEY NAME VALUE [--type sz|expand_sz|dword|binary]
//   veltrix-reg list ROOT KEY                  NAME<TAB>TYPE<TAB>VALUE per value
//   veltrix-reg delete ROOT KEY NAME
//   veltrix-reg run-login                      starts every non-empty value under the machine-wide
//                                              Run key that names a program of veltrix-reg's own
//                                              directory, as the shell does at login; a value
//                                              naming anything else is refused and reported
//   veltrix-reg reset-password ACCOUNT         (root) the system service replaces ACCOUNT's
//                                              sealed password by one the administrator types
//                                              (or reads from standard input), or forgets it
//                                              for a parent to set in Veltrix in a parent's
//                                              account
//
// ROOT is HKCU or HKLM; KEY the backslash path. Bad arguments: usage, exit 2, nothing written.
// A store that cannot be opened: exit 3.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "lib/control/Client.h"
#include "lib/platform/registry/Registry.h"
#include "lib/rtl/Convert.h"
#include "lib/store/ValueNames.h"

namespace {

using platform::RegType;

int Usage() {
    std::cerr << "usage: veltrix-reg get ROOT KEY NAME\n"
                 "       veltrix-reg set ROOT KEY NAME VALUE [--type sz|expand_sz|dword|binary]\n"
                 "       veltrix-reg list ROOT KEY\n"
                 "       veltrix-reg delete ROOT KEY NAME\n"
                 "       veltrix-reg run-login\n"
                 "       veltrix-reg reset-password ACCOUNT\n"
                 "ROOT is HKCU or HKLM; KEY is a backslash path such as "
                 "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\n";
    return 2;
}

bool ParseRoot(const std::string& text, platform::Root& root) {
    if (text == "HKCU" || text == "HKEY_CURRENT_USER")
        root = platform::Root::CurrentUser;
    else if (text == "HKLM" || text == "HKEY_LOCAL_MACHINE")
        root = platform::Root::LocalMachine;
    else
        return false;
    return true;
}

bool ParseType(const std::string& text, RegType& type) {
    if (text == "sz")
        type = RegType::Sz;
    else if (text == "expand_sz")
        type = RegType::ExpandSz;
    else if (text == "dword")
        type = RegType::Dword;
    else if (text == "binary")
        type = RegType::Binary;
    else
        return false;
    return true;
}

const char* TypeName(RegType type) {
    switch (type) {
        case RegType::Sz:
            return "sz";
        case RegType::ExpandSz:
            return "expand_sz";
        case RegType::Dword:
            return "dword";
        case RegType::Binary:
            return "binary";
        default:
            return "unknown";
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Encodes VALUE as the store keeps data of `type`; false when VALUE does not fit the type.
bool Encode(RegType type, const std::string& value, std::string& data) {
    switch (type) {
        case RegType::Sz:
        case RegType::ExpandSz:
            data = platform::SzBytes(value);
            return true;
        case RegType::Dword: {
            auto number = rtl::TryStrToInt(value);
            std::uint32_t v = 0;
            if (number) {
                v = static_cast<std::uint32_t>(*number);
            } else {
                try {
                    std::size_t used = 0;
                    unsigned long long big = std::stoull(value, &used, 0);
                    if (used != value.size() || big > 0xFFFFFFFFull) return false;
                    v = static_cast<std::uint32_t>(big);
                } catch (...) {
                    return false;
                }
            }
            data.assign(4, '\0');
            for (int i = 0; i < 4; ++i)
                data[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
            return true;
        }
        case RegType::Binary:
            if (value.size() % 2) return false;
            data.clear();
            for (std::size_t i = 0; i < value.size(); i += 2) {
                int hi = HexValue(value[i]), lo = HexValue(value[i + 1]);
                if (hi < 0 || lo < 0) return false;
                data += static_cast<char>(hi * 16 + lo);
            }
            return true;
        default:
            return false;
    }
}

std::string Text(const platform::RegValue& v) {
    switch (v.type) {
        case RegType::Sz:
        case RegType::ExpandSz:
            return v.data.substr(0, v.data.find('\0'));
        case RegType::Dword: {
            std::uint32_t n = 0;
            for (std::size_t i = 0; i < 4 && i < v.data.size(); ++i)
                n |= static_cast<std::uint32_t>(static_cast<unsigned char>(v.data[i])) << (8 * i);
            return std::to_string(n);
        }
        default: {
            static const char* digits = "0123456789abcdef";
            std::string hex;
            for (unsigned char c : v.data) {
                hex += digits[c >> 4];
                hex += digits[c & 15];
            }
            return hex;
        }
    }
}

// Both write their diagnostic when the store cannot be opened.
std::unique_ptr<platform::RegKey> OpenOrSay(platform::Root root, const std::string& key) {
    return platform::RegKey::Open(root, key);
}
std::unique_ptr<platform::RegKey> OpenToRead(platform::Root root, const std::string& key) {
    return platform::RegKey::OpenForReading(root, key);
}

// Starts `path` detached (its own session, no arguments, standard streams on /dev/null), the way
// the shell starts a Run entry; the outcome is reported but does not stop the others.
bool StartDetached(const std::string& path) {
    int report[2];  // closed by a successful exec; carries errno when it fails
    if (::pipe2(report, O_CLOEXEC) != 0) return false;
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        if (::fork() != 0) ::_exit(0);  // the grandchild is adopted by init: nothing to reap
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        ::execv(path.c_str(), argv);
        int error = errno;
        [[maybe_unused]] ssize_t n = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    int error = 0;
    ssize_t n = ::read(report[0], &error, sizeof error);
    ::close(report[0]);
    return n == 0;
}

// The directory of this very program (the program directory), symbolic links resolved.
std::filesystem::path OwnDirectory() {
    std::error_code ec;
    return std::filesystem::canonical("/proc/self/exe", ec).parent_path();
}

// True when `path` names a regular file that lies (once every link is resolved) in the program
// directory. Login runs in every account, so nothing else may ever start from there: a value
// that a member of the installation's group wrote must not run its own code in another account.
bool InProgramDirectory(const std::string& path) {
    std::error_code ec;
    if (path.empty() || path[0] != '/') return false;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    if (ec || !std::filesystem::is_regular_file(real, ec)) return false;
    const std::filesystem::path own = OwnDirectory();
    return !own.empty() && real.parent_path() == own;
}

int RunAtLogin() {
    auto key = platform::RegKey::OpenForReading(
        platform::Root::LocalMachine, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    if (!key) return 3;
    int failures = 0;
    for (const auto& v : key->List()) {
        if (v.type != RegType::Sz && v.type != RegType::ExpandSz) continue;
        const std::string path = Text(v);
        if (path.empty()) continue;
        if (!InProgramDirectory(path)) {
            std::cerr << "veltrix-reg: not starting " << v.name << ": " << path
                      << " is not a program of " << OwnDirectory().string() << "\n";
            ++failures;
            continue;
        }
        if (StartDetached(path)) {
            std::cerr << "veltrix-reg: started " << v.name << ": " << path << "\n";
        } else {
            std::cerr << "veltrix-reg: cannot start " << v.name << ": " << path << "\n";
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

// The administrator's recovery: the service forgets the sealed password; in the account's own
// store (written as that account, never as root) the launch counter goes back to 0, so its panel
// asks for a new password at its next start, and the service seals that one.
// One line of standard input; on a terminal, after `prompt` and without echo.
std::string ReadSecretLine(const char* prompt, bool terminal) {
    termios saved{};
    if (terminal) {
        std::cerr << prompt << std::flush;
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << "\n";
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int ResetPassword(const std::string& account) {
    if (!::getpwnam(account.c_str())) {
        std::cerr << "veltrix-reg: there is no account " << account << "\n";
        return 1;
    }
    // The new password comes from the administrator, never from the account itself: typed
    // here twice (or one line on standard input); nothing leaves the account for a parent.
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    std::string password = ReadSecretLine(
        "New password for the account (empty: a parent sets it in Veltrix): ", terminal);
    if (terminal && !password.empty()) {
        std::string again = ReadSecretLine("The same again: ", true);
        const bool same = again == password;
        control::Wipe(again);
        if (!same) {
            control::Wipe(password);
            std::cerr << "veltrix-reg: the two differ; nothing was changed\n";
            return 1;
        }
    }
    control::Fields request{"reset", account};
    if (!password.empty()) request.push_back(password);
    const bool chosen = !password.empty();
    control::Wipe(password);
    const control::Reply reply = control::Ask(request);
    control::Wipe(request.back());
    if (!reply.ok()) {
        std::cerr << "veltrix-reg: the password was not reset: " << reply.Text() << "\n";
        return reply.status == control::Reply::NoService ? 3 : 1;
    }
    if (chosen)
        std::cout << "The password of " << account << " was replaced.\n";
    else
        std::cout << "The password of " << account
                  << " was reset: a parent sets the new one in Veltrix, in the parent's own "
                     "account, where the account shows \"no password yet\".\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    const std::string& verb = args[0];
    if (verb == "run-login") return args.size() == 1 ? RunAtLogin() : Usage();
    if (verb == "reset-password") return args.size() == 2 ? ResetPassword(args[1]) : Usage();
    platform::Root root{};
    if (args.size() < 3 || !ParseRoot(args[1], root)) return Usage();
    const std::string& key = args[2];

    if (verb == "get" && args.size() == 4) {
        auto k = OpenToRead(root, key);
        if (!k) return 3;
        platform::RegValue v;
        auto result = k->Query(args[3], v);
        if (result == platform::QueryResult::Failed) return 3;
        if (result == platform::QueryResult::Absent) return 1;
        std::cout << Text(v) << "\n";
        return 0;
    }
    if (verb == "set" && (args.size() == 5 || args.size() == 7)) {
        RegType type = RegType::Sz;
        if (args.size() == 7 && (args[5] != "--type" || !ParseType(args[6], type))) return Usage();
        std::string data;
        if (!Encode(type, args[4], data)) return Usage();
        auto k = OpenOrSay(root, key);
        if (!k) return 3;
        if (!k->Set(args[3], type, data) || !k->Close()) return 3;
        return 0;
    }
    if (verb == "list" && args.size() == 3) {
        auto k = OpenToRead(root, key);
        if (!k) return 3;
        for (const auto& v : k->List())
            std::cout << v.name << '\t' << TypeName(v.type) << '\t' << Text(v) << "\n";
        return 0;
    }
    if (verb == "delete" && args.size() == 4) {
        auto k = OpenOrSay(root, key);
        if (!k) return 3;
        if (!k->Delete(args[3]) || !k->Close()) return 3;
        return 0;
    }
    return Usage();
}
