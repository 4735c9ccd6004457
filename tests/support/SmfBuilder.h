#pragma once
// Builds Standard MIDI Files byte by byte for tests: tracks of channel messages, meta
// events and sysex, running status on request, RMID wrappers, and deliberately broken
// files (wrong lengths, missing end of track, raw bytes anywhere).

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace svt::test {

class SmfTrack {
  public:
    // Leaves out repeated status bytes from now on.
    SmfTrack& runningStatus(bool on = true);

    SmfTrack& noteOn(uint32_t delta, int channel, int key, int velocity);
    SmfTrack& noteOff(uint32_t delta, int channel, int key, int velocity = 64);
    SmfTrack& controller(uint32_t delta, int channel, int number, int value);
    SmfTrack& program(uint32_t delta, int channel, int program);
    SmfTrack& channelPressure(uint32_t delta, int channel, int value);
    SmfTrack& keyPressure(uint32_t delta, int channel, int key, int value);
    SmfTrack& pitchBend(uint32_t delta, int channel, int value14);
    SmfTrack& tempo(uint32_t delta, uint32_t microsPerQuarter);
    SmfTrack& timeSignature(uint32_t delta, int numerator, int denominatorPower, int clocks = 24,
                            int n32 = 8);
    SmfTrack& keySignature(uint32_t delta, int sharps, bool minor);
    SmfTrack& text(uint32_t delta, int type, const std::string& text);
    SmfTrack& trackName(uint32_t delta, const std::string& name) { return text(delta, 3, name); }
    SmfTrack& meta(uint32_t delta, int type, const std::vector<uint8_t>& data);
    // `body` is everything after 0xF0, the closing 0xF7 included.
    SmfTrack& sysex(uint32_t delta, const std::vector<uint8_t>& body);
    SmfTrack& endOfTrack(uint32_t delta = 0);
    // Bytes exactly as given (a delta time is not added).
    SmfTrack& raw(const std::vector<uint8_t>& bytes);

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    // Written into the chunk header instead of the real length.
    std::optional<uint32_t> lengthOverride;

  private:
    SmfTrack& channelMessage(uint32_t delta, int status, std::initializer_list<int> data);
    std::vector<uint8_t> bytes_;
    bool running_ = false;
    int lastStatus_ = -1;
};

void writeVariableLength(std::vector<uint8_t>& out, uint32_t value);

// A Roland GS data set as SmfTrack::sysex takes it: 41 device 42 12, the address and data,
// the checksum that makes them sum to 0 (mod 128), F7.
std::vector<uint8_t> gsDataSet(std::initializer_list<int> addressAndData, int device = 0x10);

class SmfBuilder {
  public:
    explicit SmfBuilder(int format = 1, int division = 480)
        : format_(format), division_(division) {}
    SmfTrack& track();  // a new track, in order

    std::vector<uint8_t> build() const;
    // The same file inside a RIFF "RMID" wrapper, after `chunksBefore` (whole RIFF chunks).
    std::vector<uint8_t> buildRmid(const std::vector<uint8_t>& chunksBefore = {}) const;
    // A chunk of another kind ("XFIH" and the like) written just before track `track`.
    void chunkBefore(size_t track, const std::string& id, const std::vector<uint8_t>& body);

    // Header values written instead of the real ones.
    std::optional<uint16_t> trackCountOverride;
    std::optional<uint32_t> headerLengthOverride;
    std::optional<uint16_t> divisionRaw;

  private:
    int format_;
    int division_;
    std::vector<SmfTrack> tracks_;
    std::vector<std::pair<size_t, std::vector<uint8_t>>> extraChunks_;
};

}  // namespace svt::test
