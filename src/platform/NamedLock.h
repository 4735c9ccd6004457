#pragma once
// A lock with a name that every process of the user can see: on Linux a file in the user's
// runtime folder ($XDG_RUNTIME_DIR, else /tmp) locked with flock, on Windows a named mutex.
// The system drops the lock when its holder ends, however it ends.

#include <cstdint>
#include <memory>
#include <string>

namespace svt::platform {

// The folder that holds the named locks (Linux; on Windows the system keeps them).
std::string runtimeFolder();

// Whether another holder has the lock `name` now. The probe takes the lock for a moment
// when it is free and lets it go again at once.
bool namedLockHeld(const std::string& name);

class NamedLock {
  public:
    // Takes the lock `name`; null when another holder has it or the file cannot be made.
    static std::unique_ptr<NamedLock> acquire(const std::string& name);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

  private:
    explicit NamedLock(intptr_t handle) : handle_(handle) {}
    intptr_t handle_;  // the locked file's descriptor, or the mutex's handle
};

}  // namespace svt::platform
