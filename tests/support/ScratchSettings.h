#pragma once
// A settings store of the test's own, removed with everything in it when the test ends: a
// file in a folder of its own on Linux, a key of its own under
// HKEY_CURRENT_USER\Software\Sorvanto Tests on Windows. Header only: the tests that use it
// link the platform library anyway.

#include <atomic>
#include <chrono>
#include <string>

#include "platform/SettingsStore.h"
#include "support/TempDir.h"

namespace svt::test {

class ScratchSettings {
  public:
    explicit ScratchSettings(const std::string& name = "settings") {
#ifdef _WIN32
        static std::atomic<unsigned> counter{0};
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        location_ = "Software\\Sorvanto Tests\\" + name + "-" + std::to_string(now) + "-" +
                    std::to_string(counter++);
#else
        location_ = dir_.file(name + ".conf");
#endif
    }
    ~ScratchSettings() {
        (void)store().removeAll();
    }
    ScratchSettings(const ScratchSettings&) = delete;
    ScratchSettings& operator=(const ScratchSettings&) = delete;

    platform::SettingsStore store() const {
        return platform::SettingsStore(location_);
    }
    const std::string& location() const {
        return location_;
    }

  private:
    TempDir dir_;
    std::string location_;
};

}  // namespace svt::test
