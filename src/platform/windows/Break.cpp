#include "platform/Break.h"

#include <atomic>

#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

// The console calls the handler in a thread of its own: it reaches nothing but process-wide
// data.
std::atomic<int> gBreaks{0};

BOOL WINAPI countBreak(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    static constexpr char kText[] = "Break\r\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kText, sizeof kText - 1, &written, nullptr);
    // The next break is handled as it was before this one: the program ends.
    return gBreaks.fetch_add(1, std::memory_order_relaxed) == 0 ? TRUE : FALSE;
}

}  // namespace

void installBreakHandler() {
    ::SetConsoleCtrlHandler(countBreak, TRUE);
}

int breakCount() {
    return gBreaks.load(std::memory_order_relaxed);
}

}  // namespace svt::platform
