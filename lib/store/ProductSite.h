// Where the product web site lives: a build-time host, which tests and demos override with
// $VELTRIX_SITE ("host" or "host:port").
#pragma once

#include <cstdlib>
#include <string>

#ifndef VELTRIX_SITE_HOST
#define VELTRIX_SITE_HOST "www.veltrix.example"
#endif
#ifndef VELTRIX_VERSION
#define VELTRIX_VERSION "0"
#endif

namespace store {

// "Veltrix v1.0": the program's name and version as it introduces itself to the site.
inline constexpr const char* kProductVersion = "Veltrix v" VELTRIX_VERSION;

inline std::string ProductHost() {
    const char* site = std::getenv("VELTRIX_SITE");
    return site && *site ? site : VELTRIX_SITE_HOST;
}

// "http://" + host + path.
inline std::string ProductUrl(const std::string& path) {
    return "http://" + ProductHost() + path;
}

}  // namespace store
