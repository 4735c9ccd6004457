#include "desktop/SingleInstance.h"

#include "platform/NamedLock.h"

namespace svt {

int probeInstanceLock(const std::string& name) {
    return platform::namedLockHeld(name) ? 1 : 0;
}

bool mayStart(const std::string& name) {
    return probeInstanceLock(name) == 0;
}

}  // namespace svt
