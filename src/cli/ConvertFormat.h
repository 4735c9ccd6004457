#pragma once
// The file format options of sorvanto-cli convert: -f and the output name's ending choose the
// format; each format's own options (bit rate, quality, compression) and tags.

#include <optional>
#include <string>

#include "app/Conversion.h"
#include "cli/Command.h"

namespace svt::cli {

extern const char* const kFormatHelp;

struct FormatChoice {
    std::optional<std::string> format, bitrate, vbr, quality, compression, encoding, encoderPath;
    bool noTags = false;
    // The "SVT" variable: an output's character and encoding letters ("w2M").
    std::optional<std::string> svt;
    // --rate was given: the rate is the user's, not one a format may choose.
    bool rateGiven = false;
};

// Takes the format options from `parser`, with the command's other options, and the "SVT"
// variable from the environment.
FormatChoice takeFormatOptions(ArgParser& parser);
// Puts the choice into `options` (output with its encoding letters, extension, encoder
// settings, tags); the output rate must be settled already, and an Opus output without --rate
// moves it to 48000 Hz. `outputName` is the file named with -o, if one is: its ending decides
// when -f is not given, and -f must agree with it; an ending of no format is an error unless
// -f says what to write; when neither says, "SVT" may. The encoding is the output's own, then
// the letters of "SVT" when it names the same output, then what -f gives after its colon, then
// --encoding. Returns an error text for the usage message, or empty.
std::string applyFormatOptions(const FormatChoice& choice,
                               const std::optional<std::string>& outputName,
                               ConvertOptions& options);

// What keeps the chosen format from working at all (the MP3 encoder library is missing),
// or empty.
std::string formatUnavailable(const ConvertOptions& options);

}  // namespace svt::cli
