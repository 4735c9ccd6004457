#pragma once
// The file format options of sorvanto-cli convert: -f wav|mp3, and for MP3 the bit rate or
// the VBR quality.

#include <optional>
#include <string>

#include "app/Conversion.h"
#include "cli/Command.h"

namespace svt::cli {

inline constexpr const char* kFormatUsage =
    "[-f wav|mp3[:ENC]] [--encoding LETTERS] [--bitrate KBPS | --vbr Q] [--encoder PATH]";
extern const char* const kFormatHelp;

struct FormatChoice {
    std::optional<std::string> format, bitrate, vbr, encoding, encoderPath;
    // The "SVT" environment variable: an output's character and encoding letters ("w2M").
    std::optional<std::string> svt;
};

// Takes the format options from `parser`, with the command's other options, and the "SVT"
// variable from the environment.
FormatChoice takeFormatOptions(ArgParser& parser);
// Puts the choice into `options` (output with its encoding letters, extension, encoder
// settings); the output rate must be settled already. `namedFormat` is the format the output's
// file name asks for ("wav", "mp3", or empty): it decides when -f is not given, and -f must
// agree with it; when neither says, "SVT" may. The encoding is the output's own, then the
// letters of "SVT" when it names the same output, then what -f gives after its colon, then
// --encoding. Returns an error text for the usage message, or empty.
std::string applyFormatOptions(const FormatChoice& choice, const std::string& namedFormat,
                               ConvertOptions& options);

// What keeps the chosen format from working at all (the MP3 encoder library is missing),
// or empty.
std::string formatUnavailable(const ConvertOptions& options);

}  // namespace svt::cli
