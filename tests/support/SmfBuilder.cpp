#include "support/SmfBuilder.h"

namespace svt::test {

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
}
void put32le(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<uint8_t>(v >> s));
}

}  // namespace

void writeVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0 && n < 5);
    while (n-- > 0) out.push_back(static_cast<uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
}

SmfTrack& SmfTrack::runningStatus(bool on) {
    running_ = on;
    return *this;
}

SmfTrack& SmfTrack::channelMessage(uint32_t delta, int status, std::initializer_list<int> data) {
    writeVariableLength(bytes_, delta);
    if (!running_ || status != lastStatus_) bytes_.push_back(static_cast<uint8_t>(status));
    lastStatus_ = status;
    for (int d : data) bytes_.push_back(static_cast<uint8_t>(d & 0x7F));
    return *this;
}

SmfTrack& SmfTrack::noteOn(uint32_t delta, int ch, int key, int velocity) {
    return channelMessage(delta, 0x90 | ch, {key, velocity});
}
SmfTrack& SmfTrack::noteOff(uint32_t delta, int ch, int key, int velocity) {
    return channelMessage(delta, 0x80 | ch, {key, velocity});
}
SmfTrack& SmfTrack::controller(uint32_t delta, int ch, int number, int value) {
    return channelMessage(delta, 0xB0 | ch, {number, value});
}
SmfTrack& SmfTrack::program(uint32_t delta, int ch, int program) {
    return channelMessage(delta, 0xC0 | ch, {program});
}
SmfTrack& SmfTrack::channelPressure(uint32_t delta, int ch, int value) {
    return channelMessage(delta, 0xD0 | ch, {value});
}
SmfTrack& SmfTrack::keyPressure(uint32_t delta, int ch, int key, int value) {
    return channelMessage(delta, 0xA0 | ch, {key, value});
}
SmfTrack& SmfTrack::pitchBend(uint32_t delta, int ch, int value14) {
    return channelMessage(delta, 0xE0 | ch, {value14 & 0x7F, (value14 >> 7) & 0x7F});
}

SmfTrack& SmfTrack::meta(uint32_t delta, int type, const std::vector<uint8_t>& data) {
    writeVariableLength(bytes_, delta);
    bytes_.push_back(0xFF);
    bytes_.push_back(static_cast<uint8_t>(type));
    writeVariableLength(bytes_, static_cast<uint32_t>(data.size()));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    lastStatus_ = -1;  // meta events cancel running status for the writer's purposes
    return *this;
}

SmfTrack& SmfTrack::tempo(uint32_t delta, uint32_t us) {
    return meta(
        delta, 0x51,
        {static_cast<uint8_t>(us >> 16), static_cast<uint8_t>(us >> 8), static_cast<uint8_t>(us)});
}
SmfTrack& SmfTrack::timeSignature(uint32_t delta, int nn, int dd, int cc, int bb) {
    return meta(delta, 0x58,
                {static_cast<uint8_t>(nn), static_cast<uint8_t>(dd), static_cast<uint8_t>(cc),
                 static_cast<uint8_t>(bb)});
}
SmfTrack& SmfTrack::keySignature(uint32_t delta, int sharps, bool minor) {
    return meta(
        delta, 0x59,
        {static_cast<uint8_t>(static_cast<int8_t>(sharps)), static_cast<uint8_t>(minor ? 1 : 0)});
}
SmfTrack& SmfTrack::text(uint32_t delta, int type, const std::string& text) {
    return meta(delta, type, std::vector<uint8_t>(text.begin(), text.end()));
}
SmfTrack& SmfTrack::sysex(uint32_t delta, const std::vector<uint8_t>& body) {
    writeVariableLength(bytes_, delta);
    bytes_.push_back(0xF0);
    writeVariableLength(bytes_, static_cast<uint32_t>(body.size()));
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    lastStatus_ = -1;
    return *this;
}
SmfTrack& SmfTrack::endOfTrack(uint32_t delta) {
    return meta(delta, 0x2F, {});
}
SmfTrack& SmfTrack::raw(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

SmfTrack& SmfBuilder::track() {
    return tracks_.emplace_back();
}

std::vector<uint8_t> gsDataSet(std::initializer_list<int> addressAndData, int device) {
    std::vector<uint8_t> m = {0x41, static_cast<uint8_t>(device), 0x42, 0x12};
    int sum = 0;
    for (int b : addressAndData) {
        m.push_back(static_cast<uint8_t>(b));
        sum += b;
    }
    m.push_back(static_cast<uint8_t>((-sum) & 0x7F));
    m.push_back(0xF7);
    return m;
}

std::vector<uint8_t> SmfBuilder::build() const {
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd'};
    put32(out, headerLengthOverride.value_or(6));
    put16(out, static_cast<uint32_t>(format_));
    put16(out, trackCountOverride.value_or(static_cast<uint16_t>(tracks_.size())));
    put16(out, divisionRaw.value_or(static_cast<uint16_t>(division_)));
    for (uint32_t extra = 6; extra < headerLengthOverride.value_or(6) && extra < 64; ++extra)
        out.push_back(0);
    for (size_t i = 0; i < tracks_.size(); ++i) {
        for (const auto& [before, chunk] : extraChunks_)
            if (before == i) out.insert(out.end(), chunk.begin(), chunk.end());
        const SmfTrack& t = tracks_[i];
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        put32(out, t.lengthOverride.value_or(static_cast<uint32_t>(t.bytes().size())));
        out.insert(out.end(), t.bytes().begin(), t.bytes().end());
    }
    return out;
}

void SmfBuilder::chunkBefore(size_t track, const std::string& id,
                             const std::vector<uint8_t>& body) {
    std::vector<uint8_t> chunk(id.begin(), id.end());
    put32(chunk, static_cast<uint32_t>(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    extraChunks_.emplace_back(track, std::move(chunk));
}

std::vector<uint8_t> SmfBuilder::buildRmid(const std::vector<uint8_t>& chunksBefore) const {
    const std::vector<uint8_t> smf = build();
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    put32le(out, static_cast<uint32_t>(smf.size() + 12 + chunksBefore.size()));
    out.insert(out.end(), {'R', 'M', 'I', 'D'});
    out.insert(out.end(), chunksBefore.begin(), chunksBefore.end());
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32le(out, static_cast<uint32_t>(smf.size()));
    out.insert(out.end(), smf.begin(), smf.end());
    return out;
}

}  // namespace svt::test
