#pragma once
// Builds small SoundFont 2 files in memory, so that a test shows exactly what it feeds, and
// their compressed form (SoundFont 3: every sample an Ogg Vorbis stream, see compress()).
//
//   Sf2Builder sf;
//   int sine = sf.addSample(Sf2Builder::sineSample("sine1k", 1000.0, 44100, 69));   // looped sine
//   int inst = sf.addInstrument("Sine");
//   sf.instrumentZone(inst).keyRange(0, 127).gen(GEN_ATTACK_VOL_ENV, Sf2Builder::timecents(0.1))
//       .sample(sine);
//   int preset = sf.addPreset("Sine", 0, 0);          // bank 0, program 0
//   sf.presetZone(preset).instrument(inst);
//   std::vector<uint8_t> bytes = sf.build();
//
// Zones are added in call order; a zone without an instrument (preset) or sample
// (instrument) generator that comes first is the global zone. References returned by
// the zone functions stay valid while the builder lives. Generators are written in the
// order given, except that build() moves keyRange/velRange first and the instrument or
// sample generator last, as the file format asks.
//
// Broken files: the *Raw and omit*/set* switches below, or build() followed by the
// byte helpers (findChunk, patchU16, patchU32) to damage a finished file.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "instruments/Instrument.h"
#include "instruments/SoundFontFile.h"

namespace svt::test {

struct Sf2Modulator {
    uint16_t source = 0;
    uint16_t destination = 0;
    int16_t amount = 0;
    uint16_t amountSource = 0;
    uint16_t transform = 0;
};

struct Sf2Zone {
    std::vector<Generator> generators;
    std::vector<Sf2Modulator> modulators;

    Sf2Zone& gen(uint16_t oper, int amount);  // amount as int16 (or u16 bit pattern)
    Sf2Zone& keyRange(int low, int high) { return gen(GEN_KEY_RANGE, rangeAmount(low, high)); }
    Sf2Zone& velRange(int low, int high) { return gen(GEN_VEL_RANGE, rangeAmount(low, high)); }
    Sf2Zone& instrument(int index) { return gen(GEN_INSTRUMENT, index); }
    Sf2Zone& sample(int index) { return gen(GEN_SAMPLE_ID, index); }
    // sampleModes: 0 no loop, 1 loop, 3 loop while held then play to the end.
    Sf2Zone& loopMode(int mode) { return gen(GEN_SAMPLE_MODES, mode); }
    Sf2Zone& rootKey(int key) { return gen(GEN_OVERRIDING_ROOT_KEY, key); }
    Sf2Zone& modulator(const Sf2Modulator& m) {
        modulators.push_back(m);
        return *this;
    }
};

struct Sf2Sample {
    std::string name;
    std::vector<int16_t> pcm;
    uint32_t sampleRate = 44100;
    uint8_t originalKey = 60;
    int8_t pitchCorrection = 0;
    // Loop points relative to the sample's first point; end is one past the last
    // point of the loop. No loop: leave both 0.
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    uint16_t sampleLink = 0;
    uint16_t sampleType = kSampleMono;
    // When set, written into the header as given (absolute, in points) instead of the
    // values the builder computes from the position of `pcm`: for broken headers.
    std::optional<uint32_t> rawStart, rawEnd, rawLoopStart, rawLoopEnd;
    // Compressed fonts: when set, these bytes are the sample's stream instead of the Vorbis
    // encoding of `pcm` (for damaged streams and other formats); `pcm` still gives the
    // length the header's loop points are checked against.
    std::optional<std::vector<uint8_t>> stream;
};

class Sf2Builder {
  public:
    Sf2Builder();

    // Appends a sample (46 zero points follow each in the file); returns its index.
    int addSample(Sf2Sample sample);
    // A stereo pair: adds left then right, linked to each other; returns the left index.
    int addStereoPair(Sf2Sample left, Sf2Sample right);

    // A sine of `freqHz`, `frames` long (default: one second), amplitude `level` of
    // full scale, looped over the largest whole number of periods that fits (loop start
    // at the first zero crossing, so that the loop is seamless) unless loop is false.
    static Sf2Sample sineSample(std::string name, double freqHz, uint32_t rate, uint8_t rootKey,
                                int frames = -1, bool loop = true, double level = 0.5);
    // Falling sawtooth, looped over whole periods like sineSample.
    static Sf2Sample sawSample(std::string name, double freqHz, uint32_t rate, uint8_t rootKey,
                               int frames = -1, bool loop = true, double level = 0.5);
    // White noise from a fixed seed (same bytes each run), not looped.
    static Sf2Sample noiseSample(std::string name, uint32_t rate, int frames, uint32_t seed = 1,
                                 double level = 0.5);
    // Point i holds the value i (modulo 32768): lets a test see exactly which points
    // a region's data starts and ends with. Not looped.
    static Sf2Sample rampSample(std::string name, int frames, uint32_t rate = 44100,
                                uint8_t rootKey = 60);

    int addInstrument(std::string name);
    Sf2Zone& instrumentZone(int instrument);  // appends a zone
    int addPreset(std::string name, int bank, int program);
    Sf2Zone& presetZone(int preset);  // appends a zone

    void setName(std::string name) { name_ = std::move(name); }
    // Version 1 writes 16-byte sample headers and an snam chunk in sdta.
    void setVersion(int major, int minor) {
        versionMajor_ = major;
        versionMinor_ = minor;
    }
    void omitVersion() { writeVersion_ = false; }
    void omitPdta() { writePdta_ = false; }
    // Leaves out the "EOP"/"EOI"/"EOS" records and the final bag and generator records.
    void omitTerminalRecords() { writeTerminals_ = false; }
    void withSm24() { writeSm24_ = true; }
    // Writes a compressed font (version 3.01 unless set otherwise afterwards): each sample is
    // encoded as a mono Ogg Vorbis stream of the given quality (-0.1 .. 1.0), its header's
    // start and end are the stream's byte offsets in the sample data, its loop points count
    // from the sample's first point, and its type carries the compressed bit.
    void compress(float quality = 0.6f) {
        compressQuality_ = quality;
        versionMajor_ = 3;
        versionMinor_ = 1;
    }
    // The mono Ogg Vorbis stream compress() writes for `pcm` (a fixed stream serial number,
    // so the same input gives the same bytes).
    static std::vector<uint8_t> encodeVorbis(const std::vector<int16_t>& pcm, uint32_t rateHz,
                                             float quality = 0.6f);
    // Extra sub-chunk at the end of a list ("INFO", "sdta" or "pdta"), written as given.
    void addRawChunk(const std::string& list, const std::string& id, std::vector<uint8_t> body);

    std::vector<uint8_t> build() const;

    // Timecents for a duration in seconds (for the envelope and LFO delay generators).
    static int timecents(double seconds);
    // Absolute file position where the header (id + size) of the first chunk `id`
    // starts, or nullopt. A list type ("pdta") finds its "LIST" header.
    static std::optional<size_t> findChunk(const std::vector<uint8_t>& file, const char* id);
    static void patchU16(std::vector<uint8_t>& file, size_t pos, uint16_t value);
    static void patchU32(std::vector<uint8_t>& file, size_t pos, uint32_t value);

  private:
    struct Owner {
        std::string name;
        int bank = 0;
        int program = 0;
        std::deque<Sf2Zone> zones;
    };

    std::string name_ = "Sf2Builder test font";
    int versionMajor_ = 2;
    int versionMinor_ = 1;
    bool writeVersion_ = true;
    bool writePdta_ = true;
    bool writeTerminals_ = true;
    bool writeSm24_ = false;
    std::optional<float> compressQuality_;
    std::deque<Sf2Sample> samples_;
    std::deque<Owner> instruments_;
    std::deque<Owner> presets_;
    struct RawChunk {
        std::string list, id;
        std::vector<uint8_t> body;
    };
    std::vector<RawChunk> rawChunks_;
};

}  // namespace svt::test
