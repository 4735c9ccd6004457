#pragma once
// The desktop program's side of the control interface. The window thread turns clicks and
// keys into queued commands (the press... operations); the engine thread runs runPlaylist,
// reads the commands between rendered blocks (readCommand) and hands every notice to notify,
// which updates the panel's view and tells the window through a FrontView. Nothing here
// touches a widget; the few values both threads write are atomics or guarded by a lock.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/Playlist.h"
#include "base/Language.h"
#include "desktop/CommandQueue.h"
#include "desktop/FrontCommands.h"
#include "desktop/PanelState.h"
#include "desktop/PlaylistView.h"
#include "desktop/WindowControl.h"
#include "player/PlayerCommands.h"

namespace svt {

// The engine as the front-end drives it; Engine's own adapter is EngineFront, tests use fakes.
class FrontEngine {
  public:
    virtual ~FrontEngine() = default;
    // 0, or -1 when the output cannot be opened.
    virtual int openOutput() = 0;
    virtual void closeOutput() = 0;
    virtual bool outputOpen() const = 0;
    // Why the output did not open.
    virtual std::string outputMessage() { return {}; }
    virtual void selectOutput(OutputKind output) = 0;
    virtual OutputKind selectedOutput() const = 0;
    virtual std::string outputFileName() const { return {}; }
    // The file output's name for the next songs; empty: one file per song, named after it.
    virtual void setOutputFile(const std::string& /*name*/) {}
    // The file the last conversion wrote.
    virtual std::string lastOutputPath() const { return {}; }
    // Plays one entry into the open output with the user's transposition; a player result.
    virtual int play(const Playlist::Entry& entry, int userTranspose) = 0;
    virtual int outputRateHz() const = 0;
    // The name of the track that plays each channel of the song loaded from `path`; null
    // when unknown.
    virtual const std::array<std::string, 16>* trackNames(const std::string& path) = 0;
    // What the playlist needs to list a file.
    virtual std::optional<SongProbeResult> probe(const std::string& path) = 0;
    // The live device's volume 0..100; may be called from the window thread.
    virtual int volumePercent() = 0;
    virtual void setVolumePercent(int percent) = 0;
    // Releases the SoundFont in use and takes `path`; false (the old one stays) when unusable.
    virtual bool changeSoundFont(const std::string& /*path*/) { return false; }
    // Asks a playing song to end after its current block (shutdown).
    virtual void requestBreak() {}
};

// At start-up, before the engine thread runs: whether the sound device opens. Empty when it
// does; otherwise what the window says: that nothing can be heard but songs can still be
// converted, then the device's name and the system's reason. The output is left closed.
std::string soundDeviceProblem(FrontEngine& engine, Language language);

// Texts the engine thread asks the window to show (the window holds them in both languages).
enum class FrontMessage {
    NoMidiFileOpen,      // "Es ist keine Mididatei geladen!"
    ShortcutsNeedAFile,  // "Die Tastenbefehle können erst benutzt werden, ..."
    FileNotFound,        // "Datei nicht vorhanden"
    CouldNotPlay,        // "Die Datei konnte nicht abgespielt werden."
    CouldNotCreate,      // "Die Datei "%s" konnte nicht gespeichert werden!"
    OperationCompleted,  // "Der Vorgang ist abgeschlossen!"
    EngineError,         // an engine message of type error, its text as it is
    SoundFontChanged,    // the argument is the new font's file name
    SoundFontRefused,    // the argument names the font that cannot be used
    ExportFailed,        // the media-player list could not be written; the argument says why
    NotSongs,            // files the user named are not songs: "path: reason", one a line
};

// How a conversion ended, for the question whether to listen to the result.
struct ConversionEnd {
    bool singleFile = false;                  // one song; else the whole playlist
    std::string lastOutputPath;               // the file written last
    OutputKind output = OutputKind::WavFile;  // the file output
    bool tooLongForCd = false;                // a WAV playlist of more than 70 minutes
};

// The window as the engine thread sees it. Every call comes from the engine thread and must
// only post work to the window thread.
class FrontView {
  public:
    virtual ~FrontView() = default;
    // The panel mailbox holds fields the window has not shown yet.
    virtual void panelChanged() = 0;
    virtual void showMessage(FrontMessage message, const std::string& argument) = 0;
    // The compact window's work is done: close it (which ends the program).
    virtual void closeWindow() = 0;
    // The playlist changed (count, current entry or lines): a new snapshot is there.
    virtual void playlistChanged() {}
    // A conversion ended as it should: ask whether to listen to it.
    virtual void conversionEnded(const ConversionEnd& /*end*/) {}
    // The media-player list `path` was written: hand it to the media player.
    virtual void mediaListWritten(const std::string& /*path*/) {}
};

class FrontControl final : public ControlInterface, public WindowControl {
  public:
    FrontControl(FrontEngine& engine, Language language, uint32_t randomSeed = 1);
    ~FrontControl() override;

    void setView(FrontView* view) { view_ = view; }
    // Compact window: the command line's files are played (or converted) once, then the
    // window closes; no quit question.
    void setCompact(bool compact) { compact_ = compact; }
    bool compact() const { return compact_; }

    // The window thread starts and ends the engine thread.

    // Starts the engine thread, which runs runPlaylist(files); a second call does nothing.
    void open(std::vector<std::string> files);
    // Returns when the engine thread has ended (the window queued CmdQuit).
    void close();

    bool engineRunning() const { return engineRunning_.load(); }
    // The engine thread's home: plays the playlist until CmdQuit (or the end of the list
    // with kFlagEndAfterList).
    void runPlaylist(const std::vector<std::string>& files);
    // Between blocks: the next player command; front commands are carried out here.
    int readCommand(int32_t& argument);
    // An engine message; only errors (type 3) reach the user.
    void message(int type, int verbosity, const std::string& text);
    void notify(const PlayerNotice& notice);

    // ControlInterface: what the player calls on the engine thread.
    int read(int32_t& argument) override { return readCommand(argument); }
    void event(const PlayerNotice& notice) override { notify(notice); }
    void loading(const std::string& fileName) override { loadingFile_ = fileName; }
    bool traces() const override { return true; }

    // WindowControl: called on the window thread.

    Language language() const override { return language_; }
    UiOutcome pressPlay() override;
    void pressPause() override;
    void pressStop() override;
    void pressPrevious() override;
    void pressNext() override;
    bool pressLoop() override;
    UiOutcome pressKey(ShortcutKey key) override;
    void positionReleased(int seconds) override;
    int transposeReleased(int barPosition) override;
    std::optional<int> keyBoxChosen(int item) override;
    void tempoReleased(int bpm) override;
    void muteClicked(int channel, bool muted) override;
    void instrumentChosen(int channel, int item) override;
    void setVolumePercent(int percent) override;
    int volumePercent() override { return engine_.volumePercent(); }
    bool dialogBusy() const override { return dialogBusy_.load(); }
    void openFiles(const std::vector<std::string>& paths) override;
    void openListFile(const std::string& path) override;
    void dropFiles(const std::vector<std::string>& paths) override;
    void changeSoundFont(const std::string& path) override;
    void savePlaylist(const std::string& path) override;
    void clearPlaylist() override;
    void closeCurrentFile() override;
    void playIndex(int index) override;
    void removeEntry(int index) override;
    RandomOutcome toggleRandom() override;
    bool randomOrder() const override { return (flags_.load() & kFlagRandom) != 0; }
    UiOutcome convertCurrent(OutputKind output) override;
    UiOutcome convertPlaylist(OutputKind output) override;
    UiOutcome convertTo(OutputKind output, const std::string& path) override;
    bool converting() const override {
        return playing_.load() && selectedOutput_.load() != OutputKind::Live;
    }
    bool convertingSingleFile() const override { return singleFile_.load(); }
    void exportMediaPlayer(const std::string& path,
                           std::optional<OutputKind> output = std::nullopt) override;
    OutputKind selectedOutput() const override { return selectedOutput_.load(); }
    std::shared_ptr<const PlaylistSnapshot> playlistSnapshot() const override;
    int playlistCount() const override { return playlistCount_.load(); }
    uint32_t interfaceFlags() const override { return flags_.load(); }
    void queue(int32_t code, int32_t argument = 0) override { post({code, argument, {}}); }
    // The shutdown after the window closed: stop, give a playing song a second to end,
    // then quit. Returns false when the engine did not come back within `boundMs`.
    bool shutDown(int boundMs);

    // Keeps the playlist in `path` for the next start (the window thread, once close() or
    // shutDown() has ended the engine thread: nobody else touches the list then).
    Status keepPlaylist(const std::string& path) const;

    bool playingOrConverting() const { return playing_.load(); }
    bool paused() const { return paused_.load(); }
    void setInterfaceFlags(uint32_t flags) { flags_.store(flags); }
    int userTranspose() const { return userTranspose_.load(); }
    // The option text a start re-applies: verbosity, then one letter per option that is on.
    std::string optionText() const;
    PanelMailbox& mailbox() { return mailbox_; }
    // Engine thread (or before open): the panel's view model.
    Panel& panel() { return panel_; }
    CommandQueue& commandQueue() { return queue_; }

  private:
    int dispatch(QueuedCommand command);
    int carryOut(QueuedCommand command);
    int loadAndPlay();
    int nextEntry();
    bool hasPlayable() const;
    void showCurrentEntry();
    void publish();
    void publishPlaylist(bool contentsChanged);
    void refreshCount();
    UiOutcome startConversion(OutputKind output, const std::string& path, bool single,
                              bool fromFirst);
    void conversionEnd();
    // Output and font changes that came while a song played, carried out once it has ended.
    void carryOutDeferred();
    // Puts a command in the queue; a dialog's command the full queue dropped to make room no
    // longer keeps the dialogs closed.
    void post(QueuedCommand command);
    void post(int32_t code, int32_t argument = 0) { post(QueuedCommand{code, argument, {}}); }
    void post(int32_t code, std::vector<std::string> paths) {
        post(QueuedCommand{code, 0, {std::move(paths), OutputKind::Live}});
    }
    void postOutput(OutputKind output) { post(QueuedCommand{FcSelectOutput, 0, {{}, output}}); }
    void editCurrent(const std::function<void(SongSettings&)>& edit);
    bool skipUnplayable() const { return (flags_.load() & kFlagCurrentSongOnly) == 0; }

    FrontEngine& engine_;
    const Language language_;
    FrontView* view_ = nullptr;
    bool compact_ = false;
    CommandQueue queue_;
    Panel panel_;
    PanelMailbox mailbox_;
    std::string loadingFile_;

    // The playlist changes only in the engine thread; the window reads the current entry's
    // settings and writes its user fields under this lock.
    mutable std::mutex playlistLock_;
    Playlist playlist_;

    std::atomic<uint32_t> flags_{kInitialInterfaceFlags};
    std::atomic<bool> playing_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> dialogBusy_{false};
    std::atomic<int> userTranspose_{0};
    std::atomic<int> playlistCount_{0};
    std::atomic<bool> engineRunning_{false};
    std::atomic<OutputKind> selectedOutput_{OutputKind::Live};
    std::atomic<bool> singleFile_{false};

    mutable std::mutex snapshotLock_;
    std::shared_ptr<const PlaylistSnapshot> snapshot_;
    uint64_t contentsGeneration_ = 0;
    std::vector<QueuedCommand> deferred_;
    bool firstPass_ = true;
    // Engine thread: the second of the song heard last, where a seek by key starts from.
    int32_t heardSeconds_ = 0;
    int lastEndResult_ = 0;

    std::thread engineThread_;
};

}  // namespace svt
