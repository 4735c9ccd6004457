// libgogo: the MPGE_* call sequence on top of LAME.
//
// The entry points carry no handle, so one encoding's state hangs off the calling
// thread: two threads of one process can encode two files at once without meeting.

#include <lame/lame.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "gogo/gogo.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define GOGO_EXPORT extern "C" __declspec(dllexport)
#else
#define GOGO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr size_t kMaxFileNameBytes = 4096;
constexpr size_t kTagBytes = 128;
// An ID3v2 tag: its 10-byte header, and a bound that no tag of texts comes near.
constexpr size_t kLeadingTagHeaderBytes = 10;
constexpr size_t kMaxLeadingTagBytes = 1 << 20;
constexpr int kDefaultBitrateKbps = 192;
constexpr int kDefaultQuality = 3;
// LAME's own bound for one call's output: 1.25 * samples + 7200.
constexpr size_t mp3BufferBytes(size_t samples) {
    return samples + samples / 4 + 7200;
}

bool isMp3Bitrate(uintptr_t kbps) {
    constexpr int kRates[] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                              96, 112, 128, 144, 160, 192, 224, 256, 320};
    for (int r : kRates)
        if (static_cast<uintptr_t>(r) == kbps) return true;
    return false;
}

#ifdef _WIN32
// Sorvanto passes names in UTF-8, so that any name opens; a name that is not UTF-8 is taken in
// the system's code page, as callers of the original library pass them.
FILE* openForWriting(const std::string& name) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::fopen(name.c_str(), "wb");
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1, wide.data(), n);
    return _wfopen(wide.c_str(), L"wb");
}

// The console's standard output translates line ends unless told otherwise.
FILE* binaryStdout() {
    _setmode(_fileno(stdout), _O_BINARY);
    return stdout;
}
#else
FILE* openForWriting(const std::string& name) {
    return std::fopen(name.c_str(), "wb");
}

FILE* binaryStdout() {
    return stdout;
}
#endif

bool isLameInputRate(uint32_t hz) {
    constexpr uint32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    for (uint32_t r : kRates)
        if (r == hz) return true;
    return false;
}

enum class Phase { Configuring, Encoding, Finished, Failed };

struct Encoder {
    // Settings.
    bool haveInput = false;
    MPGE_INPUT input{};
    bool haveOutput = false;
    bool toStdout = false;
    std::string fileName;
    bool haveTag = false;
    unsigned char tag[kTagBytes]{};
    std::vector<unsigned char> leadingTag;
    int bitrateKbps = kDefaultBitrateKbps;
    int vbrQuality = -1;  // -1: constant bit rate
    int quality = kDefaultQuality;

    // Running encoding.
    Phase phase = Phase::Configuring;
    MPGE_RESULT failure = MPGE_OK;
    lame_t lame = nullptr;
    FILE* out = nullptr;
    long startOffset = 0;   // where the first frame lies in the output
    bool seekable = false;  // the Xing/LAME frame can be written back at startOffset
    size_t frameSamples = 0;
    uint64_t inputBytesLeft = 0;  // only used when the length is known
    std::vector<unsigned char> pcm;
    std::vector<short> pcm16;
    std::vector<unsigned char> mp3;
    uint64_t bytesWritten = 0;
    uint64_t framesRead = 0;

    ~Encoder() { release(); }

    void release() {
        if (lame != nullptr) {
            lame_close(lame);
            lame = nullptr;
        }
        if (out != nullptr) {
            if (out == stdout)
                std::fflush(out);
            else
                std::fclose(out);
            out = nullptr;
        }
    }
};

thread_local Encoder* tEncoder = nullptr;

// LAME prints to stderr by default; a library should stay quiet.
void quiet(const char*, va_list) {}

MPGE_RESULT fail(Encoder& e, MPGE_RESULT why) {
    e.phase = Phase::Failed;
    e.failure = why;
    return why;
}

bool writeAll(Encoder& e, const unsigned char* data, size_t n) {
    if (n == 0) return true;
    if (std::fwrite(data, 1, n, e.out) != n) return false;
    e.bytesWritten += n;
    return true;
}

MPGE_RESULT openEncoder(Encoder& e) {
    const MPGE_INPUT& in = e.input;
    e.lame = lame_init();
    if (e.lame == nullptr) return MPGE_NO_MEMORY;
    lame_set_errorf(e.lame, quiet);
    lame_set_debugf(e.lame, quiet);
    lame_set_msgf(e.lame, quiet);
    lame_set_in_samplerate(e.lame, static_cast<int>(in.rate_hz));
    lame_set_num_channels(e.lame, static_cast<int>(in.channels));
    lame_set_mode(e.lame, in.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_quality(e.lame, e.quality);
    if (in.length_bytes != MPGE_LENGTH_UNKNOWN)
        lame_set_num_samples(e.lame, in.length_bytes / (in.channels * (in.bits_per_sample / 8)));
    if (e.vbrQuality >= 0) {
        lame_set_VBR(e.lame, vbr_default);
        lame_set_VBR_quality(e.lame, static_cast<float>(e.vbrQuality));
    } else {
        lame_set_VBR(e.lame, vbr_off);
        lame_set_brate(e.lame, e.bitrateKbps);
    }
    lame_set_write_id3tag_automatic(e.lame, 0);
    lame_set_bWriteVbrTag(e.lame, e.seekable ? 1 : 0);
    if (lame_init_params(e.lame) < 0) return MPGE_ENCODER_FAILED;

    const int frame = lame_get_framesize(e.lame);
    e.frameSamples = frame > 0 ? static_cast<size_t>(frame) : 1152;
    e.pcm.resize(e.frameSamples * in.channels * (in.bits_per_sample / 8));
    e.pcm16.resize(e.frameSamples * in.channels);
    e.mp3.resize(mp3BufferBytes(e.frameSamples));
    e.inputBytesLeft = in.length_bytes;
    return MPGE_OK;
}

MPGE_RESULT openOutput(Encoder& e) {
    if (e.toStdout) {
        e.out = binaryStdout();
    } else {
        e.out = openForWriting(e.fileName);
        if (e.out == nullptr) return MPGE_CANNOT_OPEN_OUTPUT;
    }
    if (!writeAll(e, e.leadingTag.data(), e.leadingTag.size())) return MPGE_WRITE_FAILED;
    // A pipe cannot take the finished Xing/LAME frame back, so it gets none.
    e.startOffset = std::ftell(e.out);
    e.seekable = e.startOffset >= 0 && std::fseek(e.out, e.startOffset, SEEK_SET) == 0;
    return MPGE_OK;
}

// Flushes LAME, puts the final Xing/LAME frame over its placeholder and appends the tag.
MPGE_RESULT finish(Encoder& e) {
    int n = lame_encode_flush(e.lame, e.mp3.data(), static_cast<int>(e.mp3.size()));
    if (n < 0) return fail(e, MPGE_ENCODER_FAILED);
    if (!writeAll(e, e.mp3.data(), static_cast<size_t>(n))) return fail(e, MPGE_WRITE_FAILED);

    if (e.seekable) {
        unsigned char header[4096];
        size_t len = lame_get_lametag_frame(e.lame, header, sizeof header);
        if (len > 0 && len <= sizeof header) {
            long end = std::ftell(e.out);
            if (end < 0 || std::fseek(e.out, e.startOffset, SEEK_SET) != 0 ||
                std::fwrite(header, 1, len, e.out) != len || std::fseek(e.out, end, SEEK_SET) != 0)
                return fail(e, MPGE_WRITE_FAILED);
        }
    }
    if (e.haveTag && !writeAll(e, e.tag, kTagBytes)) return fail(e, MPGE_WRITE_FAILED);
    if (std::fflush(e.out) != 0) return fail(e, MPGE_WRITE_FAILED);
    FILE* out = std::exchange(e.out, nullptr);
    if (out != stdout && std::fclose(out) != 0) return fail(e, MPGE_WRITE_FAILED);
    e.phase = Phase::Finished;
    return MPGE_END;
}

// Brings one frame's worth of input into pcm16; returns the sample frames read, 0 at the end.
size_t readFrame(Encoder& e) {
    const MPGE_INPUT& in = e.input;
    const size_t bytesPerFrame = in.channels * (in.bits_per_sample / 8);
    size_t bytes = e.pcm.size();
    if (in.length_bytes != MPGE_LENGTH_UNKNOWN) {
        if (e.inputBytesLeft < bytes)
            bytes = static_cast<size_t>(e.inputBytesLeft) / bytesPerFrame * bytesPerFrame;
        if (bytes == 0) return 0;
    }
    if (in.reader(e.pcm.data(), static_cast<uint32_t>(bytes)) != 0) return 0;
    if (in.length_bytes != MPGE_LENGTH_UNKNOWN) e.inputBytesLeft -= bytes;

    const size_t samples = bytes / (in.bits_per_sample / 8);
    if (in.bits_per_sample == 16) {
        for (size_t i = 0; i < samples; ++i)
            e.pcm16[i] =
                static_cast<short>(static_cast<uint16_t>(e.pcm[2 * i] | (e.pcm[2 * i + 1] << 8)));
    } else {
        for (size_t i = 0; i < samples; ++i) e.pcm16[i] = static_cast<short>((e.pcm[i] - 128) << 8);
    }
    return bytes / bytesPerFrame;
}

}  // namespace

GOGO_EXPORT MPGE_RESULT MPGE_initializeWork(void) {
    delete tEncoder;
    tEncoder = new (std::nothrow) Encoder;
    return tEncoder != nullptr ? MPGE_OK : MPGE_NO_MEMORY;
}

GOGO_EXPORT MPGE_RESULT MPGE_setConfigure(uint32_t item, uintptr_t first, uintptr_t second) {
    Encoder* e = tEncoder;
    if (e == nullptr || e->phase != Phase::Configuring) return MPGE_NOT_READY;
    switch (item) {
        case MPGE_ITEM_INPUT: {
            if (first != MPGE_INPUT_READER || second == 0) return MPGE_BAD_PARAMETER;
            MPGE_INPUT in;
            std::memcpy(&in, reinterpret_cast<const void*>(second), sizeof in);
            if (in.reader == nullptr || (in.bits_per_sample != 8 && in.bits_per_sample != 16) ||
                (in.channels != 1 && in.channels != 2) || !isLameInputRate(in.rate_hz))
                return MPGE_BAD_PARAMETER;
            e->input = in;
            e->haveInput = true;
            return MPGE_OK;
        }
        case MPGE_ITEM_OUTPUT: {
            if (first == 1) {
                e->toStdout = true;
                e->fileName.clear();
            } else if (first == 0 && second != 0) {
                const char* name = reinterpret_cast<const char*>(second);
                size_t len = strnlen(name, kMaxFileNameBytes + 1);
                if (len == 0 || len > kMaxFileNameBytes) return MPGE_BAD_PARAMETER;
                e->fileName.assign(name, len);
                e->toStdout = false;
            } else {
                return MPGE_BAD_PARAMETER;
            }
            e->haveOutput = true;
            return MPGE_OK;
        }
        case MPGE_ITEM_TAG: {
            // Only the last 128 bytes of a file are its ID3v1 tag, so a later tag replaces an
            // earlier one.
            const auto* bytes = reinterpret_cast<const unsigned char*>(second);
            if (bytes != nullptr && first >= kLeadingTagHeaderBytes &&
                first <= kMaxLeadingTagBytes && std::memcmp(bytes, "ID3", 3) == 0) {
                // The header's size (seven bits a byte) must cover exactly what was given.
                size_t size = 0;
                for (int i = 6; i < 10; ++i) size = (size << 7) | (bytes[i] & 0x7F);
                if (size + kLeadingTagHeaderBytes != first) return MPGE_BAD_PARAMETER;
                e->leadingTag.assign(bytes, bytes + first);
                return MPGE_OK;
            }
            if (first != kTagBytes || bytes == nullptr || std::memcmp(bytes, "TAG", 3) != 0)
                return MPGE_BAD_PARAMETER;
            std::memcpy(e->tag, bytes, kTagBytes);
            e->haveTag = true;
            return MPGE_OK;
        }
        case MPGE_ITEM_BITRATE:
            if (!isMp3Bitrate(first)) return MPGE_BAD_PARAMETER;
            e->bitrateKbps = static_cast<int>(first);
            e->vbrQuality = -1;
            return MPGE_OK;
        case MPGE_ITEM_VBR:
            if (first > 9) return MPGE_BAD_PARAMETER;
            e->vbrQuality = static_cast<int>(first);
            return MPGE_OK;
        case MPGE_ITEM_QUALITY:
            if (first > 9) return MPGE_BAD_PARAMETER;
            e->quality = static_cast<int>(first);
            return MPGE_OK;
        default:
            return MPGE_BAD_ITEM;
    }
}

GOGO_EXPORT MPGE_RESULT MPGE_getConfigure(uint32_t item, void* out) {
    const Encoder* e = tEncoder;
    if (e == nullptr) return MPGE_NOT_READY;
    if (out == nullptr) return MPGE_BAD_PARAMETER;
    switch (item) {
        case MPGE_INFO_BITRATE: {
            uint32_t v = e->vbrQuality >= 0 ? 0u : static_cast<uint32_t>(e->bitrateKbps);
            std::memcpy(out, &v, sizeof v);
            return MPGE_OK;
        }
        case MPGE_INFO_VBR: {
            int32_t v = e->vbrQuality;
            std::memcpy(out, &v, sizeof v);
            return MPGE_OK;
        }
        case MPGE_INFO_QUALITY: {
            int32_t v = e->quality;
            std::memcpy(out, &v, sizeof v);
            return MPGE_OK;
        }
        case MPGE_INFO_BYTES_WRITTEN:
            std::memcpy(out, &e->bytesWritten, sizeof e->bytesWritten);
            return MPGE_OK;
        case MPGE_INFO_FRAMES_READ:
            std::memcpy(out, &e->framesRead, sizeof e->framesRead);
            return MPGE_OK;
        case MPGE_INFO_DELAY: {
            if (e->lame == nullptr) return MPGE_NOT_READY;
            uint32_t v = static_cast<uint32_t>(lame_get_encoder_delay(e->lame));
            std::memcpy(out, &v, sizeof v);
            return MPGE_OK;
        }
        default:
            return MPGE_BAD_ITEM;
    }
}

GOGO_EXPORT MPGE_RESULT MPGE_detectConfigure(void) {
    Encoder* e = tEncoder;
    if (e == nullptr || e->phase != Phase::Configuring || !e->haveInput || !e->haveOutput)
        return MPGE_NOT_READY;
    MPGE_RESULT r = openOutput(*e);
    if (r == MPGE_OK) r = openEncoder(*e);
    if (r != MPGE_OK) {
        e->release();
        return fail(*e, r);
    }
    e->phase = Phase::Encoding;
    return MPGE_OK;
}

GOGO_EXPORT MPGE_RESULT MPGE_processFrame(void) {
    Encoder* e = tEncoder;
    if (e == nullptr) return MPGE_NOT_READY;
    switch (e->phase) {
        case Phase::Configuring:
            return MPGE_NOT_READY;
        case Phase::Finished:
            return MPGE_END;
        case Phase::Failed:
            return e->failure;
        case Phase::Encoding:
            break;
    }
    const size_t frames = readFrame(*e);
    if (frames == 0) return finish(*e);
    e->framesRead += frames;
    int n = e->input.channels == 2
                ? lame_encode_buffer_interleaved(e->lame, e->pcm16.data(), static_cast<int>(frames),
                                                 e->mp3.data(), static_cast<int>(e->mp3.size()))
                : lame_encode_buffer(e->lame, e->pcm16.data(), nullptr, static_cast<int>(frames),
                                     e->mp3.data(), static_cast<int>(e->mp3.size()));
    if (n < 0) return fail(*e, MPGE_ENCODER_FAILED);
    if (!writeAll(*e, e->mp3.data(), static_cast<size_t>(n))) return fail(*e, MPGE_WRITE_FAILED);
    return MPGE_OK;
}

GOGO_EXPORT MPGE_RESULT MPGE_closeCoder(void) {
    Encoder* e = tEncoder;
    if (e == nullptr) return MPGE_NOT_READY;
    // Closing in the middle still leaves a complete, playable file of what was encoded.
    if (e->phase == Phase::Encoding) finish(*e);
    const MPGE_RESULT r = e->phase == Phase::Failed ? e->failure : MPGE_OK;
    e->release();
    if (e->phase == Phase::Configuring) e->phase = Phase::Finished;
    return r;
}

GOGO_EXPORT MPGE_RESULT MPGE_endCoder(void) {
    delete tEncoder;
    tEncoder = nullptr;
    return MPGE_OK;
}

GOGO_EXPORT MPGE_RESULT MPGE_getVersion(uint32_t* code, char* text) {
    if (code != nullptr) *code = MPGE_VERSION_CODE;
    if (text != nullptr)
        std::snprintf(text, MPGE_VERSION_TEXT_SIZE, "libgogo 1.0 (LAME %s)", get_lame_version());
    return MPGE_OK;
}

GOGO_EXPORT MPGE_RESULT MPGE_getUnitStates(uint32_t* units) {
    // LAME picks its processor paths itself; there is nothing to choose.
    if (units == nullptr) return MPGE_BAD_PARAMETER;
    *units = 0;
    return MPGE_OK;
}
