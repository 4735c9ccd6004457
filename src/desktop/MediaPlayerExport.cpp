#include "desktop/MediaPlayerExport.h"

#include <filesystem>
#include <random>

#include "desktop/ConversionFormats.h"
#include "output/OutputNames.h"
#include "platform/OutputFile.h"
#include "platform/PendingFile.h"

namespace svt {
namespace {

constexpr int64_t kAudioCdSeconds = 4200;

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return name;
}

// Length of the UTF-8 sequence starting at `text[i]`, 0 when it is not a valid one.
size_t utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF || code == 0xFFFE || code == 0xFFFF) return 0;
    return length;
}

}  // namespace

std::string mediaExtensionFor(OutputKind output) {
    const ConversionFormat* f = conversionFormatOf(output);
    return f != nullptr ? f->format().extension : "mid";
}

std::string mediaPathFor(const std::string& songPath, OutputKind output) {
    if (output != OutputKind::Live)
        return output::automaticOutputName(songPath, mediaExtensionFor(output));
    const size_t slash = songPath.find_last_of("/\\");
    const size_t dot = songPath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return songPath + ".mid";
    return songPath.substr(0, dot) + ".mid";
}

std::string xmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                out += "&amp;";
                ++i;
                continue;
            case '<':
                out += "&lt;";
                ++i;
                continue;
            case '>':
                out += "&gt;";
                ++i;
                continue;
            case '"':
                out += "&quot;";
                ++i;
                continue;
            case '\'':
                out += "&apos;";
                ++i;
                continue;
            default:
                break;
        }
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const size_t length = utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string makeWplDocument(const std::string& title, const std::vector<std::string>& media) {
    std::string doc = "<?wpl version=\"1.0\"?>\n<smil>\n\t<head>\n";
    doc += "\t\t<meta name=\"ItemCount\" content=\"" + std::to_string(media.size()) + "\"/>\n";
    doc += "\t\t<title>" + xmlEscape(title) + "</title>\n\t</head>\n\t<body>\n\t\t<seq>\n";
    for (const std::string& path : media) doc += "\t\t\t<media src=\"" + xmlEscape(path) + "\"/>\n";
    doc += "\t\t</seq>\n\t</body>\n</smil>";
    return doc;
}

std::string wplTitleFor(const std::string& path) {
    return baseNameOf(path) + ".wpl";
}

Status writeMediaPlayerList(const std::string& path, const std::vector<std::string>& songPaths,
                            OutputKind output, Language language) {
    std::vector<std::string> media;
    media.reserve(songPaths.size());
    for (const std::string& song : songPaths) media.push_back(mediaPathFor(song, output));
    const std::string doc = makeWplDocument(wplTitleFor(path), media);
    if (const int error = platform::writeWholeFile(path, doc); error != 0) {
        return makeError(std::string(tr(language, "Datei nicht vorhanden", "File not found")) +
                         " (" + path + ": " + platform::OutputFile::errorText(error) + ")");
    }
    return Ok{};
}

std::string temporaryWplPath() {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec || folder.empty() || folder.string().size() > 256) return {};
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            folder / ("svt" + std::to_string(device() % 1000000u) + ".wpl");
        if (!std::filesystem::exists(candidate, ec)) return candidate.string();
    }
    return {};
}

bool tooLongForAudioCd(int64_t totalSeconds, OutputKind output) {
    return output == OutputKind::WavFile && totalSeconds > kAudioCdSeconds;
}

}  // namespace svt
