#include "platform/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

HANDLE handleOf(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

int openFile(const std::string& path, DWORD disposition, intptr_t& out) {
    HANDLE file =
        ::CreateFileW(win::widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                      nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // Writing over a folder is refused as "access denied"; say what it really is.
        if (error == ERROR_ACCESS_DENIED) {
            const DWORD attributes = ::GetFileAttributesW(win::widen(path).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return EISDIR;
        }
        return win::errnoFrom(error);
    }
    out = reinterpret_cast<intptr_t>(file);
    return 0;
}

}  // namespace

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
    const int error = openFile(path, CREATE_ALWAYS, fd_);
    owned_ = error == 0;
    return error;
}

int OutputFile::createNew(const std::string& path) {
    close();
    const int error = openFile(path, CREATE_NEW, fd_);
    owned_ = error == 0;
    return error;
}

void OutputFile::useStandardOutput() {
    close();
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    fd_ = out == nullptr ? -1 : reinterpret_cast<intptr_t>(out);
    owned_ = false;
}

int OutputFile::close() {
    int result = 0;
    if (fd_ != -1 && owned_ && !::CloseHandle(handleOf(fd_))) result = win::lastErrno();
    fd_ = -1;
    owned_ = false;
    return result;
}

int OutputFile::writeAll(const void* data, size_t bytes) {
    if (fd_ == -1) return EBADF;
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handleOf(fd_), p, want, &written, nullptr)) return win::lastErrno();
        if (written == 0) return EIO;
        p += written;
        bytes -= written;
    }
    return 0;
}

int64_t OutputFile::position() const {
    if (fd_ == -1 || ::GetFileType(handleOf(fd_)) != FILE_TYPE_DISK) return -1;
    LARGE_INTEGER zero{}, at{};
    if (!::SetFilePointerEx(handleOf(fd_), zero, &at, FILE_CURRENT)) return -1;
    return at.QuadPart;
}

bool OutputFile::seek(int64_t offset) {
    if (fd_ == -1 || offset < 0 || ::GetFileType(handleOf(fd_)) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    return ::SetFilePointerEx(handleOf(fd_), to, nullptr, FILE_BEGIN) != 0;
}

int OutputFile::sync() {
    if (fd_ == -1) return EBADF;
    if (::GetFileType(handleOf(fd_)) != FILE_TYPE_DISK) return 0;
    return ::FlushFileBuffers(handleOf(fd_)) ? 0 : win::lastErrno();
}

std::string OutputFile::errorText(int error) {
    return std::strerror(error);
}

bool pathExists(const std::string& path) {
    return ::GetFileAttributesW(win::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

PathKind pathKind(const std::string& path) {
    const std::wstring name = win::widen(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return PathKind::Folder;
    // Devices ("NUL", "CON") report no attributes on Windows and a file's under Wine; the type
    // of an opened handle tells them from files either way.
    HANDLE opened = ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return attributes == INVALID_FILE_ATTRIBUTES ? PathKind::Missing : PathKind::File;
    const DWORD type = ::GetFileType(opened);
    ::CloseHandle(opened);
    return type == FILE_TYPE_DISK ? PathKind::File : PathKind::Other;
}

std::optional<FileIdentity> fileIdentity(const std::string& path) {
    // Folders open only with backup semantics; reading no data needs no access right.
    HANDLE file = ::CreateFileW(win::widen(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    if (!known) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool removeFile(const std::string& path) {
    return ::DeleteFileW(win::widen(path).c_str()) != 0;
}

std::FILE* openStdioFile(const std::string& path, const char* mode) {
    return ::_wfopen(win::widen(path).c_str(), win::widen(mode).c_str());
}

}  // namespace svt::platform
