#include "song/EngineSettings.h"

#include <algorithm>

namespace svt {

int settleControlRatio(int outputRateHz, std::optional<int> configuredRatio) {
    if (configuredRatio && *configuredRatio > 0)
        return std::clamp(*configuredRatio, kMinControlRatio, kMaxControlRatio);
    return std::clamp(outputRateHz / 1000, kMinControlRatio, kMaxControlRatio);
}

}  // namespace svt
