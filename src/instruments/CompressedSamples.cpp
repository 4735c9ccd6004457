// Ogg pages are read here only as far as the probe needs them (the first page's packet and the
// last page's granule position); everything else about a stream is libvorbisfile's work.

#include "instruments/CompressedSamples.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

namespace svt {
namespace {

// 27 header bytes, 255 lacing values of up to 255 bytes each.
constexpr size_t kOggPageHeader = 27;
constexpr size_t kMaxOggPage = kOggPageHeader + 255 + 255 * 255;
constexpr uint8_t kOggEndOfStream = 0x04;

struct OggPage {
    uint8_t headerType = 0;
    int64_t granule = 0;
    size_t headerSize = 0;
    size_t bodySize = 0;
};

std::optional<OggPage> pageAt(std::span<const uint8_t> s, size_t pos) {
    if (pos + kOggPageHeader > s.size() || std::memcmp(&s[pos], "OggS", 4) != 0) return {};
    if (s[pos + 4] != 0) return {};  // stream structure version
    OggPage page;
    page.headerType = s[pos + 5];
    uint64_t g = 0;
    for (int i = 7; i >= 0; --i) g = (g << 8) | s[pos + 6 + static_cast<size_t>(i)];
    page.granule = static_cast<int64_t>(g);
    size_t segments = s[pos + 26];
    page.headerSize = kOggPageHeader + segments;
    if (pos + page.headerSize > s.size()) return {};
    for (size_t i = 0; i < segments; ++i) page.bodySize += s[pos + kOggPageHeader + i];
    return page;
}

// The first packet of the first page, as far as the page holds it.
std::span<const uint8_t> firstPacket(std::span<const uint8_t> s, const OggPage& page) {
    size_t length = 0;
    for (size_t i = 0; i + kOggPageHeader < page.headerSize; ++i) {
        uint8_t lace = s[kOggPageHeader + i];
        length += lace;
        if (lace < 255) break;
    }
    size_t begin = page.headerSize;
    length = std::min(length, s.size() - begin);
    return s.subspan(begin, length);
}

bool startsWith(std::span<const uint8_t> s, const char* text, size_t n) {
    return s.size() >= n && std::memcmp(s.data(), text, n) == 0;
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The page that ends exactly where the stream ends.
std::optional<OggPage> lastPage(std::span<const uint8_t> s) {
    if (s.size() < kOggPageHeader) return {};
    size_t lowest = s.size() > kMaxOggPage ? s.size() - kMaxOggPage : 0;
    for (size_t pos = s.size() - kOggPageHeader + 1; pos-- > lowest;) {
        if (s[pos] != 'O') continue;
        std::optional<OggPage> page = pageAt(s, pos);
        if (page && pos + page->headerSize + page->bodySize == s.size()) return page;
    }
    return {};
}

struct MemorySource {
    std::span<const uint8_t> bytes;
    size_t pos = 0;
};

size_t readMemory(void* out, size_t size, size_t count, void* source) {
    auto* m = static_cast<MemorySource*>(source);
    size_t want = size * count;
    size_t n = std::min(want, m->bytes.size() - m->pos);
    std::memcpy(out, m->bytes.data() + m->pos, n);
    m->pos += n;
    return size == 0 ? 0 : n / size;
}

std::string vorbisOpenError(int code) {
    switch (code) {
        case OV_ENOTVORBIS:
            return "is not a Vorbis stream";
        case OV_EVERSION:
            return "is of a Vorbis version that cannot be decoded";
        case OV_EBADHEADER:
            return "has a damaged Vorbis header";
        case OV_EREAD:
            return "is cut short inside its headers";
        default:
            return "cannot be opened by the Vorbis decoder (error " + std::to_string(code) + ")";
    }
}

}  // namespace

const char* streamFormatName(StreamFormat format) {
    switch (format) {
        case StreamFormat::Vorbis:
            return "Ogg Vorbis";
        case StreamFormat::Opus:
            return "Opus";
        case StreamFormat::Flac:
            return "FLAC";
        case StreamFormat::Speex:
            return "Speex";
        case StreamFormat::Unknown:
            break;
    }
    return "an unknown format";
}

StreamProbe probeCompressedStream(std::span<const uint8_t> s, std::span<const uint8_t> tail) {
    StreamProbe probe;
    if (startsWith(s, "fLaC", 4)) {
        probe.format = StreamFormat::Flac;
        probe.problem = "is compressed as FLAC, which cannot be played (only Ogg Vorbis can)";
        return probe;
    }
    std::optional<OggPage> first = pageAt(s, 0);
    if (!first) {
        probe.problem = s.empty() ? "is empty" : "does not begin with an Ogg page";
        return probe;
    }
    std::span<const uint8_t> packet = firstPacket(s, *first);
    if (startsWith(packet, "\x01vorbis", 7)) {
        probe.format = StreamFormat::Vorbis;
    } else if (startsWith(packet, "OpusHead", 8)) {
        probe.format = StreamFormat::Opus;
    } else if (startsWith(packet,
                          "\x7f"
                          "FLAC",
                          5)) {
        probe.format = StreamFormat::Flac;
    } else if (startsWith(packet, "Speex   ", 8)) {
        probe.format = StreamFormat::Speex;
    }
    if (probe.format != StreamFormat::Vorbis) {
        probe.problem = std::string("is compressed as ") + streamFormatName(probe.format) +
                        ", which cannot be played (only Ogg Vorbis can)";
        return probe;
    }
    if (packet.size() < 16) {
        probe.problem = "has a Vorbis identification header that is cut short";
        return probe;
    }
    probe.channels = packet[11];
    probe.rateHz = le32(packet.data() + 12);
    if (probe.channels == 0 || probe.rateHz == 0) {
        probe.problem = "has a Vorbis identification header without channels or rate";
        return probe;
    }
    // A sample is one channel (two at most, of which the first plays); decoding hundreds of
    // channels to keep one costs that many times the work and gives nothing a region can play.
    if (probe.channels > kMaxStreamChannels) {
        probe.problem = "is a stream of " + std::to_string(probe.channels) +
                        " channels (a sample has one or two)";
        return probe;
    }
    if (probe.rateHz < kMinStreamRateHz || probe.rateHz > kMaxStreamRateHz) {
        probe.problem = "claims a rate of " + std::to_string(probe.rateHz) + " Hz (" +
                        std::to_string(kMinStreamRateHz) + " to " +
                        std::to_string(kMaxStreamRateHz) + " Hz can be played)";
        return probe;
    }
    std::optional<OggPage> last = lastPage(tail);
    if (!last) {
        probe.problem = "is cut short: its last Ogg page is incomplete";
        return probe;
    }
    if ((last->headerType & kOggEndOfStream) == 0) {
        probe.problem = "is cut short: its last Ogg page does not end the stream";
        return probe;
    }
    if (last->granule <= 0) {
        probe.problem = "holds no sound";
        return probe;
    }
    probe.frames = last->granule;
    return probe;
}

Result<std::shared_ptr<const DecodedSample>> decodeVorbisStream(std::span<const uint8_t> stream,
                                                                int64_t expectedFrames) {
    if (expectedFrames <= 0) return makeError("holds no sound");
    MemorySource source{stream, 0};
    // No seek function: the stream is read once from its start, which is all that decoding
    // needs, and spares the decoder its search for the stream's end.
    ov_callbacks callbacks{readMemory, nullptr, nullptr, nullptr};
    OggVorbis_File file;
    int opened = ov_open_callbacks(&source, &file, nullptr, 0, callbacks);
    if (opened != 0) return makeError(vorbisOpenError(opened));

    const int64_t kept = std::min(expectedFrames, kMaxDecodedPoints);
    auto sample = std::make_shared<DecodedSample>();
    sample->points = std::make_unique<int16_t[]>(static_cast<size_t>(kept + kDecodedZeroTail));
    sample->frames = kept;
    int16_t* out = sample->points.get();
    int64_t total = 0;
    std::string failure;
    for (;;) {
        float** pcm = nullptr;
        int link = 0;
        long n = ov_read_float(&file, &pcm, 4096, &link);
        if (n == 0) break;
        if (n == OV_HOLE) {
            failure = "is damaged: a page is missing or fails its checksum";
            break;
        }
        if (n < 0) {
            failure = "is damaged: the Vorbis decoder stops (error " + std::to_string(n) + ")";
            break;
        }
        int64_t take = std::clamp<int64_t>(kept - total, 0, n);
        const float* first = pcm[0];
        for (int64_t i = 0; i < take; ++i) {
            float v = std::nearbyint(first[i] * 32768.0f);
            out[total + i] = static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
        }
        total += n;
        if (total > expectedFrames) {
            failure = "is damaged: it decodes to more points than its last page promises (" +
                      std::to_string(expectedFrames) + ")";
            break;
        }
        if (total >= kept && kept < expectedFrames) break;  // longer than any region can use
    }
    ov_clear(&file);
    if (failure.empty() && total < kept) {
        failure = "is damaged: it decodes to " + std::to_string(total) +
                  " points, but its last page promises " + std::to_string(expectedFrames);
    }
    if (!failure.empty()) return makeError(failure);
    return std::shared_ptr<const DecodedSample>(std::move(sample));
}

}  // namespace svt
