#include "panel/blocking/GuardProgram.h"

#include "lib/platform/core/Application.h"
#include "lib/platform/core/Shell.h"
#include "lib/store/ValueNames.h"
#include "panel/settings/Settings.h"

namespace blocking {
namespace {
void SetSwitch(const char* name, bool on) {
    settings::With([&](settings::Values& reg) { reg.WriteString(name, on ? "Yes" : "No"); });
}
}  // namespace

std::string GuardPath() {
    return platform::Application::ProgramDirectory() + store::kGuardExe;
}

void StartGuard() {
    // From a parent's account the guard is the child's: its login starts it there.
    if (settings::Current().GuardRunsHere()) platform::ShellExecute(GuardPath());
}

void SetNeedJob(bool on) {
    SetSwitch(store::kNeedJob, on);
}
void SetNeedGuard(bool on) {
    SetSwitch(store::kNeedGuard, on);
}

}  // namespace blocking
