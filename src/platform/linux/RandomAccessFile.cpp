#include "platform/RandomAccessFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace svt::platform {
namespace {

int64_t changeTimeOf(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

int RandomAccessFile::open(const std::string& path) {
    close();
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return err;
    }
    handle_ = fd;
    size_ = static_cast<int64_t>(st.st_size);
    changeTime_ = changeTimeOf(st);
    return 0;
}

bool RandomAccessFile::changedSinceOpen() const {
    struct stat st {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0) return false;
    return static_cast<int64_t>(st.st_size) != size_ || changeTimeOf(st) != changeTime_;
}

void RandomAccessFile::close() {
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
    size_ = 0;
}

int64_t RandomAccessFile::readAt(int64_t offset, std::span<uint8_t> out) const {
    if (handle_ < 0 || offset < 0) return -1;
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(handle_, out.data() + done, out.size() - done,
                            static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done > 0 ? static_cast<int64_t>(done) : -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

}  // namespace svt::platform
