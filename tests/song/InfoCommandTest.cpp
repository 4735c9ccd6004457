// `sorvanto-cli info` as a user runs it.
#include <gtest/gtest.h>

#include "support/CliRun.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt {
namespace {

TEST(InfoCommand, DescribesSongsAndNamesTheFilesItCannotRead) {
    test::TempDir dir;
    test::SmfBuilder smf(1, 480);
    smf.track()
        .trackName(0, "Little Waltz")
        .timeSignature(0, 3, 2)
        .keySignature(0, 2, false)
        .tempo(0, 600000)
        .sysex(0, {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7})
        .noteOn(0, 0, 62, 100)
        .noteOff(1440, 0, 62)
        .endOfTrack();
    const std::string song = dir.write("waltz.mid", smf.build());
    const std::string text = dir.write("notes.mid", std::string("just text\n"));

    test::CliRun ok = test::runCli("info " + song);
    EXPECT_EQ(ok.exitCode, 0) << ok.out;
    for (const char* part : {"Little Waltz", "3/4", "D-major (2#)", "100.0 bpm", "0:02",
                             "drums:    10", "system:   XG"})
        EXPECT_NE(ok.out.find(part), std::string::npos) << part << " in\n" << ok.out;

    test::CliRun json = test::runCli("info --json " + song);
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find("\"title\":\"Little Waltz\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"samples\":79380"), std::string::npos)
        << json.out;  // 1440 ticks at 100 bpm

    test::CliRun bad = test::runCli("info " + song + " " + text + " " + dir.file("missing.mid"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.out.find(text + ": not a MIDI file"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("missing.mid"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("Little Waltz"), std::string::npos) << "good files are still shown";
}

}  // namespace
}  // namespace svt
