#pragma once
// A file written without a buffer of our own: every write reaches the system at once, so a
// full disk or a closed pipe is reported by the write that met it, not by a later close that
// nobody checks. Standard output is a file of this kind too (it is never closed here).

#include <cstddef>
#include <cstdint>
#include <string>

namespace svt::platform {

class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    ~OutputFile() { close(); }

    // Creates or truncates `path` for writing (permissions 0644 before the umask).
    // Returns 0 or the system error number.
    int create(const std::string& path);
    // Writes to the process's standard output from now on.
    void useStandardOutput();
    // Closes the file (standard output stays open). Returns 0 or the system error number of
    // the close, which is where some file systems report a failed write.
    int close();

    // Writes all `bytes` (retrying after interruptions). Returns 0 or the system error number.
    int writeAll(const void* data, size_t bytes);
    // Positions; -1 when the file cannot be repositioned (a pipe, a terminal).
    int64_t position() const;
    bool seek(int64_t offset);

    bool isOpen() const { return fd_ >= 0; }
    bool isStandardOutput() const { return fd_ == 1 && !owned_; }

    // Text of a system error number, in the system's words.
    static std::string errorText(int error);

  private:
    int fd_ = -1;
    bool owned_ = false;
};

// True when `path` names an existing file or folder.
bool pathExists(const std::string& path);

}  // namespace svt::platform

namespace svt::platform {
// Removes a file; false when it could not be removed.
bool removeFile(const std::string& path);
}  // namespace svt::platform
