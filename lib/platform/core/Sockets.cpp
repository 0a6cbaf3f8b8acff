#include "lib/platform/core/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSocketNotifier>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace platform::winsock {
namespace {

thread_local int t_lastError = 0;
int g_startups = 0;

struct Entry {
    int fd = -1;
    QPointer<MessageWindow> window;
    unsigned message = 0;
    long events = 0;
    std::unique_ptr<QSocketNotifier> readNotifier, writeNotifier;
    bool connecting = false;
    bool connected = false;
    bool readPosted = false;  // an FD_READ is out; the next recv re-arms
    bool closeReported = false;
    bool wantWrite = false;  // a send would have blocked: report FD_WRITE when space returns
    bool failed = false;     // its connect failed: the next connect starts on a fresh socket
    bool linger = false;
    int lingerSeconds = 0;
};

std::map<SOCKET, std::unique_ptr<Entry>>& Table() {
    static std::map<SOCKET, std::unique_ptr<Entry>> table;
    return table;
}
SOCKET g_nextHandle = 1;

// Handles rotate through the 16-bit range, so a closed handle is not handed out again at once.
SOCKET NewHandle(int fd, bool connected) {
    auto next = [](SOCKET h) { return static_cast<SOCKET>(h >= 65534 ? 1 : h + 1); };
    while (Table().count(g_nextHandle)) g_nextHandle = next(g_nextHandle);
    const SOCKET s = g_nextHandle;
    g_nextHandle = next(g_nextHandle);
    auto e = std::make_unique<Entry>();
    e->fd = fd;
    e->connected = connected;
    Table()[s] = std::move(e);
    return s;
}

Entry* Find(SOCKET s) {
    auto it = Table().find(s);
    return it == Table().end() ? nullptr : it->second.get();
}

int Fail(int code) {
    t_lastError = code;
    return SOCKET_ERROR;
}
SOCKET FailSocket(int code) {
    t_lastError = code;
    return INVALID_SOCKET;
}

void Post(Entry& e, long event, int error) {
    if (!(e.events & event) || !e.window) return;
    PostMessage(e.window.data(), e.message, 0, WSAMAKESELECTREPLY(static_cast<int>(event), error));
}

void Rearm(Entry& e);

void OnReadable(Entry& e) {
    e.readNotifier->setEnabled(false);
    char probe;
    ssize_t n = ::recv(e.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        e.readPosted = true;
        Post(e, FD_READ, 0);
    } else if (n == 0) {
        e.closeReported = true;
        Post(e, FD_CLOSE, 0);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        Rearm(e);
    } else {
        e.closeReported = true;  // reset or another failure: abortive close
        Post(e, FD_CLOSE, ErrorFromErrno(errno));
    }
}

void OnWritable(Entry& e) {
    e.writeNotifier->setEnabled(false);
    if (e.connecting) {
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(e.fd, SOL_SOCKET, SO_ERROR, &error,
                     &len);  // first: Linux reports failures as writable
        e.connecting = false;
        if (error) {
            e.failed = true;
            Post(e, FD_CONNECT, ErrorFromErrno(error));
        } else {
            e.connected = true;
            // FD_WRITE follows FD_CONNECT: it is posted once the connect has been handled.
            if ((e.events & FD_CONNECT) && e.window) {
                QPointer<MessageWindow> window = e.window;
                const unsigned message = e.message;
                const bool write = e.events & FD_WRITE;
                PostMessageWith(e.window.data(), e.message, 0, WSAMAKESELECTREPLY(FD_CONNECT, 0),
                                {}, [window, message, write] {
                                    if (window && write)
                                        PostMessage(window.data(), message, 0,
                                                    WSAMAKESELECTREPLY(FD_WRITE, 0));
                                });
            } else {
                Post(e, FD_WRITE, 0);
            }
        }
    } else if (e.wantWrite) {
        e.wantWrite = false;
        Post(e, FD_WRITE, 0);
    }
    Rearm(e);
}

void Rearm(Entry& e) {
    if (!e.window || e.events == 0) {
        if (e.readNotifier) e.readNotifier->setEnabled(false);
        if (e.writeNotifier) e.writeNotifier->setEnabled(false);
        return;
    }
    const bool wantRead =
        e.connected && !e.readPosted && !e.closeReported && (e.events & (FD_READ | FD_CLOSE));
    const bool wantWritable = e.connecting || (e.wantWrite && e.connected);
    if (wantRead && !e.readNotifier) {
        e.readNotifier = std::make_unique<QSocketNotifier>(e.fd, QSocketNotifier::Read);
        Entry* self = &e;
        QObject::connect(e.readNotifier.get(), &QSocketNotifier::activated,
                         [self] { OnReadable(*self); });
    }
    if (wantWritable && !e.writeNotifier) {
        e.writeNotifier = std::make_unique<QSocketNotifier>(e.fd, QSocketNotifier::Write);
        Entry* self = &e;
        QObject::connect(e.writeNotifier.get(), &QSocketNotifier::activated,
                         [self] { OnWritable(*self); });
    }
    if (e.readNotifier) e.readNotifier->setEnabled(wantRead);
    if (e.writeNotifier) e.writeNotifier->setEnabled(wantWritable);
}

// Lookups answer through this object, which lives on the user-interface thread for the whole
// run: the helper thread never touches a window that may be gone.
const QEvent::Type kLookupEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct LookupAnswer final : QEvent {
    LookupAnswer() : QEvent(kLookupEvent) {}
    QPointer<MessageWindow> window;
    unsigned message = 0;
    int task = 0;
    char* buffer = nullptr;
    int bufferLength = 0;
    int error = 0;
    std::string name;
    std::vector<std::uint32_t> addresses;
};

std::size_t Align(std::size_t n) {
    return (n + alignof(void*) - 1) & ~(alignof(void*) - 1);
}

std::size_t HostEntrySize(const LookupAnswer& a) {
    return Align(sizeof(hostent)) + 2 * sizeof(char*) + (a.addresses.size() + 1) * sizeof(char*) +
           Align(a.name.size() + 1) + a.addresses.size() * 4;
}

// A hostent followed by everything it points to; the caller checked that it fits.
void WriteHostEntry(const LookupAnswer& a, char* buffer) {
    char* p = buffer;
    auto* he = reinterpret_cast<hostent*>(p);
    p += Align(sizeof(hostent));
    auto** aliases = reinterpret_cast<char**>(p);
    p += 2 * sizeof(char*);
    auto** list = reinterpret_cast<char**>(p);
    p += (a.addresses.size() + 1) * sizeof(char*);
    char* name = p;
    std::memcpy(name, a.name.c_str(), a.name.size() + 1);
    p += Align(a.name.size() + 1);
    aliases[0] = nullptr;
    aliases[1] = nullptr;
    for (std::size_t i = 0; i < a.addresses.size(); ++i) {
        std::memcpy(p, &a.addresses[i], 4);
        list[i] = p;
        p += 4;
    }
    list[a.addresses.size()] = nullptr;
    he->h_name = name;
    he->h_aliases = aliases;
    he->h_addrtype = AF_INET;
    he->h_length = 4;
    he->h_addr_list = list;
}

class LookupDispatcher final : public QObject {
  protected:
    bool event(QEvent* e) override {
        if (e->type() != kLookupEvent) return QObject::event(e);
        auto* a = static_cast<LookupAnswer*>(e);
        if (!a->window) return true;  // the asker is gone
        int error = a->error;
        const std::size_t need = HostEntrySize(*a);  // before the answer moves on
        if (!error && need > static_cast<std::size_t>(a->bufferLength)) error = WSAENOBUFS;
        auto answer = std::make_shared<LookupAnswer>();
        answer->name = std::move(a->name);
        answer->addresses = std::move(a->addresses);
        char* buffer = a->buffer;
        // The entry is written when the answer is read, so the late answer of an abandoned
        // lookup can never overwrite the buffer under a newer one.
        std::function<void()> fill;
        if (!error) fill = [answer, buffer] { WriteHostEntry(*answer, buffer); };
        PostMessageWith(a->window.data(), a->message, static_cast<WPARAM>(a->task),
                        WSAMAKESELECTREPLY(static_cast<int>(error ? 0 : need), error), fill);
        return true;
    }
};

LookupDispatcher* Dispatcher() {
    static LookupDispatcher* dispatcher = new LookupDispatcher;  // lives for the whole run
    return dispatcher;
}

int g_nextTask = 0;
std::atomic<int> g_lookupDelayMs{0};
int g_failSockets = 0;

}  // namespace

int ErrorFromErrno(int e) {
    switch (e) {
        case 0:
            return 0;
        case EWOULDBLOCK:
        case EINPROGRESS:
            return WSAEWOULDBLOCK;
        case EALREADY:
            return WSAEALREADY;
        case ENOTSOCK:
            return WSAENOTSOCK;
        case EMSGSIZE:
            return WSAEMSGSIZE;
        case EAFNOSUPPORT:
            return WSAEAFNOSUPPORT;
        case EADDRINUSE:
            return WSAEADDRINUSE;
        case EADDRNOTAVAIL:
            return WSAEADDRNOTAVAIL;
        case ENETDOWN:
            return WSAENETDOWN;
        case ENETUNREACH:
            return WSAENETUNREACH;
        case ENETRESET:
            return WSAENETRESET;
        case ECONNABORTED:
            return WSAECONNABORTED;
        case ECONNRESET:
        case EPIPE:
            return WSAECONNRESET;
        case ENOBUFS:
            return WSAENOBUFS;
        case EISCONN:
            return WSAEISCONN;
        case ENOTCONN:
            return WSAENOTCONN;
        case ESHUTDOWN:
            return WSAESHUTDOWN;
        case ETIMEDOUT:
            return WSAETIMEDOUT;
        case ECONNREFUSED:
            return WSAECONNREFUSED;
        case EHOSTDOWN:
            return WSAEHOSTDOWN;
        case EHOSTUNREACH:
            return WSAEHOSTUNREACH;
        case EINTR:
            return WSAEINTR;
        case EBADF:
            return WSAEBADF;
        case EACCES:
        case EPERM:
            return WSAEACCES;
        case EFAULT:
            return WSAEFAULT;
        case EINVAL:
            return WSAEINVAL;
        case EMFILE:
        case ENFILE:
            return WSAEMFILE;
        default:
            return WSAEINVAL;
    }
}

int ErrorFromGai(int e) {
    switch (e) {
        case 0:
            return 0;
        case EAI_NONAME:
            return WSAHOST_NOT_FOUND;
        case EAI_AGAIN:
            return WSATRY_AGAIN;
        case EAI_FAIL:
            return WSANO_RECOVERY;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
            return WSANO_DATA;
#endif
        case EAI_MEMORY:
            return WSAENOBUFS;
        case EAI_SYSTEM:
            return ErrorFromErrno(errno);
        default:
            return WSANO_RECOVERY;
    }
}

int WSAStartup(std::uint16_t versionRequested, WSADATA* data) {
    ++g_startups;
    if (data) {
        *data = WSADATA{};
        data->wVersion = versionRequested < 0x0101 ? versionRequested : 0x0101;
        data->wHighVersion = 0x0101;
        std::strcpy(data->szDescription, "POSIX sockets over the Qt event loop");
        std::strcpy(data->szSystemStatus, "Running");
        data->iMaxSockets = 65534;
        data->iMaxUdpDg = 65507;
    }
    return 0;
}

int WSACleanup() {
    if (g_startups == 0) return Fail(WSANOTINITIALISED);
    --g_startups;
    return 0;
}

int WSAGetLastError() {
    return t_lastError;
}
void WSASetLastError(int error) {
    t_lastError = error;
}

SOCKET socket(int af, int type, int protocol) {
    if (g_startups == 0) return FailSocket(WSANOTINITIALISED);
    if (af != AF_INET_) return FailSocket(WSAEAFNOSUPPORT);
    if (type != SOCK_STREAM_) return FailSocket(WSAEINVAL);
    if (protocol != 0 && protocol != IPPROTO_TCP_) return FailSocket(WSAEINVAL);
    if (Table().size() >= 65534) return FailSocket(WSAEMFILE);
    if (g_failSockets > 0) {
        --g_failSockets;
        return FailSocket(WSAEMFILE);
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return FailSocket(ErrorFromErrno(errno));
    return NewHandle(fd, false);
}

int closesocket(SOCKET s) {
    auto it = Table().find(s);
    if (it == Table().end()) return Fail(WSAENOTSOCK);
    std::unique_ptr<Entry> e = std::move(it->second);
    Table().erase(it);
    e->readNotifier.reset();
    e->writeNotifier.reset();
    ::close(e->fd);
    return 0;
}

int SetLinger(SOCKET s, bool on, int seconds) {
    Entry* e = Find(s);
    if (!e) return Fail(WSAENOTSOCK);
    linger l{on ? 1 : 0, seconds};
    if (::setsockopt(e->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0)
        return Fail(ErrorFromErrno(errno));
    e->linger = on;
    e->lingerSeconds = seconds;
    return 0;
}

int connect(SOCKET s, const sockaddr_in* address, int length) {
    Entry* e = Find(s);
    if (!e) return Fail(WSAENOTSOCK);
    if (!address || length < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
    if (e->connected) return Fail(WSAEISCONN);
    if (e->connecting) return Fail(WSAEALREADY);
    if (e->failed) {
        // Windows lets a socket whose connect failed try again; a POSIX socket cannot, so the
        // handle gets a fresh one with the same options.
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return Fail(ErrorFromErrno(errno));
        e->readNotifier.reset();
        e->writeNotifier.reset();
        ::close(e->fd);
        e->fd = fd;
        e->failed = false;
        if (e->linger) {
            linger l{1, e->lingerSeconds};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
    }
    sockaddr_in to = *address;
    to.sin_family = AF_INET;
    int rc = ::connect(e->fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const int error = rc == 0 ? 0 : errno;
    if (rc == 0 || error == EINPROGRESS || error == ECONNREFUSED || error == ENETUNREACH ||
        error == EHOSTUNREACH || error == ETIMEDOUT) {
        // As on Windows, a non-blocking connect always reports its outcome by notification.
        e->connecting = true;
        Rearm(*e);
        return Fail(WSAEWOULDBLOCK);
    }
    return Fail(ErrorFromErrno(error));
}

int send(SOCKET s, const char* buffer, int length, int /*flags*/) {
    Entry* e = Find(s);
    if (!e) return Fail(WSAENOTSOCK);
    if (!e->connected) return Fail(WSAENOTCONN);
    if (length < 0) return Fail(WSAEINVAL);
    ssize_t n =
        ::send(e->fd, buffer, static_cast<std::size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
        const int code = ErrorFromErrno(errno);
        if (code == WSAEWOULDBLOCK) {
            e->wantWrite = true;
            Rearm(*e);
        }
        return Fail(code);
    }
    return static_cast<int>(n);
}

int recv(SOCKET s, char* buffer, int length, int /*flags*/) {
    Entry* e = Find(s);
    if (!e) return Fail(WSAENOTSOCK);
    if (length < 0) return Fail(WSAEINVAL);
    ssize_t n = ::recv(e->fd, buffer, static_cast<std::size_t>(length), MSG_DONTWAIT);
    const int error = n < 0 ? errno : 0;
    e->readPosted = false;  // every receive re-arms, a failing one too
    Rearm(*e);
    if (n < 0) return Fail(e->connected || error != ENOTCONN ? ErrorFromErrno(error) : WSAENOTCONN);
    return static_cast<int>(n);
}

SOCKET accept(SOCKET s, sockaddr_in* address, int* length) {
    Entry* e = Find(s);
    if (!e) return FailSocket(WSAENOTSOCK);
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd =
        ::accept4(e->fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return FailSocket(ErrorFromErrno(errno));
    if (address) *address = peer;
    if (length) *length = static_cast<int>(sizeof peer);
    return NewHandle(fd, true);
}

int WSAAsyncSelect(SOCKET s, HWND window, unsigned message, long events) {
    Entry* e = Find(s);
    if (!e) return Fail(WSAENOTSOCK);
    e->window = window;
    e->message = message;
    e->events = window ? events : 0;
    Rearm(*e);
    return 0;
}

int WSAAsyncGetHostByName(HWND window, unsigned message, const char* name, char* buffer,
                          int bufferLength) {
    if (g_startups == 0) return Fail(WSANOTINITIALISED) & 0;
    if (!window || !name || !buffer || bufferLength <= 0) return Fail(WSAEFAULT) & 0;
    const std::size_t length = ::strnlen(name, 256);
    if (length > 255) return Fail(WSAEFAULT) & 0;  // longer than any host name can be
    const int task = ++g_nextTask == 0 ? ++g_nextTask : g_nextTask;
    auto* answer = new LookupAnswer;
    answer->window = window;
    answer->message = message;
    answer->task = task;
    answer->buffer = buffer;
    answer->bufferLength = bufferLength;
    answer->name.assign(name, length);
    LookupDispatcher* to = Dispatcher();
    const int delay = g_lookupDelayMs.load();
    std::thread([answer, to, delay] {
        if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int rc = ::getaddrinfo(answer->name.c_str(), nullptr, &hints, &found);
        answer->error = ErrorFromGai(rc);
        for (addrinfo* p = found; p; p = p->ai_next)
            answer->addresses.push_back(
                reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
        if (found && found->ai_canonname) answer->name = found->ai_canonname;
        if (found) ::freeaddrinfo(found);
        if (!answer->error && answer->addresses.empty()) answer->error = WSANO_DATA;
        QCoreApplication::postEvent(to, answer);
    }).detach();
    return task;
}

std::uint32_t inet_addr(const char* text) {
    if (!text || !*text) return INADDR_NONE;
    std::uint64_t parts[4];
    int count = 0;
    const char* p = text;
    while (true) {
        if (count == 4) return INADDR_NONE;
        int base = 10;
        if (*p == '0') {
            base = 8;
            if (p[1] == 'x' || p[1] == 'X') {
                base = 16;
                p += 2;
                if (!std::isxdigit(static_cast<unsigned char>(*p))) return INADDR_NONE;
            }
        }
        if (!std::isxdigit(static_cast<unsigned char>(*p))) return INADDR_NONE;
        std::uint64_t v = 0;
        while (true) {
            const char c = *p;
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (base == 16 && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                break;
            if (d >= base) return INADDR_NONE;
            v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
            if (v > 0xFFFFFFFFull) return INADDR_NONE;
            ++p;
        }
        parts[count++] = v;
        if (*p == '.') {
            ++p;
            continue;
        }
        if (*p != '\0') return INADDR_NONE;
        break;
    }
    std::uint64_t host = 0;
    switch (count) {
        case 1:
            host = parts[0];
            break;
        case 2:
            if (parts[0] > 0xFF || parts[1] > 0xFFFFFF) return INADDR_NONE;
            host = (parts[0] << 24) | parts[1];
            break;
        case 3:
            if (parts[0] > 0xFF || parts[1] > 0xFF || parts[2] > 0xFFFF) return INADDR_NONE;
            host = (parts[0] << 24) | (parts[1] << 16) | parts[2];
            break;
        default:
            for (int i = 0; i < 4; ++i)
                if (parts[i] > 0xFF) return INADDR_NONE;
            host = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    }
    return htonl(static_cast<std::uint32_t>(host));
}

int OpenSocketCount() {
    return static_cast<int>(Table().size());
}

void SetLookupDelayForTesting(int milliseconds) {
    g_lookupDelayMs = milliseconds;
}
void FailSocketsForTesting(int count) {
    g_failSockets = count;
}

}  // namespace platform::winsock
