// What a song's channel settings do to its sound, heard through an engine playing whole songs:
// the GS curves, parts layered on one channel, temperaments and tunings, the controllers'
// destinations, filter resonance, drum keys switched off or grouped, the song kinds that are
// refused, and the instruments the user chose.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/Sf2Builder.h"
#include "support/Signal.h"
#include "support/SongRig.h"

namespace svt::test {
namespace {

constexpr int kRate = 44100;
constexpr int kDivision = 480;  // ticks per quarter: at 120 bpm 960 ticks are a second
constexpr uint32_t kSecond = 960;

// Program 0 a looped 440 Hz sine rooted at key 69, program 1 the same with a 2 s release,
// program 2 a 220 Hz saw (root key 57) through a 1 kHz low-pass; the drum kit plays the sine on
// every key but 36, which plays the filtered saw at 220 Hz, and drum keys sound at their own
// pitch.
std::vector<uint8_t> channelFont() {
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, kRate, 69));
    const int saw = sf.addSample(Sf2Builder::sawSample("saw", 220.0, kRate, 57));
    const int plain = sf.addInstrument("Sine");
    sf.instrumentZone(plain).keyRange(0, 127).loopMode(1).sample(sine);
    const int ringing = sf.addInstrument("Ringing sine");
    sf.instrumentZone(ringing)
        .loopMode(1)
        .gen(GEN_RELEASE_VOL_ENV, Sf2Builder::timecents(2.0))
        .sample(sine);
    const int filtered = sf.addInstrument("Saw through 1 kHz");
    sf.instrumentZone(filtered).loopMode(1).gen(GEN_INITIAL_FILTER_FC, 8324).sample(saw);
    sf.presetZone(sf.addPreset("Sine", 0, 0)).instrument(plain);
    sf.presetZone(sf.addPreset("Ringing sine", 0, 1)).instrument(ringing);
    sf.presetZone(sf.addPreset("Filtered saw", 0, 2)).instrument(filtered);
    // A kit's keys would otherwise each be tuned a step further from the root.
    const int kit = sf.addInstrument("Sine kit");
    sf.instrumentZone(kit).keyRange(0, 35).loopMode(1).rootKey(69).sample(sine);
    sf.instrumentZone(kit)
        .keyRange(36, 36)
        .loopMode(1)
        .rootKey(36)
        .gen(GEN_INITIAL_FILTER_FC, 8324)
        .sample(saw);
    sf.instrumentZone(kit).keyRange(37, 127).loopMode(1).rootKey(69).sample(sine);
    sf.presetZone(sf.addPreset("Sine kit", 128, 0)).instrument(kit);
    return sf.build();
}

struct Stereo {
    std::vector<double> left, right;

    // The left side (or the right) from `from` to `to` seconds.
    std::span<const double> span(double from, double to, bool rightSide = false) const {
        return between(rightSide ? right : left, from, to);
    }
    double level(double from, double to) const { return rms(span(from, to)); }
    double pitch(double from, double to) const {
        return pitchByZeroCrossings(span(from, to), kRate);
    }
};

// One engine over the test's font, without effects.
struct ChannelRig : SongRig {
    ChannelRig() : SongRig(channelFont()) {}
    Stereo play(const SmfBuilder& song, const std::string& name = "song.mid") {
        SongRig::play(song, name);
        return Stereo{side(0), side(1)};
    }
};

using Messages = std::vector<std::vector<uint8_t>>;

// A fresh rig playing the system-exclusive `setup` at the start, then what `notes` adds.
Stereo playSong(const Messages& setup, const std::function<void(SmfTrack&)>& notes) {
    ChannelRig rig;
    SmfBuilder song(0, kDivision);
    SmfTrack& t = song.track();
    for (const auto& message : setup) t.sysex(0, message);
    notes(t);
    t.endOfTrack();
    return rig.play(song);
}

// Half the distance in cents between the highest and the lowest single cycle (by rising zero
// crossings): a vibrato's depth.
double vibratoCents(std::span<const double> x) {
    std::vector<double> crossings, f;
    for (size_t i = 1; i < x.size(); ++i)
        if (x[i - 1] < 0 && x[i] >= 0)
            crossings.push_back(double(i - 1) + x[i - 1] / (x[i - 1] - x[i]));
    for (size_t i = 1; i < crossings.size(); ++i)
        f.push_back(kRate / (crossings[i] - crossings[i - 1]));
    if (f.size() < 2) return 0;
    const auto [low, high] = std::minmax_element(f.begin(), f.end());
    return 1200.0 * std::log2(*high / *low) / 2.0;
}

double cents(double high, double low) {
    return 1200.0 * std::log2(high / low);
}

std::vector<uint8_t> gsReset() {
    return gsDataSet({0x40, 0x00, 0x7F, 0x00});
}

// 43 10 4C ah am al dd F7.
std::vector<uint8_t> xgParameter(int high, int mid, int low, int value) {
    return {0x43, 0x10, 0x4C, uint8_t(high), uint8_t(mid), uint8_t(low), uint8_t(value), 0xF7};
}

TEST(ChannelSound, GsModeUsesItsOwnVelocityAndVolumeCurves) {
    // The same note in GS mode and without a system mode; only the curves differ.
    struct Case {
        int velocity, volume;
        double gsOverDefault;  // from the curves' fixed points
    };
    const double default64 = 127.0 * std::pow(64.0 / 127.0, 1.66096404744);
    for (const Case c : {Case{64, 127, 37.9907 / default64}, Case{127, 64, 32.3738 / default64},
                         Case{127, 127, 1.0}}) {
        auto level = [&](bool gs) {
            return playSong(gs ? Messages{gsReset()} : Messages{},
                            [&](SmfTrack& t) {
                                t.controller(0, 0, 7, c.volume).noteOn(0, 0, 69, c.velocity);
                                t.noteOff(kSecond, 0, 69);
                            })
                .level(0.2, 0.9);
        };
        EXPECT_NEAR(level(true) / level(false), c.gsOverDefault, 0.01 * c.gsOverDefault)
            << "velocity " << c.velocity << ", volume " << c.volume;
    }
}

TEST(ChannelSound, PartsListenToTheChannelsTheSongGivesThem) {
    struct Case {
        const char* name;
        Messages setup;
        int noteChannel;
        double levelRatio;  // against one part playing the note
    };
    const std::vector<uint8_t> part2OnChannel1 = gsDataSet({0x40, 0x12, 0x02, 0x00});
    const std::vector<Case> cases = {
        // Velocity, volume and expression at 127 sound alike in every system mode.
        {"plain", {}, 0, 1.0},
        // Part 2 (block 2) receives channel 1 as well: two sines in phase, twice the level.
        {"GS part 2 on channel 1", {gsReset(), part2OnChannel1}, 0, 2.0},
        {"GS part 2 no longer hears its own channel", {gsReset(), part2OnChannel1}, 1, 0.0},
        {"GS part 1 receives nothing", {gsReset(), gsDataSet({0x40, 0x11, 0x02, 0x10})}, 0, 0.0},
        {"XG part 3 on channel 1", {xgParameter(0x08, 0x02, 0x04, 0x00)}, 0, 2.0},
        {"XG part 1 receives nothing", {xgParameter(0x08, 0x00, 0x04, 0x7F)}, 0, 0.0},
    };
    double one = 0;
    for (const Case& c : cases) {
        const double level = playSong(c.setup, [&](SmfTrack& t) {
                                 for (int ch = 0; ch < 3; ++ch)
                                     t.controller(0, ch, 7, 127).program(0, ch, 0);
                                 t.noteOn(kSecond / 4, c.noteChannel, 69, 127);
                                 t.noteOff(kSecond, c.noteChannel, 69);
                             }).level(0.2, 0.9);
        if (one == 0) one = level;
        ASSERT_GT(one, 0);
        EXPECT_NEAR(level / one, c.levelRatio, 0.02) << c.name;
    }
}

TEST(ChannelSound, TemperamentsPlaceTheThirdsByTheirTables) {
    struct Case {
        const char* name;
        Messages setup;
        int lower, upper;
        double interval;  // cents
    };
    const auto type = [](int t) {
        return std::vector<uint8_t>{0x7E, 0x7F, 0x08, 0x0B, 0x00, uint8_t(t), 0xF7};
    };
    const double pythagoreanThird = 4 * 1200.0 * std::log2(1.5) - 2400.0;
    const double pureMinorThird = 1200.0 * std::log2(1.2);
    // A minor (no sharps, minor) as the temperament's key.
    const std::vector<uint8_t> aMinor = {0x7E, 0x7F, 0x08, 0x0A, 0x00, 0x01, 0xF7};
    // A user temperament raising the third degree by 20 cents.
    const std::vector<uint8_t> userTemperament = {
        0x7E, 0x7F, 0x08, 0x0D, 0x00, 0x00, 64, 64, 64, 64, 84, 64, 64, 64, 64, 64, 64, 64, 0xF7};
    const std::vector<Case> cases = {
        {"equal", {}, 60, 64, 400.0},
        {"Pythagorean", {type(1)}, 60, 64, pythagoreanThird},
        {"pure minor third in A minor", {type(3), aMinor}, 57, 60, pureMinorThird},
        {"user temperament", {userTemperament, type(0x40)}, 60, 64, 420.0},
    };
    for (const Case& c : cases) {
        const Stereo out = playSong(c.setup, [&](SmfTrack& t) {
            t.noteOn(0, 0, c.lower, 100).noteOff(kSecond, 0, c.lower);
            t.noteOn(0, 0, c.upper, 100).noteOff(kSecond, 0, c.upper);
        });
        // Each pitch is as exact as a sample increment of 12 fraction bits allows.
        EXPECT_NEAR(cents(out.pitch(1.2, 1.9), out.pitch(0.2, 0.9)), c.interval, 1.0) << c.name;
    }
}

// A tuning bulk dump of program `program`: key 69 a quarter tone up, every other key as it is.
std::vector<uint8_t> tuningDump(int program) {
    std::vector<uint8_t> m = {0x7E, 0x7F, 0x08, 0x01, uint8_t(program)};
    m.insert(m.end(), 16, ' ');
    for (int key = 0; key < 128; ++key) {
        if (key == 69) {
            m.insert(m.end(), {69, 0x40, 0x00});  // 8192 / 16384 of a semitone
        } else {
            m.insert(m.end(), {0x7F, 0x7F, 0x7F});
        }
    }
    m.insert(m.end(), {0x00, 0xF7});
    return m;
}

TEST(ChannelSound, TuningMessagesRetuneTheirKeys) {
    const double quarterUp = 440.0 * std::exp2(0.5 / 12.0);
    struct Case {
        const char* name;
        Messages setup;
        bool tuningProgram1;
        double before, after;  // Hz in the first and in the second half of the note
    };
    // Real-time single-note change of program 0: key 69 a quarter tone down, heard at once.
    const std::vector<uint8_t> single = {0x7F, 0x7F, 0x08, 0x02, 0x00, 0x01,
                                         69,   68,   0x40, 0x00, 0xF7};
    const std::vector<Case> cases = {
        {"bulk dump", {tuningDump(0)}, false, quarterUp, quarterUp},
        {"that program chosen", {tuningDump(1)}, true, quarterUp, quarterUp},
        {"single note while it sounds", {}, false, 440.0, 440.0 * std::exp2(-0.5 / 12.0)},
    };
    for (const Case& c : cases) {
        const Stereo out = playSong(c.setup, [&](SmfTrack& t) {
            if (c.tuningProgram1)
                t.controller(0, 0, 101, 0).controller(0, 0, 100, 3).controller(0, 0, 6, 1);
            t.noteOn(0, 0, 69, 100);
            if (c.setup.empty()) t.sysex(kSecond, single);
            t.noteOff(c.setup.empty() ? kSecond : 2 * kSecond, 0, 69);
        });
        EXPECT_NEAR(out.pitch(0.2, 0.9), c.before, 0.15) << c.name;
        EXPECT_NEAR(out.pitch(1.1, 1.9), c.after, 0.15) << c.name;
    }
}

// How far a short-window measure swings over `x`: the largest against the smallest, in dB.
double swingDb(std::span<const double> x,
               const std::function<double(std::span<const double>)>& of) {
    const size_t window = kRate / 50;
    double low = 1e300, high = 0;
    for (size_t at = 0; at + window <= x.size(); at += window / 2) {
        const double value = of(x.subspan(at, window));
        low = std::min(low, value);
        high = std::max(high, value);
    }
    return 20 * std::log10(high / std::max(low, 1e-12));
}

TEST(ChannelSound, PressureDrivesVibratoLevelAndTheChannelLfos) {
    // GS part 1's pressure records (40 21 2x for the channel, 40 21 3x for the key) at full
    // pressure: LFO1 pitch depth 40 (78 cents), the level down to half, the first LFO's filter
    // (25) and level (26) depths, the second LFO's pitch (28). Level depth 64 takes half the
    // level away at the trough (6 dB of swing); filter depth 64 is 696 cents each way, which
    // moves the saw's partial at 2200 Hz, above the 1 kHz cutoff.
    struct Case {
        const char* name;
        int program, address, value;
        bool keyPressure;
        // After the pressure, -1 where not judged: the vibrato's depth in cents, the level
        // against the level before, and the swings of the level and of the saw's partial.
        double vibrato, levelRatio, levelSwingDb, partialSwingDb;
    };
    const double depth = int(0.0318 * 40 * 40 + 0.6858 * 40 + 0.5);
    const double levelSwing = -20 * std::log10(1 - 64.0 / 127);
    const std::vector<Case> cases = {
        {"LFO1 pitch", 0, 0x24, 40, false, depth, 1.0, -1, -1},
        {"LFO1 pitch by the key's pressure", 0, 0x34, 40, true, depth, 1.0, -1, -1},
        {"level", 0, 0x22, 32, false, 0.0, 0.5, -1, -1},
        {"LFO1 level", 0, 0x26, 64, false, 0.0, -1, levelSwing, -1},
        {"LFO2 pitch", 0, 0x28, 40, false, depth, -1, 0.0, -1},
        {"LFO1 filter", 2, 0x25, 64, false, -1, -1, -1, 10},
    };
    auto level = [](std::span<const double> w) { return rms(w); };
    auto partial = [](std::span<const double> w) {
        return std::pow(10.0, magnitudeDb(w, kRate, 2200) / 20);
    };
    for (const Case& c : cases) {
        const int key = c.program == 2 ? 57 : 69;
        const Messages setup = {gsReset(), gsDataSet({0x40, 0x21, c.address, c.value})};
        const Stereo out = playSong(setup, [&](SmfTrack& t) {
            t.program(0, 0, c.program).noteOn(0, 0, key, 100);
            if (c.keyPressure)
                t.keyPressure(kSecond, 0, key, 127);
            else
                t.channelPressure(kSecond, 0, 127);
            t.noteOff(2 * kSecond, 0, key);
        });
        const auto before = out.span(0.3, 0.95), after = out.span(1.3, 2.9);
        if (c.vibrato >= 0) {
            EXPECT_LT(vibratoCents(before), 1.0) << c.name << ": moves before the pressure";
            EXPECT_NEAR(vibratoCents(after), c.vibrato, 2.0 + 0.15 * c.vibrato) << c.name;
        }
        if (c.levelRatio >= 0) {
            EXPECT_NEAR(out.level(1.3, 2.9) / out.level(0.3, 0.95), c.levelRatio, 0.02) << c.name;
        }
        if (c.levelSwingDb >= 0) {
            EXPECT_LT(swingDb(before, level), 0.3) << c.name << ": moves before the pressure";
            EXPECT_NEAR(swingDb(after, level), c.levelSwingDb, 1.0) << c.name;
            // Taken away, never added: the loudest moments stay at the note's own level.
            EXPECT_LT(out.level(1.3, 2.9), out.level(0.3, 0.95) * 1.01) << c.name;
        }
        if (c.partialSwingDb >= 0) {
            EXPECT_LT(swingDb(before, partial), 1.0) << c.name;
            EXPECT_GT(swingDb(after, partial), c.partialSwingDb) << c.name;
        }
    }
}

TEST(ChannelSound, TheWheelAndTheResonanceReachTheFilter) {
    // The filtered saw at 220 Hz (key 57 of program 2, key 36 of the kit): its fourth harmonic
    // (880 Hz) lies just below the 1 kHz cutoff, its tenth (2200 Hz) well above it.
    struct Case {
        const char* name;
        int channel, key;
        Messages sysex;
        std::vector<std::array<int, 2>> controllers;  // after the first second
        double near, far;                             // dB of change at 880 and 2200 Hz
    };
    // The wheel's cutoff destination (GS 40 21 01): -4800 cents at full wheel.
    const Messages wheelToCutoff = {gsReset(), gsDataSet({0x40, 0x21, 0x01, 32})};
    const std::vector<Case> cases = {
        {"wheel to cutoff", 0, 57, wheelToCutoff, {{1, 127}}, -20, -20},
        {"harmonic content", 0, 57, {}, {{71, 127}}, 3, 0},
        {"resonance parameter", 0, 57, {}, {{99, 0x01}, {98, 0x21}, {6, 127}}, 3, 0},
        {"resonance of the drum key", 9, 36, {}, {{99, 0x15}, {98, 36}, {6, 127}}, 3, 0},
        {"resonance of another drum key", 9, 36, {}, {{99, 0x15}, {98, 38}, {6, 127}}, -0.5, 0.5},
    };
    for (const Case& c : cases) {
        const Stereo out = playSong(c.sysex, [&](SmfTrack& t) {
            t.program(0, c.channel, c.channel == 9 ? 0 : 2).noteOn(0, c.channel, c.key, 100);
            for (size_t i = 0; i < c.controllers.size(); ++i)
                t.controller(i == 0 ? kSecond : 0, c.channel, c.controllers[i][0],
                             c.controllers[i][1]);
            t.noteOff(kSecond, c.channel, c.key);
        });
        const auto before = out.span(0.2, 0.9), after = out.span(1.2, 1.9);
        const double nearChange = magnitudeDb(after, kRate, 880) - magnitudeDb(before, kRate, 880);
        const double farChange = magnitudeDb(after, kRate, 2200) - magnitudeDb(before, kRate, 2200);
        if (c.near > 0) {
            EXPECT_GT(nearChange, c.near) << c.name;
            EXPECT_LT(farChange, 1.0) << c.name;
        } else if (c.far > 0) {  // nothing changes
            EXPECT_NEAR(nearChange, 0, c.far) << c.name;
            EXPECT_NEAR(farChange, 0, c.far) << c.name;
        } else {
            EXPECT_LT(nearChange, c.near) << c.name;
            EXPECT_LT(farChange, c.far) << c.name;
        }
    }
}

TEST(ChannelSound, DrumKeysSwitchedOffStaySilentOnThePartsThatPlayTheirSet) {
    // Channel 3 becomes a drum part on the second set (GS map 2, XG drum set-up 2); a key is
    // switched off in one set. Both parts play the key: only the part on that set is silent.
    const std::vector<uint8_t> gsMap2 = gsDataSet({0x40, 0x13, 0x15, 2});
    const std::vector<uint8_t> xgSetup2 = xgParameter(0x08, 0x02, 0x07, 3);
    const std::vector<uint8_t> gsKey57Off = gsDataSet({0x41, 0x08, 57, 0x00});
    const std::vector<uint8_t> gsKey57On = gsDataSet({0x41, 0x08, 57, 0x01});
    struct Case {
        const char* name;
        Messages setup;
        int key;
        int channel10, channel3;  // the key heard (1) or not (0); -1 not judged
    };
    const std::vector<Case> cases = {
        {"GS map 2", {gsReset(), gsMap2, gsDataSet({0x41, 0x18, 57, 0x00})}, 57, 1, 0},
        {"GS map 1", {gsReset(), gsMap2, gsKey57Off}, 57, 0, 1},
        {"GS switched on again", {gsReset(), gsKey57Off, gsKey57On}, 57, 1, -1},
        {"XG set-up 1", {xgParameter(0x30, 64, 0x0A, 0x00)}, 64, 0, -1},
        // The key's switch waits for the part to take the set up.
        {"XG set-up 2", {xgParameter(0x31, 57, 0x0A, 0x00), xgSetup2}, 57, 1, 0},
    };
    for (const Case& c : cases) {
        for (const int channel : {9, 2}) {
            const int expected = channel == 9 ? c.channel10 : c.channel3;
            if (expected < 0) continue;
            const bool heard = playSong(c.setup, [&](SmfTrack& t) {
                                   // An XG part plays drums from bank 127, whatever its mode.
                                   t.controller(0, 2, 0, c.name[0] == 'X' ? 127 : 0);
                                   t.program(0, 2, 0).noteOn(kSecond / 8, channel, c.key, 100);
                                   t.noteOff(kSecond, channel, c.key);
                               }).level(0.3, 0.9) > 100.0;
            EXPECT_EQ(heard, expected == 1) << c.name << ", channel " << channel + 1;
        }
    }
}

TEST(ChannelSound, AlternateGroupsCutTheKeysOfTheirGroup) {
    // XG drum setup 1, alternate group of a key: 30 kk 03 gg.
    auto group = [](int key, int g) { return xgParameter(0x30, key, 0x03, g); };
    struct Case {
        const char* name;
        Messages groups;
        int first, second;
        bool firstCut;
    };
    const std::vector<Case> cases = {
        {"closed and open hi-hat", {}, 42, 46, true},
        {"one of them in a group", {group(57, 5)}, 57, 64, false},
        {"both in the song's group", {group(57, 5), group(64, 5)}, 57, 64, true},
        {"the hi-hats taken apart", {group(42, 0)}, 42, 46, false},
    };
    for (const Case& c : cases) {
        const Stereo out = playSong(c.groups, [&](SmfTrack& t) {
            t.noteOn(0, 9, c.first, 100).noteOn(kSecond / 2, 9, c.second, 100);
            t.noteOff(kSecond, 9, c.first).noteOff(0, 9, c.second);
        });
        const double firstHz = 440.0 * std::exp2((c.first - 69) / 12.0);
        const auto before = out.span(0.1, 0.45), after = out.span(0.7, 1.4);
        const double drop =
            magnitudeDb(before, kRate, firstHz) - magnitudeDb(after, kRate, firstHz);
        EXPECT_EQ(drop > 30, c.firstCut) << c.name << ": " << drop << " dB";
    }
}

TEST(ChannelSound, SostenutoCatchesNotesAlreadyReleased) {
    struct Case {
        const char* name;
        bool pedal;
        double minRatio, maxRatio;  // level 1.5 s after the release against just before it
    };
    // Caught, the note no longer follows its 2 s release (gone by then) but fades as a
    // pedalled note does, over the default sustain time.
    for (const Case c : {Case{"without the pedal", false, 0.0, 0.01},
                         Case{"pedal after the release", true, 0.02, 0.5}}) {
        const Stereo out = playSong({}, [&](SmfTrack& t) {
            t.program(0, 0, 1).noteOn(0, 0, 69, 100).noteOff(kSecond, 0, 69);
            t.controller(kSecond / 20, 0, 66, c.pedal ? 127 : 0).controller(2 * kSecond, 0, 66, 0);
        });
        const double ratio = out.level(2.4, 2.6) / out.level(0.8, 0.95);
        EXPECT_GE(ratio, c.minRatio) << c.name;
        EXPECT_LE(ratio, c.maxRatio) << c.name;
    }
}

TEST(ChannelSound, OtherSongKindsAreRefusedByName) {
    struct Case {
        const char* name;
        std::string fileName;
        std::vector<uint8_t> head;
        const char* reason;
    };
    auto bytes = [](const std::string& text) {
        std::vector<uint8_t> b(text.begin(), text.end());
        b.resize(2048, 0);
        return b;
    };
    std::vector<uint8_t> protracker(2048, 0);
    std::memcpy(protracker.data() + 1080, "M.K.", 4);
    const std::vector<Case> cases = {
        {"RCP", "song.rcp", bytes("RCM-PC98V2.0(C)COME ON MUSIC"), "RCP songs are not supported"},
        {"G36", "song.g36", bytes("COME ON MUSIC RECOMPOSER"), "RCP songs are not supported"},
        {"ringtone", "tone.mld", bytes("melo"), "ringtone"},
        {"module by its name", "tune.xm", bytes("nothing to see"), "tracker modules"},
        {"module by its mark", "tune.bin", protracker, "tracker modules are not supported"},
        {"anything else", "text.mid", bytes("hello"), "not a MIDI file"},
    };
    for (const Case& c : cases) {
        ChannelRig rig;
        const std::string path = rig.dir.write(c.fileName, c.head);
        EXPECT_EQ(rig.engine.playFile(path), CmdError) << c.name;
        EXPECT_NE(rig.engine.player().lastError().find(c.reason), std::string::npos)
            << c.name << ": " << rig.engine.player().lastError();
    }
}

TEST(ChannelSound, PartSettingsReachTheChannel) {
    ChannelRig rig;
    SmfBuilder song(0, kDivision);
    song.track()
        .sysex(0, gsReset())
        .sysex(0, gsDataSet({0x40, 0x11, 0x17, 0x0C}))  // pitch offset fine: +7.6 Hz
        .sysex(0, gsDataSet({0x40, 0x41, 0x01, 0x02}))  // tone map 2, taken up by a program
        .program(0, 0, 0)
        .noteOn(0, 0, 69, 100)
        .noteOff(kSecond, 0, 69)
        .endOfTrack();
    const Stereo out = rig.play(song);
    EXPECT_NEAR(out.pitch(0.2, 0.9), 447.6, 0.05);
    const ChannelState& melodic = rig.engine.synthesizer().channel(0);
    EXPECT_EQ(melodic.toneMap, 2);
    EXPECT_EQ(melodic.mapIdentity, 3);  // the second GS map
}

TEST(ChannelSound, DrumChannelsAndInstrumentsTheUserChoseStayAsChosen) {
    // An XG song makes channel 2 a drum channel; transposed melodic notes and untransposed
    // drum keys tell them apart. Channel 1 asks for the plain sine; the user's choice is the sine
    // with the 2 s release, which nothing in the song names: it rings on only when loaded.
    SmfBuilder song(0, kDivision);
    song.track()
        .sysex(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7})
        .controller(0, 1, 0, 127)
        .program(0, 1, 0)
        .program(0, 0, 0)
        .noteOn(0, 1, 69, 100)
        .noteOff(kSecond, 1, 69)
        .noteOn(kSecond / 2, 0, 69, 100)
        .noteOff(kSecond, 0, 69)
        .endOfTrack();
    for (const bool chosen : {false, true}) {
        ChannelRig rig;
        rig.engine.player().options().startKeyOffset = 12;
        rig.engine.songInput().options().conversion.programChoices[0] = chosen ? 1 : -1;
        const std::string path = rig.dir.write("song.mid", song.build());
        SongInfo* info = rig.engine.songInput().infos().find(path, true);
        if (chosen) info->drumLock = 1u << 1;
        const Stereo out = rig.play(song);
        EXPECT_NEAR(out.pitch(0.2, 0.9), chosen ? 880.0 : 440.0, 0.5) << chosen;
        EXPECT_EQ((info->drumMask >> 1) & 1u, chosen ? 0u : 1u) << chosen;
        const double held = out.level(1.7, 2.4);
        ASSERT_GT(held, 0.0) << chosen;
        EXPECT_EQ(out.level(2.8, 3.1) > 0.1 * held, chosen) << chosen;
    }
}

TEST(ChannelSound, ACompressedFontKeepsTheRegionsOfTheKeysThatSound) {
    // Keys up to 59 play the sine at their own pitch, keys from 60 a fifth above theirs.
    Sf2Builder sf;
    // Two samples: a region whose sample is decoded anyway would be kept whatever is played.
    const int low = sf.addSample(Sf2Builder::sineSample("low", 440.0, kRate, 69));
    const int high = sf.addSample(Sf2Builder::sineSample("high", 440.0, kRate, 69));
    const int split = sf.addInstrument("Split");
    sf.instrumentZone(split).keyRange(0, 59).loopMode(1).sample(low);
    sf.instrumentZone(split).keyRange(60, 127).loopMode(1).gen(GEN_COARSE_TUNE, 7).sample(high);
    sf.presetZone(sf.addPreset("Split", 0, 0)).instrument(split);
    sf.compress();
    const std::vector<uint8_t> font = sf.build();
    const double key64 = 440.0 * std::exp2((64 - 69) / 12.0);
    struct Case {
        const char* name;
        Messages setup;
        int startKeyOffset;
        double hz;  // key 40 on channel 0
    };
    const std::vector<Case> cases = {
        {"as written", {}, 0, key64 / 4},
        {"GS key shift of two octaves",
         {gsReset(), gsDataSet({0x40, 0x11, 0x16, 88})},
         0,
         key64 * 1.5},
        {"XG part note shift", {xgParameter(0x08, 0x00, 0x08, 88)}, 0, key64 * 1.5},
        {"a part that receives the channel, shifted",
         {gsReset(), gsDataSet({0x40, 0x11, 0x02, 0x10}), gsDataSet({0x40, 0x12, 0x02, 0x00}),
          gsDataSet({0x40, 0x12, 0x16, 88})},
         0,
         key64 * 1.5},
        {"the listener's transposition", {}, 24, key64 * 1.5},
        // Real-time single-note change of tuning program 0, which every channel starts with.
        {"a MIDI tuning message moving key 40 to key 64",
         {{0x7F, 0x7F, 0x08, 0x02, 0x00, 0x01, 40, 64, 0x00, 0x00, 0xF7}},
         0,
         key64 * 1.5},
    };
    for (const Case& c : cases) {
        SongRig rig(font);
        rig.engine.player().options().startKeyOffset = c.startKeyOffset;
        SmfBuilder song(0, kDivision);
        SmfTrack& t = song.track();
        for (const auto& message : c.setup) t.sysex(0, message);
        t.noteOn(kSecond / 4, 0, 40, 127).noteOff(kSecond, 0, 40).endOfTrack();
        rig.play(song);
        const double hz = pitchByZeroCrossings(between(rig.side(0), 0.5, 1.0), kRate);
        EXPECT_NEAR(cents(hz, c.hz), 0.0, 5.0) << c.name << ": " << hz << " Hz";
    }
}

}  // namespace
}  // namespace svt::test
