#include "platform/SettingsStore.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/PendingFile.h"
#include "platform/RandomAccessFile.h"

namespace svt::platform {
namespace {

// Empty text for a missing or empty file; nullopt for one that cannot be used (`oversized`:
// too large to be settings). The file is read, not mapped, so that another program cutting it
// short meanwhile cannot end this one.
std::optional<std::string> readWhole(const std::string& path, std::string& why,
                                     bool* oversized = nullptr) {
    RandomAccessFile file;
    const int err = file.open(path);
    if (err == ENOENT) return std::string();
    if (err != 0) {
        why = path + ": cannot be read (" + std::generic_category().message(err) + ")";
        return std::nullopt;
    }
    if (file.size() > static_cast<int64_t>(SettingsStore::kMaxFileBytes)) {
        why = path + ": larger than a settings file can be";
        if (oversized != nullptr) *oversized = true;
        return std::nullopt;
    }
    std::string text(static_cast<size_t>(file.size()), '\0');
    const int64_t got =
        file.readAt(0, std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data()), text.size()));
    if (got < 0) {
        why = path + ": cannot be read (" + std::generic_category().message(errno) + ")";
        return std::nullopt;
    }
    text.resize(static_cast<size_t>(got));
    return text;
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
    std::vector<SettingsValue> typed;
    for (const auto& [name, text] : values) typed.push_back({name, text});
    return writeValues(typed);
}

Status SettingsStore::writeValues(const std::vector<SettingsValue>& values) const {
    std::string why;
    bool oversized = false;
    std::optional<std::string> text = readWhole(path_, why, &oversized);
    // A file too large to be settings holds none that could be kept: the values saved now
    // take its place, or no settings would ever be saved again.
    if (!text && !oversized) return makeError(why);
    IniFile ini = IniFile::parse(text.value_or(std::string()));
    for (const SettingsValue& v : values) {
        if (const auto* number = std::get_if<int32_t>(&v.value))
            ini.setValue(IniFile::kGeneral, v.name, std::to_string(*number));
        else if (const auto* words = std::get_if<std::string>(&v.value))
            ini.setValue(IniFile::kGeneral, v.name, *words);
        else
            ini.removeValue(IniFile::kGeneral, v.name);
    }
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

Status SettingsStore::removeAll() const {
    if (std::remove(path_.c_str()) != 0 && errno != ENOENT)
        return makeError(path_ + ": cannot be removed (" + std::generic_category().message(errno) +
                         ")");
    return Ok{};
}

}  // namespace svt::platform
