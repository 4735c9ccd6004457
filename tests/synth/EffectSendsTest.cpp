// The sends on their own: which channels get a buffer of their own in a block, what each
// buffer sends to which bus at which level, and what of it stays dry.

#include "synth/EffectSends.h"

#include <gtest/gtest.h>

#include <vector>

#include "song/Sysex.h"
#include "support/SynthParts.h"

namespace svt {
namespace {

constexpr int kFrames = 64;
constexpr int kValues = 2 * kFrames;

// Effects whose buses the test switches on; remembers every send as (bus, first value, level).
class RecordingRack final : public EffectRack {
  public:
    std::array<bool, BUS_COUNT> active{};
    struct Send {
        EffectBus bus;
        int64_t first;
        int level;
        bool operator==(const Send&) const = default;
    };
    std::vector<Send> sends;
    int processed = 0;

    ReverbMode reverbMode() const override { return ReverbMode(3); }
    int chorusMode() const override { return 1; }
    bool busActive(EffectBus bus) const override { return active[size_t(bus)]; }
    void send(EffectBus bus, StereoView<const int64_t> block, int level) override {
        sends.push_back({bus, block[0], level});
    }
    void process(StereoView<int64_t>) override { ++processed; }
    void resetEffects(int) override {}
    void clearTails() override {}
    void parameter(int, int, int, int, int) override {}
};

struct Bench {
    test::SynthParts parts;
    RecordingRack rack;
    EffectSends sends{parts.settings, parts.channels};
    std::vector<int64_t> main = std::vector<int64_t>(kValues);

    Bench() {
        parts.channels.setEffects(&rack);
        sends.setEffects(&rack);
    }
    void event(uint8_t type, int channel, int a, int b = 0) {
        parts.channels.apply(SongEvent{0, type, uint8_t(channel), uint8_t(a), uint8_t(b)});
    }
    int64_t* target(int channel) {
        Voice v;
        v.channel = uint8_t(channel);
        v.note = 60;
        return sends.targetFor(v).data();
    }
    // Writes `value` into every value of the block channel `c` mixes into.
    void play(int c, int64_t value) { std::fill_n(target(c), kValues, value); }
};

TEST(EffectSends, ChannelsWithSendsOfTheirOwnGetBuffers) {
    Bench b;
    b.event(EV_CHORUS_SEND, 1, 50);
    EXPECT_FALSE(b.sends.route({b.main.data(), kFrames}, 0)) << "a send into a bus that is off";
    b.rack.active[BUS_CHORUS] = b.rack.active[BUS_REVERB] = true;
    b.event(EV_CHORUS_SEND, 2, 90);
    b.event(EV_SYSEX_XG_LSB, 3, 60, sysex_code::kXgDryLevel);
    ASSERT_TRUE(b.sends.route({b.main.data(), kFrames}, 0));
    EXPECT_EQ(b.target(0), b.main.data()) << "default sends: the main block";
    EXPECT_NE(b.target(1), b.main.data());
    EXPECT_NE(b.target(1), b.target(2));
    EXPECT_NE(b.target(3), b.main.data()) << "a dry level of its own";

    b.play(0, 1000);
    b.play(1, 127);
    b.play(2, 254);
    b.play(3, 127);
    b.sends.send({b.main.data(), kFrames}, 0);
    // The main block goes to the reverb at the default level first, before anything is
    // added to it; then each buffer to its chorus. No note has been struck, so no channel
    // feeds the reverb of its own.
    const std::vector<RecordingRack::Send> expected = {
        {BUS_REVERB, 1000, 40}, {BUS_CHORUS, 127, 50}, {BUS_CHORUS, 254, 90}};
    EXPECT_EQ(b.rack.sends, expected);
    EXPECT_EQ(b.rack.processed, 1);
    // Dry: channels 1 and 2 whole, channel 3 at 60/127.
    EXPECT_EQ(b.main[0], 1000 + 127 + 254 + 60);
    EXPECT_EQ(b.main[kValues - 1], 1000 + 127 + 254 + 60);
}

}  // namespace
}  // namespace svt
