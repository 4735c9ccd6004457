#include "platform/SettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/IniFile.h"
#include "platform/MappedFile.h"
#include "platform/Paths.h"
#include "platform/PendingFile.h"

namespace svt::platform {
namespace {

// Empty text for a missing or empty file; nullopt for one that cannot be used.
std::optional<std::string> readWhole(const std::string& path, std::string& why) {
    MappedFile file;
    const int err = file.open(path);
    if (err == 0) {
        if (file.size() > SettingsStore::kMaxFileBytes) {
            why = path + ": larger than a settings file can be";
            return std::nullopt;
        }
        return std::string(reinterpret_cast<const char*>(file.data()), file.size());
    }
    if (err == ENOENT) return std::string();
    if (err == MappedFile::kMapFailed) {
        // An empty file maps as nothing; anything else that does not map is not a plain file.
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) == 0)
            return std::string();
    }
    why =
        path + ": cannot be read (" + std::generic_category().message(err > 0 ? err : EINVAL) + ")";
    return std::nullopt;
}

}  // namespace

SettingsStore SettingsStore::forApplication(const std::string& organization,
                                            const std::string& application) {
    return SettingsStore(configFolder() + "/" + organization + "/" + application + ".conf");
}

std::optional<std::string> SettingsStore::readString(const std::string& key) const {
    std::string why;
    std::optional<std::string> text = readWhole(path_, why);
    if (!text) return std::nullopt;
    return IniFile::parse(*text).value(IniFile::kGeneral, key);
}

Status SettingsStore::writeString(const std::string& key, const std::string& value) const {
    return writeStrings({{key, value}});
}

std::map<std::string, std::string> SettingsStore::readAll() const {
    std::string why;
    std::optional<std::string> text = readWhole(path_, why);
    if (!text) return {};
    return IniFile::parse(*text).values(IniFile::kGeneral);
}

Status SettingsStore::writeStrings(
    const std::vector<std::pair<std::string, std::string>>& values) const {
    std::string why;
    std::optional<std::string> text = readWhole(path_, why);
    if (!text) return makeError(why);
    IniFile ini = IniFile::parse(*text);
    for (const auto& [key, value] : values) ini.setValue(IniFile::kGeneral, key, value);
    const std::string out = ini.text();

    std::error_code ec;
    const std::filesystem::path target(path_);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    // Written beside the file and renamed over it, so a reader never sees half a file and
    // two programs saving at once never share a temporary name.
    if (const int error = writeWholeFile(path_, out); error != 0)
        return makeError(path_ + ": cannot be written (" + OutputFile::errorText(error) + ")");
    return Ok{};
}

Status SettingsStore::writeValues(const std::vector<SettingsValue>& values) const {
    std::vector<std::pair<std::string, std::string>> texts;
    for (const SettingsValue& v : values) {
        if (const auto* number = std::get_if<int32_t>(&v.value))
            texts.emplace_back(v.name, std::to_string(*number));
        else
            texts.emplace_back(v.name, std::get<std::string>(v.value));
    }
    return writeStrings(texts);
}

Status SettingsStore::removeAll() const {
    if (std::remove(path_.c_str()) != 0 && errno != ENOENT)
        return makeError(path_ + ": cannot be removed (" + std::generic_category().message(errno) +
                         ")");
    return Ok{};
}

}  // namespace svt::platform
