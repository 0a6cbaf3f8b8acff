#include "panel/blocking/GuardProgram.h"

#include "lib/platform/core/Application.h"
#include "lib/platform/core/Shell.h"
#include "lib/store/SettingsStore.h"

namespace guard {
namespace {
void SetSwitch(const char* name, bool on) {
    store::WithSettings([&](store::TRegistry& reg) { reg.WriteString(name, on ? "Yes" : "No"); });
}
}  // namespace

std::string GuardPath() {
    return platform::Application::ProgramDirectory() + store::kGuardExe;
}

void StartGuard() {
    platform::ShellExecute(GuardPath());
}

void SetNeedJob(bool on) {
    SetSwitch(store::kNeedJob, on);
}
void SetNeedGuard(bool on) {
    SetSwitch(store::kNeedGuard, on);
}

}  // namespace guard
