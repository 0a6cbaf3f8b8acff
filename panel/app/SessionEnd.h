// The end of the desktop session (log-out, SIGTERM, SIGHUP, SIGINT) closes the main window, so
// the shutdown sequence saves the parent's edits instead of losing them.
#pragma once

namespace platform {
class TForm;
}

namespace app {

void CloseOnSessionEnd(platform::TForm* mainForm);

}  // namespace app
