// Starting a program for tests and benchmarks that look at it in /proc: the pid is returned once
// the process runs the program (before that, /proc shows the caller's own executable).
#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace testing_support {

// Starts `argv` and returns at once (for a program that runs others in turn).
inline pid_t Spawn(const std::vector<std::string>& argv) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

inline pid_t StartProgram(const std::vector<std::string>& argv) {
    const pid_t pid = Spawn(argv);
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::error_code error;
    while (std::filesystem::read_symlink(exe, error) != argv[0] &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    return pid;
}

}  // namespace testing_support
