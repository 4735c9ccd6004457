#pragma once
// Whether this copy of the desktop program may start: it ends at once, silently, while
// another process holds the lock "SVT-APP-MT". The program itself never holds it, so copies
// started the usual way run side by side.

#include <string>

namespace svt {

inline constexpr const char* kInstanceLockName = "SVT-APP-MT";

// 1 when another process holds the named lock, else 0.
int probeInstanceLock(const std::string& name = kInstanceLockName);
// True when this copy is to go on starting.
bool mayStart(const std::string& name = kInstanceLockName);

}  // namespace svt
