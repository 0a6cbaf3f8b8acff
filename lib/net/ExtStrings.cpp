#include "lib/net/ExtStrings.h"

#include <algorithm>
#include <cctype>

namespace net {

int CompareText(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int TExStringList::IndexOfHeader(const std::string& name) const {
    auto nameOf = [](const std::string& line, bool& hasColon) {
        const auto colon = line.find(':');
        hasColon = colon != std::string::npos;
        return hasColon ? line.substr(0, colon) : std::string();
    };
    if (!Sorted) {
        for (int i = 0; i < Count(); ++i) {
            bool hasColon = false;
            const std::string lineName = nameOf(Strings[static_cast<std::size_t>(i)], hasColon);
            if (hasColon && CompareText(lineName, name) == 0) return i;
        }
        return -1;
    }
    int low = 0, high = Count() - 1;
    while (high + 1 != low && low <= high) {
        const int middle = low + (high - low) / 2;
        bool hasColon = false;
        const int c =
            CompareText(nameOf(Strings[static_cast<std::size_t>(middle)], hasColon), name);
        if (c == 0) return middle;
        if (c < 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

void TExStringList::SetHeader(const std::string& name, const std::string& value) {
    int index = IndexOfHeader(name);
    if (value.empty()) {
        if (index >= 0) Delete(index);
        return;
    }
    if (index < 0) {
        Add({});
        index = Count() - 1;
    }
    Strings[static_cast<std::size_t>(index)] = name + ": " + value;
}

}  // namespace net
