// The channels on their own: what each controller, parameter and system-exclusive message
// leaves in the channel's state, and what it asks of the voices sounding on the channel.

#include "synth/ChannelController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instruments/Instrument.h"
#include "song/Sysex.h"

namespace svt {
namespace {

// Writes down every request to the voices as "name channel [argument]".
class RecordingVoices final : public ChannelVoices {
  public:
    std::vector<std::string> calls;

    void retune(int c) override { note("retune", c); }
    void restartVibrato(int c) override { note("restartVibrato", c); }
    void retemper(int c) override { note("retemper", c); }
    void repress(int c, int key) override { note("repress", c, key); }
    void relevel(int c) override { note("relevel", c); }
    void relevelAll() override { calls.push_back("relevelAll"); }
    void refilter(int c) override { note("refilter", c); }
    void retuneAndRelevel(int c) override { note("retuneAndRelevel", c); }
    void repan(int c, int panning, bool keep) override {
        note(keep ? "repan" : "repanAll", c, panning);
    }
    void releaseSustained(int c) override { note("releaseSustained", c); }
    void holdSounding(int c) override { note("holdSounding", c); }
    void allNotesOff(int c, bool held) override { note("allNotesOff", c, held ? 1 : 0); }
    void allSoundsOff(int c) override { note("allSoundsOff", c); }
    void stopGlides(int c) override { note("stopGlides", c); }

  private:
    void note(const char* what, int c, int argument = -1) {
        std::string s = std::string(what) + " " + std::to_string(c);
        if (argument >= 0) s += " " + std::to_string(argument);
        calls.push_back(s);
    }
};

// Effects whose modes the test sets; remembers what reached them.
class ModeRack final : public EffectRack {
  public:
    ReverbMode reverb{3};
    int chorus = 1;
    std::vector<std::array<int, 5>> parameters;

    ReverbMode reverbMode() const override { return reverb; }
    int chorusMode() const override { return chorus; }
    bool busActive(EffectBus) const override { return false; }
    void send(EffectBus, StereoView<const int64_t>, int) override {}
    void process(StereoView<int64_t>) override {}
    void resetEffects(int) override {}
    void clearTails() override {}
    void parameter(int type, int code, int value, int group, int block) override {
        parameters.push_back({type, code, value, group, block});
    }
    void setChannelEq(int, int, int, int, int) override {}
};

struct Channels {
    EngineSettings settings;
    RecordingVoices voices;
    ChannelController controller{settings, voices};

    Channels() { controller.resetChannels(); }
    void event(uint8_t type, int channel, int a, int b = 0) {
        controller.apply(SongEvent{0, type, uint8_t(channel), uint8_t(a), uint8_t(b)});
    }
    void parameter(bool registered, int msb, int lsb, int value, int channel = 0) {
        event(registered ? EV_RPN_MSB : EV_NRPN_MSB, channel, msb);
        event(registered ? EV_RPN_LSB : EV_NRPN_LSB, channel, lsb);
        event(EV_DATA_ENTRY_MSB, channel, value);
    }
    std::vector<std::string> take() { return std::exchange(voices.calls, {}); }
};

using Calls = std::vector<std::string>;

// (Volume, pan, the pedals, portamento and the all-off messages on sounding notes are heard in
// SynthesizerTest.)
TEST(ChannelController, ControllersReachTheSoundingVoices) {
    struct Case {
        const char* what;
        uint8_t type;
        int a, b;
        Calls expected;
    } cases[] = {
        {"pitch bend", EV_PITCH_BEND, 0, 96, {"retune 3"}},
        {"modulation wheel", EV_MODULATION, 40, 0, {"restartVibrato 3"}},
        {"brightness", EV_BRIGHTNESS, 90, 0, {"refilter 3"}},
        {"scale tuning", EV_SCALE_TUNING, 4, 10, {"retune 3"}},
        {"reset controllers", EV_RESET_CONTROLLERS, 0, 0, {"retuneAndRelevel 3"}},
        {"mono", EV_MONO, 0, 0, {"allNotesOff 3 0"}},
        {"key shift", EV_KEY_SHIFT, 70, 0, {"allSoundsOff 3"}},
        {"key shift to the one in effect", EV_KEY_SHIFT, 64, 0, {}},
        {"sustain down", EV_SUSTAIN, 127, 0, {}},
        {"bank select", EV_BANK_MSB, 8, 0, {}},
    };
    for (const Case& c : cases) {
        Channels ch;
        ch.event(c.type, 3, c.a, c.b);
        EXPECT_EQ(ch.take(), c.expected) << c.what;
    }
    // The sostenuto captures nothing on a drum channel. (How the pedals hold and let go of
    // notes: SynthesizerNotes.PedalsHoldUntilReleased.)
    Channels drums;
    drums.event(EV_SOSTENUTO, 9, 127);
    EXPECT_EQ(drums.take(), Calls{});
}

TEST(ChannelController, RegisteredParameters) {
    Channels ch;
    ch.parameter(true, 0, 0, 30);
    EXPECT_EQ(ch.controller.channel(0).parameterMsb[PARAM_BEND_RANGE], 24) << "bend range limit";
    EXPECT_EQ(ch.take(), Calls{"retune 0"});
    ch.parameter(true, 0, 2, 60);
    EXPECT_EQ(ch.controller.channel(0).parameterMsb[PARAM_COARSE_TUNING], 60);
    ch.event(EV_DATA_INCREMENT, 0, 0);
    EXPECT_EQ(ch.controller.channel(0).parameterMsb[PARAM_COARSE_TUNING], 61);
    // Increments and decrements stop at the ends of the range.
    ch.parameter(true, 0, 2, 127);
    ch.event(EV_DATA_INCREMENT, 0, 0);
    EXPECT_EQ(ch.controller.channel(0).parameterMsb[PARAM_COARSE_TUNING], 127);
    ch.parameter(true, 0, 1, 0);
    ch.event(EV_DATA_DECREMENT, 0, 0);
    EXPECT_EQ(ch.controller.channel(0).parameterMsb[PARAM_FINE_TUNING], 0);
    ch.take();

    // The null parameter locks data entry until the channel is reset.
    ch.parameter(true, 0x7F, 0x7F, 0);
    ch.parameter(true, 0, 0, 12);
    EXPECT_EQ(ch.controller.channel(0).parameterMsb[PARAM_BEND_RANGE], 24);
    EXPECT_EQ(ch.take(), Calls{});
    ch.controller.resetChannels();
    EXPECT_EQ(ch.controller.channel(0).parameterMsb[PARAM_BEND_RANGE], 2);
    ch.parameter(true, 0, 0, 12);
    EXPECT_EQ(ch.controller.channel(0).parameterMsb[PARAM_BEND_RANGE], 12);
}

TEST(ChannelController, NonRegisteredParametersAndDrumKeys) {
    Channels ch;
    const uint32_t before = ch.controller.drumSendsVersion();
    ch.parameter(false, 0x1D, 38, 100, 9);  // reverb of drum key 38
    EXPECT_EQ(ch.controller.channel(9).drumNotes[38].reverbSend, 100);
    EXPECT_NE(ch.controller.drumSendsVersion(), before) << "drum sends are regrouped";
    ch.parameter(false, 0x18, 38, 66, 9);  // coarse pitch of the key
    EXPECT_EQ(ch.controller.channel(9).drumNotes[38].coarsePitch, 2);
    EXPECT_EQ(ch.take(), Calls{"retune 9"});
    ch.parameter(false, 0x1A, 38, 80, 9);  // level: 16 steps above 64 double it
    EXPECT_FLOAT_EQ(ch.controller.channel(9).drumNotes[38].level, 2.0f);
    ch.parameter(false, 0x01, 0x20, 100);  // cutoff
    EXPECT_EQ(ch.controller.channel(0).cutoffOffset, 36);
    ch.parameter(false, 0x01, 0x63, 80);  // attack time
    EXPECT_EQ(ch.controller.channel(0).envelopeRateOverride[ENV_ATTACK], 80);
}

TEST(ChannelController, ProgramChangesBySystemMode) {
    struct Case {
        const char* what;
        int mode;
        int bankMsb, bankLsb;
        bool drum;
        int bank;
    } cases[] = {
        {"GM: the bank MSB", SYSTEM_GM_OFF, 8, 3, false, 8},
        {"XG: the bank LSB", SYSTEM_XG_ON, 0, 3, false, 3},
        {"XG: MSB 127 makes a drum part", SYSTEM_XG_ON, 127, 0, true, 25},
        {"GM2: MSB 120 makes a drum part", SYSTEM_GM2_ON, 120, 0, true, 25},
        {"GM2: the bank LSB", SYSTEM_GM2_ON, 121, 5, false, 5},
    };
    for (const Case& c : cases) {
        Channels ch;
        ch.controller.setSystemMode(c.mode);
        ch.controller.resetChannels();
        ch.event(EV_BANK_MSB, 2, c.bankMsb);
        ch.event(EV_BANK_LSB, 2, c.bankLsb);
        ch.event(EV_PROGRAM, 2, 25);
        EXPECT_EQ(ch.controller.isDrum(2), c.drum) << c.what;
        EXPECT_EQ(ch.controller.channel(2).bank, c.bank) << c.what;
        EXPECT_EQ(ch.controller.channel(2).program, 25) << c.what;
    }
    // A program change on a drum channel selects the drum set.
    Channels ch;
    ch.event(EV_PROGRAM, 9, 5);
    EXPECT_EQ(ch.controller.channel(9).bank, 5);
    // A reset brings back the drum channels the song started with.
    ch.controller.setDefaultDrumChannels(1u << 4);
    ch.controller.resetChannels();
    EXPECT_EQ(ch.controller.drumChannelMask(), 1u << 4);
    ch.event(EV_DRUM_PART, 0, 1);
    EXPECT_EQ(ch.controller.drumChannelMask(), (1u << 4) | 1u);
    ch.controller.resetChannels();
    EXPECT_EQ(ch.controller.drumChannelMask(), 1u << 4);
}

TEST(ChannelController, EffectModesAndParametersGoThroughTheRack) {
    using namespace sysex_code;
    Channels ch;
    ModeRack rack;
    ch.controller.setEffects(&rack);
    rack.reverb = ReverbMode(0);
    rack.chorus = 0;
    ch.event(EV_REVERB_SEND, 0, 100);
    ch.event(EV_CHORUS_SEND, 0, 100);
    EXPECT_EQ(ch.controller.channel(0).reverbLevel, -1) << "no reverb: the send is not kept";
    EXPECT_EQ(ch.controller.channel(0).chorusLevel, 0);
    rack.reverb = ReverbMode(3);
    rack.chorus = 1;
    ch.event(EV_REVERB_SEND, 0, 100);
    ch.event(EV_CHORUS_SEND, 0, 100);
    EXPECT_EQ(ch.controller.channel(0).reverbLevel, 100);
    EXPECT_EQ(ch.controller.channel(0).chorusLevel, 100);
    ch.controller.forgetReverbLevels();
    EXPECT_EQ(ch.controller.channel(0).reverbLevel, -1);

    // An XG effect parameter carries the group and unit of its pending first half, which
    // is used once.
    ch.event(EV_SYSEX_XG_MSB, 0, 1, kXgGroupInsertion);
    ch.event(EV_SYSEX_XG_LSB, 0, 77, 0x05);
    ch.event(EV_SYSEX_LSB, 0, 4, kReverbType);
    ASSERT_EQ(rack.parameters.size(), 2u);
    EXPECT_EQ(rack.parameters[0], (std::array<int, 5>{EV_SYSEX_XG_LSB, 0x05, 77, 2, 1}));
    EXPECT_EQ(rack.parameters[1], (std::array<int, 5>{EV_SYSEX_LSB, kReverbType, 4, 0, 0}));
    // (The channel's own equaliser: Equaliser.ChannelsWithTheSwitchOrAPartEqGoThroughIt.)
}

TEST(ChannelController, MasterVolumeAndRandomPan) {
    Channels ch;
    ch.event(EV_MASTER_VOLUME, 0, 0x00, 0x40);
    EXPECT_EQ(ch.controller.masterVolumeRatio(), 0x4000);
    EXPECT_EQ(ch.take(), Calls{"relevelAll"});
    ch.event(EV_RANDOM_PAN, 5, 0);
    const Calls calls = ch.take();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], "repanAll 5 " + std::to_string(ch.controller.channel(5).panning))
        << "a random pan moves every voice, drum keys with pans of their own too";
    ch.controller.resetChannels();
    EXPECT_EQ(ch.controller.masterVolumeRatio(), 0xFFFF);
}

}  // namespace
}  // namespace svt
