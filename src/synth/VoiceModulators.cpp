#include "synth/VoiceModulators.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "instruments/Modulators.h"

namespace svt {
namespace {

// The envelope stage groups a time generator moves: attack, hold, decay and release.
constexpr int kTimeGroups = 4;
constexpr std::array<SfGenerator, kTimeGroups> kVolumeTimes{GEN_ATTACK_VOL_ENV, GEN_HOLD_VOL_ENV,
                                                            GEN_DECAY_VOL_ENV, GEN_RELEASE_VOL_ENV};
constexpr std::array<SfGenerator, kTimeGroups> kModulationTimes{
    GEN_ATTACK_MOD_ENV, GEN_HOLD_MOD_ENV, GEN_DECAY_MOD_ENV, GEN_RELEASE_MOD_ENV};
// Where a cutoff in absolute cents may go: 1500 .. 13500 cents above 8.176 Hz.
constexpr double kLowestCutoffHz = 19.0;
constexpr double kHighestCutoffHz = 19912.0;

ModulatorInputs inputsFor(const Voice& v, const ChannelState& ch) {
    ModulatorInputs in;
    in.velocity = v.velocity;
    in.key = v.note;
    in.polyPressure = ch.keyPressure[v.eventKey & 0x7F];
    in.channelPressure = ch.channelPressure;
    in.pitchWheel = ch.pitchBend;
    in.pitchWheelRange = ch.parameterMsb[PARAM_BEND_RANGE];
    // The controllers the channel keeps; any other reads as 0, its value after a reset.
    in.controllers[1] = static_cast<uint8_t>(std::max<int>(ch.modulationWheel, 0));
    in.controllers[7] = static_cast<uint8_t>(std::max<int>(ch.volume, 0));
    in.controllers[10] = static_cast<uint8_t>(ch.panning >= 0 ? ch.panning : 64);
    in.controllers[11] = static_cast<uint8_t>(std::max<int>(ch.expression, 0));
    in.controllers[64] = static_cast<uint8_t>(std::max<int>(ch.sustain, 0));
    in.controllers[66] = static_cast<uint8_t>(std::max<int>(ch.sostenuto, 0));
    in.controllers[67] = static_cast<uint8_t>(std::max<int>(ch.softPedal, 0));
    in.controllers[91] = static_cast<uint8_t>(std::max<int>(ch.reverbLevel, 0));
    in.controllers[93] = static_cast<uint8_t>(std::max<int>(ch.chorusLevel, 0));
    return in;
}

int16_t depth(int base, double add) {
    return static_cast<int16_t>(std::clamp(std::lround(base + add), -12000L, 12000L));
}

}  // namespace

ModulatorResult applyModulators(Voice& v, const SampleRegion& r, const ChannelState& ch) {
    v.cutoffHz = r.cutoffHz;
    v.resonanceCb = r.resonanceCb;
    v.modEnvToCutoff = r.modEnvToCutoff;
    v.modEnvToPitch = r.modEnvToPitch;
    v.modulatorGain = 1.0;
    v.volumeRateScale.fill(1.0F);
    v.modulationRateScale.fill(1.0F);
    ModulatorResult result;
    if (r.modulatorCount == 0 || r.modulators == nullptr) return result;

    const ModulatorInputs in = inputsFor(v, ch);
    std::array<double, kGeneratorCount> add{};
    for (const Modulator& m : std::span(r.modulators, r.modulatorCount)) {
        if (defaultModulator(m) == DefaultModulator::VelocityAttenuation) {
            result.velocityDepth = result.velocityDepth.value_or(0.0) + m.amount;
            continue;
        }
        add[m.destination] += modulatorOutput(m, in);
    }

    if (const double cents = add[GEN_INITIAL_FILTER_FC]; cents != 0.0) {
        // A region without a filter of its own starts from the open filter.
        if (r.cutoffHz > 0 || cents < 0.0) {
            const double base = r.cutoffHz > 0 ? r.cutoffHz : kHighestCutoffHz;
            v.cutoffHz = static_cast<int32_t>(
                std::clamp(base * std::exp2(cents / 1200.0), kLowestCutoffHz, kHighestCutoffHz));
        }
    }
    v.resonanceCb = static_cast<int16_t>(
        std::clamp(std::lround(r.resonanceCb + add[GEN_INITIAL_FILTER_Q]), 0L, 960L));
    v.modEnvToCutoff = depth(r.modEnvToCutoff, add[GEN_MOD_ENV_TO_FILTER_FC]);
    v.modEnvToPitch = depth(r.modEnvToPitch, add[GEN_MOD_ENV_TO_PITCH]);
    if (const double cb = add[GEN_INITIAL_ATTENUATION]; cb != 0.0) {
        // The level follows the unit of the region's own attenuation, held to its range.
        const double total = std::clamp(r.attenuationCb + cb, 0.0, 1440.0);
        v.modulatorGain = std::exp2(-(total - r.attenuationCb) / 160.0);
    }
    const double tune = add[GEN_COARSE_TUNE] * 100.0 + add[GEN_FINE_TUNE];
    if (tune != 0.0) {
        const double f = v.baseFrequency * std::exp2(std::clamp(tune, -12000.0, 12000.0) / 1200.0);
        v.baseFrequency = static_cast<int32_t>(std::clamp(f, 1.0, 2147483647.0));
    }
    // A longer time is a slower rate.
    for (int g = 0; g < kTimeGroups; ++g) {
        const auto i = size_t(g);
        v.volumeRateScale[i] = static_cast<float>(
            std::exp2(-std::clamp(add[kVolumeTimes[i]], -12000.0, 12000.0) / 1200.0));
        v.modulationRateScale[i] = static_cast<float>(
            std::exp2(-std::clamp(add[kModulationTimes[i]], -12000.0, 12000.0) / 1200.0));
    }
    // A delay of 2^(t/1200) s grows by the factor the added timecents give.
    auto later = [&add](int32_t frames, int g) {
        const double f = frames * std::exp2(std::clamp(add[size_t(g)], -12000.0, 12000.0) / 1200.0);
        return static_cast<int32_t>(std::clamp(f, 0.0, 2147483647.0));
    };
    v.delay = later(v.delay, GEN_DELAY_VOL_ENV);
    v.modulationDelay = later(v.modulationDelay, GEN_DELAY_MOD_ENV);
    v.tremoloDelay = later(v.tremoloDelay, GEN_DELAY_MOD_LFO);
    v.resample.vibrato.delay = later(r.pitchLfoDelay, GEN_DELAY_VIB_LFO) + ch.vibratoDelay;
    // Pan in 0.1 % steps across the whole width.
    result.panSteps =
        static_cast<int>(std::lround(std::clamp(add[GEN_PAN], -1000.0, 1000.0) * 127 / 1000));
    return result;
}

}  // namespace svt
