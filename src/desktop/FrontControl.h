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
#include <map>
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
    // 0 live, 1 WAV, 2 MP3, 3 FLAC, 4 Ogg Vorbis, 5 Opus file (OutputKind).
    virtual void selectOutput(int index) = 0;
    virtual int selectedOutput() const = 0;
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
    bool singleFile = false;     // one song; else the whole playlist
    std::string lastOutputPath;  // the file written last
    int outputIndex = 1;         // the file output (OutputKind): 1 WAV, 2 MP3, ...
    bool tooLongForCd = false;   // a WAV playlist of more than 70 minutes
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

// What the random-order switch did.
enum class RandomOutcome { OneTitle, On, Off };

// Keys of the message loop's table.
enum class ShortcutKey { Space, A, H, N, P, Q, S, MediaPlay, MediaNext, MediaPrevious, MediaStop };

// What the window must do itself after a key or a button.
enum class UiOutcome {
    None,
    NoMidiFileOpen,      // show "Es ist keine Mididatei geladen!"
    ShortcutsNeedAFile,  // show the shortcut message
    TogglePlaylist,
    ShowShortcuts,
    Quit,  // the close request to the main window
};

class FrontControl final : public ControlInterface {
  public:
    FrontControl(FrontEngine& engine, Language language, uint32_t randomSeed = 1);
    ~FrontControl() override;

    void setView(FrontView* view) { view_ = view; }
    // Compact window: the command line's files are played (or converted) once, then the
    // window closes; no quit question.
    void setCompact(bool compact) { compact_ = compact; }
    bool compact() const { return compact_; }

    // Called on the window thread: the engine thread's start and end.

    // Starts the engine thread, which runs runPlaylist(files); a second call does nothing.
    void open(std::vector<std::string> files);
    // Returns when the engine thread has ended (the window queued CmdQuit).
    void close();

    // Called on the engine thread.

    bool engineRunning() const { return engineRunning_.load(); }
    // The engine thread's home: plays the playlist until CmdQuit (or the end of the list
    // with kFlagEndAfterList).
    void runPlaylist(const std::vector<std::string>& files);
    // Between blocks: the next player command; front commands are carried out here.
    int readCommand(int32_t& argument);
    // An engine message; only errors (type 3) reach the user.
    void message(int type, int verbosity, const std::string& text);
    void notify(const PlayerNotice& notice);

    // ControlInterface
    int read(int32_t& argument) override { return readCommand(argument); }
    void event(const PlayerNotice& notice) override { notify(notice); }
    void loading(const std::string& fileName) override { loadingFile_ = fileName; }
    bool traces() const override { return true; }

    // Called on the window thread.

    UiOutcome pressPlay();
    void pressPause();
    void pressStop();
    void pressPrevious();
    void pressNext();
    // Returns whether repeat is now on (the loop button's image).
    bool pressLoop();
    void positionReleased(int seconds);
    // Returns the key-box item to show, or -1 to leave it.
    int transposeReleased(int barPosition);
    // Returns the shift now in force, or nullopt when the choice changed nothing.
    std::optional<int> keyBoxChosen(int item);
    void tempoReleased(int bpm);
    void muteClicked(int channel, bool muted);
    void instrumentChosen(int channel, int item);
    UiOutcome pressKey(ShortcutKey key);
    // Open dialogs' results; ignored while a dialog result is still being handled.
    bool dialogBusy() const { return dialogBusy_.load(); }
    void openFiles(const std::vector<std::string>& paths);
    void openListFile(const std::string& path);
    // Files dropped on the window: listed as opened, and played at once with kFlagStartOnDrop.
    void dropFiles(const std::vector<std::string>& paths);
    // Makes `path` the active SoundFont once no song plays.
    void changeSoundFont(const std::string& path);
    void savePlaylist(const std::string& path);
    void clearPlaylist();
    void closeCurrentFile();
    void setVolumePercent(int percent);
    int volumePercent() { return engine_.volumePercent(); }
    // Playlist window: play a line (heard, as the Play button), remove a line (-1: the current
    // entry), the random switch.
    void playIndex(int index);
    void removeEntry(int index);
    RandomOutcome toggleRandom();
    bool randomOrder() const { return (flags_.load() & kFlagRandom) != 0; }
    // Conversion into a file output (OutputKind 1..5): the current song to a file named after it,
    // the whole playlist one file per song, or the current song to `path`. NoMidiFileOpen without
    // songs; nothing while a conversion runs.
    UiOutcome convertCurrent(int output);
    UiOutcome convertPlaylist(int output);
    UiOutcome convertTo(int output, const std::string& path);
    bool converting() const { return playing_.load() && selectedOutput_.load() != 0; }
    bool convertingSingleFile() const { return singleFile_.load(); }
    // Writes the playlist as a media-player list to `path`, naming the files of `output`
    // (0 the songs, else the file output's); -1: of the output now chosen.
    void exportMediaPlayer(const std::string& path, int output = -1);
    int selectedOutput() const { return selectedOutput_.load(); }
    // The playlist as the engine thread published it last; never null.
    std::shared_ptr<const PlaylistSnapshot> playlistSnapshot() const;
    void queue(int32_t code, int32_t argument = 0) { post(code, argument); }
    // The shutdown after the window closed: stop, give a playing song a second to end,
    // then quit. Returns false when the engine did not come back within `boundMs`.
    bool shutDown(int boundMs);

    // State both threads reach.

    bool playingOrConverting() const { return playing_.load(); }
    bool paused() const { return paused_.load(); }
    int playlistCount() const { return playlistCount_.load(); }
    uint32_t interfaceFlags() const { return flags_.load(); }
    void setInterfaceFlags(uint32_t flags) { flags_.store(flags); }
    int userTranspose() const { return userTranspose_.load(); }
    // The option text a start re-applies: verbosity, then one letter per option that is on.
    std::string optionText() const;
    PanelMailbox& mailbox() { return mailbox_; }
    Language language() const { return language_; }
    // Engine thread (or before open): the panel's view model.
    Panel& panel() { return panel_; }
    CommandQueue& commandQueue() { return queue_; }

  private:
    int dispatch(int code, int32_t argument);
    int carryOut(int32_t code, int32_t argument);
    int loadAndPlay();
    int nextEntry();
    bool hasPlayable() const;
    void showCurrentEntry();
    void publish();
    void publishPlaylist(bool contentsChanged);
    void refreshCount();
    UiOutcome startConversion(int output, const std::string& path, bool single, bool fromFirst);
    void conversionEnd();
    // Output and font changes that came while a song played, carried out once it has ended.
    void carryOutDeferred();
    // Puts a command in the queue; a command the full queue dropped to make room is let go:
    // its names are freed, and a dropped dialog command no longer keeps the dialogs closed.
    void post(int32_t code, int32_t argument = 0);
    int storeNames(std::vector<std::string> names);
    std::vector<std::string> takeNames(int32_t id);
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

    std::mutex namesLock_;
    std::map<int32_t, std::vector<std::string>> names_;
    int32_t nextNamesId_ = 1;

    std::atomic<uint32_t> flags_{kInitialInterfaceFlags};
    std::atomic<bool> playing_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> dialogBusy_{false};
    std::atomic<int> userTranspose_{0};
    std::atomic<int> playlistCount_{0};
    std::atomic<bool> settingsChanged_{false};
    std::atomic<bool> engineRunning_{false};
    std::atomic<int> selectedOutput_{0};
    std::atomic<bool> singleFile_{false};

    mutable std::mutex snapshotLock_;
    std::shared_ptr<const PlaylistSnapshot> snapshot_;
    uint64_t contentsGeneration_ = 0;
    bool reinitialiseDeferred_ = false;
    std::vector<QueuedCommand> deferred_;
    bool firstPass_ = true;
    int lastEndResult_ = 0;

    std::thread engineThread_;
};

}  // namespace svt
