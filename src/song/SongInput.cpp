#include "song/SongInput.h"

namespace svt {

ReadOptions SongInput::optionsFor(InstrumentMarker* marker) const {
    ReadOptions o = options_;
    o.conversion.outputRateHz = settings_.outputRateHz;
    o.conversion.excludedChannels = settings_.excludedChannels;
    o.conversion.defaultPrograms = settings_.defaultPrograms;
    o.conversion.marker = marker;
    return o;
}

Result<SongReadResult> SongInput::load(const std::string& fileName, InstrumentMarker* marker) {
    SongInfo& info = *infos_.find(fileName, true);
    return keepWarnings(readSongFile(fileName, info, list_, optionsFor(marker)));
}

Result<SongReadResult> SongInput::load(InputStream& stream, const std::string& fileName,
                                       InstrumentMarker* marker) {
    SongInfo& info = *infos_.find(fileName, true);
    return keepWarnings(readSong(stream, info, list_, optionsFor(marker)));
}

Result<SongReadResult> SongInput::keepWarnings(Result<SongReadResult> read) {
    lastWarnings_.clear();
    if (read.ok()) lastWarnings_ = read->warnings;
    return read;
}

}  // namespace svt
