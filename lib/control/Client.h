// The client side of the service's control socket: one request, one reply, bounded in time.
#pragma once

#include <optional>
#include <string>

#include "lib/control/Protocol.h"

namespace control {

struct Reply {
    enum Status {
        NoService,  // no socket, or nothing listens on it: the system runs without the service
        Failed,     // the service is there but did not answer properly in time
        Ok,         // fields[0] == "ok"
        Error       // fields[0] == "error"; Text() says why
    } status = NoService;
    Fields fields;
    std::string why;  // for NoService and Failed

    bool ok() const { return status == Ok; }
    // The error's text, or why there was no answer.
    std::string Text() const;
};

// Sends `request` to the service at SocketPath() and waits at most `timeoutMs` for the reply.
Reply Ask(const Fields& request, int timeoutMs = 20000);

// A connected socket to the service; -1 when there is no service, or the socket is not served by
// root (Ask() then answers Failed). The caller owns it.
int Connect(std::string* why = nullptr);

// A "watch" the service has accepted: the socket its notifications come on (the caller owns
// it), with the bytes that came after the answer in `rest`; -1 when there is no service or it
// refused.
int Watch(std::string* rest, int timeoutMs = 20000);

}  // namespace control
