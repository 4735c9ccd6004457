// The synthesizer's sends into the effects, in an engine that builds both from one set of
// settings: levels from the channel controllers, the default level, the mode that switches
// reverb off, the send that lasts while the channel sounds, and silence after a reset.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

#include "support/EngineRig.h"
#include "support/Signal.h"
#include "support/SongRig.h"

namespace svt::test {
namespace {

// Key `key` on `channel` (the sine, or the kit on channel 10) held for `holdSeconds`, then
// `tailSeconds` after its release, after the channel's controllers.
std::vector<double> playNote(SynthDriver& rig, int rate,
                             std::initializer_list<std::pair<int, int>> controllers,
                             double holdSeconds, double tailSeconds, int channel = 0,
                             int key = 69) {
    rig.program(channel, 0);
    for (auto [type, value] : controllers) rig.event(uint8_t(type), channel, value);
    rig.noteOn(channel, key, 100);
    std::vector<int32_t> out = rig.render(int(holdSeconds * rate));
    rig.noteOff(channel, key);
    const std::vector<int32_t> tail = rig.render(int(tailSeconds * rate));
    out.insert(out.end(), tail.begin(), tail.end());
    return SynthRig::side(out, 0);
}

struct FxRig {
    EngineRig rig;

    explicit FxRig(int reverbMode = EngineSettings{}.reverbMode,
                   int chorusMode = EngineSettings{}.chorusMode)
        : rig(effectModes(reverbMode, chorusMode)) {}
    std::vector<double> play(std::initializer_list<std::pair<int, int>> controllers,
                             double holdSeconds, double tailSeconds) {
        return playNote(rig, rig.rateHz(), controllers, holdSeconds, tailSeconds);
    }
    // A drum key held for half a second, then a second of tail, after per-key (key, send
    // NRPN, value) settings.
    std::vector<double> drum(int key, std::initializer_list<std::pair<int, int>> controllers,
                             std::initializer_list<std::array<int, 3>> keySends) {
        for (const auto& [k, nrpn, value] : keySends) {
            rig.event(EV_NRPN_MSB, 9, nrpn);
            rig.event(EV_NRPN_LSB, 9, k);
            rig.event(EV_DATA_ENTRY_MSB, 9, value);
        }
        return playNote(rig, rig.rateHz(), controllers, 0.5, 1.0, 9, key);
    }
};

// Effects heard (the chorus bus listens) but nothing sent to them: the dry signal at the
// level it has beside effects.
FxRig dryRig() {
    return FxRig(0, 1);
}

constexpr int kDrumReverb = 0x1D, kDrumChorus = 0x1E;

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
    SynthRig alone;
    const auto dry = playNote(alone, alone.rateHz, {}, 0.5, 1.5);
    // After the note and its 0.2 s release only the reverb is left.
    const double dryTail = rmsOf(dry, 1.2, 2.0);
    EXPECT_LT(dryTail, 1.0);

    const auto wet = FxRig().play({{EV_REVERB_SEND, 127}}, 0.5, 1.5);
    const auto standard = FxRig(1, 1).play({{EV_REVERB_SEND, 127}}, 0.5, 1.5);
    const auto byDefault = FxRig().play({}, 0.5, 1.5);
    const double full = rmsOf(wet, 1.2, 2.0);
    EXPECT_GT(full, 1e5);
    EXPECT_GT(rmsOf(standard, 0.75, 1.0), 1e4);
    // The default level is 40 of 127.
    EXPECT_NEAR(rmsOf(byDefault, 1.2, 2.0) / full, 40.0 / 127.0, 0.05);

    // Level 0 leaves the sound exactly dry.
    EXPECT_EQ(FxRig().play({{EV_REVERB_SEND, 0}}, 0.5, 1.5), dryRig().play({}, 0.5, 1.5));
    // With every effect off the dry signal plays at the louder level of a synthesizer alone.
    EXPECT_EQ(FxRig(0, 0).play({{EV_REVERB_SEND, 127}, {EV_CHORUS_SEND, 127}}, 0.5, 1.5), dry);
}

TEST(MixerSends, ReverbSendLastsAsLongAsTheChannelSounds) {
    const auto dry = dryRig().play({}, 10.0, 0.1);
    const auto wet = FxRig().play({{EV_REVERB_SEND, 127}}, 10.0, 0.1);
    const auto reverb = difference(wet, dry);
    const double early = rmsOf(reverb, 1.0, 2.0);
    EXPECT_GT(early, 1e5);
    // Long after the four seconds of the send window the held note still feeds the reverb.
    EXPECT_GT(rmsOf(reverb, 9.0, 10.0), early * 0.5);
    EXPECT_GT(rmsOf(dry, 9.0, 10.0), 1e6);
}

TEST(MixerSends, ChorusAndDelayFollowTheirLevels) {
    const auto dry = dryRig().play({}, 1.0, 0.2);
    const auto chorus = FxRig().play({{EV_REVERB_SEND, 0}, {EV_CHORUS_SEND, 127}}, 1.0, 0.2);
    const auto delay = FxRig().play({{EV_REVERB_SEND, 0}, {EV_CELESTE_SEND, 127}}, 1.0, 0.2);
    EXPECT_GT(rmsOf(difference(chorus, dry), 0.2, 1.0), 1e6);
    // The delay's echo lands 340 ms after the note started.
    const auto echo = difference(delay, dry);
    EXPECT_LT(rmsOf(echo, 0.0, 0.3), 1.0);
    EXPECT_GT(rmsOf(echo, 0.4, 1.0), 1e6);
    EXPECT_EQ(
        FxRig().play({{EV_REVERB_SEND, 0}, {EV_CHORUS_SEND, 0}, {EV_CELESTE_SEND, 0}}, 1.0, 0.2),
        dry);
}

TEST(MixerSends, DrumKeysSendWithTheirOwnLevels) {
    // With the channel's reverb at 0, only the key that asks for reverb rings on after its
    // release (0.2 s), and the key next to it stays exactly dry.
    const auto dry36 = dryRig().drum(36, {}, {});
    const auto dry38 = dryRig().drum(38, {}, {});
    const std::initializer_list<std::array<int, 3>> only38 = {{38, kDrumReverb, 127}};
    EXPECT_EQ(FxRig().drum(36, {{EV_REVERB_SEND, 0}}, only38), dry36);
    const auto wet38 = FxRig().drum(38, {{EV_REVERB_SEND, 0}}, only38);
    EXPECT_LT(rmsOf(dry38, 0.9, 1.5), 1.0);
    EXPECT_GT(rmsOf(wet38, 0.9, 1.5), 1e5);
    // The other way round: the channel sends, the key that says 0 does not, and a key with
    // no level of its own follows the channel.
    const std::initializer_list<std::array<int, 3>> silent36 = {{36, kDrumReverb, 0},
                                                                {40, kDrumChorus, 90}};
    EXPECT_EQ(FxRig().drum(36, {{EV_REVERB_SEND, 127}}, silent36), dry36);
    const auto channel38 = FxRig().drum(38, {{EV_REVERB_SEND, 127}}, silent36);
    EXPECT_NEAR(rmsOf(channel38, 0.9, 1.5) / rmsOf(wet38, 0.9, 1.5), 1.0, 0.05);
    // A key's own chorus send reaches the chorus.
    const auto chorus40 = FxRig().drum(40, {{EV_REVERB_SEND, 0}}, silent36);
    EXPECT_GT(rmsOf(difference(chorus40, dryRig().drum(40, {}, {})), 0.1, 0.5), 1e5);

    // More distinct sends than there are key buffers: each key still rings, at its own level
    // while buffers last, then at the level of the nearest buffer's keys.
    auto tail = [](int key, bool ownLevels) {
        FxRig r;
        r.rig.program(9, 0);
        for (int k = 36; k <= 46; ++k) {
            r.rig.event(EV_NRPN_MSB, 9, kDrumReverb);
            r.rig.event(EV_NRPN_LSB, 9, k);
            r.rig.event(EV_DATA_ENTRY_MSB, 9, ownLevels ? 20 + (k - 36) * 10 : 127);
        }
        return rmsOf(r.drum(key, {{EV_REVERB_SEND, 0}}, {}), 0.9, 1.5);
    };
    for (int key = 36; key <= 46; ++key) {
        const double level = (20 + (key - 36) * 10) / 127.0,
                     heard = tail(key, true) / tail(key, false);
        if (key < 44) {
            EXPECT_NEAR(heard, level, 0.02) << "key " << key;
        }
        EXPECT_NEAR(heard, level, level * 0.3) << "key " << key;
    }
}

TEST(MixerSends, ResetSilencesEveryBus) {
    FxRig r;
    r.play({{EV_REVERB_SEND, 127}, {EV_CHORUS_SEND, 127}, {EV_CELESTE_SEND, 127}}, 0.5, 0.01);
    r.rig.synth().resetChannels();
    EXPECT_TRUE(r.rig.engine.effects().silent());
    const auto after = SynthRig::side(r.rig.render(r.rig.rateHz()), 0);
    EXPECT_EQ(peak(after), 0.0);
    // And the tails of a song do not reach the next one.
    r.play({{EV_REVERB_SEND, 127}}, 0.5, 0.01);
    r.rig.synth().cutAllVoices();
    r.rig.render(100);
    r.rig.synth().clearEffectTails();
    EXPECT_EQ(peak(SynthRig::side(r.rig.render(r.rig.rateHz()), 0)), 0.0);
    // The song's own reverb level is forgotten with its tails.
    EXPECT_EQ(r.rig.synth().reverbLevelOf(0), 40);
}

// Frames a second where the signal's second difference jumps above `share` of its peak: a
// steady 440 Hz tone bends by 0.4 % of its peak a frame, a step shows as itself.
double stepsPerSecond(std::span<const double> x, double share, int rate) {
    const double limit = share * peak(x);
    int steps = 0;
    for (size_t i = 2; i < x.size(); ++i)
        if (std::abs(x[i] - 2 * x[i - 1] + x[i - 2]) > limit) ++steps;
    return steps * double(rate) / double(x.size());
}

TEST(MixerSends, TheChorusSweepsASteadyToneWithoutSteps) {
    FxRig fx(0, 1);
    const auto x = fx.play({{EV_REVERB_SEND, 0}, {EV_CHORUS_SEND, 127}}, 4.0, 0.0);
    const auto held = between(x, 0.5, 4.0);
    // What lies above 20 kHz against the tone and its chorus below.
    const std::array<Band, 1> audible{{{0.0, 20000.0}}};
    EXPECT_EQ(stepsPerSecond(held, 0.02, 44100), 0.0);
    EXPECT_LT(energyOutsideBandsDb(held, 44100, audible), -70.0);
}

}  // namespace
}  // namespace svt::test
