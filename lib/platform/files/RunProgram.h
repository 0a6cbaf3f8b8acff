// Runs a system program to its end and returns what it wrote to its standard output: started
// with posix_spawn (no shell), a fixed environment, standard input and error on /dev/null, its
// output bounded, and ended (SIGKILL, by its own pid) when it takes longer than allowed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ProgramRun {
    int exitStatus = -1;  // -1: killed, not reaped by us, or did not exit
    std::string output;
};

// `argv[0]`: the program's full path. nullopt when it could not be started or ran past
// `timeoutMs`.
std::optional<ProgramRun> RunProgram(const std::vector<std::string>& argv, int timeoutMs,
                                     std::size_t maxOutput = 16u << 20);

}  // namespace platform
