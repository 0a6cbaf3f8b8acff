// The URL split on any URL: it raises only its documented exceptions and leaves a path that
// starts with "/" and fits 256 characters.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lib/net/HttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static net::THttpClient* client = new net::THttpClient;
    client->RequestURL.assign(reinterpret_cast<const char*>(data), size);
    client->Port = 0;
    try {
        client->SplitURL();
    } catch (const rtl::Exception&) {
        return 0;  // "Empty URL" or a port that is not a number
    }
    if (client->RequestPath.empty() || client->RequestPath.size() > 256) std::abort();
    if (client->Port == 0 && size > 0 && client->RequestURL.find(':') == std::string::npos)
        std::abort();
    return 0;
}
