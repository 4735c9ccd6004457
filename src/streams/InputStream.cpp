#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "streams/streams.h"

namespace svt {

long InputStream::read(void* buffer, long n) {
    error_ = kStreamNoError;
    if (n <= 0) return 0;
    if (delivered_ >= limit_) {
        atEnd_ = true;
        return 0;
    }
    long got;
    if (window_ != nullptr) {
        size_t left = windowSize_ - pos_;
        got = static_cast<long>(std::min(left, static_cast<size_t>(n)));
        std::memcpy(buffer, window_ + pos_, static_cast<size_t>(got));
        pos_ += static_cast<size_t>(got);
    } else {
        do {
            got = sourceRead(buffer, n);
        } while (got < 0 && error_ == EINTR);
    }
    if (got > 0) delivered_ += static_cast<uint32_t>(std::min<long>(got, kStreamNoLimit));
    return got;
}

long InputStream::readFully(void* buffer, long n) {
    auto* out = static_cast<uint8_t*>(buffer);
    long total = 0;
    while (total < n) {
        long got = read(out + total, n - total);
        if (got <= 0) return total > 0 ? total : got;
        total += got;
    }
    return total;
}

char* InputStream::gets(char* buffer, int size) {
    error_ = kStreamNoError;
    if (size <= 0) return nullptr;
    if (window_ == nullptr) return sourceGets(buffer, size);
    if (pos_ >= windowSize_) return nullptr;
    size_t max = static_cast<size_t>(size - 1);
    size_t n = 0;
    while (n < max && pos_ < windowSize_) {
        char c = static_cast<char>(window_[pos_++]);
        buffer[n++] = c;
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    return buffer;
}

long InputStream::tell() {
    error_ = kStreamNoError;
    if (window_ != nullptr) return static_cast<long>(pos_);
    if (tellable_) return sourceTell();
    return static_cast<long>(delivered_);
}

long InputStream::seek(long offset, int whence) {
    error_ = kStreamNoError;
    if (seekable_) {
        delivered_ = 0;
        if (window_ != nullptr) {
            long base = whence == 0   ? 0
                        : whence == 1 ? static_cast<long>(pos_)
                                      : static_cast<long>(windowSize_);
            // Like fseek: 0 on success; the position is clamped into the view.
            pos_ =
                static_cast<size_t>(std::clamp(base + offset, 0L, static_cast<long>(windowSize_)));
            return 0;
        }
        return sourceSeek(offset, whence);
    }
    long current = tell();
    long distance;
    if (whence == 1 && offset >= 0) {
        distance = offset;
    } else if (whence == 0 && offset >= current) {
        distance = offset - current;
    } else {
        error_ = kStreamErrorCannotSeek;
        return -1;
    }
    // Skipping is not delivery: lift the limit while we skip.
    uint32_t savedLimit = limit_;
    limit_ = kStreamNoLimit;
    skip(distance);
    limit_ = savedLimit;
    delivered_ = 0;
    return current;
}

long InputStream::skip(long n) {
    error_ = kStreamNoError;
    if (n <= 0) return 0;
    if (seekable_) {
        long room = static_cast<long>(limit_) - static_cast<long>(delivered_);
        n = std::min(n, std::max(room, 0L));
        uint32_t saved = delivered_;
        long result;
        if (window_ != nullptr) {
            size_t step = std::min(static_cast<size_t>(n), windowSize_ - pos_);
            pos_ += step;
            result = 0;
        } else {
            result = sourceSeek(n, 1);
        }
        if (result < 0) {
            delivered_ = saved;
            return 0;
        }
        delivered_ = saved + static_cast<uint32_t>(n);
        return n;
    }
    char scratch[512];
    long skipped = 0;
    while (skipped < n) {
        long piece = std::min<long>(static_cast<long>(sizeof scratch), n - skipped);
        long got = read(scratch, piece);
        if (got <= 0) break;
        skipped += got;
    }
    return skipped;
}

void InputStream::rewind() {
    error_ = kStreamNoError;
    if (window_ != nullptr) {
        pos_ = 0;
    } else if (seekable_) {
        sourceSeek(0, 0);
    }
    delivered_ = 0;
}

void InputStream::setLimit(long n) {
    delivered_ = 0;
    limit_ = n < 0 ? kStreamNoLimit : static_cast<uint32_t>(std::min<long>(n, kStreamNoLimit));
    atEnd_ = false;
}

std::vector<uint8_t> InputStream::readAll(long n) {
    std::vector<uint8_t> out;
    if (n == 0) return out;
    if (n > 0) {
        // Grow as bytes arrive instead of trusting n: callers pass sizes from headers.
        size_t want = static_cast<size_t>(n);
        size_t have = 0;
        out.resize(std::min<size_t>(want, 1 << 16));
        while (have < want) {
            if (have == out.size()) out.resize(std::min(want, out.size() * 2));
            long got = read(out.data() + have, static_cast<long>(out.size() - have));
            if (got <= 0) break;
            have += static_cast<size_t>(got);
        }
        out.resize(have);
        return out;
    }
    out.resize(1024);
    size_t have = 0;
    for (;;) {
        if (have == out.size()) out.resize(out.size() * 2);
        long got = read(out.data() + have, static_cast<long>(out.size() - have));
        if (got <= 0) break;
        have += static_cast<size_t>(got);
    }
    out.resize(have);
    return out;
}

Status InputStream::close() {
    if (closed_)
        return makeError("URL Error: Already URL is closed (type=" + std::to_string(type_) + ")");
    int savedErrno = errno;
    sourceClose();
    closed_ = true;
    window_ = nullptr;
    windowSize_ = 0;
    pos_ = 0;
    errno = savedErrno;
    return Ok{};
}

long InputStream::sourceRead(void*, long) {
    return 0;
}
int InputStream::sourceGetc() {
    return -1;
}
long InputStream::sourceSeek(long, int) {
    error_ = kStreamErrorCannotSeek;
    return -1;
}
long InputStream::sourceTell() {
    return static_cast<long>(delivered_);
}

char* InputStream::sourceGets(char* buffer, int size) {
    int n = 0;
    while (n < size - 1) {
        int c = sourceGetc();
        if (c < 0) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    if (n == 0) return nullptr;
    buffer[n] = '\0';
    return buffer;
}

}  // namespace svt
