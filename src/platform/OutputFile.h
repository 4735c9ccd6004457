#pragma once
// A file written without a buffer of our own: every write reaches the system at once, so a
// full disk or a closed pipe is reported by the write that met it, not by a later close that
// nobody checks. Standard output is a file of this kind too (it is never closed here).

#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
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

    // Creates or truncates `path` for writing (on Linux with permissions 0644 before the umask).
    // Returns 0 or the system error number.
    int create(const std::string& path);
    // Creates `path` only when nothing of that name exists (EEXIST otherwise).
    int createNew(const std::string& path);
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
    // Waits until what was written has reached the disk. Returns 0 or the system error number.
    int sync();

    bool isOpen() const { return fd_ != -1; }
    bool isStandardOutput() const { return isOpen() && !owned_; }

    // Text of a system error number, in the system's words.
    static std::string errorText(int error);

  private:
    intptr_t fd_ = -1;  // a file descriptor, or on Windows a file handle
    bool owned_ = false;
};

// True when `path` names an existing file or folder.
bool pathExists(const std::string& path);

// What a path names, symbolic links followed: nothing, a plain file, a folder, or something
// else (a device, a pipe, a socket), which is written in place rather than replaced. A
// symbolic link to nothing counts as a file.
enum class PathKind { Missing, File, Folder, Other };
PathKind pathKind(const std::string& path);

// The file a path names, as the system tells files apart (device and file number), so that
// two spellings of one file, hard links included, meet.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t number = 0;
    bool operator==(const FileIdentity&) const = default;
    auto operator<=>(const FileIdentity&) const = default;
};
std::optional<FileIdentity> fileIdentity(const std::string& path);

// Removes a file; false when it could not be removed.
bool removeFile(const std::string& path);

// Opens a file through the C library (fopen's modes), its name taken as UTF-8.
std::FILE* openStdioFile(const std::string& path, const char* mode);

}  // namespace svt::platform
