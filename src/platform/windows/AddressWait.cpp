#include "platform/AddressWait.h"

#include "platform/windows/Win32.h"

namespace svt::platform {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t),
              "the system compares the atomic's bytes as a plain word");

void waitWhileEqual(const std::atomic<uint32_t>& word, uint32_t old) {
    // The system compares the word with `old` before it sleeps, so a wake between the
    // caller's look and this call is not lost.
    ::WaitOnAddress(const_cast<std::atomic<uint32_t>*>(&word), &old, sizeof old, INFINITE);
}

void wakeAll(std::atomic<uint32_t>& word) {
    ::WakeByAddressAll(&word);
}

void wakeOne(std::atomic<uint32_t>& word) {
    ::WakeByAddressSingle(&word);
}

}  // namespace svt::platform
