#include "platform/PendingFile.h"
#include "platform/PendingFileSlots.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace svt::platform {
namespace {

// The files a signal handler must remove. A handler can reach nothing but process-wide data
// and may call only a few system functions, so the paths are copied into fixed slots; a file
// whose path does not fit, or one beyond the last slot, is written all the same, just not
// removed by a signal.
constexpr int kSlots = 128;
constexpr size_t kSlotPathBytes = 4096;
enum SlotState : int { kFree = 0, kClaimed = 1, kListed = 2 };
struct Slot {
    std::atomic<int> state{kFree};
    char path[kSlotPathBytes];
};
Slot gSlots[kSlots];

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

extern "C" void removeListedAndEnd(int signal) {
    for (Slot& slot : gSlots)
        if (slot.state.load(std::memory_order_acquire) == kListed) ::unlink(slot.path);
    // The handler was reset to the default on entry: the signal, blocked while the handler
    // runs, ends the program as soon as the handler returns.
    ::raise(signal);
}

int listPath(const std::string& path) {
    if (path.size() >= kSlotPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!gSlots[i].state.compare_exchange_strong(expected, kClaimed)) continue;
        std::memcpy(gSlots[i].path, path.c_str(), path.size() + 1);
        gSlots[i].state.store(kListed, std::memory_order_release);
        return i;
    }
    return -1;
}

void unlist(int slot) {
    if (slot < 0) return;
    gSlots[slot].state.store(kFree, std::memory_order_release);
}

}  // namespace

namespace pending {

unsigned processNumber() {
    return static_cast<unsigned>(::getpid());
}

const char* folderSeparators() {
    return "/";
}

int listForStop(const std::string& path) {
    return listPath(path);
}

}  // namespace pending

int PendingFile::commit(bool replace) {
    if (!active()) return ENOENT;
    const char* from = temporary_.c_str();
    const char* to = final_.c_str();
    int error = 0;
    if (const int fd = ::open(from, O_RDONLY | O_CLOEXEC); fd < 0) {
        error = errno;
    } else {
        if (::fdatasync(fd) != 0 && errno != EINVAL) error = errno;
        ::close(fd);
    }
    if (error == 0 && replace) {
        if (::rename(from, to) != 0) error = errno;
    } else if (error == 0) {
        if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) {
            error = errno;
            // File systems without the flag: a hard link fails just as well on an existing
            // name; where there are no hard links either, a look comes just before the rename.
            if (error == EINVAL || error == ENOSYS) {
                error = ::link(from, to) == 0 ? 0 : errno;
                if (error == 0) ::unlink(from);
            }
            if (error == EPERM || error == EOPNOTSUPP)
                error = pathExists(final_) ? EEXIST : ::rename(from, to) == 0 ? 0 : errno;
        }
    }
    if (error != 0) {
        discard();
        return error;
    }
    forget();
    return 0;
}

void PendingFile::discard() {
    if (!active()) return;
    ::unlink(temporary_.c_str());
    forget();
}

void PendingFile::forget() {
    unlist(slot_);
    slot_ = -1;
    temporary_.clear();
}

void removePendingFilesOnSignals() {
    // A write beyond the file-size limit (ulimit -f, common under batch systems) fails with
    // EFBIG and is reported like any failed write, instead of killing the program.
    ::signal(SIGXFSZ, SIG_IGN);
    for (const int signal : kCleanedSignals) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0) continue;
        if (old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeListedAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace svt::platform
