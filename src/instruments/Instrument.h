#pragma once
// The playable records the player works on: an Instrument is a list of SampleRegions,
// each a stretch of 16-bit sample data with everything the voice needs already in the
// engine's units. Regions are built from SoundFont presets (SoundFontRegistry) and held
// in the instrument banks (InstrumentBanks.h).
//
// Units used below:
//   pos      sample index with 12 fraction bits (4096 = one sample point of `pcm`)
//   mHz      thousandths of a hertz (440 Hz = 440000)
//   level    envelope level, 16384 units per step of a 16-bit level: full scale is
//            65535 * 16384 (kEnvelopeFullLevel)
//   rate     envelope level change per control period (output rate / 1000 frames,
//            settings.controlRatio); 0x40000000 (kEnvelopeInstantRate) means "jump at once"
//   cents    1/100 semitone; 1200 = one octave
//   frames   output samples at the engine's output rate

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "instruments/SoundFontFile.h"

namespace svt {

struct DecodedSample;

inline constexpr int kEnvelopeStages = 6;  // attack, hold, decay, release 1..3
inline constexpr int32_t kEnvelopeFullLevel = 65535 * 16384;
inline constexpr int32_t kEnvelopeInstantRate = 0x40000000;
inline constexpr int32_t kEnvelopeMaxRate = 0x3FFFFFFF;

// modeFlags bits (the resampler in src/player reads the same bits under its own names).
inline constexpr uint8_t kRegion16Bit = 0x01;
inline constexpr uint8_t kRegionLooping = 0x04;
inline constexpr uint8_t kRegionBidirectional = 0x08;  // never set for SoundFont regions
inline constexpr uint8_t kRegionSustain = 0x20;
inline constexpr uint8_t kRegionEnvelope = 0x40;

// sfSampleType values (the SoundFont's sample link types).
inline constexpr uint16_t kSampleMono = 1;
inline constexpr uint16_t kSampleRight = 2;
inline constexpr uint16_t kSampleLeft = 4;
inline constexpr uint16_t kSampleLinked = 8;
inline constexpr uint16_t kSampleRomBit = 0x8000;

inline constexpr uint8_t kRegionKindSoundFont = 1;
inline constexpr int32_t kInstrumentKindSoundFont = 1;

// Envelope stage indexes into the six-entry arrays.
enum EnvelopeStage : int {
    ENV_ATTACK = 0,
    ENV_HOLD = 1,
    ENV_DECAY = 2,
    ENV_RELEASE1 = 3,
    ENV_RELEASE2 = 4,
    ENV_RELEASE3 = 5
};

struct SampleRegion {
    // Playable data: indices 0 .. (endPos >> 12) - 1 of `pcm` are played; a looping
    // region (modeFlags & kRegionLooping) jumps from loopEndPos back to loopStartPos
    // (fraction kept). A non-looping region has loopStartPos = endPos - 4096 and
    // loopEndPos = endPos. 0 <= loopStartPos <= loopEndPos <= endPos always holds.
    uint32_t loopStartPos = 0;  // pos
    uint32_t loopEndPos = 0;    // pos
    uint32_t endPos = 0;        // pos
    int32_t sampleRateHz = 0;   // rate of `pcm`, 400..50000 (the output rate after pre-resampling)
    // Keys served, as note-frequency-table values: a note plays this region when its
    // equal-temperament frequency lies in lowKeyFreq..highKeyFreq.
    int32_t lowKeyFreq = 0;   // mHz
    int32_t highKeyFreq = 0;  // mHz
    // The data plays at its recorded pitch when stepped at sampleRateHz for this
    // frequency: increment = freq * sampleRateHz / (rootFreq * outputRate) * 4096.
    // Tuning (coarse, fine, sample pitch correction, the part of modEnvToPitch that the
    // sustain level makes permanent) is already folded in.
    int32_t rootFreq = 0;  // mHz
    uint8_t pan = 63;      // 0 left .. 127 right
    // Key the voice sounds whatever key was struck (drum regions: their own key unless
    // the font fixes another); 0 = none.
    uint8_t fixedNote = 0;

    // Volume envelope: stage i moves the level towards volEnvTarget[i] by volEnvRate[i]
    // per control period. Attack target is full scale, hold target full scale - 16384,
    // decay target the sustain level, release stages 0. Rates are 1..kEnvelopeMaxRate or
    // kEnvelopeInstantRate.
    std::array<int32_t, kEnvelopeStages> volEnvRate{};
    std::array<int32_t, kEnvelopeStages> volEnvTarget{};  // level
    std::array<int32_t, kEnvelopeStages> modEnvRate{};
    std::array<int32_t, kEnvelopeStages> modEnvTarget{};  // level

    double gain = 1.0;  // linear amplitude factor: initial attenuation x font amplification

    // Sample data: mono signed 16-bit, followed by three zero samples so that an
    // interpolator may read past the end. Owned by the Instrument that holds the region.
    const int16_t* pcm = nullptr;

    int32_t ampLfoSweepStep = 0;    // tremolo sweep increment; 0 for SoundFont regions
    int32_t ampLfoPhaseStep = 0;    // tremolo phase increment per control period: ((outputRate /
                                    // 1000) * freqMilliHz >> 5) / controlRatio
    int32_t pitchLfoSweepStep = 0;  // vibrato sweep increment; 0 for SoundFont regions
    int32_t pitchLfoControlRatio =
        0;  // frames between vibrato phase steps (64 steps per cycle); 0 = no vibrato
    int16_t ampLfoDepth = 0;  // tremolo depth, signed, 256 = full
    int16_t pitchLfoDepth =
        0;  // vibrato depth -255..255, in 400/256-cent units (cents = depth * 400 / 256)

    uint8_t modeFlags = 0;  // kMode... bits; SoundFont regions: 0x41, or 0x65 when looped
    // 1 when this region's `pcm` is a buffer of its own, 0 when it shares the data of an
    // earlier region of the same instrument.
    uint8_t ownsPcm = 0;
    uint8_t lowVelocity = 0;
    uint8_t highVelocity = 127;

    int32_t cutoffHz = 0;        // low-pass cutoff; 0 = no filter (19..19912 otherwise)
    int16_t resonanceCb = 0;     // filter resonance, centibels
    int16_t ampLfoToPitch = 0;   // cents at full tremolo-LFO swing
    int16_t ampLfoToCutoff = 0;  // cents
    int16_t modEnvToPitch = 0;   // cents at full modulation-envelope level
    int16_t modEnvToCutoff = 0;  // cents

    // Per-stage scaling of the envelope rates by key and velocity (SoundFont: hold and
    // decay key scaling in timecents per key from key 60; everything else 0).
    std::array<int16_t, kEnvelopeStages> volEnvKeyScale{};
    std::array<int16_t, kEnvelopeStages> volEnvVelScale{};
    std::array<int16_t, kEnvelopeStages> modEnvKeyScale{};
    std::array<int16_t, kEnvelopeStages> modEnvVelScale{};

    int32_t pitchLfoDelay = 0;  // frames before vibrato starts
    int32_t ampLfoDelay = 0;    // frames before tremolo starts
    int32_t volEnvDelay = 0;    // frames before the volume envelope starts
    int32_t modEnvDelay = 0;    // frames before the modulation envelope starts

    int16_t scaleCenterKey = 60;  // key around which scaleTuning applies (the root key, 0..127)
    int16_t scaleTuning = 1024;   // pitch change per key, 1024 = 100 cents

    uint8_t regionKind = kRegionKindSoundFont;
    int16_t attenuationCb = 0;  // the initial attenuation `gain` was made from, 0..960
    // The region's SoundFont modulators, shaping each voice at its note-on; they live in the
    // Instrument's `modulators`.
    uint16_t modulatorCount = 0;
    const Modulator* modulators = nullptr;
    int32_t sfSampleIndex = 0;    // SoundFont sample header number
    int32_t sfLinkedSample = -1;  // the stereo partner's sample header number; -1 for mono
    uint16_t sfSampleType = kSampleMono;
};

struct Instrument {
    int32_t kind = kInstrumentKindSoundFont;
    // In ascending order of their data's position in the SoundFont file.
    std::vector<SampleRegion> regions;
    std::string displayName;  // the preset's name
    // The data buffers the regions point into; a region with ownsPcm = 1 made one of
    // them, the others share. Freed with the instrument.
    std::vector<std::unique_ptr<int16_t[]>> pcmBuffers;
    // Decoded compressed samples the regions read in place; shared with the font's cache of
    // decoded samples and with other instruments.
    std::vector<std::shared_ptr<const DecodedSample>> decodedSamples;
    // Every region's modulators, one run after the other.
    std::vector<Modulator> modulators;

    int32_t regionCount() const { return static_cast<int32_t>(regions.size()); }
    // Bytes of sample data held (for memory accounting and display).
    size_t pcmBytes = 0;
};

}  // namespace svt
