#pragma once
// What the main window's player panel shows, computed from the player's notices in the engine
// thread without any widget. The engine thread owns the PanelState; every visible field lives
// in a PanelView whose change bits tell the window which fields to rewrite. The window takes
// a copy of the view (PanelMailbox) when it redraws, so the engine never waits for it.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/Playlist.h"
#include "base/Constants.h"
#include "base/Language.h"
#include "player/PlayerCommands.h"

namespace svt {

struct PanelState {
    std::array<int32_t, kChannels> levels{};
    int positionHours = 0, positionMinutes = 0, positionSeconds = 0, positionHundredths = 0;
    int lengthHours = 0, lengthMinutes = 0, lengthSeconds = 0;
    int measure = 0, beat = 0;
    int shownTempo = 0;  // beats per minute
    int ratioPercent = 100;
    int microsPerQuarter = 500000;
    int amplification = 70;
    bool redraw = true;
    uint32_t changeBits = 0;
};

// One bit per group of fields the window rewrites.
enum PanelField : uint32_t {
    FieldTime = 1u << 0,
    FieldPosition = 1u << 1,
    FieldMeasure = 1u << 2,
    FieldTempo = 1u << 3,
    FieldTitle = 1u << 4,
    FieldSettings = 1u << 5,  // transpose, key, meter, original key, mutes, instruments
    FieldMeters = 1u << 6,
    FieldTrackNames = 1u << 7,
    FieldButtons = 1u << 8,  // play and pause images, song controls enabled
    FieldSoundFont = 1u << 9,
    FieldPlaylist = 1u << 10,
    FieldAll = (1u << 11) - 1,
};

struct PanelView {
    std::string title;
    std::string path;
    std::string playlist;
    std::string time;
    int positionMax = 0;
    int position = 0;
    bool positionEnabled = true;
    std::string measure;
    std::string newTempo;
    std::string originalTempo;
    int originalTempoBpm = 0;  // what originalTempo shows; 0 while it shows no tempo
    int tempoBar = 120;
    int transposeBar = 24;
    std::string semitones;
    int keyItem = 15;
    std::string originalKey;
    std::string meter;
    std::string soundFont;
    std::array<bool, kChannels> mute{};
    std::array<int, kChannels> instrument{};  // item index (program - 1), -1 = none
    std::array<int, kChannels> meters{};      // 0..100
    std::array<std::string, kChannels> trackNames{};
    bool songControlsEnabled = false;
    bool playing = false;
    bool paused = false;
    uint32_t changed = FieldAll;
};

// What notices need to know besides their arguments.
struct PanelContext {
    const Playlist::Entry* current = nullptr;
    // Track names the song reader collected for the song being loaded.
    const std::array<std::string, 16>* trackNames = nullptr;
    int outputRateHz = kDefaultOutputRateHz;
};

// Shifts the key box reports for the chosen `item` when the song is in `originalKey`
// (sharps + 7), reduced into -7..+7. Item 15 gives 0.
int shiftForKeyItem(int item, int originalKey);
// The first item whose shift is congruent with `shift` modulo 12; 15 when none is or the
// original key is unknown.
int keyItemForShift(int shift, int originalKey);
// The item the key box moves to after the transpose bar set `userTranspose`; -1 when the
// original key is unknown (the box is left alone).
int keyItemFollowingTranspose(int userTranspose, int originalKey);

// " hh:mm:ss von hh:mm:ss", hours limited to 0..99; the word is "von" in English too.
std::string formatTimeField(const PanelState& state);
// "%3d bpm (%03d%%)" and "%3d bpm (%d%%)".
std::string formatPlayingTempo(int bpm, int percent);
std::string formatSettingsTempo(int bpm, int percent);
std::string formatBpm(int bpm);

class Panel {
  public:
    explicit Panel(Language language);

    // The texts the window starts with (window creation); a new panel shows them.
    void initialise();
    // Close file and Clear playlist: back to an empty display.
    void reset();
    // A notice from the player or the front-end; returns true when a visible field changed.
    bool notify(const PlayerNotice& notice, const PanelContext& context);
    // The current entry's settings into the controls (NoticeSongSettings).
    void showSongSettings(const Playlist::Entry& entry);
    void setSoundFont(const std::string& fileName);
    void setPlaylistFile(const std::string& fileName);
    void setTitleAndPath(const std::string& title, const std::string& path);

    const PanelState& state() const { return state_; }
    const PanelView& view() const { return view_; }
    PanelView& view() { return view_; }
    Language language() const { return language_; }

  private:
    void showTime(bool force);
    void showTempo(const PanelContext& context);
    // The semitone field, the transpose bar and the key box for `shift`.
    void showShift(int shift, int originalKey);
    void setControlsEnabled(bool enabled);

    Language language_;
    PanelState state_;
    PanelView view_;
    bool songCurrent_ = false;
};

// Hands the engine thread's view to the window thread: the engine publishes after each notice
// that changed something, the window takes the latest copy with the change bits accumulated
// since its last take.
class PanelMailbox {
  public:
    // Returns true when the window should be told: a field other than the meters changed and
    // the window has not been told of an earlier one since its last take.
    bool publish(const PanelView& view);
    // The latest view and everything changed since the last take; false when nothing changed.
    bool take(PanelView& out);

  private:
    std::mutex lock_;
    PanelView latest_;
    uint32_t pending_ = 0;
};

}  // namespace svt
