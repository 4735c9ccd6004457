// sorvanto-cli info: what a song is, read the way the player reads it.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "cli/Command.h"
#include "song/SmfReader.h"

namespace svt::cli {
namespace {

struct Facts {
    int firstTempo = -1;
    int tempoChanges = 0;
    int systemMode = -1;
    uint32_t drums = 0;
    int texts = 0;
    int notes = 0;
    std::string firstText;
};

// Without a reset message the maker of the first system-exclusive message tells which
// system the song was written for.
int systemOfMaker(uint8_t maker) {
    switch (maker) {
        case 0x41:
            return SYSTEM_GS_RESET;
        case 0x43:
            return SYSTEM_XG_ON;
        case 0x7E:
            return SYSTEM_GM_ON;
        default:
            return -1;
    }
}

Facts gather(const SongReadResult& read, const SongInfo& info) {
    Facts f;
    f.drums = info.drumMask;
    for (const SongEvent& e : read.song.events) {
        switch (e.type) {
            case EV_TEMPO:
                if (f.firstTempo < 0) f.firstTempo = tempoOf(e);
                ++f.tempoChanges;
                break;
            case EV_SYSTEM_RESET:
                if (f.systemMode < 0) f.systemMode = e.a;
                break;
            case EV_DRUM_PART:
                if (e.channel < 16)
                    f.drums = e.a ? f.drums | (1u << e.channel) : f.drums & ~(1u << e.channel);
                break;
            case EV_NOTE_ON:
                ++f.notes;
                break;
            default:
                if (isTextEvent(e.type)) {
                    const auto index = static_cast<size_t>(stringIndexOf(e));
                    if (f.texts++ == 0 && index < read.song.strings.size())
                        f.firstText = read.song.strings[index].substr(1);
                }
        }
    }
    if (f.systemMode < 0) f.systemMode = systemOfMaker(info.makerId);
    return f;
}

const char* systemName(int mode) {
    switch (mode) {
        case SYSTEM_GM_OFF:
            return "GM off";
        case SYSTEM_GM_ON:
            return "GM";
        case SYSTEM_GM2_ON:
            return "GM2";
        case SYSTEM_GS_RESET:
            return "GS";
        case SYSTEM_XG_ON:
            return "XG";
        default:
            return "none";
    }
}

std::string channelList(uint32_t mask) {
    std::string out;
    for (int c = 0; c < 16; ++c) {
        if ((mask >> c) & 1u) out += (out.empty() ? "" : ",") + std::to_string(c + 1);
    }
    return out.empty() ? "none" : out;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string lengthText(double seconds) {
    char buffer[32];
    const long total = static_cast<long>(seconds + 0.5);
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
    return buffer;
}

void printBlock(const std::string& file, const SongInfo& info, const SongReadResult& read,
                int rate) {
    const Facts f = gather(read, info);
    const double seconds = static_cast<double>(info.totalSamples) / rate;
    std::printf("%s\n", file.c_str());
    std::printf("  title:    %s\n", displayTitle(info).value_or("(none)").c_str());
    std::printf("  format:   %d, %d track%s, division %d\n", info.format, info.trackCount,
                info.trackCount == 1 ? "" : "s", info.division);
    if (info.meterNumerator > 0)
        std::printf("  meter:    %d/%d\n", info.meterNumerator, info.meterDenominator);
    else
        std::printf("  meter:    4/4 (none given)\n");
    std::printf("  key:      %s\n", info.keyIndex >= 0
                                        ? keyName(info.keyIndex, info.minor, Language::English)
                                        : "(none)");
    const int tempo = f.firstTempo > 0 ? f.firstTempo : 500000;
    std::printf("  tempo:    %.1f bpm%s, %d tempo event%s\n", 60000000.0 / tempo,
                f.firstTempo > 0 ? "" : " (default)", f.tempoChanges,
                f.tempoChanges == 1 ? "" : "s");
    std::printf("  length:   %s (%d samples at %d Hz), %d notes\n", lengthText(seconds).c_str(),
                info.totalSamples, rate, f.notes);
    std::printf("  system:   %s", systemName(f.systemMode));
    if (info.makerId != 0)
        std::printf(", first system exclusive from manufacturer 0x%02X", info.makerId);
    std::printf("\n  drums:    %s\n", channelList(f.drums).c_str());
    if (f.texts > 0) std::printf("  texts:    %d, first \"%s\"\n", f.texts, f.firstText.c_str());
    std::string names;
    for (const std::string& n : info.trackNames)
        if (!n.empty()) names += (names.empty() ? "" : ", ") + n;
    if (!names.empty()) std::printf("  tracks:   %s\n", names.c_str());
    for (const std::string& w : read.warnings) std::printf("  warning:  %s\n", w.c_str());
}

void printJson(const std::string& file, const SongInfo& info, const SongReadResult& read,
               int rate) {
    const Facts f = gather(read, info);
    std::string out = "{\"file\":" + jsonString(file);
    const auto title = displayTitle(info);
    out += ",\"title\":" + (title ? jsonString(*title) : std::string("null"));
    out += ",\"format\":" + std::to_string(info.format) +
           ",\"tracks\":" + std::to_string(info.trackCount) +
           ",\"division\":" + std::to_string(info.division);
    if (info.meterNumerator > 0)
        out += ",\"meter\":" + jsonString(std::to_string(info.meterNumerator) + "/" +
                                          std::to_string(info.meterDenominator));
    else
        out += ",\"meter\":null";
    out += ",\"key\":" + (info.keyIndex >= 0
                              ? jsonString(keyName(info.keyIndex, info.minor, Language::English))
                              : std::string("null"));
    out += ",\"tempo_us\":" + std::to_string(f.firstTempo > 0 ? f.firstTempo : 500000);
    out += ",\"tempo_events\":" + std::to_string(f.tempoChanges);
    out +=
        ",\"samples\":" + std::to_string(info.totalSamples) + ",\"rate\":" + std::to_string(rate);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(info.totalSamples) / rate);
    out += ",\"seconds\":" + std::string(seconds) + ",\"notes\":" + std::to_string(f.notes);
    out += ",\"system\":" + jsonString(systemName(f.systemMode));
    out += ",\"drums\":[";
    bool first = true;
    for (int c = 0; c < 16; ++c) {
        if (((f.drums >> c) & 1u) == 0) continue;
        out += (first ? "" : ",") + std::to_string(c + 1);
        first = false;
    }
    out += "],\"texts\":" + std::to_string(f.texts) + ",\"warnings\":[";
    for (size_t i = 0; i < read.warnings.size(); ++i)
        out += (i ? "," : "") + jsonString(read.warnings[i]);
    out += "]}";
    std::printf("%s\n", out.c_str());
}

}  // namespace

SVT_CLI_COMMAND(info, "FILE... [--json] [--rate HZ]",
                "show song information: title, format, meter, key, tempo, length") {
    ArgParser parser(cmd.args);
    if (parser.flag("--help", "-h")) {
        std::printf(
            "usage: sorvanto-cli info FILE... [--json] [--rate HZ]\n"
            "  Reads each MIDI file (also RMID) the way the player does and prints its title,\n"
            "  format, meter, key, tempo, length, system mode and drum channels.\n"
            "  --json      one JSON object per file, one per line\n"
            "  --rate HZ   output rate the length is counted in (default 44100)\n"
            "Exit status 0 when every file was read, 1 otherwise.\n");
        return 0;
    }
    const bool json = parser.flag("--json");
    long rate = 44100;
    if (auto r = parser.value("--rate"); r && !parseInt(*r, 8000, 192000, rate)) {
        std::fprintf(
            stderr,
            "sorvanto-cli info: --rate wants a rate between 8000 and 192000 Hz, not \"%s\"\n",
            r->c_str());
        return 2;
    }
    const std::vector<std::string> files = parser.operands();
    if (!parser.error().empty() || files.empty()) {
        std::fprintf(
            stderr,
            "sorvanto-cli info: %s\nusage: sorvanto-cli info FILE... [--json] [--rate HZ]\n",
            parser.error().empty() ? "no file given" : parser.error().c_str());
        return 2;
    }
    int status = 0;
    SongInfoList infos;
    EventList list;
    ReadOptions options;
    options.conversion.outputRateHz = static_cast<int>(rate);
    for (size_t i = 0; i < files.size(); ++i) {
        SongInfo& info = *infos.find(files[i], true);
        auto read = readSongFile(files[i], info, list, options);
        if (!read.ok()) {
            // A stream that cannot be opened names the file itself.
            if (read.error().code == kSongCannotOpen)
                std::fprintf(stderr, "%s\n", read.error().message.c_str());
            else
                std::fprintf(stderr, "%s: %s\n", files[i].c_str(), read.error().message.c_str());
            status = 1;
            continue;
        }
        if (json) {
            printJson(files[i], info, read.value(), static_cast<int>(rate));
        } else {
            if (i > 0) std::printf("\n");
            printBlock(files[i], info, read.value(), static_cast<int>(rate));
        }
    }
    return status;
}

}  // namespace svt::cli
