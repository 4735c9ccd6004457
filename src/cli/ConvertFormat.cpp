#include "cli/ConvertFormat.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "output/Mp3Output.h"
#include "output/OutputDevice.h"

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

// The words -f takes after its colon, as encoding letters.
struct EncodingWord {
    const char* word;
    const char* letters;
};
constexpr EncodingWord kEncodingWords[] = {{"8", "8"},     {"16", "1"},   {"24", "2"},
                                           {"ulaw", "U"},  {"alaw", "A"}, {"mono", "M"},
                                           {"stereo", "S"}};

// The output letters for comma-separated encoding words ("24,mono"); false for an unknown one.
bool lettersOfWords(const std::string& words, std::string& letters) {
    size_t at = 0;
    while (at <= words.size()) {
        const size_t comma = std::min(words.find(',', at), words.size());
        const std::string word = words.substr(at, comma - at);
        const auto* found = std::find_if(std::begin(kEncodingWords), std::end(kEncodingWords),
                                         [&](const EncodingWord& w) { return word == w.word; });
        if (found == std::end(kEncodingWords)) return false;
        letters += found->letters;
        at = comma + 1;
    }
    return true;
}

}  // namespace

const char* const kFormatHelp =
    "  -f wav|mp3[:ENC]  file format (default: as the name given with -o ends, else the\n"
    "                output the SVT variable names, else wav); ENC is a comma-separated\n"
    "                list of 8, 16, 24, ulaw, alaw, mono, stereo (wav:24, wav:ulaw,mono).\n"
    "                MP3 files are made by the encoder library libgogo.so, looked for\n"
    "                beside the program, then by the system\n"
    "  --encoding LETTERS  the output's encoding letters, applied last: 1 16-bit, 2 24-bit,\n"
    "                8 8-bit, U u-law, A a-law, M mono, S stereo, s signed, u unsigned,\n"
    "                l linear, x byte order. SVT=w2M (say) makes 24-bit mono WAV files\n"
    "  --encoder PATH  the MP3 encoder library when it is found nowhere else; its location\n"
    "                is kept for later runs\n"
    "  --bitrate KBPS  MP3 constant bit rate, 8..320 (default 192)\n"
    "  --vbr Q       MP3 variable bit rate of quality Q, 0 (best) .. 9 (smallest)\n";

FormatChoice takeFormatOptions(ArgParser& parser) {
    FormatChoice c;
    c.format = parser.value("--format", "-f");
    c.bitrate = parser.value("--bitrate");
    c.vbr = parser.value("--vbr");
    c.encoding = parser.value("--encoding");
    c.encoderPath = parser.value("--encoder");
    if (const char* svt = std::getenv("SVT"); svt != nullptr && *svt != '\0') c.svt = svt;
    return c;
}

std::string applyFormatOptions(const FormatChoice& choice, const std::string& namedFormat,
                               ConvertOptions& options) {
    const auto& [formatText, bitrate, vbr, encoding, encoderPath, svt] = choice;
    std::optional<std::string> format;
    std::string wordLetters;
    if (formatText) {
        const size_t colon = formatText->find(':');
        format = formatText->substr(0, colon);
        if (colon != std::string::npos &&
            !lettersOfWords(formatText->substr(colon + 1), wordLetters))
            return "-f wants its encoding as words among 8, 16, 24, ulaw, alaw, mono, stereo, "
                   "not \"" +
                   formatText->substr(colon + 1) + "\"";
    }
    if (format && !namedFormat.empty() && *format != namedFormat)
        return "-f " + *format + " contradicts the output's name, which ends in ." + namedFormat;
    // The environment chooses only what the command line leaves open.
    std::string svtFormat;
    if (svt && (svt->front() == 'w' || svt->front() == 'g'))
        svtFormat = svt->front() == 'w' ? "wav" : "mp3";
    const std::string f = format.value_or(!namedFormat.empty() ? namedFormat
                                          : svtFormat.empty()  ? "wav"
                                                               : svtFormat);
    if (f == "wav") {
        options.outputText = "w";
        options.extension = "wav";
    } else if (f == "mp3") {
        options.outputText = "g";
        options.extension = "mp3";
    } else {
        return "-f wants wav or mp3, not \"" + f + "\"";
    }
    std::string letters;
    if (svt && svt->front() == options.outputText.front()) letters += svt->substr(1);
    letters += wordLetters;
    if (encoding) letters += *encoding;
    int32_t probe = output::kSigned16Stereo;
    if (!output::applyEncodingLetters(letters, probe)) {
        if (svt && svt->front() == options.outputText.front() &&
            !output::applyEncodingLetters(svt->substr(1), probe))
            return "the SVT variable wants an output character and encoding letters, not \"" +
                   *svt + "\"";
        return "--encoding wants the letters 1 2 8 A M S U l s u x, not \"" +
               encoding.value_or("") + "\"";
    }
    if (f == "mp3" && (probe & (output::ENC_ULAW | output::ENC_ALAW)))
        return "MP3 files are made from linear samples, not u-law or a-law";
    options.outputText += letters;
    if ((bitrate || vbr || encoderPath) && f != "mp3")
        return "--bitrate, --vbr and --encoder are for -f mp3";
    if (encoderPath) options.encoderPath = *encoderPath;
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
    if (options.outputText.empty() || options.outputText.front() != 'g') return {};
    const output::Mp3Output probe;
    if (probe.encoderAvailable()) return {};
    // As the encoder-location dialog would: the path given is tried and kept.
    if (!options.encoderPath.empty() &&
        output::storeEncoderLocation(probe.search(), options.encoderPath) &&
        probe.encoderAvailable())
        return {};
    return output::encoderLoadMessage(Language::English);
}

}  // namespace svt::cli
