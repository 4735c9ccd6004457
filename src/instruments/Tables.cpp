#include "instruments/Tables.h"

#include <cmath>

namespace svt {
namespace {

SynthTables makeTables() {
    SynthTables t{};
    for (int n = 0; n < 128; ++n) {
        t.noteFreqMilliHz[static_cast<size_t>(n)] =
            static_cast<int32_t>(std::trunc(440000.0 * std::pow(2.0, (n - 69) / 12.0) + 0.5));
        t.coarseBend[static_cast<size_t>(n)] = std::pow(2.0, n / 12.0);
    }
    for (int i = 0; i < 256; ++i) t.fineBend[static_cast<size_t>(i)] = std::pow(2.0, i / 3072.0);
    for (int a = 0; a <= 960; ++a)
        t.attenuationGain[static_cast<size_t>(a)] = static_cast<float>(std::pow(2.0, -a / 160.0));
    for (int i = 0; i < 1024; ++i) {
        auto k = static_cast<size_t>(i);
        t.attackVolume[k] = i / 1023.0;
        t.soundFontVolume[k] = std::pow(10.0, -(1023 - i) * 960.0 / 204600.0);
        t.defaultVolumeGm[k] = std::pow(2.0, 6.0 * (i / 1023.0 - 1.0));
        t.defaultVolumeGsXg[k] = std::pow(2.0, 8.0 * (i / 1023.0 - 1.0));
    }
    return t;
}

}  // namespace

const SynthTables& synthTables() {
    static const SynthTables tables = makeTables();
    return tables;
}

}  // namespace svt
