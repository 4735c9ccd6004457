// Songs that set up their effects with GS and XG messages: the reverb macro, the XG
// variation type and a GM reset change what is heard, played by an engine.
#include <gtest/gtest.h>

#include "support/SmfBuilder.h"
#include "support/SongRig.h"
#include "support/SynthRig.h"

namespace svt::test {
namespace {

constexpr int kRate = 44100;

std::vector<uint8_t> gs(std::initializer_list<int> addressAndData) {
    return svt::test::gsDataSet(addressAndData);
}
const std::vector<uint8_t> kGsReset = gs({0x40, 0x00, 0x7F, 0x00});
const std::vector<uint8_t> kGmReset = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
const std::vector<uint8_t> kXgReset = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
std::vector<uint8_t> xg(uint8_t high, uint8_t mid, uint8_t low, uint8_t value) {
    return {0x43, 0x10, 0x4C, high, mid, low, value, 0xF7};
}
std::vector<uint8_t> xgVariation(uint8_t msb, uint8_t lsb) {
    return {0x43, 0x10, 0x4C, 0x02, 0x01, 0x40, msb, lsb, 0xF7};
}
// The variation as a system effect on the parts' variation sends.
const std::vector<uint8_t> kXgVariationSystem = xg(0x02, 0x01, 0x5A, 0x01);

// A song: its set-up messages, then a short note on channel 1 with full reverb send (and
// full variation send when asked), two seconds for the effects to ring, and a last note.
std::vector<double> renderSong(const std::vector<std::vector<uint8_t>>& setup,
                               bool variationSend = false, int reverbSend = 127) {
    SmfBuilder smf(0, 480);
    SmfTrack& t = smf.track();
    t.tempo(0, 500000);
    for (const auto& m : setup) t.sysex(0, m);
    t.program(10, 0, 0)
        .controller(0, 0, 91, reverbSend)
        .controller(0, 0, 94, variationSend ? 127 : 0);
    t.noteOn(10, 0, 69, 110).noteOff(48, 0, 69);  // a 50 ms note
    t.noteOn(1920, 0, 81, 110).noteOff(48, 0, 81).endOfTrack(0);
    SongRig rig(rigFont(), EngineSettings{});
    rig.play(smf);
    return rig.side(0);
}

// Normalised autocorrelation of x at `lag`, over the stretch [from, to) in seconds.
double echoAt(const std::vector<double>& x, int lag, double from, double to) {
    const size_t a = size_t(from * kRate), b = std::min(x.size(), size_t(to * kRate));
    double xy = 0, xx = 0;
    for (size_t i = a; i + size_t(lag) < b; ++i) {
        xy += x[i] * x[i + size_t(lag)];
        xx += x[i] * x[i];
    }
    return xx > 0 ? xy / xx : 0.0;
}

double energy(const std::vector<double>& x, double from, double to) {
    double e = 0;
    for (size_t i = size_t(from * kRate); i < std::min(x.size(), size_t(to * kRate)); ++i)
        e += x[i] * x[i];
    return e;
}

TEST(SongEffects, GsReverbMacroChangesTheCharacterAndGmResetRestoresIt) {
    // Macro 6 is the delay character: echoes every 120 ms (time 32).
    const int echo = int(32 * 3.75 * kRate / 1000);
    const auto hall = renderSong({kGsReset});
    const auto delay = renderSong({kGsReset, gs({0x40, 0x01, 0x30, 0x06})});
    const auto restored = renderSong({kGsReset, gs({0x40, 0x01, 0x30, 0x06}), kGmReset});
    // After the note (the song's 0.5 s lead-in plus 50 ms and the release) only effects sound.
    EXPECT_GT(echoAt(delay, echo, 1.0, 2.0), 0.5);
    EXPECT_LT(echoAt(hall, echo, 1.0, 2.0), 0.3);
    EXPECT_LT(echoAt(restored, echo, 1.0, 2.0), 0.3);
    EXPECT_GT(energy(hall, 1.0, 2.0), 0.0);
    EXPECT_EQ(restored, renderSong({kGmReset}));
}

TEST(SongEffects, XgVariationTypeChangesWhatIsHeard) {
    // The XG default variation is DELAY L,C,R; with NO EFFECT the variation send is silent.
    const auto delay = renderSong({kXgReset, kXgVariationSystem}, true, 0);
    const auto none = renderSong({kXgReset, kXgVariationSystem, xgVariation(0x00, 0x00)}, true, 0);
    const auto chorus =
        renderSong({kXgReset, kXgVariationSystem, xgVariation(0x41, 0x00)}, true, 0);
    EXPECT_NE(delay, none);
    EXPECT_NE(chorus, none);
    // The delay's taps ring on after the note; with no effect the variation send adds
    // nothing at all.
    EXPECT_GT(energy(delay, 0.6, 1.5), 1e15);
    EXPECT_LT(energy(none, 0.6, 1.5), 1e6);
    EXPECT_EQ(none, renderSong({kXgReset, kXgVariationSystem, xgVariation(0x00, 0x00)}, false, 0));
    // After an XG reset the variation is an insertion that serves no part: the send is unheard.
    EXPECT_EQ(renderSong({kXgReset}, true, 0), renderSong({kXgReset}, false, 0));
}

TEST(SongEffects, XgInsertionsServeTheirPart) {
    const auto plain = renderSong({kXgReset}, false, 0);
    // Insertion block 1 (DISTORTION after the reset) given to part 1, the song's channel:
    // the sine gains overtones. Given to part 6 it leaves the song untouched.
    const auto distorted = renderSong({kXgReset, xg(0x03, 0x00, 0x0C, 0x00)}, false, 0);
    EXPECT_EQ(renderSong({kXgReset, xg(0x03, 0x00, 0x0C, 0x05)}, false, 0), plain);
    auto overtones = [](const std::vector<double>& x) {
        const std::span<const double> note(x.data() + size_t(0.01 * kRate), size_t(0.03 * kRate));
        return magnitudeDb(note, kRate, 3 * 440.0) - magnitudeDb(note, kRate, 440.0);
    };
    EXPECT_GT(overtones(distorted), overtones(plain) + 20.0);

    // The variation (DELAY L,C,R) connected as an insertion into part 1 echoes the note
    // without any variation send; connected as a system effect it needs the send.
    const auto inserted = renderSong({kXgReset, xg(0x02, 0x01, 0x5B, 0x00)}, false, 0);
    EXPECT_GT(energy(inserted, 0.7, 1.5), 2e14);
    EXPECT_LT(energy(plain, 0.7, 1.5), 1e6);
    EXPECT_EQ(renderSong({kXgReset, xg(0x02, 0x01, 0x5B, 0x00), kXgVariationSystem}, false, 0),
              plain);
}

}  // namespace
}  // namespace svt::test
