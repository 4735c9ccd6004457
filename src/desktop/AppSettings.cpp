#include "desktop/AppSettings.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

#include "desktop/FrontCommands.h"
#include "platform/Paths.h"

namespace svt {
namespace {

constexpr const char* kCompany = "Brenkow Europe";
constexpr const char* kProduct = "Calda Sorvanto";
constexpr size_t kMaxText = 259;  // the store's text values hold up to 260 bytes with the end
constexpr size_t kMaxFontName = 63;
constexpr int kMaxFontPixels = 200;

constexpr const char* kEncoderLink = "https://www.calda-sorvanto.example/download/gogo.html";
constexpr const char* kLinkBase = "https://www.calda-sorvanto.example/links/";
constexpr const char* kLinkUpdateUrl =
    "https://www.calda-sorvanto.example/request/sorvanto_updatelinklist.php";

std::optional<int> parseInt(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

void readInt(const std::map<std::string, std::string>& values, const char* name, int& out) {
    auto found = values.find(name);
    if (found == values.end()) return;
    if (std::optional<int> value = parseInt(found->second)) out = *value;
}

void readText(const std::map<std::string, std::string>& values, const std::string& name,
              std::string& out, size_t limit = kMaxText) {
    auto found = values.find(name);
    if (found == values.end() || found->second.size() > limit) return;
    out = found->second;
}

}  // namespace

AppSettings::AppSettings() : linkMp3Encoder(kEncoderLink), linkUpdateUrl(kLinkUpdateUrl) {
    for (int slot = 0; slot < kLinkSlots; ++slot)
        links[static_cast<size_t>(slot)] = kLinkBase + linkValueName(slot);
    // The search engines' group has two links; its third slot has no menu item.
    links[2] = " ";
}

void noteRecentFile(AppSettings& settings, const std::string& path) {
    if (path.empty() || path.size() > kMaxStoredPath) return;
    auto& recent = settings.recentFiles;
    recent.erase(std::remove(recent.begin(), recent.end(), path), recent.end());
    recent.insert(recent.begin(), path);
    if (recent.size() > static_cast<size_t>(kRecentFiles))
        recent.resize(static_cast<size_t>(kRecentFiles));
}

std::string sessionPlaylistPath() {
    const std::string config = platform::configFolder();
    if (config.empty()) return {};
    return platform::pathText(platform::fsPath(config) / kCompany /
                              (std::string(kProduct) + ".pli"));
}

std::string linkValueName(int slot) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d%d", "Link", slot / 3, slot % 3);
    return name;
}

platform::SettingsStore appSettingsStore() {
    return platform::SettingsStore::forApplication(kCompany, kProduct);
}

AppSettings loadAppSettings(const platform::SettingsStore& store) {
    AppSettings s;
    const std::map<std::string, std::string> values = store.readAll();
    readInt(values, "DragDropFormat", s.dragDropFormat);
    readText(values, "LinkListVersion", s.linkListVersion);
    readText(values, "LinkMp3Encoder", s.linkMp3Encoder);
    for (int slot = 0; slot < kLinkSlots; ++slot)
        readText(values, linkValueName(slot), s.links[static_cast<size_t>(slot)]);
    readText(values, "LinkUpdateUrl", s.linkUpdateUrl);
    readInt(values, "UIMainX", s.uiMainX);
    readInt(values, "UIMainY", s.uiMainY);
    readInt(values, "UIListX", s.uiListX);
    readInt(values, "UIListY", s.uiListY);
    readInt(values, "UIListWidth", s.uiListWidth);
    readInt(values, "UIListHeight", s.uiListHeight);
    s.uiListFontName.clear();
    readText(values, "UIListFontName", s.uiListFontName, kMaxFontName);
    if (s.uiListFontName.empty()) s.uiListFontName = "Verdana";
    readInt(values, "UIListFontWidth", s.uiListFontWidth);
    readInt(values, "UIListFontHeight", s.uiListFontHeight);
    readInt(values, "UIListFontFlags", s.uiListFontFlags);
    readText(values, "SoundFont", s.soundFont, kMaxStoredPath);
    readText(values, "FolderSongs", s.songFolder, kMaxStoredPath);
    readText(values, "FolderPlaylists", s.playlistFolder, kMaxStoredPath);
    readText(values, "FolderSoundFonts", s.soundFontFolder, kMaxStoredPath);
    readText(values, "FolderConversions", s.conversionFolder, kMaxStoredPath);
    for (int i = 0; i < kRecentFiles; ++i) {
        std::string path;
        readText(values, "Recent" + std::to_string(i), path, kMaxStoredPath);
        if (!path.empty()) noteRecentFile(s, path);
    }
    // noteRecentFile put each one first: the stored order is the reverse.
    std::reverse(s.recentFiles.begin(), s.recentFiles.end());
    int language = 0;
    readInt(values, "Language", language);
    if (language == 2 || language == 3) s.language = language;
    // Values no window could use are brought into range here, so that they are neither
    // used (a window of 2^31 pixels) nor saved again as they were.
    s.uiListWidth = std::clamp(s.uiListWidth, 1, kMaxWindowExtent);
    s.uiListHeight = std::clamp(s.uiListHeight, 1, kMaxWindowExtent);
    s.uiListFontWidth = std::clamp(s.uiListFontWidth, 0, kMaxFontPixels);
    s.uiListFontHeight = std::clamp(s.uiListFontHeight, 1, kMaxFontPixels);
    s.uiListFontFlags &= 3;
    // A format no output has means "none" (files named at start are played).
    s.dragDropFormat = static_cast<int>(outputForFormat(s.dragDropFormat));
    return s;
}

Status saveAppSettings(const platform::SettingsStore& store, const AppSettings& s) {
    // Numbers go in as numbers (REG_DWORD in the registry), texts as texts.
    std::vector<platform::SettingsValue> values = {
        {"DragDropFormat", s.dragDropFormat},
        {"LinkListVersion", s.linkListVersion},
        {"LinkMp3Encoder", s.linkMp3Encoder},
    };
    for (int slot = 0; slot < kLinkSlots; ++slot)
        values.push_back({linkValueName(slot), s.links[static_cast<size_t>(slot)]});
    values.push_back({"LinkUpdateUrl", s.linkUpdateUrl});
    const std::pair<const char*, int> numbers[] = {
        {"UIMainX", s.uiMainX}, {"UIMainY", s.uiMainY},         {"UIListX", s.uiListX},
        {"UIListY", s.uiListY}, {"UIListWidth", s.uiListWidth}, {"UIListHeight", s.uiListHeight},
    };
    for (const auto& [name, value] : numbers) values.push_back({name, value});
    values.push_back({"UIListFontName", s.uiListFontName});
    values.push_back({"UIListFontWidth", s.uiListFontWidth});
    values.push_back({"UIListFontHeight", s.uiListFontHeight});
    values.push_back({"UIListFontFlags", s.uiListFontFlags});
    values.push_back({"SoundFont", s.soundFont});
    values.push_back({"FolderSongs", s.songFolder});
    values.push_back({"FolderPlaylists", s.playlistFolder});
    values.push_back({"FolderSoundFonts", s.soundFontFolder});
    values.push_back({"FolderConversions", s.conversionFolder});
    // A list that became shorter leaves no old names behind.
    for (int i = 0; i < kRecentFiles; ++i) {
        const std::string name = "Recent" + std::to_string(i);
        if (static_cast<size_t>(i) < s.recentFiles.size())
            values.push_back({name, s.recentFiles[static_cast<size_t>(i)]});
        else
            values.push_back({name, std::monostate{}});
    }
    // Without a language of the user's, a stored value that is none (or none any more) goes.
    if (s.language)
        values.push_back({"Language", *s.language});
    else
        values.push_back({"Language", std::monostate{}});
    return store.writeValues(values);
}

int chooseLanguage(std::optional<std::string_view> override, std::optional<int> stored,
                   std::string_view locale) {
    if (override == "2" || override == "3") return *override == "3" ? 3 : 2;
    if (stored == 2 || stored == 3) return *stored;
    if (locale.size() >= 2 && (locale.substr(0, 2) == "de" || locale.substr(0, 2) == "DE"))
        return 3;
    return 2;
}

int placeWindowAxis(int stored, int windowExtent, int desktopStart, int desktopExtent) {
    if (stored == -1)
        return desktopStart +
               static_cast<int>(desktopExtent * 0.5 - static_cast<double>(windowExtent) * 0.5);
    if (stored < desktopStart) return desktopStart;
    if (stored > desktopStart + desktopExtent) return desktopStart + desktopExtent - 30;
    return stored;
}

}  // namespace svt
