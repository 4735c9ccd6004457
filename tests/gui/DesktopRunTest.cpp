// The real sorvanto under Xvfb, as a user meets it: the demo song opened from the command line
// as the file manager opens it, playing by itself (the time field watched until it moves);
// Space, S and Space again (pause, stop, play), typed with xdotool, the sound of the second
// start recorded from the null sink's monitor; Q and the quit question answered.
// The sound goes to a PulseAudio null sink (real time) when one can be started, else to ALSA's
// null device. Every wait polls with a generous limit.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/DecodedAudio.h"
#include "support/LiveServices.h"
#include "support/TempDir.h"

namespace svt {
namespace {

using test::TempDir;

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The largest position the time field showed, in seconds; -1 when it showed none.
int furthestTime(const std::string& log) {
    std::istringstream lines(log);
    std::string line;
    int furthest = -1;
    while (std::getline(lines, line)) {
        int h = 0, m = 0, s = 0;
        if (std::sscanf(line.c_str(), " %d:%d:%d von", &h, &m, &s) == 3)
            furthest = std::max(furthest, h * 3600 + m * 60 + s);
    }
    return furthest;
}

// Runs sorvanto on the demo song under Xvfb with `env` set, then `steps` (bash, with the
// program's process in $APP and quit WINDOW-ID to press Q and answer yes), then waits for it
// to end and writes its exit code to exit-code. Returns what the run printed.
std::string runDesktop(const TempDir& dir, const std::string& env, const std::string& steps) {
    const std::string d = dir.path().string();
    const std::string script = dir.write(
        "run.sh",
        "set -u\ncd '" + d + "'\nHOME='" + d + "' XDG_CONFIG_HOME='" + d + "/config' " + env +
            " SORVANTO_LANG=2 '" SORVANTO_BINARY_DIR "/bin/sorvanto' --open '" SORVANTO_SOURCE_DIR
            "/data/demo.mid' > app.log 2>&1 &\nAPP=$!\n"
            "quit() { xdotool windowfocus --sync \"$1\"; xdotool key q; sleep 1; "
            "xdotool key Return; }\n" +
            steps +
            "\nfor i in $(seq 300); do kill -0 $APP 2>/dev/null || break; sleep 0.1; done\n"
            "kill $APP 2>/dev/null\nwait $APP\necho $? > exit-code\n");
    std::string output;
    test::runCommand("xvfb-run -a -s '-screen 0 1280x900x24' bash '" + script + "' 2>&1", &output);
    return output;
}

TEST(DesktopProgram, PlaysTheSongNamedOnTheCommandLineAndQuits) {
    for (const char* tool : {"xvfb-run", "xdotool"})
        if (!test::onPath(tool)) GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    const std::string run = dir.file("run");
    std::filesystem::create_directories(run);
    ::chmod(run.c_str(), 0700);

    test::NullSinkServer server(dir);
    const bool realTime = server.problem().empty();
    {
        std::ofstream rc(dir.file(".asoundrc"));
        rc << "pcm.sorvanto_null {\n  type null\n}\n";
        if (realTime)
            rc << "pcm.sorvanto_pulse {\n  type pulse\n  server \"unix:" << server.socket()
               << "\"\n}\n";
    }
    const std::string output = runDesktop(
        dir,
        "XDG_RUNTIME_DIR='" + run + "' SORVANTO_TIME_LOG=time.log SORVANTO_ALSA_DEVICE=" +
            (realTime ? "sorvanto_pulse" : "sorvanto_null"),
        "PULSE='" + (realTime ? "unix:" + server.socket() : std::string()) + "'\n" + R"(
WID=$(timeout 300 xdotool search --sync --onlyvisible --name '^Calda Sorvanto$' | head -1)
echo "$WID" > window-id
if [ -n "$WID" ]; then
  xdotool windowfocus --sync "$WID"
  until_time() {
    for i in $(seq 600); do
      awk -v s="$1" '{split($1,t,":"); if (t[1]*3600+t[2]*60+t[3] >= s) f=1} END {exit !f}' time.log 2>/dev/null && break
      sleep 0.1
    done
  }
  until_time 2
  cp time.log opened-time.log
  xdotool key space
  sleep 0.5
  xdotool key s
  sleep 0.5
  : > time.log
  if [ -n "$PULSE" ]; then
    parec --server="$PULSE" -d null.monitor --format=s16le --rate=44100 --channels=2 --raw \
      > capture.raw 2>parec.log &
    REC=$!
  fi
  xdotool key space
  until_time 3
  if [ -n "$PULSE" ]; then kill $REC; wait $REC; fi
  quit "$WID"
fi)");

    const std::string appLog = readText(dir.file("app.log"));
    ASSERT_GT(readText(dir.file("window-id")).size(), 1u) << "no main window appeared:\n"
                                                          << output << appLog;
    EXPECT_GE(furthestTime(readText(dir.file("opened-time.log"))), 2)
        << "the opened song did not start by itself:\n"
        << readText(dir.file("opened-time.log")) << appLog;
    EXPECT_GE(furthestTime(readText(dir.file("time.log"))), 3)
        << "the time field did not move after Pause, Stop, Play:\n"
        << readText(dir.file("time.log")) << appLog;
    if (realTime && test::onPath("parec")) {
        // The second start is heard: the null sink's monitor carries the song's sound.
        const std::vector<uint8_t> captured = test::readFileBytes(dir.file("capture.raw"));
        int loudest = 0;
        for (size_t i = 0; i + 1 < captured.size(); i += 2)
            loudest = std::max(loudest, std::abs(static_cast<int>(static_cast<int16_t>(
                                            captured[i] | (captured[i + 1] << 8)))));
        EXPECT_GT(loudest, 1000) << captured.size() << " bytes recorded after the second Play; "
                                 << readText(dir.file("parec.log"));
    }
    EXPECT_EQ(readText(dir.file("exit-code")), "0\n") << "Q and Yes end the program cleanly:\n"
                                                      << appLog;
    const std::string settings = readText(dir.file("config/Brenkow Europe/Calda Sorvanto.conf"));
    EXPECT_NE(settings.find("UIMainX="), std::string::npos) << "the settings are saved at the end";
}

// A sound device that cannot be opened: the window opens all the same and a message box says
// so (its text, with the device's name and the reason, is the model's and tested there); the
// program keeps running until the user quits.
TEST(DesktopProgram, OpensAndSaysSoWithoutASoundDevice) {
    for (const char* tool : {"xvfb-run", "xdotool"})
        if (!test::onPath(tool)) GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    const std::string output = runDesktop(dir, "SORVANTO_ALSA_DEVICE=no_such_device", R"(
timeout 120 xdotool search --sync --onlyvisible --name '^Calda Sorvanto$' | head -1 > main-id
timeout 60 xdotool search --sync --onlyvisible --name '^Sorvanto$' | head -1 > box-id
sleep 0.5
xdotool key Return
sleep 1
kill -0 $APP 2>/dev/null && echo running > state
WID=$(cat main-id)
if [ -n "$WID" ]; then quit "$WID"; fi)");
    const std::string appLog = readText(dir.file("app.log"));
    EXPECT_GT(readText(dir.file("main-id")).size(), 1u) << "no main window:\n" << output << appLog;
    EXPECT_GT(readText(dir.file("box-id")).size(), 1u) << "no message about the device";
    EXPECT_EQ(readText(dir.file("state")), "running\n") << "the program went away:\n" << appLog;
    EXPECT_EQ(readText(dir.file("exit-code")), "0\n") << appLog;
}

}  // namespace
}  // namespace svt
