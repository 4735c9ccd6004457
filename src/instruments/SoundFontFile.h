#pragma once
// The SoundFont 2 file as read: name, version, where the sample data lies, and the
// preset, instrument and sample header tables with every preset and instrument already
// cut into zones of raw generators. Short-lived: the preset index is built from it
// and it is dropped. Sample data is never read here.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Result.h"

namespace svt {

class InputStream;

// SoundFont 2 generator numbers.
enum SfGenerator : uint16_t {
    GEN_START_ADDRS_OFFSET = 0,
    GEN_END_ADDRS_OFFSET = 1,
    GEN_STARTLOOP_ADDRS_OFFSET = 2,
    GEN_ENDLOOP_ADDRS_OFFSET = 3,
    GEN_START_ADDRS_COARSE_OFFSET = 4,
    GEN_MOD_LFO_TO_PITCH = 5,
    GEN_VIB_LFO_TO_PITCH = 6,
    GEN_MOD_ENV_TO_PITCH = 7,
    GEN_INITIAL_FILTER_FC = 8,
    GEN_INITIAL_FILTER_Q = 9,
    GEN_MOD_LFO_TO_FILTER_FC = 10,
    GEN_MOD_ENV_TO_FILTER_FC = 11,
    GEN_END_ADDRS_COARSE_OFFSET = 12,
    GEN_MOD_LFO_TO_VOLUME = 13,
    GEN_UNUSED1 = 14,
    GEN_CHORUS_SEND = 15,
    GEN_REVERB_SEND = 16,
    GEN_PAN = 17,
    GEN_UNUSED2 = 18,
    GEN_UNUSED3 = 19,
    GEN_UNUSED4 = 20,
    GEN_DELAY_MOD_LFO = 21,
    GEN_FREQ_MOD_LFO = 22,
    GEN_DELAY_VIB_LFO = 23,
    GEN_FREQ_VIB_LFO = 24,
    GEN_DELAY_MOD_ENV = 25,
    GEN_ATTACK_MOD_ENV = 26,
    GEN_HOLD_MOD_ENV = 27,
    GEN_DECAY_MOD_ENV = 28,
    GEN_SUSTAIN_MOD_ENV = 29,
    GEN_RELEASE_MOD_ENV = 30,
    GEN_KEYNUM_TO_MOD_ENV_HOLD = 31,
    GEN_KEYNUM_TO_MOD_ENV_DECAY = 32,
    GEN_DELAY_VOL_ENV = 33,
    GEN_ATTACK_VOL_ENV = 34,
    GEN_HOLD_VOL_ENV = 35,
    GEN_DECAY_VOL_ENV = 36,
    GEN_SUSTAIN_VOL_ENV = 37,
    GEN_RELEASE_VOL_ENV = 38,
    GEN_KEYNUM_TO_VOL_ENV_HOLD = 39,
    GEN_KEYNUM_TO_VOL_ENV_DECAY = 40,
    GEN_INSTRUMENT = 41,
    GEN_RESERVED1 = 42,
    GEN_KEY_RANGE = 43,
    GEN_VEL_RANGE = 44,
    GEN_STARTLOOP_ADDRS_COARSE_OFFSET = 45,
    GEN_KEYNUM = 46,
    GEN_VELOCITY = 47,
    GEN_INITIAL_ATTENUATION = 48,
    GEN_RESERVED2 = 49,
    GEN_ENDLOOP_ADDRS_COARSE_OFFSET = 50,
    GEN_COARSE_TUNE = 51,
    GEN_FINE_TUNE = 52,
    GEN_SAMPLE_ID = 53,
    GEN_SAMPLE_MODES = 54,
    GEN_RESERVED3 = 55,
    GEN_SCALE_TUNING = 56,
    GEN_EXCLUSIVE_CLASS = 57,
    GEN_OVERRIDING_ROOT_KEY = 58,
};
inline constexpr int kGeneratorCount = 59;

// A range generator's amount: low value in the low byte, high value in the high byte.
inline constexpr uint16_t rangeAmount(int low, int high) {
    return static_cast<uint16_t>((low & 0xFF) | ((high & 0xFF) << 8));
}

struct Generator {
    uint16_t oper = 0;
    uint16_t amount = 0;  // as stored; signed generators read it as int16_t
};

// A modulator record (pmod/imod) as stored: sources and transform as the file's bit fields.
struct Modulator {
    uint16_t source = 0;
    uint16_t destination = 0;
    int16_t amount = 0;
    uint16_t amountSource = 0;
    uint16_t transform = 0;
};

struct Zone {
    std::vector<Generator> generators;
    std::vector<Modulator> modulators;
    int32_t generatorCount() const { return static_cast<int32_t>(generators.size()); }
};

struct PresetHeader {
    std::string name;  // at most 19 characters, trailing blanks removed
    uint16_t program = 0;
    uint16_t bank = 0;
    uint16_t firstZone = 0;
    std::vector<Zone> zones;
};

struct InstrumentHeader {
    std::string name;
    uint16_t firstZone = 0;
    std::vector<Zone> zones;
};

struct SampleHeader {
    std::string name;
    uint32_t start = 0;  // sample points from the start of the sample data
    uint32_t end = 0;    // one past the last point
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    uint32_t sampleRate = 0;
    uint8_t originalKey = 60;
    int8_t pitchCorrection = 0;  // cents
    uint16_t sampleLink = 0;
    uint16_t sampleType = 1;
};

// Something odd the reader found and how it dealt with it; the file still loads.
struct SoundFontProblem {
    std::string text;
};

struct SoundFontFile {
    std::string name;  // INAM
    bool hasName = false;
    bool hasVersion = false;  // without ifil the file is taken as version 2.01
    uint16_t versionMajor = 2;
    uint16_t versionMinor = 1;
    int64_t sampleDataPos = 0;   // absolute byte position of the smpl data
    int64_t sampleDataSize = 0;  // bytes of smpl data actually in the file
    int64_t sample24Pos = 0;     // sm24 (24-bit extension); kept for display only
    int64_t sample24Size = 0;
    bool hasPdta = false;
    // Including the terminal records (which never get zones).
    std::vector<PresetHeader> presets;
    std::vector<InstrumentHeader> instruments;
    std::vector<SampleHeader> sampleHeaders;
    std::vector<SoundFontProblem> problems;

    int32_t presetCount() const { return static_cast<int32_t>(presets.size()); }
    int32_t instrumentCount() const { return static_cast<int32_t>(instruments.size()); }
    int32_t sampleCount() const { return static_cast<int32_t>(sampleHeaders.size()); }
    // Sample points of the smpl data.
    int64_t samplePoints() const { return sampleDataSize / 2; }
};

// Reads a SoundFont from a stream positioned at its start. Fails only when the data is
// not a SoundFont at all (not RIFF, or a RIFF form other than "sfbk"); a file cut short
// or with broken tables loads with what could be read and the problems listed.
// Reads nothing but the tables: the sample data is only located.
Result<SoundFontFile> readSoundFont(InputStream& in);

// Version-1 files count loop points differently; moves them to the version-2 meaning.
void correctSampleHeaders(SoundFontFile& file);

}  // namespace svt
