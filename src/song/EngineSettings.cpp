#include "song/EngineSettings.h"

#include <algorithm>

namespace svt {

namespace {

size_t lastSeparator(std::string_view path) {
    return path.find_last_of("/\\");
}

}  // namespace

std::string programNameFrom(std::string_view programPath) {
    const size_t cut = lastSeparator(programPath);
    const std::string_view name =
        cut == std::string_view::npos ? programPath : programPath.substr(cut + 1);
    return name.empty() ? std::string("sorvanto") : std::string(name);
}

std::string defaultSoundFontFor(std::string_view programPath) {
    const size_t cut = lastSeparator(programPath);
    if (cut == std::string_view::npos) return {};
    return std::string(programPath.substr(0, cut + 1)) + kDefaultSoundFontName;
}

int settleOutputRate(int outputRateHz, std::optional<int> forcedRateHz) {
    if (forcedRateHz && *forcedRateHz > 0) return *forcedRateHz;
    return outputRateHz > 0 ? outputRateHz : kDefaultOutputRateHz;
}

int settleControlRatio(int outputRateHz, std::optional<int> configuredRatio) {
    if (configuredRatio && *configuredRatio > 0)
        return std::clamp(*configuredRatio, kMinControlRatio, kMaxControlRatio);
    return std::clamp(outputRateHz / 1000, kMinControlRatio, kMaxControlRatio);
}

uint32_t channelMaskFromList(std::span<const int> oneBasedChannels) {
    uint32_t mask = 0;
    for (const int channel : oneBasedChannels) {
        if (channel == -1) break;
        if (channel >= 1 && channel <= 32) mask |= 1u << (channel - 1);
    }
    return mask;
}

std::optional<size_t> chooseOutput(std::span<const OutputCandidate> outputs,
                                   std::optional<std::string_view> svtVariable,
                                   std::optional<size_t> frontEndChoice) {
    if (svtVariable && !svtVariable->empty()) {
        for (size_t i = 0; i < outputs.size(); ++i) {
            const OutputCandidate& o = outputs[i];
            if (o.id == svtVariable->front() && (!o.detect || o.detect())) return i;
        }
    }
    if (frontEndChoice && *frontEndChoice < outputs.size()) return frontEndChoice;
    for (size_t i = 0; i < outputs.size(); ++i)
        if (outputs[i].detect && outputs[i].detect()) return i;
    return std::nullopt;
}

std::vector<std::string> markFolderArguments(
    const std::vector<std::string>& arguments,
    const std::function<bool(const std::string&)>& isFolder) {
    std::vector<std::string> out;
    out.reserve(arguments.size());
    for (const std::string& a : arguments) {
        const bool folder = !a.empty() && a[0] != '@' && isFolder(a);
        if (folder && a.back() != '/' && a.back() != '\\')
            out.push_back(a + '/');
        else
            out.push_back(a);
    }
    return out;
}

EngineSettings makeEngineSettings(const StartupInput& input) {
    EngineSettings s;
    s.programName = programNameFrom(input.programPath);
    s.defaultSoundFont = defaultSoundFontFor(input.programPath);
    s.outputRateHz = settleOutputRate(input.outputRateHz, input.forcedRateHz);
    s.controlRatio = settleControlRatio(s.outputRateHz, input.controlRatio);
    s.drumChannels = channelMaskFromList(input.drumChannelList);
    return s;
}

}  // namespace svt
