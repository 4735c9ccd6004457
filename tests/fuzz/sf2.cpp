// Reads the input as a SoundFont, indexes it and builds every instrument it offers:
// the reader, zone layering, region filling and data copying all see hostile bytes, and so do
// the probing and decoding of compressed (SoundFont 3) samples.

#include <cstddef>
#include <cstdint>
#include <span>

#include "instruments/Modulators.h"
#include "instruments/instruments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    svt::InstrumentSettings settings{svt::EngineSettings{}};
    settings.antiAliasing = size % 2 == 0;  // both ways of building data
    svt::SoundFontRegistry registry(settings);
    svt::InstrumentBanks banks(registry);
    registry.registerBytes("fuzz.sf2", std::span<const uint8_t>(data, size));
    banks.indexFonts();
    const svt::LoadedSoundFont& font = *registry.fonts().front();
    int built = 0;
    for (const svt::PresetSummary& p : font.presetSummaries()) {
        if (built > 64) break;
        if (p.bank == svt::kPercussionBank) {
            if (p.program > 127) continue;
            for (int key = 0; key < 128; ++key) banks.markForLoading(true, p.program, key);
        } else if (p.bank < 128 && p.program < 128) {
            // Some presets only for a few notes: instruments that leave samples out.
            if (p.program % 2 == 0) {
                banks.markForLoading(false, p.bank, p.program);
            } else {
                banks.markNote(false, p.bank, p.program, static_cast<int>(size % 128), 100);
            }
        }
        ++built;
    }
    banks.loadMarkedInstruments();
    banks.instrumentOnDemand(false, 3, 0);
    // Touch the data exactly as far as a voice may read it.
    int sum = 0;
    for (bool drum : {false, true}) {
        for (int b = 0; b <= banks.highestBank(drum); ++b) {
            const svt::InstrumentBank* bank = banks.bank(drum, b);
            if (bank == nullptr) continue;
            for (const svt::InstrumentSlot& slot : bank->slots) {
                if (!slot.loaded()) continue;
                for (const svt::SampleRegion& r : slot.instrument->regions) {
                    if (r.loopStartPos > r.loopEndPos || r.loopEndPos > r.endPos || r.rootFreq <= 0)
                        __builtin_trap();
                    // Every modulator kept names a generator a voice can move.
                    svt::ModulatorInputs in;
                    in.velocity = static_cast<int>(size % 128);
                    for (uint16_t m = 0; m < r.modulatorCount; ++m) {
                        if (r.modulators[m].destination >= svt::kGeneratorCount) __builtin_trap();
                        sum += static_cast<int>(svt::modulatorOutput(r.modulators[m], in));
                    }
                    uint32_t last = (r.endPos >> 12) + 2;
                    for (uint32_t i = 0; i < last; i += 61) sum += r.pcm[i];
                    sum += r.pcm[last];
                }
            }
        }
    }
    if (sum == 0x7FFFFFFF) return 1;
    (void)registry.takeSampleWarnings();
    banks.songEnded();
    svt::LoadedSoundFont& mutableFont = *registry.fonts().front();
    if (size % 3 == 0) mutableFont.verifyCompressedSamples();
    banks.freeAllInstruments();
    return 0;
}
