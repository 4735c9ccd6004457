// Ogg Vorbis through libvorbisenc and libogg: variable bit rate at oggenc's quality scale,
// from float samples.

#include <cstring>

#include "output/AudioCodec.h"
#include "output/FileTags.h"
#include "output/OutputDevice.h"

#if SORVANTO_HAVE_CODECS
#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

namespace svt::output {
namespace {

constexpr size_t kChunkFrames = 4096;

class VorbisCodec final : public AudioCodec {
  public:
    explicit VorbisCodec(const CodecSettings& settings) : settings_(settings) {}
    ~VorbisCodec() override { release(); }

    int32_t inputEncoding(int32_t requested) const override {
        return (requested & ENC_MONO) | ENC_SIGNED | ENC_FLOAT;
    }

    bool begin(ByteSink& sink, const CodecStream& stream) override {
        release();
        sink_ = &sink;
        channels_ = channelsOf(stream.encoding);
        vorbis_info_init(&info_);
        vorbis_comment_init(&comment_);
        live_ = true;
        if (vorbis_encode_init_vbr(&info_, channels_, stream.rateHz,
                                   static_cast<float>(settings_.vorbisQuality / 10.0)) != 0) {
            problem_ = "libvorbis cannot encode " + std::to_string(stream.rateHz) +
                       " Hz at quality " + std::to_string(settings_.vorbisQuality);
            return false;
        }
        if (stream.tags != nullptr)
            for (const auto& [field, value] : vorbisComments(*stream.tags))
                vorbis_comment_add_tag(&comment_, field.c_str(), value.c_str());
        vorbis_analysis_init(&dsp_, &info_);
        vorbis_block_init(&dsp_, &block_);
        ogg_stream_init(&ogg_, static_cast<int>(stream.serial));
        started_ = true;
        ogg_packet header, comments, codebooks;
        vorbis_analysis_headerout(&dsp_, &comment_, &header, &comments, &codebooks);
        ogg_stream_packetin(&ogg_, &header);
        ogg_stream_packetin(&ogg_, &comments);
        ogg_stream_packetin(&ogg_, &codebooks);
        // The audio starts on a page of its own, as Ogg Vorbis wants.
        ogg_page page;
        while (ogg_stream_flush(&ogg_, &page) != 0)
            if (!writePage(page)) return false;
        return true;
    }

    bool encode(const uint8_t* bytes, size_t count) override {
        const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
        const size_t frames = count / frameBytes;
        for (size_t done = 0; done < frames;) {
            const size_t n = std::min(frames - done, kChunkFrames);
            float** buffer = vorbis_analysis_buffer(&dsp_, static_cast<int>(n));
            const uint8_t* p = bytes + done * frameBytes;
            for (size_t i = 0; i < n; ++i)
                for (int c = 0; c < channels_; ++c, p += sizeof(float))
                    std::memcpy(&buffer[c][i], p, sizeof(float));
            vorbis_analysis_wrote(&dsp_, static_cast<int>(n));
            if (!drain()) return false;
            done += n;
        }
        return true;
    }

    bool finish() override {
        vorbis_analysis_wrote(&dsp_, 0);
        return drain();
    }

  private:
    bool writePage(const ogg_page& page) {
        return sink_->write(page.header, static_cast<size_t>(page.header_len)) &&
               sink_->write(page.body, static_cast<size_t>(page.body_len));
    }
    // Encodes the blocks that are ready and writes the pages they fill.
    bool drain() {
        while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
            vorbis_analysis(&block_, nullptr);
            vorbis_bitrate_addblock(&block_);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp_, &packet) == 1) {
                ogg_stream_packetin(&ogg_, &packet);
                ogg_page page;
                while (ogg_stream_pageout(&ogg_, &page) != 0)
                    if (!writePage(page)) return false;
            }
        }
        // After the last packet the stream's end is flushed as its final page.
        ogg_page page;
        while (ogg_stream_eos(&ogg_) && ogg_stream_flush(&ogg_, &page) != 0)
            if (!writePage(page)) return false;
        return true;
    }
    void release() {
        if (started_) {
            ogg_stream_clear(&ogg_);
            vorbis_block_clear(&block_);
            vorbis_dsp_clear(&dsp_);
        }
        if (live_) {
            vorbis_comment_clear(&comment_);
            vorbis_info_clear(&info_);
        }
        started_ = live_ = false;
    }

    const CodecSettings settings_;
    ByteSink* sink_ = nullptr;
    int channels_ = 2;
    bool live_ = false, started_ = false;
    vorbis_info info_{};
    vorbis_comment comment_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
    ogg_stream_state ogg_{};
};

}  // namespace

std::unique_ptr<AudioCodec> makeVorbisCodec(const CodecSettings& settings) {
    return std::make_unique<VorbisCodec>(settings);
}

#else

namespace svt::output {

std::unique_ptr<AudioCodec> makeVorbisCodec(const CodecSettings&) {
    return nullptr;
}

#endif

}  // namespace svt::output
