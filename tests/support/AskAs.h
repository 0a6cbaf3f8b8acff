// The service's reply to a request asked as another account (a throwaway member, a container's
// uid), from a process of its own that takes that account's uid and gid.
#pragma once

#include <sys/types.h>

#include "lib/control/Client.h"

namespace testing_support {

control::Reply AskAs(uid_t uid, gid_t gid, const control::Fields& request, int timeoutMs = 10000);

}  // namespace testing_support
