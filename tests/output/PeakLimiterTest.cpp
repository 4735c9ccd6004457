// The master peak limiter: what goes over full scale comes out under it with little
// distortion, a single loud sample is caught before it arrives, what stays under passes
// bit for bit and in place, and the audio queue hands every frame of a stream on.
#include "output/PeakLimiter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "base/Constants.h"
#include "output/AudioQueue.h"
#include "output/SampleConversion.h"
#include "support/Signal.h"

namespace svt::output {
namespace {

constexpr int kRate = 44100;
const double kCeiling = kFullScale * std::pow(10.0, PeakLimiter::kCeilingDb / 20.0);

// Stereo frames whose sides are `left(frame)` and the same at half level.
std::vector<int32_t> stereo(int frames, const std::function<double(int)>& left) {
    std::vector<int32_t> out(size_t(2 * frames));
    for (int i = 0; i < frames; ++i) {
        out[size_t(2 * i)] = static_cast<int32_t>(std::lround(left(i)));
        out[size_t(2 * i + 1)] = static_cast<int32_t>(std::lround(left(i) / 2));
    }
    return out;
}

// The whole stream through a fresh limiter in blocks of `block` frames, then drained.
std::vector<int32_t> limit(const std::vector<int32_t>& in, int block = kBlockFrames) {
    PeakLimiter limiter;
    limiter.prepare(kRate);
    std::vector<int32_t> out, work(size_t(2 * kBlockFrames));
    const int frames = int(in.size() / 2);
    for (int at = 0; at < frames; at += block) {
        const int n = std::min(block, frames - at);
        std::copy_n(in.begin() + 2 * at, 2 * n, work.begin());
        const int kept = limiter.process(work.data(), n);
        out.insert(out.end(), work.begin(), work.begin() + 2 * kept);
    }
    const int held = limiter.drain(work.data(), kBlockFrames);
    out.insert(out.end(), work.begin(), work.begin() + 2 * held);
    return out;
}

std::vector<double> side(const std::vector<int32_t>& frames, int which, size_t from = 0) {
    std::vector<double> x;
    for (size_t i = 2 * from + size_t(which); i < frames.size(); i += 2) x.push_back(frames[i]);
    return x;
}

TEST(PeakLimiter, SineOverFullScaleComesOutUnderItWithoutHarmonics) {
    for (const double hz : {40.0, 440.0, 3000.0}) {
        SCOPED_TRACE(hz);
        const auto in = stereo(2 * kRate, [&](int i) {
            return 2.0 * kFullScale * std::sin(2 * M_PI * hz * i / kRate);  // 6 dB over
        });
        const auto out = limit(in);
        ASSERT_EQ(out.size(), in.size()) << "every frame leaves";
        EXPECT_LE(test::peak(side(out, 0)), kCeiling + 1);
        EXPECT_LE(test::peak(side(out, 1)), kCeiling + 1);
        // Once the gain has settled it holds still: the sine keeps its shape.
        const auto settled = side(out, 0, kRate / 2);
        const double fundamental = test::magnitudeDb(settled, kRate, hz);
        EXPECT_NEAR(fundamental, 20 * std::log10(kCeiling), 0.5);
        for (int harmonic = 2; harmonic <= 5; ++harmonic)
            EXPECT_LT(test::magnitudeDb(settled, kRate, harmonic * hz) - fundamental, -80.0)
                << "harmonic " << harmonic;
        // Nor does the gain jump while it settles: no step is larger than the sine's own.
        EXPECT_LE(test::largestStep(side(out, 0)), test::largestStep(side(in, 0)));
    }
}

TEST(PeakLimiter, LookAheadCatchesASingleSampleSpike) {
    const int spikeAt = 10000;
    const auto in = stereo(kRate / 2, [&](int i) {
        if (i == spikeAt) return 4.0 * kFullScale;  // 12 dB over, one sample
        return 0.25 * kFullScale * std::sin(2 * M_PI * 1000.0 * i / kRate);
    });
    for (const int block : {kBlockFrames, 1, 300}) {
        SCOPED_TRACE(block);
        const auto out = limit(in, block);
        ASSERT_EQ(out.size(), in.size());
        EXPECT_LE(test::peak(side(out, 0)), kCeiling + 1);
        EXPECT_NEAR(out[2 * spikeAt], kCeiling, kCeiling * 0.01) << "the spike itself";
        // The gain was already down when the spike came, and it went down over the
        // look-ahead, not in a step: before that the sine passes untouched.
        const int lookAhead = static_cast<int>(std::lround(kRate * PeakLimiter::kLookAheadSeconds));
        for (int i = 0; i < spikeAt - lookAhead; ++i)
            ASSERT_EQ(out[size_t(2 * i)], in[size_t(2 * i)]) << "frame " << i;
        double largestGainStep = 0, previous = 1.0;
        for (int i = spikeAt - lookAhead; i < spikeAt; ++i) {
            if (std::abs(in[size_t(2 * i)]) < kFullScale / 20) continue;
            const double gain = double(out[size_t(2 * i)]) / in[size_t(2 * i)];
            largestGainStep = std::max(largestGainStep, std::abs(gain - previous));
            previous = gain;
        }
        EXPECT_LT(largestGainStep, 0.05);
    }
}

TEST(PeakLimiter, WhatStaysUnderPassesBitForBitAndInPlace) {
    // Under the ceiling from the start; and after a loud second the gain returns all the way,
    // so that the quiet end passes unchanged again.
    struct Case {
        const char* what;
        double loudSeconds;  // 0: none
        double checkFromSeconds;
    };
    for (const Case c : {Case{"never loud", 0.0, 0.0}, Case{"after a loud second", 1.0, 3.0}}) {
        SCOPED_TRACE(c.what);
        uint32_t noise = 12345;
        const auto in = stereo(5 * kRate, [&](int i) {
            noise = noise * 1103515245u + 12345u;
            const double quiet = 0.8 * kCeiling * (double(noise >> 8) / double(1u << 24) - 0.5);
            return i < c.loudSeconds * kRate ? 3 * kFullScale * std::sin(i * 0.05) : quiet;
        });
        for (const int block : {kBlockFrames, 777}) {
            const auto out = limit(in, block);
            ASSERT_EQ(out.size(), in.size());
            const size_t from = size_t(2 * c.checkFromSeconds * kRate);
            EXPECT_TRUE(
                std::equal(out.begin() + ptrdiff_t(from), out.end(), in.begin() + ptrdiff_t(from)))
                << "block " << block;
        }
    }
}

// A file-like device keeping the 16-bit samples it is given.
class Recorder final : public OutputDevice {
  public:
    Recorder() { flags = OF_PCM_STREAM; }
    std::vector<int16_t> samples;
    int openOutput() override { return 0; }
    int closeOutput() override { return 0; }
    int outputData(const uint8_t* bytes, size_t count) override {
        const size_t at = samples.size();
        samples.resize(at + count / 2);
        std::memcpy(samples.data() + at, bytes, count);
        return static_cast<int>(count);
    }
    int acntl(int, void*) override { return -1; }
};

TEST(PeakLimiter, TheQueueHandsEveryFrameOnAndCountsWhatClipsWithoutIt) {
    const auto loud = stereo(kRate, [](int i) { return 1.5 * kFullScale * std::sin(i * 0.01); });
    const auto quiet = stereo(kRate, [](int i) { return 0.5 * kFullScale * std::sin(i * 0.01); });
    auto play = [](bool limiter, const std::vector<int32_t>& song, Recorder& device) {
        AudioQueue queue;
        queue.setup(device, nullptr);
        queue.setLimiter(limiter);
        queue.control(OUT_REQ_PLAY_START, "song");
        // Pieces of any size, as the player hands them on at the end of a song.
        for (size_t at = 0, piece = 1000; at < song.size(); at += 2 * piece, piece += 333)
            EXPECT_EQ(queue.add({song.data() + at, int(std::min(piece, (song.size() - at) / 2))}),
                      0);
        EXPECT_EQ(queue.softFlush(), FlushResult::Done);
        return queue.clippedSamples();
    };
    std::vector<int16_t> expected(quiet.size());
    convertTo16(quiet.data(), expected.data(), quiet.size());
    for (const bool limiter : {true, false}) {
        Recorder device;
        EXPECT_EQ(play(limiter, quiet, device), 0);
        EXPECT_EQ(device.samples, expected) << "limiter " << limiter;
    }
    Recorder limited, raw;
    EXPECT_EQ(play(true, loud, limited), 0);
    EXPECT_EQ(limited.samples.size(), loud.size());
    EXPECT_LT(test::peak(test::toDoubles(limited.samples)), 32767.0 * 0.9);
    const int64_t clipped = play(false, loud, raw);
    EXPECT_GT(clipped, 1000);
    // Every sample counted sits at the limit (a few more reach it without going over).
    EXPECT_LE(clipped, std::count_if(raw.samples.begin(), raw.samples.end(),
                                     [](int16_t v) { return v == 32767 || v == -32768; }));
}

}  // namespace
}  // namespace svt::output
