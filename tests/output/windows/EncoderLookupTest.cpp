// "gogo.dll" is the library beside the program, else the one the registry's INSTPATH names.
// The fake library stands in for it.
#include <gtest/gtest.h>

#include <filesystem>

#include "output/EncoderLibrary.h"
#include "platform/Paths.h"
#include "support/ScratchSettings.h"
#include "support/TempDir.h"

namespace svt::output {
namespace {

namespace fs = std::filesystem;

TEST(EncoderLookup, BesideTheProgramThenTheRegistrysInstallPath) {
    test::TempDir dir;
    test::ScratchSettings registry("GOGO_DLL");
    fs::create_directories(dir.path() / "program");
    fs::create_directories(dir.path() / "Programme" / "Gogo Ünï");
    const std::string program = platform::pathText(dir.path() / "program");
    const std::string installed =
        platform::pathText(dir.path() / "Programme" / "Gogo Ünï" / "gogo.dll");
    fs::copy_file(FAKE_GOGO_PATH, platform::fsPath(installed));
    const EncoderSearch search{program, "gogo.dll", registry.location()};

    EncoderLibrary library;
    EXPECT_EQ(library.load(search), kNotBound) << "neither beside the program nor installed";
    EXPECT_FALSE(encoderAvailable(search));

    ASSERT_TRUE(registry.store().writeString(kEncoderPathKey, installed).ok());
    ASSERT_EQ(library.load(search), 0u);
    EXPECT_EQ(library.loadedPath(), installed) << "the install path, non-ASCII folder and all";
    library.release();

    fs::copy_file(FAKE_GOGO_PATH, fs::path(platform::fsPath(program)) / "gogo.dll");
    ASSERT_EQ(library.load(search), 0u);
    EXPECT_EQ(library.loadedPath(), program + "/gogo.dll") << "beside the program comes first";
    uint32_t code = 0;
    char text[MPGE_VERSION_TEXT_SIZE] = {};
    EXPECT_EQ(library.getVersion(&code, text), 0u);
    EXPECT_EQ(code, 310u);
    library.release();
    EXPECT_FALSE(library.isLoaded());
}

TEST(EncoderLookup, StoringALocationTestsItFirst) {
    test::ScratchSettings registry("GOGO_DLL");
    const EncoderSearch search{"", "gogo-not-installed.dll", registry.location()};
    EXPECT_FALSE(storeEncoderLocation(search, "C:\\nowhere\\gogo.dll"));
    EXPECT_EQ(registry.store().readString(kEncoderPathKey), std::nullopt);
    ASSERT_TRUE(storeEncoderLocation(search, FAKE_GOGO_PATH));
    EXPECT_EQ(registry.store().readString(kEncoderPathKey), std::string(FAKE_GOGO_PATH));
    EXPECT_TRUE(encoderAvailable(search));
}

TEST(EncoderLookup, EntryPointsAsTheLoaderWantsThem) {
    struct Case {
        const char* path;
        uint32_t result;
    };
    const Case cases[] = {{FAKE_GOGO_PATH, 0},
                          {FAKE_GOGO_NO_PROCESS_FRAME_PATH, kNotBound},
                          {FAKE_GOGO_NO_CLOSE_CODER_PATH, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const fs::path p = platform::fsPath(c.path);
        EncoderLibrary library;
        EXPECT_EQ(library.load(
                      {platform::pathText(p.parent_path()), platform::pathText(p.filename()), ""}),
                  c.result);
    }
}

TEST(EncoderLookup, ThisProgramsPlaces) {
    const EncoderSearch search = EncoderSearch::forThisProgram();
    EXPECT_EQ(search.fileName, "gogo.dll");
    EXPECT_EQ(search.settingsPath, "Software\\MarineCat\\GOGO_DLL");
    EXPECT_EQ(search.programFolder, platform::programFolder());
}

}  // namespace
}  // namespace svt::output
