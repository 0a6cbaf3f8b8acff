// Not a product target: aborts on the input "abort", so a test can prove that a crashing target
// fails tools/fuzz.sh.
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (std::string_view(reinterpret_cast<const char*>(data), size) == "abort") std::abort();
    return 0;
}
