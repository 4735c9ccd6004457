#include "effects/Equalizer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace svt::effects {

void Biquad::design(BiquadShape shape, double hz, double gainDb, double q, int rateHz) {
    clear();
    if (!(hz > 0.0) || hz >= rateHz / 2.0) {
        passThrough();
        return;
    }
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * hz / rateHz;
    const double cs = std::cos(w0), sn = std::sin(w0);
    double b0, b1, b2, a0, a1, a2;
    if (shape == BiquadShape::Peaking) {
        const double alpha = sn / (2.0 * std::max(q, 0.1));
        b0 = 1.0 + alpha * a;
        b1 = -2.0 * cs;
        b2 = 1.0 - alpha * a;
        a0 = 1.0 + alpha / a;
        a1 = -2.0 * cs;
        a2 = 1.0 - alpha / a;
    } else {
        // Shelf slope 1.
        const double alpha = sn / 2.0 * std::sqrt(2.0);
        const double root = 2.0 * std::sqrt(a) * alpha;
        const double sign = shape == BiquadShape::LowShelf ? 1.0 : -1.0;
        b0 = a * ((a + 1) - sign * (a - 1) * cs + root);
        b1 = sign * 2 * a * ((a - 1) - sign * (a + 1) * cs);
        b2 = a * ((a + 1) - sign * (a - 1) * cs - root);
        a0 = (a + 1) + sign * (a - 1) * cs + root;
        a1 = -sign * 2 * ((a - 1) + sign * (a + 1) * cs);
        a2 = (a + 1) + sign * (a - 1) * cs - root;
    }
    c = {toQ24(b0 / a0), toQ24(b1 / a0), toQ24(b2 / a0), toQ24(a1 / a0), toQ24(a2 / a0)};
}

double gsEqGainDb(int value) {
    return std::clamp(value, 0x34, 0x4C) - 64.0;
}

double xgEqHz(int value) {
    return 20.0 * std::exp2(std::clamp(value, 0, 60) / 6.0);
}

double xgEqGainDb(int value) {
    return double(std::clamp(value - 64, -12, 12));
}

void TwoBandEq::set(double lowHz, double lowDb, double highHz, double highDb, int rateHz) {
    lowOn_ = std::abs(lowDb) > 1e-9;
    highOn_ = std::abs(highDb) > 1e-9;
    for (Biquad& b : low_) b.design(BiquadShape::LowShelf, lowHz, lowDb, 0.7, rateHz);
    for (Biquad& b : high_) b.design(BiquadShape::HighShelf, highHz, highDb, 0.7, rateHz);
}

void TwoBandEq::process(StereoView<int32_t> block) {
    const int frames = block.frames();
    for (size_t s = 0; s < 2; ++s) {
        for (int i = 0; i < frames; ++i) {
            int32_t& v = block[2 * i + int(s)];
            if (lowOn_) v = low_[s].run(v);
            if (highOn_) v = high_[s].run(v);
        }
    }
}

void TwoBandEq::clear() {
    for (Biquad& b : low_) b.clear();
    for (Biquad& b : high_) b.clear();
}

namespace {

// Per band: gain, frequency, Q and shape addresses (no shape address: -1).
constexpr std::array<std::array<int, 4>, 5> kBandAddress = {{
    {0x01, 0x02, 0x03, 0x04},
    {0x05, 0x06, 0x07, -1},
    {0x09, 0x0A, 0x0B, -1},
    {0x0D, 0x0E, 0x0F, -1},
    {0x11, 0x12, 0x13, 0x14},
}};
// The flat type's frequencies: 80 Hz, 500 Hz, 1 kHz, 4 kHz, 8 kHz.
constexpr std::array<int, 5> kFlatFrequency = {0x0C, 0x1C, 0x22, 0x2E, 0x34};
// Gains of the types flat, jazz, pops, rock and classic, in dB from band 1 to 5.
constexpr std::array<std::array<int, 5>, 5> kTypeGains = {{
    {0, 0, 0, 0, 0},
    {3, 1, 0, 1, 3},
    {2, 1, -1, 1, 2},
    {4, 1, -2, 1, 4},
    {2, 1, 0, -1, 1},
}};

}  // namespace

FiveBandEq::FiveBandEq() {
    reset(44100);
}

void FiveBandEq::reset(int rateHz) {
    params_.fill(0);
    for (size_t b = 0; b < 5; ++b) {
        params_[size_t(kBandAddress[b][0])] = 0x40;
        params_[size_t(kBandAddress[b][1])] = kFlatFrequency[b];
        params_[size_t(kBandAddress[b][2])] = 7;
    }
    design(rateHz);
}

void FiveBandEq::set(int address, int value, int rateHz) {
    if (address < 0 || address >= kParams) return;
    value = std::clamp(value, 0, 127);
    params_[size_t(address)] = value;
    if (address == 0) {
        const auto& gains = kTypeGains[size_t(std::min(value, 4))];
        for (size_t b = 0; b < 5; ++b) params_[size_t(kBandAddress[b][0])] = 0x40 + gains[b];
    }
    design(rateHz);
}

void FiveBandEq::design(int rateHz) {
    on_ = 0;
    for (size_t b = 0; b < 5; ++b) {
        const auto& a = kBandAddress[b];
        const double db = xgEqGainDb(params_[size_t(a[0])]);
        const double hz = xgEqHz(params_[size_t(a[1])]);
        const double q = std::clamp(params_[size_t(a[2])], 1, 120) / 10.0;
        const bool peak = a[3] < 0 || params_[size_t(a[3])] != 0;
        const BiquadShape shape = peak     ? BiquadShape::Peaking
                                  : b == 0 ? BiquadShape::LowShelf
                                           : BiquadShape::HighShelf;
        for (Biquad& side : bands_[b]) side.design(shape, hz, db, q, rateHz);
        if (db != 0.0) on_ |= 1u << b;
    }
}

void FiveBandEq::process(StereoView<int32_t> block) {
    const int frames = block.frames();
    for (size_t b = 0; b < 5; ++b) {
        if (!((on_ >> b) & 1u)) continue;
        for (size_t s = 0; s < 2; ++s) {
            Biquad& f = bands_[b][s];
            for (int i = 0; i < frames; ++i) block[2 * i + int(s)] = f.run(block[2 * i + int(s)]);
        }
    }
}

void FiveBandEq::clear() {
    for (auto& band : bands_)
        for (Biquad& side : band) side.clear();
}

}  // namespace svt::effects
