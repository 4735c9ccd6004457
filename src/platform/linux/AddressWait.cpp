#include "platform/AddressWait.h"

namespace svt::platform {

// libstdc++ waits on a futex here.
void waitWhileEqual(const std::atomic<uint32_t>& word, uint32_t old) {
    word.wait(old, std::memory_order_acquire);
}

void wakeAll(std::atomic<uint32_t>& word) {
    word.notify_all();
}

void wakeOne(std::atomic<uint32_t>& word) {
    word.notify_one();
}

}  // namespace svt::platform
