#pragma once
// The playlist as a media-player playlist (".wpl", SMIL XML): one media entry per song, naming
// the audio file its conversion writes (or the song itself while the live output is chosen).
// The document is well-formed UTF-8: paths and title are escaped. The file is written under a
// temporary name and renamed when complete.

#include <string>
#include <string_view>
#include <vector>

#include "base/Language.h"
#include "base/Result.h"
#include "desktop/FrontCommands.h"

namespace svt {

// The extension of the files an output writes ("wav" for the WAV output, "flac" for FLAC,
// ...); "mid" for the live output.
std::string mediaExtensionFor(OutputKind output);
// The file an entry stands for in the export: the converted audio file beside the song (the
// name conversion gives it), or for the live output the song path with the extension "mid".
std::string mediaPathFor(const std::string& songPath, OutputKind output);

// `text` with &, <, >, " and ' written as entities; bytes that XML cannot hold (control
// characters other than tab, line feed and return; broken UTF-8) become U+FFFD.
std::string xmlEscape(std::string_view text);

// The whole document for `title` and the media paths, in order.
std::string makeWplDocument(const std::string& title, const std::vector<std::string>& media);

// The title of an export to `path`: its base name followed by ".wpl".
std::string wplTitleFor(const std::string& path);

// Writes the export of `songPaths` to `path`. The error is "File not found" / "Datei nicht
// vorhanden" followed by the path and the reason.
Status writeMediaPlayerList(const std::string& path, const std::vector<std::string>& songPaths,
                            OutputKind output, Language language);

// A new name for an export in the system's temporary folder ("svt" and a number, ".wpl");
// empty when there is no usable temporary folder.
std::string temporaryWplPath();

// Whether a converted playlist of `totalSeconds` is too long for an audio CD: more than 70
// minutes written as WAV files (MP3 files are not burnt as audio tracks).
bool tooLongForAudioCd(int64_t totalSeconds, OutputKind output);

}  // namespace svt
