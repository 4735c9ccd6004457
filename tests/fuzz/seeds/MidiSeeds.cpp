// Songs that reach every part of the MIDI reader, made by SmfBuilder.
#include "Seeds.h"
#include "support/SmfBuilder.h"

namespace {

std::vector<uint8_t> richSong() {
    svt::test::SmfBuilder smf(1, 480);
    smf.track()
        .trackName(0, "Seed")
        .text(0, 1, "first text")
        .text(0, 6, "marker")
        .timeSignature(0, 3, 2)
        .keySignature(0, -2, true)
        .tempo(0, 500000)
        .sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
        .sysex(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})
        .endOfTrack();
    smf.track()
        .runningStatus()
        .program(0, 0, 5)
        .controller(0, 0, 7, 100)
        .noteOn(0, 0, 60, 100)
        .noteOn(120, 0, 64, 0)
        .pitchBend(0, 0, 9000)
        .raw({0x00, 0xF2, 0x01, 0x02, 0x00, 0xFE})
        .noteOff(480, 0, 60)
        .text(0, 5, "lyric")
        .endOfTrack();
    smf.track()
        .text(0, 1, "@KMIDI KARAOKE FILE")
        .noteOn(0, 9, 36, 90)
        .noteOff(240, 9, 36)
        .endOfTrack();
    return smf.build();
}

}  // namespace

SVT_FUZZ_SEEDS(midi) {
    seeds.add("rich", richSong());
    svt::test::SmfBuilder f0(0, 96);
    f0.track().noteOn(0, 0, 60, 100).noteOff(96, 0, 60).endOfTrack();
    seeds.add("format0", f0.build());
    svt::test::SmfBuilder f2(2, 0);
    f2.divisionRaw = 0xE728;
    f2.track().noteOn(0, 0, 60, 100).noteOff(96, 0, 60).endOfTrack();
    f2.track().noteOn(0, 1, 60, 100).endOfTrack();
    seeds.add("format2-smpte", f2.build());
    seeds.add("rmid", f0.buildRmid());

    // Inputs that once read wrongly: chunks of other kinds, a track without its end event,
    // SMPTE time with a tempo event, information before an RMID song, a thousand tracks.
    svt::test::SmfBuilder chunks(1, 480);
    chunks.track().noteOn(0, 0, 60, 100).noteOff(96, 0, 60);
    chunks.track().noteOn(0, 1, 62, 100).endOfTrack();
    chunks.chunkBefore(0, "XFIH", {1, 2, 3});
    chunks.chunkBefore(1, "XFKM", {});
    seeds.add("other-chunks", chunks.build());
    svt::test::SmfBuilder smpte(0, 0);
    smpte.divisionRaw = 0xE31E;
    smpte.track().tempo(0, 125000).noteOn(0, 0, 60, 100).noteOff(899, 0, 60).endOfTrack();
    seeds.add("smpte-tempo", smpte.build());
    seeds.add("rmid-list", f0.buildRmid({'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'}));
    svt::test::SmfBuilder many(1, 96);
    for (int t = 0; t < 1000; ++t) many.track().noteOn(t % 3, t % 16, 60, 100).endOfTrack();
    seeds.add("many-tracks", many.build());
}

SVT_FUZZ_SEEDS(rmid) {
    // The rmid target wraps what it gets, so its seeds are plain songs.
    seeds.add("rich", richSong());
}
