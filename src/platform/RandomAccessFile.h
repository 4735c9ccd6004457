#pragma once
// A local file read by position, without mapping it: a file cut short by another program
// while it is read then reads short instead of killing the reader with a signal, and
// scattered pieces of a large file (the compressed samples of a SoundFont) do not become part
// of the process's memory.

#include <cstdint>
#include <span>
#include <string>

namespace svt::platform {

class RandomAccessFile {
  public:
    RandomAccessFile() = default;
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;
    ~RandomAccessFile() { close(); }

    // Opens `path` read-only. Returns 0, or the system error number (2 missing, 13 refused).
    int open(const std::string& path);
    void close();
    bool isOpen() const { return handle_ != -1; }
    // The size when the file was opened.
    int64_t size() const { return size_; }
    // True when the file's size or time of change is no longer what it was at open.
    bool changedSinceOpen() const;

    // Reads up to out.size() bytes from `offset`; fewer at the end of the file. Returns the
    // number read, or -1 when the system refuses.
    int64_t readAt(int64_t offset, std::span<uint8_t> out) const;

  private:
    intptr_t handle_ = -1;  // a file descriptor, or on Windows a file handle
    int64_t size_ = 0;
    int64_t changeTime_ = 0;  // in the system's units
};

}  // namespace svt::platform
