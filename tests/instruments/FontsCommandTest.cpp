// `sorvanto-cli fonts` as a user runs it: a listing for a good font, exit code 1 with
// the file and the reason for a bad one.

#include <gtest/gtest.h>

#include "support/CliRun.h"
#include "support/DecodedAudio.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"

namespace svt {
namespace {

using test::Sf2Builder;

using test::CliRun;
using test::runCli;

TEST(FontsCommand, ListsAGoodFontAndRefusesABadOne) {
    test::TempDir dir;
    Sf2Builder sf;
    sf.setName("Little font");
    int s = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69, 1000));
    test::Sf2Sample bad = Sf2Builder::rampSample("broken", 10);
    bad.rawEnd = 99999999;
    int b = sf.addSample(bad);
    int i = sf.addInstrument("Sine");
    sf.instrumentZone(i).keyRange(0, 63).sample(s);
    sf.instrumentZone(i).keyRange(64, 127).sample(b);
    sf.presetZone(sf.addPreset("Sine Lead", 0, 80)).instrument(i);
    std::string good = dir.write("good.sf2", sf.build());
    // The same preset again: the first one is played, the second named as a problem.
    sf.presetZone(sf.addPreset("Sine Again", 0, 80)).instrument(i);
    const std::string repeated = dir.write("repeated.sf2", sf.build());
    // Nothing can sound: the only zone's key range runs backwards.
    Sf2Builder backwards;
    const int bs = backwards.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69, 1000));
    const int bi = backwards.addInstrument("Backwards");
    backwards.instrumentZone(bi).keyRange(80, 40).sample(bs);
    backwards.presetZone(backwards.addPreset("Backwards", 0, 0)).instrument(bi);
    const std::string silent = dir.write("silent.sf2", backwards.build());
    std::string wav = dir.write(
        "song.sf2", std::vector<uint8_t>{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});

    CliRun ok = runCli("fonts " + good);
    EXPECT_EQ(ok.exitCode, 0) << ok.out;
    for (const char* expected :
         {"Little font", "version:      2.01", "presets:      1", "instruments:  1",
          "samples:      2", "0:80      Sine Lead            2", "\"broken\" lies outside"}) {
        EXPECT_NE(ok.out.find(expected), std::string::npos) << expected << "\n" << ok.out;
    }

    CliRun again = runCli("fonts " + repeated);
    EXPECT_EQ(again.exitCode, 0) << again.out;
    EXPECT_NE(again.out.find("preset \"Sine Again\" (0:80) repeats preset \"Sine Lead\"; only the "
                             "first is played"),
              std::string::npos)
        << again.out;

    // A font in which nothing can sound fails here as it fails when songs are converted.
    CliRun refused =
        runCli("fonts " + good + " " + wav + " " + dir.file("missing.sf2") + " " + silent);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("no preset in it can sound"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("key range 80..40"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find(wav + ": not a SoundFont: a RIFF file of the form \"WAVE\""),
              std::string::npos)
        << refused.out;
    EXPECT_NE(refused.out.find(dir.file("missing.sf2") + ": file not found"), std::string::npos)
        << refused.out;
    EXPECT_NE(refused.out.find("Sine Lead"), std::string::npos);

#ifndef _WIN32  // read back with Python through a POSIX shell's pipe
    // The same as JSON, one valid object per font, a font that cannot be read with "error".
    std::string parsed;
    test::runCommand(
        std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli fonts --json " + good + " " +
            dir.file("missing.sf2") +
            " 2>/dev/null | python3 -c 'import json, sys\n"
            "for line in sys.stdin:\n"
            "    o = json.loads(line)\n"
            "    print(o.get(\"error\") or [(p[\"bank\"], p[\"program\"], p[\"name\"], "
            "p[\"regions\"]) for p in o[\"presets\"]], len(o.get(\"problems\", [])))'",
        &parsed);
    EXPECT_EQ(parsed, "[(0, 80, 'Sine Lead', 2)] 1\nfile not found 0\n");
#endif

    EXPECT_EQ(runCli("fonts").exitCode, 2) << "no font named";
}

}  // namespace
}  // namespace svt
