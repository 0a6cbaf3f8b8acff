// Error.log: one line per exception that reached the application: local time of day in the
// user's long time format, TAB, the message, CR LF. The file is taken by its bare name in the
// current directory, opened for appending (created when missing), written and closed for every
// line. When it cannot be opened or written the handler stays quiet.
#pragma once

#include <string>

namespace app {

void AppendErrorLog(const std::string& message);

}  // namespace app
