#include "desktop/AppSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <tuple>

#include "desktop/SingleInstance.h"
#include "platform/NamedLock.h"
#include "support/ScratchSettings.h"
#include "support/TempDir.h"

namespace svt {
namespace {

using test::TempDir;

// The values a test sets and reads back, side by side.
auto kept(const AppSettings& s) {
    return std::tie(s.dragDropFormat, s.uiMainX, s.uiMainY, s.uiListWidth, s.uiListFontName,
                    s.links[14], s.linkListVersion, s.language, s.soundFont, s.songFolder,
                    s.playlistFolder, s.soundFontFolder, s.conversionFolder, s.recentFiles);
}

TEST(AppSettings, SavedValuesComeBackUnderTheirNames) {
    test::ScratchSettings scratch("Calda Sorvanto");
    const platform::SettingsStore store = scratch.store();
    AppSettings s = loadAppSettings(store);
    EXPECT_EQ(s.uiMainX, -1) << "never placed";
    EXPECT_FALSE(s.language.has_value());
#ifndef _WIN32
    EXPECT_FALSE(std::filesystem::exists(scratch.location())) << "loading creates nothing";
#endif
    s.dragDropFormat = 2;
    s.uiMainX = 120;
    s.uiMainY = -5;
    s.uiListFontName = "DejaVu Sans";
    s.links[14] = "https://example.org/folk3";
    s.linkListVersion = "7";
    s.language = 3;
    s.soundFont = "/fonts/" + std::string(300, 'f') + ".sf3";  // longer than a link may be
    s.songFolder = "/music";
    s.playlistFolder = "/lists";
    s.soundFontFolder = "/fonts";
    s.conversionFolder = "/out";
    for (int i = 0; i < 12; ++i) noteRecentFile(s, "/music/" + std::to_string(i) + ".mid");
    noteRecentFile(s, "/music/7.mid");
    noteRecentFile(s, "");
    ASSERT_EQ(s.recentFiles.size(), static_cast<size_t>(kRecentFiles));
    EXPECT_EQ(s.recentFiles[0], "/music/7.mid") << "opened again, it comes to the top once";
    EXPECT_EQ(s.recentFiles[1], "/music/11.mid");
    EXPECT_EQ(s.recentFiles.back(), "/music/4.mid") << "the oldest went";
    ASSERT_TRUE(saveAppSettings(store, s).ok());

    AppSettings back = loadAppSettings(store);
    EXPECT_EQ(kept(back), kept(s));
    EXPECT_EQ(store.readString("Link42"), "https://example.org/folk3");
    EXPECT_EQ(store.readString("UIMainX"), "120");

    // A shorter list leaves no old names behind, and a damaged value is left out.
    back.recentFiles = {"/music/a.mid"};
    ASSERT_TRUE(saveAppSettings(store, back).ok());
    ASSERT_TRUE(store.writeString("Recent1", std::string(kMaxStoredPath + 1, 'x')).ok());
    EXPECT_EQ(loadAppSettings(store).recentFiles, std::vector<std::string>{"/music/a.mid"});
}

// The registry's damaged values are tested with the registry store (tests/platform/windows).
#ifndef _WIN32
TEST(AppSettings, DamagedValuesKeepTheirDefaults) {
    TempDir dir;
    const AppSettings defaults;
    struct Case {
        const char* what;
        const char* file;
    };
    const Case cases[] = {
        {"numbers that are not numbers",
         "[General]\nDragDropFormat=two\nUIMainX=12abc\nUIMainY=\nUIListWidth=99999999999\n"},
        {"a binary file", "\x01\x02\xff\xfe[General\nUIMainX=\x80\x81\n"},
        {"a list where a text belongs",
         "[General]\nUIListFontName=a, b\nLinkListVersion=@Invalid()\nLanguage=7\n"},
        {"an over-long font name",
         "[General]\nUIListFontName=" /* 64 characters */
         "abcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcdefghijabcd\n"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.write("damaged.conf", std::string(c.file));
        const AppSettings s = loadAppSettings(platform::SettingsStore(path));
        EXPECT_EQ(kept(s), kept(defaults)) << c.what;
    }
    // A file that cannot be read at all is no reason to fail, and saving replaces it.
    const std::string folder = dir.file("a-folder.conf");
    std::filesystem::create_directories(folder);
    EXPECT_EQ(kept(loadAppSettings(platform::SettingsStore(folder))), kept(defaults));

    // Numbers out of every usable range are brought into it, and saved so.
    const platform::SettingsStore wild(
        dir.write("wild.conf", std::string("[General]\nUIListWidth=2147483647\nUIListHeight=-5\n"
                                           "Language=99\nDragDropFormat=77\n")));
    const AppSettings s = loadAppSettings(wild);
    EXPECT_EQ(s.uiListWidth, kMaxWindowExtent);
    EXPECT_EQ(s.uiListHeight, 1);
    EXPECT_EQ(s.dragDropFormat, 0) << "no format: songs named at start are played";
    ASSERT_TRUE(saveAppSettings(wild, s).ok());
    const std::map<std::string, std::string> saved = wild.readAll();
    EXPECT_EQ(saved.at("UIListWidth"), std::to_string(kMaxWindowExtent));
    EXPECT_EQ(saved.at("DragDropFormat"), "0");
    EXPECT_EQ(saved.count("Language"), 0u);
}
#endif

#ifdef _WIN32
// The registry key of the current user that the desktop program's values live in (the kinds
// of values, a DWORD of -1 among them, are RegistryStore.ValuesComeBackWithTheirKinds').
TEST(AppSettings, LiveInTheRegistryKeyOfTheProgram) {
    EXPECT_EQ(appSettingsStore().path(), "Software\\Brenkow Europe\\Calda Sorvanto");
    test::ScratchSettings scratch("Calda Sorvanto");
    AppSettings s;
    s.dragDropFormat = 2;
    ASSERT_TRUE(saveAppSettings(scratch.store(), s).ok());
    const std::map<std::string, std::string> values = scratch.store().readAll();
    EXPECT_EQ(values.at("DragDropFormat"), "2");
    EXPECT_EQ(values.at("Link42"), s.links[14]);
    EXPECT_EQ(loadAppSettings(scratch.store()).dragDropFormat, 2);
}
#endif

TEST(AppSettings, LanguageIsChosenOnce) {
    struct Case {
        const char* what;
        std::optional<std::string_view> override;
        std::optional<int> stored;
        const char* locale;
        int expected;
    };
    const Case cases[] = {
        {"German locale", std::nullopt, std::nullopt, "de_DE.UTF-8", 3},
        {"English locale", std::nullopt, std::nullopt, "en_GB.UTF-8", 2},
        {"no locale", std::nullopt, std::nullopt, "", 2},
        {"stored value wins over the locale", std::nullopt, 2, "de_DE", 2},
        {"environment wins over everything", "2", 3, "de_DE", 2},
        {"unknown override is ignored", "5", std::nullopt, "de", 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseLanguage(c.override, c.stored, c.locale), c.expected) << c.what;
}

TEST(WindowPlacement, StoredPlacesAreClampedToTheDesktop) {
    struct Case {
        const char* what;
        int stored, window, desktopStart, desktopExtent, expected;
    };
    const Case cases[] = {
        {"beyond the right edge", 5000, 600, 0, 1280, 1250},
        {"never placed: centred", -1, 600, 0, 1280, 340},
        {"left of the desktop", -300, 600, 0, 1280, 0},
        {"a desktop that starts at 1920", 100, 600, 1920, 1280, 1920},
        {"centred on a second screen", -1, 600, 1920, 1280, 2260},
        {"at the far edge exactly stays", 1280, 600, 0, 1280, 1280},
    };
    for (const Case& c : cases)
        EXPECT_EQ(placeWindowAxis(c.stored, c.window, c.desktopStart, c.desktopExtent), c.expected)
            << c.what;
}

TEST(SingleInstance, ProbeSeesAHolderButNeverHoldsItself) {
#ifndef _WIN32
    TempDir dir;
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
#endif
    const std::string name = "SVT-APP-MT-test";
    EXPECT_TRUE(mayStart(name));
    EXPECT_TRUE(mayStart(name)) << "two copies one after the other both run";
    {
        auto held = platform::NamedLock::acquire(name);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(probeInstanceLock(name), 1);
        EXPECT_FALSE(mayStart(name));
        EXPECT_EQ(platform::NamedLock::acquire(name), nullptr);
    }
    EXPECT_EQ(probeInstanceLock(name), 0) << "the lock goes with its holder";
#ifndef _WIN32
    ::unsetenv("XDG_RUNTIME_DIR");
#endif
}

}  // namespace
}  // namespace svt
