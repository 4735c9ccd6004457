#include "cli/SoundOptions.h"

#include <algorithm>

#include "cli/Command.h"

#include "app/Conversion.h"
#include "instruments/SoundFontRegistry.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"

namespace svt::cli {

SoundOptionTexts takeSoundOptions(ArgParser& parser) {
    SoundOptionTexts t;
    t.rate = parser.value("--rate");
    t.interp = parser.value("--interp");
    t.transpose = parser.value("--transpose");
    t.tempo = parser.value("--tempo");
    t.volume = parser.value("--volume");
    t.mute = parser.value("--mute");
    t.solo = parser.value("--solo");
    t.reverb = parser.value("--reverb");
    t.chorus = parser.value("--chorus");
    t.filter = parser.value("--filter");
    t.panDelay = parser.value("--pan-delay");
    t.limiter = parser.value("--limiter");
    return t;
}

std::string applySoundOptions(const SoundOptionTexts& t, SoundChoices& c) {
    EngineSettings& s = c.settings;
    long number = 0;
    if (t.rate) {
        if (!parseInt(*t.rate, 8000, 192000, number))
            return "--rate wants a rate between 8000 and 192000 Hz, not \"" + *t.rate + "\"";
        s.outputRateHz = static_cast<int>(number);
        c.rateGiven = true;
    }
    s.controlRatio = settleControlRatio(s.outputRateHz);
    if (t.interp) {
        const auto kind = parseInterpolation(*t.interp);
        if (!kind) return "--interp wants none, linear or default, not \"" + *t.interp + "\"";
        s.interpolation = *kind;
    }
    if (t.transpose) {
        if (!parseInt(*t.transpose, -24, 24, number))
            return "--transpose wants semitones between -24 and 24, not \"" + *t.transpose + "\"";
        c.keyOffset = static_cast<int>(number);
    }
    if (t.tempo) {
        if (!parseInt(*t.tempo, kMinTempoPercent, kMaxTempoPercent, number))
            return "--tempo wants a percentage between " + std::to_string(kMinTempoPercent) +
                   " and " + std::to_string(kMaxTempoPercent) + ", not \"" + *t.tempo + "\"";
        c.tempoPercent = static_cast<int>(number);
    }
    if (t.volume) {
        if (!parseInt(*t.volume, 0, 200, number))
            return "--volume wants a percentage between 0 and 200, not \"" + *t.volume + "\"";
        c.amplification = static_cast<int>(number);
    }
    if (t.mute) {
        uint32_t mask = 0;
        for (size_t at = 0; at <= t.mute->size();) {
            const size_t comma = std::min(t.mute->find(',', at), t.mute->size());
            if (!parseInt(t.mute->substr(at, comma - at), 1, 16, number))
                return "--mute wants channels 1..16 separated by commas, not \"" + *t.mute + "\"";
            mask |= 1u << (number - 1);
            at = comma + 1;
        }
        c.muteMask |= mask;
    }
    if (t.solo) {
        if (!parseInt(*t.solo, 1, 16, number))
            return "--solo wants a channel 1..16, not \"" + *t.solo + "\"";
        c.muteMask = 0xFFFFu & ~(1u << (number - 1));
    }
    if (t.reverb) {
        if (*t.reverb != "on" && *t.reverb != "off")
            return "--reverb wants off or on, not \"" + *t.reverb + "\"";
        s.reverbMode = *t.reverb == "on" ? 3 : 0;
    }
    if (t.chorus) {
        if (*t.chorus != "on" && *t.chorus != "off" && *t.chorus != "surround")
            return "--chorus wants off or on or surround, not \"" + *t.chorus + "\"";
        s.surroundChorus = *t.chorus == "surround";
        if (!s.surroundChorus) s.chorusMode = *t.chorus == "on" ? 1 : 0;
    }
    if (t.filter) {
        if (*t.filter != "2" && *t.filter != "4")
            return "--filter wants 2 or 4, not \"" + *t.filter + "\"";
        s.voiceFilter = *t.filter == "2" ? kFilterTwoPole : kFilterFourPole;
    }
    if (t.panDelay) {
        if (*t.panDelay != "on" && *t.panDelay != "off")
            return "--pan-delay wants off or on, not \"" + *t.panDelay + "\"";
        s.panDelay = *t.panDelay == "on";
    }
    if (t.limiter) {
        if (*t.limiter != "on" && *t.limiter != "off")
            return "--limiter wants on or off, not \"" + *t.limiter + "\"";
        s.limiter = *t.limiter == "on";
    }
    return {};
}

std::string soundOptionsHelp() {
    return "  --rate HZ     output rate, 8000..192000 (default 44100)\n"
           "  --interp KIND resampling: none, linear or default (26-point, the best)\n"
           "  --transpose N shift every melodic note by N semitones (-24..24)\n"
           "  --tempo PCT   play at PCT percent of the written tempo (" +
           std::to_string(kMinTempoPercent) + ".." + std::to_string(kMaxTempoPercent) +
           ")\n"
           "  --volume PCT  master volume, 0..200 percent of the player's scale (default 70)\n"
           "  --mute CH,... silence channels (1..16); --solo CH plays only that channel\n"
           "  --reverb off|on  the reverb the song chooses (GS/XG), or none (default on)\n"
           "  --chorus off|on|surround  the chorus at each channel's level, or none (default\n"
           "                on); surround: every note sounds twice, spread left and right\n"
           "  --filter 2|4  the voices' low-pass: two poles (the default) or a four-pole ladder\n"
           "  --pan-delay off|on  a voice panned to one side reaches the other ear up to a\n"
           "                millisecond later (default off)\n"
           "  --limiter on|off keeps peaks under full scale (default on); off, the raw mix\n"
           "                is clipped and the clipped samples are counted\n";
}

Result<int> parseRenderThreads(const std::string& text) {
    long threads = 0;
    if (!parseInt(text, 1, kMaxRenderThreads, threads))
        return makeError("--threads wants a number between 1 and " +
                         std::to_string(kMaxRenderThreads) + ", not \"" + text + "\"");
    return static_cast<int>(threads);
}

std::optional<InterpolationKind> parseInterpolation(const std::string& text) {
    if (text == "none") return InterpolationKind::None;
    if (text == "linear") return InterpolationKind::Linear;
    if (text == "default") return InterpolationKind::SineLagrange;
    return std::nullopt;
}

Result<std::string> chooseSoundFont(const std::optional<std::string>& named) {
    if (named) {
        if (!platform::pathExists(*named)) return makeError(*named + ": no such SoundFont");
        return *named;
    }
    Result<std::string> found = findDefaultSoundFont(platform::programFolder());
    if (!found.ok()) return makeError(found.error().message + "; name one with -s FONT");
    return found;
}

Result<std::string> chooseUsableSoundFont(const std::optional<std::string>& named,
                                          std::string& warning) {
    warning.clear();
    Result<std::string> font = chooseSoundFont(named);
    if (!font.ok()) return font;
    const Result<std::vector<std::string>> checked = checkSoundFont(font.value());
    if (!checked.ok()) return checked.error();
    const std::vector<std::string>& problems = checked.value();
    if (!problems.empty()) {
        warning = font.value() + ": warning: " + problems.front();
        if (problems.size() > 1)
            warning += " (and " + std::to_string(problems.size() - 1) +
                       " more; \"sorvanto-cli fonts " + font.value() + "\" lists them)";
    }
    return font;
}

}  // namespace svt::cli
