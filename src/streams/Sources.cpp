// The sources behind openStream: local files, stdio (files that are no plain files) and
// memory buffers (standard input among them).

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/OutputFile.h"
#include "platform/Paths.h"
#include "platform/RandomAccessFile.h"
#include "streams/streams.h"

namespace svt {
namespace {

// A plain file, read by position through a buffer of its own. A mapping would spare the
// copy, but a file cut short while it is mapped kills the reader with a signal; here the
// reading ends early and the stream knows that the file changed.
class FileStream final : public InputStream {
  public:
    explicit FileStream(std::string name)
        : InputStream(STREAM_LOCAL_FILE, std::move(name), true, true) {}
    int open(const std::string& path) { return file_.open(path); }

  protected:
    long sourceRead(void* buffer, long n) override {
        auto* out = static_cast<uint8_t*>(buffer);
        long done = 0;
        while (done < n) {
            if (pos_ >= bufferAt_ && pos_ < bufferAt_ + static_cast<int64_t>(fill_)) {
                const auto at = static_cast<size_t>(pos_ - bufferAt_);
                const size_t take = std::min(fill_ - at, static_cast<size_t>(n - done));
                std::memcpy(out + done, buffer_.data() + at, take);
                done += static_cast<long>(take);
                pos_ += static_cast<int64_t>(take);
            } else if (n - done >= static_cast<long>(kBufferBytes)) {
                // Large reads (sample data) go straight to the caller.
                const int64_t got = file_.readAt(
                    pos_, std::span<uint8_t>(out + done, static_cast<size_t>(n - done)));
                if (got <= 0) break;
                done += static_cast<long>(got);
                pos_ += got;
            } else if (!refill()) {
                break;
            }
        }
        if (done < n) noteEnd();
        return done;
    }
    int sourceGetc() override {
        if (pos_ < bufferAt_ || pos_ >= bufferAt_ + static_cast<int64_t>(fill_)) {
            if (!refill()) {
                noteEnd();
                return -1;
            }
        }
        return buffer_[static_cast<size_t>(pos_++ - bufferAt_)];
    }
    long sourceSeek(long offset, int whence) override {
        const int64_t base = whence == 0 ? 0 : whence == 1 ? pos_ : file_.size();
        // As with a view of memory: the position is held between the start and the end.
        pos_ = std::clamp<int64_t>(base + offset, 0, file_.size());
        return 0;
    }
    long sourceTell() override { return static_cast<long>(pos_); }
    void sourceClose() override { file_.close(); }
    int64_t sourceSize() const override { return file_.size(); }
    bool sourceChanged() override { return shrank_ || file_.changedSinceOpen(); }

  private:
    static constexpr size_t kBufferBytes = 65536;

    bool refill() {
        if (buffer_.empty()) buffer_.resize(kBufferBytes);
        const int64_t got = file_.readAt(pos_, buffer_);
        bufferAt_ = pos_;
        fill_ = got > 0 ? static_cast<size_t>(got) : 0;
        return fill_ > 0;
    }
    // Reading stopped before the end the file had when it was opened.
    void noteEnd() {
        if (pos_ < file_.size()) shrank_ = true;
    }

    platform::RandomAccessFile file_;
    std::vector<uint8_t> buffer_;
    int64_t bufferAt_ = 0;
    size_t fill_ = 0;
    int64_t pos_ = 0;
    bool shrank_ = false;
};

class StdioStream final : public InputStream {
  public:
    // Standard input can neither seek nor tell; an opened file can.
    StdioStream(std::string name, FILE* file, bool ownsFile)
        : InputStream(STREAM_LOCAL_FILE, std::move(name), ownsFile, ownsFile),
          file_(file),
          owns_(ownsFile) {}
    ~StdioStream() override {
        if (!closed()) sourceClose();
    }

  protected:
    long sourceRead(void* buffer, long n) override {
        size_t got = std::fread(buffer, 1, static_cast<size_t>(n), file_);
        if (got == 0 && std::ferror(file_)) {
            error_ = errno;
            std::clearerr(file_);
            return -1;
        }
        return static_cast<long>(got);
    }
    char* sourceGets(char* buffer, int size) override { return std::fgets(buffer, size, file_); }
    int sourceGetc() override {
        int c = std::fgetc(file_);
        return c == EOF ? -1 : c;
    }
    long sourceSeek(long offset, int whence) override {
        int w = whence == 0 ? SEEK_SET : whence == 1 ? SEEK_CUR : SEEK_END;
        return std::fseek(file_, offset, w);
    }
    long sourceTell() override { return std::ftell(file_); }
    void sourceClose() override {
        if (owns_ && file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
    }

  private:
    FILE* file_;
    bool owns_;
};

class MemoryStream final : public InputStream {
  public:
    MemoryStream(std::span<const uint8_t> bytes, std::string name)
        : InputStream(STREAM_MEMORY, std::move(name), true, true) {
        setWindow(bytes.data(), bytes.size());
    }
    MemoryStream(std::vector<uint8_t> bytes, std::string name)
        : InputStream(STREAM_MEMORY, std::move(name), true, true), owned_(std::move(bytes)) {
        setWindow(owned_.data(), owned_.size());
    }

  private:
    std::vector<uint8_t> owned_;
};

std::string describeOpenError(const std::string& name, int error) {
    if (error == kStreamErrorNotFound) return "\"" + name + "\": file not found";
    if (error == kStreamErrorAccess) return "\"" + name + "\": access refused";
    return "\"" + name + "\": " + std::generic_category().message(error);
}

// Standard input can be read only once per process, so its bytes are kept for every
// opening; they never change once read.
struct StandardInput {
    std::vector<uint8_t> bytes;
    Error error;
    bool failed = false;
};

const StandardInput& standardInput() {
    static std::once_flag once;
    static StandardInput input;
    std::call_once(once, [] {
        Result<std::vector<uint8_t>> read = readWholeFile(stdin, kMaxStandardInputBytes);
        if (read.ok()) {
            input.bytes = std::move(read.value());
        } else {
            input.error = read.error();
            input.error.message = "\"-\": standard input " + input.error.message;
            input.failed = true;
        }
    });
    return input;
}

}  // namespace

bool isLocalFileName(const std::string& name) {
    if (name.empty()) return true;
    if (name[0] == '\\' || name.rfind("file:", 0) == 0) return true;
    if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')
        return true;
    // A scheme is a run of characters other than ':' and '/' followed by ":/".
    size_t i = 0;
    while (i < name.size() && name[i] != ':' && name[i] != '/') ++i;
    bool hasScheme = i > 0 && i + 1 < name.size() && name[i] == ':' && name[i + 1] == '/';
    return !hasScheme;
}

Result<InputStreamPtr> openStream(const std::string& requested) {
    if (!isLocalFileName(requested))
        return makeError(kStreamErrorNotFound,
                         "\"" + requested + "\": this kind of address cannot be opened");
    if (requested == "-") {
        const StandardInput& input = standardInput();
        if (input.failed) return input.error;
        return openMemoryStream(std::span<const uint8_t>(input.bytes), "-");
    }
    std::string name = requested;
    if (name.rfind("file:", 0) == 0) name.erase(0, 5);
    if (name.empty()) return makeError(kStreamErrorNotFound, "empty file name");
    if (name[0] == '~') name = platform::homeFolder() + name.substr(1);

    auto file = std::make_unique<FileStream>(requested);
    const int rc = file->open(name);
    if (rc == 0) return InputStreamPtr(std::move(file));
    if (rc != EINVAL) return makeError(rc, describeOpenError(requested, rc));

    // Opened but no plain file (a pipe, a device): read it through stdio.
    FILE* f = platform::openStdioFile(name, "rb");
    if (f == nullptr) {
        int err = errno;
        return makeError(err, describeOpenError(requested, err));
    }
    return InputStreamPtr(std::make_unique<StdioStream>(requested, f, true));
}

Result<std::vector<uint8_t>> readWholeFile(std::FILE* file, size_t limit) {
    std::vector<uint8_t> bytes;
    size_t have = 0;
    for (;;) {
        if (bytes.size() - have < 65536)
            bytes.resize(std::min(have + (have >> 1) + 65536, limit + 1));
        const size_t got = std::fread(bytes.data() + have, 1, bytes.size() - have, file);
        have += got;
        if (have > limit) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "more than %zu MiB; a song that large is read from a file", limit >> 20);
            return makeError(EFBIG, limit >= (1u << 20) ? text : "too large");
        }
        if (got == 0) break;
    }
    if (std::ferror(file)) {
        const int error = errno;
        return makeError(error, "cannot be read: " + std::generic_category().message(error));
    }
    bytes.resize(have);
    return bytes;
}

InputStreamPtr openMemoryStream(std::span<const uint8_t> bytes, std::string name) {
    return std::make_unique<MemoryStream>(bytes, std::move(name));
}

InputStreamPtr openMemoryStream(std::vector<uint8_t> bytes, std::string name) {
    return std::make_unique<MemoryStream>(std::move(bytes), std::move(name));
}

bool startsLikeSong(const std::string& path) {
    FILE* file = platform::openStdioFile(path, "rb");
    if (file == nullptr) return false;
    char head[12] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (got < 4) return false;
    if (std::memcmp(head, "MThd", 4) == 0) return true;
    return got == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "RMID", 4) == 0;
}

bool isFolder(const std::string& name) {
    if (name.empty() || name[0] == '@') return false;
    std::error_code ec;
    return std::filesystem::is_directory(platform::fsPath(name), ec);
}

std::vector<std::string> expandFolders(const std::vector<std::string>& arguments, bool recursive) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    for (const std::string& arg : arguments) {
        if (!isFolder(arg)) {
            out.push_back(arg);
            continue;
        }
        std::vector<std::string> found;
        std::error_code ec;
        auto collect = [&](const fs::directory_entry& entry) {
            std::error_code e;
            const std::string path = platform::pathText(entry.path());
            if (entry.is_regular_file(e) && startsLikeSong(path)) found.push_back(path);
        };
        if (recursive) {
            for (fs::recursive_directory_iterator
                     it(platform::fsPath(arg), fs::directory_options::skip_permission_denied, ec),
                 end;
                 !ec && it != end; it.increment(ec)) {
                collect(*it);
            }
        } else {
            for (fs::directory_iterator
                     it(platform::fsPath(arg), fs::directory_options::skip_permission_denied, ec),
                 end;
                 !ec && it != end; it.increment(ec)) {
                collect(*it);
            }
        }
        std::sort(found.begin(), found.end());
        out.insert(out.end(), found.begin(), found.end());
    }
    return out;
}

}  // namespace svt
