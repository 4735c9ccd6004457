#pragma once
// The desktop program's values that survive a restart, in the one settings store of the user
// ($XDG_CONFIG_HOME/Brenkow Europe/Calda Sorvanto.conf). Loading starts from the defaults and
// takes each value that is present and readable; a missing, damaged or out-of-range value
// keeps its default. Saving writes every value in one replacement of the file.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "platform/SettingsStore.h"

namespace svt {

inline constexpr int kLinkSlots = 15;
// How many recently opened files the File menu lists.
inline constexpr int kRecentFiles = 8;
// A stored path may be this long; a longer value is not one we wrote.
inline constexpr size_t kMaxStoredPath = 4096;
// The largest window side a stored size may ask for, in pixels.
inline constexpr int kMaxWindowExtent = 8192;

struct AppSettings {
    int dragDropFormat = 1;  // 1 WAV, 2 MP3, 3 FLAC, 4 Ogg Vorbis, 5 Opus
    std::string linkListVersion = "1";
    std::string linkMp3Encoder;
    std::array<std::string, kLinkSlots> links;
    // Where the link-list update is posted ("LinkUpdateUrl").
    std::string linkUpdateUrl;
    int uiMainX = -1, uiMainY = -1;
    int uiListX = -1, uiListY = -1;
    int uiListWidth = 400, uiListHeight = 400;
    std::string uiListFontName = "Verdana";
    int uiListFontWidth = 0;
    int uiListFontHeight = 13;
    int uiListFontFlags = 1;
    // "Language" when the user stored one (3 German, 2 English); never written otherwise, so
    // that the desktop's language keeps choosing.
    std::optional<int> language;
    // The SoundFont the user chose last ("SoundFont"); empty: the program's default font.
    std::string soundFont;
    // Where each kind of dialog starts ("FolderSongs", "FolderPlaylists", "FolderSoundFonts",
    // "FolderConversions"); empty: the desktop's choice.
    std::string songFolder, playlistFolder, soundFontFolder, conversionFolder;
    // Files opened lately, the latest first ("Recent0" ...), at most kRecentFiles.
    std::vector<std::string> recentFiles;

    AppSettings();
};

// Puts `path` at the head of the recent files, once, keeping at most kRecentFiles.
void noteRecentFile(AppSettings& settings, const std::string& path);

// Where the playlist is kept between runs: beside the settings, as a playlist file.
std::string sessionPlaylistPath();

// "Link00" .. "Link42": "Link" followed by slot / 3 and slot % 3.
std::string linkValueName(int slot);

// The store the whole program keeps its values in.
platform::SettingsStore appSettingsStore();

AppSettings loadAppSettings(const platform::SettingsStore& store);
Status saveAppSettings(const platform::SettingsStore& store, const AppSettings& settings);

// The language for this run, chosen once: SORVANTO_LANG (2 or 3) first, then a stored
// "Language", then the system's locale ("de..." gives German), else English (2).
int chooseLanguage(std::optional<std::string_view> override, std::optional<int> stored,
                   std::string_view locale);

// Where a window goes along one axis: `stored` -1 centres it on the desktop; a stored place
// left of (above) the desktop moves to its edge, one beyond its far edge to that edge - 30.
int placeWindowAxis(int stored, int windowExtent, int desktopStart, int desktopExtent);

}  // namespace svt
