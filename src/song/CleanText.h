#pragma once
// Texts from songs, fonts and file names are bytes of unknown encoding. Before they reach a
// terminal, a JSON document or a file's tags they are cleaned: UTF-8 stays; bytes that are not
// UTF-8 are read as the Western Windows code page (Latin-1 with printable characters where
// Latin-1 has controls), which is what such texts mostly hold, and written as UTF-8; control
// characters (an escape sequence that would clear the screen, a NUL) become U+FFFD, line breaks
// and tabs a space.

#include <string>
#include <string_view>

namespace svt {

std::string cleanText(std::string_view text);

// Clean text (UTF-8) in the Western Windows code page, for the places that are read in it (a
// WAV file's INFO texts); characters the code page lacks become "?".
std::string windows1252Of(std::string_view utf8);

}  // namespace svt
