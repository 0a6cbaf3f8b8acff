#include "notifier/NewRequests.h"

#include <tuple>

namespace notifier {

std::string Asked::Text() const {
    std::string text = account + (minutes == "hour" ? " asks for the rest of this hour"
                                                    : " asks for " + minutes + " more minutes");
    if (!reason.empty() && reason != "-") text.append(": ").append(reason);
    return text;
}

std::string BodyText(const std::string& text, bool markup) {
    if (!markup) return text;
    std::string body;
    for (const char c : text) {
        switch (c) {
            case '&':
                body += "&amp;";
                break;
            case '<':
                body += "&lt;";
                break;
            case '>':
                body += "&gt;";
                break;
            case '"':
                body += "&quot;";
                break;
            case '\'':
                body += "&#39;";
                break;
            default:
                body += c;
        }
    }
    return body;
}

bool Asked::operator<(const Asked& other) const {
    return std::tie(account, at, minutes, reason) <
           std::tie(other.account, other.at, other.minutes, other.reason);
}

std::vector<Asked> NewRequests::Take(const control::Fields& reply) {
    if (reply.empty() || reply[0] != "ok") return {};
    std::set<Asked> open;
    for (std::size_t i = 1; i < reply.size(); ++i) {
        const control::Parsed line = control::Parse(reply[i] + "\n");
        if (line.status != control::Parsed::Ok || line.fields.size() != 4) return {};
        open.insert({line.fields[0], line.fields[1], line.fields[2], line.fields[3]});
    }
    std::vector<Asked> fresh;
    for (const Asked& a : open)
        if (!told_.contains(a)) fresh.push_back(a);
    told_ = std::move(open);
    return fresh;
}

}  // namespace notifier
