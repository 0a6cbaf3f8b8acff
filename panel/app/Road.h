// Which road the panel takes at its start, from what the system service says of this account:
//  - a member of its group (a child's account): the settings are changed from a parent's account,
//    and the panel says so and ends, taking no password here;
//  - a parent's account (group veltrix-parents, or root): the family list, and every child's
//    sealed settings through the service;
//  - otherwise (no service: a checkout's run; an account outside both groups; a service that does
//    not answer, which then unlocks nothing): the account's own store.
#pragma once

#include <memory>
#include <string>

class QWidget;

#include "panel/family/FamilyWindow.h"

namespace app {

struct Windows;

enum class Road { OwnStore, Child, Parent };

Road ChooseRoad();

// The parent's road: the family list as the main form, opening the panel's windows on the
// chosen child.
class FamilyRoad {
  public:
    explicit FamilyRoad(Windows& windows);
    ~FamilyRoad();
    family::TFamilyForm& Form() { return *form_; }
    // Opens the main window on `member`'s settings (closing, and so saving, another child's).
    void Open(const family::MemberState& chosen);
    // Answers `member`'s open request: opens its windows (the password asked as for Open), then
    // "More time today" with what the child asked (the parent may change it), or the refusal.
    // The list may be read anew while the password is asked: `member` is the caller's own copy.
    void Answer(const family::MemberState& member, bool grant);

  private:
    void CloseChild();
    void Beside(QWidget& window);
    Windows& windows_;
    std::unique_ptr<family::TFamilyForm> form_;
};

}  // namespace app
