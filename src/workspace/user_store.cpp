#include "workspace/user_store.h"

#include "workspace/big_ini_file.h"
#include "workspace/error.h"

namespace talvenor {

UserStore::UserStore() = default;
UserStore::~UserStore() = default;

void UserStore::Open(const std::filesystem::path& configDir, bool durable) {
    std::error_code ec;
    std::filesystem::create_directories(configDir, ec);
    try {
        ini_ = std::make_unique<TBigIniFile>(configDir / "user.ini");
        ini_->SetDurable(durable);
    } catch (const Error& e) {
        // An unreadable store is treated as empty; the next write replaces it.
        lastError_ = e.what();
        ini_ = std::make_unique<TBigIniFile>(std::filesystem::path());
    }
}

std::string UserStore::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    if (!ini_) return std::string(defaultValue);
    return ini_->ReadString(section, key, defaultValue);
}

bool UserStore::HasKey(std::string_view section, std::string_view key) const {
    // A marker no real value can hold tells a missing key from an empty one.
    static constexpr std::string_view kAbsent = "\x01" "absent";
    return ini_ && ini_->ReadString(section, key, kAbsent) != kAbsent;
}

void UserStore::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!ini_) return;
    ini_->WriteString(section, key, value);
    try {
        ini_->UpdateFile();
        lastError_.clear();
    } catch (const Error& e) {
        lastError_ = e.what();
    }
}

void UserStore::WriteInteger(std::string_view section, std::string_view key, long long value) {
    WriteString(section, key, std::to_string(value));
}

void UserStore::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

}  // namespace talvenor
