// Runs a function when the enclosing scope ends, by return or by exception: the one way this code
// restores a flag, closes a window or ends a model reset whatever happens in between.
//   const rtl::ScopeExit restore([&] { busy = false; });
#pragma once

#include <utility>

namespace rtl {

template <class F>
class [[nodiscard]] ScopeExit {
  public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ~ScopeExit() { f_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ScopeExit(ScopeExit&&) = delete;
    ScopeExit& operator=(ScopeExit&&) = delete;

  private:
    F f_;
};

}  // namespace rtl
