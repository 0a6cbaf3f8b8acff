#include "sentrel/StoreReader.h"

#include <sys/stat.h>

#include "lib/platform/registry/Registry.h"
#include "lib/store/ValueNames.h"

namespace sentrel {

std::string StoreDirectory() {
    return platform::StoreDirectory(platform::Root::CurrentUser);
}

StoreReadResult ReadStore() {
    StoreReadResult result;
    struct stat st {};
    const std::string file = platform::StoreFile(platform::Root::CurrentUser);
    if (::stat(file.c_str(), &st) != 0) {
        result.ok = true;
        result.read =
            enforce::InterpretSettings([](const std::string&) { return enforce::StoreValue{}; });
        return result;
    }
    std::string error;
    auto key =
        platform::RegKey::OpenForReading(platform::Root::CurrentUser, store::kSettingsKey, &error);
    if (!key) {
        result.error = error.empty() ? "the store cannot be opened" : error;
        return result;
    }
    result.read = enforce::InterpretSettings([&key](const std::string& name) {
        platform::RegValue v;
        switch (key->Query(name, v)) {
            case platform::QueryResult::Absent:
                return enforce::StoreValue{};
            case platform::QueryResult::Failed:
                return enforce::StoreValue{enforce::StoreValue::Unreadable, {}};
            case platform::QueryResult::Ok:
                break;
        }
        if (v.type != platform::RegType::Sz && v.type != platform::RegType::ExpandSz)
            return enforce::StoreValue{enforce::StoreValue::OtherType, {}};
        return enforce::StoreValue{enforce::StoreValue::Text, v.data.substr(0, v.data.find('\0'))};
    });
    key->Close();
    result.ok = true;
    return result;
}

}  // namespace sentrel
