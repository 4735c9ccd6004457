#include "platform/RandomAccessFile.h"

#include <algorithm>
#include <cerrno>

#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

HANDLE handleOf(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

}  // namespace

int RandomAccessFile::open(const std::string& path) {
    close();
    const std::wstring name = win::widen(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return EISDIR;
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return win::lastErrno();
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
        ::CloseHandle(file);
        return EINVAL;
    }
    FILETIME written{};
    ::GetFileTime(file, nullptr, nullptr, &written);
    handle_ = reinterpret_cast<intptr_t>(file);
    size_ = size.QuadPart;
    changeTime_ = (static_cast<int64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return 0;
}

bool RandomAccessFile::changedSinceOpen() const {
    // Other programs may not write while the file is open (it is shared for reading only), but
    // one may have held it open for writing before.
    LARGE_INTEGER size{};
    FILETIME written{};
    if (handle_ == -1 || !::GetFileSizeEx(handleOf(handle_), &size) ||
        !::GetFileTime(handleOf(handle_), nullptr, nullptr, &written))
        return false;
    const int64_t time =
        (static_cast<int64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return size.QuadPart != size_ || time != changeTime_;
}

void RandomAccessFile::close() {
    if (handle_ != -1) ::CloseHandle(handleOf(handle_));
    handle_ = -1;
    size_ = 0;
}

int64_t RandomAccessFile::readAt(int64_t offset, std::span<uint8_t> out) const {
    if (handle_ == -1 || offset < 0) return -1;
    size_t done = 0;
    while (done < out.size()) {
        const int64_t at = offset + static_cast<int64_t>(done);
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFF);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(handleOf(handle_), out.data() + done, want, &got, &where)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) break;
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (got == 0) break;
        done += got;
    }
    return static_cast<int64_t>(done);
}

}  // namespace svt::platform
