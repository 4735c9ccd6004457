#pragma once
// The file formats a song can be converted into, in the order the programs offer them (WAV
// and MP3 first): the name -f takes, the output that writes it, the ending of its files and
// the endings that ask for it, and how a person is told about it in either language.

#include <span>
#include <string>
#include <string_view>

#include "base/Language.h"

namespace svt {

struct OutputFormat {
    const char* name;       // as -f and info --formats name it: "wav", "mp3", "flac", "ogg", "opus"
    char id;                // the output's identifier character
    const char* extension;  // of the files made, without the dot
    const char* endings[2];   // endings of a file name that ask for it (the extension first)
    const char* germanKind;   // "Wave-Datei", for file dialogs
    const char* englishKind;  // "Wave file"
    const char* summary;      // one line on what the format is good for (English)
    const char* encodings;    // the words -f takes after its colon, comma-separated
    const char* options;      // convert's options for it, space-separated
};

std::span<const OutputFormat> outputFormats();
// nullptr when no format has that name, identifier character or ending.
const OutputFormat* findFormat(std::string_view name);
const OutputFormat* formatOfId(char id);
// The format a file name's ending asks for, whatever its case; `ending` receives the ending
// (lower case, without the dot; empty when the name has none).
const OutputFormat* formatOfName(const std::string& path, std::string* ending = nullptr);

// Whether this build can write it here and now (the MP3 encoder library found, the codecs
// built in).
bool formatAvailable(const OutputFormat& format);

// "Wave file (*.wav)" in the interface language, as a file dialog's filter names it.
std::string formatFilterName(const OutputFormat& format, Language language);
// "*.wav;*.wave": the patterns of the endings.
std::string formatPatterns(const OutputFormat& format);

}  // namespace svt
