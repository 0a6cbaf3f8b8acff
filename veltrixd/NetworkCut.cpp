#include "veltrixd/NetworkCut.h"

#include <nftables/libnftables.h>

#include <algorithm>
#include <cstdlib>

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
                       "  chain output {\n"
                       "    type filter hook output priority filter; policy accept;\n"
                       "    oifname \"lo\" accept\n"
                       "    meta skuid @cut meta l4proto tcp reject with tcp reset\n"
                       "    meta skuid @cut reject\n"
                       "  }\n"
                       "}\n",
                   why);
    ranges_.clear();
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
    return true;
}

void NetworkCut::Remove() {
    if (!working_) return;
    Run("delete table inet " + table_ + "\n", nullptr);
    working_ = false;
    ranges_.clear();
}

}  // namespace veltrixd
