#pragma once
// Sleeping until a 32-bit word changes, and waking those who sleep on it: the futex on Linux,
// WaitOnAddress on Windows. libstdc++ before GCC 13 builds std::atomic::wait on mingw-w64 from
// a condition variable that can lose a wake-up, so the render helpers sleep here instead.

#include <atomic>
#include <cstdint>

namespace svt::platform {

// Sleeps while `word` still holds `old`. May return without a change (callers look again).
void waitWhileEqual(const std::atomic<uint32_t>& word, uint32_t old);
// Wakes every thread, or one thread, sleeping on `word` in waitWhileEqual.
void wakeAll(std::atomic<uint32_t>& word);
void wakeOne(std::atomic<uint32_t>& word);

}  // namespace svt::platform
