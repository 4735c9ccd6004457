// sorvanto-cli info: what a song is, read the way the player reads it.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <new>
#include <string>

#include "app/Batch.h"
#include "app/DisplayText.h"
#include "app/OutputFormats.h"
#include "app/Playlist.h"
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
    std::printf("%s\n", cleanText(file).c_str());
    std::printf("  title:    %s\n", cleanText(displayTitle(info).value_or("(none)")).c_str());
    if (info.copyright) std::printf("  copyright: %s\n", cleanText(*info.copyright).c_str());
    if (info.composer) std::printf("  composer: %s\n", cleanText(*info.composer).c_str());
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
    if (f.texts > 0)
        std::printf("  texts:    %d, first \"%s\"\n", f.texts, cleanText(f.firstText).c_str());
    std::string names;
    for (const std::string& n : info.trackNames)
        if (!n.empty()) names += (names.empty() ? "" : ", ") + n;
    if (!names.empty()) std::printf("  tracks:   %s\n", cleanText(names).c_str());
    for (const std::string& w : read.warnings)
        std::printf("  warning:  %s\n", cleanText(w).c_str());
}

void printJson(const std::string& file, const SongInfo& info, const SongReadResult& read,
               int rate) {
    const Facts f = gather(read, info);
    std::string out = "{\"file\":" + jsonString(file);
    const auto title = displayTitle(info);
    out += ",\"title\":" + (title ? jsonString(*title) : std::string("null"));
    for (const auto& [key, text] :
         {std::pair{"copyright", &info.copyright}, std::pair{"composer", &info.composer}})
        out +=
            std::string(",\"") + key + "\":" + (*text ? jsonString(**text) : std::string("null"));
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

// The file formats convert writes: one line each, or one JSON object each.
void printFormats(bool json) {
    for (const OutputFormat& f : outputFormats()) {
        const bool available = formatAvailable(f);
        std::string endings;
        for (const char* e : f.endings)
            if (e != nullptr) endings += std::string(endings.empty() ? "" : " ") + "." + e;
        if (!json) {
            std::printf("%-5s %-11s %s%s\n      -f %s:%s%s%s\n", f.name, endings.c_str(), f.summary,
                        available ? "" : " (not available here)", f.name, f.encodings,
                        *f.options ? "; options " : "", f.options);
            continue;
        }
        auto list = [](const std::string& items, char separator) {
            std::string out = "[";
            for (size_t at = 0; at < items.size();) {
                const size_t end = std::min(items.find(separator, at), items.size());
                out += (out.size() > 1 ? "," : "") + jsonString(items.substr(at, end - at));
                at = end + 1;
            }
            return out + "]";
        };
        std::string endingList;
        for (const char* e : f.endings)
            if (e != nullptr) endingList += std::string(endingList.empty() ? "" : ",") + e;
        std::printf(
            "{\"format\":%s,\"output\":%s,\"extension\":%s,\"endings\":%s,"
            "\"encodings\":%s,\"options\":%s,\"available\":%s,\"summary\":%s}\n",
            jsonString(f.name).c_str(), jsonString(std::string(1, f.id)).c_str(),
            jsonString(f.extension).c_str(), list(endingList, ',').c_str(),
            list(f.encodings, ',').c_str(), list(f.options, ' ').c_str(),
            available ? "true" : "false", jsonString(f.summary).c_str());
    }
}

// One JSON object for a file that could not be read, so that a pipeline sees every file.
void printJsonError(const std::string& file, const std::string& reason) {
    std::printf("{\"file\":%s,\"error\":%s}\n", jsonString(file).c_str(),
                jsonString(reason).c_str());
}

}  // namespace

int runInfo(const CommandArgs& cmd) {
    ArgParser parser(cmd.args);
    if (parser.flag("--help", "-h")) {
        std::printf(
            "usage: sorvanto-cli info FILE|FOLDER|LIST.pli... [--json] [--rate HZ]\n"
            "       sorvanto-cli info --formats [--json]\n"
            "  Reads each MIDI file (also RMID) the way the player does and prints its title,\n"
            "  format, meter, key, tempo, length, system mode and drum channels. Folders give\n"
            "  the songs in them and their sub-folders, lists the songs they name.\n"
            "  --json      one JSON object per song, one per line; a file that cannot be read\n"
            "              gives {\"file\": ..., \"error\": ...}\n"
            "  --rate HZ   output rate the length is counted in (default 44100)\n"
            "  --formats   the file formats convert writes, with their endings, encodings and\n"
            "              options, and whether this build can write them here\n"
            "Texts are shown as UTF-8; bytes that are not UTF-8 are read as Latin-1 (Windows\n"
            "code page 1252), control characters are replaced.\n"
            "Exit status 0 when every file was read, 1 otherwise, 2 for a mistake in the\n"
            "command.\n");
        return 0;
    }
    const bool json = parser.flag("--json");
    if (parser.flag("--formats")) {
        if (!parser.operands().empty() || !parser.error().empty()) {
            std::fprintf(stderr, "sorvanto-cli info: --formats takes no files\n");
            return 2;
        }
        printFormats(json);
        return 0;
    }
    long rate = 44100;
    if (auto r = parser.value("--rate"); r && !parseInt(*r, 8000, 192000, rate)) {
        std::fprintf(
            stderr,
            "sorvanto-cli info: --rate wants a rate between 8000 and 192000 Hz, not \"%s\"\n",
            cleanText(*r).c_str());
        return 2;
    }
    const std::vector<std::string> operands = parser.operands();
    if (!parser.error().empty() || operands.empty()) {
        std::fprintf(stderr,
                     "sorvanto-cli info: %s\nusage: sorvanto-cli info FILE|FOLDER|LIST.pli... "
                     "[--json] [--rate HZ]\n",
                     parser.error().empty() ? "no file given" : cleanText(parser.error()).c_str());
        return 2;
    }
    const NameExpansion expansion = expandNames(operands);
    for (const std::string& w : expansion.warnings)
        std::fprintf(stderr, "warning: %s\n", cleanText(w).c_str());
    if (expansion.names.empty()) {
        std::fprintf(stderr, "sorvanto-cli info: no songs found in what was named\n");
        return 1;
    }
    int status = 0;
    SongInfoList infos;
    EventList list;
    ReadOptions options;
    options.conversion.outputRateHz = static_cast<int>(rate);
    bool first = true;
    for (const ExpandedName& name : expansion.names) {
        const std::string& file = name.path;
        SongInfo& info = *infos.find(file, true);
        // A song too large for the memory left is that song's failure; the next is read.
        auto readOne = [&]() -> decltype(readSongFile(file, info, list, options)) {
            try {
                return readSongFile(file, info, list, options);
            } catch (const std::bad_alloc&) {
                return makeError("there is not enough memory to read it");
            }
        };
        auto read = readOne();
        if (!read.ok()) {
            status = 1;
            if (json)
                printJsonError(file, reasonOf(file, read.error().message));
            else
                std::fprintf(stderr, "%s\n",
                             cleanText(nameOnce(file, read.error().message)).c_str());
            continue;
        }
        if (json) {
            printJson(file, info, read.value(), static_cast<int>(rate));
        } else {
            if (!first) std::printf("\n");
            printBlock(file, info, read.value(), static_cast<int>(rate));
        }
        first = false;
        std::fflush(stdout);
    }
    return status;
}

}  // namespace svt::cli
