// The service's word to the journal (stderr under systemd): one line, prefixed "veltrixd: ".
#pragma once

#include <string>

namespace veltrixd {

void Say(const std::string& text);

}  // namespace veltrixd
