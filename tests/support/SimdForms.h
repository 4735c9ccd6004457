#pragma once
// The vector forms of the synthesizer's kernels that this processor can run, for tests that
// hold each of them against the scalar form. A form the processor lacks is named as skipped.

#include <cstdio>
#include <vector>

#include "base/SimdLevel.h"

namespace svt::test {

// `isAvailable` answers for one level (simdLevelAvailable, passed in so that this header
// needs no library).
template <typename Available>
std::vector<SimdLevel> vectorFormsHere(Available isAvailable, const char* what) {
    std::vector<SimdLevel> forms;
    for (SimdLevel level : kSimdLevels) {
        if (level == SimdLevel::Scalar) continue;
        if (isAvailable(level))
            forms.push_back(level);
        else
            std::printf("[ skip ] %s in the %s form: this processor lacks it\n", what,
                        simdLevelName(level));
    }
    return forms;
}

}  // namespace svt::test
