#pragma once
// The song-input subsystem of one engine: the event list that every song is read into,
// the song information of every file seen so far, and the reading rules the engine's
// settings fix (output rate, excluded and drum channels).

#include <string>
#include <vector>

#include "song/EngineSettings.h"
#include "song/EventList.h"
#include "song/SmfReader.h"
#include "song/SongInfo.h"

namespace svt {

class SongInput {
  public:
    explicit SongInput(const EngineSettings& settings)
        : settings_(settings), infos_(settings.drumChannels) {}
    SongInput(const SongInput&) = delete;
    SongInput& operator=(const SongInput&) = delete;

    // Reads `fileName` into events in sample time at the engine's output rate; its
    // record in infos() is created when missing and filled. `marker` learns which
    // instruments the notes will sound.
    Result<SongReadResult> load(const std::string& fileName, InstrumentMarker* marker = nullptr);
    Result<SongReadResult> load(InputStream& stream, const std::string& fileName,
                                InstrumentMarker* marker = nullptr);

    // What the last load noticed about its song without refusing it (cut-off tracks, events
    // beyond the limit); empty when it read cleanly or failed.
    const std::vector<std::string>& lastWarnings() const { return lastWarnings_; }

    SongInfoList& infos() { return infos_; }
    EventList& eventList() { return list_; }
    ReadOptions& options() { return options_; }

  private:
    ReadOptions optionsFor(InstrumentMarker* marker) const;
    Result<SongReadResult> keepWarnings(Result<SongReadResult> read);

    const EngineSettings& settings_;
    SongInfoList infos_;
    EventList list_;
    ReadOptions options_;
    std::vector<std::string> lastWarnings_;
};

}  // namespace svt
