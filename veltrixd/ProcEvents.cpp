#include "veltrixd/ProcEvents.h"

#include <linux/cn_proc.h>
#include <linux/connector.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace veltrixd {

ProcEvents::ProcEvents(Listener& listener) : listener_(listener) {}

ProcEvents::~ProcEvents() = default;

bool ProcEvents::Open(std::string* why) {
    platform::UniqueFd fd(
        ::socket(PF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_CONNECTOR));
    auto fail = [why](const char* what) {
        if (why) *why = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    if (!fd.valid()) return fail("no netlink connector socket");
    const int buffer = 4 << 20;  // bursts of thousands of execs
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
    sockaddr_nl addr{};
    addr.nl_family = AF_NETLINK;
    addr.nl_groups = CN_IDX_PROC;
    addr.nl_pid = 0;  // the kernel picks a unique port
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return fail("cannot bind to the process connector");

    // netlink header, connector header, then the operation: asks the kernel to report.
    alignas(nlmsghdr) char listen[NLMSG_SPACE(sizeof(cn_msg) + sizeof(proc_cn_mcast_op))] = {};
    auto* header = reinterpret_cast<nlmsghdr*>(listen);
    header->nlmsg_len = NLMSG_LENGTH(sizeof(cn_msg) + sizeof(proc_cn_mcast_op));
    header->nlmsg_type = NLMSG_DONE;
    header->nlmsg_pid = static_cast<__u32>(::getpid());
    auto* message = static_cast<cn_msg*>(NLMSG_DATA(header));
    message->id.idx = CN_IDX_PROC;
    message->id.val = CN_VAL_PROC;
    message->len = sizeof(proc_cn_mcast_op);
    const proc_cn_mcast_op op = PROC_CN_MCAST_LISTEN;
    std::memcpy(message->data, &op, sizeof op);
    if (::send(fd.get(), listen, header->nlmsg_len, 0) != static_cast<ssize_t>(header->nlmsg_len))
        return fail("the process connector refused to report");

    fd_ = std::move(fd);
    notifier_ = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Read(); });
    return true;
}

void ProcEvents::Read() {
    std::vector<int> pids;
    alignas(nlmsghdr) char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == ENOBUFS) {
                overrun_ = true;
                continue;
            }
            break;  // EAGAIN: all read
        }
        auto* header = reinterpret_cast<nlmsghdr*>(buffer);
        for (auto left = static_cast<unsigned>(n); NLMSG_OK(header, left);
             header = NLMSG_NEXT(header, left)) {
            if (header->nlmsg_type == NLMSG_ERROR || header->nlmsg_type == NLMSG_NOOP) continue;
            auto* message = static_cast<cn_msg*>(NLMSG_DATA(header));
            if (message->id.idx != CN_IDX_PROC || message->id.val != CN_VAL_PROC) continue;
            // The event follows the 20-byte connector header: not aligned for its 8-byte
            // timestamp, so it is copied out rather than read in place.
            proc_event event{};
            const std::size_t payload = NLMSG_PAYLOAD(header, 0);
            if (payload < sizeof(cn_msg)) continue;
            std::memcpy(
                &event, message->data,
                std::min({std::size_t{message->len}, payload - sizeof(cn_msg), sizeof event}));
            if (event.what == proc_event::PROC_EVENT_EXEC)
                pids.push_back(static_cast<int>(event.event_data.exec.process_tgid));
            else if (event.what == proc_event::PROC_EVENT_UID)
                pids.push_back(static_cast<int>(event.event_data.id.process_tgid));
        }
    }
    if (!pids.empty() || overrun_) listener_.ProgramsStarted(pids);
}

}  // namespace veltrixd
