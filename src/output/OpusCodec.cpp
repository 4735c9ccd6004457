// Ogg Opus through libopusenc (on libopus): float samples, at one of Opus's own rates when
// the engine renders at one (then nothing is resampled); the bit rate is the one asked for.

#include <cstring>
#include <vector>

#include "output/AudioCodec.h"
#include "output/FileTags.h"
#include "output/OutputDevice.h"

#if SORVANTO_HAVE_CODECS
#include <opus/opusenc.h>

namespace svt::output {
namespace {

constexpr size_t kChunkFrames = 4096;

class OpusCodec final : public AudioCodec {
  public:
    explicit OpusCodec(const CodecSettings& settings) : settings_(settings) {}
    ~OpusCodec() override { release(); }

    int32_t inputEncoding(int32_t requested) const override {
        return (requested & ENC_MONO) | ENC_SIGNED | ENC_FLOAT;
    }

    bool begin(ByteSink& sink, const CodecStream& stream) override {
        release();
        sink_ = &sink;
        channels_ = channelsOf(stream.encoding);
        comments_ = ope_comments_create();
        if (comments_ == nullptr) return refuse("libopusenc could not make the tags");
        if (stream.tags != nullptr)
            for (const auto& [field, value] : vorbisComments(*stream.tags))
                if (ope_comments_add(comments_, field.c_str(), value.c_str()) != OPE_OK)
                    return refuse("libopusenc could not take the tags");
        const OpusEncCallbacks callbacks = {&OpusCodec::writeBytes, &OpusCodec::closeStream};
        int error = OPE_OK;
        encoder_ = ope_encoder_create_callbacks(&callbacks, this, comments_, stream.rateHz,
                                                channels_, 0, &error);
        if (encoder_ == nullptr)
            return refuse(std::string("libopusenc refused the stream: ") + ope_strerror(error));
        const int kbps =
            settings_.opusBitrateKbps > 0 ? settings_.opusBitrateKbps : (channels_ == 1 ? 64 : 128);
        // A fixed serial number (the output's choice) keeps equal files equal byte for byte.
        if ((error = ope_encoder_ctl(encoder_, OPUS_SET_BITRATE(kbps * 1000))) != OPE_OK ||
            (error = ope_encoder_ctl(
                 encoder_, OPE_SET_SERIALNO(static_cast<opus_int32>(stream.serial)))) != OPE_OK)
            return refuse(std::string("libopusenc refused its settings: ") + ope_strerror(error));
        samples_.resize(kChunkFrames * static_cast<size_t>(channels_));
        return true;
    }

    bool encode(const uint8_t* bytes, size_t count) override {
        const size_t sampleCount = count / sizeof(float);
        for (size_t done = 0; done < sampleCount;) {
            const size_t n = std::min(sampleCount - done, samples_.size());
            std::memcpy(samples_.data(), bytes + done * sizeof(float), n * sizeof(float));
            if (!check(ope_encoder_write_float(encoder_, samples_.data(),
                                               static_cast<int>(n / channels_))))
                return false;
            done += n;
        }
        return true;
    }

    bool finish() override { return check(ope_encoder_drain(encoder_)); }

  private:
    bool refuse(std::string why) {
        problem_ = std::move(why);
        return false;
    }
    // A failed write says why through the sink, and libopusenc reports it as its own error.
    bool check(int result) {
        if (result == OPE_OK) return true;
        if (!writeFailed_) problem_ = std::string("libopusenc: ") + ope_strerror(result);
        return false;
    }
    void release() {
        if (encoder_ != nullptr) ope_encoder_destroy(encoder_);
        if (comments_ != nullptr) ope_comments_destroy(comments_);
        encoder_ = nullptr;
        comments_ = nullptr;
    }

    static int writeBytes(void* self, const unsigned char* bytes, opus_int32 count) {
        auto* codec = static_cast<OpusCodec*>(self);
        if (codec->sink_->write(bytes, static_cast<size_t>(count))) return 0;
        codec->writeFailed_ = true;
        return 1;
    }
    // The output closes its file itself.
    static int closeStream(void*) { return 0; }

    const CodecSettings settings_;
    ByteSink* sink_ = nullptr;
    int channels_ = 2;
    bool writeFailed_ = false;
    OggOpusComments* comments_ = nullptr;
    OggOpusEnc* encoder_ = nullptr;
    std::vector<float> samples_;
};

}  // namespace

std::unique_ptr<AudioCodec> makeOpusCodec(const CodecSettings& settings) {
    return std::make_unique<OpusCodec>(settings);
}

#else

namespace svt::output {

std::unique_ptr<AudioCodec> makeOpusCodec(const CodecSettings&) {
    return nullptr;
}

#endif

}  // namespace svt::output
