// sorvanto-cli fonts FONT... : what a SoundFont holds and what is wrong with it.

#include <algorithm>
#include <cstdio>

#include "app/Batch.h"
#include "app/DisplayText.h"
#include "cli/Command.h"
#include "instruments/instruments.h"
#include "platform/Terminal.h"

namespace {

void printHelp() {
    std::printf(
        "usage: sorvanto-cli fonts [--help] [--quick] [--json] FONT...\n\n"
        "Shows each SoundFont's name, version, preset, instrument and sample counts, the size of\n"
        "its sample data (for a compressed font, SoundFont 3, also the size it decodes to), a\n"
        "table of its presets (bank:program, name, regions) and the problems found in it.\n"
        "Every compressed sample is decoded once to find the ones that cannot be played;\n"
        "--quick leaves that out and checks only their headers. --json gives one JSON object\n"
        "per font, one per line (a font that cannot be read: {\"file\": ..., \"error\": ...}; one\n"
        "in which nothing can sound has \"error\" as well).\n"
        "Exit code 0 when every font can be played with, 1 otherwise, 2 for a mistake in the\n"
        "command.\n");
}

// A font in which nothing can sound fails here as it fails when songs are played with it;
// the reason comes first among its problems (`verdict`).
void printFont(const svt::LoadedSoundFont& f, const svt::Status& verdict) {
    std::printf("%s\n", svt::cleanText(f.registeredName()).c_str());
    std::printf("  name:         %s\n",
                f.fontName().empty() ? "(none)" : svt::cleanText(f.fontName()).c_str());
    std::printf("  version:      %u.%02u\n", f.versionMajor(), f.versionMinor());
    std::printf("  presets:      %zu\n", f.presetSummaries().size());
    std::printf("  instruments:  %d\n", f.instrumentCount());
    std::printf("  samples:      %d\n", f.sampleCount());
    std::printf("  sample data:  %lld bytes (%.1f MiB)%s\n",
                static_cast<long long>(f.sampleDataSize()),
                static_cast<double>(f.sampleDataSize()) / (1024.0 * 1024.0),
                f.hasSample24() ? ", 24-bit extension present (played as 16-bit)" : "");
    if (f.compressedSampleCount() == 0) {
        std::printf("  compressed:   no\n");
    } else {
        std::printf(
            "  compressed:   %d of %d samples (Ogg Vorbis streams of %lld bytes, %.1f MiB)\n",
            f.compressedSampleCount(), f.sampleCount(), static_cast<long long>(f.compressedBytes()),
            static_cast<double>(f.compressedBytes()) / (1024.0 * 1024.0));
        std::printf(
            "  decoded:      %lld bytes (%.1f MiB), decoded only for the instruments a "
            "song uses\n",
            static_cast<long long>(f.decodedBytes()),
            static_cast<double>(f.decodedBytes()) / (1024.0 * 1024.0));
    }
    std::printf("  presets:\n");
    std::printf("    %-9s %-20s %s\n", "bank:prog", "name", "regions");
    std::vector<svt::PresetSummary> presets = f.presetSummaries();
    std::stable_sort(presets.begin(), presets.end(),
                     [](const svt::PresetSummary& a, const svt::PresetSummary& b) {
                         return a.bank != b.bank ? a.bank < b.bank : a.program < b.program;
                     });
    for (svt::PresetSummary p : presets) {
        p.name = svt::cleanText(p.name);
        char where[16];
        std::snprintf(where, sizeof where, "%d:%d", p.bank, p.program);
        if (p.bank == svt::kPercussionBank) {
            std::printf("    %-9s %-20s %d (drum kit, %d keys)\n", where, p.name.c_str(),
                        p.regionCount, p.keyCount);
        } else {
            std::printf("    %-9s %-20s %d\n", where, p.name.c_str(), p.regionCount);
        }
    }
    if (f.problems().empty() && verdict.ok()) {
        std::printf("  problems:     none\n");
    } else {
        std::printf("  problems:\n");
        if (!verdict.ok()) std::printf("    - %s\n", verdict.error().message.c_str());
        for (const svt::SoundFontProblem& p : f.problems())
            std::printf("    - %s\n", svt::cleanText(p.text).c_str());
    }
}

void printFontJson(const svt::LoadedSoundFont& f, const svt::Status& verdict) {
    using svt::jsonString;
    char version[16];
    std::snprintf(version, sizeof version, "%u.%02u", f.versionMajor(), f.versionMinor());
    std::string out = "{\"file\":" + jsonString(f.registeredName()) +
                      ",\"name\":" + (f.fontName().empty() ? "null" : jsonString(f.fontName())) +
                      ",\"version\":" + jsonString(version) +
                      ",\"instruments\":" + std::to_string(f.instrumentCount()) +
                      ",\"samples\":" + std::to_string(f.sampleCount()) +
                      ",\"sample_bytes\":" + std::to_string(f.sampleDataSize()) + ",\"presets\":[";
    bool first = true;
    for (const svt::PresetSummary& p : f.presetSummaries()) {
        out += std::string(first ? "" : ",") + "{\"bank\":" + std::to_string(p.bank) +
               ",\"program\":" + std::to_string(p.program) + ",\"name\":" + jsonString(p.name) +
               ",\"regions\":" + std::to_string(p.regionCount);
        if (p.bank == svt::kPercussionBank) out += ",\"keys\":" + std::to_string(p.keyCount);
        out += "}";
        first = false;
    }
    out += "],\"problems\":[";
    first = true;
    for (const svt::SoundFontProblem& p : f.problems()) {
        out += (first ? "" : ",") + jsonString(p.text);
        first = false;
    }
    out += "]";
    if (!verdict.ok()) out += ",\"error\":" + jsonString(verdict.error().message);
    std::printf("%s}\n", out.c_str());
}

}  // namespace

int svt::cli::runFonts(const svt::cli::CommandArgs& cmd) {
    svt::cli::ArgParser args(cmd.args);
    if (args.flag("--help", "-h")) {
        printHelp();
        return 0;
    }
    const bool quick = args.flag("--quick", "-q");
    const bool json = args.flag("--json");
    std::vector<std::string> files = args.operands();
    if (!args.error().empty() || files.empty()) {
        std::fprintf(stderr, "sorvanto-cli fonts: %s\n",
                     args.error().empty() ? "name at least one SoundFont" : args.error().c_str());
        std::fprintf(stderr, "usage: sorvanto-cli fonts [--help] [--quick] [--json] FONT...\n");
        return 2;
    }
    int exitCode = 0;
    bool first = true;
    for (const std::string& file : files) {
        svt::InstrumentSettings settings{svt::EngineSettings{}};
        svt::SoundFontRegistry registry(settings);
        svt::LoadedSoundFont& font = registry.registerFont(file);
        svt::Status st = font.index(settings);
        if (!st.ok()) {
            exitCode = 1;
            if (json)
                std::printf("{\"file\":%s,\"error\":%s}\n", svt::jsonString(file).c_str(),
                            svt::jsonString(svt::reasonOf(file, st.error().message)).c_str());
            else
                std::fprintf(stderr, "%s\n",
                             svt::cleanText(svt::nameOnce(file, st.error().message)).c_str());
            continue;
        }
        if (!quick) {
            // Decoding a large font takes seconds: a terminal sees how far it is.
            const bool showProgress = svt::platform::stderrIsTerminal();
            font.verifyCompressedSamples([&](int done, int total) {
                if (showProgress && (done % 64 == 0 || done == total))
                    std::fprintf(stderr, "\rdecoding compressed samples: %d of %d%s", done, total,
                                 done == total ? "\n" : "");
            });
        }
        const svt::Status verdict = font.soundCheck();
        if (!verdict.ok()) exitCode = 1;
        if (json) {
            printFontJson(font, verdict);
        } else {
            if (!first) std::printf("\n");
            first = false;
            printFont(font, verdict);
        }
    }
    return exitCode;
}
