#pragma once
// Settings files in the INI layout that Qt's QSettings reads and writes, so the desktop
// program and the engine share one store: "[Group]" lines, "key=value" lines, keys with
// no group under "[General]", QSettings' escapes in keys (%XX, "\" for "/") and values
// (quotes, \" \\ \n \xHHHH, a leading "@@" for a text starting with "@").
//
// Reading is lenient as QSettings is: lines it cannot use are kept and ignored, never an
// error. Entries that are not touched are written back as they were read.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace svt::platform {

class IniFile {
  public:
    static constexpr std::string_view kGeneral = "General";

    static IniFile parse(std::string_view text);

    // The text stored under `key` in `section`; nullopt when absent or not a text
    // (a list of several values, or a value of another type).
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Every text value of `section`, later lines winning.
    std::map<std::string, std::string> values(std::string_view section) const;
    void setValue(std::string_view section, std::string_view key, std::string_view text);
    void removeValue(std::string_view section, std::string_view key);
    std::string text() const;

  private:
    struct Entry {
        std::string key;       // unescaped; empty for a line that is kept as it is
        std::string rawValue;  // as in the file
        std::string rawLine;   // lines without a key: comments, blank lines, junk
    };
    struct Section {
        std::string name;  // unescaped; empty for lines before the first "[...]"
        std::vector<Entry> entries;
    };
    Section* find(std::string_view name);
    const Section* find(std::string_view name) const;

    std::vector<Section> sections_;
};

// QSettings' escaping, exposed for tests and for whoever writes such files by hand.
std::string iniEscapeKey(std::string_view key);
std::string iniUnescapeKey(std::string_view raw);
std::string iniEscapeValue(std::string_view text);
// nullopt when the raw value is not a single text.
std::optional<std::string> iniUnescapeValue(std::string_view raw);

}  // namespace svt::platform
