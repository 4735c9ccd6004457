#include "support/TestFonts.h"

#include "support/Sf2Builder.h"

namespace svt::test {

std::vector<uint8_t> sineFont() {
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69));
    const int inst = sf.addInstrument("Sine");
    sf.instrumentZone(inst).keyRange(0, 127).loopMode(1).sample(sine);
    sf.presetZone(sf.addPreset("Sine", 0, 0)).instrument(inst);
    sf.presetZone(sf.addPreset("Sine Kit", 128, 0)).instrument(inst);
    return sf.build();
}

std::vector<uint8_t> silentFont() {
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69));
    const int inst = sf.addInstrument("Gunshot");
    sf.instrumentZone(inst).keyRange(0, 127).sample(sine);
    sf.presetZone(sf.addPreset("Gunshot", 0, 127)).instrument(inst);
    return sf.build();
}

}  // namespace svt::test
