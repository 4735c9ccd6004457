// Finding and binding the encoder library, and encoding through it on its own thread.

#include <gtest/gtest.h>

#include <filesystem>

#include "EncoderFixtures.h"
#include "output/EncoderLibrary.h"
#include "output/Mp3Encoder.h"
#include "platform/SettingsStore.h"
#include "support/DecodedAudio.h"
#include "support/TempDir.h"

namespace svt::output {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

using namespace test_fixtures;

TEST(EncoderLibrary, FoundInTheProgramFolderThenThroughTheStoredPath) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string programCopy;  // library copied into the program folder as "libgogo.so"
        std::string stored;       // "INSTPATH"
        uint32_t expected;
        std::string expectedFrom;
    };
    fs::create_directories(dir.path() / "elsewhere");
    fs::copy_file(GOGO_LIBRARY_PATH, dir.path() / "elsewhere" / "my-gogo.so");
    const std::string elsewhere = dir.file("elsewhere/my-gogo.so");
    const Case cases[] = {
        {"nothing anywhere", "", "", kNotBound, ""},
        {"program folder", GOGO_LIBRARY_PATH, "", 0, "program/libgogo.so"},
        {"stored path elsewhere", "", elsewhere, 0, "elsewhere/my-gogo.so"},
        {"program folder wins", FAKE_GOGO_PATH, elsewhere, 0, "program/libgogo.so"},
        {"stored path is not a library", "", dir.file("program/../config/MarineCat/GOGO_DLL.conf"),
         kNotBound, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EncoderSearch search = nowhere(dir);
        search.fileName = "libgogo.so";
        fs::remove(dir.path() / "program" / "libgogo.so");
        fs::remove(search.settingsPath);
        if (!c.programCopy.empty())
            fs::copy_file(c.programCopy, dir.path() / "program" / "libgogo.so");
        if (!c.stored.empty()) {
            ASSERT_TRUE(platform::SettingsStore(search.settingsPath)
                            .writeString("INSTPATH", c.stored)
                            .ok());
        }

        EncoderLibrary lib;
        EXPECT_EQ(lib.load(search), c.expected);
        EXPECT_EQ(encoderAvailable(search), c.expected == 0);
        if (c.expected == 0) {
            EXPECT_EQ(lib.loadedPath(), dir.file(c.expectedFrom));
            uint32_t code = 0;
            char text[MPGE_VERSION_TEXT_SIZE];
            EXPECT_EQ(lib.getVersion(&code, text), 0u);
            EXPECT_GE(code, 300u);
            EXPECT_EQ(lib.endCoder(), 0u);
        } else {
            EXPECT_FALSE(lib.isLoaded());
        }
        lib.release();
    }
}

TEST(EncoderLibrary, LibraryLackingAnEntryPoint) {
    TempDir dir;
    struct Case {
        const char* path;
        bool loads;
    };
    // Every entry point but "MPGE_closeCoder" is required.
    const Case cases[] = {{FAKE_GOGO_NO_PROCESS_FRAME_PATH, false},
                          {FAKE_GOGO_NO_CLOSE_CODER_PATH, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EncoderSearch search = nowhere(dir);
        const EncoderSearch only = libraryAt(c.path);
        search.programFolder = only.programFolder;
        search.fileName = only.fileName;
        EncoderLibrary lib;
        EXPECT_EQ(lib.load(search), c.loads ? 0u : kNotBound);
        EXPECT_EQ(lib.isLoaded(), c.loads);
        EXPECT_EQ(lib.closeCoder(), kNotBound)
            << "a call through an unbound entry point returns 10";
        uint32_t units = 99;
        EXPECT_EQ(lib.getUnitStates(&units), c.loads ? 0u : kNotBound);
        EXPECT_EQ(units, c.loads ? 0u : 99u) << "nothing is called";
    }
    EncoderLibrary never;
    EXPECT_EQ(never.initializeWork(), kNotBound);
    EXPECT_EQ(never.processFrame(), kNotBound);
    EXPECT_EQ(never.endCoder(), kNotBound);
}

TEST(EncoderLibrary, StoringTheLocationTestsThePathFirst) {
    TempDir dir;
    EncoderSearch search = nowhere(dir);
    EXPECT_FALSE(storeEncoderLocation(search, dir.file("missing.so")));
    EXPECT_FALSE(fs::exists(search.settingsPath)) << "a path that does not load is not stored";
    EXPECT_FALSE(storeEncoderLocation(search, ""));

    ASSERT_TRUE(storeEncoderLocation(search, GOGO_LIBRARY_PATH));
    EXPECT_EQ(platform::SettingsStore(search.settingsPath).readString("INSTPATH"),
              std::string(GOGO_LIBRARY_PATH));
    EXPECT_TRUE(encoderAvailable(search));
    // The file is what QSettings reads for ("MarineCat", "GOGO_DLL").
    const auto bytes = test::readFileBytes(search.settingsPath);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "[General]\nINSTPATH=" + std::string(GOGO_LIBRARY_PATH) + "\n");
}

// Feeds `bytes` in the audio queue's piece size; returns the first result that is not the full
// piece.
long feed(Mp3Encoder& enc, const std::vector<uint8_t>& bytes, size_t piece = 16384) {
    for (size_t pos = 0; pos < bytes.size(); pos += piece) {
        const size_t n = std::min(piece, bytes.size() - pos);
        const long r = enc.output(bytes.data() + pos, n);
        if (r != static_cast<long>(n)) return r;
    }
    return static_cast<long>(bytes.size());
}

TEST(Mp3Encoder, FailuresReachThePlayerSide) {
    TempDir dir;
    const std::vector<uint8_t> tone = toneBytes(44100 * 3, 440.0, 0.5);
    struct Case {
        const char* name;
        const char* fake;  // settings of the fake library; null: no library at all
        std::string file;
        long expectedFeed;  // -1: the player's write fails
        int expectedClose;
        uint32_t expectedResult;
    };
    const Case cases[] = {
        {"no library", nullptr, "a.mp3", -1, -1, kNotBound},
        {"fails after 10 frames", "failAfter=10", "b.mp3", -1, -1, MPGE_WRITE_FAILED},
        {"refuses the input", "failItem=1", "c.mp3", -1, -1, MPGE_BAD_PARAMETER},
        {"file cannot be made", "", "missing-folder/d.mp3", -1, -1, MPGE_CANNOT_OPEN_OUTPUT},
        // Ending on its own before the input ended is a failure, or the player would wait forever.
        {"stops taking input", "endAfter=5", "e.mp3", -1, -1, MPGE_END},
        {"works", "", "f.mp3", static_cast<long>(tone.size()), 0, MPGE_END},
    };
    FakeGogo control;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EncoderSearch search = nowhere(dir);
        if (c.fake != nullptr) {
            search = libraryAt(FAKE_GOGO_PATH);
            control.configure(c.fake);
        }
        Mp3Encoder enc(search);
        ASSERT_EQ(enc.start(dir.file(c.file), "Title"), 0);
        EXPECT_EQ(feed(enc, tone), c.expectedFeed);
        if (c.expectedFeed == -1) {
            EXPECT_EQ(enc.state(), EncoderState::Failed);
            EXPECT_EQ(enc.output(tone.data(), 100), -1) << "the next call fails too";
        }
        EXPECT_EQ(enc.close(), c.expectedClose);
        EXPECT_EQ(enc.lastLibraryResult(), c.expectedResult);
    }
}

TEST(Mp3Encoder, CallSequenceSeenByTheLibrary) {
    TempDir dir;
    FakeGogo control;
    const EncoderSearch search = libraryAt(FAKE_GOGO_PATH);
    struct Case {
        const char* fake;
        Mp3Settings settings;
        Mp3InputFormat format;
        std::string file, title;
        std::string expectedLog;
    };
    const std::string t45 = "123456789012345678901234567890123456789012345";
    const std::string tagged =
        "init 16:128 tag[" + t45.substr(0, 30) + "] 2:0 1:2 detect close end ";
    const std::string eightBitMono = "init 2:0 1:2 7:0 20:0 21:1 22:1 detect close end ";
    const Case cases[] = {
        {"", {}, {}, "x.mp3", t45, tagged},
        // The fake has no standard output, so its detect fails and the encoding ends at once.
        {"", {}, {}, "-", "", "init 2:1 1:2 detect end "},
        {"", {160, 3}, {}, "x.mp3", "", "init 2:0 1:2 1000:160 1001:3 detect close end "},
        // Libraries before version 300 are told the sample layout: 8-bit mono here.
        {"version=200", {}, {44100, 8, 1}, "x.mp3", "", eightBitMono},
        {"failItem=1000", {128, -1}, {}, "x.mp3", "", "init 2:0 1:2 1000:128 end "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expectedLog);
        control.configure(c.fake);
        Mp3Encoder enc(search);
        enc.setSettings(c.settings);
        enc.setInputFormat(c.format);
        // The fake writes what it reads; "-" would go to our standard output, so it gets a file.
        ASSERT_EQ(enc.start(c.file == "-" ? "-" : dir.file(c.file), c.title), 0);
        enc.close();
        EXPECT_EQ(control.log(), c.expectedLog);
    }
}

TEST(Mp3Encoder, StartingAgainEndsTheRunningEncodingCleanly) {
    TempDir dir;
    FakeGogo control;
    control.configure("");
    Mp3Encoder enc(libraryAt(FAKE_GOGO_PATH));
    const std::vector<uint8_t> first = toneBytes(10000, 440, 0.5),
                               second = toneBytes(20000, 880, 0.5);
    ASSERT_EQ(enc.start(dir.file("one.raw"), ""), 0);
    feed(enc, first);
    ASSERT_EQ(enc.start(dir.file("two.raw"), ""), 0);
    feed(enc, second);
    EXPECT_EQ(enc.close(), 0);
    // The fake stores the raw input in whole frames of 4,608 bytes, the last one padded.
    auto padded = [](size_t bytes) { return (bytes + 4607) / 4608 * 4608; };
    EXPECT_EQ(fs::file_size(dir.file("one.raw")), padded(first.size()));
    EXPECT_EQ(fs::file_size(dir.file("two.raw")), padded(second.size()));
    const auto got = test::readFileBytes(dir.file("two.raw"));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), got.begin()))
        << "nothing of the second song is lost";

    EXPECT_EQ(enc.start("", "x"), -1) << "an empty name cannot start";
}

}  // namespace
}  // namespace svt::output
