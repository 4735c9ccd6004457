#include "effects/EffectConversion.h"

#include <algorithm>
#include <cmath>

#include "effects/ChorusDelay.h"

namespace svt::effects {

namespace {

// Parameter n (numbered from 1), 0 when the row has none.
int p(Params params, int n) {
    return (n >= 1 && size_t(n) <= params.size()) ? params[size_t(n - 1)] : 0;
}

double lfoTableHz(int v) {
    static constexpr std::array<std::pair<int, double>, 6> kAnchors = {
        {{0, 0.0}, {1, 0.04}, {10, 0.42}, {64, 2.69}, {100, 9.76}, {127, 39.7}}};
    v = std::clamp(v, 0, 127);
    for (size_t k = 0; k + 1 < kAnchors.size(); ++k) {
        const auto [x0, y0] = kAnchors[k];
        const auto [x1, y1] = kAnchors[k + 1];
        if (v <= x1) return y0 + (y1 - y0) * double(v - x0) / double(x1 - x0);
    }
    return 39.7;
}

double delayOffsetMs(int v) {
    v = std::clamp(v, 0, 127);
    if (v <= 100) return v * 0.1;
    return 10.0 + (v - 100) * (40.0 / 27.0);
}

void setDryWet(NodeState& s, double dry, double wet) {
    s.dry = toQ24(dry);
    s.wet = toQ24(wet);
}

void gsDryWet(NodeState& s, Params params) {
    const int balance = p(params, 16);
    setDryWet(s, (127 - balance) / 127.0, balance / 127.0);
    s.level = toQ24(p(params, 20) / 127.0);
}

void xgDryWet(NodeState& s, Params params, bool system, int n = 10) {
    const int v = p(params, n);
    setDryWet(s, system ? 0.0 : (127 - v) / 127.0, v / 127.0);
    s.level = kQ24One;
}

void modDelayTimes(EffectNode& n, double lfoHz, double depthMs, double offsetMs,
                   double phaseDegrees) {
    NodeState& s = n.state;
    s.depthSamples = std::max<int32_t>(0, static_cast<int32_t>(depthMs * n.rateHz / 1000.0));
    s.offsetSamples = std::max<int32_t>(1, static_cast<int32_t>(offsetMs * n.rateHz / 1000.0));
    s.lfos[0].set(lfoHz, n.rateHz, 0.0);
    s.lfos[1].set(lfoHz, n.rateHz, phaseDegrees);
}

int32_t samplesOfTenths(int tenthsMs, int rateHz) {
    const int64_t n = int64_t(std::max(tenthsMs, 1)) * rateHz / 10000;
    return static_cast<int32_t>(std::clamp<int64_t>(n, 1, int64_t(kLongestDelaySeconds * rateHz)));
}

void xgTwoBandEqAt(EffectNode& n, Params params, int first) {
    NodeState& s = n.state;
    s.value[0] = xgEqHz(p(params, first));
    s.value[2] = xgEqGainDb(p(params, first + 1));
    s.value[1] = xgEqHz(p(params, first + 2));
    s.value[3] = xgEqGainDb(p(params, first + 3));
}
double gsEqFrequency(int v) {
    return 200.0 * std::exp2(std::clamp(v, 0, 127) / 24.0);
}
double gsQ(int v) {
    static constexpr std::array<double, 5> kQ = {0.5, 1.0, 2.0, 4.0, 9.0};
    return kQ[size_t(std::clamp(v, 0, 4))];
}

void driveSettings(EffectNode& n, double maxGain, int driveValue, double toneHz) {
    NodeState& s = n.state;
    s.drive = toQ24(1.0 + maxGain * std::clamp(driveValue, 0, 127) / 127.0);
    s.value[1] = toneHz;
}

}  // namespace

void gsTwoBandEq(EffectNode& n, Params params, bool) {
    NodeState& s = n.state;
    s.value[0] = 400.0;
    s.value[1] = 4000.0;
    s.value[2] = xgEqGainDb(p(params, 18));
    s.value[3] = xgEqGainDb(p(params, 17));
}

void xgTwoBandEq(EffectNode& n, Params params, bool) {
    xgTwoBandEqAt(n, params, 1);
}
void xgDelayEq(EffectNode& n, Params params, bool) {
    xgTwoBandEqAt(n, params, 13);
}
void xgWahEq(EffectNode& n, Params params, bool) {
    xgTwoBandEqAt(n, params, 6);
}

void xgThreeBandEq(EffectNode& n, Params params, bool) {
    NodeState& s = n.state;
    s.value = {};
    switch (n.id) {
        case EngineId::ThreeBandEq:  // low gain, mid freq, mid gain, mid width, high gain, low
                                     // freq, high freq
            s.value = {
                xgEqHz(p(params, 6)),     xgEqGainDb(p(params, 1)),           xgEqHz(p(params, 2)),
                xgEqGainDb(p(params, 3)), std::max(0.1, p(params, 4) / 10.0), xgEqHz(p(params, 7)),
                xgEqGainDb(p(params, 5))};
            break;
        case EngineId::ChorusEq:  // the chorus types' low and high bands (6..9)
            s.value = {xgEqHz(p(params, 6)), xgEqGainDb(p(params, 7)), 1000.0, 0.0, 1.0,
                       xgEqHz(p(params, 8)), xgEqGainDb(p(params, 9))};
            break;
        default:  // the drive types' low band (2, 3) and mid band (7..9)
            s.value = {xgEqHz(p(params, 2)),
                       xgEqGainDb(p(params, 3)),
                       xgEqHz(p(params, 7)),
                       xgEqGainDb(p(params, 8)),
                       std::max(0.1, p(params, 9) / 10.0),
                       8000.0,
                       0.0};
            break;
    }
}

void gsStereoEq(EffectNode& n, Params params, bool) {
    NodeState& s = n.state;
    s.value = {
        p(params, 1) ? 400.0 : 200.0, xgEqGainDb(p(params, 2)),    p(params, 3) ? 8000.0 : 4000.0,
        xgEqGainDb(p(params, 4)),     gsEqFrequency(p(params, 5)), gsQ(p(params, 6)),
        xgEqGainDb(p(params, 7)),     gsEqFrequency(p(params, 8)), gsQ(p(params, 9)),
        xgEqGainDb(p(params, 10))};
    s.level = toQ24(p(params, 20) / 127.0);
}

void gsOverdrive(EffectNode& n, Params params, bool) {
    gsDryWet(n.state, params);
    driveSettings(n, 8.0, p(params, 1), 5000.0);
}
void gsDistortion(EffectNode& n, Params params, bool) {
    gsDryWet(n.state, params);
    driveSettings(n, 32.0, p(params, 1), 4000.0);
}
void gsOd1Od2(EffectNode& n, Params params, bool) {
    gsDryWet(n.state, params);
    driveSettings(n, 20.0, (p(params, 2) + p(params, 7)) / 2, 4500.0);
}
void xgDrive(EffectNode& n, Params params, bool system) {
    xgDryWet(n.state, params, system);
    const double maxGain = n.id == EngineId::StereoOverdrive    ? 8.0
                           : n.id == EngineId::StereoDistortion ? 32.0
                                                                : 16.0;
    const double toneHz = xgEqHz(p(params, n.id == EngineId::AmpSimulator ? 3 : 4));
    driveSettings(n, maxGain, p(params, 1), toneHz);
    n.state.level = toQ24(p(params, n.id == EngineId::AmpSimulator ? 4 : 5) / 127.0 * 1.5);
}
void xgOdWah(EffectNode& n, Params params, bool system) {
    xgDryWet(n.state, params, system);
    driveSettings(n, 12.0, p(params, 11), 4000.0);
    n.state.level = toQ24(p(params, 12) / 127.0 * 1.5);
}

void xgModDelay(EffectNode& n, Params params, bool system) {
    NodeState& s = n.state;
    xgDryWet(s, params, system);
    const double hz = lfoTableHz(p(params, 1));
    const double depthMs = ((p(params, 2) + 1) / 3.2) * 0.5;
    s.feedback = n.id == EngineId::Symphonic ? 0 : toQ24((p(params, 3) - 64) * 0.01526);
    const double phase =
        n.id == EngineId::Flanger ? (std::clamp(p(params, 14), 4, 124) - 64) * 3.0 : 90.0;
    modDelayTimes(n, hz, depthMs, delayOffsetMs(p(params, 4)), phase);
}

void gsHexaChorus(EffectNode& n, Params params, bool) {
    NodeState& s = n.state;
    gsDryWet(s, params);
    s.feedback = 0;
    modDelayTimes(n, p(params, 2) * 0.05, (p(params, 3) + 1) / 3.2 * 0.5,
                  chorusDelayMs(p(params, 1)), 120.0);
}

void xgDelayLcr(EffectNode& n, Params params, bool system) {
    NodeState& s = n.state;
    xgDryWet(s, params, system);
    s.taps = {samplesOfTenths(p(params, 1), n.rateHz), samplesOfTenths(p(params, 2), n.rateHz),
              samplesOfTenths(p(params, 3), n.rateHz), samplesOfTenths(p(params, 4), n.rateHz)};
    s.feedback = toQ24((p(params, 5) - 64) / 64.0 * 0.98);
    s.gain[0] = toQ24(p(params, 6) / 127.0);
    s.gain[7] = toQ24(std::clamp(p(params, 7), 1, 10) / 10.0);
}
void xgDelayLr(EffectNode& n, Params params, bool system) {
    NodeState& s = n.state;
    xgDryWet(s, params, system);
    s.taps = {samplesOfTenths(p(params, 1), n.rateHz), samplesOfTenths(p(params, 2), n.rateHz),
              samplesOfTenths(p(params, 3), n.rateHz), samplesOfTenths(p(params, 4), n.rateHz)};
    s.feedback = toQ24((p(params, 5) - 64) / 64.0 * 0.98);
    s.gain[7] = toQ24(std::clamp(p(params, 6), 1, 10) / 10.0);
}
void xgEcho(EffectNode& n, Params params, bool system) {
    NodeState& s = n.state;
    xgDryWet(s, params, system);
    s.taps = {samplesOfTenths(p(params, 1), n.rateHz), samplesOfTenths(p(params, 3), n.rateHz),
              samplesOfTenths(p(params, 6), n.rateHz), samplesOfTenths(p(params, 7), n.rateHz)};
    s.gain[0] = toQ24((p(params, 2) - 64) / 64.0 * 0.98);
    s.gain[1] = toQ24((p(params, 4) - 64) / 64.0 * 0.98);
    s.gain[2] = toQ24(p(params, 8) / 127.0);
    s.gain[7] = toQ24(std::clamp(p(params, 5), 1, 10) / 10.0);
}
void xgCrossDelay(EffectNode& n, Params params, bool system) {
    NodeState& s = n.state;
    xgDryWet(s, params, system);
    s.taps = {samplesOfTenths(p(params, 1), n.rateHz), samplesOfTenths(p(params, 2), n.rateHz)};
    s.feedback = toQ24((p(params, 3) - 64) / 64.0 * 0.98);
    s.gain[7] = toQ24(std::clamp(p(params, 5), 1, 10) / 10.0);
}

void xgLoFi(EffectNode& n, Params params, bool system) {
    NodeState& s = n.state;
    xgDryWet(s, params, system);
    s.taps[0] = std::clamp(p(params, 1), 0, 127) + 1;
    const int bits = 1 + std::clamp(p(params, 2), 0, 127) * 15 / 127;  // 1..16 bits kept
    s.mask = static_cast<int32_t>(~((uint32_t(1) << (29 - bits)) - 1));
    s.gain[0] = toQ24(std::pow(10.0, (std::clamp(p(params, 3), 0, 18) - 6) / 20.0));
}
void gsLoFi1(EffectNode& n, Params params, bool) {
    NodeState& s = n.state;
    gsDryWet(s, params);
    s.taps[0] = 1;
    const int cleared = std::clamp(p(params, 2), 0, 12) + 19;
    s.mask = static_cast<int32_t>(~((uint32_t(1) << cleared) - 1));
    s.gain[0] = kQ24One;
}
void gsLoFi2(EffectNode& n, Params params, bool) {
    NodeState& s = n.state;
    gsDryWet(s, params);
    s.taps[0] = 1 << std::clamp(p(params, 1), 0, 5);
    s.mask = -1;
    s.gain[0] = kQ24One;
}

void xgAutoWah(EffectNode& n, Params params, bool system) {
    NodeState& s = n.state;
    xgDryWet(s, params, system);
    s.lfos[0].set(lfoTableHz(p(params, 1)), n.rateHz);
    s.taps[0] = static_cast<int32_t>(200.0 * std::exp2(std::clamp(p(params, 3), 0, 127) / 32.0));
    s.taps[1] = static_cast<int32_t>(s.taps[0] * p(params, 2) / 127.0);
    s.taps[2] = 4000;
    s.gain[0] = static_cast<int32_t>(2.0 * 3.14159265358979 / n.rateHz * kQ24One);
    s.gain[1] = toQ24(2.0 / (1.0 + std::clamp(p(params, 4), 10, 120) / 10.0));
}

}  // namespace svt::effects
