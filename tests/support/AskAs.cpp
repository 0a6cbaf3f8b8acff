#include "tests/support/AskAs.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace testing_support {

control::Reply AskAs(uid_t uid, gid_t gid, const control::Fields& request, int timeoutMs) {
    control::Reply reply;
    reply.status = control::Reply::Failed;
    int out[2];
    if (::pipe(out) != 0) {
        reply.why = "no pipe";
        return reply;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(126);
        const control::Reply r = control::Ask(request, timeoutMs);
        // The status, then the fields as a line of the protocol, or why there was none.
        const std::string text = std::to_string(static_cast<int>(r.status)) + "\n" +
                                 (r.fields.empty() ? r.why + "\n" : control::Encode(r.fields));
        (void)!::write(out[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    const auto newline = text.find('\n');
    if (newline == std::string::npos) {
        reply.why = "the asking process gave no answer";
        return reply;
    }
    reply.status = static_cast<control::Reply::Status>(std::stoi(text.substr(0, newline)));
    const std::string rest = text.substr(newline + 1);
    if (reply.status == control::Reply::Ok || reply.status == control::Reply::Error)
        reply.fields = control::Parse(rest).fields;
    else
        reply.why = rest.substr(0, rest.size() - 1);
    return reply;
}

}  // namespace testing_support
