#include "song/EngineSettings.h"

#include <algorithm>
#include <thread>

namespace svt {

int settleControlRatio(int outputRateHz, std::optional<int> configuredRatio) {
    if (configuredRatio && *configuredRatio > 0)
        return std::clamp(*configuredRatio, kMinControlRatio, kMaxControlRatio);
    return std::clamp(outputRateHz / 1000, kMinControlRatio, kMaxControlRatio);
}

int renderThreadsBeside(int jobs) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(cores / std::max(1, jobs), 1, kMaxRenderThreads);
}

}  // namespace svt
