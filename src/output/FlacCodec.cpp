// FLAC through libFLAC: lossless, 16 or 24 bits. The stream encoder writes through our sink;
// where the sink can be repositioned, it puts the final sample count and MD5 sum into the
// stream information at the end.

#include <cstring>
#include <vector>

#include "output/AudioCodec.h"
#include "output/FileTags.h"
#include "output/OutputDevice.h"

#if SORVANTO_HAVE_CODECS
#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

namespace svt::output {
namespace {

constexpr size_t kChunkFrames = 4096;

class FlacCodec final : public AudioCodec {
  public:
    explicit FlacCodec(const CodecSettings& settings) : settings_(settings) {}
    ~FlacCodec() override { release(); }

    int32_t inputEncoding(int32_t requested) const override {
        const int32_t width =
            (requested & (ENC_24BIT | ENC_32BIT | ENC_FLOAT)) ? ENC_24BIT : ENC_16BIT;
        return (requested & ENC_MONO) | ENC_SIGNED | width;
    }

    bool begin(ByteSink& sink, const CodecStream& stream) override {
        release();
        sink_ = &sink;
        channels_ = channelsOf(stream.encoding);
        bytesPerSample_ = bytesPerSample(stream.encoding);
        encoder_ = FLAC__stream_encoder_new();
        if (encoder_ == nullptr) return refuse("libFLAC could not make an encoder");
        FLAC__stream_encoder_set_channels(encoder_, static_cast<uint32_t>(channels_));
        FLAC__stream_encoder_set_bits_per_sample(encoder_,
                                                 static_cast<uint32_t>(bytesPerSample_ * 8));
        FLAC__stream_encoder_set_sample_rate(encoder_, static_cast<uint32_t>(stream.rateHz));
        FLAC__stream_encoder_set_compression_level(
            encoder_, static_cast<uint32_t>(settings_.flacCompression));
        if (stream.tags != nullptr) {
            comments_ = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
            if (comments_ == nullptr) return refuse("libFLAC could not make the tags");
            for (const auto& [field, value] : vorbisComments(*stream.tags)) {
                FLAC__StreamMetadata_VorbisComment_Entry entry;
                if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(
                        &entry, field.c_str(), value.c_str()) ||
                    !FLAC__metadata_object_vorbiscomment_append_comment(comments_, entry, false))
                    return refuse("libFLAC could not take the tags");
            }
            FLAC__stream_encoder_set_metadata(encoder_, &comments_, 1);
        }
        const FLAC__StreamEncoderInitStatus status = FLAC__stream_encoder_init_stream(
            encoder_, &FlacCodec::writeBytes, &FlacCodec::seekTo, &FlacCodec::tell, nullptr, this);
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
            return refuse(std::string("libFLAC refused the stream: ") +
                          FLAC__StreamEncoderInitStatusString[status]);
        samples_.resize(kChunkFrames * static_cast<size_t>(channels_));
        return true;
    }

    bool encode(const uint8_t* bytes, size_t count) override {
        const size_t sampleCount = count / static_cast<size_t>(bytesPerSample_);
        for (size_t done = 0; done < sampleCount;) {
            const size_t n = std::min(sampleCount - done, samples_.size());
            const uint8_t* p = bytes + done * static_cast<size_t>(bytesPerSample_);
            if (bytesPerSample_ == 2) {
                for (size_t i = 0; i < n; ++i, p += 2)
                    samples_[i] = static_cast<int16_t>(p[0] | p[1] << 8);
            } else {
                // Little-endian 24 bits, sign-extended through the top byte.
                for (size_t i = 0; i < n; ++i, p += 3)
                    samples_[i] = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                                       static_cast<uint32_t>(p[1]) << 16 |
                                                       static_cast<uint32_t>(p[2]) << 24) >>
                                  8;
            }
            if (!FLAC__stream_encoder_process_interleaved(encoder_, samples_.data(),
                                                          static_cast<uint32_t>(n / channels_)))
                return failed();
            done += n;
        }
        return true;
    }

    bool finish() override {
        const bool ok = FLAC__stream_encoder_finish(encoder_);
        return ok ? true : failed();
    }

  private:
    bool refuse(std::string why) {
        problem_ = std::move(why);
        return false;
    }
    // A failed write says why through the sink; anything else through the encoder's state.
    bool failed() {
        const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(encoder_);
        if (state != FLAC__STREAM_ENCODER_CLIENT_ERROR)
            problem_ = std::string("libFLAC: ") + FLAC__StreamEncoderStateString[state];
        return false;
    }
    void release() {
        if (encoder_ != nullptr) FLAC__stream_encoder_delete(encoder_);
        if (comments_ != nullptr) FLAC__metadata_object_delete(comments_);
        encoder_ = nullptr;
        comments_ = nullptr;
    }

    static FLAC__StreamEncoderWriteStatus writeBytes(const FLAC__StreamEncoder*,
                                                     const FLAC__byte buffer[], size_t bytes,
                                                     uint32_t, uint32_t, void* self) {
        return static_cast<FlacCodec*>(self)->sink_->write(buffer, bytes)
                   ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                   : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    static FLAC__StreamEncoderSeekStatus seekTo(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* self) {
        return static_cast<FlacCodec*>(self)->sink_->seek(static_cast<int64_t>(offset))
                   ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                   : FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED;
    }
    static FLAC__StreamEncoderTellStatus tell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                              void* self) {
        const int64_t at = static_cast<FlacCodec*>(self)->sink_->position();
        if (at < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
        *offset = static_cast<FLAC__uint64>(at);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    const CodecSettings settings_;
    ByteSink* sink_ = nullptr;
    FLAC__StreamEncoder* encoder_ = nullptr;
    FLAC__StreamMetadata* comments_ = nullptr;
    int channels_ = 2;
    int bytesPerSample_ = 2;
    std::vector<FLAC__int32> samples_;
};

}  // namespace

std::unique_ptr<AudioCodec> makeFlacCodec(const CodecSettings& settings) {
    return std::make_unique<FlacCodec>(settings);
}

#else

namespace svt::output {

std::unique_ptr<AudioCodec> makeFlacCodec(const CodecSettings&) {
    return nullptr;
}

#endif

}  // namespace svt::output
