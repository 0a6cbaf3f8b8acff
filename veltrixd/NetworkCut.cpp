#include "veltrixd/NetworkCut.h"

#include <nftables/libnftables.h>

#include <fcntl.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "lib/platform/files/ReadFile.h"

namespace veltrixd {

NetworkCut::NetworkCut(std::string table) : table_(std::move(table)) {}

NetworkCut::~NetworkCut() {
    Remove();
    if (ctx_) nft_ctx_free(ctx_);
}

bool NetworkCut::Run(const std::string& commands, std::string* why) {
    if (!ctx_) {
        ctx_ = nft_ctx_new(NFT_CTX_DEFAULT);
        if (!ctx_) {
            if (why) *why = "libnftables cannot be used";
            return false;
        }
        nft_ctx_buffer_output(ctx_);
        nft_ctx_buffer_error(ctx_);
    }
    if (nft_run_cmd_from_buffer(ctx_, commands.c_str()) == 0) return true;
    if (why) {
        *why = nft_ctx_get_error_buffer(ctx_);
        while (!why->empty() && (why->back() == '\n' || why->back() == ' ')) why->pop_back();
        const std::size_t line = why->find('\n');
        if (line != std::string::npos) why->resize(line);  // its first line says it
        if (why->empty()) *why = "nftables refused the table";
    }
    return false;
}

bool NetworkCut::Start(std::string* why) {
    const std::string t = "inet " + table_;
    // (add, then delete: one transaction that also works when no table was left before)
    working_ = Run("add table " + t + "\ndelete table " + t + "\ntable " + t +
                       " {\n"
                       "  set cut { type uid; flags interval; }\n"
                       "  set ports { type inet_service; }\n"
                       "  chain output {\n"
                       "    type filter hook output priority filter; policy accept;\n"
                       "    oifname \"lo\" accept\n"
                       "    meta skuid @cut meta l4proto tcp reject with tcp reset\n"
                       "    meta skuid @cut reject\n"
                       "  }\n"
                       "  chain input {\n"
                       "    type filter hook input priority filter; policy accept;\n"
                       "    iifname \"lo\" accept\n"
                       "    meta skuid @cut drop\n"
                       "    udp dport @ports drop\n"
                       "  }\n"
                       "}\n",
                   why);
    ranges_.clear();
    ports_.clear();
    return working_;
}

bool NetworkCut::Cut(const std::set<UidRange>& ranges, std::string* why) {
    if (!working_) {
        if (why) *why = "the table is not there";
        return false;
    }
    if (ranges == ranges_) return true;
    // An interval set takes no overlapping elements: ranges that meet are one.
    std::vector<UidRange> merged;
    for (const UidRange& r : ranges) {
        if (!merged.empty() && r.first <= merged.back().second + 1ULL)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    }
    std::string elements;
    for (const auto& [first, last] : merged) {
        if (!elements.empty()) elements.append(", ");
        elements.append(std::to_string(first));
        if (last != first) elements.append("-").append(std::to_string(last));
    }
    std::string commands = "flush set inet " + table_ + " cut\n";
    if (!elements.empty()) commands += "add element inet " + table_ + " cut { " + elements + " }\n";
    if (!Run(commands, why)) return false;
    ranges_ = ranges;
    return Refresh(why);
}

bool NetworkCut::Refresh(std::string* why) {
    if (!working_) return false;
    std::set<unsigned> ports;
    if (!ranges_.empty())
        for (const char* table : {"/proc/net/udp", "/proc/net/udp6"})
            ports.merge(UdpPortsOf(platform::ReadFileAt(AT_FDCWD, table, 16u << 20), ranges_));
    return SetPorts(ports, why);
}

bool NetworkCut::SetPorts(const std::set<unsigned>& ports, std::string* why) {
    if (ports == ports_) return true;
    std::string commands = "flush set inet " + table_ + " ports\n";
    if (!ports.empty()) {
        std::string elements;
        for (unsigned port : ports) {
            if (!elements.empty()) elements.append(", ");
            elements.append(std::to_string(port));
        }
        commands += "add element inet " + table_ + " ports { " + elements + " }\n";
    }
    if (!Run(commands, why)) return false;
    ports_ = ports;
    return true;
}

std::set<unsigned> UdpPortsOf(const std::string& table, const std::set<UidRange>& ranges) {
    std::set<unsigned> ports;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
        // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ..."
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits;
        unsigned long long uid = 0;
        if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid))
            continue;
        const std::size_t colon = local.find(':');
        if (colon == std::string::npos || (colon != 8 && colon != 32)) continue;
        const bool owned = std::any_of(ranges.begin(), ranges.end(), [&](const UidRange& r) {
            return uid >= r.first && uid <= r.second;
        });
        if (!owned) continue;
        const std::string address = local.substr(0, colon);
        // 127.0.0.0/8 (its first byte is the last one written), ::1, ::ffff:127.0.0.0/104
        const bool loopback =
            (colon == 8 && address.substr(6) == "7F") ||
            (colon == 32 && (address == "00000000000000000000000001000000" ||
                             (address.substr(0, 16) == "0000000000000000" &&
                              address.substr(16, 8) == "FFFF0000" && address.substr(30) == "7F")));
        if (loopback) continue;
        char* end = nullptr;
        const unsigned long port = std::strtoul(local.c_str() + colon + 1, &end, 16);
        if (end && *end == '\0' && port > 0 && port <= 65535) ports.insert(unsigned(port));
    }
    return ports;
}

void NetworkCut::Remove() {
    if (!working_) return;
    Run("delete table inet " + table_ + "\n", nullptr);
    working_ = false;
    ranges_.clear();
    ports_.clear();
}

}  // namespace veltrixd
