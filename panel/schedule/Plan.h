// The weekly plan as this account's store holds it (the sealed settings a parent saved, mirrored
// there for the child): the schedule's blocked hours where blocking is on, and the allowance.
#pragma once

#include "lib/enforce/Allowance.h"
#include "lib/enforce/Settings.h"

namespace schedule {

void ReadPlan(enforce::GuardSettings& schedule, enforce::Allowance& allowance);

}  // namespace schedule
