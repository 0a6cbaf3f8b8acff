#include "lib/store/SettingsStore.h"

namespace store {

bool TRegistry::OpenKey(const std::string& path, bool /*create: always true here*/) {
    CloseKey();
    key_ = platform::RegKey::Open(root_, path);
    return key_ != nullptr;
}

bool TRegistry::OpenKeyReadOnly(const std::string& path) {
    CloseKey();
    key_ = platform::RegKey::OpenForReading(root_, path);
    return key_ != nullptr;
}

std::string TRegistry::ReadString(const std::string& name) {
    if (!key_) throw ERegistryException(rtl::Format("Failed to get data for '%s'", name));
    platform::RegValue value;
    switch (key_->Query(name, value)) {
        case platform::QueryResult::Absent:
            return {};
        case platform::QueryResult::Failed:
            throw ERegistryException(rtl::Format("Failed to get data for '%s'", name));
        case platform::QueryResult::Ok:
            break;
    }
    if (value.type != platform::RegType::Sz && value.type != platform::RegType::ExpandSz)
        throw ERegistryException(rtl::Format("Invalid data type for '%s'", name));
    return value.data.substr(0, value.data.find('\0'));
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!key_ || !key_->Set(name, platform::RegType::Sz, platform::SzBytes(value)))
        throw ERegistryException(rtl::Format("Failed to set data for '%s'", name));
}

void TRegistry::CloseKey() {
    if (key_) key_->Close();
    key_.reset();
}

}  // namespace store
