#pragma once
// The per-user store: last directories, last input type and a write-only mirror of a few
// settings, kept in user.ini of the per-user configuration directory with the sections
// "Files", "Settings" and "Toolwin". Every value is a string; each write reaches the disk
// at once, as a registry write would, so nothing is lost when the program is killed.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace talvenor {

class TBigIniFile;

class UserStore {
public:
    UserStore();
    ~UserStore();
    // Opens (creating the directory when needed) user.ini in configDir; not `durable`: the
    // folder goes with the process, and writes need not reach the device.
    void Open(const std::filesystem::path& configDir, bool durable = true);
    bool IsOpen() const { return ini_ != nullptr; }

    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, long long value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    bool HasKey(std::string_view section, std::string_view key) const;

    // The last write failure, empty when every write reached the disk. A store that cannot
    // be written must not stop the program, so writes report here instead of throwing.
    const std::string& LastError() const { return lastError_; }

private:
    std::unique_ptr<TBigIniFile> ini_;
    std::string lastError_;
};

}  // namespace talvenor
