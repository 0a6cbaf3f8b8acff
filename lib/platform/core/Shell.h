// Shell execute, default verb, normal window. An executable file is started detached in the
// current directory (the child inherits it); a web address goes to the desktop's default browser
// ($VELTRIX_BROWSER when set, else xdg-open). The caller never looks at the outcome, but a failed
// start is written to the diagnostic stream.
#pragma once

#include <string>

namespace platform {

void ShellExecute(const std::string& file);

}  // namespace platform
