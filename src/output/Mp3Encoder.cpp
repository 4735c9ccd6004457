#include "output/Mp3Encoder.h"

#include <cerrno>
#include <system_error>

#include "output/Id3Tag.h"
#include "platform/OutputFile.h"

namespace svt::output {
namespace {

constexpr uint32_t kFirstVersionWithoutOldItems = 300;

// The library's reader has no context argument; each encoder thread points this at its
// own ring before it hands the reader over, so every encoding reads only its own samples.
thread_local Mp3Ring* tEncoderRing = nullptr;

int readEncoderInput(void* buffer, uint32_t bytes) {
    Mp3Ring* ring = tEncoderRing;
    return ring != nullptr ? ring->read(static_cast<uint8_t*>(buffer), bytes) : 1;
}

}  // namespace

Mp3Encoder::Mp3Encoder(EncoderSearch search, RingWait wait)
    : search_(std::move(search)), ring_(wait) {}

Mp3Encoder::~Mp3Encoder() {
    close();
}

void Mp3Encoder::stopThread() {
    if (thread_.joinable()) {
        ring_.setState(EncoderState::InputEnded);
        thread_.join();
    }
}

int Mp3Encoder::start(const std::string& fileName, const std::string& title,
                      std::vector<uint8_t> leadingTag) {
    systemError_ = 0;
    if (fileName.empty() || fileName.size() > kMaxFileNameBytes) {
        systemError_ = fileName.empty() ? ENOENT : ENAMETOOLONG;
        return -1;
    }
    stopThread();  // before the name changes: the running thread still reads it
    fileName_ = fileName;
    title_ = title;
    leadingTag_ = std::move(leadingTag);
    // Emptied here, before the thread runs, so that samples written right after the start
    // are not thrown away by the thread's own start-up.
    ring_.reset();
    ring_.setSilenceByte(format_.bitsPerSample == 8 ? 0x80 : 0);
    lastResult_ = 0;
    systemError_ = 0;
    loadFailed_ = false;
    opened_ = false;
    try {
        thread_ = std::thread(&Mp3Encoder::run, this);
    } catch (const std::system_error& e) {
        // Short of memory or threads: the system's reason goes with the file's name.
        systemError_ = e.code().value();
        ring_.setState(EncoderState::Failed);
        return -1;
    }
    open_ = true;
    std::unique_lock lock(openedMutex_);
    openedChanged_.wait(lock, [this] { return opened_; });
    return 0;
}

std::string Mp3Encoder::lastReason() const {
    if (const int error = systemError_.load(); error != 0)
        return platform::OutputFile::errorText(error);
    const uint32_t result = lastResult_.load();
    if (result == MPGE_NO_MEMORY) return platform::OutputFile::errorText(ENOMEM);
    if (loadFailed_.load()) return "the encoder library could not be loaded";
    switch (result) {
        case MPGE_OK:
        case MPGE_END:
            return ring_.state() == EncoderState::Failed ? "the encoder stopped" : "";
        case MPGE_CANNOT_OPEN_OUTPUT:
            return "the encoder could not open it";
        case MPGE_WRITE_FAILED:
            return "the encoder could not write it";
        case MPGE_ENCODER_FAILED:
            return "the encoder refused the settings or failed";
        default:
            return "the encoder stopped (result " + std::to_string(result) + ")";
    }
}

void Mp3Encoder::markOpened() {
    {
        std::lock_guard lock(openedMutex_);
        opened_ = true;
    }
    openedChanged_.notify_all();
}

int Mp3Encoder::close() {
    if (!open_) return 0;
    stopThread();
    open_ = false;
    return ring_.state() == EncoderState::Failed ? -1 : 0;
}

long Mp3Encoder::output(const uint8_t* bytes, size_t n) {
    if (!open_) return 0;
    return ring_.write(bytes, n);
}

void Mp3Encoder::run() {
    tEncoderRing = &ring_;
    encode();
    markOpened();  // every way out of encode() before the file was opened
    // An encoder that stopped before the input ended takes nothing more: without this
    // the player would wait for room in the ring forever.
    if (ring_.state() == EncoderState::Running) ring_.setState(EncoderState::Failed);
    tEncoderRing = nullptr;
}

void Mp3Encoder::encode() {
    // The library writes the file on this thread: the error number its failed call leaves
    // here is the system's reason.
    auto noteSystemError = [&] {
        if (systemError_.load() == 0) systemError_ = errno;
    };
    auto fail = [&](uint32_t result) {
        lastResult_ = result;
        ring_.setState(EncoderState::Failed);
        library_.endCoder();
    };
    const uint32_t loaded = library_.load(search_);
    if (loaded != 0) {
        // The library was found before the file was started; failing to map it now is
        // almost always the system refusing memory, and errno is not always set by the loader.
        loadFailed_ = true;
        if (loaded == MPGE_NO_MEMORY || errno == ENOMEM) systemError_ = ENOMEM;
        return fail(loaded);
    }

    uint32_t version = 0;
    char versionText[MPGE_VERSION_TEXT_SIZE] = {};
    library_.getVersion(&version, versionText);

    if (!leadingTag_.empty())
        library_.setConfigure(MPGE_ITEM_TAG, leadingTag_.size(),
                              reinterpret_cast<uintptr_t>(leadingTag_.data()));
    const auto tag = makeTitleTag(title_);
    if (!title_.empty())
        library_.setConfigure(MPGE_ITEM_TAG, tag.size(), reinterpret_cast<uintptr_t>(tag.data()));
    if (fileName_ == "-")
        library_.setConfigure(MPGE_ITEM_OUTPUT, 1, 0);
    else
        library_.setConfigure(MPGE_ITEM_OUTPUT, 0, reinterpret_cast<uintptr_t>(fileName_.c_str()));

    MPGE_INPUT input{&readEncoderInput, MPGE_LENGTH_UNKNOWN, format_.bitsPerSample == 16 ? 16u : 8u,
                     static_cast<uint32_t>(format_.rateHz), format_.channels == 1 ? 1u : 2u};
    uint32_t r = library_.setConfigure(MPGE_ITEM_INPUT, MPGE_INPUT_READER,
                                       reinterpret_cast<uintptr_t>(&input));
    if (r != 0) return fail(r);
    if (version < kFirstVersionWithoutOldItems) {
        // Older libraries need the sample layout spelled out: byte order (ours is never
        // swapped), 8-bit input, mono.
        const uint32_t old[][2] = {{7, 0},
                                   {20, 0},
                                   {21, format_.bitsPerSample == 8 ? 1u : 0u},
                                   {22, format_.channels == 1 ? 1u : 0u}};
        for (const auto& [item, value] : old)
            if ((r = library_.setConfigure(item, value, 0)) != 0) return fail(r);
    }
    if (settings_.bitrateKbps > 0 &&
        (r = library_.setConfigure(MPGE_ITEM_BITRATE, static_cast<uintptr_t>(settings_.bitrateKbps),
                                   0)) != 0)
        return fail(r);
    if (settings_.vbrQuality >= 0 &&
        (r = library_.setConfigure(MPGE_ITEM_VBR, static_cast<uintptr_t>(settings_.vbrQuality),
                                   0)) != 0)
        return fail(r);
    errno = 0;
    if ((r = library_.detectConfigure()) != 0) {
        noteSystemError();  // the library opens the file here
        return fail(r);
    }
    markOpened();

    do {
        errno = 0;
    } while ((r = library_.processFrame()) == 0);
    lastResult_ = r;
    if (r != MPGE_END) {
        noteSystemError();
        ring_.setState(EncoderState::Failed);
    }
    errno = 0;
    const uint32_t closed = library_.closeCoder();
    // A library that could not complete the file (kNotBound: it has no closeCoder) is fine.
    if (closed != 0 && closed != kNotBound) {
        noteSystemError();
        lastResult_ = closed;
        ring_.setState(EncoderState::Failed);
    }
    if (library_.endCoder() == 0) library_.release();
}

}  // namespace svt::output
