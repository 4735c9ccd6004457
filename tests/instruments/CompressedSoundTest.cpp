// A compressed font must sound like the same font stored as points: the same pitch, envelope
// and level, a waveform that differs only by what the Vorbis encoding loses, and loops that
// stay seamless.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/Sf2Builder.h"
#include "support/Signal.h"
#include "support/SynthRig.h"

namespace svt {
namespace {

using test::Sf2Builder;
using test::Sf2Sample;
using test::SynthRig;

constexpr int kRate = 44100;

// Program 0 a looped 440 Hz sine, 1 a looped 220 Hz saw, 2 a decaying 660 Hz sine played once,
// 3 a looped 330 Hz sine recorded at 22050 Hz, 4 a stereo pair (440 Hz left, 660 Hz right).
Sf2Builder toneFont() {
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, kRate, 69));
    const int saw = sf.addSample(Sf2Builder::sawSample("saw", 220.0, kRate, 57));
    Sf2Sample pluck;
    pluck.name = "pluck";
    pluck.originalKey = 76;
    for (int i = 0; i < kRate; ++i) {
        double t = double(i) / kRate;
        pluck.pcm.push_back(int16_t(
            std::lround(20000 * std::exp(-3 * t) * std::sin(2 * std::numbers::pi * 660 * t))));
    }
    const int once = sf.addSample(pluck);
    const int low = sf.addSample(Sf2Builder::sineSample("low", 330.0, 22050, 64));
    const int pair = sf.addStereoPair(Sf2Builder::sineSample("left", 440.0, kRate, 69),
                                      Sf2Builder::sineSample("right", 660.0, kRate, 69));
    auto preset = [&](const char* name, int program, std::initializer_list<int> samples,
                      bool loop) {
        const int i = sf.addInstrument(name);
        for (int s : samples) {
            sf.instrumentZone(i)
                .loopMode(loop ? 1 : 0)
                .gen(GEN_ATTACK_VOL_ENV, Sf2Builder::timecents(0.01))
                .gen(GEN_RELEASE_VOL_ENV, Sf2Builder::timecents(0.3))
                .sample(s);
        }
        sf.presetZone(sf.addPreset(name, 0, program)).instrument(i);
    };
    preset("Sine", 0, {sine}, true);
    preset("Saw", 1, {saw}, true);
    preset("Pluck", 2, {once}, false);
    preset("Low", 3, {low}, true);
    preset("Stereo", 4, {pair, pair + 1}, true);
    return sf;
}

// 0.8 s held, 0.5 s after the release.
std::vector<int32_t> renderNote(std::vector<uint8_t> font, int program, int key) {
    SynthRig rig(std::move(font), kRate);
    rig.program(0, program);
    rig.noteOn(0, key, 100);
    std::vector<int32_t> out = rig.render(kRate * 8 / 10);
    rig.noteOff(0, key);
    std::vector<int32_t> tail = rig.render(kRate / 2);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    size_t n = std::min(a.size(), b.size());
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= double(n), mb /= double(n);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

std::vector<double> slice(const std::vector<double>& x, double fromSeconds, double toSeconds) {
    auto from = size_t(fromSeconds * kRate), to = std::min(x.size(), size_t(toSeconds * kRate));
    return {x.begin() + long(from), x.begin() + long(to)};
}

TEST(CompressedSound, SoundsLikeTheSameFontStoredAsPoints) {
    const std::vector<uint8_t> plain = toneFont().build();
    Sf2Builder compressedFont = toneFont();
    compressedFont.compress();
    const std::vector<uint8_t> compressed = compressedFont.build();
    ASSERT_LT(compressed.size(), plain.size() / 3) << "the samples are not compressed";

    struct Case {
        int program, key, side;
        double hz;
        double minCorrelation;
    };
    const Case cases[] = {
        {0, 69, 0, 440.0, 0.999}, {1, 57, 0, 220.0, 0.99},  {2, 76, 0, 660.0, 0.999},
        {3, 64, 0, 330.0, 0.999}, {4, 69, 0, 440.0, 0.999}, {4, 69, 1, 660.0, 0.999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("program " + std::to_string(c.program) + " side " + std::to_string(c.side));
        const std::vector<double> a = SynthRig::side(renderNote(plain, c.program, c.key), c.side);
        const std::vector<double> b =
            SynthRig::side(renderNote(compressed, c.program, c.key), c.side);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_GT(test::rms(a), 0.0);

        // Pitch within a cent, over the held note (the decaying sine: its first half second).
        const double heldTo = c.program == 2 ? 0.5 : 0.8;
        const std::vector<double> heldA = slice(a, 0.1, heldTo), heldB = slice(b, 0.1, heldTo);
        const double pitch = test::pitchByFft(heldB, kRate);
        EXPECT_NEAR(test::cents(pitch, test::pitchByFft(heldA, kRate)), 0.0, 1.0);
        EXPECT_NEAR(test::cents(pitch, c.hz), 0.0, 5.0);

        // Level within 0.5 dB while held; the envelope within 1 dB wherever it is audible.
        EXPECT_NEAR(20 * std::log10(test::rms(heldB) / test::rms(heldA)), 0.0, 0.5);
        const double loud = test::peak(a);
        for (size_t w = 0; w + 441 <= a.size(); w += 441) {
            std::span<const double> wa(a.data() + w, 441), wb(b.data() + w, 441);
            if (test::peak(wa) < loud / 100) continue;
            EXPECT_NEAR(20 * std::log10(test::rms(wb) / test::rms(wa)), 0.0, 1.0)
                << "at " << double(w) / kRate << " s";
        }

        EXPECT_GT(correlation(a, b), c.minCorrelation);
        // A loop that jumps to the wrong point of the decoded sound clicks: no step may be
        // larger than the plain font's largest.
        EXPECT_LT(test::largestStep(heldB), test::largestStep(heldA) * 1.1 + loud * 0.002);
    }
}

}  // namespace
}  // namespace svt
