#include "tests/support/TempEnv.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lib/platform/core/Application.h"
#include "lib/platform/registry/Registry.h"
#include "lib/store/ValueNames.h"

#ifndef VELTRIX_TOOLS_DIR
#error "VELTRIX_TOOLS_DIR must name the built tools' directory"
#endif

namespace fs = std::filesystem;

namespace testing_support {

TempEnv::TempEnv() {
    std::string pattern = (fs::temp_directory_path() / "veltrix-test-XXXXXX").string();
    root = mkdtemp(pattern.data());
    userStore = root + "/user";
    machineStore = root + "/machine";
    programDir = root + "/program/";
    currentDir = root + "/cwd";
    fs::create_directories(programDir);
    fs::create_directories(currentDir);
    setenv("VELTRIX_USER_STORE", userStore.c_str(), 1);
    setenv("VELTRIX_MACHINE_STORE", machineStore.c_str(), 1);
    // No system service unless a test starts one of its own.
    setenv("VELTRIX_CONTROL_SOCKET", (root + "/no-service").c_str(), 1);
    platform::ResetStoreConnections();
    platform::Application::SetProgramDirectoryForTesting(programDir);
    oldCwd_ = fs::current_path().string();
    fs::current_path(currentDir);
}

TempEnv::~TempEnv() {
    platform::ResetStoreConnections();
    platform::Application::SetProgramDirectoryForTesting("");
    fs::current_path(oldCwd_);
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto& p : fs::recursive_directory_iterator(root, ec))
        fs::permissions(p.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
}

std::string TempEnv::ReadFile(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void TempEnv::WriteFile(const std::string& path, const std::string& bytes) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool TempEnv::Exists(const std::string& path) const {
    return fs::exists(path);
}

std::string Get(const std::string& name, bool* present) {
    auto key = platform::RegKey::Open(platform::Root::CurrentUser, store::kSettingsKey);
    platform::RegValue v;
    bool found = key && key->Query(name, v) == platform::QueryResult::Ok;
    if (present) *present = found;
    return found ? v.data.substr(0, v.data.find('\0')) : std::string();
}

void Set(const std::string& name, const std::string& value) {
    auto key = platform::RegKey::Open(platform::Root::CurrentUser, store::kSettingsKey);
    if (key) key->Set(name, platform::RegType::Sz, platform::SzBytes(value));
}

void SetDword(const std::string& name, unsigned value) {
    auto key = platform::RegKey::Open(platform::Root::CurrentUser, store::kSettingsKey);
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    if (key) key->Set(name, platform::RegType::Dword, data);
}

std::string ToolPath(const std::string& name) {
    return std::string(VELTRIX_TOOLS_DIR) + "/" + name;
}

std::string Run(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

}  // namespace testing_support
