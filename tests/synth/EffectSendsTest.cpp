// The sends on their own: which channels and drum keys get a buffer of their own in a block,
// what each buffer sends to which bus at which level, and what of it stays dry.

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
    bool insertionOn = false;
    struct Send {
        EffectBus bus;
        int64_t first;
        int level;
        bool operator==(const Send&) const = default;
    };
    std::vector<Send> sends;
    int processed = 0;
    int64_t insertionFirst = 0;

    ReverbMode reverbMode() const override { return ReverbMode(3); }
    int chorusMode() const override { return 1; }
    bool busActive(EffectBus bus) const override { return active[size_t(bus)]; }
    void send(EffectBus bus, StereoView<const int64_t> block, int level) override {
        sends.push_back({bus, block[0], level});
    }
    void process(StereoView<int64_t>) override { ++processed; }
    bool insertionActive() const override { return insertionOn; }
    void insertion(StereoView<const int64_t> block, StereoView<int64_t>) override {
        insertionFirst = block[0];
    }
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
    int64_t* target(int channel, int key = 60) {
        Voice v;
        v.channel = uint8_t(channel);
        v.note = uint8_t(key);
        return sends.targetFor(v).data();
    }
    // Writes `value` into every value of the block channel `c` mixes into.
    void play(int c, int64_t value, int key = 60) { std::fill_n(target(c, key), kValues, value); }
};

TEST(ReverbMode, FromTheNumericOption) {
    using R = ReverbMode::Reverb;
    using L = ReverbMode::Levels;
    struct Case {
        int option;
        R reverb;
        L levels;
        int fixed;
        bool hears;
    } cases[] = {
        {0, R::Off, L::OneForAll, 0, false},
        {1, R::Standard, L::PerChannel, 0, true},
        {2, R::Standard, L::OneForAll, 0, false},
        {3, R::SongChooses, L::PerChannel, 0, true},
        {7, R::Standard, L::OneForAll, 0, false},
        {-40, R::SongChooses, L::Fixed, 40, true},
        {-(0x100 | 90), R::Standard, L::Fixed, 90, true},
        {-0x80, R::SongChooses, L::Fixed, 0, true},
    };
    for (const Case& c : cases) {
        const ReverbMode m(c.option);
        EXPECT_EQ(m.reverb, c.reverb) << c.option;
        EXPECT_EQ(m.levels, c.levels) << c.option;
        EXPECT_EQ(m.fixedLevel, c.fixed) << c.option;
        EXPECT_EQ(m.hearsChannels(), c.hears) << c.option;
        EXPECT_EQ(m.off(), c.option == 0) << c.option;
    }
}

TEST(EffectSends, NothingListeningEverythingGoesStraightOut) {
    Bench b;
    EXPECT_FALSE(b.sends.route({b.main.data(), kFrames}, 0));
    b.event(EV_CHORUS_SEND, 1, 50);
    EXPECT_FALSE(b.sends.route({b.main.data(), kFrames}, 0)) << "a send into a bus that is off";
    for (int c = 0; c < kChannels; ++c) EXPECT_EQ(b.target(c), b.main.data()) << c;

    EffectSends none{b.parts.settings, b.parts.channels};
    EXPECT_FALSE(none.route({b.main.data(), kFrames}, 0));
}

TEST(EffectSends, ChannelsWithSendsOfTheirOwnGetBuffers) {
    Bench b;
    b.rack.active[BUS_CHORUS] = b.rack.active[BUS_REVERB] = true;
    b.event(EV_CHORUS_SEND, 1, 50);
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

TEST(EffectSends, InsertionChannelsShareOneBuffer) {
    Bench b;
    b.rack.insertionOn = true;
    b.event(EV_SYSEX_GS_LSB, 4, 1, sysex_code::kGsInsertionSwitch);
    b.event(EV_SYSEX_GS_LSB, 5, 1, sysex_code::kGsInsertionSwitch);
    ASSERT_TRUE(b.sends.route({b.main.data(), kFrames}, 0));
    EXPECT_EQ(b.target(4), b.target(5));
    EXPECT_NE(b.target(4), b.main.data());
    b.play(4, 7);
    b.sends.send({b.main.data(), kFrames}, 0);
    EXPECT_EQ(b.rack.insertionFirst, 7);
}

TEST(EffectSends, DrumKeysWithSendsOfTheirOwn) {
    Bench b;
    b.rack.active[BUS_REVERB] = true;
    auto keyReverb = [&](int key, int level) {
        b.event(EV_NRPN_MSB, 9, 0x1D);
        b.event(EV_NRPN_LSB, 9, key);
        b.event(EV_DATA_ENTRY_MSB, 9, level);
    };
    keyReverb(38, 100);
    keyReverb(40, 100);
    keyReverb(42, 20);
    ASSERT_TRUE(b.sends.route({b.main.data(), kFrames}, 0));
    EXPECT_EQ(b.target(9, 38), b.target(9, 40)) << "the same sends share a buffer";
    EXPECT_NE(b.target(9, 38), b.target(9, 42));
    EXPECT_EQ(b.target(9, 36), b.main.data()) << "a key without sends of its own";

    // After a reset the keys have no sends of their own any more.
    b.parts.channels.resetChannels();
    ASSERT_TRUE(b.sends.route({b.main.data(), kFrames}, 0));
    EXPECT_EQ(b.target(9, 38), b.main.data());
}

}  // namespace
}  // namespace svt
