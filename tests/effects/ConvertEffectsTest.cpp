// sorvanto-cli convert with the reverb and chorus switched on (the default) and off.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/CliRun.h"
#include "support/Sf2Builder.h"
#include "support/Signal.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt::test {
namespace {

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ConvertEffects, ReverbAndChorusSwitchOnAndOff) {
    TempDir dir;
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69));
    const int inst = sf.addInstrument("Sine");
    sf.instrumentZone(inst)
        .loopMode(1)
        .gen(GEN_RELEASE_VOL_ENV, Sf2Builder::timecents(0.05))
        .sample(sine);
    sf.presetZone(sf.addPreset("Sine", 0, 0)).instrument(inst);
    const std::string font = dir.write("sine.sf2", sf.build());

    SmfBuilder smf(0, 480);
    smf.track()
        .tempo(0, 500000)
        .program(0, 0, 0)
        .controller(0, 0, 91, 127)
        .controller(0, 0, 93, 127)
        .noteOn(0, 0, 69, 110)
        .noteOff(240, 0, 69)  // a quarter second
        .noteOn(960, 0, 69, 1)
        .noteOff(10, 0, 69)
        .endOfTrack(0);
    const std::string song = dir.write("song.mid", smf.build());

    // The tail between the notes: after the first note and its release only effects sound.
    auto tail = [&](const std::string& options, const std::string& name) {
        const std::string out = dir.file(name);
        const CliRun run = runCli("convert -s " + font + " " + song + " -o " + out + " " + options);
        EXPECT_EQ(run.exitCode, 0) << run.out;
        const auto wav = parseWav(readFile(out));
        EXPECT_TRUE(wav.ok());
        if (!wav.ok()) return 0.0;
        const std::vector<double> left = wav.value().channel(0);
        const size_t from = 44100 * 4 / 10, to = std::min(left.size(), size_t(44100));
        return rms(std::span<const double>(left.data() + from, to - from));
    };
    const double on = tail("", "on.wav");
    const double reverbOnly = tail("--chorus off", "reverb.wav");
    const double chorusOnly = tail("--reverb off --chorus on", "chorus.wav");
    const double off = tail("--reverb off --chorus off", "off.wav");
    EXPECT_GT(on, 10.0);
    EXPECT_GT(reverbOnly, 10.0);
    EXPECT_LT(off, 1.0);
    EXPECT_LT(chorusOnly, on);
    EXPECT_NE(runCli("convert --help").out.find("--chorus off|on"), std::string::npos);
}

}  // namespace
}  // namespace svt::test
