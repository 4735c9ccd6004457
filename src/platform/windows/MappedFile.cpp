#include "platform/MappedFile.h"

#include <cerrno>
#include <utility>

#include "platform/windows/Win32.h"

namespace svt::platform {

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        close();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

int MappedFile::open(const std::string& path) {
    close();
    const std::wstring name = win::widen(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return EISDIR;
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return win::lastErrno();
    LARGE_INTEGER size{};
    // An empty file has nothing to map, and something that is not a disk file (a pipe, a
    // console) has no size: both are read another way.
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size) ||
        size.QuadPart <= 0 || static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
        ::CloseHandle(file);
        return kMapFailed;
    }
    HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void* view = mapping != nullptr ? ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    // The view keeps the file and the mapping alive until it is unmapped.
    if (mapping != nullptr) ::CloseHandle(mapping);
    ::CloseHandle(file);
    if (view == nullptr) return kMapFailed;
    data_ = static_cast<const uint8_t*>(view);
    size_ = static_cast<size_t>(size.QuadPart);
    return 0;
}

void MappedFile::close() {
    if (data_ != nullptr) {
        ::UnmapViewOfFile(data_);
        data_ = nullptr;
        size_ = 0;
    }
}

}  // namespace svt::platform
