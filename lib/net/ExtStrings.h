// TExStringList: a string list of "Name: value" lines, as the HTTP client builds a request.
#pragma once

#include <string>

#include "lib/rtl/Classes.h"

namespace net {

class TExStringList : public rtl::TStringList {
  public:
    // Index of the first line whose name (the text before its first ":") equals `name`, without
    // regard to letter case; -1 when none. An unsorted list is searched from the top, skipping
    // lines without ":"; a sorted one by bisection over the names.
    int IndexOfHeader(const std::string& name) const;
    // A non-empty value replaces the line of `name` (or appends one) with "name: value"; an
    // empty value deletes the line of `name` if there is one.
    void SetHeader(const std::string& name, const std::string& value);
};

// Case-insensitive comparison of two texts: < 0, 0, > 0.
int CompareText(const std::string& a, const std::string& b);

}  // namespace net
