#include "instruments/GeneratorTable.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace svt {
namespace {

enum MergeMode : uint8_t { MERGE_ADD, MERGE_REPLACE, MERGE_RANGE, MERGE_INSTRUMENT, MERGE_SAMPLE };

// The unit a version-1 font stores a generator in, where it is not that of version 2;
// convertSf1 turns each into the version-2 value.
enum class Sf1Unit : uint8_t {
    Same,
    Cutoff,
    Resonance,
    EffectSend,
    Pan,
    Attenuation,
    ScaleTuning,
    Milliseconds,
    KeyScale,
    LfoFrequency,
    PitchDepth,
    FilterDepth,
    VolumeDepth,
    ModSustain,
    VolumeSustain,
};

struct GeneratorInfo {
    uint8_t mode = MERGE_ADD;
    Sf1Unit sf1Unit = Sf1Unit::Same;
    int16_t defaultValue = 0;
    int16_t sf1Default = 0;
    // Where a preset's value added to an instrument's may end up (each generator's range in
    // SoundFont 2.04): a sum beyond them would mean something else entirely.
    int16_t low = INT16_MIN;
    int16_t high = INT16_MAX;
};

constexpr std::array<GeneratorInfo, kGeneratorCount> makeGeneratorInfo() {
    std::array<GeneratorInfo, kGeneratorCount> t{};
    auto set = [&t](std::initializer_list<int> gens, uint8_t mode, Sf1Unit unit, int16_t def,
                    int16_t sf1Def) {
        for (int g : gens) t[static_cast<size_t>(g)] = GeneratorInfo{mode, unit, def, sf1Def};
    };
    using U = Sf1Unit;
    set({GEN_START_ADDRS_OFFSET, GEN_END_ADDRS_OFFSET, GEN_STARTLOOP_ADDRS_OFFSET,
         GEN_ENDLOOP_ADDRS_OFFSET, GEN_START_ADDRS_COARSE_OFFSET, GEN_END_ADDRS_COARSE_OFFSET,
         GEN_STARTLOOP_ADDRS_COARSE_OFFSET, GEN_ENDLOOP_ADDRS_COARSE_OFFSET, GEN_UNUSED1,
         GEN_UNUSED2, GEN_UNUSED3, GEN_UNUSED4, GEN_RESERVED1, GEN_RESERVED2, GEN_COARSE_TUNE,
         GEN_FINE_TUNE},
        MERGE_ADD, U::Same, 0, 0);
    set({GEN_MOD_LFO_TO_PITCH, GEN_VIB_LFO_TO_PITCH, GEN_MOD_ENV_TO_PITCH}, MERGE_ADD,
        U::PitchDepth, 0, 0);
    set({GEN_INITIAL_FILTER_FC}, MERGE_ADD, U::Cutoff, 13500, 13500);
    set({GEN_INITIAL_FILTER_Q}, MERGE_ADD, U::Resonance, 0, 0);
    set({GEN_MOD_LFO_TO_FILTER_FC, GEN_MOD_ENV_TO_FILTER_FC}, MERGE_ADD, U::FilterDepth, 0, 0);
    set({GEN_MOD_LFO_TO_VOLUME}, MERGE_ADD, U::VolumeDepth, 0, 0);
    set({GEN_CHORUS_SEND, GEN_REVERB_SEND}, MERGE_ADD, U::EffectSend, 0, 0);
    set({GEN_PAN}, MERGE_ADD, U::Pan, 0, 0);
    set({GEN_DELAY_MOD_LFO, GEN_DELAY_VIB_LFO, GEN_DELAY_MOD_ENV, GEN_ATTACK_MOD_ENV,
         GEN_HOLD_MOD_ENV, GEN_DECAY_MOD_ENV, GEN_RELEASE_MOD_ENV, GEN_DELAY_VOL_ENV,
         GEN_ATTACK_VOL_ENV, GEN_HOLD_VOL_ENV, GEN_DECAY_VOL_ENV, GEN_RELEASE_VOL_ENV},
        MERGE_ADD, U::Milliseconds, -12000, -12000);
    set({GEN_FREQ_MOD_LFO}, MERGE_ADD, U::LfoFrequency, 0, -725);
    set({GEN_FREQ_VIB_LFO}, MERGE_ADD, U::LfoFrequency, 0, -15600);
    set({GEN_SUSTAIN_MOD_ENV}, MERGE_ADD, U::ModSustain, 0, 1000);
    set({GEN_KEYNUM_TO_MOD_ENV_HOLD, GEN_KEYNUM_TO_MOD_ENV_DECAY, GEN_KEYNUM_TO_VOL_ENV_HOLD,
         GEN_KEYNUM_TO_VOL_ENV_DECAY},
        MERGE_ADD, U::KeyScale, 0, 0);
    set({GEN_SUSTAIN_VOL_ENV}, MERGE_ADD, U::VolumeSustain, 0, 1000);
    set({GEN_INSTRUMENT}, MERGE_INSTRUMENT, U::Same, 0, 0);
    set({GEN_KEY_RANGE, GEN_VEL_RANGE}, MERGE_RANGE, U::Same, 32512, 32512);
    set({GEN_KEYNUM, GEN_VELOCITY, GEN_OVERRIDING_ROOT_KEY}, MERGE_REPLACE, U::Same, -1, -1);
    set({GEN_INITIAL_ATTENUATION}, MERGE_ADD, U::Attenuation, 0, 0);
    set({GEN_SAMPLE_ID}, MERGE_SAMPLE, U::Same, 0, 0);
    set({GEN_SAMPLE_MODES, GEN_RESERVED3, GEN_EXCLUSIVE_CLASS}, MERGE_REPLACE, U::Same, 0, 0);
    set({GEN_SCALE_TUNING}, MERGE_ADD, U::ScaleTuning, 100, 100);
    auto range = [&t](std::initializer_list<int> gens, int16_t low, int16_t high) {
        for (int g : gens) {
            t[static_cast<size_t>(g)].low = low;
            t[static_cast<size_t>(g)].high = high;
        }
    };
    range({GEN_MOD_LFO_TO_PITCH, GEN_VIB_LFO_TO_PITCH, GEN_MOD_ENV_TO_PITCH,
           GEN_MOD_LFO_TO_FILTER_FC, GEN_MOD_ENV_TO_FILTER_FC},
          -12000, 12000);
    range({GEN_INITIAL_FILTER_FC}, 1500, 13500);
    range({GEN_INITIAL_FILTER_Q}, 0, 960);
    range({GEN_MOD_LFO_TO_VOLUME}, -960, 960);
    range({GEN_CHORUS_SEND, GEN_REVERB_SEND, GEN_SUSTAIN_MOD_ENV}, 0, 1000);
    range({GEN_PAN}, -500, 500);
    range({GEN_DELAY_MOD_LFO, GEN_DELAY_VIB_LFO, GEN_DELAY_MOD_ENV, GEN_HOLD_MOD_ENV,
           GEN_DELAY_VOL_ENV, GEN_HOLD_VOL_ENV},
          -12000, 5000);
    range({GEN_FREQ_MOD_LFO, GEN_FREQ_VIB_LFO}, -16000, 4500);
    range({GEN_ATTACK_MOD_ENV, GEN_DECAY_MOD_ENV, GEN_RELEASE_MOD_ENV, GEN_ATTACK_VOL_ENV,
           GEN_DECAY_VOL_ENV, GEN_RELEASE_VOL_ENV},
          -12000, 8000);
    range({GEN_KEYNUM_TO_MOD_ENV_HOLD, GEN_KEYNUM_TO_MOD_ENV_DECAY, GEN_KEYNUM_TO_VOL_ENV_HOLD,
           GEN_KEYNUM_TO_VOL_ENV_DECAY},
          -1200, 1200);
    range({GEN_SUSTAIN_VOL_ENV, GEN_INITIAL_ATTENUATION}, 0, 1440);
    range({GEN_COARSE_TUNE}, -120, 120);
    range({GEN_FINE_TUNE}, -99, 99);
    range({GEN_SCALE_TUNING}, 0, 1200);
    return t;
}
constexpr std::array<GeneratorInfo, kGeneratorCount> kGeneratorInfo = makeGeneratorInfo();

int16_t convertSf1(int g, int16_t stored) {
    double v = stored;
    switch (kGeneratorInfo[static_cast<size_t>(g)].sf1Unit) {
        case Sf1Unit::Cutoff:
            return clamp16(stored == 127 ? 14400 : (v + 74) * 59);
        case Sf1Unit::Resonance:
            return clamp16(std::trunc(3 * v / 2));
        case Sf1Unit::EffectSend:
            return clamp16(std::trunc(v * 1000 / 256));
        case Sf1Unit::Pan:
            return clamp16(std::trunc(v * 1000 / 127) - 500);
        case Sf1Unit::Attenuation:
            return stored <= 0 ? 1000 : clamp16(std::trunc(-2000 * std::log10(v / 127)));
        case Sf1Unit::ScaleTuning:
            return stored != 0 ? 50 : 100;
        case Sf1Unit::Milliseconds:
            return clamp16(std::trunc(1200 * std::log2(std::max(v, 1.0) / 1000)));
        case Sf1Unit::KeyScale:
            return clamp16(std::trunc(v * 5.55));
        case Sf1Unit::LfoFrequency:
            if (stored <= 0) return g == GEN_FREQ_MOD_LFO ? -725 : -15600;
            return clamp16(std::trunc(1200 * std::log2(v) - 7925));
        case Sf1Unit::PitchDepth:
            return clamp16(std::trunc((std::trunc(v * 1200 / 64) + 1) / 2));
        case Sf1Unit::FilterDepth:
            return clamp16(std::trunc(v * (g == GEN_MOD_LFO_TO_FILTER_FC ? 3600 : 7200) / 64));
        case Sf1Unit::VolumeDepth:
            return clamp16(std::trunc(v * 120 / 64));
        case Sf1Unit::ModSustain:
            return stored < 96 ? clamp16(std::trunc((96 - v) * 1000 / 96)) : 0;
        case Sf1Unit::VolumeSustain:
            return stored < 96 ? clamp16(std::trunc((2000 - 21 * v) / 2)) : 0;
        case Sf1Unit::Same:
            break;
    }
    return stored;
}

}  // namespace

bool zoneHasGenerator(const Zone& z, uint16_t oper) {
    return std::any_of(z.generators.begin(), z.generators.end(),
                       [oper](const Generator& g) { return g.oper == oper; });
}

bool isGlobalZone(const Zone& z) {
    return !zoneHasGenerator(z, GEN_INSTRUMENT) && !zoneHasGenerator(z, GEN_SAMPLE_ID);
}

bool rangesValid(const GeneratorTable& t) {
    auto ok = [](uint16_t r) {
        int lo = r & 0xFF, hi = r >> 8;
        return lo <= 127 && hi <= 127 && lo <= hi;
    };
    return ok(t.u(GEN_KEY_RANGE)) && ok(t.u(GEN_VEL_RANGE));
}

int16_t clamp16(double x) {
    if (!(x == x)) return 0;
    return static_cast<int16_t>(std::clamp(x, -32768.0, 32767.0));
}

int32_t clamp32(double x) {
    if (!(x == x)) return 0;
    return static_cast<int32_t>(std::clamp(x, -2147483648.0, 2147483647.0));
}

void layOver(const GeneratorTable& p, GeneratorTable& i, bool sf1) {
    for (int g = 0; g < kGeneratorCount; ++g) {
        if (!p.has(g)) continue;
        auto k = static_cast<size_t>(g);
        if (sf1) {
            if (!i.has(g) || g == GEN_KEY_RANGE || g == GEN_VEL_RANGE) i.value[k] = p.value[k];
        } else {
            switch (kGeneratorInfo[k].mode) {
                case MERGE_ADD:
                    i.value[k] = static_cast<int16_t>(std::clamp<int>(
                        i.v(g) + p.v(g), kGeneratorInfo[k].low, kGeneratorInfo[k].high));
                    break;
                case MERGE_REPLACE:
                    i.value[k] = p.value[k];
                    break;
                case MERGE_RANGE:
                    if (i.has(g)) {
                        int lo = std::max(i.u(g) & 0xFF, p.u(g) & 0xFF);
                        int hi = std::min(i.u(g) >> 8, p.u(g) >> 8);
                        i.value[k] = static_cast<int16_t>(rangeAmount(lo, hi));
                    } else {
                        i.value[k] = p.value[k];
                    }
                    break;
                default:
                    if (!i.has(g)) i.value[k] = p.value[k];
                    break;
            }
        }
        i.setMark[k] = 1;
    }
}

void completeZone(const GeneratorTable& p, GeneratorTable& i, bool sf1) {
    for (int g = 0; g < kGeneratorCount; ++g) {
        auto k = static_cast<size_t>(g);
        if (!i.has(g))
            i.value[k] = sf1 ? kGeneratorInfo[k].sf1Default : kGeneratorInfo[k].defaultValue;
    }
    layOver(p, i, sf1);
    if (sf1) {
        for (int g = 0; g < kGeneratorCount; ++g) {
            if (i.has(g)) i.value[static_cast<size_t>(g)] = convertSf1(g, i.v(g));
        }
    }
}

}  // namespace svt
