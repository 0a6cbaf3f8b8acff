// The autostart entry: the string value "Sentrel" under the machine-wide Run key, holding the
// guard program's full path (no quotes, no arguments) or the empty text. Never deleted. A user
// who may not write the machine-wide root leaves it as it was, silently.
#pragma once

namespace blocking {

void WriteAutostart(bool runAtLogin);

}  // namespace blocking
