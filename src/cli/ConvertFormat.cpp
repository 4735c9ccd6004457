#include "cli/ConvertFormat.h"

#include <algorithm>
#include <iterator>

#include "output/Mp3Output.h"

namespace svt::cli {
namespace {

// The constant bit rates an MP3 file can carry, and the sample rates it can be made at.
constexpr long kBitrates[] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                              96, 112, 128, 144, 160, 192, 224, 256, 320};
constexpr long kMp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

template <size_t N>
bool oneOf(const long (&values)[N], long v) {
    return std::find(std::begin(values), std::end(values), v) != std::end(values);
}

}  // namespace

const char* const kFormatHelp =
    "  -f wav|mp3    file format (default: as the name given with -o ends, else wav); MP3\n"
    "                files are made by the encoder library libgogo.so, looked for beside\n"
    "                the program, then by the system\n"
    "  --bitrate KBPS  MP3 constant bit rate, 8..320 (default 192)\n"
    "  --vbr Q       MP3 variable bit rate of quality Q, 0 (best) .. 9 (smallest)\n";

FormatChoice takeFormatOptions(ArgParser& parser) {
    FormatChoice c;
    c.format = parser.value("--format", "-f");
    c.bitrate = parser.value("--bitrate");
    c.vbr = parser.value("--vbr");
    return c;
}

std::string applyFormatOptions(const FormatChoice& choice, const std::string& namedFormat,
                               ConvertOptions& options) {
    const auto& [format, bitrate, vbr] = choice;
    if (format && !namedFormat.empty() && *format != namedFormat)
        return "-f " + *format + " contradicts the output's name, which ends in ." + namedFormat;
    const std::string f = format.value_or(namedFormat.empty() ? "wav" : namedFormat);
    if (f == "wav") {
        options.outputText = "w";
        options.extension = "wav";
    } else if (f == "mp3") {
        options.outputText = "g";
        options.extension = "mp3";
    } else {
        return "-f wants wav or mp3, not \"" + f + "\"";
    }
    if ((bitrate || vbr) && f != "mp3") return "--bitrate and --vbr are for -f mp3";
    if (bitrate && vbr) return "--bitrate and --vbr exclude each other";
    long v = 0;
    if (bitrate) {
        if (!parseInt(*bitrate, 8, 320, v) || !oneOf(kBitrates, v))
            return "--bitrate wants one of 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, "
                   "160, 192, 224, 256, "
                   "320, not \"" +
                   *bitrate + "\"";
        options.mp3.bitrateKbps = static_cast<int>(v);
    }
    if (vbr) {
        if (!parseInt(*vbr, 0, 9, v))
            return "--vbr wants a quality from 0 to 9, not \"" + *vbr + "\"";
        options.mp3.vbrQuality = static_cast<int>(v);
    }
    if (f == "mp3" && !oneOf(kMp3Rates, options.settings.outputRateHz))
        return "MP3 files are made at 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100 or "
               "48000 Hz, not " +
               std::to_string(options.settings.outputRateHz);
    return {};
}

std::string formatUnavailable(const ConvertOptions& options) {
    if (options.outputText != "g") return {};
    const output::Mp3Output probe;
    return probe.encoderAvailable() ? std::string() : output::encoderLoadMessage(Language::English);
}

}  // namespace svt::cli
