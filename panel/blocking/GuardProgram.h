// The control panel's side of the guard program Sentrel.exe: it starts it, and leaves the
// switches it follows in the settings store. It never signals, stops or waits for it.
#pragma once

#include <string>

namespace blocking {

// Program directory + "Sentrel.exe".
std::string GuardPath();
// Shell-executes the guard program; the outcome is not looked at.
void StartGuard();

// One store use writing "NeedJobOrNot" (visible switches) or "NeedGuardOrNot" (hidden ones).
void SetNeedJob(bool on);
void SetNeedGuard(bool on);

}  // namespace blocking
