#pragma once
// The tags a rendered file carries, in each container's own form: Vorbis comments (FLAC, Ogg
// Vorbis, Opus), an ID3v2.4 tag (MP3) and a RIFF LIST/INFO chunk (WAV). All hold the song's
// title, copyright and composer where it has them, the song's file name as source and the
// program with its version as encoder; texts are UTF-8, but for the INFO chunk's, which are in
// the Western Windows code page.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "song/SongTags.h"

namespace svt::output {

// "Sorvanto 1.0.0": what made the file.
const char* encoderTagText();

// Field name and value, in the order they are written; fields without a value are left out.
std::vector<std::pair<std::string, std::string>> vorbisComments(const SongTags& tags);

// A whole ID3v2.4 tag ("ID3" header and text frames), to stand before the first MP3 frame.
std::vector<uint8_t> makeId3v2Tag(const SongTags& tags);

// A whole "LIST" chunk of type "INFO", its length even as RIFF wants.
std::vector<uint8_t> makeRiffInfoList(const SongTags& tags);

}  // namespace svt::output
