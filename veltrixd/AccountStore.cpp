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

// Runs `work` in a child process that has become the account; its output comes back through a
// pipe. The child is killed when it takes longer than kAccountStoreMs. The exit status, or -1.
int AsAccount(const Person& p, const std::function<int(int out)>& work, std::string* output) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    platform::UniqueFd in(fds[0]), out(fds[1]);
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        in.reset();
        // Not to be traced or read by the account: this is still the service's memory.
        ::prctl(PR_SET_DUMPABLE, 0);
        if (::initgroups(p.name.c_str(), p.gid) != 0 || ::setgid(p.gid) != 0 ||
            ::setuid(p.uid) != 0 || ::setuid(0) == 0)
            ::_exit(126);
        ::setenv("VELTRIX_USER_STORE", p.storeDir.c_str(), 1);
        ::_exit(work(out.get()));
    }
    out.reset();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kAccountStoreMs);
    bool timedOut = false;
    for (char chunk[4096];;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd pfd{in.get(), POLLIN, 0};
        const int ready = left > 0 ? ::poll(&pfd, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        const ssize_t n = ::read(in.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output && output->size() < 4 * control::kMaxLine * control::kMaxFields)
            output->append(chunk, static_cast<std::size_t>(n));
    }
    if (timedOut) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
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

std::optional<std::string> AccountStoreDir(uid_t uid, const std::string& relativeDir) {
    auto p = PersonOf(uid, relativeDir);
    if (!p) return std::nullopt;
    return p->storeDir;
}

AccountStoreRead ReadAccountStore(uid_t uid, const std::string& relativeDir,
                                  const std::vector<std::string>& names) {
    AccountStoreRead result;
    auto person = PersonOf(uid, relativeDir);
    if (!person) {
        result.why = "the account has no home directory";
        return result;
    }
    std::string output;
    const int status = AsAccount(
        *person,
        [&names](int out) {
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
                if (v.type != platform::RegType::Sz && v.type != platform::RegType::ExpandSz)
                    continue;
                const std::string value = v.data.substr(0, v.data.find('\0'));
                if (value.size() + name.size() + 4 > control::kMaxLine) continue;
                text += control::Encode({name, value});
            }
            key->Close();
            return WriteAll(out, text) ? 0 : 3;
        },
        &output);
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

bool WriteAccountValue(uid_t uid, const std::string& relativeDir, const std::string& name,
                       const std::string& value, std::string* why) {
    auto person = PersonOf(uid, relativeDir);
    if (!person) {
        if (why) *why = "the account has no home directory";
        return false;
    }
    const int status = AsAccount(
        *person,
        [&](int) {
            auto key = platform::RegKey::Open(platform::Root::CurrentUser, store::kSettingsKey);
            const bool ok = key &&
                            key->Set(name, platform::RegType::Sz, platform::SzBytes(value)) &&
                            key->Close();
            return ok ? 0 : 3;
        },
        nullptr);
    if (status != 0 && why) *why = "the account's store cannot be written";
    return status == 0;
}

std::string AccountStoreStamp(uid_t uid, const std::string& relativeDir) {
    auto dir = AccountStoreDir(uid, relativeDir);
    if (!dir) return {};
    std::string stamp;
    for (const char* suffix : {"/user.db", "/user.db-wal"}) {
        struct stat st {};
        if (::stat((*dir + suffix).c_str(), &st) != 0) {
            stamp += "-;";
            continue;
        }
        stamp += std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
                 std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                 std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_ctim.tv_sec) +
                 "." + std::to_string(st.st_ctim.tv_nsec) + ";";
    }
    return stamp;
}

}  // namespace veltrixd
