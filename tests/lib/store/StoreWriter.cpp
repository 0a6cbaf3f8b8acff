// A second process that writes the settings store over and over, as the store tool, an installer
// or a second panel would: a whole grid in one use, a single value, a deletion.
//   store-writer ITERATIONS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "lib/platform/registry/Registry.h"
#include "lib/store/ValueNames.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const int iterations = std::atoi(argv[1]);
    using platform::RegKey;
    using platform::RegType;
    using platform::Root;
    int failures = 0;
    for (int i = 0; i < iterations; ++i) {
        const std::string flag = i % 2 ? "1" : "0";
        if (auto key = RegKey::Open(Root::CurrentUser, store::kSettingsKey)) {
            for (int n = 1; n <= store::kHourFlags; ++n)
                failures += !key->Set(store::HourFlagName(n), RegType::Sz, platform::SzBytes(flag));
            failures += !key->Close();
        } else {
            ++failures;
        }
        if (auto key = RegKey::Open(Root::CurrentUser, store::kSettingsKey)) {
            std::string value(1, 'x');
            value += std::to_string(i);
            failures += !key->Set("App1", RegType::Sz, platform::SzBytes(value));
            failures += !key->Close();
        } else {
            ++failures;
        }
        if (auto key = RegKey::Open(Root::CurrentUser, store::kSettingsKey)) {
            failures += !key->Delete("App2");
            failures += !key->Close();
        } else {
            ++failures;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200 * (i % 5)));
    }
    std::printf("%d\n", failures);
    return failures ? 1 : 0;
}
