#include "song/EngineSettings.h"

#include <algorithm>

#include "platform/Cores.h"

namespace svt {

int settleControlRatio(int outputRateHz, std::optional<int> configuredRatio) {
    if (configuredRatio && *configuredRatio > 0)
        return std::clamp(*configuredRatio, kMinControlRatio, kMaxControlRatio);
    return std::clamp(outputRateHz / 1000, kMinControlRatio, kMaxControlRatio);
}

int renderThreadsBeside(int jobs) {
    return std::clamp(platform::usableCores() / std::max(1, jobs), 1, kMaxRenderThreads);
}

}  // namespace svt
