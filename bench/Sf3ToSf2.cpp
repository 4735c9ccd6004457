// bench_sf3_to_sf2 IN.sf3 OUT.sf2 - writes a compressed font's samples decoded, as a SoundFont 2
// file with the same presets and instruments: the measuring stick for playing a compressed font
// against the same instruments stored as points.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "instruments/CompressedSamples.h"
#include "instruments/SoundFontFile.h"
#include "streams/streams.h"

namespace {

using namespace svt;

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void chunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
    out.insert(out.end(), id, id + 4);
    put32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) out.push_back(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_sf3_to_sf2 IN.sf3 OUT.sf2\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    InputStreamPtr stream = openMemoryStream(std::span<const uint8_t>(file), argv[1]);
    Result<SoundFontFile> read = readSoundFont(*stream);
    if (!read.ok()) {
        std::fprintf(stderr, "%s\n", read.error().message.c_str());
        return 1;
    }
    const SoundFontFile& font = *read;

    // The decoded samples one after another, 46 zero points after each, and their headers.
    std::vector<uint8_t> smpl, shdr;
    for (size_t i = 0; i < font.sampleHeaders.size(); ++i) {
        SampleHeader h = font.sampleHeaders[i];
        bool closing = i + 1 == font.sampleHeaders.size();
        uint32_t start = uint32_t(smpl.size() / 2), frames = 0;
        if (!closing && (h.sampleType & kSampleCompressedBit) != 0) {
            std::span<const uint8_t> s(file.data() + font.sampleDataPos + h.start, h.end - h.start);
            StreamProbe probe = probeCompressedStream(s.first(std::min(s.size(), kProbeHeadBytes)),
                                                      s.last(std::min(s.size(), kProbeTailBytes)));
            auto decoded = decodeVorbisStream(s, probe.frames);
            if (decoded.ok()) {
                frames = uint32_t((*decoded)->frames);
                for (uint32_t k = 0; k < frames; ++k) put16(smpl, uint16_t((*decoded)->points[k]));
            }
            h.loopStart += start;
            h.loopEnd += start;
            h.sampleType = uint16_t(h.sampleType & ~kSampleCompressedBit);
        } else if (!closing) {
            frames = h.end - h.start;
            const uint8_t* p = file.data() + font.sampleDataPos + 2 * size_t(h.start);
            smpl.insert(smpl.end(), p, p + 2 * size_t(frames));
            h.loopStart = h.loopStart - h.start + start;
            h.loopEnd = h.loopEnd - h.start + start;
        }
        if (!closing) smpl.resize(smpl.size() + 2 * 46, 0);
        char name[20] = {};
        std::memcpy(name, h.name.data(), std::min<size_t>(h.name.size(), 19));
        shdr.insert(shdr.end(), name, name + 20);
        put32(shdr, closing ? 0 : start);
        put32(shdr, closing ? 0 : start + frames);
        put32(shdr, closing ? 0 : h.loopStart);
        put32(shdr, closing ? 0 : h.loopEnd);
        put32(shdr, h.sampleRate);
        shdr.push_back(h.originalKey);
        shdr.push_back(uint8_t(h.pitchCorrection));
        put16(shdr, h.sampleLink);
        put16(shdr, h.sampleType);
    }

    // INFO and pdta as they are, but for the version and the sample headers.
    std::vector<uint8_t> body;
    for (size_t pos = 12; pos + 12 <= file.size();) {
        uint32_t size = le32(&file[pos + 4]);
        std::string type(reinterpret_cast<const char*>(&file[pos + 8]), 4);
        std::vector<uint8_t> list;
        if (type == "sdta") {
            chunk(list, "smpl", smpl);
        } else {
            for (size_t sub = pos + 12; sub + 8 <= pos + 8 + size;) {
                uint32_t n = le32(&file[sub + 4]);
                std::string id(reinterpret_cast<const char*>(&file[sub]), 4);
                std::vector<uint8_t> content(file.begin() + long(sub + 8),
                                             file.begin() + long(sub + 8 + n));
                if (id == "ifil") content = {2, 0, 1, 0};
                if (id == "shdr") content = shdr;
                chunk(list, id.c_str(), content);
                sub += 8 + n + (n & 1);
            }
        }
        body.insert(body.end(), {'L', 'I', 'S', 'T'});
        put32(body, uint32_t(list.size() + 4));
        body.insert(body.end(), type.begin(), type.end());
        body.insert(body.end(), list.begin(), list.end());
        pos += 8 + size + (size & 1);
    }
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    put32(out, uint32_t(body.size() + 4));
    out.insert(out.end(), {'s', 'f', 'b', 'k'});
    out.insert(out.end(), body.begin(), body.end());
    std::ofstream(argv[2], std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), long(out.size()));
    std::printf("%s: %zu samples, %.1f MiB of points\n", argv[2], font.sampleHeaders.size() - 1,
                double(smpl.size()) / (1 << 20));
    return 0;
}
