// Every test gets its own store directories, program directory and current directory, all
// temporary, and leaves the process as it found it.
#pragma once

#include <string>

namespace testing_support {

class TempEnv {
  public:
    TempEnv();
    ~TempEnv();
    TempEnv(const TempEnv&) = delete;
    TempEnv& operator=(const TempEnv&) = delete;

    std::string root;       // the temporary directory
    std::string userStore;  // $VELTRIX_USER_STORE
    std::string machineStore;
    std::string programDir;  // with trailing '/'
    std::string currentDir;

    std::string ReadFile(const std::string& path) const;
    void WriteFile(const std::string& path, const std::string& bytes) const;
    bool Exists(const std::string& path) const;

  private:
    std::string oldCwd_;
};

// Reads / writes one settings value directly through the store (no exceptions).
std::string Get(const std::string& name, bool* present = nullptr);
void Set(const std::string& name, const std::string& value);
void SetDword(const std::string& name, unsigned value);

// Path of a built tool (veltrix-reg, Sentrel.exe) beside the tests' build tree.
std::string ToolPath(const std::string& name);
// Runs a shell command line and returns its standard output; `status` receives the exit code.
std::string Run(const std::string& command, int* status = nullptr);

}  // namespace testing_support
