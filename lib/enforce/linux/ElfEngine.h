// The browser engine a shared library is, known by what its file holds, not by its name: the
// library's own name (DT_SONAME: libxul.so, libwebkit2gtk-4.1.so.0, libQt6WebEngineCore.so.6,
// libcef.so), or else one of the engine's entry points among the symbols it defines (found
// through its GNU hash table, a few small reads). A copy under any name is still the engine; a
// file only named like one is not. Reads 64-bit little-endian ELF files; anything else (and
// any file that does not hold together) is no engine.
#pragma once

#include "lib/enforce/Engines.h"

namespace enforce {

// `fd`: the file, open for reading (read with pread: its offset is not used).
Engine EngineOfElf(int fd);

}  // namespace enforce
