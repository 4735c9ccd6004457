#include "effects/EffectChain.h"

#include <algorithm>
#include <cmath>

#include "effects/ChorusDelay.h"

namespace svt::effects {

namespace {

constexpr int32_t kFull = 1 << 28;  // full scale of the synthesizer's samples
constexpr double kLongestDelaySeconds = 1.5;

using Params = std::span<const uint16_t>;

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

int32_t mix(int32_t in, int32_t effect, const NodeState& s) {
    return mulQ24(mulQ24(effect, s.wet) + mulQ24(in, s.dry), s.level);
}

// --- Equalisers ---------------------------------------------------------------------------

// value: low Hz, high Hz, low dB, high dB.
void processTwoBandEq(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) {
        for (size_t side = 0; side < 2; ++side) {
            s.filters[side].design(BiquadShape::LowShelf, s.value[0], s.value[2], 0.7, n.rateHz);
            s.filters[2 + side].design(BiquadShape::HighShelf, s.value[1], s.value[3], 0.7,
                                       n.rateHz);
        }
        return;
    }
    if (count < 0) return;
    const bool low = s.value[2] != 0.0, high = s.value[3] != 0.0;
    for (int i = 0; i < count; ++i) {
        const size_t side = size_t(i) & 1;
        if (low) block[i] = s.filters[side].run(block[i]);
        if (high) block[i] = s.filters[2 + side].run(block[i]);
    }
}

// value: low Hz, low dB, mid Hz, mid dB, mid Q, high Hz, high dB.
void processThreeBandEq(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) {
        for (size_t side = 0; side < 2; ++side) {
            s.filters[side].design(BiquadShape::LowShelf, s.value[0], s.value[1], 0.7, n.rateHz);
            s.filters[2 + side].design(BiquadShape::Peaking, s.value[2], s.value[3], s.value[4],
                                       n.rateHz);
            s.filters[4 + side].design(BiquadShape::HighShelf, s.value[5], s.value[6], 0.7,
                                       n.rateHz);
        }
        return;
    }
    if (count < 0) return;
    const std::array<bool, 3> on = {s.value[1] != 0.0, s.value[3] != 0.0, s.value[6] != 0.0};
    for (int i = 0; i < count; ++i) {
        const size_t side = size_t(i) & 1;
        for (size_t b = 0; b < 3; ++b)
            if (on[b]) block[i] = s.filters[2 * b + side].run(block[i]);
    }
}

// value: low Hz, low dB, high Hz, high dB, mid1 Hz, mid1 Q, mid1 dB, mid2 Hz, mid2 Q, mid2 dB.
void processStereoEq(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) {
        for (size_t side = 0; side < 2; ++side) {
            s.filters[side].design(BiquadShape::LowShelf, s.value[0], s.value[1], 0.7, n.rateHz);
            s.filters[2 + side].design(BiquadShape::HighShelf, s.value[2], s.value[3], 0.7,
                                       n.rateHz);
            s.filters[4 + side].design(BiquadShape::Peaking, s.value[4], s.value[6], s.value[5],
                                       n.rateHz);
            s.filters[6 + side].design(BiquadShape::Peaking, s.value[7], s.value[9], s.value[8],
                                       n.rateHz);
        }
        return;
    }
    if (count < 0) return;
    const std::array<bool, 4> on = {s.value[1] != 0.0, s.value[3] != 0.0, s.value[6] != 0.0,
                                    s.value[9] != 0.0};
    for (int i = 0; i < count; ++i) {
        const size_t side = size_t(i) & 1;
        int32_t v = block[i];
        for (size_t b = 0; b < 4; ++b)
            if (on[b]) v = s.filters[2 * b + side].run(v);
        block[i] = mulQ24(v, s.level);
    }
}

// --- Drives -------------------------------------------------------------------------------

// A cubic soft clip that reaches full scale with zero slope: y = (3u - u^3) / 2.
int32_t softClip(int64_t x) {
    const int64_t u = std::clamp<int64_t>(x, -kFull, kFull);
    const int64_t u3 = (((u * u) >> 28) * u) >> 28;
    return static_cast<int32_t>((3 * u - u3) / 2);
}

// drive (Q24 gain, up to 64), an output low-pass in memory, then the dry/wet mix and level.
void processDrive(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) {
        for (size_t side = 0; side < 2; ++side)
            s.filters[side].design(BiquadShape::LowShelf, 20.0, 0.0, 0.7, n.rateHz);
        s.gain[0] = toQ24(std::min(1.0, 2.0 * s.value[1] / n.rateHz));  // tone low-pass
        s.memory = {};
        return;
    }
    if (count < 0) return;
    for (int i = 0; i < count; ++i) {
        const size_t side = size_t(i) & 1;
        const int32_t in = block[i];
        int32_t y = softClip(int64_t(in) * s.drive >> 24);
        int32_t& lp = s.memory[side];
        lp = mulQ24(y, s.gain[0]) + mulQ24(lp, kQ24One - s.gain[0]);
        block[i] = mix(in, lp, s);
    }
}

// --- Modulated delay (chorus, flanger, symphonic, hexa-chorus) ----------------------------

void processModDelay(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) {
        const int32_t size = s.depthSamples + s.offsetSamples + 3;
        for (DelayLine& l : s.lines) l.allocate(size);
        s.memory = {};
        return;
    }
    if (count < 0) return;
    const int frames = count / 2;
    for (size_t side = 0; side < 2; ++side) {
        DelayLine& line = s.lines[side];
        int32_t& previousRead = s.memory[side];
        int32_t& previousOut = s.memory[2 + side];
        for (int i = 0; i < frames; ++i) {
            const size_t at = 2 * size_t(i) + side;
            const int32_t in = block[at];
            const int64_t v = (int64_t(s.lfos[side].next()) + kQ24One) << 7;
            const int32_t m = static_cast<int32_t>((v * s.depthSamples) >> 24);
            int32_t read = line.index - (m >> 8) - s.offsetSamples;
            while (read < 0) read += line.size;
            const int32_t w = 255 - (m & 255);
            const int32_t y =
                static_cast<int32_t>(((int64_t(line.buf[size_t(read)]) - previousOut) * w >> 8) +
                                     line.buf[size_t(previousRead)]);
            previousOut = y;
            previousRead = read;
            line.push(saturate32(int64_t(in) + mulQ24(y, s.feedback)));
            block[at] = mix(in, y, s);
        }
    }
}

void modDelayTimes(EffectNode& n, double lfoHz, double depthMs, double offsetMs,
                   double phaseDegrees) {
    NodeState& s = n.state;
    s.depthSamples = std::max<int32_t>(0, static_cast<int32_t>(depthMs * n.rateHz / 1000.0));
    s.offsetSamples = std::max<int32_t>(1, static_cast<int32_t>(offsetMs * n.rateHz / 1000.0));
    s.lfos[0].set(lfoHz, n.rateHz, 0.0);
    s.lfos[1].set(lfoHz, n.rateHz, phaseDegrees);
}

// --- Delays -------------------------------------------------------------------------------

int32_t samplesOfTenths(int tenthsMs, int rateHz) {
    const int64_t n = int64_t(std::max(tenthsMs, 1)) * rateHz / 10000;
    return static_cast<int32_t>(std::clamp<int64_t>(n, 1, int64_t(kLongestDelaySeconds * rateHz)));
}

void allocateLines(NodeState& s, std::initializer_list<int32_t> taps) {
    const int32_t size = std::max(taps) + 1;
    for (DelayLine& l : s.lines) l.allocate(size);
    s.memory = {};
}

// High damping in the feedback path: a one-pole low-pass per side (gain[7]).
int32_t damp(NodeState& s, size_t side, int32_t v) {
    int32_t& lp = s.memory[4 + side];
    lp = mulQ24(v, s.gain[7]) + mulQ24(lp, kQ24One - s.gain[7]);
    return lp;
}

// taps: 0 left, 1 right, 2 centre, 3 feedback; gain[0] centre level. One mono line.
void processDelayLcr(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) return allocateLines(s, {s.taps[0], s.taps[1], s.taps[2], s.taps[3]});
    if (count < 0) return;
    DelayLine& line = s.lines[0];
    for (int i = 0; i + 1 < count; i += 2) {
        const int32_t inL = block[i], inR = block[i + 1];
        const int32_t fb = damp(s, 0, line.tap(s.taps[3]));
        const int32_t c = mulQ24(line.tap(s.taps[2]), s.gain[0]);
        const int32_t l = line.tap(s.taps[0]) + c, r = line.tap(s.taps[1]) + c;
        line.push(saturate32((int64_t(inL) + inR) / 2 + mulQ24(fb, s.feedback)));
        block[i] = mix(inL, l, s);
        block[i + 1] = mix(inR, r, s);
    }
}

// taps: 0 left, 1 right, 2 left feedback, 3 right feedback.
void processDelayLr(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) return allocateLines(s, {s.taps[0], s.taps[1], s.taps[2], s.taps[3]});
    if (count < 0) return;
    for (int i = 0; i + 1 < count; i += 2) {
        for (size_t side = 0; side < 2; ++side) {
            DelayLine& line = s.lines[side];
            const int32_t in = block[i + int(side)];
            const int32_t fb = damp(s, side, line.tap(s.taps[2 + side]));
            const int32_t out = line.tap(s.taps[side]);
            line.push(saturate32(int64_t(in) + mulQ24(fb, s.feedback)));
            block[i + int(side)] = mix(in, out, s);
        }
    }
}

// taps: 0 left delay 1, 1 right delay 1, 2 left delay 2, 3 right delay 2; gain[0], gain[1]
// the feedback of each side, gain[2] the level of delay 2.
void processEcho(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) return allocateLines(s, {s.taps[0], s.taps[1], s.taps[2], s.taps[3]});
    if (count < 0) return;
    for (int i = 0; i + 1 < count; i += 2) {
        for (size_t side = 0; side < 2; ++side) {
            DelayLine& line = s.lines[side];
            const int32_t in = block[i + int(side)];
            const int32_t d1 = line.tap(s.taps[side]);
            const int32_t out = d1 + mulQ24(line.tap(s.taps[2 + side]), s.gain[2]);
            line.push(saturate32(int64_t(in) + mulQ24(damp(s, side, d1), s.gain[side])));
            block[i + int(side)] = mix(in, out, s);
        }
    }
}

// taps: 0 left to right, 1 right to left.
void processCrossDelay(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) return allocateLines(s, {s.taps[0], s.taps[1]});
    if (count < 0) return;
    DelayLine &l = s.lines[0], &r = s.lines[1];
    for (int i = 0; i + 1 < count; i += 2) {
        const int32_t inL = block[i], inR = block[i + 1];
        const int32_t toRight = l.tap(s.taps[0]), toLeft = r.tap(s.taps[1]);
        l.push(saturate32(int64_t(inL) + mulQ24(damp(s, 0, toLeft), s.feedback)));
        r.push(saturate32(int64_t(inR) + mulQ24(damp(s, 1, toRight), s.feedback)));
        block[i] = mix(inL, toLeft, s);
        block[i + 1] = mix(inR, toRight, s);
    }
}

// --- Lo-fi --------------------------------------------------------------------------------

// Bit reduction by `mask`, rate reduction by holding each value taps[0] frames, output gain.
void processLoFi(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) {
        s.memory = {};
        s.counter = 0;
        return;
    }
    if (count < 0) return;
    const int32_t hold = std::max(1, s.taps[0]);
    for (int i = 0; i + 1 < count; i += 2) {
        if (s.counter <= 0) {
            s.memory[0] = block[i] & s.mask;
            s.memory[1] = block[i + 1] & s.mask;
            s.counter = hold;
        }
        --s.counter;
        block[i] = mix(block[i], mulQ24(s.memory[0], s.gain[0]), s);
        block[i + 1] = mix(block[i + 1], mulQ24(s.memory[1], s.gain[0]), s);
    }
}

// --- Auto wah -----------------------------------------------------------------------------

// A state-variable band-pass whose centre follows an envelope and an LFO. taps[0] base
// frequency Hz, taps[1] LFO depth Hz, taps[2] envelope sensitivity; gain[0] Q24 per Hz of
// the frequency coefficient, gain[1] damping.
void processAutoWah(EffectNode& n, int32_t* block, int count) {
    NodeState& s = n.state;
    if (count == -1) {
        s.memory = {};
        return;
    }
    if (count < 0) return;
    const int32_t top = n.rateHz / 6;
    for (int i = 0; i + 1 < count; i += 2) {
        const int32_t in = static_cast<int32_t>((int64_t(block[i]) + block[i + 1]) / 2);
        int32_t& env = s.memory[4];
        const int32_t mag = in < 0 ? -in : in;
        env += (mag - env) >> (mag > env ? 6 : 12);
        const int32_t lfo = mulQ24(s.lfos[0].next(), s.taps[1]);
        const int64_t hz =
            std::clamp<int64_t>(s.taps[0] + lfo + ((int64_t(env) * s.taps[2]) >> 28), 40, top);
        const int32_t f = static_cast<int32_t>(hz * s.gain[0]);
        int32_t &low = s.memory[0], &band = s.memory[1];
        low += mulQ24(band, f);
        const int32_t high = saturate32(int64_t(in) - low - mulQ24(band, s.gain[1]));
        band += mulQ24(high, f);
        band = std::clamp(band, -4 * kFull, 4 * kFull);
        block[i] = mix(block[i], band, s);
        block[i + 1] = mix(block[i + 1], band, s);
    }
}

void processNone(EffectNode&, int32_t*, int) {}

// --- Conversions --------------------------------------------------------------------------

void gsTwoBandEq(EffectNode& n, Params params, bool) {
    NodeState& s = n.state;
    s.value[0] = 400.0;
    s.value[1] = 4000.0;
    s.value[2] = xgEqGainDb(p(params, 18));
    s.value[3] = xgEqGainDb(p(params, 17));
}

void xgTwoBandEqAt(EffectNode& n, Params params, int first) {
    NodeState& s = n.state;
    s.value[0] = xgEqHz(p(params, first));
    s.value[2] = xgEqGainDb(p(params, first + 1));
    s.value[1] = xgEqHz(p(params, first + 2));
    s.value[3] = xgEqGainDb(p(params, first + 3));
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
        case 2:  // low gain, mid freq, mid gain, mid width, high gain, low freq, high freq
            s.value = {
                xgEqHz(p(params, 6)),     xgEqGainDb(p(params, 1)),           xgEqHz(p(params, 2)),
                xgEqGainDb(p(params, 3)), std::max(0.1, p(params, 4) / 10.0), xgEqHz(p(params, 7)),
                xgEqGainDb(p(params, 5))};
            break;
        case 10:  // the chorus types' low and high bands (6..9)
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

double gsEqFrequency(int v) {
    return 200.0 * std::exp2(std::clamp(v, 0, 127) / 24.0);
}
double gsQ(int v) {
    static constexpr std::array<double, 5> kQ = {0.5, 1.0, 2.0, 4.0, 9.0};
    return kQ[size_t(std::clamp(v, 0, 4))];
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

void driveSettings(EffectNode& n, double maxGain, int driveValue, double toneHz) {
    NodeState& s = n.state;
    s.drive = toQ24(1.0 + maxGain * std::clamp(driveValue, 0, 127) / 127.0);
    s.value[1] = toneHz;
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
    const double maxGain = n.id == 11 ? 8.0 : n.id == 12 ? 32.0 : 16.0;
    const double toneHz = xgEqHz(p(params, n.id == 13 ? 3 : 4));
    driveSettings(n, maxGain, p(params, 1), toneHz);
    n.state.level = toQ24(p(params, n.id == 13 ? 4 : 5) / 127.0 * 1.5);
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
    s.feedback = n.id == 9 ? 0 : toQ24((p(params, 3) - 64) * 0.01526);
    const double phase = n.id == 8 ? (std::clamp(p(params, 14), 4, 124) - 64) * 3.0 : 90.0;
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

constexpr std::array<EffectEngine, 28> kEngines = {{
    {0, "None", processNone, nullptr, nullptr, 0},
    {1, "2-Band EQ", processTwoBandEq, gsTwoBandEq, xgTwoBandEq, 168},
    {2, "3-Band EQ", processThreeBandEq, nullptr, xgThreeBandEq, 256},
    {3, "Stereo-EQ", processStereoEq, gsStereoEq, nullptr, 352},
    {4, "Overdrive", processDrive, gsOverdrive, nullptr, 168},
    {5, "Distortion", processDrive, gsDistortion, nullptr, 168},
    {6, "OD1/OD2", processDrive, gsOd1Od2, nullptr, 264},
    {7, "Chorus", processModDelay, nullptr, xgModDelay, 8368},
    {8, "Flanger", processModDelay, nullptr, xgModDelay, 8368},
    {9, "Symphonic", processModDelay, nullptr, xgModDelay, 8368},
    {10, "3-Band EQ (XG Chorus built-in)", processThreeBandEq, nullptr, xgThreeBandEq, 256},
    {11, "Stereo Overdrive", processDrive, nullptr, xgDrive, 256},
    {12, "Stereo Distortion", processDrive, nullptr, xgDrive, 256},
    {13, "Amp Simulator", processDrive, nullptr, xgDrive, 256},
    {14, "2-Band EQ (XG OD built-in)", processThreeBandEq, nullptr, xgThreeBandEq, 256},
    {15, "Hexa-Chorus", processModDelay, gsHexaChorus, nullptr, 4304},
    {16, "Delay L,C,R", processDelayLcr, nullptr, xgDelayLcr, 160},
    {17, "Delay L,R", processDelayLr, nullptr, xgDelayLr, 144},
    {18, "Echo", processEcho, nullptr, xgEcho, 168},
    {19, "Cross Delay", processCrossDelay, nullptr, xgCrossDelay, 112},
    {20, "2-Band EQ (XG Delay built-in)", processTwoBandEq, nullptr, xgDelayEq, 168},
    {21, "Lo-Fi", processLoFi, nullptr, xgLoFi, 200},
    {22, "Lo-Fi 1", processLoFi, gsLoFi1, nullptr, 208},
    {23, "Lo-Fi 2", processLoFi, gsLoFi2, nullptr, 416},
    {24, "Auto Wah", processAutoWah, nullptr, xgAutoWah, 4408},
    {25, "2-Band EQ (Auto Wah built-in)", processTwoBandEq, nullptr, xgWahEq, 168},
    {26, "OD (Auto Wah built-in)", processDrive, nullptr, xgOdWah, 96},
    {27, "2-Band EQ (Auto Wah OD built-in)", processThreeBandEq, nullptr, xgThreeBandEq, 256},
}};

constexpr uint16_t type(int msb, int lsb) {
    return static_cast<uint16_t>(msb << 8 | lsb);
}

// Default parameter values 1..20 of each type.
constexpr std::array<EffectType, 44> kXgTypes = {{
    {type(0x00, 0), "NO EFFECT", {}},
    {type(0x05, 0),
     "DELAY L,C,R",
     {3333, 6666, 4999, 3333, 74, 100, 10, 0, 0, 64, 0, 0, 24, 64, 46, 64}},
    {type(0x06, 0),
     "DELAY L,R",
     {2500, 3750, 2500, 3750, 87, 10, 0, 0, 0, 64, 0, 0, 24, 64, 46, 64}},
    {type(0x07, 0), "ECHO", {1700, 88, 1780, 88, 10, 1700, 1780, 0, 0, 64, 0, 0, 24, 64, 46, 64}},
    {type(0x08, 0), "CROSS DELAY", {1700, 1750, 111, 1, 10, 0, 0, 0, 0, 64, 0, 0, 24, 64, 46, 64}},
    {type(0x41, 0), "CHORUS 1", {6, 54, 77, 106, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 1), "CHORUS 2", {8, 63, 64, 30, 0, 28, 62, 42, 58, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 2), "CHORUS 3", {4, 44, 64, 110, 0, 28, 64, 46, 66, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 3), "GM CHORUS 1", {9, 10, 64, 109, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 4), "GM CHORUS 2", {28, 34, 67, 105, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 5), "GM CHORUS 3", {9, 34, 69, 105, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 6), "GM CHORUS 4", {26, 29, 75, 102, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 7), "FB CHORUS", {6, 43, 107, 111, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x41, 8), "CHORUS 4", {9, 32, 69, 104, 0, 28, 64, 46, 64, 64, 46, 64, 10, 1, 0, 0}},
    {type(0x42, 0), "CELESTE 1", {12, 32, 64, 0, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x42, 1), "CELESTE 2", {28, 18, 90, 2, 0, 28, 62, 42, 60, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x42, 2), "CELESTE 3", {4, 63, 44, 2, 0, 28, 64, 46, 68, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x42, 8), "CELESTE 4", {8, 29, 64, 0, 0, 28, 64, 51, 66, 64, 46, 64, 10, 1, 0, 0}},
    {type(0x43, 0), "FLANGER 1", {14, 14, 104, 2, 0, 28, 64, 46, 64, 96, 40, 64, 10, 4, 0, 0}},
    {type(0x43, 1), "FLANGER 2", {32, 17, 26, 2, 0, 28, 64, 46, 60, 96, 40, 64, 10, 4, 0, 0}},
    {type(0x43, 7), "GM FLANGER", {3, 21, 120, 1, 0, 28, 64, 46, 64, 96, 40, 64, 10, 4, 0, 0}},
    {type(0x43, 8), "FLANGER 3", {4, 109, 109, 2, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x44, 0), "SYMPHONIC", {12, 25, 16, 0, 0, 28, 64, 46, 64, 64, 46, 64, 10, 0, 0, 0}},
    {type(0x49, 0), "DISTORTION", {40, 20, 72, 53, 48, 0, 43, 74, 10, 127, 120, 0, 0, 0, 0, 0}},
    {type(0x49, 8),
     "STEREO DISTORTION",
     {18, 27, 71, 48, 84, 0, 32, 66, 10, 127, 105, 0, 0, 0, 0, 0}},
    {type(0x4A, 0), "OVERDRIVE", {29, 24, 68, 45, 55, 0, 41, 72, 10, 127, 104, 0, 0, 0, 0, 0}},
    {type(0x4A, 8),
     "STEREO OVERDRIVE",
     {10, 24, 69, 46, 105, 0, 41, 66, 10, 127, 104, 0, 0, 0, 0, 0}},
    {type(0x4B, 0), "AMP SIMULATOR", {39, 1, 48, 55, 0, 0, 0, 0, 0, 127, 112, 0, 0, 0, 0, 0}},
    {type(0x4B, 8),
     "STEREO AMP SIMULATOR",
     {16, 2, 46, 119, 0, 0, 0, 0, 0, 127, 106, 0, 0, 0, 0, 0}},
    {type(0x4C, 0), "3-BAND EQ", {70, 34, 60, 10, 70, 28, 46, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {type(0x4D, 0), "2-BAND EQ", {28, 70, 46, 70, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {type(0x4E, 0), "AUTO WAH", {70, 56, 39, 25, 0, 28, 66, 46, 64, 127, 0, 0, 0, 0, 0, 0}},
    {type(0x4E, 1),
     "AUTO WAH+DISTORTION",
     {40, 73, 26, 29, 0, 28, 66, 46, 64, 127, 30, 72, 74, 53, 48, 0}},
    {type(0x4E, 2),
     "AUTO WAH+OVERDRIVE",
     {48, 64, 32, 23, 0, 28, 66, 46, 64, 127, 29, 68, 72, 45, 55, 0}},
    {type(0x5E, 0), "LO-FI", {2, 60, 6, 54, 1, 12, 0, 0, 0, 127, 0, 0, 0, 0, 0, 0}},
    {type(0x01, 0), "HALL 1", {18, 10, 8, 13, 49, 0, 0, 0, 0, 40, 0, 4, 50, 8, 64, 0}},
    {type(0x01, 1), "HALL 2", {25, 10, 28, 6, 46, 0, 0, 0, 0, 40, 13, 3, 74, 7, 64, 0}},
    {type(0x02, 0), "ROOM 1", {5, 10, 16, 4, 49, 0, 0, 0, 0, 40, 5, 3, 64, 8, 64, 0}},
    {type(0x02, 1), "ROOM 2", {12, 10, 5, 4, 38, 0, 0, 0, 0, 40, 0, 4, 50, 8, 64, 0}},
    {type(0x02, 2), "ROOM 3", {9, 10, 47, 5, 36, 0, 0, 0, 0, 40, 0, 4, 60, 8, 64, 0}},
    {type(0x03, 0), "STAGE 1", {19, 10, 16, 7, 54, 0, 0, 0, 0, 40, 0, 3, 64, 6, 64, 0}},
    {type(0x03, 1), "STAGE 2", {11, 10, 16, 7, 51, 0, 0, 0, 0, 40, 2, 2, 64, 6, 64, 0}},
    {type(0x04, 0), "PLATE", {25, 10, 6, 8, 49, 0, 0, 0, 0, 40, 2, 3, 64, 5, 64, 0}},
    {0xFFFF, "EOF", {}},
}};

constexpr std::array<EffectType, 9> kGsTypes = {{
    {type(0x00, 0x00), "None", {}},
    {type(0x01, 0x00), "Stereo-EQ", {0, 0x45, 0, 0x42, 0x3C, 1,   0x40, 0x58, 1,  0x40,
                                     0, 0,    0, 0,    0,    127, 64,   64,   64, 127}},
    {type(0x01, 0x10), "Overdrive", {48, 1, 1, 0, 0, 0,   0,  0,  0,  0,
                                     0,  0, 0, 0, 0, 127, 64, 64, 64, 96}},
    {type(0x01, 0x11), "Distrotion", {76, 3, 1, 0, 0, 0,   0,  0,  0,  0,
                                      0,  0, 0, 0, 0, 127, 64, 56, 64, 84}},
    {type(0x11, 0x03), "OD1/OD2", {0, 48, 1, 1, 0, 1,   76, 3,  1,  0,
                                   0, 0,  0, 0, 0, 127, 64, 64, 64, 96}},
    {type(0x01, 0x40), "Hexa Chorus", {24, 8, 127, 5, 64, 16, 0,  0,  0,  0,
                                       0,  0, 0,   0, 0,  64, 64, 64, 64, 112}},
    {type(0x01, 0x72), "Lo-Fi 1", {1, 6, 0, 0, 0, 0,   0,  0,  0,  0,
                                   0, 0, 0, 0, 0, 127, 64, 64, 64, 127}},
    {type(0x01, 0x73), "Lo-Fi 2", {2, 127, 0, 0, 0, 0,   0,  0,  0,  0,
                                   0, 0,   0, 0, 0, 127, 64, 64, 64, 127}},
    {0xFFFF, "EOF", {}},
}};

ChainPlan plan(std::initializer_list<int> ids) {
    ChainPlan c;
    for (int id : ids) c.ids[size_t(c.count++)] = id;
    return c;
}

}  // namespace

std::span<const EffectEngine> effectEngines() {
    return kEngines;
}
std::span<const EffectType> xgEffectTypes() {
    return kXgTypes;
}
std::span<const EffectType> gsInsertionTypes() {
    return kGsTypes;
}

ChainPlan gsInsertionPlan(int msb, int lsb) {
    switch (type(msb, lsb)) {
        case type(0x01, 0x00):
            return plan({3});
        case type(0x01, 0x10):
            return plan({1, 4});
        case type(0x01, 0x11):
            return plan({1, 5});
        case type(0x11, 0x03):
            return plan({6});
        case type(0x01, 0x40):
            return plan({1, 15});
        case type(0x01, 0x72):
            return plan({1, 22});
        case type(0x01, 0x73):
            return plan({1, 23});
        default:
            return {};
    }
}

ChainPlan xgEffectPlan(int msb, int lsb) {
    switch (msb) {
        case 0x05:
            return plan({16, 20});
        case 0x06:
            return plan({17, 20});
        case 0x07:
            return plan({18, 20});
        case 0x08:
            return plan({19, 20});
        case 0x41:
        case 0x42:
            return plan({7, 10});
        case 0x43:
            return plan({8, 10});
        case 0x44:
            return plan({9, 10});
        case 0x49:
            return plan({12, 14});
        case 0x4A:
            return plan({11, 14});
        case 0x4B:
            return plan({13});
        case 0x4C:
            return plan({2});
        case 0x4D:
            return plan({1});
        case 0x4E:
            return (lsb == 1 || lsb == 2) ? plan({24, 25, 26, 27}) : plan({24, 25});
        case 0x5E:
            return plan({21});
        default:
            return {};
    }
}

void EffectChain::prepare(int rateHz, double longestSeconds) {
    rateHz_ = std::max(rateHz, 1);
    const int32_t longest =
        static_cast<int32_t>(std::min(longestSeconds, kLongestDelaySeconds) * rateHz_) + 2;
    for (size_t i = 0; i < nodes_.size(); ++i) {
        nodes_[i].rateHz = rateHz_;
        // Only the first two engines of a chain are ever delays or modulated delays.
        if (i < 2)
            for (DelayLine& l : nodes_[i].state.lines) l.prepare(longest);
    }
}

void EffectChain::free() {
    for (int i = 0; i < count_; ++i) {
        EffectNode& n = nodes_[size_t(i)];
        n.engine->process(n, nullptr, -2);
        // The state goes back to zero; the reserved lines stay for the next chain.
        auto lines = std::move(n.state.lines);
        n.state = NodeState{};
        n.state.lines = std::move(lines);
        for (DelayLine& l : n.state.lines) l.allocate(0);
        n.engine = nullptr;
        n.id = 0;
    }
    count_ = 0;
    type_ = 0;
    name_ = "None";
}

void EffectChain::build(const ChainPlan& chain, std::span<const EffectType> table, int msb, int lsb,
                        bool gs) {
    free();
    gs_ = gs;
    type_ = type(msb & 0x7F, lsb & 0x7F);
    // The defaults of the type; an unknown LSB takes the row of LSB 0 of the same MSB.
    const EffectType* row = nullptr;
    for (const EffectType& t : table) {
        if (t.type == 0xFFFF) break;
        if (t.type == type_) row = &t;
        if (!row && t.type == type(msb & 0x7F, 0)) row = &t;
    }
    params_ = row ? row->defaults : std::array<uint16_t, kEffectParams>{};
    name_ = row && row->type == type_ ? row->name : std::string_view("None");
    for (int i = 0; i < chain.count; ++i) {
        EffectNode& n = nodes_[size_t(i)];
        n.id = chain.ids[size_t(i)];
        n.engine = &kEngines[size_t(n.id)];
        n.rateHz = rateHz_;
    }
    count_ = chain.count;
    convertAll();
}

void EffectChain::buildGs(int msb, int lsb) {
    build(gsInsertionPlan(msb, lsb), kGsTypes, msb, lsb, true);
}
void EffectChain::buildXg(int msb, int lsb) {
    build(xgEffectPlan(msb, lsb), kXgTypes, msb, lsb, false);
}

void EffectChain::convertAll() {
    for (int i = 0; i < count_; ++i) {
        EffectNode& n = nodes_[size_t(i)];
        const EffectConvert convert = gs_ ? n.engine->gs : n.engine->xg;
        if (convert) convert(n, params_, systemBlock_);
        n.engine->process(n, nullptr, -1);
    }
}

void EffectChain::setParameter(int number, int value) {
    if (number < 1 || number > kEffectParams) return;
    params_[size_t(number - 1)] = static_cast<uint16_t>(std::clamp(value, 0, 0x3FFF));
    convertAll();
}

void EffectChain::setSystemBlock(bool system) {
    if (system == systemBlock_) return;
    systemBlock_ = system;
    convertAll();
}

uint16_t EffectChain::parameter(int number) const {
    return (number >= 1 && number <= kEffectParams) ? params_[size_t(number - 1)] : 0;
}

void EffectChain::clear() {
    convertAll();
}

void EffectChain::process(int32_t* block, int values) {
    for (int i = 0; i < count_; ++i) {
        EffectNode& n = nodes_[size_t(i)];
        n.engine->process(n, block, values);
    }
}

}  // namespace svt::effects
