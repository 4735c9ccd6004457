#pragma once
// A font built in memory and indexed, with short ways to get at its regions.

#include <memory>
#include <vector>

#include "instruments/instruments.h"
#include "support/Sf2Builder.h"

namespace svt::test {

class FontUnderTest {
  public:
    explicit FontUnderTest(const Sf2Builder& sf, InstrumentSettings settings = defaultSettings())
        : bytes_(sf.build()), registry_(settings) {
        font_ = &registry_.registerBytes("test.sf2", bytes_);
    }

    static InstrumentSettings defaultSettings() { return InstrumentSettings{EngineSettings{}}; }

    LoadedSoundFont& font() { return *font_; }
    SoundFontRegistry& registry() { return registry_; }

    // Regions of the melodic preset (bank, program).
    std::unique_ptr<Instrument> melodic(int bank, int program) {
        return registry_.buildInstrument(bank, program, kAnyKey);
    }
    // The one region of (0, 0); fails the test when there is not exactly one.
    SampleRegion only(int bank = 0, int program = 0) {
        const PresetIndexEntry* e = font_->find(bank, program, kAnyKey);
        if (e == nullptr || e->regions.size() != 1) {
            ADD_FAILURE() << "expected one region, got " << (e == nullptr ? 0 : e->regions.size());
            return {};
        }
        return e->regions[0].region;
    }

  private:
    std::vector<uint8_t> bytes_;
    SoundFontRegistry registry_;
    LoadedSoundFont* font_;
};

// A font of one preset (0, 0) over one instrument zone over `sample`; the zone
// functions get to add generators: izone at instrument level, pzone at preset level.
template <class InstZone, class PresetZone>
Sf2Builder singleZoneFont(Sf2Sample sample, InstZone izone, PresetZone pzone) {
    Sf2Builder sf;
    int s = sf.addSample(std::move(sample));
    int i = sf.addInstrument("inst");
    Sf2Zone& z = sf.instrumentZone(i);
    izone(z);
    z.sample(s);
    int p = sf.addPreset("preset", 0, 0);
    Sf2Zone& pz = sf.presetZone(p);
    pzone(pz);
    pz.instrument(i);
    return sf;
}

}  // namespace svt::test
