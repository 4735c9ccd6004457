// sorvanto-cli play: songs through the live output, with a status line that follows what is
// heard and single keys for the player's commands.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/Batch.h"
#include "app/DisplayText.h"
#include "app/Engine.h"
#include "app/Playlist.h"
#include "cli/Command.h"
#include "cli/PlayKeys.h"
#include "cli/PlayStatus.h"
#include "cli/SoundOptions.h"
#include "instruments/SoundFontRegistry.h"
#include "output/LiveOutput.h"
#include "platform/Break.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"
#include "platform/Terminal.h"
#include "platform/WaveDevice.h"

namespace svt::cli {
namespace {

constexpr const char* kPlayUsage =
    "usage: sorvanto-cli play FILE|FOLDER|LIST.pli... [-s FONT] [--device NAME] [--rate HZ]\n"
    "                         [--interp none|linear|default] [--transpose N] [--tempo PCT]\n"
    "                         [--volume PCT] [--mute CH,...] [--solo CH] [--reverb off|on]\n"
    "                         [--chorus off|on|surround] [--filter 2|4] [--pan-delay off|on]\n"
    "                         [--limiter on|off] [--buffers N] [--threads N] [--verbose]\n";
constexpr int kSeekSeconds = 5;
constexpr int kVolumeStep = 10;

int usageError(const std::string& message) {
    std::fprintf(stderr, "sorvanto-cli play: %s\n%s", message.c_str(), kPlayUsage);
    return 2;
}

// The front-end of the command line: keys become commands, notices become the status line.
class TerminalControl final : public ControlInterface {
  public:
    explicit TerminalControl(Engine& engine) : engine_(engine) {
        keyboard_ = platform::RawKeyboard::open();
        showStatus_ = platform::stderrIsTerminal();
    }
    ~TerminalControl() override { endLine(); }

    bool quit() const { return quit_; }
    bool broken() const { return broken_; }
    void setTitle(const std::string& title) { status_.title = title; }

    int read(int32_t& argument) override {
        if (platform::breakCount() > 0 && !broken_) {
            // Ctrl-C outside a terminal's raw mode: the song ends and the output closes.
            broken_ = quit_ = true;
            argument = 0;
            return CmdQuit;
        }
        if (keyboard_) {
            uint8_t bytes[64];
            const size_t n = keyboard_->read(bytes, sizeof bytes, 0);
            if (n > 0) {
                std::vector<PlayKey> keys;
                decoder_.feed({bytes, n}, keys);
                for (const PlayKey& key : keys) queueKey(key);
            }
        }
        if (pending_.empty()) return CmdNone;
        const auto [code, value] = pending_.front();
        pending_.pop_front();
        argument = value;
        return code;
    }

    void event(const PlayerNotice& n) override {
        switch (n.code) {
            case NoticePlayStart: {
                const std::string title = status_.title;
                status_ = PlayStatus{};
                status_.title = title;
                // The song's controls were told before it started: the line takes them from
                // where the player keeps them.
                const PlayerControls& controls = engine_.controls();
                status_.totalSeconds =
                    static_cast<double>(n.args[0]) / engine_.settings().outputRateHz;
                status_.volumePercent = controls.amplification * 100 / 70;
                status_.transpose = controls.noteKeyOffset;
                status_.mutedChannels = controls.channelMuteMask & 0xFFFFu;
                status_.tempoPercent = static_cast<int>(100.0 / controls.timeRatio + 0.5);
                break;
            }
            case NoticeCurrentTime:
                status_.heardSeconds = n.args[0];
                status_.voices = n.args[1];
                break;
            case NoticeMetronome:
                status_.measure = n.args[0];
                status_.beat = n.args[1];
                break;
            case NoticeTempo:
                status_.microsPerQuarter = n.args[0];
                break;
            case NoticeTimeRatio:
                status_.tempoPercent = n.args[0];
                break;
            case NoticeKeyOffset:
                status_.transpose = n.args[0];
                break;
            case NoticeMasterVolume:
                status_.volumePercent = n.args[0] * 100 / 70;
                break;
            case NoticePause:
                // The position playing resumes at; a seek while paused moves it.
                status_.paused = n.args[0] != 0;
                status_.heardSeconds = n.args[1];
                break;
            case NoticeMute:
                if (n.args[0] >= 0 && n.args[0] < 16) {
                    const uint32_t bit = 1u << n.args[0];
                    status_.mutedChannels =
                        n.args[1] ? (status_.mutedChannels | bit) : (status_.mutedChannels & ~bit);
                }
                break;
            default:
                return;
        }
        draw();
    }

    bool traces() const override { return true; }

  private:
    void queueKey(const PlayKey& key) {
        const int64_t rate = engine_.settings().outputRateHz;
        switch (key.action) {
            case PlayAction::Pause:
                pending_.push_back({CmdTogglePause, 0});
                break;
            case PlayAction::SeekBack:
            case PlayAction::SeekForward: {
                // While paused nothing is heard: a seek moves the position playing resumes at.
                int64_t heard = engine_.player().paused() ? engine_.player().restartPosition()
                                                          : engine_.player().heardPosition();
                if (heard < 0) heard = engine_.player().currentSample();
                const int64_t step =
                    kSeekSeconds * rate * (key.action == PlayAction::SeekBack ? -1 : 1);
                pending_.push_back(
                    {CmdJump, static_cast<int32_t>(std::max<int64_t>(0, heard + step))});
                break;
            }
            case PlayAction::Next:
                pending_.push_back({CmdNext, 0});
                break;
            case PlayAction::Previous:
                pending_.push_back({CmdPrevious, 0});
                break;
            case PlayAction::TransposeUp:
                pending_.push_back({CmdKeyUp, 1});
                break;
            case PlayAction::TransposeDown:
                pending_.push_back({CmdKeyDown, -1});
                break;
            case PlayAction::TempoFaster:
                pending_.push_back({CmdSpeedUp, 1});
                break;
            case PlayAction::TempoSlower:
                pending_.push_back({CmdSpeedDown, -1});
                break;
            case PlayAction::VolumeUp:
                pending_.push_back({CmdChangeVolume, kVolumeStep});
                break;
            case PlayAction::VolumeDown:
                pending_.push_back({CmdChangeVolume, -kVolumeStep});
                break;
            case PlayAction::ToggleMute:
                pending_.push_back({CmdToggleMute, key.channel});
                break;
            case PlayAction::Quit:
                quit_ = true;
                pending_.push_back({CmdQuit, 0});
                break;
        }
    }

    void draw() {
        if (!showStatus_) return;
        const std::string line = formatPlayStatus(status_, platform::terminalColumns());
        std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }

    void endLine() {
        if (drawn_) std::fprintf(stderr, "\n");
        drawn_ = false;
    }

    Engine& engine_;
    std::unique_ptr<platform::RawKeyboard> keyboard_;
    PlayKeyDecoder decoder_;
    std::deque<std::pair<int, int32_t>> pending_;
    PlayStatus status_;
    bool showStatus_ = false;
    bool drawn_ = false;
    bool quit_ = false;
    bool broken_ = false;
};

std::string titleOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int runPlay(const CommandArgs& cmd) {
    ArgParser parser(cmd.args);
    if (parser.flag("--help", "-h")) {
        std::printf(
            "%s"
            "  -s FONT          the SoundFont (default: Sorvanto.sf2 beside the program, else %s)\n"
#ifdef _WIN32
            "  --device NAME    the waveOut device, by number or name (default: "
            "$SORVANTO_WAVEOUT_DEVICE, else the wave mapper)\n"
#else
            "  --device NAME    the ALSA device (default: $SORVANTO_ALSA_DEVICE, else "
            "\"default\")\n"
#endif
            "  --devices        lists the sound devices and ends\n"
            "%s"
            "  --buffers N      the sound device's buffers of 4096 frames, 8..256 (default 32)\n"
            "  --threads N      threads that render the song (default: one per core)\n"
            "  --verbose        the sound device's diagnostic lines on standard error\n"
            "keys: space pause, left/right seek 5 s, n/p next/previous, +/- transpose,\n"
            "      [ ] tempo, up/down volume, 1-9 0 ! @ # $ %% ^ mute channels 1-16, q quit\n",
            kPlayUsage, kSystemSoundFontPath, soundOptionsHelp().c_str());
        return 0;
    }
    const auto font = parser.value("--soundfont", "-s");
    const auto device = parser.value("--device");
    const SoundOptionTexts soundTexts = takeSoundOptions(parser);
    const auto buffersText = parser.value("--buffers");
    const auto threadsText = parser.value("--threads");
    const bool verbose = parser.flag("--verbose", "-v");
    const bool listDevices = parser.flag("--devices");
    const std::vector<std::string> operands = parser.operands();
    if (!parser.error().empty()) return usageError(parser.error());
    if (listDevices) {
        const std::vector<std::string> names = platform::waveDeviceNames();
        for (size_t i = 0; i < names.size(); ++i) std::printf("%zu: %s\n", i, names[i].c_str());
        if (names.empty()) std::printf("no sound devices\n");
        return 0;
    }
    if (operands.empty()) return usageError("no songs named");
    SoundChoices sound;
    if (const std::string e = applySoundOptions(soundTexts, sound); !e.empty())
        return usageError(e);

    long buffers = 0;
    if (buffersText && !parseInt(*buffersText, 8, 256, buffers))
        return usageError("--buffers wants a count between 8 and 256, not \"" + *buffersText +
                          "\"");
    int threads = renderThreadsBeside(1);
    if (threadsText) {
        const Result<int> parsed = parseRenderThreads(*threadsText);
        if (!parsed.ok()) return usageError(parsed.error().message);
        threads = parsed.value();
    }
    const NameExpansion expansion = expandNames(operands);
    for (const std::string& w : expansion.warnings)
        std::fprintf(stderr, "warning: %s\n", cleanText(w).c_str());
    std::vector<std::string> songs;
    for (const ExpandedName& name : expansion.names) songs.push_back(name.path);
    if (songs.empty()) {
        std::fprintf(stderr, "sorvanto-cli play: no songs found in what was named\n");
        return 1;
    }

    std::string fontWarning;
    const Result<std::string> chosen = chooseUsableSoundFont(font, fontWarning);
    if (!chosen.ok()) {
        std::fprintf(stderr, "%s\n", cleanText(chosen.error().message).c_str());
        return 1;
    }
    if (!fontWarning.empty()) std::fprintf(stderr, "%s\n", cleanText(fontWarning).c_str());
    const std::string& fontFile = chosen.value();
    EngineSettings settings = sound.settings;
    settings.outputBuffers = static_cast<int>(buffers);
    settings.renderThreads = threads;
    // Every song starts with the command line's transposition and muted channels; the keys
    // change them while it plays.
    EngineSetup setup;
    setup.player.startKeyOffset = sound.keyOffset;
    setup.player.startMuteMask = sound.muteMask;
    setup.amplification = sound.amplification;
    Engine engine(settings, setup);
    if (const Status loaded = engine.loadSoundFont(fontFile); !loaded.ok()) {
        std::fprintf(stderr, "sorvanto-cli play: %s\n", loaded.error().message.c_str());
        return 1;
    }
    // "SVT" naming the live output may give it encoding letters ("dM" plays in mono).
    const char* svt = std::getenv("SVT");
    if (svt == nullptr || svt[0] != 'd' || !engine.selectOutput(svt)) engine.selectOutput("d");
    auto& live = dynamic_cast<output::LiveOutput&>(engine.output());
    if (device) live.setDeviceName(*device);
    if (verbose)
        live.setDebugLog([](const char* line) { std::fputs(line, stderr); });
    else
        live.setDebugLog(platform::debuggerChannel());
    if (engine.openOutput() < 0) {
        std::fprintf(stderr, "sorvanto-cli play: %s\n", engine.outputMessage().c_str());
        return 1;
    }

    platform::installBreakHandler();
    TerminalControl control(engine);
    engine.setControl(control);
    int failures = 0;
    std::vector<bool> warned(songs.size(), false);
    for (size_t i = 0; i < songs.size() && !control.quit();) {
        control.setTitle(cleanText(titleOf(songs[i])));
        if (!platform::stderrIsTerminal())
            std::fprintf(stderr, "playing %s\n", cleanText(songs[i]).c_str());
        const int result =
            engine.playFile(songs[i], 100.0 / static_cast<double>(sound.tempoPercent));
        // What the reader noticed is said once per song, however often it is played.
        const std::vector<std::string>& warnings = engine.songInput().lastWarnings();
        if (result != CmdError && !warnings.empty() && !warned[i]) {
            std::string line;
            for (const std::string& w : warnings) line += (line.empty() ? "" : "; ") + w;
            std::fprintf(stderr, "\n%s: warning: %s\n", cleanText(songs[i]).c_str(),
                         cleanText(line).c_str());
            warned[i] = true;
        }
        if (result == CmdError) {
            std::fprintf(stderr, "\n%s\n",
                         cleanText(nameOnce(songs[i], engine.player().lastError())).c_str());
            ++failures;
            ++i;
        } else if (result == CmdReallyPrevious) {
            if (i > 0) --i;
        } else if (result != CmdRestart) {
            ++i;
        }
    }
    engine.closeOutput();
    // Interrupted: 128 + SIGINT, as a shell reports a program the signal ended.
    if (control.broken()) return 130;
    return failures == 0 ? 0 : 1;
}

}  // namespace svt::cli
