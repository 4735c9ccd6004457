// Seeds for fuzz_synth: a small font (looped and one-shot melodic sounds, a drum kit, a
// filtered, modulated voice) followed by event scripts that reach notes, pedals, bends,
// RPNs, effect parameters and the player's actions.

#include "Seeds.h"
#include "song/SongEvent.h"
#include "song/Sysex.h"
#include "support/Sf2Builder.h"

namespace {

using svt::test::Sf2Builder;
using namespace svt::sysex_code;

std::vector<uint8_t> font() {
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 441.0, 44100, 69, 400));
    const int saw = sf.addSample(Sf2Builder::sawSample("saw", 220.5, 22050, 57, 300));
    const int noise = sf.addSample(Sf2Builder::noiseSample("noise", 32000, 300));
    const int lead = sf.addInstrument("lead");
    sf.instrumentZone(lead)
        .keyRange(0, 63)
        .loopMode(1)
        .gen(svt::GEN_ATTACK_VOL_ENV, -1200)
        .sample(sine);
    sf.instrumentZone(lead)
        .keyRange(64, 127)
        .loopMode(3)
        .gen(svt::GEN_INITIAL_FILTER_FC, 6000)
        .gen(svt::GEN_INITIAL_FILTER_Q, 120)
        .gen(svt::GEN_VIB_LFO_TO_PITCH, 50)
        .gen(svt::GEN_MOD_LFO_TO_VOLUME, 60)
        .sample(saw);
    const int kit = sf.addInstrument("kit");
    sf.instrumentZone(kit).keyRange(35, 50).gen(svt::GEN_EXCLUSIVE_CLASS, 1).sample(noise);
    sf.presetZone(sf.addPreset("Lead", 0, 0)).instrument(lead);
    sf.presetZone(sf.addPreset("Kit", 128, 0)).instrument(kit);
    return sf.build();
}

struct Script {
    std::vector<uint8_t> bytes;
    // Byte by byte: GCC 12 warns falsely about range inserts into a small growing vector.
    explicit Script(const std::vector<uint8_t>& f) {
        bytes.reserve(f.size() + 4096);
        bytes.push_back(uint8_t(f.size() & 0xFF));
        bytes.push_back(uint8_t(f.size() >> 8));
        for (uint8_t b : f) bytes.push_back(b);
    }
    Script& ev(int type, int channel, int a, int b = 0) {
        for (int v : {type, channel, a, b}) bytes.push_back(uint8_t(v));
        return *this;
    }
    Script& render(int frames) { return ev(200, 0, frames & 0xFF, frames >> 8); }
};

}  // namespace

SVT_FUZZ_SEEDS(synth) {
    const std::vector<uint8_t> f = font();
    Script notes(f);
    notes.ev(svt::EV_PROGRAM, 0, 0).ev(svt::EV_NOTE_ON, 0, 60, 100).ev(svt::EV_NOTE_ON, 0, 72, 90);
    notes.ev(svt::EV_NOTE_ON, 9, 36, 127).ev(svt::EV_NOTE_ON, 9, 38, 100).render(2000);
    notes.ev(svt::EV_PITCH_BEND, 0, 0, 127)
        .ev(svt::EV_SUSTAIN, 0, 127)
        .ev(svt::EV_NOTE_OFF, 0, 60)
        .render(3000);
    notes.ev(svt::EV_RPN_MSB, 0, 0)
        .ev(svt::EV_RPN_LSB, 0, 0)
        .ev(svt::EV_DATA_ENTRY_MSB, 0, 24)
        .render(1000);
    notes.ev(svt::EV_ALL_NOTES_OFF, 0, 0).ev(svt::EV_SUSTAIN, 0, 0).render(4000);
    seeds.add("notes", notes.bytes);

    Script effects(f);
    effects.ev(201, 0, 1).ev(svt::EV_REVERB_SEND, 0, 127).ev(svt::EV_CHORUS_SEND, 0, 127);
    effects.ev(svt::EV_SYSEX_GS_LSB, 0, 0x30, 0x04).ev(svt::EV_SYSEX_GS_MSB, 0, 0x01, 0x00);
    effects.ev(svt::EV_SYSEX_XG_LSB, 0, 0x00, 0x41).ev(svt::EV_SYSEX_XG_MSB, 0, 0x02, 0x01);
    effects.ev(svt::EV_NOTE_ON, 0, 69, 127)
        .render(4096)
        .ev(svt::EV_NOTE_OFF, 0, 69)
        .render(4096)
        .render(4096);
    effects.ev(204, 0, 0).render(512);
    seeds.add("effects", effects.bytes);

    // XG: insertion block 1 on part 1, the variation inserted into part 2, the master
    // equaliser, and drum keys with sends of their own.
    Script xg(f);
    xg.ev(201, 0, svt::SYSTEM_XG_ON);
    xg.ev(svt::EV_SYSEX_XG_MSB, 0, 0, kXgGroupInsertion).ev(svt::EV_SYSEX_XG_LSB, 0, 0, 0x0C);
    xg.ev(svt::EV_SYSEX_XG_MSB, 0, 0, kXgGroupEffect).ev(svt::EV_SYSEX_XG_LSB, 0, 1, 0x5B);
    xg.ev(svt::EV_SYSEX_XG_MSB, 0, 0, kXgGroupMultiEq).ev(svt::EV_SYSEX_XG_LSB, 0, 0x4C, 0x01);
    for (int key : {36, 38, 40})
        xg.ev(svt::EV_NRPN_MSB, 9, 0x1D)
            .ev(svt::EV_NRPN_LSB, 9, key)
            .ev(svt::EV_DATA_ENTRY_MSB, 9, key * 2);
    xg.ev(svt::EV_PROGRAM, 9, 0).ev(svt::EV_NOTE_ON, 9, 36, 127).ev(svt::EV_NOTE_ON, 9, 38, 100);
    xg.ev(svt::EV_NOTE_ON, 0, 60, 100).ev(svt::EV_NOTE_ON, 1, 64, 100).render(4096).render(4096);
    seeds.add("xg", xg.bytes);

    Script crowd(f);
    crowd.ev(206, 0, 200).ev(205, 0, 255);
    for (int i = 0; i < 300; ++i) crowd.ev(svt::EV_NOTE_ON, i % 16, 20 + i % 90, 127);
    crowd.render(4096).ev(202, 0, 0).render(300);
    seeds.add("crowd", crowd.bytes);
}
