// How the child's windows reach the service: one request, one reply (control::Ask; the tests
// give one that asks as a throwaway member).
#pragma once

#include <functional>

#include "lib/control/Client.h"

namespace child {

using Asker = std::function<control::Reply(const control::Fields& request)>;

inline Asker ServiceAsker() {
    return [](const control::Fields& request) { return control::Ask(request, 10000); };
}

}  // namespace child
