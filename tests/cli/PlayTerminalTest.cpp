// sorvanto-cli play as a user meets it: in a terminal (a detached tmux session of the test's
// own), keys sent with send-keys, the status line read back with capture-pane. Every wait
// polls for a condition with a generous limit; nothing here measures how long anything took.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "support/DecodedAudio.h"
#include "support/LiveServices.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt {
namespace {

using namespace std::chrono_literals;
using test::NullSinkServer;
using test::onPath;
using test::shell;
using test::TempDir;
using test::waitUntil;

struct Status {
    int heardSeconds = -1;
    bool paused = false;
    std::string line;
};

// One run of `sorvanto-cli play` in a detached tmux session on a server of the test's own.
class TerminalPlay {
  public:
    TerminalPlay(const TempDir& dir, const std::string& arguments)
        : tmux_("tmux -S " + dir.file("tmux.sock")), exitFile_(dir.file("exit-code")) {
        const std::string command = "HOME=" + dir.path().string() + " " + SORVANTO_BINARY_DIR +
                                    "/bin/sorvanto-cli play " + arguments + "; echo $? > " +
                                    exitFile_;
        started_ = shell(tmux_ + " new-session -d -s play -x 160 -y 12 '" + command + "'");
    }
    ~TerminalPlay() { shell(tmux_ + " kill-server"); }

    const std::string& startMessage() const { return started_; }
    void send(const std::string& key) { shell(tmux_ + " send-keys -t play " + key); }
    std::string screen() { return shell(tmux_ + " capture-pane -p -t play"); }
    // The status line as it stands; heardSeconds -1 while there is none.
    Status status() {
        Status s;
        const std::string text = screen();
        static const std::regex time(R"((\d+):(\d\d) / \d+:\d\d)");
        std::smatch m;
        std::string::const_iterator from = text.begin();
        while (std::regex_search(from, text.end(), m, time)) {
            s.heardSeconds = std::stoi(m[1]) * 60 + std::stoi(m[2]);
            const size_t start = static_cast<size_t>(m[0].first - text.begin());
            const size_t end = text.find('\n', start);
            s.line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
            from = m[0].second;
        }
        s.paused = s.line.find("[paused]") != std::string::npos;
        return s;
    }
    Status waitFor(const std::function<bool(const Status&)>& condition) {
        Status last;
        waitUntil([&] {
            last = status();
            return condition(last);
        });
        return last;
    }
    std::optional<int> exitCode() {
        std::ifstream in(exitFile_);
        int code = -1;
        if (!(in >> code)) return std::nullopt;
        return code;
    }

  private:
    std::string tmux_;
    std::string exitFile_;
    std::string started_;
};

// Fifty minutes of a note on every beat: long enough that no run here reaches its end.
std::string longSong(const TempDir& dir) {
    test::SmfBuilder smf(0, 480);
    auto& track = smf.track().tempo(0, 500000).program(0, 0, 0);
    for (int beat = 0; beat < 50 * 120; ++beat)
        track.noteOn(beat == 0 ? 0 : 240, 0, 60 + beat % 12, 90).noteOff(240, 0, 60 + beat % 12);
    track.endOfTrack();
    return dir.write("long.mid", smf.build());
}

void writeAlsaConfig(const TempDir& dir, const std::string& pulseSocket) {
    std::ofstream rc(dir.file(".asoundrc"));
    rc << "pcm.sorvanto_null {\n  type null\n}\n";
    if (!pulseSocket.empty())
        rc << "pcm.sorvanto_pulse {\n  type pulse\n  server \"unix:" << pulseSocket << "\"\n}\n";
}

// Pause stops the time, a seek while paused moves it by five seconds, playing goes on from
// there, and q ends the program cleanly. `realTime`: the device plays at the song's pace,
// so a seek back while playing can be seen too.
void pauseSeekAndQuit(const TempDir& dir, const std::string& device, bool realTime) {
    if (!onPath("tmux")) GTEST_SKIP() << "tmux is not installed; the terminal test needs it";
    const std::string font = dir.write("sine.sf2", test::sineFont());
    // The sound options convert takes reach the player too.
    TerminalPlay play(dir, longSong(dir) + " -s " + font + " --device " + device +
                               " --rate 32000 --reverb off --chorus off --mute 3,5");
    ASSERT_TRUE(play.startMessage().empty()) << play.startMessage();

    Status s = play.waitFor([](const Status& st) { return st.heardSeconds >= 2; });
    ASSERT_GE(s.heardSeconds, 2) << "no status line with a running time:\n" << play.screen();
    EXPECT_NE(s.line.find("voices"), std::string::npos) << s.line;
    EXPECT_NE(s.line.find("muted 3,5"), std::string::npos) << s.line;
    EXPECT_NE(s.line.find(" 120 bpm"), std::string::npos) << s.line;

    play.send("Space");
    s = play.waitFor([](const Status& st) { return st.paused; });
    ASSERT_TRUE(s.paused) << play.screen();
    const int pausedAt = s.heardSeconds;
    std::this_thread::sleep_for(1500ms);
    s = play.status();
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.heardSeconds, pausedAt) << "the time went on while paused";

    play.send("Right");
    s = play.waitFor([&](const Status& st) { return st.heardSeconds != pausedAt; });
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.heardSeconds, pausedAt + 5) << "a seek while paused moves where playing resumes";
    const int resumeAt = s.heardSeconds;

    play.send("Space");
    s = play.waitFor([&](const Status& st) { return !st.paused && st.heardSeconds > resumeAt; });
    EXPECT_FALSE(s.paused) << play.screen();
    EXPECT_GT(s.heardSeconds, resumeAt) << "the time does not run again after the pause";

    if (realTime) {
        // Only a seek can take the time back.
        const int before = play.status().heardSeconds;
        play.send("Left");
        s = play.waitFor([&](const Status& st) {
            return st.heardSeconds >= 0 && st.heardSeconds <= before - 2;
        });
        EXPECT_LE(s.heardSeconds, before - 2) << "left arrow did not seek back: " << s.line;
        s = play.waitFor([&](const Status& st) { return st.heardSeconds > before; });
        EXPECT_GT(s.heardSeconds, before) << "playing does not go on after the seek";
    }

    // Three steps faster: the tempo the line shows follows (150/151 a step: 102%, 122 bpm).
    play.send("] ] ]");
    s = play.waitFor([](const Status& st) { return st.line.find("(102%)") != std::string::npos; });
    EXPECT_NE(s.line.find(" 122 bpm (102%)"), std::string::npos) << s.line;

    play.send("q");
    ASSERT_TRUE(waitUntil([&] { return play.exitCode().has_value(); })) << play.screen();
    EXPECT_EQ(play.exitCode(), 0) << play.screen();
}

TEST(PlayInATerminal, KeysOnADeviceThatPlaysAsFastAsItIsFed) {
    TempDir dir;
    writeAlsaConfig(dir, "");
    pauseSeekAndQuit(dir, "sorvanto_null", false);
}

TEST(PlayInATerminal, KeysOnADeviceThatPlaysInRealTime) {
    TempDir dir;
    NullSinkServer server(dir);
    if (!server.problem().empty()) GTEST_SKIP() << "no real-time device: " << server.problem();
    writeAlsaConfig(dir, server.socket());
    pauseSeekAndQuit(dir, "sorvanto_pulse", true);
}

}  // namespace
}  // namespace svt
