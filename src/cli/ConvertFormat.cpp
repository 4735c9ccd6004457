#include "cli/ConvertFormat.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "app/OutputFormats.h"
#include "output/AudioCodec.h"
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
constexpr EncodingWord kEncodingWords[] = {{"8", "8"},    {"16", "1"},    {"24", "2"},
                                           {"32", "3"},   {"float", "f"}, {"ulaw", "U"},
                                           {"alaw", "A"}, {"mono", "M"},  {"stereo", "S"}};

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

bool parseNumber(const std::string& text, double min, double max, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || !(v >= min && v <= max)) return false;
    out = v;
    return true;
}

std::string formatNames() {
    std::string names;
    const auto formats = outputFormats();
    for (size_t i = 0; i < formats.size(); ++i)
        names += std::string(i == 0                    ? ""
                             : i + 1 == formats.size() ? " or "
                                                       : ", ") +
                 formats[i].name;
    return names;
}

// What an encoding the letters chose means for a format: empty when it can be written.
std::string encodingProblem(char id, int32_t e) {
    using namespace output;
    const bool companded = (e & (ENC_ULAW | ENC_ALAW)) != 0;
    switch (id) {
        case 'g':
            if (companded || (e & (ENC_FLOAT | ENC_32BIT)))
                return "MP3 files are made from 16-bit samples: no u-law, a-law, 32-bit or float";
            return {};
        case 'f':
            if (!(e & (ENC_16BIT | ENC_24BIT)))
                return "FLAC files hold 16 or 24 bits: no 8, 32-bit, float, u-law or a-law";
            return {};
        case 'v':
        case 'o':
            if ((e & ~ENC_MONO) != kSigned16Stereo)
                return std::string(id == 'v' ? "Ogg Vorbis" : "Opus") +
                       " files are made from the synthesizer's own samples: only mono or "
                       "stereo can be chosen";
            return {};
        default:
            return {};
    }
}

}  // namespace

const char* const kFormatHelp =
    "  -f FORMAT[:ENC]  file format: wav, mp3, flac, ogg (Vorbis) or opus (default: as the\n"
    "                name given with -o ends - .wav, .mp3, .flac, .ogg/.oga, .opus - else\n"
    "                the output the SVT variable names, else wav). ENC is a comma-separated\n"
    "                list of 8, 16, 24, 32, float, ulaw, alaw, mono, stereo: wav takes them\n"
    "                all (wav:24, wav:float, wav:ulaw,mono), flac 16 or 24, mp3 mono, ogg\n"
    "                and opus mono. MP3 files are made by the encoder library libgogo.so,\n"
    "                looked for beside the program, then by the system; Opus files at\n"
    "                48000 Hz unless --rate gives 24000, 16000, 12000 or 8000\n"
    "  --encoding LETTERS  the output's encoding letters, applied last: 1 16-bit, 2 24-bit,\n"
    "                3 32-bit, f float, 8 8-bit, U u-law, A a-law, M mono, S stereo,\n"
    "                s signed, u unsigned, l linear, x byte order. SVT=w2M (say) makes\n"
    "                24-bit mono WAV files\n"
    "  --encoder PATH  the MP3 encoder library when it is found nowhere else; its location\n"
    "                is kept for later runs\n"
    "  --bitrate KBPS  MP3 constant bit rate, one of 8 16 24 32 40 48 56 64 80 96 112 128\n"
    "                144 160 192 224 256 320 (default 192); Opus bit rate, 6..256 for mono,\n"
    "                6..510 for stereo (default 128 stereo, 64 mono)\n"
    "  --vbr Q       MP3 variable bit rate of quality Q, 0 (best) .. 9 (smallest)\n"
    "  --quality Q   Ogg Vorbis quality, -1 (smallest) .. 10 (best), fractions too\n"
    "                (default 5, about 160 kbit/s)\n"
    "  --compression N  FLAC compression, 0 (fastest) .. 8 (smallest), default 5\n"
    "  --no-tags     no tags: otherwise each file names the song's title, copyright and\n"
    "                composer (where the song has them), the song file and the encoder\n"
    "                (Vorbis comments, ID3v2 and ID3v1 for MP3, LIST/INFO for WAV)\n";

FormatChoice takeFormatOptions(ArgParser& parser) {
    FormatChoice c;
    c.format = parser.value("--format", "-f");
    c.bitrate = parser.value("--bitrate");
    c.vbr = parser.value("--vbr");
    c.quality = parser.value("--quality");
    c.compression = parser.value("--compression");
    c.encoding = parser.value("--encoding");
    c.encoderPath = parser.value("--encoder");
    c.noTags = parser.flag("--no-tags");
    if (const char* svt = std::getenv("SVT"); svt != nullptr && *svt != '\0') c.svt = svt;
    return c;
}

std::string applyFormatOptions(const FormatChoice& choice,
                               const std::optional<std::string>& outputName,
                               ConvertOptions& options) {
    const FormatChoice& c = choice;
    const OutputFormat* chosen = nullptr;
    std::string wordLetters;
    if (c.format) {
        const size_t colon = c.format->find(':');
        const std::string name = c.format->substr(0, colon);
        chosen = findFormat(name);
        if (chosen == nullptr) return "-f wants " + formatNames() + ", not \"" + name + "\"";
        if (colon != std::string::npos && !lettersOfWords(c.format->substr(colon + 1), wordLetters))
            return "-f wants its encoding as words among 8, 16, 24, 32, float, ulaw, alaw, mono, "
                   "stereo, not \"" +
                   c.format->substr(colon + 1) + "\"";
    }
    std::string ending;
    const OutputFormat* named = outputName ? formatOfName(*outputName, &ending) : nullptr;
    if (outputName && named == nullptr && !ending.empty() && chosen == nullptr)
        return "no format is written as ." + ending +
               " (the endings are .wav, .mp3, .flac, .ogg, .oga and .opus); "
               "name the format with -f to write one anyway";
    if (chosen != nullptr && named != nullptr && chosen != named)
        return "-f " + std::string(chosen->name) +
               " contradicts the output's name, which ends in ." + ending;
    // The environment chooses only what the command line leaves open.
    const OutputFormat* fromSvt = c.svt ? formatOfId(c.svt->front()) : nullptr;
    const OutputFormat* f = chosen ? chosen : named ? named : fromSvt ? fromSvt : findFormat("wav");
    options.outputText = std::string(1, f->id);
    options.extension = f->extension;
    const bool svtNamesIt = c.svt && c.svt->front() == f->id;
    std::string letters;
    if (svtNamesIt) letters += c.svt->substr(1);
    letters += wordLetters;
    if (c.encoding) letters += *c.encoding;
    int32_t probe = output::kSigned16Stereo;
    if (!output::applyEncodingLetters(letters, probe)) {
        if (svtNamesIt && !output::applyEncodingLetters(c.svt->substr(1), probe))
            return "the SVT variable wants an output character and encoding letters, not \"" +
                   *c.svt + "\"";
        return "--encoding wants the letters 1 2 3 8 A M S U f l s u x, not \"" +
               c.encoding.value_or("") + "\"";
    }
    if (std::string e = encodingProblem(f->id, probe); !e.empty()) return e;
    options.outputText += letters;

    const bool mp3 = f->id == 'g', opus = f->id == 'o';
    if ((c.vbr || c.encoderPath) && !mp3) return "--vbr and --encoder are for -f mp3";
    if (c.bitrate && !mp3 && !opus) return "--bitrate is for -f mp3 and -f opus";
    if (c.quality && f->id != 'v') return "--quality is for -f ogg";
    if (c.compression && f->id != 'f') return "--compression is for -f flac";
    if (c.encoderPath) options.encoderPath = *c.encoderPath;
    if (c.bitrate && c.vbr) return "--bitrate and --vbr exclude each other";
    long v = 0;
    if (c.bitrate && mp3) {
        if (!parseInt(*c.bitrate, 8, 320, v) || !oneOf(kBitrates, v))
            return "--bitrate wants one of 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, "
                   "160, 192, 224, 256, 320 for MP3, not \"" +
                   *c.bitrate + "\"";
        options.mp3.bitrateKbps = static_cast<int>(v);
    }
    if (c.bitrate && opus) {
        const int channels = output::channelsOf(probe);
        // A packet of 20 ms holds at most 1275 bytes: 510 kbit/s for any number of channels.
        const long most = std::min<long>(output::kMaxOpusKbpsPerChannel * channels, 510);
        if (!parseInt(*c.bitrate, output::kMinOpusKbpsPerChannel, most, v))
            return "--bitrate wants " + std::to_string(output::kMinOpusKbpsPerChannel) + ".." +
                   std::to_string(most) + " kbit/s for " + (channels == 1 ? "mono" : "stereo") +
                   " Opus, not \"" + *c.bitrate + "\"";
        options.codecs.opusBitrateKbps = static_cast<int>(v);
    }
    if (c.vbr) {
        if (!parseInt(*c.vbr, 0, 9, v))
            return "--vbr wants a quality from 0 to 9, not \"" + *c.vbr + "\"";
        options.mp3.vbrQuality = static_cast<int>(v);
    }
    if (c.quality) {
        double q = 0;
        if (!parseNumber(*c.quality, -1, 10, q))
            return "--quality wants a number from -1 to 10, not \"" + *c.quality + "\"";
        options.codecs.vorbisQuality = q;
    }
    if (c.compression) {
        if (!parseInt(*c.compression, 0, 8, v))
            return "--compression wants a level from 0 to 8, not \"" + *c.compression + "\"";
        options.codecs.flacCompression = static_cast<int>(v);
    }
    int& rate = options.settings.outputRateHz;
    if (mp3 && !oneOf(kMp3Rates, rate))
        return "MP3 files are made at 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100 or "
               "48000 Hz, not " +
               std::to_string(rate);
    if (opus) {
        // Opus plays at 48 kHz: the song is rendered at that rate rather than resampled.
        if (!c.rateGiven) {
            rate = output::kOpusRates[0];
            options.settings.controlRatio = settleControlRatio(rate);
        }
        if (std::find(std::begin(output::kOpusRates), std::end(output::kOpusRates), rate) ==
            std::end(output::kOpusRates))
            return "Opus files are made at 48000, 24000, 16000, 12000 or 8000 Hz, not " +
                   std::to_string(rate);
    }
    options.writeTags = !c.noTags;
    return {};
}

std::string formatUnavailable(const ConvertOptions& options) {
    if (options.outputText.empty()) return {};
    const char id = options.outputText.front();
    if ((id == 'f' || id == 'v' || id == 'o') && output::makeFlacCodec({}) == nullptr)
        return "this sorvanto-cli was built without the FLAC, Ogg Vorbis and Opus encoders";
    if (id != 'g') return {};
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
