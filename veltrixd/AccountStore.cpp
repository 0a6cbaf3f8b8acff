#include "veltrixd/AccountStore.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "lib/control/Protocol.h"
#include "lib/platform/files/UniqueFd.h"
#include "lib/platform/registry/Registry.h"
#include "lib/store/ValueNames.h"

namespace veltrixd {
namespace {

constexpr int kAbsentExit = 5;

struct Person {
    uid_t uid;
    gid_t gid;
    std::string name, storeDir;
};

std::optional<Person> PersonOf(uid_t uid, const std::string& relativeDir) {
    const passwd* pw = ::getpwuid(uid);
    if (!pw || !pw->pw_dir || pw->pw_dir[0] != '/') return std::nullopt;
    std::string home = pw->pw_dir;
    if (home.size() > 1 && home.back() == '/') home.pop_back();
    return Person{uid, pw->pw_gid, pw->pw_name, home + "/" + relativeDir};
}

// Starts `work` in a child process that has become the account; what it writes to `out` comes
// back through the pipe in the result.
std::optional<AccountChild> Spawn(const Person& p, const std::function<int(int out)>& work) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    platform::UniqueFd in(fds[0]), out(fds[1]);
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        in.reset();
        // Nothing of the service's (its sockets, the log) stays open in a process of the
        // account's; nor may the account trace it or read its memory.
        const auto keep = static_cast<unsigned>(out.get());
        if (keep > 3) ::close_range(3, keep - 1, 0);
        ::close_range(keep + 1, ~0U, 0);
        ::prctl(PR_SET_DUMPABLE, 0);
        if (::initgroups(p.name.c_str(), p.gid) != 0 || ::setgid(p.gid) != 0 ||
            ::setuid(p.uid) != 0 || ::setuid(0) == 0)
            ::_exit(126);
        ::setenv("VELTRIX_USER_STORE", p.storeDir.c_str(), 1);
        ::_exit(work(out.get()));
    }
    return AccountChild{child, std::move(in)};
}

// Reads what the child writes until it ends, at most kAccountStoreMs. Its exit status, or -1.
int Collect(AccountChild& child, std::string* output) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kAccountStoreMs);
    for (char chunk[4096];;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd pfd{child.out.get(), POLLIN, 0};
        const int ready = left > 0 ? ::poll(&pfd, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return EndAccountChild(child, false);
        const ssize_t n = ::read(child.out.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return EndAccountChild(child, true);
        if (output) AppendOutput(*output, chunk, static_cast<std::size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<AccountChild> StartAccountStoreRead(uid_t uid, const std::string& relativeDir,
                                                  const std::vector<std::string>& names) {
    auto person = PersonOf(uid, relativeDir);
    if (!person) return std::nullopt;
    return Spawn(*person, [names](int out) {
        // The store is never made here: a missing one is said so.
        const std::string file = platform::StoreFile(platform::Root::CurrentUser);
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0) return errno == ENOENT ? kAbsentExit : 3;
        std::string error;
        auto key = platform::RegKey::OpenForReading(platform::Root::CurrentUser,
                                                    store::kSettingsKey, &error);
        if (!key) return 3;
        std::string text;
        for (const auto& name : names) {
            platform::RegValue v;
            if (key->Query(name, v) != platform::QueryResult::Ok) continue;
            if (v.type != platform::RegType::Sz && v.type != platform::RegType::ExpandSz) continue;
            const std::string value = v.data.substr(0, v.data.find('\0'));
            if (value.size() + name.size() + 4 > control::kMaxLine) continue;
            text += control::Encode({name, value});
        }
        key->Close();
        return WriteAll(out, text) ? 0 : 3;
    });
}

std::optional<AccountChild> StartAccountStoreWrite(
    uid_t uid, const std::string& relativeDir, const std::map<std::string, std::string>& values) {
    auto person = PersonOf(uid, relativeDir);
    if (!person) return std::nullopt;
    return Spawn(*person, [&values](int) {
        auto key = platform::RegKey::Open(platform::Root::CurrentUser, store::kSettingsKey);
        if (!key) return 3;
        bool ok = true;
        for (const auto& [name, value] : values)
            ok = key->Set(name, platform::RegType::Sz, platform::SzBytes(value)) && ok;
        return key->Close() && ok ? 0 : 3;
    });
}

void AppendOutput(std::string& output, const char* bytes, std::size_t size) {
    if (output.size() < 4 * control::kMaxLine * control::kMaxFields) output.append(bytes, size);
}

int EndAccountChild(AccountChild& child, bool ended) {
    if (!ended) ::kill(child.pid, SIGKILL);
    child.out.reset();
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

AccountStoreRead AccountStoreReadOf(int status, const std::string& output) {
    AccountStoreRead result;
    if (status == kAbsentExit) {
        result.status = AccountStoreRead::Absent;
        return result;
    }
    if (status != 0) {
        result.why = status < 0 ? "reading it as the account took too long"
                                : "it cannot be read as the account";
        return result;
    }
    for (std::string_view rest = output; !rest.empty();) {
        const control::Parsed line = control::Parse(rest);
        if (line.status != control::Parsed::Ok || line.fields.size() != 2) {
            result.why = "its values came back damaged";
            return result;
        }
        result.values[line.fields[0]] = line.fields[1];
        rest.remove_prefix(line.consumed);
    }
    result.status = AccountStoreRead::Ok;
    return result;
}

AccountStoreRead ReadAccountStore(uid_t uid, const std::string& relativeDir,
                                  const std::vector<std::string>& names) {
    auto child = StartAccountStoreRead(uid, relativeDir, names);
    if (!child) {
        AccountStoreRead result;
        result.why = "the account has no home directory";
        return result;
    }
    std::string output;
    const int status = Collect(*child, &output);
    return AccountStoreReadOf(status, output);
}

bool WriteAccountValue(uid_t uid, const std::string& relativeDir, const std::string& name,
                       const std::string& value, std::string* why) {
    auto person = PersonOf(uid, relativeDir);
    if (!person) {
        if (why) *why = "the account has no home directory";
        return false;
    }
    auto child = Spawn(*person, [&](int) {
        auto key = platform::RegKey::Open(platform::Root::CurrentUser, store::kSettingsKey);
        const bool ok =
            key && key->Set(name, platform::RegType::Sz, platform::SzBytes(value)) && key->Close();
        return ok ? 0 : 3;
    });
    const int status = child ? Collect(*child, nullptr) : -1;
    if (status != 0 && why) *why = "the account's store cannot be written";
    return status == 0;
}

}  // namespace veltrixd
