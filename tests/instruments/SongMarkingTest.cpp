// A song read from a MIDI file marks the slots its notes will sound; loading them
// before play gives every note its instrument, and nothing the song never plays.

#include <gtest/gtest.h>

#include "FontUnderTest.h"
#include "song/SmfReader.h"
#include "support/SmfBuilder.h"

namespace svt {
namespace {

using test::Sf2Builder;
using test::SmfBuilder;

std::vector<uint8_t> generalMidiLikeFont() {
    Sf2Builder sf;
    int s = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69, 1000));
    int n = sf.addSample(Sf2Builder::noiseSample("noise", 44100, 500));
    for (int program : {0, 25, 41, 50}) {
        int i = sf.addInstrument("inst " + std::to_string(program));
        sf.instrumentZone(i).loopMode(1).sample(s);
        sf.presetZone(sf.addPreset("program " + std::to_string(program), 0, program)).instrument(i);
    }
    int kit = sf.addInstrument("kit");
    sf.instrumentZone(kit).keyRange(35, 81).sample(n);
    sf.presetZone(sf.addPreset("Standard", kPercussionBank, 0)).instrument(kit);
    return sf.build();
}

TEST(SongMarking, NotesOfTheSongLoadTheirInstrumentsBeforePlay) {
    SmfBuilder smf(1, 480);
    smf.track().tempo(0, 500000).endOfTrack();
    smf.track()
        .program(0, 0, 41)
        .noteOn(0, 0, 60, 100)
        .noteOff(240, 0, 60)
        .controller(0, 1, 0, 8)  // bank 8 is not in the font: bank 0 plays
        .program(0, 1, 25)
        .noteOn(0, 1, 64, 100)
        .noteOff(240, 1, 64)
        .program(0, 2, 50)   // never sounds: must not be loaded
        .program(0, 3, 100)  // sounds, but the font lacks it
        .noteOn(0, 3, 67, 100)
        .noteOff(240, 3, 67)
        .noteOn(0, 9, 36, 100)
        .noteOn(0, 9, 38, 100)
        .noteOn(0, 9, 90, 100)  // outside the kit
        .endOfTrack(480);
    std::vector<uint8_t> font = generalMidiLikeFont();
    SoundFontRegistry registry(test::FontUnderTest::defaultSettings());
    registry.registerBytes("gm.sf2", font);
    InstrumentBanks banks(registry);
    banks.indexFonts();

    std::vector<uint8_t> song = smf.build();
    SongInfo info;
    EventList list;
    ReadOptions options;
    options.conversion.marker = &banks;
    InputStreamPtr stream = openMemoryStream(song, "song.mid");
    ASSERT_TRUE(readSong(*stream, info, list, options).ok());

    EXPECT_EQ(banks.loadMarkedInstruments(), 2);  // program 100 and drum key 90
    struct Expect {
        bool drum;
        int bank, slot;
        SlotState state;
        const char* name;
    };
    const Expect expected[] = {
        {false, 0, 41, SlotState::Loaded, "program 41"},
        {false, 0, 25, SlotState::Loaded, "program 25"},
        {false, 0, 50, SlotState::None, nullptr},
        {false, 0, 100, SlotState::Failed, nullptr},
        {true, 0, 36, SlotState::Loaded, "Standard"},
        {true, 0, 38, SlotState::Loaded, "Standard"},
        {true, 0, 90, SlotState::Failed, nullptr},
    };
    for (const Expect& e : expected) {
        const InstrumentSlot& slot = banks.bank(e.drum, e.bank)->slots[static_cast<size_t>(e.slot)];
        EXPECT_EQ(slot.state, e.state) << (e.drum ? "drum key " : "program ") << e.slot;
        if (e.name != nullptr && slot.loaded()) {
            EXPECT_EQ(slot.instrument->displayName, e.name);
        }
    }
    EXPECT_EQ(banks.loadedInstrumentCount(), 4);
    EXPECT_FALSE(banks.bankExists(false, 8));
    banks.songEnded();
    EXPECT_EQ(banks.loadedInstrumentCount(), 0);
    EXPECT_EQ(banks.bank(false, 0)->slots[100].state,
              SlotState::None);  // the next song may try again
}

}  // namespace
}  // namespace svt
