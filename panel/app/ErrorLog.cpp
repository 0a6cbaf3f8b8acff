#include "panel/app/ErrorLog.h"

#include "lib/platform/core/Locale.h"
#include "lib/platform/files/SharedLog.h"

namespace app {

void AppendErrorLog(const std::string& message) {
    const std::string line = platform::LongTimeNow() + "\t" + message + "\r\n";
    platform::AppendToFile("Error.log", line);
}

}  // namespace app
