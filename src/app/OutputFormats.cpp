#include "app/OutputFormats.h"

#include <algorithm>
#include <cctype>

#include "output/AudioCodec.h"
#include "output/Mp3Output.h"

namespace svt {
namespace {

constexpr OutputFormat kFormats[] = {
    {"wav",
     'w',
     "wav",
     {"wav", "wave"},
     "Wave-Datei",
     "Wave file",
     "uncompressed PCM: 16 bits (as CDs), 24 or 32 bits, float, 8 bits, u-law, a-law",
     "16,24,32,float,8,ulaw,alaw,mono,stereo",
     ""},
    {"mp3",
     'g',
     "mp3",
     {"mp3", nullptr},
     "MP3-Datei",
     "MP3 file",
     "lossy, plays everywhere; made by the encoder library libgogo",
     "mono,stereo",
     "--bitrate --vbr --encoder"},
    {"flac",
     'f',
     "flac",
     {"flac", nullptr},
     "FLAC-Datei",
     "FLAC file",
     "lossless and about half the size of WAV: 16 or 24 bits",
     "16,24,mono,stereo",
     "--compression"},
    {"ogg",
     'v',
     "ogg",
     {"ogg", "oga"},
     "Ogg-Vorbis-Datei",
     "Ogg Vorbis file",
     "lossy, variable bit rate by quality",
     "mono,stereo",
     "--quality"},
    {"opus",
     'o',
     "opus",
     {"opus", nullptr},
     "Opus-Datei",
     "Opus file",
     "lossy, the best sound for its size; made at 48 kHz",
     "mono,stereo",
     "--bitrate"},
};

}  // namespace

std::span<const OutputFormat> outputFormats() {
    return kFormats;
}

const OutputFormat* findFormat(std::string_view name) {
    for (const OutputFormat& f : kFormats)
        if (name == f.name) return &f;
    return nullptr;
}

const OutputFormat* formatOfId(char id) {
    for (const OutputFormat& f : kFormats)
        if (id == f.id) return &f;
    return nullptr;
}

const OutputFormat* formatOfName(const std::string& path, std::string* ending) {
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ending != nullptr) *ending = ext;
    for (const OutputFormat& f : kFormats)
        for (const char* e : f.endings)
            if (e != nullptr && ext == e) return &f;
    return nullptr;
}

bool formatAvailable(const OutputFormat& format) {
    switch (format.id) {
        case 'g':
            return output::Mp3Output().encoderAvailable();
        case 'f':
        case 'v':
        case 'o':
            return output::makeFlacCodec({}) != nullptr;
        default:
            return true;
    }
}

std::string formatFilterName(const OutputFormat& format, Language language) {
    return std::string(tr(language, format.germanKind, format.englishKind)) + " (*." +
           format.extension + ")";
}

std::string formatPatterns(const OutputFormat& format) {
    std::string patterns;
    for (const char* e : format.endings)
        if (e != nullptr) patterns += (patterns.empty() ? "*." : ";*.") + std::string(e);
    return patterns;
}

}  // namespace svt
