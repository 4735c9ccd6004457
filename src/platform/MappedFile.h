#pragma once
// Read-only view of a whole local file in memory.

#include <cstddef>
#include <cstdint>
#include <string>

namespace svt::platform {

class MappedFile {
  public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    ~MappedFile() { close(); }

    // Opens `path` read-only and maps it. Returns 0, or the system error number
    // (2 missing, 13 refused, ...). `kMapFailed` means the file opened but could not
    // be mapped (an empty file, a pipe): the caller reads it another way.
    static constexpr int kMapFailed = -1;
    int open(const std::string& path);
    void close();

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool isOpen() const { return data_ != nullptr; }

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace svt::platform
