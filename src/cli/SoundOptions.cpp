#include "cli/SoundOptions.h"

#include "cli/Command.h"

#include "app/Conversion.h"
#include "instruments/SoundFontRegistry.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"

namespace svt::cli {

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
