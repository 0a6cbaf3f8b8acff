// Which of the children's open requests ("asks") a parent has not been told of yet. A request is
// the same while the child's account, the time it was asked, the minutes and the reason are;
// one that was answered is forgotten, so a later one with the same words is told again.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "lib/control/Protocol.h"

namespace notifier {

struct Asked {
    std::string account, minutes, at, reason;
    // "kid asks for 30 more minutes: maths homework"
    std::string Text() const;
    bool operator<(const Asked& other) const;
};

// A notification's body for `text`: where the notification service renders markup in bodies,
// the child's words are escaped, so a reason never becomes a link, an image or bold text.
std::string BodyText(const std::string& text, bool markup);

class NewRequests {
  public:
    // The requests of an "asks" reply not told before; nothing for a reply that is not one (the
    // open ones stay known).
    std::vector<Asked> Take(const control::Fields& reply);

  private:
    std::set<Asked> told_;
};

}  // namespace notifier
