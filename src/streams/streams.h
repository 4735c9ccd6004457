#pragma once
// Byte streams through which every file of the engine is read: songs, SoundFonts,
// playlists, settings. Readers use only the generic operations of InputStream, so they
// do not care whether the bytes come from a mapped file, memory or standard input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

namespace svt {

enum StreamType : int32_t {
    STREAM_LOCAL_FILE = 1,
    STREAM_DIRECTORY = 2,
    STREAM_HTTP = 3,
    STREAM_FTP = 4,
    STREAM_NEWS_ARTICLE = 5,
    STREAM_NEWSGROUP = 6,
    STREAM_MEMORY = 100,
};

inline constexpr uint32_t kStreamNoLimit = 2147483647u;

// Error numbers held by a stream (and by a failed open): no error, or the system's
// number (2 missing file or empty name, 13 refused access), or 1 for a seek that
// cannot be done.
inline constexpr int kStreamNoError = 10000;
inline constexpr int kStreamErrorNotFound = 2;
inline constexpr int kStreamErrorAccess = 13;
inline constexpr int kStreamErrorCannotSeek = 1;

class InputStream {
  public:
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
    virtual ~InputStream() = default;

    int32_t type() const { return type_; }

    // n <= 0 returns 0. Below the limit the source decides how much it gives (a read is
    // not cut at the limit); once delivered bytes reach the limit every read returns 0
    // and at_end is set.
    long read(void* buffer, long n);
    // Repeats read until n bytes are in or a read gives nothing.
    long readFully(void* buffer, long n);
    // Next byte 0..255, or -1 at the end.
    int getc() {
        if (window_ != nullptr) return pos_ < windowSize_ ? window_[pos_++] : -1;
        return sourceGetc();
    }
    // One line including its "\n", at most size - 1 bytes, NUL-terminated; null at the end.
    char* gets(char* buffer, int size);
    // Position in the source, or the bytes delivered when the source cannot tell.
    long tell();
    // whence 0 from start, 1 from current position, 2 from end. Sources that cannot seek
    // move forward only, by skipping; anything else fails with error 1 and returns -1.
    long seek(long offset, int whence);
    // Moves forward by n bytes (within the limit for seekable sources); returns the
    // number of bytes skipped.
    long skip(long n);
    void rewind();
    // Counts delivered bytes from now on; n < 0 means no limit.
    void setLimit(long n);
    // n < 0: everything up to the end; n > 0: at most n bytes. Empty when nothing could be read.
    std::vector<uint8_t> readAll(long n);
    // Closing a closed stream changes nothing and fails.
    Status close();

    bool canSeek() const { return seekable_; }
    bool closed() const { return closed_; }
    uint32_t delivered() const { return delivered_; }
    uint32_t limit() const { return limit_; }
    bool atEnd() const { return atEnd_; }
    int error() const { return error_; }
    const std::string& name() const { return name_; }

    // Bytes in the source when it knows (a file, a buffer); -1 otherwise.
    int64_t size() const {
        return window_ != nullptr ? static_cast<int64_t>(windowSize_) : sourceSize();
    }
    // True when the file was cut short or rewritten since it was opened: what was read of it
    // may be part old, part new, or end early.
    bool changedWhileRead() { return sourceChanged(); }

    // Whole contents when the stream is a view of memory (a buffer); lets readers of large
    // buffers avoid copying. Empty span otherwise.
    std::span<const uint8_t> memoryView() const {
        return window_ != nullptr ? std::span<const uint8_t>(window_, windowSize_)
                                  : std::span<const uint8_t>();
    }

  protected:
    InputStream(int32_t type, std::string name, bool seekable, bool tellable)
        : type_(type), seekable_(seekable), tellable_(tellable), name_(std::move(name)) {}

    // A source that is a view of memory sets the window; the generic operations then
    // work on it directly, without a virtual call per byte.
    void setWindow(const uint8_t* data, size_t size) {
        window_ = data;
        windowSize_ = size;
        pos_ = 0;
    }

    virtual long sourceRead(void* buffer, long n);
    virtual char* sourceGets(char* buffer, int size);
    virtual int sourceGetc();
    virtual long sourceSeek(long offset, int whence);
    virtual long sourceTell();
    virtual void sourceClose() {}
    virtual int64_t sourceSize() const { return -1; }
    virtual bool sourceChanged() { return false; }

    int error_ = kStreamNoError;

  private:
    int32_t type_;
    bool seekable_;
    bool tellable_;
    bool closed_ = false;
    uint32_t delivered_ = 0;
    uint32_t limit_ = kStreamNoLimit;
    bool atEnd_ = false;
    std::string name_;

    const uint8_t* window_ = nullptr;
    size_t windowSize_ = 0;
    size_t pos_ = 0;
};

using InputStreamPtr = std::unique_ptr<InputStream>;

// True when `name` is read by the local-file source: it begins with a backslash or
// "file:", with a drive letter and colon, or carries no "scheme:/" prefix at all.
bool isLocalFileName(const std::string& name);

// Opens a song, SoundFont or list by name: "-" is standard input, "~" the home folder.
// Files are read, not mapped: a file that shrinks while it is read ends early (see
// changedWhileRead) instead of killing the program.
// A failure carries the error number (2 missing or empty name, 13 refused) and a message.
// Standard input is read whole at its first opening (at most kMaxStandardInputBytes) and
// kept, so that it reads like a file: it seeks, and every opening gives the same bytes.
Result<InputStreamPtr> openStream(const std::string& name);

inline constexpr size_t kMaxStandardInputBytes = size_t{64} << 20;
// Everything `file` delivers up to its end; an error when that is more than `limit` bytes
// or the reading fails.
Result<std::vector<uint8_t>> readWholeFile(std::FILE* file, size_t limit);

// A stream over bytes that the caller keeps alive while the stream is used.
InputStreamPtr openMemoryStream(std::span<const uint8_t> bytes, std::string name = "<memory>");
// A stream that owns its bytes.
InputStreamPtr openMemoryStream(std::vector<uint8_t> bytes, std::string name = "<memory>");

// Replaces every folder among `arguments` by the songs it holds (sorted by name, sub-folders
// included when `recursive`); other arguments pass unchanged. A folder's other files (texts,
// audio files made earlier) are passed over without a word. Names beginning with "@" are list
// references, never folders.
std::vector<std::string> expandFolders(const std::vector<std::string>& arguments, bool recursive);

// Whether the file's first bytes are those of a song: a Standard MIDI File ("MThd") or one
// in a RIFF "RMID" wrapper. Decided by content, whatever the name.
bool startsLikeSong(const std::string& path);

bool isFolder(const std::string& name);

}  // namespace svt
