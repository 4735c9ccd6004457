// The desktop program's engine side as a user drives it: a real Engine behind EngineFront and
// FrontControl, a sound device that plays what it gets at once, songs and a font built here.
// The user's clicks are the FrontControl calls the window makes, made when the notice a user
// would react to arrives, so every run takes the same road.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

#include "app/Engine.h"
#include "desktop/EngineFront.h"
#include "desktop/FakeFrontEngine.h"
#include "desktop/FrontControl.h"
#include "output/LiveOutput.h"
#include "support/FakeWaveDevice.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt {
namespace {

using test::SmfBuilder;
using test::TempDir;

// Passes everything to the front-end and lets a test act on each notice. (Pause, Stop and
// Play again are the real program's test, DesktopRunTest.)
class UserAtTheWindow final : public ControlInterface {
  public:
    explicit UserAtTheWindow(FrontControl& front) : front_(front) {}
    int read(int32_t& argument) override { return front_.read(argument); }
    void event(const PlayerNotice& notice) override {
        if (notice.code == NoticePlayStart) secondReached = false;
        if (notice.code == NoticePlayEnd) ends.push_back(notice.args[0]);
        front_.event(notice);
        if (notice.code == NoticeCurrentTime && notice.args[0] > 0) {
            if (!secondReached && atFirstSecond) atFirstSecond();
            secondReached = true;
        }
        if (onNotice) onNotice(notice);
    }
    void loading(const std::string& fileName) override { front_.loading(fileName); }
    bool traces() const override { return true; }

    std::function<void(const PlayerNotice&)> onNotice;
    // Once a song, when its clock first shows a second.
    std::function<void()> atFirstSecond;
    bool secondReached = false;
    std::vector<int> ends;  // each song's result

  private:
    FrontControl& front_;
};

// A song of `seconds` without a tempo: one note, in the second track of two.
std::vector<uint8_t> song(int seconds) {
    SmfBuilder smf(1, 480);
    smf.track().endOfTrack();
    smf.track()
        .noteOn(0, 0, 69, 100)
        .noteOff(static_cast<uint32_t>(960 * seconds), 0, 69)
        .endOfTrack();
    return smf.build();
}

struct Desktop {
    TempDir dir;
    test::FakeWaveSystem* device = nullptr;
    Engine engine;
    EngineFront front{engine};
    FrontControl control{front, Language::English};
    test::RecordingView view;
    UserAtTheWindow user{control};

    Desktop() {
        auto system = std::make_unique<test::FakeWaveSystem>();
        system->playsAtOnce = true;
        device = system.get();
        engine.outputs().replace(std::make_unique<output::LiveOutput>(std::move(system)));
        EXPECT_TRUE(engine.loadSoundFont(dir.write("sine.sf2", test::sineFont())).ok());
        engine.setControl(user);
        control.setView(&view);
        control.setInterfaceFlags(kFlagEndAfterList);
    }
    // Lists the files as the open dialog does.
    void list(const std::vector<std::string>& files) {
        control.openFiles(files);
        int32_t argument = 0;
        control.readCommand(argument);
    }
    // The engine thread's loop on this thread, until the list has been played (or CmdQuit).
    void run() { control.runPlaylist({}); }
    bool heardSomething() const {
        for (uint8_t byte : device->played)
            if (byte != 0) return true;
        return false;
    }
};

TEST(DesktopEngine, ChangesWhileASongPlaysWaitForItOrStopIt) {
    struct Case {
        const char* what;
        std::function<void(Desktop&)> before;  // before the loop starts
        std::function<void(Desktop&)> during;  // at the song's first second
        std::vector<int> ends;
        bool heard;
    };
    const Case cases[] = {
        {"the drag-and-drop format chosen while a song plays",
         [](Desktop& d) { d.control.pressPlay(); },
         [](Desktop& d) {
             d.control.commandQueue().put({FcSelectOutput, 0, {{}, OutputKind::WavFile}});
             d.control.queue(CmdQuit);
         },
         {CmdStop},
         true},
        {"Play pressed right after a conversion button",
         [](Desktop& d) {
             d.control.convertCurrent(OutputKind::WavFile);
             d.control.pressPlay();
         },
         {},
         {CmdTuneEnd},
         true},
        {"a font chosen right after Play",
         [](Desktop& d) {
             d.control.pressPlay();
             d.control.changeSoundFont(d.dir.write("other.sf2", test::sineFont()));
             d.control.queue(CmdQuit);
         },
         {},
         {},
         false},
        {"closing the playing song",
         [](Desktop& d) { d.control.pressPlay(); },
         [](Desktop& d) {
             d.control.closeCurrentFile();
             d.control.queue(CmdQuit);
         },
         {CmdStop},
         true},
        {"a line played after a file output was chosen (at a start without a device)",
         [](Desktop& d) {
             d.front.selectOutput(OutputKind::WavFile);
             d.control.playIndex(0);  // Enter or a double click in the playlist window
         },
         {},
         {CmdTuneEnd},
         true},
    };
    for (const Case& c : cases) {
        Desktop d;
        const std::string tune = d.dir.write("tune.mid", song(2));
        d.list({tune});
        if (c.during) d.user.atFirstSecond = [&] { c.during(d); };
        c.before(d);
        d.run();
        EXPECT_EQ(d.user.ends, c.ends) << c.what;
        EXPECT_EQ(d.heardSomething(), c.heard) << c.what;
        EXPECT_FALSE(std::filesystem::exists(d.dir.file("tune.wav")))
            << c.what << ": no file for a song that was to be heard or was stopped";
    }
}

TEST(DesktopEngine, WithoutASoundDeviceTheWindowSaysWhy) {
    Desktop d;
    EXPECT_EQ(soundDeviceProblem(d.front, Language::English), "") << "a device that opens";
    d.device->failOpen = true;
    const std::string problem = soundDeviceProblem(d.front, Language::German);
    EXPECT_EQ(problem.rfind("Es konnte kein Audiogerät geöffnet werden.", 0), 0u) << problem;
    EXPECT_NE(problem.find("fake: cannot open"), std::string::npos)
        << "the device and the system's reason are named: " << problem;
    EXPECT_FALSE(d.front.outputOpen());
    EXPECT_EQ(d.front.selectedOutput(), OutputKind::Live) << "the choice is left as it was";
}

// A font that cannot be used, chosen before Play, leaves the old one sounding the songs.
TEST(DesktopEngine, ThePanelShowsWhatTheSongHoldsAndARefusedFontLeavesTheOldOne) {
    Desktop d;
    // Drums on channel 10 named in the second track, a melody on channel 1 in the third.
    SmfBuilder smf(1, 480);
    smf.track().tempo(0, 400000).endOfTrack();
    smf.track().trackName(0, "Drums").noteOn(0, 9, 38, 100).noteOff(480, 9, 38).endOfTrack();
    smf.track()
        .trackName(0, "M\xfcller")  // Windows-1252
        .noteOn(0, 0, 69, 100)
        .noteOff(480, 0, 69)
        .endOfTrack();
    const std::string named = d.dir.write("named.mid", smf.build());
    const std::string plain = d.dir.write("plain.mid", song(1));
    d.list({named, plain});
    d.control.tempoReleased(225);  // the first song (150 bpm) at 150 %
    d.control.changeSoundFont(d.dir.write("broken.sf2", std::string("RIFF....sfbk")));

    std::vector<PanelView> shown;
    d.user.onNotice = [&](const PlayerNotice& n) {
        PanelView v;
        if (n.code == NoticePlayEnd && d.control.mailbox().take(v)) shown.push_back(v);
    };
    d.control.pressPlay();
    d.run();
    EXPECT_EQ(d.view.messages, std::vector<FrontMessage>{FrontMessage::SoundFontRefused});
    EXPECT_TRUE(d.heardSomething()) << "the songs still sound with the old font";
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].trackNames[0], "M\u00fcller");
    EXPECT_EQ(shown[0].trackNames[9], "Drums");
    EXPECT_EQ(shown[0].trackNames[1], "");
    EXPECT_EQ(shown[0].newTempo, "225 bpm (150%)");
    EXPECT_EQ(shown[1].newTempo, "120 bpm (100%)") << "a song without tempo starts at 120";
    EXPECT_EQ(shown[1].time, " 00:00:01 von 00:00:01") << "a song played to its end";
}

// Every format the window offers converts into a file named after the song and tagged with its
// title, with no sound device to be had (conversion needs none); Opus too, whose encoder takes
// the window's 44.1 kHz. The song is listed by a name relative to the working folder, as a
// command line gives it, in a folder named with "#" (no archive's); the conversion ends at
// the song's length and names its file whole.
TEST(DesktopEngine, TheWindowConvertsIntoEveryFormatWithTags) {
    for (const auto& [output, name, magic] :
         {std::tuple{OutputKind::WavFile, "C#/tune.wav", "RIFF"},
          std::tuple{OutputKind::FlacFile, "C#/tune.flac", "fLaC"},
          std::tuple{OutputKind::VorbisFile, "C#/tune.ogg", "OggS"},
          std::tuple{OutputKind::OpusFile, "C#/tune.opus", "OggS"}}) {
        SCOPED_TRACE(name);
        Desktop d;
        d.device->failOpen = true;
        SmfBuilder smf(0, 480);
        smf.track()
            .trackName(0, "Window Tune")
            .noteOn(0, 0, 69, 100)
            .noteOff(1920, 0, 69)
            .endOfTrack();
        std::filesystem::create_directories(d.dir.path() / "C#");
        d.dir.write("C#/tune.mid", smf.build());
        const std::filesystem::path before = std::filesystem::current_path();
        std::filesystem::current_path(d.dir.path());
        d.list({"C#/tune.mid"});
        d.control.convertCurrent(output);
        d.user.onNotice = [&](const PlayerNotice& n) {
            if (n.code == NoticePlayEnd) d.control.queue(CmdQuit);
        };
        d.run();
        std::filesystem::current_path(before);
        ASSERT_EQ(d.view.ends.size(), 1u);
        EXPECT_EQ(std::filesystem::path(d.view.ends[0].lastOutputPath).make_preferred().string(),
                  std::filesystem::path(d.dir.file(name)).make_preferred().string());
        PanelView v;
        ASSERT_TRUE(d.control.mailbox().take(v));
        EXPECT_EQ(v.time, " 00:00:02 von 00:00:02");
        const std::vector<uint8_t> bytes = test::readFileBytes(d.dir.file(name));
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(text.substr(0, 4), magic);
        EXPECT_NE(text.find("Window Tune"), std::string::npos);
    }
}

}  // namespace
}  // namespace svt
