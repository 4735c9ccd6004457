#include "platform/Break.h"

#include <unistd.h>

#include <atomic>
#include <csignal>

namespace svt::platform {
namespace {

// A signal handler reaches nothing but process-wide data.
std::atomic<int> gBreaks{0};
struct sigaction gBefore {};

extern "C" void countBreak(int) {
    static constexpr char kText[] = "Break\r\n";
    (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
    // The next break is handled as it was before this one.
    if (gBreaks.fetch_add(1, std::memory_order_relaxed) == 0)
        ::sigaction(SIGINT, &gBefore, nullptr);
}

}  // namespace

void installBreakHandler() {
    struct sigaction old {};
    if (::sigaction(SIGINT, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    gBefore = old;
    struct sigaction action {};
    action.sa_handler = countBreak;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
}

int breakCount() {
    return gBreaks.load(std::memory_order_relaxed);
}

}  // namespace svt::platform
