// A test executable that makes accounts or starts services leads a process group of its own from
// its first moment, so that nothing it or they signal by group can reach the test runner.
#pragma once

#include <unistd.h>

namespace testing_support {

struct OwnProcessGroup {
    OwnProcessGroup() { ::setpgid(0, 0); }
};
inline const OwnProcessGroup kOwnProcessGroup;

}  // namespace testing_support
