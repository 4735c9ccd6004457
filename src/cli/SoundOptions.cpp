#include "cli/SoundOptions.h"

#include "instruments/SoundFontRegistry.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"

namespace svt::cli {

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

}  // namespace svt::cli
