#include "support/Sf2Builder.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace svt::test {
namespace {

class Writer {
  public:
    void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void id(const char* fourcc) { bytes.insert(bytes.end(), fourcc, fourcc + 4); }
    void name20(const std::string& name) {
        char field[20] = {};
        std::memcpy(field, name.data(), std::min<size_t>(name.size(), 20));
        bytes.insert(bytes.end(), field, field + 20);
    }
    void append(const std::vector<uint8_t>& other) {
        bytes.insert(bytes.end(), other.begin(), other.end());
    }
    // Writes id + size + body, padding odd bodies to an even size.
    void chunk(const char* fourcc, const std::vector<uint8_t>& body) {
        id(fourcc);
        u32(static_cast<uint32_t>(body.size()));
        append(body);
        if (body.size() % 2 != 0) u8(0);
    }
    void list(const char* type, const std::vector<uint8_t>& body) {
        id("LIST");
        u32(static_cast<uint32_t>(body.size() + 4));
        id(type);
        append(body);
    }
    std::vector<uint8_t> bytes;
};

int framesOrOneSecond(uint32_t rate, int frames) {
    return frames > 0 ? frames : static_cast<int>(rate);
}

// Loops the largest whole number of periods that fits after one period of lead-in;
// for a waveform starting at phase 0 both ends of the loop sit on the same phase.
void setPeriodLoop(Sf2Sample& s, double freqHz, uint32_t rate) {
    double period = rate / freqHz;
    int frames = static_cast<int>(s.pcm.size());
    // Whole periods whose length in points is (nearly) an integer, so the loop seam is clean.
    int best = 0;
    for (int k = 1; (k + 1) * period < frames - 8; ++k) {
        double len = k * period;
        if (std::fabs(len - std::round(len)) < 0.01) best = k;
    }
    if (best == 0) best = std::max(1, static_cast<int>((frames - 8) / period) - 1);
    s.loopStart = static_cast<uint32_t>(std::lround(period));
    s.loopEnd = s.loopStart + static_cast<uint32_t>(std::lround(best * period));
    if (s.loopEnd > static_cast<uint32_t>(frames)) s.loopEnd = static_cast<uint32_t>(frames);
}

}  // namespace

Sf2Zone& Sf2Zone::gen(uint16_t oper, int amount) {
    generators.push_back(Generator{oper, static_cast<uint16_t>(amount & 0xFFFF)});
    return *this;
}

Sf2Builder::Sf2Builder() = default;

int Sf2Builder::addSample(Sf2Sample sample) {
    samples_.push_back(std::move(sample));
    return static_cast<int>(samples_.size()) - 1;
}

int Sf2Builder::addStereoPair(Sf2Sample left, Sf2Sample right) {
    int l = static_cast<int>(samples_.size());
    left.sampleType = kSampleLeft;
    left.sampleLink = static_cast<uint16_t>(l + 1);
    right.sampleType = kSampleRight;
    right.sampleLink = static_cast<uint16_t>(l);
    addSample(std::move(left));
    addSample(std::move(right));
    return l;
}

// One waveform period after another; `shape` gives the value -1..1 of frame i.
template <class Shape>
Sf2Sample periodicSample(std::string name, double freqHz, uint32_t rate, uint8_t rootKey,
                         int frames, bool loop, double level, Shape shape) {
    Sf2Sample s;
    s.name = std::move(name);
    s.sampleRate = rate;
    s.originalKey = rootKey;
    int n = framesOrOneSecond(rate, frames);
    s.pcm.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        s.pcm[static_cast<size_t>(i)] =
            static_cast<int16_t>(std::lround(shape(i) * level * 32767.0));
    if (loop) setPeriodLoop(s, freqHz, rate);
    return s;
}

Sf2Sample Sf2Builder::sineSample(std::string name, double freqHz, uint32_t rate, uint8_t rootKey,
                                 int frames, bool loop, double level) {
    return periodicSample(std::move(name), freqHz, rate, rootKey, frames, loop, level, [&](int i) {
        return std::sin(2.0 * std::numbers::pi * freqHz * i / rate);
    });
}

Sf2Sample Sf2Builder::sawSample(std::string name, double freqHz, uint32_t rate, uint8_t rootKey,
                                int frames, bool loop, double level) {
    return periodicSample(std::move(name), freqHz, rate, rootKey, frames, loop, level,
                          [&](int i) { return 1.0 - 2.0 * std::fmod(freqHz * i / rate, 1.0); });
}

Sf2Sample Sf2Builder::noiseSample(std::string name, uint32_t rate, int frames, uint32_t seed,
                                  double level) {
    Sf2Sample s;
    s.name = std::move(name);
    s.sampleRate = rate;
    s.pcm.resize(static_cast<size_t>(std::max(frames, 0)));
    uint32_t x = seed != 0 ? seed : 1;
    for (int16_t& v : s.pcm) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        double u = static_cast<double>(x) / 4294967295.0 * 2.0 - 1.0;
        v = static_cast<int16_t>(std::lround(u * level * 32767.0));
    }
    return s;
}

Sf2Sample Sf2Builder::rampSample(std::string name, int frames, uint32_t rate, uint8_t rootKey) {
    Sf2Sample s;
    s.name = std::move(name);
    s.sampleRate = rate;
    s.originalKey = rootKey;
    s.pcm.resize(static_cast<size_t>(std::max(frames, 0)));
    for (size_t i = 0; i < s.pcm.size(); ++i) s.pcm[i] = static_cast<int16_t>(i % 32768);
    return s;
}

int Sf2Builder::addInstrument(std::string name) {
    instruments_.push_back(Owner{std::move(name), 0, 0, {}});
    return static_cast<int>(instruments_.size()) - 1;
}

Sf2Zone& Sf2Builder::instrumentZone(int instrument) {
    return instruments_.at(static_cast<size_t>(instrument)).zones.emplace_back();
}

int Sf2Builder::addPreset(std::string name, int bank, int program) {
    presets_.push_back(Owner{std::move(name), bank, program, {}});
    return static_cast<int>(presets_.size()) - 1;
}

Sf2Zone& Sf2Builder::presetZone(int preset) {
    return presets_.at(static_cast<size_t>(preset)).zones.emplace_back();
}

void Sf2Builder::addRawChunk(const std::string& list, const std::string& id,
                             std::vector<uint8_t> body) {
    rawChunks_.push_back(RawChunk{list, id, std::move(body)});
}

int Sf2Builder::timecents(double seconds) {
    if (seconds <= 0.0) return -12000;
    return static_cast<int>(std::lround(1200.0 * std::log2(seconds)));
}

std::vector<uint8_t> Sf2Builder::build() const {
    auto rawFor = [this](const char* list, Writer& w) {
        for (const RawChunk& c : rawChunks_) {
            if (c.list == list) {
                char id[4] = {' ', ' ', ' ', ' '};
                std::memcpy(id, c.id.data(), std::min<size_t>(c.id.size(), 4));
                w.id(id);
                w.u32(static_cast<uint32_t>(c.body.size()));
                w.append(c.body);
            }
        }
    };

    // INFO
    Writer info;
    if (writeVersion_) {
        Writer v;
        v.u16(static_cast<uint32_t>(versionMajor_));
        v.u16(static_cast<uint32_t>(versionMinor_));
        info.chunk("ifil", v.bytes);
    }
    // Zero-terminated; the name padded to an even size inside its chunk, the engine's by chunk().
    std::vector<uint8_t> n(name_.c_str(), name_.c_str() + name_.size() + 1);
    if (n.size() % 2 != 0) n.push_back(0);
    info.chunk("INAM", n);
    const char engine[] = "EMU8000";
    info.chunk("isng", std::vector<uint8_t>(engine, engine + sizeof engine));
    rawFor("INFO", info);

    // sdta
    Writer smpl;
    std::vector<uint32_t> starts, ends;
    for (const Sf2Sample& s : samples_) {
        if (compressQuality_) {
            starts.push_back(static_cast<uint32_t>(smpl.bytes.size()));
            smpl.append(s.stream ? *s.stream
                                 : encodeVorbis(s.pcm, s.sampleRate, *compressQuality_));
            ends.push_back(static_cast<uint32_t>(smpl.bytes.size()));
            continue;
        }
        starts.push_back(static_cast<uint32_t>(smpl.bytes.size() / 2));
        ends.push_back(starts.back() + static_cast<uint32_t>(s.pcm.size()));
        for (int16_t v : s.pcm) smpl.u16(static_cast<uint16_t>(v));
        for (int i = 0; i < 46; ++i) smpl.u16(0);
    }
    Writer sdta;
    bool v1 = versionMajor_ <= 1;
    if (v1) {
        Writer snam;
        for (const Sf2Sample& s : samples_) snam.name20(s.name);
        if (writeTerminals_) snam.name20("EOS");
        sdta.chunk("snam", snam.bytes);
    }
    sdta.chunk("smpl", smpl.bytes);
    if (writeSm24_) sdta.chunk("sm24", std::vector<uint8_t>(smpl.bytes.size() / 2, 0));
    rawFor("sdta", sdta);

    // pdta
    Writer pdta;
    auto writeTables = [&](const std::deque<Owner>& owners, bool preset, Writer& hdr, Writer& bag,
                           Writer& mod, Writer& gen) {
        uint32_t zoneIndex = 0, genIndex = 0, modIndex = 0;
        auto header = [&](const std::string& name, int program, int bank) {
            hdr.name20(name);
            if (preset) {
                hdr.u16(static_cast<uint32_t>(program));
                hdr.u16(static_cast<uint32_t>(bank));
            }
            hdr.u16(zoneIndex);
            for (int i = 0; preset && i < 3; ++i) hdr.u32(0);
        };
        for (const Owner& o : owners) {
            header(o.name, o.program, o.bank);
            for (const Sf2Zone& z : o.zones) {
                bag.u16(genIndex);
                bag.u16(modIndex);
                ++zoneIndex;
                std::vector<Generator> gens = z.generators;
                auto rank = [](uint16_t op) {
                    return op == GEN_KEY_RANGE                           ? 0
                           : op == GEN_VEL_RANGE                         ? 1
                           : op == GEN_INSTRUMENT || op == GEN_SAMPLE_ID ? 3
                                                                         : 2;
                };
                std::stable_sort(gens.begin(), gens.end(),
                                 [&](const Generator& a, const Generator& b) {
                                     return rank(a.oper) < rank(b.oper);
                                 });
                for (const Generator& g : gens) {
                    gen.u16(g.oper);
                    gen.u16(g.amount);
                    ++genIndex;
                }
                for (const Sf2Modulator& m : z.modulators) {
                    for (uint16_t v : {m.source, m.destination, static_cast<uint16_t>(m.amount),
                                       m.amountSource, m.transform})
                        mod.u16(v);
                    ++modIndex;
                }
            }
        }
        if (writeTerminals_) {
            header(preset ? "EOP" : "EOI", 0, 0);
            bag.u16(genIndex);
            bag.u16(modIndex);
            gen.u32(0);
            for (int i = 0; i < 10; ++i) mod.u8(0);
        }
    };
    Writer phdr, pbag, pmod, pgen, inst, ibag, imod, igen;
    writeTables(presets_, true, phdr, pbag, pmod, pgen);
    writeTables(instruments_, false, inst, ibag, imod, igen);
    Writer shdr;
    for (size_t i = 0; i < samples_.size(); ++i) {
        const Sf2Sample& s = samples_[i];
        uint32_t start = starts[i];
        uint32_t end = ends[i];
        // Loop points of a compressed sample count from its first point.
        uint32_t loopBase = compressQuality_ ? 0 : start;
        if (!v1) shdr.name20(s.name);
        shdr.u32(s.rawStart.value_or(start));
        shdr.u32(s.rawEnd.value_or(end));
        shdr.u32(s.rawLoopStart.value_or(loopBase + s.loopStart));
        shdr.u32(s.rawLoopEnd.value_or(loopBase + s.loopEnd));
        if (!v1) {
            shdr.u32(s.sampleRate);
            shdr.u8(s.originalKey);
            shdr.u8(static_cast<uint8_t>(s.pitchCorrection));
            shdr.u16(s.sampleLink);
            shdr.u16(compressQuality_ ? s.sampleType | 0x10 : s.sampleType);
        }
    }
    if (writeTerminals_) {
        if (!v1) shdr.name20("EOS");
        for (int i = 0; i < (v1 ? 4 : 6); ++i) shdr.u32(0);  // version 2 adds rate, key and link
        if (!v1) shdr.u16(0);
    }
    for (const auto& [id, table] : {std::pair{"phdr", &phdr},
                                    {"pbag", &pbag},
                                    {"pmod", &pmod},
                                    {"pgen", &pgen},
                                    {"inst", &inst},
                                    {"ibag", &ibag},
                                    {"imod", &imod},
                                    {"igen", &igen},
                                    {"shdr", &shdr}})
        pdta.chunk(id, table->bytes);
    rawFor("pdta", pdta);

    Writer body;
    body.list("INFO", info.bytes);
    body.list("sdta", sdta.bytes);
    if (writePdta_) body.list("pdta", pdta.bytes);

    Writer file;
    file.id("RIFF");
    file.u32(static_cast<uint32_t>(body.bytes.size() + 4));
    file.id("sfbk");
    file.append(body.bytes);
    return file.bytes;
}

std::vector<uint8_t> Sf2Builder::encodeVorbis(const std::vector<int16_t>& pcm, uint32_t rateHz,
                                              float quality) {
    std::vector<uint8_t> out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, static_cast<long>(rateHz), quality) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x53463320);
    ogg_page page;
    ogg_packet packet;
    auto writePage = [&out](const ogg_page& p) {
        out.insert(out.end(), p.header, p.header + p.header_len);
        out.insert(out.end(), p.body, p.body + p.body_len);
    };
    ogg_packet id, comments, codebooks;
    vorbis_analysis_headerout(&dsp, &comment, &id, &comments, &codebooks);
    ogg_stream_packetin(&stream, &id);
    ogg_stream_packetin(&stream, &comments);
    ogg_stream_packetin(&stream, &codebooks);
    while (ogg_stream_flush(&stream, &page) != 0) writePage(page);

    // Feeds the points in pieces, then the end of the input; each finished block becomes
    // packets and each full page is written.
    const size_t piece = 1024;
    for (size_t done = 0;; done += piece) {
        size_t n = done < pcm.size() ? std::min(piece, pcm.size() - done) : 0;
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
            for (size_t i = 0; i < n; ++i) buffer[0][i] = pcm[done + i] / 32768.0f;
        }
        vorbis_analysis_wrote(&dsp, static_cast<int>(n));
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) writePage(page);
            }
        }
        if (n == 0) break;
    }
    while (ogg_stream_flush(&stream, &page) != 0) writePage(page);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

std::optional<size_t> Sf2Builder::findChunk(const std::vector<uint8_t>& file, const char* id) {
    // Walks the RIFF structure rather than searching bytes, so that sample data that
    // happens to hold the characters is never mistaken for a header.
    auto u32 = [&](size_t p) {
        return static_cast<uint32_t>(file[p] | (file[p + 1] << 8) | (file[p + 2] << 16) |
                                     (static_cast<uint32_t>(file[p + 3]) << 24));
    };
    if (file.size() < 12) return std::nullopt;
    if (std::memcmp(id, "RIFF", 4) == 0) return 0;
    size_t pos = 12;
    while (pos + 8 <= file.size()) {
        if (std::memcmp(&file[pos], id, 4) == 0) return pos;
        uint32_t size = u32(pos + 4);
        if (std::memcmp(&file[pos], "LIST", 4) == 0 && pos + 12 <= file.size()) {
            if (std::memcmp(&file[pos + 8], id, 4) == 0) return pos;
            pos += 12;  // into the list
            continue;
        }
        pos += 8 + size + (size & 1);
    }
    return std::nullopt;
}

void Sf2Builder::patchU16(std::vector<uint8_t>& file, size_t pos, uint16_t value) {
    file.at(pos) = static_cast<uint8_t>(value);
    file.at(pos + 1) = static_cast<uint8_t>(value >> 8);
}

void Sf2Builder::patchU32(std::vector<uint8_t>& file, size_t pos, uint32_t value) {
    patchU16(file, pos, static_cast<uint16_t>(value));
    patchU16(file, pos + 2, static_cast<uint16_t>(value >> 16));
}

}  // namespace svt::test
