#pragma once
// A front-end engine that plays nothing, and a window that only records: the control
// interface's tests and the window's tests drive the front-end with them.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "desktop/FrontControl.h"
#include "support/TempDir.h"

namespace svt::test {

// Plays nothing: records what it was asked to play and answers with scripted results.
class FakeEngine final : public FrontEngine {
  public:
    int openOutput() override {
        open = true;
        return failOpen ? -1 : 0;
    }
    void closeOutput() override { open = false; }
    bool outputOpen() const override { return open; }
    void selectOutput(OutputKind output) override { selected = output; }
    void setOutputFile(const std::string& name) override { outputFile = name; }
    std::string lastOutputPath() const override { return lastPath; }
    OutputKind selectedOutput() const override { return selected; }
    int play(const Playlist::Entry& entry, int userTranspose) override {
        played.push_back(std::filesystem::path(entry.path).filename().string());
        transposes.push_back(userTranspose);
        if (onPlay) onPlay();
        if (results.empty()) return CmdTuneEnd;
        const int r = results.front();
        results.erase(results.begin());
        return r;
    }
    int outputRateHz() const override { return 1000; }
    const std::array<std::string, 16>* trackNames(const std::string&) override { return nullptr; }
    std::optional<SongProbeResult> probe(const std::string& path) override {
        if (onProbe) onProbe();
        SongProbeResult r;
        r.isSong = path.ends_with(".mid");
        r.settings.originalKey = 7;
        r.settings.originalTempo = 120;
        r.settings.newTempo = 120;
        r.settings.playingTimeSeconds = playingSeconds;
        for (auto& p : r.settings.program) p = -1;
        return r;
    }
    int volumePercent() override { return volume; }
    void setVolumePercent(int percent) override { volume = percent; }

    bool open = false;
    bool failOpen = false;
    std::string outputFile;
    int32_t playingSeconds = 0;
    std::string lastPath;
    OutputKind selected = OutputKind::Live;
    int volume = 100;
    std::vector<std::string> played;
    std::vector<int> transposes;
    std::vector<int> results;
    std::function<void()> onPlay;
    std::function<void()> onProbe;
};

class RecordingView final : public FrontView {
  public:
    void panelChanged() override {}
    void showMessage(FrontMessage m, const std::string&) override { messages.push_back(m); }
    void closeWindow() override { closed = true; }
    void playlistChanged() override { ++playlistSignals; }
    void conversionEnded(const ConversionEnd& end) override { ends.push_back(end); }
    void mediaListWritten(const std::string& path) override { mediaLists.push_back(path); }
    int playlistSignals = 0;
    std::vector<ConversionEnd> ends;
    std::vector<std::string> mediaLists;
    std::vector<FrontMessage> messages;
    bool closed = false;
};

// A notice as the engine thread sends it.
inline PlayerNotice notice(int code, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0) {
    PlayerNotice n;
    n.code = code;
    n.args[0] = a;
    n.args[1] = b;
    n.args[2] = c;
    n.args[3] = d;
    return n;
}

// Takes every queued command without carrying any out.
inline std::vector<QueuedCommand> drain(CommandQueue& queue) {
    std::vector<QueuedCommand> out;
    while (queue.count() > 0) out.push_back(queue.take(false));
    return out;
}

inline std::vector<int32_t> codesOf(const std::vector<QueuedCommand>& commands) {
    std::vector<int32_t> codes;
    for (const QueuedCommand& c : commands) codes.push_back(c.code);
    return codes;
}

// Takes every queued command and carries out the front commands among them, as the engine
// thread does between blocks; returns the codes and arguments of all of them in order.
inline std::vector<QueuedCommand> engineStep(FrontControl& control) {
    std::vector<QueuedCommand> taken;
    while (control.commandQueue().count() > 0) taken.push_back(control.commandQueue().take(false));
    std::vector<QueuedCommand> seen;
    for (QueuedCommand& c : taken) {
        seen.push_back({c.code, c.argument, {}});
        if (!isFrontCommand(c.code)) continue;
        control.commandQueue().put(std::move(c));
        int32_t argument = 0;
        control.readCommand(argument);
    }
    return seen;
}

// The control interface over the fake engine, its view recording, with songs written in a
// folder of its own; nothing starts at once unless a test asks for it.
struct ControlRig {
    TempDir dir;
    FakeEngine engine;
    RecordingView view;
    FrontControl control;

    explicit ControlRig(uint32_t randomSeed = 1) : control(engine, Language::English, randomSeed) {
        control.setView(&view);
        control.setInterfaceFlags(0);
    }
    std::string song(const char* name) { return dir.write(name, std::string("MThd")); }
    std::vector<std::string> songs(std::initializer_list<const char*> names) {
        std::vector<std::string> out;
        for (const char* name : names) out.push_back(song(name));
        return out;
    }
    // The engine thread reads one command between two blocks.
    int step() {
        int32_t argument = 0;
        return control.readCommand(argument);
    }
    // Lists files the way the open dialog does, carried out at once.
    void list(std::initializer_list<const char*> names) {
        control.openFiles(songs(names));
        step();
    }
    // Runs the loop on this thread over `files`; `commands` are waiting in the queue.
    void run(const std::vector<std::string>& files, std::vector<int32_t> commands) {
        for (int32_t c : commands) control.queue(c);
        control.runPlaylist(files);
    }
    // What engineStep carried out, by code.
    std::vector<int32_t> queuedCodes() { return codesOf(engineStep(control)); }
};

}  // namespace svt::test
