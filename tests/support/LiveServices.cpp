#include "support/LiveServices.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/DecodedAudio.h"

namespace svt::test {

using namespace std::chrono_literals;

std::string shell(const std::string& command) {
    std::string out;
    test::runCommand(command, &out);
    return out;
}

bool onPath(const std::string& program) {
    return test::runCommand("command -v " + program + " >/dev/null") == 0;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(100ms);
    }
}

NullSinkServer::NullSinkServer(const TempDir& dir) {
    if (!onPath("pulseaudio")) {
        problem_ = "pulseaudio is not installed";
        return;
    }
    const std::string run = dir.file("pulse-run");
    std::filesystem::create_directories(run);
    ::chmod(run.c_str(), 0700);
    socket_ = run + "/native";
    const std::string log = dir.file("pulse.log");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setenv("HOME", dir.path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
        std::freopen(log.c_str(), "w", stdout);
        std::freopen(log.c_str(), "a", stderr);
        const std::string protocol =
            "module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1";
        const std::string load = "--load=" + protocol;
        ::execlp("pulseaudio", "pulseaudio", "--daemonize=no", "-n", "--load=module-null-sink",
                 load.c_str(), "--exit-idle-time=-1", "--disable-shm=yes", "--use-pid-file=no",
                 "--no-cpu-limit", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    if (pid_ < 0) {
        problem_ = "cannot start pulseaudio";
        return;
    }
    const bool up = waitUntil([&] {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        return std::filesystem::exists(socket_);
    });
    if (pid_ < 0 || !up) {
        std::ifstream in(log);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        problem_ = "pulseaudio did not start a null sink here:\n" + text;
    }
}

NullSinkServer::~NullSinkServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (!waitUntil([&] { return ::waitpid(pid_, nullptr, WNOHANG) == pid_; }, 10s)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

}  // namespace svt::test
