// Banks and slots: what a song marks gets loaded, missing variations fall back to
// bank 0, drum kits fill drum sets key by key, and fonts are searched in order.

#include <gtest/gtest.h>

#include "FontUnderTest.h"
#include "base/Constants.h"

namespace svt {
namespace {

using test::Sf2Builder;
using test::Sf2Sample;

// A font with melodic presets (bank, program) and drum kits (program, key range).
struct PresetSpec {
    int bank, program;
    const char* name;
    int lowKey = 0, highKey = 127;
};

std::vector<uint8_t> fontWith(std::initializer_list<PresetSpec> presets) {
    Sf2Builder sf;
    int s = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69, 1000));
    for (const PresetSpec& p : presets) {
        int i = sf.addInstrument(p.name);
        sf.instrumentZone(i).keyRange(p.lowKey, p.highKey).loopMode(1).sample(s);
        sf.presetZone(sf.addPreset(p.name, p.bank, p.program)).instrument(i);
    }
    return sf.build();
}

class Banks : public ::testing::Test {
  protected:
    void registerFont(const std::string& name, std::vector<uint8_t> bytes) {
        fonts_.push_back(std::make_unique<std::vector<uint8_t>>(std::move(bytes)));
        registry.registerBytes(name, *fonts_.back());
    }
    SoundFontRegistry registry{test::FontUnderTest::defaultSettings()};
    InstrumentBanks banks{registry};

  private:
    std::vector<std::unique_ptr<std::vector<uint8_t>>> fonts_;
};

TEST_F(Banks, MissingVariationFallsBackToBankZero) {
    registerFont("a.sf2", fontWith({{0, 25, "Steel Guitar"}}));
    banks.indexFonts();
    banks.ensureBank(false, 8);
    banks.markForLoading(false, 8, 25);
    EXPECT_EQ(banks.loadMarkedInstruments(), 1);  // the bank-8 slot found nothing
    const InstrumentSlot& own = banks.bank(false, 8)->slots[25];
    const InstrumentSlot& base = banks.bank(false, 0)->slots[25];
    EXPECT_EQ(own.state, SlotState::None);
    ASSERT_EQ(base.state, SlotState::Loaded);
    EXPECT_EQ(base.instrument->displayName, "Steel Guitar");
    EXPECT_EQ(banks.loadedInstrument(false, 8, 25), base.instrument.get());

    // On demand, bank 8 then shares bank 0's instrument; freeing frees it once.
    const Instrument* shared = banks.instrumentOnDemand(false, 8, 25);
    EXPECT_EQ(shared, base.instrument.get());
    EXPECT_EQ(own.instrument.get(), shared);
    EXPECT_EQ(banks.loadedInstrumentCount(), 1);
    banks.freeAllInstruments();
    EXPECT_EQ(base.state, SlotState::None);
    EXPECT_EQ(own.state, SlotState::None);
    EXPECT_EQ(banks.loadedInstrumentCount(), 0);
}

TEST_F(Banks, MissingProgramFailsOnceAndIsNotRetried) {
    registerFont("a.sf2", fontWith({{0, 0, "Piano"}}));
    banks.indexFonts();
    banks.markForLoading(false, 0, 100);
    banks.markForLoading(false, 0, 0);
    EXPECT_EQ(banks.loadMarkedInstruments(), 1);
    EXPECT_EQ(banks.bank(false, 0)->slots[100].state, SlotState::Failed);
    EXPECT_EQ(banks.bank(false, 0)->slots[0].state, SlotState::Loaded);
    // Marking a failed slot again does not bring it back; on demand says no at once.
    banks.markForLoading(false, 0, 100);
    EXPECT_EQ(banks.bank(false, 0)->slots[100].state, SlotState::Failed);
    EXPECT_EQ(banks.instrumentOnDemand(false, 0, 100), nullptr);
    EXPECT_EQ(banks.instrumentOnDemand(false, 5, 100), nullptr);
    EXPECT_EQ(banks.bank(false, 5)->slots[100].state, SlotState::None);
    // The next song may try again.
    banks.songEnded();
    EXPECT_EQ(banks.bank(false, 0)->slots[100].state, SlotState::None);
}

TEST_F(Banks, DrumSetsAreFilledKeyByKey) {
    registerFont("a.sf2", fontWith({{kPercussionBank, 0, "Standard", 35, 81},
                                    {kPercussionBank, 16, "Power", 38, 38}}));
    banks.indexFonts();
    banks.markForLoading(true, 16, 38);
    banks.markForLoading(true, 16, 36);  // not in the Power kit: drum set 0 stands in
    EXPECT_EQ(banks.loadMarkedInstruments(), 1);
    const InstrumentSlot& power38 = banks.bank(true, 16)->slots[38];
    ASSERT_EQ(power38.state, SlotState::Loaded);
    EXPECT_EQ(power38.instrument->displayName, "Power");
    EXPECT_EQ(banks.bank(true, 16)->slots[36].state, SlotState::None);
    const InstrumentSlot& standard36 = banks.bank(true, 0)->slots[36];
    ASSERT_EQ(standard36.state, SlotState::Loaded);
    EXPECT_EQ(standard36.instrument->displayName, "Standard");
    EXPECT_EQ(standard36.instrument->regions[0].fixedNote, 36);
    // A key outside every kit has nothing.
    EXPECT_EQ(banks.instrumentOnDemand(true, 16, 100), nullptr);
    EXPECT_EQ(banks.bank(true, 0)->slots[100].state, SlotState::Failed);
}

TEST_F(Banks, FontsAreSearchedInOrderAndTheFirstWithThePresetWins) {
    registerFont("base.sf2", fontWith({{0, 0, "Base Piano"}, {0, 40, "Base Violin"}}));
    registerFont("front.sf2",
                 fontWith({{0, 0, "Front Piano"}}));  // registered later: searched first
    banks.indexFonts();
    EXPECT_EQ(banks.instrumentOnDemand(false, 0, 0)->displayName, "Front Piano");
    EXPECT_EQ(banks.instrumentOnDemand(false, 0, 40)->displayName, "Base Violin");
    registry.unregisterFont("front.sf2");
    banks.freeAllInstruments();
    EXPECT_EQ(banks.instrumentOnDemand(false, 0, 0)->displayName, "Base Piano");
}

TEST_F(Banks, SelectingAFontReplacesThePreviousSelection) {
    registerFont("extra.sf2", fontWith({{0, 1, "Extra"}}));
    registry.selectFont("one.sf2");
    registry.selectFont("two.sf2");
    std::vector<std::string> names;
    for (const auto& f : registry.fonts()) names.push_back(f->registeredName());
    EXPECT_EQ(names, (std::vector<std::string>{"two.sf2", "extra.sf2"}));
    EXPECT_EQ(registry.currentFontName(), "two.sf2");
    // A font that cannot be read is emptied and skipped; lookups go on to the next.
    EXPECT_EQ(registry.indexAll(), 1);
    EXPECT_EQ(registry.currentFontName(), "");
    EXPECT_NE(registry.fonts()[0]->lastError().find("two.sf2"), std::string::npos);
    banks.indexFonts();
    EXPECT_NE(banks.instrumentOnDemand(false, 0, 1), nullptr);
}

// Engines converting songs side by side hand each other the instruments they hold, and only
// those of the same font; once no engine holds an instrument it is gone.
TEST(SharedInstrumentsTest, EnginesAtOnceHoldOneCopyOfEachInstrument) {
    const std::vector<uint8_t> bytes =
        fontWith({{0, 0, "Piano"}, {0, 1, "Bright"}, {kPercussionBank, 0, "Kit", 35, 81}});
    auto shared = std::make_shared<SharedInstruments>();
    struct EngineFonts {
        SoundFontRegistry registry{test::FontUnderTest::defaultSettings()};
        InstrumentBanks banks{registry};
    };
    auto engineWith = [&](const std::string& fontName, bool sharing) {
        auto e = std::make_unique<EngineFonts>();
        if (sharing) e->registry.shareInstruments(shared);
        e->registry.registerBytes(fontName, bytes);
        e->banks.indexFonts();
        for (auto [drum, slot] : {std::pair{false, 0}, {false, 1}, {true, 36}})
            e->banks.markForLoading(drum, 0, slot);
        e->banks.loadMarkedInstruments();
        return e;
    };
    auto first = engineWith("a.sf2", true);
    auto second = engineWith("a.sf2", true);
    auto alone = engineWith("a.sf2", false);
    auto otherFont = engineWith("b.sf2", true);
    struct Case {
        bool drum;
        int slot;
    };
    for (const Case c : {Case{false, 0}, Case{false, 1}, Case{true, 36}}) {
        SCOPED_TRACE(std::to_string(c.drum) + " " + std::to_string(c.slot));
        const Instrument* mine = first->banks.loadedInstrument(c.drum, 0, c.slot);
        ASSERT_NE(mine, nullptr);
        EXPECT_EQ(second->banks.loadedInstrument(c.drum, 0, c.slot), mine);
        EXPECT_NE(alone->banks.loadedInstrument(c.drum, 0, c.slot), mine);
        EXPECT_NE(otherFont->banks.loadedInstrument(c.drum, 0, c.slot), mine);
    }
    EXPECT_NE(first->banks.loadedInstrument(false, 0, 0),
              first->banks.loadedInstrument(false, 0, 1));
    EXPECT_EQ(shared->heldCount(), 6u);  // three of each shared font
    first.reset();
    EXPECT_EQ(shared->heldCount(), 6u) << "the second engine still plays them";
    second->banks.songEnded();
    otherFont.reset();
    EXPECT_EQ(shared->heldCount(), 0u);
}

}  // namespace
}  // namespace svt
