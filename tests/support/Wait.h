// Waiting in tests: on a condition, never on a fixed time alone.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace testing_support {

// Asks `done` until it holds, at most `ms` milliseconds (and once more at the end); whether it
// held.
inline bool Eventually(const std::function<bool()>& done, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return done();
}

}  // namespace testing_support
