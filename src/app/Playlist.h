#pragma once
// The ordered list of songs the program plays or converts, with each song's per-song
// settings (muted channels, instrument choices, tempo, transposition). Plain C++ so both
// programs and the tests drive it without a window.

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Constants.h"
#include "base/Language.h"
#include "base/Result.h"
#include "song/SongEvent.h"

namespace svt {

// What the user changed for one song; built from the song's first events when the
// entry is added. -1 means "none" throughout.
struct SongSettings {
    int32_t mute[kChannels] = {};
    int32_t program[kChannels] = {};  // instrument-box index (program - 1), -1 = no choice
    // `program` as the song itself set it; a box left at it changes none of the song's
    // program changes (a song may change a channel's instrument more than once).
    int32_t songProgram[kChannels] = {};
    int32_t newTempo = -1;       // beats per minute
    int32_t originalTempo = -1;  // beats per minute (120 for a song without tempo events)
    int32_t originalKey = -1;    // sharps + 7 (0..14)
    int32_t minor = -1;
    int32_t meterNumerator = -1;
    int32_t meterDenominator = -1;
    int32_t transposition = 0;  // semitones
    int32_t playingTimeSeconds = 0;
};

// Reads the first program per channel, the first tempo, key and time signature of a
// song's events (up to EV_END_OF_SONG).
SongSettings makeSongSettings(std::span<const SongEvent> events, int64_t lengthSamples,
                              int sampleRateHz);

// The program (1..127) every program change of `channel` is to take, or -1 when the user
// chose none for it or chose the song's own.
int programChoiceOf(const SongSettings& settings, int channel);

// Puts the user's choices into a loaded song: program choices replace the channel's
// programs, events of muted channels become type 0 (tempo events always stay).
void applySongSettings(const SongSettings& settings, std::span<SongEvent> events);

// The player's time ratio for the settings (original tempo / new tempo); 1 when either
// is unknown.
double timeRatioOf(const SongSettings& settings);

// Paths name the same playlist entry when they are equal without regard to case and
// with a trailing separator ignored.
bool samePlaylistPath(std::string_view a, std::string_view b);

// What the playlist needs to know about a file before it lists it.
struct SongProbeResult {
    bool isSong = false;
    std::string title;
    SongSettings settings;
    std::string problem;  // why a file is not a song, when the reader said
};

// Reads a file's song information and settings; nullopt when the file does not exist,
// cannot be read or its settings cannot be built.
using SongProbe = std::function<std::optional<SongProbeResult>(const std::string& path)>;

// Playlist files nest at most this deep; deeper ones are not read.
inline constexpr int kMaxPlaylistNesting = 16;

// Splits the bytes of a ".pli" file into names: a line ends at CR, LF or both (lists written
// on any system), empty lines are skipped, a UTF-8 byte-order mark at the start is no part of
// the first name. Lines longer than kMaxPlaylistLine bytes are skipped; their line numbers
// (from 1) go into `overLong` when it is given.
inline constexpr size_t kMaxPlaylistLine = 32768;
std::vector<std::string> parsePlaylistLines(std::span<const uint8_t> bytes,
                                            std::vector<size_t>* overLong = nullptr);

// Whether a name is read as a playlist file: "@name" or a name ending in ".pli".
bool isPlaylistName(std::string_view name);

// A name the expansion produced, and the folder named by the user (or by a list line) it was
// found in; the folder is empty for a name given itself.
struct ExpandedName {
    std::string path;
    std::string folder;
    bool operator==(const ExpandedName&) const = default;
};

struct NameExpansion {
    std::vector<ExpandedName> names;
    // Lists that were passed over: one that is already being read (a cycle, a list naming
    // itself), one nested too deep, one that cannot be read. Each names the list.
    std::vector<std::string> warnings;
};

// Expands names the way the playlist adds them: playlist files are read (each line
// expanded again), folders become the songs in them and their sub-folders, other names
// pass unchanged, in order.
NameExpansion expandNames(const std::vector<std::string>& names);
// The same, the paths alone.
std::vector<std::string> expandPlaylistNames(const std::vector<std::string>& names);

class Playlist {
  public:
    struct Entry {
        std::string path;
        std::string title;
        bool isSong = true;
        SongSettings settings;
    };

    explicit Playlist(SongProbe probe, uint32_t randomSeed = std::random_device{}());

    int count() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }
    int currentIndex() const { return current_; }
    const Entry& entry(int index) const { return entries_.at(static_cast<size_t>(index)); }
    Entry& entry(int index) { return entries_.at(static_cast<size_t>(index)); }
    Entry* current() {
        return entries_.empty() ? nullptr : &entries_[static_cast<size_t>(current_)];
    }
    int64_t totalSeconds() const { return totalSeconds_; }

    // Adds names (expanded first when `expand`), then makes the first added entry current,
    // or the last name's entry when that one was listed already. Returns how many were added.
    int addNames(const std::vector<std::string>& names, bool expand);

    // addNames in two steps: reading the files changes nothing (another thread may read the
    // list meanwhile), adding them is quick.
    struct Candidate {
        std::string path;
        std::optional<SongProbeResult> probed;  // nullopt: listed already or missing
        bool named = false;                     // named itself, not found in a folder or list
    };
    std::vector<Candidate> probeNames(const std::vector<std::string>& names, bool expand) const;
    int addProbed(std::vector<Candidate> candidates);
    // The files named themselves that are not songs, each "path: reason".
    static std::vector<std::string> refusedNames(const std::vector<Candidate>& candidates);

    // Makes `index` current; with `skip`, moves forward past entries that are not songs.
    bool select(int index, bool skip);
    // Moves to the following / preceding entry; false (and no move) at the end / start.
    bool next(bool skip);
    bool previous(bool skip);
    // Draws the next entry of the random order; false when every entry was played once.
    bool randomNext(bool skip);
    void resetRandomOrder();
    // A fresh random order that begins with `index`, which counts as played.
    void startRandomOrderAt(int index);
    // Whether next() (randomNext() with `random`) would find another entry.
    bool hasNext(bool random, bool skip) const;

    void remove(int index);
    // Returns whether the current entry itself was removed.
    bool removeDuplicates();
    bool removeInvalid();
    void clear();

    // Writes every path followed by CR LF; nothing else.
    Status save(const std::string& path, Language language) const;

  private:
    int indexOf(const std::string& path) const;
    void removeWhere(const std::function<bool(size_t)>& doomed, bool* currentRemoved);
    void extendRandomOrder(size_t from);
    bool skipForward(int from, bool skip);

    SongProbe probe_;
    std::vector<Entry> entries_;
    int current_ = 0;
    int64_t totalSeconds_ = 0;
    std::vector<int> randomOrder_;  // entry indexes, -1 at the end
    int randomPosition_ = -1;
    std::mt19937 random_;
};

}  // namespace svt
