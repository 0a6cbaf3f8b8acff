// No internet for an account at its blocked hours: one nftables table of the service's own
// (`inet veltrix`), made through libnftables.
//  - Its output hook rejects every packet that a socket of a cut account sends anywhere but
//    loopback (TCP with a reset, the rest with "port unreachable", so a program is told at once
//    rather than left waiting). A listening socket's answer to a connection is the listener's,
//    so no connection from outside is ever made either.
//  - Its input hook drops what arrives from outside for a socket the kernel already knows to be
//    a cut account's (TCP connections, connected UDP sockets), and every datagram for a UDP port
//    a cut account's socket holds: an unconnected socket is known only by its port, which the
//    service reads from /proc/net/udp{,6} each second while an account is cut (`Refresh`).
// The accounts are a set of uid ranges (an account's own uid and its subordinate ranges of
// /etc/subuid, which rootless containers run as), replaced whole in one transaction, so no packet
// ever meets a half-made set. What other accounts send (the system's own services, a name server
// on loopback) passes.
//
// The table is the service's alone: made afresh at Start (one a crashed service left goes in the
// same transaction), removed at the end.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "veltrixd/Members.h"

struct nft_ctx;

namespace veltrixd {

inline constexpr int kCutPortsMs = 1000;  // how often a cut account's UDP ports are read again

class NetworkCut {
  public:
    explicit NetworkCut(std::string table = "veltrix");
    ~NetworkCut();  // removes the table
    NetworkCut(const NetworkCut&) = delete;
    NetworkCut& operator=(const NetworkCut&) = delete;

    // Makes the table with no account cut; false (and why) when nftables refuses or the kernel
    // has none: the service then stops programs alone.
    bool Start(std::string* why);
    bool Working() const { return working_; }
    // Cuts exactly `ranges` from now on (nothing is done when they are the ones cut already).
    bool Cut(const std::set<UidRange>& ranges, std::string* why);
    const std::set<UidRange>& Ranges() const { return ranges_; }
    // Reads the UDP ports the cut accounts hold again; false (and why) when nftables refused them.
    bool Refresh(std::string* why);
    void Remove();

  private:
    bool Run(const std::string& commands, std::string* why);
    bool SetPorts(const std::set<unsigned>& ports, std::string* why);

    std::string table_;
    nft_ctx* ctx_ = nullptr;
    bool working_ = false;
    std::set<UidRange> ranges_;
    std::set<unsigned> ports_;
};

// The local ports of the UDP sockets in `table` (/proc/net/udp's or udp6's text) owned by a uid of
// `ranges` and reachable from outside (not bound to a loopback address).
std::set<unsigned> UdpPortsOf(const std::string& table, const std::set<UidRange>& ranges);

}  // namespace veltrixd
