#pragma once
// A small store of named values per application. On Linux one INI file, in the place and
// layout where Qt's QSettings keeps the settings of (organization, application):
// $XDG_CONFIG_HOME/<organization>/<application>.conf (or ~/.config/...), so the desktop
// program's dialogs and the engine read and write the same values. On Windows the registry
// key "Software\<organization>\<application>" under HKEY_CURRENT_USER, texts as REG_SZ and
// numbers as REG_DWORD.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/Result.h"

namespace svt::platform {

// One value to store: a text or a 32-bit number; nothing removes the value. A file keeps the
// number as its decimal text; the registry keeps the two kinds apart.
struct SettingsValue {
    std::string name;
    std::variant<std::string, int32_t, std::monostate> value;
};

class SettingsStore {
  public:
    // Files larger than this are not settings written by us or by QSettings.
    static constexpr size_t kMaxFileBytes = 1 << 20;

    // `location`: the file's path; on Windows the key's path under HKEY_CURRENT_USER.
    explicit SettingsStore(std::string location) : path_(std::move(location)) {}
    static SettingsStore forApplication(const std::string& organization,
                                        const std::string& application);

    const std::string& path() const { return path_; }

    // The text value of `key` (in the General group); nullopt when the file, the key or
    // a text value is missing. A broken or oversized file reads as empty. A number stored in
    // the registry reads as its decimal text; a value of any other kind there is missing.
    std::optional<std::string> readString(const std::string& key) const;
    // Stores `value` under `key`, keeping everything else in the file; creates the folder.
    Status writeString(const std::string& key, const std::string& value) const;
    // Stores several values at once, in one replacement of the file.
    Status writeStrings(const std::vector<std::pair<std::string, std::string>>& values) const;
    Status writeValues(const std::vector<SettingsValue>& values) const;
    // Removes the whole store: the file, or the key with its values.
    Status removeAll() const;
    // Every text value of the General group at once; empty for a missing or broken file.
    std::map<std::string, std::string> readAll() const;

  private:
    std::string path_;
};

}  // namespace svt::platform
