#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace svt::platform {

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), owned_(std::exchange(other.owned_, false)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        owned_ = std::exchange(other.owned_, false);
    }
    return *this;
}

int OutputFile::create(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    fd_ = fd;
    owned_ = true;
    return 0;
}

int OutputFile::createNew(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    fd_ = fd;
    owned_ = true;
    return 0;
}

void OutputFile::useStandardOutput() {
    close();
    fd_ = 1;
    owned_ = false;
}

int OutputFile::close() {
    int result = 0;
    if (fd_ >= 0 && owned_ && ::close(fd_) != 0) result = errno;
    fd_ = -1;
    owned_ = false;
    return result;
}

int OutputFile::writeAll(const void* data, size_t bytes) {
    if (fd_ < 0) return EBADF;
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(fd_, p, bytes);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return 0;
}

int64_t OutputFile::position() const {
    if (fd_ < 0) return -1;
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    return at < 0 ? -1 : static_cast<int64_t>(at);
}

bool OutputFile::seek(int64_t offset) {
    return fd_ >= 0 &&
           ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

int OutputFile::sync() {
    if (fd_ < 0) return EBADF;
    return ::fdatasync(fd_) == 0 ? 0 : errno;
}

std::string OutputFile::errorText(int error) {
    return std::strerror(error);
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

PathKind pathKind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // A symbolic link to nothing is still a name in the folder: kept, or replaced, as a
        // file is (a new file could never take its name without replacing it).
        return ::lstat(path.c_str(), &st) == 0 ? PathKind::File : PathKind::Missing;
    }
    if (S_ISREG(st.st_mode)) return PathKind::File;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    return PathKind::Other;
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::FILE* openStdioFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

}  // namespace svt::platform
