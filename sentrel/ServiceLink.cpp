#include "sentrel/ServiceLink.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <QSocketNotifier>

#include <cerrno>

#include "lib/control/Client.h"
#include "lib/control/Protocol.h"

namespace sentrel {
ServiceLink::ServiceLink() = default;

ServiceLink::~ServiceLink() {
    readable_.reset();  // before its descriptor closes
}

bool ServiceLink::Open() {
    if (IsOpen()) return true;
    const control::Reply status = control::Ask({"status"}, kServiceAskMs);
    if (!status.ok() || status.fields.size() < 3 || status.fields[1] != "member" ||
        status.fields[2] != "sealed")
        return false;
    platform::UniqueFd fd(control::Watch(&buffer_, kServiceAskMs));
    if (!fd.valid()) return false;
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
    fd_ = std::move(fd);
    readable_ = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read);
    connect(readable_.get(), &QSocketNotifier::activated, this, [this] { Readable(); });
    if (!buffer_.empty()) Readable();
    return IsOpen();
}

void ServiceLink::Readable() {
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::recv(fd_.get(), chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        if (n <= 0) {
            Close(n == 0 ? "the service closed the connection" : "the connection failed");
            return;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    for (;;) {
        const control::Parsed line = control::Parse(buffer_);
        if (line.status == control::Parsed::Incomplete) return;
        if (line.status == control::Parsed::Malformed) {
            Close("the service sent " + line.error);
            return;
        }
        buffer_.erase(0, line.consumed);
        if (line.fields.size() == 2 && line.fields[0] == "notify") Q_EMIT Notified(line.fields[1]);
    }
}

void ServiceLink::Close(const std::string& why) {
    readable_->setEnabled(false);
    readable_.release()->deleteLater();  // called from its own signal
    fd_.reset();
    buffer_.clear();
    Q_EMIT Lost(why);
}

}  // namespace sentrel
