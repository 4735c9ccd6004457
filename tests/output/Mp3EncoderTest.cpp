// Binding the encoder library, the calls the encoder makes through it on its own thread, and
// the MP3 output as the audio queue and the desktop's conversions see it: opening with and
// without the library, and per-song files with their titles.

#include <gtest/gtest.h>

#include <filesystem>

#include "EncoderFixtures.h"
#include "output/EncoderLibrary.h"
#include "output/Mp3Encoder.h"
#include "output/Mp3Output.h"
#include "output/Outputs.h"
#include "support/DecodedAudio.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt::output {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

using namespace test_fixtures;

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

std::string songTitled(const TempDir& dir, const std::string& file, const std::string& title) {
    test::SmfBuilder smf(1, 480);
    smf.track().trackName(0, title).tempo(0, 500000).endOfTrack(480);
    smf.track().noteOn(0, 0, 60, 100).noteOff(480, 0, 60).endOfTrack();
    return dir.write(file, smf.build());
}

TEST(Mp3Output, WithoutTheLibraryTheOutputDoesNotOpen) {
    TempDir dir;
    struct Case {
        bool dialogStores;  // the encoder-location dialog stores a working path
        const char* message;
    };
    const Case cases[] = {{false, "Error loading MP3-Encoder!"}, {true, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fs::remove_all(dir.file("config"));
        Mp3Output out(nowhere(dir));
        EXPECT_FALSE(out.encoderAvailable());
        out.batchConversion = true;
        int asked = 0;
        out.locateEncoder = [&] {
            ++asked;
            return c.dialogStores && storeEncoderLocation(out.search(), GOGO_LIBRARY_PATH);
        };
        EXPECT_EQ(out.openOutput(), c.message[0] ? -1 : 0);
        EXPECT_EQ(asked, 1) << "the dialog is offered once";
        EXPECT_EQ(out.lastMessage(), c.message);
        EXPECT_EQ(out.encoderAvailable(), c.dialogStores);
        out.closeOutput();
    }
    Mp3Output noDialog(nowhere(dir));
    fs::remove_all(dir.file("config"));
    EXPECT_EQ(noDialog.openOutput(), -1) << "no dialog: the message at once";
}

TEST(Mp3Output, EncodingsBecomeWhatTheLibraryTakes) {
    struct Case {
        const char* text;  // selection text of the output
        int32_t expected;
    };
    const Case cases[] = {
        {"g", ENC_SIGNED | ENC_16BIT},
        {"g2", ENC_SIGNED | ENC_16BIT},  // 24 bits become 16
        {"g8s", 0},                      // 8 bits are unsigned
        {"gU", 0},                       // companded codes become linear 8-bit samples
        {"gAM", ENC_MONO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Outputs outputs;
        outputs.replace(std::make_unique<Mp3Output>(libraryAt(GOGO_LIBRARY_PATH)));
        ASSERT_EQ(outputs.select(c.text), Outputs::kMp3);
        OutputDevice& g = outputs.at(Outputs::kMp3);
        g.batchConversion = true;
        ASSERT_EQ(g.openOutput(), 0);
        EXPECT_EQ(g.encoding, c.expected);
        g.closeOutput();
    }
}

TEST(Mp3Output, BatchConversionMakesOneTaggedFilePerSong) {
    TempDir dir;
    const std::string longTitle = "The first song of the list, with a long title";
    const std::string songs[] = {songTitled(dir, "First.MID", longTitle),
                                 songTitled(dir, "second.mid", "Two"),
                                 songTitled(dir, "third.mid", "   ")};
    const char* files[] = {"First.MP3", "second.mp3", "third.mp3"};
    const std::string titles[] = {longTitle.substr(0, 30), "Two", ""};

    Mp3Output out(libraryAt(GOGO_LIBRARY_PATH));
    out.name = dir.file("ignored.mp3");
    out.batchConversion = true;
    ASSERT_EQ(out.openOutput(), 0);
    EXPECT_TRUE(out.flags & OF_AUTO_NAME);
    EXPECT_TRUE(out.name.empty()) << "every song names its own file";
    const std::vector<uint8_t> second = toneBytes(44100, 440.0, 0.01);
    EXPECT_EQ(out.outputData(second.data(), second.size()), 0)
        << "no song started: nothing is taken";

    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(files[i]);
        ASSERT_EQ(out.acntl(OUT_REQ_PLAY_START, nullptr), -1)
            << "songs start through the queue's song calls";
        ASSERT_EQ(out.songStart(songs[i]), 0);
        EXPECT_EQ(out.lastOutputPath(), dir.file(files[i]));
        EXPECT_NE(out.fd, -1);
        for (int piece = 0; piece < 4; ++piece)
            ASSERT_EQ(out.outputData(second.data(), second.size()),
                      static_cast<int>(second.size()));
        ASSERT_EQ(out.songEnd(), 0);
        EXPECT_EQ(out.fd, -1);
        const auto decoded = test::decodeMp3(dir.file(files[i]));
        ASSERT_TRUE(decoded);
        EXPECT_GE(decoded->frames(), 4u * 44100);
        EXPECT_EQ(test::mpg123Title(dir.file(files[i])), titles[i]);
    }
    EXPECT_FALSE(fs::exists(dir.file("ignored.mp3")));
    EXPECT_EQ(out.closeOutput(), 0);
}

// An encoder failing mid-song is followed through the command line in Mp3ConversionTest.cpp;
// a file that cannot be made fails the open, with the system's reason.
TEST(Mp3Output, AFileThatCannotBeMadeFailsTheOpen) {
    TempDir dir;
    Mp3Output out(libraryAt(FAKE_GOGO_PATH));
    out.name = dir.file("missing/x.mp3");
    EXPECT_EQ(out.openOutput(), -1);
    EXPECT_EQ(out.lastMessage(), "MP3 file could not be created! (" + dir.file("missing/x.mp3") +
                                     ": No such file or directory)");
}

}  // namespace
}  // namespace svt::output
