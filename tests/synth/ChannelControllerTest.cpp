// The channels on their own: what each controller, parameter and system-exclusive message
// leaves in the channel's state, and what it asks of the voices sounding on the channel.

#include "synth/ChannelController.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instruments/Instrument.h"

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
    ch.parameter(false, 0x01, 0x64, 90);  // decay time
    EXPECT_EQ(ch.controller.channel(0).envelopeRateOverride[ENV_DECAY], 90);
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
