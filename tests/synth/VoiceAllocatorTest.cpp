// The voice table on its own: which voices a new note cuts, which slot it gets, the order in
// which voices are stolen from a full table, and how note-offs find their note-ons.

#include "synth/VoiceAllocator.h"

#include <gtest/gtest.h>

namespace svt {
namespace {

struct Table {
    VoiceAllocator voices;
    ChannelState channel;
    SampleRegion fixedDrum;

    Table() {
        voices.reset();
        fixedDrum.fixedNote = 36;
    }
    // Starts a voice as the synthesizer would after reserving its slot.
    int start(int c, int key, uint8_t status = kVoiceOn, int32_t loudness = 100,
              bool drum = false) {
        const int slot = voices.reserve(c, key, channel, drum);
        if (slot < 0) return slot;
        Voice& v = voices.voice(slot);
        v.channel = uint8_t(c);
        v.note = uint8_t(key);
        v.status = status;
        v.leftMix = v.rightMix = loudness;
        v.drum = drum;
        return slot;
    }
    uint8_t status(int slot) { return voices.voice(slot).status; }
};

TEST(VoiceAllocator, ANewNoteCutsTheVoicesItReplaces) {
    struct Case {
        const char* what;
        int key;
        uint8_t status;  // of the voice sounding before
        int assignMode;
        bool mono;
        bool drum;
        int newKey;
        bool cut;
    } cases[] = {
        {"same key, still held", 60, kVoiceOn, 2, false, false, 60, false},
        {"same key, released", 60, kVoiceOff, 2, false, false, 60, true},
        {"same key, held by the pedal", 60, kVoiceSustained, 2, false, false, 60, true},
        {"other key", 60, kVoiceOff, 2, false, false, 61, false},
        {"mono: any key", 60, kVoiceOn, 2, true, false, 61, true},
        {"assign mode 0: the same key always", 60, kVoiceOn, 0, false, false, 60, true},
        {"closed hi-hat cuts the open one", 46, kVoiceOn, 2, false, true, 42, true},
        {"the same keys on a melodic channel", 46, kVoiceOn, 2, false, false, 42, false},
        {"a snare leaves the hi-hat", 46, kVoiceOn, 2, false, true, 38, false},
    };
    // The drum set's groups: the hi-hats cut each other.
    AlternateAssignTable groups;
    groups.group[42] = groups.group[46] = 1;
    for (const Case& c : cases) {
        Table t;
        t.channel.assignMode = int8_t(c.assignMode);
        t.channel.mono = c.mono ? 1 : 0;
        t.channel.alternateAssign = c.drum ? &groups : nullptr;
        const int first = t.start(0, c.key, c.status, 100, c.drum);
        const int second = t.start(0, c.newKey, kVoiceOn, 100, c.drum);
        EXPECT_NE(first, second) << c.what;
        EXPECT_EQ(t.status(first), c.cut ? kVoiceDying : c.status) << c.what;
    }
}

TEST(VoiceAllocator, AssignModeOneCutsOnlyAVoiceNoLongerFresh) {
    Table t;
    t.channel.assignMode = 1;
    const int first = t.start(0, 60);
    t.voices.voice(first).fresh = 1;
    const int second = t.start(0, 60);
    EXPECT_EQ(t.status(first), kVoiceOn) << "fresh: the note's own first voice";
    EXPECT_EQ(t.voices.voice(first).fresh, 0);
    t.start(0, 60);
    EXPECT_EQ(t.status(first), kVoiceDying);
    EXPECT_EQ(t.status(second), kVoiceDying) << "never marked fresh by this test";
}

TEST(VoiceAllocator, StealingFollowsTheLadder) {
    // The table is full of held voices at loudness 500 but for the voices of each case; the
    // next note takes the slot of the expected one.
    struct Voiced {
        uint8_t status;
        int32_t loudness;
        bool fixedDrum = false;
    };
    struct Case {
        const char* what;
        int stolen, cut, lost;
        std::vector<Voiced> special;  // in slots 0, 1, ...
    } cases[] = {
        {"quietest released", 1, 1, 0, {{kVoiceOff, 300}, {kVoiceOff, 200}, {kVoiceSustained, 10}}},
        // A released fixed drum waits for the dying.
        {"dying", 1, 1, 0, {{kVoiceOff, 10, true}, {kVoiceDying, 400}}},
        {"pedal-held before key-held", 0, 1, 0, {{kVoiceSustained, 400}}},
        {"then the quietest held, its note lost", 1, 0, 1, {{kVoiceOn, 20, true}, {kVoiceOn, 300}}},
        {"fixed drums last", 0, 0, 1, {}},
    };
    for (const Case& c : cases) {
        Table t;
        for (int slot = 0; slot < kMaxVoices; ++slot) {
            const bool special = size_t(slot) < c.special.size();
            const Voiced v = special ? c.special[size_t(slot)] : Voiced{kVoiceOn, 500};
            ASSERT_EQ(t.start(1 + slot / 128, slot % 128, v.status, v.loudness, v.fixedDrum), slot);
            if (v.fixedDrum) t.voices.voice(slot).region = &t.fixedDrum;
        }
        if (c.special.empty())
            for (int slot = 0; slot < kMaxVoices; ++slot) {
                t.voices.voice(slot).drum = true;
                t.voices.voice(slot).region = &t.fixedDrum;
                t.voices.voice(slot).leftMix = t.voices.voice(slot).rightMix = slot == 0 ? 50 : 500;
            }
        EXPECT_EQ(t.voices.reserve(0, 127, t.channel, false), c.stolen) << c.what;
        EXPECT_EQ(t.voices.cutNotes(), c.cut) << c.what;
        EXPECT_EQ(t.voices.lostNotes(), c.lost) << c.what;
        // The stolen voice dies away in a fade slot while its own slot serves the new note.
        int fading = 0;
        for (const Voice& v : t.voices.fades()) fading += v.status == kVoiceDying ? 1 : 0;
        EXPECT_EQ(fading, 1) << c.what;
        EXPECT_EQ(t.voices.voicesInUse(), kMaxVoices + 1) << c.what;
    }
}

TEST(VoiceAllocator, ASilentStolenVoiceNeedsNoFade) {
    Table t;
    for (int slot = 0; slot < kMaxVoices; ++slot) t.start(1 + slot / 128, slot % 128, kVoiceOff, 0);
    t.voices.reserve(0, 127, t.channel, false);
    for (const Voice& v : t.voices.fades()) EXPECT_FALSE(v.inUse());
}

TEST(VoiceAllocator, NoteOffsPairWithTheirNoteOnsInOrder) {
    VoiceAllocator voices;
    voices.reset();
    EXPECT_FALSE(voices.pairNoteOff(0, 60).has_value()) << "no note-on yet";
    EXPECT_EQ(voices.pairNoteOn(0, 60), 0);
    EXPECT_EQ(voices.pairNoteOn(0, 60), 1);
    EXPECT_EQ(voices.pairNoteOn(1, 60), 0) << "each channel and key counts for itself";
    EXPECT_EQ(voices.pairNoteOff(0, 60), 0);
    EXPECT_EQ(voices.pairNoteOff(0, 60), 1);
    EXPECT_FALSE(voices.pairNoteOff(0, 60).has_value());
    voices.clearPairing(1);
    EXPECT_FALSE(voices.pairNoteOff(1, 60).has_value());
    EXPECT_EQ(voices.pairNoteOn(1, 60), 0);
}

TEST(VoiceAllocator, LimitAndReduction) {
    Table t;
    t.voices.setVoiceLimit(3);
    const int held = t.start(0, 60, kVoiceOn, 10);
    const int loud = t.start(0, 61, kVoiceOff, 300);
    const int quiet = t.start(0, 62, kVoiceOff, 100);
    EXPECT_EQ(t.start(0, 63), quiet) << "the limit reached, the quietest released one goes";
    EXPECT_EQ(t.voices.cutQuietestReleased(5), 1) << "held notes are spared";
    EXPECT_FALSE(t.voices.voice(loud).inUse());
    EXPECT_EQ(t.status(held), kVoiceOn);
    t.voices.setVoiceLimit(0);
    EXPECT_EQ(t.voices.voiceLimit(), 1);
    t.voices.setVoiceLimit(10000);
    EXPECT_EQ(t.voices.voiceLimit(), kMaxVoices);
}

}  // namespace
}  // namespace svt
