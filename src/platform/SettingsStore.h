#pragma once
// A small store of text values in one INI file per application, in the place and layout
// where Qt's QSettings keeps the settings of (organization, application):
// $XDG_CONFIG_HOME/<organization>/<application>.conf (or ~/.config/...). The desktop
// program's dialogs and the engine thereby read and write the same values.

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Result.h"

namespace svt::platform {

class SettingsStore {
  public:
    // Files larger than this are not settings written by us or by QSettings.
    static constexpr size_t kMaxFileBytes = 1 << 20;

    explicit SettingsStore(std::string filePath) : path_(std::move(filePath)) {}
    static SettingsStore forApplication(const std::string& organization,
                                        const std::string& application);

    const std::string& path() const { return path_; }

    // The text value of `key` (in the General group); nullopt when the file, the key or
    // a text value is missing. A broken or oversized file reads as empty.
    std::optional<std::string> readString(const std::string& key) const;
    // Stores `value` under `key`, keeping everything else in the file; creates the folder.
    Status writeString(const std::string& key, const std::string& value) const;
    // Stores several values at once, in one replacement of the file.
    Status writeStrings(const std::vector<std::pair<std::string, std::string>>& values) const;
    // Every text value of the General group at once; empty for a missing or broken file.
    std::map<std::string, std::string> readAll() const;

  private:
    std::string path_;
};

}  // namespace svt::platform
