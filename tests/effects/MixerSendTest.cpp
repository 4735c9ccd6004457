// The synthesizer's sends into the effects: levels from the channel controllers, the default
// level, the mode that switches reverb off, the send that stops four seconds after a
// channel's last note, and silence after a reset.
#include <gtest/gtest.h>

#include <memory>

#include "effects/effects.h"
#include "player/SynthRig.h"

namespace svt::test {
namespace {

struct FxRig {
    SynthRig rig;
    std::unique_ptr<effects::SystemEffects> fx;

    explicit FxRig(effects::EffectOptions options = {}, bool withEffects = true) {
        if (withEffects) {
            fx = std::make_unique<effects::SystemEffects>(rig.rateHz, options);
            rig.synth->setEffects(fx.get());
        }
    }
    // A sine on channel 0 held for `holdSeconds`, then `tailSeconds` after its release.
    std::vector<double> play(std::initializer_list<std::pair<int, int>> controllers, double holdSeconds,
                             double tailSeconds) {
        rig.program(0, 0);
        for (auto [type, value] : controllers) rig.event(uint8_t(type), 0, value);
        rig.noteOn(0, 69, 100);
        std::vector<int32_t> out = rig.render(int(holdSeconds * rig.rateHz));
        rig.noteOff(0, 69);
        const std::vector<int32_t> tail = rig.render(int(tailSeconds * rig.rateHz));
        out.insert(out.end(), tail.begin(), tail.end());
        return SynthRig::side(out, 0);
    }
};

double rmsOf(const std::vector<double>& x, double fromSeconds, double toSeconds, int rate = 44100) {
    const size_t a = size_t(fromSeconds * rate), b = std::min(x.size(), size_t(toSeconds * rate));
    return rms(std::span<const double>(x.data() + a, b - a));
}

std::vector<double> difference(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> d(std::min(a.size(), b.size()));
    for (size_t i = 0; i < d.size(); ++i) d[i] = a[i] - b[i];
    return d;
}

TEST(MixerSends, ReverbFollowsTheChannelLevelAndTheMode) {
    const auto dry = FxRig({}, false).play({}, 0.5, 1.5);
    // After the note and its 0.2 s release only the reverb is left.
    const double dryTail = rmsOf(dry, 1.2, 2.0);
    EXPECT_LT(dryTail, 1.0);

    const auto wet = FxRig().play({{EV_REVERB_SEND, 127}}, 0.5, 1.5);
    const auto standard = FxRig({1, 1}).play({{EV_REVERB_SEND, 127}}, 0.5, 1.5);
    const auto byDefault = FxRig().play({}, 0.5, 1.5);
    const double full = rmsOf(wet, 1.2, 2.0);
    EXPECT_GT(full, 1e5);
    EXPECT_GT(rmsOf(standard, 0.75, 1.0), 1e4);
    // The default level is 40 of 127.
    EXPECT_NEAR(rmsOf(byDefault, 1.2, 2.0) / full, 40.0 / 127.0, 0.05);

    // Level 0, and reverb mode 0 whatever the song asks, leave the sound exactly dry.
    EXPECT_EQ(FxRig().play({{EV_REVERB_SEND, 0}}, 0.5, 1.5), dry);
    EXPECT_EQ(FxRig({0, 0}).play({{EV_REVERB_SEND, 127}, {EV_CHORUS_SEND, 127}}, 0.5, 1.5), dry);
}

TEST(MixerSends, ReverbSendStopsFourSecondsAfterTheLastNote) {
    const auto dry = FxRig({}, false).play({}, 10.0, 0.1);
    const auto wet = FxRig().play({{EV_REVERB_SEND, 127}}, 10.0, 0.1);
    const auto reverb = difference(wet, dry);
    const double early = rmsOf(reverb, 1.0, 2.0);
    EXPECT_GT(early, 1e5);
    // The note still sounds, but its channel stopped feeding the reverb at 4 s and the
    // hall's tail has died away by 9 s.
    EXPECT_LT(rmsOf(reverb, 9.0, 10.0), early * 1e-3);
    EXPECT_GT(rmsOf(dry, 9.0, 10.0), 1e6);
}

TEST(MixerSends, ChorusAndDelayFollowTheirLevels) {
    const auto dry = FxRig({}, false).play({{EV_REVERB_SEND, 0}}, 1.0, 0.2);
    const auto chorus = FxRig().play({{EV_REVERB_SEND, 0}, {EV_CHORUS_SEND, 127}}, 1.0, 0.2);
    const auto delay = FxRig().play({{EV_REVERB_SEND, 0}, {EV_CELESTE_SEND, 127}}, 1.0, 0.2);
    EXPECT_GT(rmsOf(difference(chorus, dry), 0.2, 1.0), 1e6);
    // The delay's echo lands 340 ms after the note started.
    const auto echo = difference(delay, dry);
    EXPECT_LT(rmsOf(echo, 0.0, 0.3), 1.0);
    EXPECT_GT(rmsOf(echo, 0.4, 1.0), 1e6);
    EXPECT_EQ(FxRig().play({{EV_REVERB_SEND, 0}, {EV_CHORUS_SEND, 0}, {EV_CELESTE_SEND, 0}}, 1.0, 0.2), dry);
}

TEST(MixerSends, ResetSilencesEveryBus) {
    FxRig r;
    r.play({{EV_REVERB_SEND, 127}, {EV_CHORUS_SEND, 127}, {EV_CELESTE_SEND, 127}}, 0.5, 0.01);
    r.rig.synth->resetChannels();
    EXPECT_TRUE(r.fx->silent());
    const auto after = SynthRig::side(r.rig.render(r.rig.rateHz), 0);
    EXPECT_EQ(peak(after), 0.0);
    // And the tails of a song do not reach the next one.
    r.play({{EV_REVERB_SEND, 127}}, 0.5, 0.01);
    r.rig.synth->cutAllVoices();
    r.rig.render(100);
    r.rig.synth->clearEffectTails();
    EXPECT_EQ(peak(SynthRig::side(r.rig.render(r.rig.rateHz), 0)), 0.0);
}

}  // namespace
}  // namespace svt::test
