// Seeds for fuzz_sf2: small fonts of every shape the builder makes, and broken ones.

#include "Seeds.h"
#include "support/Sf2Builder.h"

namespace {

using svt::test::Sf2Builder;
using svt::test::Sf2Sample;

Sf2Builder melodic() {
    Sf2Builder sf;
    int s = sf.addSample(Sf2Builder::sineSample("sine", 441.0, 44100, 69, 300));
    int saw = sf.addSample(Sf2Builder::sawSample("saw", 220.5, 22050, 57, 200));
    int i = sf.addInstrument("lead");
    sf.instrumentZone(i).gen(svt::GEN_ATTACK_VOL_ENV, -1200).gen(svt::GEN_INITIAL_ATTENUATION, 30);
    sf.instrumentZone(i)
        .keyRange(0, 63)
        .loopMode(1)
        .gen(svt::GEN_INITIAL_FILTER_FC, 9000)
        .sample(s);
    sf.instrumentZone(i)
        .keyRange(64, 127)
        .velRange(0, 100)
        .loopMode(3)
        .gen(svt::GEN_VIB_LFO_TO_PITCH, 30)
        .sample(saw);
    int p = sf.addPreset("Lead", 0, 3);
    sf.presetZone(p).gen(svt::GEN_COARSE_TUNE, 12);
    sf.presetZone(p).keyRange(10, 100).instrument(i);
    int p2 = sf.addPreset("Lead 2", 3, 3);
    sf.presetZone(p2).instrument(i).modulator({0x0502, svt::GEN_INITIAL_ATTENUATION, 960, 0, 0});
    return sf;
}

Sf2Builder drums() {
    Sf2Builder sf;
    int n = sf.addSample(Sf2Builder::noiseSample("noise", 32000, 250));
    int l = sf.addStereoPair(Sf2Builder::sineSample("kick L", 60.0, 44100, 36, 200, false),
                             Sf2Builder::sineSample("kick R", 60.0, 44100, 36, 200, false));
    int i = sf.addInstrument("kit");
    sf.instrumentZone(i).keyRange(35, 36).sample(l);
    sf.instrumentZone(i).keyRange(35, 36).sample(l + 1);
    sf.instrumentZone(i)
        .keyRange(38, 40)
        .gen(svt::GEN_KEYNUM, 38)
        .gen(svt::GEN_SCALE_TUNING, 50)
        .sample(n);
    sf.presetZone(sf.addPreset("Standard", 128, 0)).instrument(i);
    return sf;
}

}  // namespace

SVT_FUZZ_SEEDS(sf2) {
    seeds.add("melodic.sf2", melodic().build());
    seeds.add("drums.sf2", drums().build());
    Sf2Builder v1 = melodic();
    v1.setVersion(1, 0);
    seeds.add("version1.sf2", v1.build());
    Sf2Builder noTerminals = melodic();
    noTerminals.omitTerminalRecords();
    seeds.add("no-terminals.sf2", noTerminals.build());
    Sf2Builder extra = drums();
    extra.withSm24();
    extra.addRawChunk("INFO", "ICMT", {'x', 0});
    seeds.add("sm24.sf2", extra.build());

    std::vector<uint8_t> badBag = melodic().build();
    size_t ibag = Sf2Builder::findChunk(badBag, "ibag").value() + 8;
    Sf2Builder::patchU16(badBag, ibag + 4, 999);
    seeds.add("bag-past-end.sf2", badBag);

    // Compressed fonts: the same shapes with every sample an Ogg Vorbis stream, and streams
    // cut short or damaged.
    Sf2Builder compressed = melodic();
    compressed.compress(0.1f);
    seeds.add("compressed.sf3", compressed.build());
    Sf2Builder compressedDrums = drums();
    compressedDrums.compress(0.1f);
    seeds.add("compressed-drums.sf3", compressedDrums.build());
    Sf2Builder damaged;
    Sf2Sample tone = Sf2Builder::sineSample("tone", 441.0, 22050, 69, 2000);
    std::vector<uint8_t> stream = Sf2Builder::encodeVorbis(tone.pcm, tone.sampleRate, 0.1f);
    Sf2Sample cut = tone;
    cut.stream = std::vector<uint8_t>(stream.begin(), stream.begin() + long(stream.size() * 3 / 4));
    Sf2Sample flipped = tone;
    flipped.stream = stream;
    flipped.stream->at(stream.size() / 2) ^= 0x20;
    int whole = damaged.addSample(tone);
    int shortened = damaged.addSample(cut);
    int hurt = damaged.addSample(flipped);
    int zones = damaged.addInstrument("zones");
    damaged.instrumentZone(zones).keyRange(0, 40).loopMode(1).sample(whole);
    damaged.instrumentZone(zones).keyRange(41, 80).sample(shortened);
    damaged.instrumentZone(zones).keyRange(81, 127).velRange(0, 90).sample(hurt);
    damaged.presetZone(damaged.addPreset("zones", 0, 1)).instrument(zones);
    damaged.compress(0.1f);
    seeds.add("compressed-damaged.sf3", damaged.build());

    Sf2Builder badSample;
    Sf2Sample s = Sf2Builder::rampSample("outside", 50);
    s.rawEnd = 90000;
    s.loopStart = 40;
    s.loopEnd = 10;
    int id = badSample.addSample(s);
    int i = badSample.addInstrument("i");
    badSample.instrumentZone(i).loopMode(1).gen(svt::GEN_END_ADDRS_COARSE_OFFSET, 3).sample(id);
    badSample.presetZone(badSample.addPreset("p", 0, 0)).instrument(i);
    seeds.add("sample-outside.sf2", badSample.build());

    // Fonts that once played wrongly or filled the memory: sums beyond their generator's
    // range, a repeated preset, a backwards key range, and one stream named by many headers.
    Sf2Builder hostile;
    int sine = hostile.addSample(Sf2Builder::sineSample("sine", 441.0, 22050, 69, 500));
    int quiet = hostile.addInstrument("quiet");
    hostile.instrumentZone(quiet).gen(svt::GEN_INITIAL_ATTENUATION, 1440).sample(sine);
    hostile.instrumentZone(quiet).keyRange(80, 40).sample(sine);
    for (int copy = 0; copy < 2; ++copy)
        hostile.presetZone(hostile.addPreset("loud", 0, 0))
            .gen(svt::GEN_INITIAL_ATTENUATION, 31400)
            .gen(svt::GEN_DELAY_VOL_ENV, -21000)
            .instrument(quiet);
    seeds.add("sums-and-repeats.sf2", hostile.build());
    Sf2Builder shared;
    int many = shared.addInstrument("many");
    for (int h = 0; h < 16; ++h) {
        Sf2Sample named = tone;
        if (h > 0) {
            named.stream = std::vector<uint8_t>();
            named.rawStart = 0;
            named.rawEnd = static_cast<uint32_t>(stream.size());
        } else {
            named.stream = stream;
        }
        shared.instrumentZone(many).sample(shared.addSample(named));
    }
    shared.presetZone(shared.addPreset("many", 0, 0)).instrument(many);
    shared.compress(0.1f);
    seeds.add("shared-stream.sf3", shared.build());
    // Zones that each copy another stretch of one stream.
    Sf2Builder stretches;
    Sf2Sample streamed = tone;
    streamed.stream = stream;
    const int one = stretches.addSample(streamed);
    const int stretched = stretches.addInstrument("stretches");
    for (int z = 0; z < 16; ++z)
        stretches.instrumentZone(stretched)
            .gen(svt::GEN_START_ADDRS_OFFSET, z)
            .gen(svt::GEN_END_ADDRS_OFFSET, -z)
            .sample(one);
    stretches.presetZone(stretches.addPreset("stretches", 0, 0)).instrument(stretched);
    stretches.compress(0.1f);
    seeds.add("stretches-of-a-stream.sf3", stretches.build());
}
