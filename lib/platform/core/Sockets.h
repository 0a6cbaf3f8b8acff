// The Windows Sockets 1.1 subset the socket component uses, over POSIX non-blocking IPv4 sockets
// and Qt's event loop.
//
//  - Handles are 16-bit; INVALID_SOCKET (65535) means no socket. Errors are the Windows Sockets
//    codes (10035 would-block, 10061 refused, 11001 host not found ...) mapped from errno and
//    getaddrinfo, read with WSAGetLastError().
//  - WSAAsyncSelect reproduces the Windows notification rules: FD_CONNECT once with its error
//    (then FD_WRITE on success); FD_WRITE after the connect and again only after a send that
//    failed with 10035 once space returns; FD_READ while data waits, one message at a time,
//    re-armed by every recv (a failing one too); FD_CLOSE once, after the data before it (error
//    0 for an orderly close, 10054 for a reset). Switching notifications off, or closesocket,
//    stops new messages at once; messages already queued still arrive.
//  - WSAAsyncGetHostByName runs getaddrinfo on a helper thread that touches only its own copy
//    of the name, and answers exactly once with one message; the host entry (a hostent followed
//    by everything it points to) is written into the caller's buffer on the user-interface
//    thread just before the message is handled, and only while the window still exists. A buffer
//    too small gives 10055 and is not written.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "lib/platform/core/Messages.h"

namespace platform::winsock {

using SOCKET = std::uint16_t;
inline constexpr SOCKET INVALID_SOCKET = 65535;
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_INET_ = 2;
inline constexpr int SOCK_STREAM_ = 1;
inline constexpr int IPPROTO_TCP_ = 6;

inline constexpr long FD_READ = 1, FD_WRITE = 2, FD_OOB = 4, FD_ACCEPT = 8, FD_CONNECT = 16,
                      FD_CLOSE = 32;

inline constexpr int WSAEINTR = 10004, WSAEBADF = 10009, WSAEACCES = 10013, WSAEFAULT = 10014,
                     WSAEINVAL = 10022, WSAEMFILE = 10024, WSAEWOULDBLOCK = 10035,
                     WSAEINPROGRESS = 10036, WSAEALREADY = 10037, WSAENOTSOCK = 10038,
                     WSAEMSGSIZE = 10040, WSAEAFNOSUPPORT = 10047, WSAEADDRINUSE = 10048,
                     WSAEADDRNOTAVAIL = 10049, WSAENETDOWN = 10050, WSAENETUNREACH = 10051,
                     WSAENETRESET = 10052, WSAECONNABORTED = 10053, WSAECONNRESET = 10054,
                     WSAENOBUFS = 10055, WSAEISCONN = 10056, WSAENOTCONN = 10057,
                     WSAESHUTDOWN = 10058, WSAETIMEDOUT = 10060, WSAECONNREFUSED = 10061,
                     WSAEHOSTDOWN = 10064, WSAEHOSTUNREACH = 10065, WSANOTINITIALISED = 10093,
                     WSAHOST_NOT_FOUND = 11001, WSATRY_AGAIN = 11002, WSANO_RECOVERY = 11003,
                     WSANO_DATA = 11004;

struct WSADATA {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
};

int WSAStartup(std::uint16_t versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);
int ErrorFromErrno(int error);
int ErrorFromGai(int error);

SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int SetLinger(SOCKET s, bool on, int seconds);  // setsockopt(SOL_SOCKET, SO_LINGER)
int connect(SOCKET s, const sockaddr_in* address, int length);
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
SOCKET accept(SOCKET s, sockaddr_in* address, int* length);
int WSAAsyncSelect(SOCKET s, HWND window, unsigned message, long events);
// Returns a non-zero task handle, or 0 with the last error set.
int WSAAsyncGetHostByName(HWND window, unsigned message, const char* name, char* buffer,
                          int bufferLength);

// a.b.c.d, a.b.c, a.b and a, each part decimal, octal (leading 0) or hex (0x), in network order;
// anything else and the empty text give INADDR_NONE (255.255.255.255).
std::uint32_t inet_addr(const char* text);
inline std::uint16_t htons(std::uint16_t v) {
    return static_cast<std::uint16_t>((v << 8) | (v >> 8));
}

inline LPARAM WSAMAKESELECTREPLY(int event, int error) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(error) << 16) |
                               static_cast<std::uint32_t>(event));
}
inline int WSAGETSELECTEVENT(LPARAM l) {
    return static_cast<int>(l & 0xFFFF);
}
inline int WSAGETSELECTERROR(LPARAM l) {
    return static_cast<int>((static_cast<std::uint64_t>(l) >> 16) & 0xFFFF);
}

// Sockets open right now (tests check that nothing leaks).
int OpenSocketCount();
// Failure injection for tests: every lookup's helper thread waits this long before it answers.
void SetLookupDelayForTesting(int milliseconds);
// Failure injection for tests: the next `count` calls of socket() fail with WSAEMFILE.
void FailSocketsForTesting(int count);

}  // namespace platform::winsock
