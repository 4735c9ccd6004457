#include "effects/EffectProcessing.h"

#include <algorithm>

namespace svt::effects {

namespace {

constexpr int32_t kFull = 1 << 28;  // full scale of the synthesizer's samples

int32_t mix(int32_t in, int32_t effect, const NodeState& s) {
    return mulQ24(mulQ24(effect, s.wet) + mulQ24(in, s.dry), s.level);
}

// A cubic soft clip that reaches full scale with zero slope: y = (3u - u^3) / 2.
int32_t softClip(int64_t x) {
    const int64_t u = std::clamp<int64_t>(x, -kFull, kFull);
    const int64_t u3 = (((u * u) >> 28) * u) >> 28;
    return static_cast<int32_t>((3 * u - u3) / 2);
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

}  // namespace

// value: low Hz, high Hz, low dB, high dB.
void initTwoBandEq(EffectNode& n) {
    NodeState& s = n.state;
    for (size_t side = 0; side < 2; ++side) {
        s.filters[side].design(BiquadShape::LowShelf, s.value[0], s.value[2], 0.7, n.rateHz);
        s.filters[2 + side].design(BiquadShape::HighShelf, s.value[1], s.value[3], 0.7, n.rateHz);
    }
}

void processTwoBandEq(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
    const bool low = s.value[2] != 0.0, high = s.value[3] != 0.0;
    for (int i = 0; i < count; ++i) {
        const size_t side = size_t(i) & 1;
        if (low) block[i] = s.filters[side].run(block[i]);
        if (high) block[i] = s.filters[2 + side].run(block[i]);
    }
}

// value: low Hz, low dB, mid Hz, mid dB, mid Q, high Hz, high dB.
void initThreeBandEq(EffectNode& n) {
    NodeState& s = n.state;
    for (size_t side = 0; side < 2; ++side) {
        s.filters[side].design(BiquadShape::LowShelf, s.value[0], s.value[1], 0.7, n.rateHz);
        s.filters[2 + side].design(BiquadShape::Peaking, s.value[2], s.value[3], s.value[4],
                                   n.rateHz);
        s.filters[4 + side].design(BiquadShape::HighShelf, s.value[5], s.value[6], 0.7, n.rateHz);
    }
}

void processThreeBandEq(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
    const std::array<bool, 3> on = {s.value[1] != 0.0, s.value[3] != 0.0, s.value[6] != 0.0};
    for (int i = 0; i < count; ++i) {
        const size_t side = size_t(i) & 1;
        for (size_t b = 0; b < 3; ++b)
            if (on[b]) block[i] = s.filters[2 * b + side].run(block[i]);
    }
}

// value: low Hz, low dB, high Hz, high dB, mid1 Hz, mid1 Q, mid1 dB, mid2 Hz, mid2 Q, mid2 dB.
void initStereoEq(EffectNode& n) {
    NodeState& s = n.state;
    for (size_t side = 0; side < 2; ++side) {
        s.filters[side].design(BiquadShape::LowShelf, s.value[0], s.value[1], 0.7, n.rateHz);
        s.filters[2 + side].design(BiquadShape::HighShelf, s.value[2], s.value[3], 0.7, n.rateHz);
        s.filters[4 + side].design(BiquadShape::Peaking, s.value[4], s.value[6], s.value[5],
                                   n.rateHz);
        s.filters[6 + side].design(BiquadShape::Peaking, s.value[7], s.value[9], s.value[8],
                                   n.rateHz);
    }
}

void processStereoEq(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
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

// drive (Q24 gain, up to 64), an output low-pass in memory, then the dry/wet mix and level.
void initDrive(EffectNode& n) {
    NodeState& s = n.state;
    for (size_t side = 0; side < 2; ++side)
        s.filters[side].design(BiquadShape::LowShelf, 20.0, 0.0, 0.7, n.rateHz);
    s.gain[0] = toQ24(std::min(1.0, 2.0 * s.value[1] / n.rateHz));  // tone low-pass
    s.memory = {};
}

void processDrive(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
    for (int i = 0; i < count; ++i) {
        const size_t side = size_t(i) & 1;
        const int32_t in = block[i];
        int32_t y = softClip(int64_t(in) * s.drive >> 24);
        int32_t& lp = s.memory[side];
        lp = mulQ24(y, s.gain[0]) + mulQ24(lp, kQ24One - s.gain[0]);
        block[i] = mix(in, lp, s);
    }
}

void initModDelay(EffectNode& n) {
    NodeState& s = n.state;
    const int32_t size = s.depthSamples + s.offsetSamples + 3;
    for (DelayLine& l : s.lines) l.allocate(size);
    s.memory = {};
}

void processModDelay(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
    const int frames = count / 2;
    for (size_t side = 0; side < 2; ++side) {
        DelayLine& line = s.lines[side];
        for (int i = 0; i < frames; ++i) {
            const size_t at = 2 * size_t(i) + side;
            const int32_t in = block[at];
            // The delay beyond the offset in 1/65536 samples, read between its neighbours.
            const int64_t v = (int64_t(s.lfos[side].next()) + kQ24One) << 7;
            const int64_t m = (v * s.depthSamples) >> 16;
            const int32_t y = line.tapBetween(int32_t(m >> 16) + s.offsetSamples, uint32_t(m));
            line.push(saturate32(int64_t(in) + mulQ24(y, s.feedback)));
            block[at] = mix(in, y, s);
        }
    }
}

// taps: 0 left, 1 right, 2 centre, 3 feedback; gain[0] centre level. One mono line.
void initDelayLcr(EffectNode& n) {
    NodeState& s = n.state;
    allocateLines(s, {s.taps[0], s.taps[1], s.taps[2], s.taps[3]});
}

void processDelayLcr(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
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
void initDelayLr(EffectNode& n) {
    NodeState& s = n.state;
    allocateLines(s, {s.taps[0], s.taps[1], s.taps[2], s.taps[3]});
}

void processDelayLr(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
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
void initEcho(EffectNode& n) {
    NodeState& s = n.state;
    allocateLines(s, {s.taps[0], s.taps[1], s.taps[2], s.taps[3]});
}

void processEcho(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
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
void initCrossDelay(EffectNode& n) {
    NodeState& s = n.state;
    allocateLines(s, {s.taps[0], s.taps[1]});
}

void processCrossDelay(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
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

// Bit reduction by `mask`, rate reduction by holding each value taps[0] frames, output gain.
void initLoFi(EffectNode& n) {
    NodeState& s = n.state;
    s.memory = {};
    s.counter = 0;
}

void processLoFi(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
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

// A state-variable band-pass whose centre follows an envelope and an LFO. taps[0] base
// frequency Hz, taps[1] LFO depth Hz, taps[2] envelope sensitivity; gain[0] Q24 per Hz of
// the frequency coefficient, gain[1] damping.
void initAutoWah(EffectNode& n) {
    NodeState& s = n.state;
    s.memory = {};
}

void processAutoWah(EffectNode& n, std::span<int32_t> block) {
    NodeState& s = n.state;
    const int count = static_cast<int>(block.size());
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

void processNone(EffectNode&, std::span<int32_t>) {}

}  // namespace svt::effects
