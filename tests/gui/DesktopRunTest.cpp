// The real sorvanto under Xvfb, as a user meets it: the demo song listed from the command line,
// Space pressed with xdotool, the time field watched until it moves, a screenshot, Q and the
// quit question answered. The sound goes to a PulseAudio null sink (real time) when one can be
// started, else to ALSA's null device. Every wait polls with a generous limit.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/DecodedAudio.h"
#include "support/LiveServices.h"
#include "support/SmfBuilder.h"
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

TEST(DesktopProgram, PlaysTheSongNamedOnTheCommandLineAndQuits) {
    for (const char* tool : {"xvfb-run", "xdotool", "import"})
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
    const std::string d = dir.path().string();
    const std::string script =
        dir.write("run.sh", std::string(R"(set -u
cd ')" + d + R"('
HOME=')" + d + R"(' XDG_CONFIG_HOME=')" +
                                        d + R"(/config' XDG_RUNTIME_DIR=')" + run +
                                        R"(' \
SORVANTO_ALSA_DEVICE=)" + (realTime ? "sorvanto_pulse" : "sorvanto_null") +
                                        R"( SORVANTO_LANG=2 SORVANTO_TIME_LOG=time.log \
  ')" SORVANTO_BINARY_DIR R"(/bin/sorvanto' --open ')" SORVANTO_SOURCE_DIR
                                        R"(/data/demo.mid' > app.log 2>&1 &
APP=$!
WID=$(timeout 300 xdotool search --sync --onlyvisible --name '^Calda Sorvanto$' | head -1)
echo "$WID" > window-id
if [ -n "$WID" ]; then
  xdotool windowfocus --sync "$WID"
  xdotool key space
  for i in $(seq 600); do
    awk '{split($1,t,":"); if (t[1]*3600+t[2]*60+t[3] >= 3) f=1} END {exit !f}' time.log 2>/dev/null && break
    sleep 0.1
  done
  sleep 0.3
  import -window "$WID" shot.png
  xdotool key q
  sleep 1
  xdotool key Return
fi
for i in $(seq 300); do kill -0 $APP 2>/dev/null || break; sleep 0.1; done
kill $APP 2>/dev/null
wait $APP
echo $? > exit-code
)"));
    std::string output;
    test::runCommand("xvfb-run -a -s '-screen 0 1280x900x24' bash '" + script + "' 2>&1", &output);

    const std::string appLog = readText(dir.file("app.log"));
    ASSERT_FALSE(readText(dir.file("window-id")).empty() || readText(dir.file("window-id")) == "\n")
        << "no main window appeared:\n"
        << output << appLog;
    EXPECT_GE(furthestTime(readText(dir.file("time.log"))), 3)
        << "the time field did not move after Space:\n"
        << readText(dir.file("time.log")) << appLog;
    EXPECT_EQ(readText(dir.file("exit-code")), "0\n") << "Q and Yes end the program cleanly:\n"
                                                      << appLog;
    const std::string settings = readText(dir.file("config/Brenkow Europe/Calda Sorvanto.conf"));
    EXPECT_NE(settings.find("UIMainX="), std::string::npos) << "the settings are saved at the end";

    ASSERT_TRUE(std::filesystem::exists(dir.file("shot.png")));
    const std::string shots = SORVANTO_BINARY_DIR "/screenshots";
    std::filesystem::create_directories(shots);
    std::filesystem::copy_file(dir.file("shot.png"), shots + "/main-window.png",
                               std::filesystem::copy_options::overwrite_existing);
    // The README's picture is taken again on purpose only.
    if (std::getenv("SORVANTO_UPDATE_SCREENSHOTS") && realTime)
        std::filesystem::copy_file(dir.file("shot.png"),
                                   SORVANTO_SOURCE_DIR "/doc/screenshots/main-window.png",
                                   std::filesystem::copy_options::overwrite_existing);
}

// A folder of three songs listed from the command line, the playlist window shown with A, the
// playlist converted to WAV with its button, the question after the last song answered No;
// every file is a WAV file of its song's length. The window is kept as the README's picture.
TEST(DesktopProgram, ConvertsAListedFolderToWavFromThePlaylist) {
    for (const char* tool : {"xvfb-run", "xdotool", "import", "soxi"})
        if (!test::onPath(tool)) GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    const std::string run = dir.file("run");
    std::filesystem::create_directories(run);
    ::chmod(run.c_str(), 0700);
    const std::string songs = dir.file("Songs");
    std::filesystem::create_directories(songs);
    const char* titles[] = {"Morning Walk", "Rock & Roll <Live>", "Wiegenlied"};
    for (int i = 0; i < 3; ++i) {
        test::SmfBuilder song(0, 480);
        auto& track = song.track();
        track.trackName(0, titles[i]).tempo(0, 500000);
        for (int beat = 0; beat < 4 + 2 * i; ++beat)
            track.noteOn(beat == 0 ? 0 : 240, 0, 60 + 2 * beat, 90).noteOff(240, 0, 60 + 2 * beat);
        track.endOfTrack();
        dir.write("Songs/" + std::to_string(i + 1) + " " + titles[i] + ".mid", song.build());
    }
    {
        std::ofstream rc(dir.file(".asoundrc"));
        rc << "pcm.sorvanto_null {\n  type null\n}\n";
    }
    const std::string d = dir.path().string();
    const std::string script = dir.write("run.sh", std::string(R"(set -u
cd ')" + d + R"('
export HOME=')" + d + R"(' XDG_CONFIG_HOME=')" + d + R"(/config' XDG_RUNTIME_DIR=')" +
                                                               run + R"('
export SORVANTO_ALSA_DEVICE=sorvanto_null SORVANTO_LANG=2 SORVANTO_LAYOUT_LOG=layout.log
')" SORVANTO_BINARY_DIR R"(/bin/sorvanto' --open ')" + songs + R"(/' > app.log 2>&1 &
APP=$!
WID=$(timeout 300 xdotool search --sync --onlyvisible --name '^Calda Sorvanto$' | head -1)
echo "$WID" > window-id
if [ -n "$WID" ]; then
  xdotool windowfocus --sync "$WID"
  for i in $(seq 100); do [ -s layout.log ] && break; sleep 0.1; done
  sleep 1
  xdotool key a
  LID=$(timeout 30 xdotool search --sync --onlyvisible --name '^Playlist$' | head -1)
  sleep 1
  [ -n "$LID" ] && import -window "$LID" playlist.png
  read -r _ X Y < <(grep '^playlist-as-wav ' layout.log)
  xdotool windowfocus --sync "$WID" mousemove --sync "$X" "$Y" click 1
  for i in $(seq 600); do
    Q=$(xdotool search --onlyvisible --name '^Sorvanto$' 2>/dev/null | head -1)
    [ -n "$Q" ] && break
    sleep 0.1
  done
  echo "$Q" > question-id
  sleep 0.5
  [ -n "$Q" ] && xdotool windowfocus --sync "$Q" key Escape
  sleep 0.5
  xdotool windowfocus --sync "$WID" key q
  sleep 1
  xdotool key Return
fi
for i in $(seq 300); do kill -0 $APP 2>/dev/null || break; sleep 0.1; done
kill $APP 2>/dev/null
wait $APP
echo $? > exit-code
)"));
    std::string output;
    test::runCommand("xvfb-run -a -s '-screen 0 1280x900x24' bash '" + script + "' 2>&1", &output);
    const std::string appLog = readText(dir.file("app.log"));
    ASSERT_NE(readText(dir.file("window-id")), "\n") << output << appLog;
    EXPECT_NE(readText(dir.file("question-id")), "\n") << "no question after the conversion:\n"
                                                       << output << appLog;
    for (int i = 0; i < 3; ++i) {
        const std::string wav = songs + "/" + std::to_string(i + 1) + " " + titles[i] + ".wav";
        ASSERT_TRUE(std::filesystem::exists(wav)) << wav << "\n" << output << appLog;
        std::string info;
        test::runCommand("soxi -t '" + wav + "' && soxi -r '" + wav + "' && soxi -D '" + wav + "'",
                         &info);
        std::istringstream lines(info);
        std::string type, rate;
        double seconds = 0;
        lines >> type >> rate >> seconds;
        EXPECT_EQ(type, "wav") << wav;
        EXPECT_EQ(rate, "44100") << wav;
        // (4 + 2i) quarter notes at 120 beats a minute, and the sound's release after them.
        EXPECT_GE(seconds, (4 + 2 * i) * 0.5 - 0.3) << wav;
        EXPECT_LE(seconds, (4 + 2 * i) * 0.5 + 5.0) << wav;
    }
    for (const auto& entry : std::filesystem::directory_iterator(songs)) {
        const std::string ext = entry.path().extension().string();
        EXPECT_TRUE(ext == ".mid" || ext == ".wav") << "left behind: " << entry.path();
    }
    EXPECT_EQ(readText(dir.file("exit-code")), "0\n") << appLog;

    ASSERT_TRUE(std::filesystem::exists(dir.file("playlist.png"))) << output;
    const std::string shots = SORVANTO_BINARY_DIR "/screenshots";
    std::filesystem::create_directories(shots);
    std::filesystem::copy_file(dir.file("playlist.png"), shots + "/playlist.png",
                               std::filesystem::copy_options::overwrite_existing);
    if (std::getenv("SORVANTO_UPDATE_SCREENSHOTS"))
        std::filesystem::copy_file(dir.file("playlist.png"),
                                   SORVANTO_SOURCE_DIR "/doc/screenshots/playlist.png",
                                   std::filesystem::copy_options::overwrite_existing);
}

}  // namespace
}  // namespace svt
