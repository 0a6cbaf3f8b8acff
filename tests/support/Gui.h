// Helpers for tests that drive real widgets on the offscreen platform.
#pragma once

#include <functional>

namespace platform {
class TForm;
}

namespace testing_support {

// Runs `action` as soon as `form` is up in its modal loop. If it never appears within the time
// limit, the test fails and the form (if shown) is closed so the test cannot hang.
void WhenModal(platform::TForm* form, std::function<void()> action, int timeoutMs = 20000);

// How often the main form asked the program to end since the last reset.
int TerminateRequests();
void ResetTerminateRequests();

// Number of top-level windows that are visible right now.
int VisibleTopLevels();

}  // namespace testing_support
