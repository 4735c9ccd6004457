// Ctrl-C while sorvanto-cli plays outside a terminal's raw mode: the song ends, the output is
// closed as at any end, and the program says "Break" and ends with 130 by itself instead of
// being killed by the signal.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>

#include "support/CliChild.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt::test {
namespace {

// A minute of notes: no run here reaches its end.
std::vector<uint8_t> minuteOfNotes() {
    SmfBuilder smf(0, 480);
    auto& track = smf.track();
    for (int beat = 0; beat < 120; ++beat)
        track.noteOn(beat == 0 ? 0 : 240, 0, 60 + beat % 12, 90).noteOff(240, 0, 60 + beat % 12);
    track.endOfTrack();
    return smf.build();
}

TEST(PlayBreak, CtrlCEndsTheSongAndTheProgramClosesItsOutput) {
    TempDir dir;
    const std::string font = dir.write("sine.sf2", sineFont());
    const std::string song = dir.write("minute.mid", minuteOfNotes());
    // ALSA's null device takes the sound as fast as it comes.
    CliChild child({"play", song, "-s", font, "--device", "null"});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitFor("voices")) << "no status line:\n" << child.shown();
    child.signal(SIGINT);
    const int status = child.wait();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal:\n" << child.shown();
    EXPECT_EQ(WEXITSTATUS(status), 130) << child.shown();
    EXPECT_NE(child.shown().find("Break"), std::string::npos) << child.shown();
}

}  // namespace
}  // namespace svt::test
