// The demo song through the playback loop and the synthesizer with each vector form of the
// kernels, against the scalar form: real instruments (loops, filters that move, stereo pairs,
// Newton edges) must come out bit for bit the same whichever form runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "instruments/InstrumentBanks.h"
#include "instruments/SoundFontRegistry.h"
#include "player/Player.h"
#include "song/SongInput.h"
#include "support/OfflineSink.h"
#include "support/SimdForms.h"
#include "synth/Synthesizer.h"

namespace svt {
namespace {

std::vector<int32_t> renderDemo(const std::string& font, InterpolationKind kind, SimdLevel simd) {
    EngineSettings settings;
    settings.simd = simd;
    settings.interpolation = kind;
    InstrumentSettings is(settings);
    SoundFontRegistry registry(is);
    registry.selectFont(font);
    InstrumentBanks banks(registry);
    EXPECT_EQ(banks.indexFonts(), 0);
    PlayerControls controls;
    Synthesizer synth(settings, banks, controls);
    EXPECT_EQ(synth.resampler().simdLevel(), simd);
    synth.resampler().setInterpolation(kind);
    SongInput input(settings);
    QuietControl control;
    test::StereoRecorder sink;
    Player player(input, &banks, synth, control, &controls);
    player.setSink(&sink);
    EXPECT_EQ(player.playFile(std::string(SORVANTO_SOURCE_DIR) + "/data/demo.mid"), CmdTuneEnd)
        << player.lastError();
    return std::move(sink.samples);
}

TEST(SimdForms, DemoSongRendersAlikeInEveryForm) {
    const std::vector<SimdLevel> forms = test::vectorFormsHere(simdLevelAvailable, "synthesizer");
    if (forms.empty()) GTEST_SKIP() << "only the scalar form runs on this processor";
    struct Case {
        const char* font;
        InterpolationKind kind;
    };
    // (Linear runs against the scalar form: SynthMix.LinearRunsReadNothingPastTheirLastSample.)
    const Case cases[] = {{"TimGM6mb.sf2", InterpolationKind::SineLagrange},
                          {"FluidR3_GM.sf2", InterpolationKind::SineLagrange}};
    int compared = 0;
    for (const Case& c : cases) {
        const std::string font = std::string("/usr/share/sounds/sf2/") + c.font;
        if (!std::filesystem::exists(font)) {
            std::printf("[ skip ] %s is not installed\n", font.c_str());
            continue;
        }
        const std::vector<int32_t> scalar = renderDemo(font, c.kind, SimdLevel::Scalar);
        ASSERT_GT(scalar.size(), size_t(44100 * 2 * 30)) << "the whole song is rendered";
        for (SimdLevel simd : forms) {
            const std::vector<int32_t> vector = renderDemo(font, c.kind, simd);
            ASSERT_EQ(vector.size(), scalar.size()) << simdLevelName(simd) << " " << c.font;
            const auto [a, b] = std::mismatch(scalar.begin(), scalar.end(), vector.begin());
            EXPECT_TRUE(a == scalar.end())
                << simdLevelName(simd) << " with " << c.font << " (interpolation " << int(c.kind)
                << ") first differs at frame " << (a - scalar.begin()) / 2 << ": " << *a
                << " against " << *b << " of the scalar form";
            ++compared;
        }
    }
    if (compared == 0) GTEST_SKIP() << "no Debian General MIDI font installed";
}

}  // namespace
}  // namespace svt
