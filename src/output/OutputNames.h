#pragma once
// The name of the file a song is converted into, beside the song: "Tune.mid" -> "Tune.wav",
// "SONG.MID" -> "SONG.WAV", "a.mid.gz" -> "a.wav"; an archive member "x.zip#d/s.mid" ->
// "x.zip_d_s.wav". A song whose name has no extension at all keeps its name and gains one, so
// the song itself is never overwritten: "Tune" -> "Tune.wav".

#include <string>

namespace svt::output {

// `extension` without its dot, in lower case ("wav", "mp3").
std::string automaticOutputName(const std::string& songPath, const std::string& extension);

}  // namespace svt::output
