// The main window's rules without a window: what the conversion and export dialogs lead to,
// the questions after a conversion, the progress shown while one runs, what opening a list
// queues, and the link update's request. The control interface is real over a fake engine;
// the desktop answers through FakeDesktopServices.

#include "desktop/MainWindowModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "desktop/FakeDesktopServices.h"
#include "desktop/FakeFrontEngine.h"
#include "output/EncoderLibrary.h"
#include "platform/Paths.h"
#include "support/TempDir.h"

namespace svt {
namespace {

struct ModelRig : test::ControlRig {
    AppSettings settings;
    test::FakeDesktopServices services;
    MainWindowModel model{control, settings, services, WindowForm::Full};

    // Carries out what the window queued, as the engine thread does between blocks.
    std::vector<QueuedCommand> engineStep() { return test::engineStep(control); }
};

TEST(MainWindowModel, ConvertFileToNamesTheFileByTheChosenFormat) {
    using O = OutputKind;
    struct Case {
        const char* typed;
        bool exists, replace;
        const char* written;  // nullptr: nothing starts
        int filter = 0;       // WAV, MP3, FLAC, Ogg Vorbis, Opus
        OutputKind output = O::WavFile;
    };
    // A missing extension is added, a .wave or .oga one kept, another kept before the new one;
    // the file dialog's filter picks the format; a file that exists is replaced after a yes.
    const Case cases[] = {
        {"out", false, false, "out.wav"},
        {"out.WAVE", false, false, "out.WAVE"},
        {"out.mp3", false, false, "out.mp3.wav"},
        {"old.wav", true, false, nullptr},
        {"old.wav", true, true, "old.wav"},
        {"out", false, false, "out.flac", 2, O::FlacFile},
        {"out.oga", false, false, "out.oga", 3, O::VorbisFile},
        {"out.OPUS", false, false, "out.OPUS", 4, O::OpusFile},
    };
    for (const Case& c : cases) {
        const char* const what = c.typed;
        ModelRig rig;
        rig.list({"song.mid"});
        if (c.exists) rig.dir.write(c.typed, std::string("RIFF"));
        rig.services.choose({rig.dir.file(c.typed)}, c.filter);
        rig.services.answer = c.replace;
        rig.model.convertFileTo();
        ASSERT_EQ(rig.services.dialogs.size(), 1u);
        // WAV and MP3 come first, as they always have.
        ASSERT_EQ(rig.services.dialogs[0].filters.size(), 5u);
        EXPECT_EQ(rig.services.dialogs[0].filters[1].patterns, std::vector<std::string>{"*.mp3"});
        EXPECT_EQ(rig.services.dialogs[0].suggested, rig.dir.file("song.wav")) << what;
        const std::vector<QueuedCommand> queued = rig.engineStep();
        EXPECT_EQ(rig.services.questions.size(), c.exists ? 1u : 0u) << what;
        if (!c.written) {
            EXPECT_TRUE(queued.empty()) << what << ": an existing file needs a yes";
            continue;
        }
        EXPECT_EQ(rig.engine.outputFile, rig.dir.file(c.written)) << what;
        EXPECT_EQ(rig.engine.selected, c.output) << what;
    }
}

TEST(MainWindowModel, ExportAsksAboutTheFileItWritesAndRemembersTheFolder) {
    ModelRig rig;
    rig.list({"a.mid"});
    rig.dir.write("list.wpl", std::string("<smil/>"));
    rig.services.choose({rig.dir.file("list.txt")});
    rig.services.answer = false;
    rig.model.exportPlaylist();
    ASSERT_EQ(rig.services.questions.size(), 1u);
    EXPECT_NE(rig.services.questions[0].find(rig.dir.file("list.wpl")), std::string::npos)
        << "the question names the .wpl file that would be replaced";
    EXPECT_TRUE(rig.engineStep().empty());

    rig.services.choose({rig.dir.file("new")});
    rig.model.exportPlaylist();
    rig.engineStep();
    EXPECT_EQ(rig.view.mediaLists, std::vector<std::string>{rig.dir.file("new.wpl")});
    rig.model.exportPlaylist();
    EXPECT_EQ(rig.services.dialogs.back().folder, platform::pathText(rig.dir.path()))
        << "the next dialog starts where the last export went";
}

TEST(MainWindowModel, AfterAConversionItAsksWhetherToListen) {
    ModelRig rig;
    ConversionEnd single;
    single.singleFile = true;
    single.lastOutputPath = "/out/a.wav";
    rig.services.answer = true;
    rig.services.opens = false;
    rig.model.conversionEnded(single);
    EXPECT_EQ(rig.services.questions,
              std::vector<std::string>{"Do you want to listen to the audio file?"});
    EXPECT_EQ(rig.services.opened, std::vector<std::string>{"/out/a.wav"});
    ASSERT_EQ(rig.services.messages.size(), 1u);
    EXPECT_EQ(rig.services.messages[0].text, "No program is set up to open \"/out/a.wav\".");
    EXPECT_EQ(rig.services.taskbar, std::vector<double>{-1}) << "the progress goes first";

    ConversionEnd list;
    list.tooLongForCd = true;
    list.output = OutputKind::WavFile;
    rig.services.questions.clear();
    rig.services.messages.clear();
    rig.model.conversionEnded(list);
    EXPECT_EQ(rig.services.questions,
              std::vector<std::string>{"Do you want to listen to the files or burn them to a CD?"});
    ASSERT_EQ(rig.services.messages.size(), 1u);
    EXPECT_EQ(rig.services.messages[0].text, "Too long for an audio CD.");
    EXPECT_EQ(rig.queuedCodes(), std::vector<int32_t>{FcExportMediaPlayer})
        << "the files go to the media player as a list";
}

TEST(MainWindowModel, ProgressCountsSongsOfTheListAndGoesAwayAtTheEnd) {
    ModelRig rig;
    rig.list({"a.mid", "b.mid", "c.mid", "d.mid"});
    std::vector<ProgressView> shown;
    rig.model.showProgress = [&shown](const ProgressView& v) { shown.push_back(v); };
    rig.engine.onPlay = [&] {
        rig.model.progressTick(0.5);
        rig.model.progressTick(0.501);  // under half a percent: nothing new to show
    };
    rig.model.convertWholePlaylist(OutputKind::WavFile);
    rig.control.queue(CmdQuit);
    rig.control.runPlaylist({});
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].status, "Converting file 1 of 4: 12 %");
    EXPECT_EQ(shown[3].status, "Converting file 4 of 4: 87 %");
    EXPECT_EQ(shown[3].title, " Calda Sorvanto - 87 %");
    EXPECT_DOUBLE_EQ(rig.services.taskbar.back(), 0.875);

    rig.model.progressTick(0);
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_FALSE(shown.back().visible);
    EXPECT_EQ(rig.services.taskbar.back(), -1);
    rig.model.progressTick(0);
    EXPECT_EQ(shown.size(), 5u) << "once gone, nothing more is shown";
}

TEST(MainWindowModel, DialogsOfferEveryKindAndEachKeepsItsFolder) {
    ModelRig rig;
    int saved = 0;
    rig.model.saveSettings = [&](const AppSettings&) { ++saved; };
    const std::string songs = platform::pathText(rig.dir.path() / "songs");
    const std::string fonts = platform::pathText(rig.dir.path() / "fonts");
    std::filesystem::create_directories(songs);
    std::filesystem::create_directories(fonts);
    const std::string song = rig.dir.write("songs/a.kar", std::string("MThd"));

    rig.services.choose({song});
    rig.model.openFileDialog();
    rig.engineStep();
    const std::vector<FileFilter>& offered = rig.services.dialogs.back().filters;
    ASSERT_FALSE(offered.empty());
    for (const char* kind : {"*.mid", "*.midi", "*.kar", "*.rmi", "*.smf", "*.pli"})
        EXPECT_NE(std::find(offered[0].patterns.begin(), offered[0].patterns.end(), kind),
                  offered[0].patterns.end())
            << kind << " is offered at once";

    rig.services.choose({platform::pathText(rig.dir.path() / "fonts" / "b.sf3")});
    rig.model.changeSoundFontDialog();
    const std::vector<std::string> fontKinds = {"*.sf2", "*.sf3"};
    EXPECT_EQ(rig.services.dialogs.back().filters[0].patterns, fontKinds);
    EXPECT_TRUE(rig.settings.soundFont.empty()) << "kept only once the engine has taken it";
    rig.model.engineMessage(FrontMessage::SoundFontChanged, "/fonts/b.sf3");
    EXPECT_EQ(rig.settings.soundFont, "/fonts/b.sf3");
    EXPECT_EQ(saved, 1) << "a font the engine took is kept at once";
    rig.model.engineMessage(FrontMessage::SoundFontRefused, "/fonts/bad.sf2");
    EXPECT_EQ(rig.settings.soundFont, "/fonts/b.sf3");

    rig.model.openFileDialog();
    EXPECT_EQ(rig.services.dialogs.back().folder, songs);
    rig.model.changeSoundFontDialog();
    EXPECT_EQ(rig.services.dialogs.back().folder, fonts);
    rig.model.openPlaylistDialog();
    EXPECT_EQ(rig.services.dialogs.back().folder, "") << "no playlist was opened yet";
}

// Opening sets the full window's fields at once; the compact window has none.
TEST(MainWindowModel, RecentFilesOpenAgainAndForgetWhatHasGone) {
    ModelRig rig;
    const std::string a = rig.song("a.mid");
    const std::string b = rig.song("b.mid");
    const std::optional<OpenedFields> fields = rig.model.openPaths({a, b});
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->title, "ohne Titel");
    EXPECT_EQ(fields->newTempo, "") << "nothing to show yet, so nothing shown";
    EXPECT_FALSE(rig.model.openPaths({b})) << "the first open is not done yet";
    rig.engineStep();
    AppSettings compactSettings;
    MainWindowModel compact(rig.control, compactSettings, rig.services, WindowForm::Compact);
    EXPECT_FALSE(compact.openPaths({rig.song("c.mid")})) << "the compact window has no fields";
    rig.engineStep();
    EXPECT_EQ(rig.model.recentFiles(), (std::vector<std::string>{a, b}));

    const std::string list = rig.dir.write("list.pli", a + "\n");
    rig.services.choose({list});
    EXPECT_EQ(rig.model.openPlaylistDialog(), WindowAction::ShowPlaylist);
    rig.engineStep();
    ASSERT_EQ(rig.model.recentFiles().front(), list);

    RecentOpened opened = rig.model.openRecent(0);
    EXPECT_EQ(opened.action, WindowAction::ShowPlaylist) << "a playlist opens as one";
    EXPECT_EQ(rig.queuedCodes(), (std::vector<int32_t>{FcOpenListFile, FcRefreshList,
                                                       FcRemoveInvalid, FcRemoveDuplicates}));
    opened = rig.model.openRecent(2);
    EXPECT_TRUE(opened.fields) << "a song opens as from the dialog";
    EXPECT_EQ(rig.queuedCodes(), std::vector<int32_t>{FcOpenFiles});
    EXPECT_EQ(rig.model.recentFiles().front(), b);

    std::filesystem::remove(a);
    const size_t before = rig.model.recentFiles().size();
    opened = rig.model.openRecent(2);
    EXPECT_FALSE(opened.fields);
    EXPECT_TRUE(rig.engineStep().empty());
    EXPECT_EQ(rig.model.recentFiles().size(), before - 1) << "the missing file left the list";
    ASSERT_FALSE(rig.services.messages.empty());
    EXPECT_NE(rig.services.messages.back().text.find(a), std::string::npos);
    EXPECT_FALSE(rig.model.openRecent(99).fields);
    EXPECT_EQ(rig.model.openPlaylistDialog(), WindowAction::None) << "a cancelled dialog";
}

TEST(MainWindowModel, HelpFindsTheGuideInTheUsersLanguage) {
    // The pages are joined from the program's folder as the system joins names (on Windows a
    // "/" written here stays while the parts added get "\"), so the strings compare equal.
    const std::string program = platform::pathText(std::filesystem::path("/opt/sv/bin"));
    const std::filesystem::path bin = platform::fsPath(program);
    auto page = [](std::filesystem::path p, std::initializer_list<const char*> parts) {
        for (const char* part : parts) p /= part;
        return platform::pathText(p);
    };
    const std::string besideDe = page(bin, {"guide", "de", "index.html"});
    const std::string besideEn = page(bin, {"guide", "en", "index.html"});
    const std::string sharedDe =
        page(bin.parent_path(), {"share", "sorvanto", "guide", "de", "index.html"});
    struct Case {
        const char* what;
        std::vector<std::string> present;
        Language language;
        std::string expected;
    };
    const Case cases[] = {
        {"German beside the program", {besideEn, besideDe}, Language::German, besideDe},
        {"English for English", {besideEn, besideDe}, Language::English, besideEn},
        {"installed in the data folder", {sharedDe}, Language::German, sharedDe},
        {"English when German is missing", {besideEn}, Language::German, besideEn},
        {"no guide at all", {}, Language::German, ""},
    };
    for (const Case& c : cases) {
        auto exists = [&](const std::string& path) {
            return std::find(c.present.begin(), c.present.end(), path) != c.present.end();
        };
        EXPECT_EQ(findUserGuide(program, c.language, exists), c.expected) << c.what;
    }
}

TEST(MainWindowModel, TheEncoderIsOfferedForDownloadOnlyFromARealAddress) {
    if (output::encoderAvailable(output::EncoderSearch::forThisProgram()))
        GTEST_SKIP() << "an encoder library lies beside this test program";
    ModelRig rig;
    EXPECT_FALSE(rig.model.linkMenus().encoderDownload) << "the address shipped is a placeholder";
    EXPECT_FALSE(rig.model.ensureEncoder());
    EXPECT_EQ(rig.services.encoderDialogs, 1);
    EXPECT_FALSE(rig.services.encoderDownloadOffered);
    rig.settings.linkMp3Encoder = "https://encoders.sorvanto-music.net/gogo";
    EXPECT_TRUE(rig.model.linkMenus().encoderDownload);
    EXPECT_TRUE(rig.model.linkMenus().downloadsShown());
    EXPECT_FALSE(rig.model.ensureEncoder());
    EXPECT_TRUE(rig.services.encoderDownloadOffered);
}

TEST(MainWindowModel, LinkUpdatePostsWithLimitsAndKeepsWhatTheReplyBrings) {
    ModelRig rig;
    rig.settings.linkUpdateUrl = "https://links.example/update";
    int saves = 0;
    rig.model.saveSettings = [&saves](const AppSettings&) { ++saves; };
    rig.model.updateLinks();
    ASSERT_EQ(rig.services.requests.size(), 1u);
    EXPECT_EQ(rig.services.requests[0].url, "https://links.example/update");
    EXPECT_EQ(rig.services.requests[0].body, "version=1&lang=EN");
    EXPECT_GT(rig.services.requests[0].maxReplyBytes, 0u);
    EXPECT_GT(rig.services.requests[0].timeoutMs, 0);
    rig.model.updateLinks();
    EXPECT_EQ(rig.services.requests.size(), 1u) << "one request at a time";

    rig.services.reply({true, "OK\n2\nhttps://enc.example/gogo\n", {}});
    EXPECT_EQ(rig.settings.linkListVersion, "2");
    EXPECT_EQ(saves, 1);
    rig.model.updateLinks();
    rig.services.reply({false, {}, "the server did not answer in time."});
    EXPECT_NE(rig.services.messages.back().text.find("did not answer"), std::string::npos);
    EXPECT_EQ(saves, 1);
}

}  // namespace
}  // namespace svt
