#include "synth/Temperament.h"

#include <cmath>

#include "instruments/Tables.h"
#include "synth/ChannelState.h"

namespace svt {

namespace {

int floorMod12(int v) {
    const int r = v % 12;
    return r < 0 ? r + 12 : r;
}

// A temperament built from a chain of equal fifths: each degree sits `fifths[d]` fifths from
// the tonic, and each fifth departs from equal temperament by `centsPerFifth`.
TemperamentCents chainOfFifths(const std::array<int, 12>& fifths, double centsPerFifth) {
    TemperamentCents t{};
    for (size_t d = 0; d < 12; ++d) t[d] = fifths[d] * centsPerFifth;
    return t;
}

TemperamentCents ratios(const std::array<std::array<int, 2>, 12>& r) {
    TemperamentCents t{};
    for (size_t d = 0; d < 12; ++d)
        t[d] = 1200.0 * std::log2(double(r[d][0]) / r[d][1]) - 100.0 * double(d);
    return t;
}

struct FixedTemperaments {
    // [type - 1][0 major, 1 minor], degrees counted from the key's own tonic.
    std::array<std::array<TemperamentCents, 2>, 3> sets;
};

FixedTemperaments build() {
    FixedTemperaments f{};
    const double pureFifth = 1200.0 * std::log2(1.5) - 700.0;
    // Quarter-comma meantone: four fifths make a pure major third two octaves up.
    const double meantoneFifth = 1200.0 * std::log2(5.0) / 4.0 - 700.0;
    // The wolf lies where each key leaves it least in the way: the sharp side reaches the
    // leading tone, the flat side the minor third, sixth and seventh.
    f.sets[0][0] = chainOfFifths({0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5}, pureFifth);
    f.sets[0][1] = chainOfFifths({0, -5, 2, -3, 4, -1, -6, 1, -4, 3, -2, 5}, pureFifth);
    f.sets[1][0] = chainOfFifths({0, 7, 2, -3, 4, -1, 6, 1, 8, 3, -2, 5}, meantoneFifth);
    f.sets[1][1] = chainOfFifths({0, -5, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5}, meantoneFifth);
    // Just intonation: major with the dominant's minor seventh 16/9, minor with 9/5.
    f.sets[2][0] = ratios({{{1, 1},
                            {16, 15},
                            {9, 8},
                            {6, 5},
                            {5, 4},
                            {4, 3},
                            {45, 32},
                            {3, 2},
                            {8, 5},
                            {5, 3},
                            {16, 9},
                            {15, 8}}});
    f.sets[2][1] = f.sets[2][0];
    f.sets[2][1][10] = 1200.0 * std::log2(9.0 / 5.0) - 1000.0;
    return f;
}

const FixedTemperaments& fixedTemperaments() {
    static const FixedTemperaments t = build();
    return t;
}

}  // namespace

double temperamentCents(int type, int key, const TemperamentKey& at, const UserTemperaments& user) {
    TemperamentCents set{};
    if (type >= TEMPERAMENT_PYTHAGOREAN && type <= TEMPERAMENT_PURE) {
        set = fixedTemperaments().sets[size_t(type - 1)][at.minor ? 1 : 0];
    } else if (type >= TEMPERAMENT_USER_FIRST && type <= TEMPERAMENT_USER_LAST) {
        const auto& cents = user.cents[size_t(type - TEMPERAMENT_USER_FIRST)][at.minor ? 1 : 0];
        for (size_t d = 0; d < 12; ++d) set[d] = cents[d];
    } else {
        return 0.0;
    }
    // A minor key's tonic lies a major sixth above its relative major's.
    const int tonic = at.minor ? at.tonic + 9 : at.tonic;
    double cents = set[size_t(floorMod12(key - tonic))];
    if (at.adjusted) {
        double mean = 0;
        for (double c : set) mean += c;
        cents -= mean / 12.0;
    }
    return cents;
}

void TuningPrograms::reset() {
    for (auto& program : milliHz_)
        for (int key = 0; key < 128; ++key) program[size_t(key)] = noteFrequencyMilliHz(key);
    retuned_.fill(false);
}

int32_t TuningPrograms::frequency(int program, int key) const {
    return milliHz_[size_t(program & 0x7F)][size_t(key & 0x7F)];
}

void TuningPrograms::set(int program, int key, int semitone, int fraction) {
    if (semitone == 0x7F && fraction == 0x3FFF) return;
    const double f = noteFrequencyMilliHz(semitone & 0x7F) *
                     std::exp2(double(fraction & 0x3FFF) / 16384.0 / 12.0);
    milliHz_[size_t(program & 0x7F)][size_t(key & 0x7F)] = static_cast<int32_t>(std::lround(f));
    retuned_[size_t(program & 0x7F)] = true;
}

}  // namespace svt
