#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace svt::platform {
namespace {

std::string lockPath(const std::string& name) {
    return runtimeFolder() + "/" + name + ".lock";
}

// The lock's file descriptor with the lock taken, or -1 (errno EWOULDBLOCK when held).
int takeLock(const std::string& name) {
    const int fd = ::open(lockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

}  // namespace

std::string runtimeFolder() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir != nullptr && *dir != '\0' && ::access(dir, W_OK) == 0) return dir;
    return "/tmp";
}

bool namedLockHeld(const std::string& name) {
    const int fd = takeLock(name);
    if (fd < 0) return errno == EWOULDBLOCK;
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return false;
}

std::unique_ptr<NamedLock> NamedLock::acquire(const std::string& name) {
    const int fd = takeLock(name);
    if (fd < 0) return nullptr;
    return std::unique_ptr<NamedLock>(new NamedLock(fd));
}

NamedLock::~NamedLock() {
    ::flock(static_cast<int>(handle_), LOCK_UN);
    ::close(static_cast<int>(handle_));
}

}  // namespace svt::platform
