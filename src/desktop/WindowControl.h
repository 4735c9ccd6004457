#pragma once
// The control interface as the window thread sees it: every click, key, bar and dialog result
// becomes one of these calls, which queue commands for the engine thread or write the few
// values both threads share; none waits for the engine. FrontControl implements it; the
// desktop model and the windows hold only this side. The engine thread's side is the
// player's ControlInterface with runPlaylist, and the window as the engine sees it is the
// FrontView.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Language.h"
#include "desktop/FrontCommands.h"
#include "desktop/PlaylistView.h"

namespace svt {

// What the random-order switch did.
enum class RandomOutcome { OneTitle, On, Off };

// Keys of the message loop's table, then the keys a music player is expected to know: the
// arrows seek (Left, Right) and change the volume (Up, Down); +/- transpose and ]/[ change the
// tempo of the song that plays, Ctrl+O opens files, F1 shows the user guide.
enum class ShortcutKey {
    Space,
    A,
    H,
    N,
    P,
    Q,
    S,
    MediaPlay,
    MediaNext,
    MediaPrevious,
    MediaStop,
    SeekBack,
    SeekForward,
    VolumeUp,
    VolumeDown,
    TransposeUp,
    TransposeDown,
    Faster,
    Slower,
    Open,
    Help,
};

// How far one press of Left or Right moves the song, and Up or Down the volume.
inline constexpr int kSeekStepSeconds = 5;
inline constexpr int kVolumeStepPercent = 5;

// What the window must do itself after a key or a button.
enum class UiOutcome {
    None,
    NoMidiFileOpen,      // show "Es ist keine Mididatei geladen!"
    ShortcutsNeedAFile,  // show the shortcut message
    TogglePlaylist,
    ShowShortcuts,
    Quit,  // the close request to the main window
};

class WindowControl {
  public:
    virtual ~WindowControl() = default;

    virtual Language language() const = 0;

    // Transport and keys.
    virtual UiOutcome pressPlay() = 0;
    virtual void pressPause() = 0;
    virtual void pressStop() = 0;
    virtual void pressPrevious() = 0;
    virtual void pressNext() = 0;
    // Returns whether repeat is now on (the loop button's image).
    virtual bool pressLoop() = 0;
    virtual UiOutcome pressKey(ShortcutKey key) = 0;

    // The panel's bars and boxes.
    virtual void positionReleased(int seconds) = 0;
    // Returns the key-box item to show, or -1 to leave it.
    virtual int transposeReleased(int barPosition) = 0;
    // Returns the shift now in force, or nullopt when the choice changed nothing.
    virtual std::optional<int> keyBoxChosen(int item) = 0;
    virtual void tempoReleased(int bpm) = 0;
    virtual void muteClicked(int channel, bool muted) = 0;
    virtual void instrumentChosen(int channel, int item) = 0;
    virtual void setVolumePercent(int percent) = 0;
    virtual int volumePercent() = 0;

    // Dialog results; ignored while a dialog result is still being handled.
    virtual bool dialogBusy() const = 0;
    virtual void openFiles(const std::vector<std::string>& paths) = 0;
    virtual void openListFile(const std::string& path) = 0;
    // Files dropped on the window: listed as opened, and played at once with kFlagStartOnDrop.
    virtual void dropFiles(const std::vector<std::string>& paths) = 0;
    // Makes `path` the active SoundFont once no song plays.
    virtual void changeSoundFont(const std::string& path) = 0;
    virtual void savePlaylist(const std::string& path) = 0;
    virtual void clearPlaylist() = 0;
    virtual void closeCurrentFile() = 0;

    // The playlist window: play a line (heard, as the Play button), remove a line (-1: the
    // current entry), the random switch.
    virtual void playIndex(int index) = 0;
    virtual void removeEntry(int index) = 0;
    virtual RandomOutcome toggleRandom() = 0;
    virtual bool randomOrder() const = 0;

    // Conversion: the current song to a file named after it, the whole playlist one file per
    // song, or the current song to `path`. NoMidiFileOpen without songs; nothing while a
    // conversion runs.
    virtual UiOutcome convertCurrent(OutputKind output) = 0;
    virtual UiOutcome convertPlaylist(OutputKind output) = 0;
    virtual UiOutcome convertTo(OutputKind output, const std::string& path) = 0;
    virtual bool converting() const = 0;
    virtual bool convertingSingleFile() const = 0;
    // Writes the playlist as a media-player list to `path`, naming the files of `output`
    // (the songs themselves for the live output); without one, of the output now chosen.
    virtual void exportMediaPlayer(const std::string& path,
                                   std::optional<OutputKind> output = std::nullopt) = 0;
    virtual OutputKind selectedOutput() const = 0;

    // What the engine thread published last: the playlist (never null) and its count.
    virtual std::shared_ptr<const PlaylistSnapshot> playlistSnapshot() const = 0;
    virtual int playlistCount() const = 0;
    virtual uint32_t interfaceFlags() const = 0;
    // A command without a payload for the engine thread.
    virtual void queue(int32_t code, int32_t argument = 0) = 0;
};

}  // namespace svt
