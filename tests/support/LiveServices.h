#pragma once
// Helpers for tests that run the real programs: shell commands, polling for a condition with a
// generous limit (never a measurement), and a PulseAudio server with one null sink of the
// test's own, the device that plays in real time.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

#include "support/TempDir.h"

namespace svt::test {

// The CI machine is slow and shared.
inline constexpr std::chrono::milliseconds kPatience{30000};

// The command's standard output.
std::string shell(const std::string& command);
bool onPath(const std::string& program);
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = kPatience);

// A PulseAudio server with one null sink, private to the test: its own home and runtime
// folder, anonymous access on its own socket. ALSA reaches it through the pulse plugin.
class NullSinkServer {
  public:
    explicit NullSinkServer(const TempDir& dir);
    ~NullSinkServer();
    NullSinkServer(const NullSinkServer&) = delete;
    NullSinkServer& operator=(const NullSinkServer&) = delete;
    // Empty when the server runs.
    const std::string& problem() const { return problem_; }
    const std::string& socket() const { return socket_; }

  private:
    pid_t pid_ = -1;
    std::string socket_;
    std::string problem_;
};

}  // namespace svt::test
