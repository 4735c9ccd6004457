// The mixing loops in their vector and scalar forms: whatever runs, every voice must reach the
// block exactly as the scalar form would put it there.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/SimdForms.h"
#include "synth/MixKernels.h"

namespace svt {
namespace {

// A stable low-pass of the voice filter's kind for a cutoff (as a fraction of the rate, below
// half) and a damping 0.02 (sharp resonance) .. 2; its state as if it had been running.
VoiceFilter randomFilter(std::mt19937& gen) {
    std::uniform_real_distribution<double> cutoff(0.0005, 0.45), damping(0.02, 2.0);
    const double g = std::tan(M_PI * cutoff(gen)), k = damping(gen);
    const double a1 = 1.0 / (1.0 + g * (g + k)), a2 = g * a1, a3 = g * a2;
    auto q24 = [](double c) { return int64_t(std::lround(c * (1 << 24))); };
    VoiceFilter f;
    f.active = true;
    f.s1Gain = q24(2 * a1 - 1);
    f.s1FromIn = q24(2 * a2);
    f.s2FromS1 = q24(2 * a2);
    f.s2FromIn = q24(2 * a3);
    std::uniform_int_distribution<int64_t> state(-(int64_t(1) << 26), int64_t(1) << 26);
    f.s1 = state(gen);
    f.s2 = state(gen);
    return f;
}

// Samples as the interpolators give them: mostly within 16 bits, sometimes beyond (the
// Lagrange kernel overshoots) and sometimes the extremes, held for a while.
std::vector<int32_t> randomSamples(std::mt19937& gen, int count) {
    std::uniform_int_distribution<int32_t> value(-40000, 40000), kind(0, 9);
    std::vector<int32_t> s(size_t(count) + 1);
    for (int32_t& x : s) {
        const int k = kind(gen);
        x = k == 0 ? 32767 : k == 1 ? -32768 : k == 2 ? 131071 : value(gen);
    }
    return s;
}

// The filter's vector forms this processor runs, each with its name.
std::vector<std::pair<const char*, FilterRunsFn>> vectorFilterForms() {
    std::vector<std::pair<const char*, FilterRunsFn>> forms;
    for (SimdLevel level : test::vectorFormsHere(simdLevelAvailable, "voice filter"))
        if (level >= SimdLevel::Sse2)
            forms.emplace_back(simdLevelName(level), mixKernelsFor(level).filterRuns);
    return forms;
}

// One sample at a time through the segments, as the mixer would have switched the filter.
void filterBySegments(VoiceFilter& f, std::vector<int32_t>& s,
                      const std::vector<FilterSegment>& segments);

// Runs `form` over one lane per filter and holds the samples and states it leaves against the
// scalar step, switched by the lane's segments where it has any.
void expectLanesAsScalar(FilterRunsFn form, std::vector<VoiceFilter> reference,
                         std::vector<std::vector<int32_t>> expected,
                         std::vector<std::vector<FilterSegment>> segments,
                         const std::string& what) {
    const size_t n = reference.size();
    segments.resize(n);
    std::vector<VoiceFilter> filters = reference;
    std::vector<std::vector<int32_t>> got = expected;
    std::vector<FilterRun> runs(n);
    for (size_t j = 0; j < n; ++j) {
        runs[j] = {&filters[j], got[j].data(), int(got[j].size()), segments[j].data(),
                   int(segments[j].size())};
        filterBySegments(reference[j], expected[j], segments[j]);
    }
    form(runs.data(), int(n));
    for (size_t j = 0; j < n; ++j) {
        ASSERT_EQ(got[j], expected[j]) << what << ", lane " << j << " of " << n;
        ASSERT_EQ(filters[j].s1, reference[j].s1) << what << ", lane " << j;
        ASSERT_EQ(filters[j].s2, reference[j].s2) << what << ", lane " << j;
    }
}

// A filter whose states, inputs or coefficients go beyond 32 bits or sit right at that edge:
// the vector forms build 64-bit products from narrower ones. Each `kind` stays clear of 64-bit
// overflow in the scalar form; `input` is the largest sample its lane may take.
VoiceFilter wideFilter(std::mt19937& gen, int kind, int32_t& input) {
    auto draw = [&](int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(gen);
    };
    const int64_t q22 = int64_t(1) << 22, edges[] = {(int64_t(1) << 31) - 1, int64_t(1) << 31,
                                                     -(int64_t(1) << 31), -(int64_t(1) << 31) - 1};
    VoiceFilter f;
    f.active = true;
    // Kind 3: one coefficient of 34 bits in a filter that stays stable (s1 stays small).
    const bool one = kind == 3;
    f.s1Gain = one ? 0 : draw(-q22, q22);
    f.s1FromIn = one ? draw(1 << 9, 1 << 10) : draw(-q22, q22);
    f.s2FromS1 = one ? int64_t(1) << 33 : draw(1, q22);
    f.s2FromIn = one ? draw(1 << 20, 1 << 21) : draw(1, q22);
    if (one) {
        f.s1 = draw(-1024, 1024);
        f.s2 = draw(-1024, 1024);
        input = 1 << 16;
        return f;
    }
    const int64_t state = kind == 0 ? int64_t(1) << 38 : 1 << 20;  // 39-bit states, or small
    f.s1 = kind == 2 ? edges[draw(0, 3)] : draw(-state, state);
    f.s2 = kind == 2 ? edges[draw(0, 3)] : draw(-state, state);
    input = kind == 1 ? 1 << 30 : kind == 0 ? 1 << 20 : 1 << 16;  // inputs near 2^30 for kind 1
    return f;
}

// Where a voice's cutoff moves, its run comes in segments: new coefficients, the filter off
// (samples pass, the state waits) or back on from a cleared state. Segments start anywhere,
// also within a lane's last few samples or several at the same frame.
std::vector<FilterSegment> randomSegments(std::mt19937& gen, int count) {
    std::uniform_int_distribution<int> many(1, 12), kind(0, 5);
    std::vector<FilterSegment> segments;
    const int n = many(gen);
    std::uniform_int_distribution<int> start(0, std::max(0, count + 2));
    std::vector<int> starts{0};
    for (int i = 1; i < n; ++i)
        starts.push_back(kind(gen) == 0 ? std::max(0, count - 1 - kind(gen) / 2) : start(gen));
    std::sort(starts.begin(), starts.end());
    bool active = true;
    for (int i = 0; i < n; ++i) {
        const VoiceFilter f = randomFilter(gen);
        const bool on = i == 0 || kind(gen) != 0;
        segments.push_back(
            {starts[size_t(i)], on, on && !active, f.s1Gain, f.s1FromIn, f.s2FromS1, f.s2FromIn});
        active = on;
    }
    return segments;
}

void filterBySegments(VoiceFilter& f, std::vector<int32_t>& s,
                      const std::vector<FilterSegment>& segments) {
    size_t next = 0;
    bool active = true;
    // A switch at or after the run's end still takes effect (its state is what the voice keeps).
    for (size_t k = 0; k <= s.size(); ++k) {
        while (next < segments.size() && (segments[next].start <= int(k) || k == s.size())) {
            const FilterSegment& g = segments[next++];
            f.s1Gain = g.s1Gain;
            f.s1FromIn = g.s1FromIn;
            f.s2FromS1 = g.s2FromS1;
            f.s2FromIn = g.s2FromIn;
            if (g.restart) f.s1 = f.s2 = 0;
            active = g.active;
        }
        if (active && k < s.size()) s[k] = f.step(s[k]);
    }
}

TEST(SynthMix, FilterSegmentsSwitchEachLaneAtItsOwnFrames) {
    std::vector<FilterRunsFn> forms = {filterRunsScalar};
    for (const auto& form : vectorFilterForms()) forms.push_back(form.second);
    std::mt19937 gen(21);
    std::uniform_int_distribution<int> length(0, 200);
    for (FilterRunsFn form : forms) {
        for (int trial = 0; trial < 400; ++trial) {
            const int n = 1 + trial % kFilterLanes;
            std::vector<VoiceFilter> reference(static_cast<size_t>(n));
            std::vector<std::vector<int32_t>> expected(static_cast<size_t>(n));
            std::vector<std::vector<FilterSegment>> segments(static_cast<size_t>(n));
            for (size_t j = 0; j < size_t(n); ++j) {
                const int count = trial % 2 ? length(gen) : 150;
                if (trial % 4 == 3) {
                    // Values beyond 32 bits, in lanes that keep their coefficients; one kind a
                    // trial, as a lane with a 34-bit coefficient sends its group the scalar way.
                    // Short runs: the random filters need not be stable, and a long run would
                    // grow their states past 64 bits.
                    int32_t input = 0;
                    reference[j] = wideFilter(gen, trial / 4 % 4, input);
                    std::uniform_int_distribution<int32_t> value(-input, input);
                    for (int k = 0; k < 4 + count % 37; ++k) expected[j].push_back(value(gen));
                    continue;
                }
                reference[j] = randomFilter(gen);
                expected[j] = randomSamples(gen, count);
                expected[j].resize(size_t(count));
                // Some lanes keep their own coefficients all through.
                if (trial % 3 != 0 || j % 2 == 0) segments[j] = randomSegments(gen, count);
            }
            expectLanesAsScalar(form, reference, expected, segments,
                                "trial " + std::to_string(trial));
            if (HasFatalFailure()) return;
        }
    }
}

TEST(SynthMix, ConstantMixAddsTheSameProductsInEveryForm) {
#if defined(__x86_64__) || defined(__i386__)
    std::vector<std::pair<const char*, MixConstantFn>> forms = {{"SSE2", mixConstantSse2}};
    if (simdLevelAvailable(SimdLevel::Avx2)) forms.emplace_back("AVX2", mixConstantAvx2);
    std::mt19937 gen(3);
    std::uniform_int_distribution<int32_t> mix(0, kMaxMix);
    std::uniform_int_distribution<int64_t> start(-(int64_t(1) << 40), int64_t(1) << 40);
    const std::vector<std::pair<int32_t, int32_t>> fixed = {
        {0, 0}, {kMaxMix, 0}, {0, kMaxMix}, {4096, 4096}, {1, kMaxMix}, {kMaxMix, kMaxMix}};
    for (int trial = 0; trial < 300; ++trial) {
        const int count = trial % 41;
        const auto [left, right] =
            trial < int(fixed.size()) ? fixed[size_t(trial)] : std::pair{mix(gen), mix(gen)};
        std::vector<int32_t> s = randomSamples(gen, count);
        s[0] =
            trial % 2 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
        // One frame of room in front, so that the block is not always 32-byte aligned.
        std::vector<int64_t> expected(size_t(2 * count + 2));
        for (int64_t& x : expected) x = start(gen);
        const size_t at = size_t(trial % 2);
        const std::vector<int64_t> before = expected;
        mixConstantScalar(s.data(), count, left, right, expected.data() + 2 * at);
        for (const auto& [name, form] : forms) {
            std::vector<int64_t> got = before;
            form(s.data(), count, left, right, got.data() + 2 * at);
            ASSERT_EQ(got, expected)
                << name << " count " << count << " mix " << left << "/" << right;
        }
    }
#else
    GTEST_SKIP() << "no vector form on this processor family";
#endif
}

TEST(SynthMix, LinearRunsReadNothingPastTheirLastSample) {
    // The data ends right after the last sample a run needs, so that any read beyond it lands
    // outside the allocation (the sanitizer build sees it) and any wrong pair shows as a
    // wrong value. Backward runs start at the top and end at the lowest point.
    std::mt19937 gen(9);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (SimdLevel level : test::vectorFormsHere(simdLevelAvailable, "linear run")) {
        SCOPED_TRACE(simdLevelName(level));
        const LinearRunFn vector = linearRunFor(level);
        for (int32_t increment : {1, 4095, 4096, 4097, 8191, 8192, 8193, 12000, -1, -9000}) {
            for (int count : {8, 9, 16, 17, 100, 4352}) {
                for (int64_t low : {int64_t(0), int64_t(4095), int64_t(3 << 12) + 1234}) {
                    const int64_t span = int64_t(std::abs(increment)) * (count - 1);
                    const int64_t first = increment > 0 ? low : low + span;
                    std::vector<int16_t> data(size_t(((low + span) >> 12) + 2));
                    for (int16_t& x : data) x = int16_t(value(gen));
                    std::vector<int32_t> expected(static_cast<size_t>(count)),
                        got(static_cast<size_t>(count));
                    linearRunScalar(data.data(), first, increment, count, expected.data());
                    vector(data.data(), first, increment, count, got.data());
                    ASSERT_EQ(got, expected)
                        << "increment " << increment << " count " << count << " from " << first;
                }
            }
        }
    }
}

}  // namespace
}  // namespace svt
