#include "instruments/RegionUnits.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "instruments/Tables.h"

namespace svt {
namespace {

// Positions carry 12 fraction bits in 32 bits: data beyond this many points cannot be
// addressed and is cut off.
constexpr int64_t kMaxRegionPoints = (int64_t{1} << 20) - 2;

// Envelope rate: level units per control period to cover `distance` in 2^(tc/1200) s.
int32_t envRate(const InstrumentSettings& s, int tc, int distance) {
    if (tc == -12000) return kEnvelopeInstantRate;
    double d = std::max(distance, 1);
    double r = (d * 16384.0 * s.controlRatio() / s.outputRate()) / std::pow(2.0, tc / 1200.0);
    if (s.fastDecay) r *= 2;
    return static_cast<int32_t>(std::clamp(r, 1.0, 1073741823.0));
}

double envMs(int tc) {
    return tc == -12000 ? 0.0 : std::pow(2.0, tc / 1200.0) * 1000.0;
}

int32_t delayFrames(const InstrumentSettings& s, int tc) {
    return clamp32(std::trunc(envMs(tc) * s.outputRate() * 0.001));
}

int32_t sustainLevel(int v) {
    if (v <= 0) return 65533;
    if (v >= 1000) return 0;
    return (1000 - v) * 65533 / 1000;
}

int32_t fixedReleaseRate(const InstrumentSettings& s) {
    int m = s.fixedReleaseMs;
    if (m == 0) return kEnvelopeInstantRate;
    double r = (1073725440.0 / s.outputRate() * s.controlRatio() * 1000.0) / m;
    if (s.fastDecay) r *= 2;
    return static_cast<int32_t>(std::clamp(r, 1.0, 1073741823.0));
}

void setEnvelope(const InstrumentSettings& s, const GeneratorTable& t, int attack, int hold,
                 int decay, int sustain, int release, std::array<int32_t, 6>& rate,
                 std::array<int32_t, 6>& target) {
    int32_t sus = sustainLevel(t.v(sustain));
    rate[0] = envRate(s, t.v(attack), 65535);
    target[0] = 65535 * 16384;
    rate[1] = envRate(s, t.v(hold), 1);
    target[1] = 65534 * 16384;
    rate[2] = envRate(s, t.v(decay), 65533 - sus);
    target[2] = sus * 16384;
    int32_t rel = s.fixedReleaseMs != 0 ? fixedReleaseRate(s) : envRate(s, t.v(release), 65535);
    for (int i = 3; i < 6; ++i) {
        rate[static_cast<size_t>(i)] = rel;
        target[static_cast<size_t>(i)] = 0;
    }
}

int32_t lfoFreqMilliHz(int value) {
    return clamp32(std::trunc(std::pow(2.0, value / 1200.0) * 8176.0));
}

}  // namespace

void fillRegion(const GeneratorTable& t, SampleHeader S, int key, const RegionSource& source,
                PendingRegion& pr) {
    const InstrumentSettings& s = source.settings;
    SampleRegion& r = pr.region;
    const SynthTables& tab = synthTables();
    // A compressed sample counts its points from 0 in its decoded sound, which is as long as
    // its stream says; its loop points already count from there.
    const auto sampleIndex = static_cast<int32_t>(t.u(GEN_SAMPLE_ID));
    const SampleData& data = source.samples[static_cast<size_t>(sampleIndex)];
    int64_t dataPoints = source.file.sampleDataSize / 2;
    if (data.compressed) {
        S.start = 0;
        S.end = static_cast<uint32_t>(std::min<int64_t>(data.frames, UINT32_MAX));
        S.sampleRate = data.rateHz;
        // The compressed bit says how the data is stored, not which side of a pair it is.
        S.sampleType = static_cast<uint16_t>(S.sampleType & ~kSampleCompressedBit);
        dataPoints = data.frames;
    }
    S.sampleRate = std::clamp<uint32_t>(S.sampleRate, 400, 50000);

    // 1. Positions in points, relative to the region's start.
    int64_t start =
        int64_t{t.v(GEN_START_ADDRS_COARSE_OFFSET)} * 32768 + S.start + t.v(GEN_START_ADDRS_OFFSET);
    int64_t length = int64_t{t.v(GEN_END_ADDRS_COARSE_OFFSET)} * 32768 + t.v(GEN_END_ADDRS_OFFSET) +
                     S.end - start;
    start = std::abs(start);
    length = std::abs(length);
    // Only data inside the sample chunk is ever read, and positions must fit 32 bits.
    start = std::min(start, dataPoints);
    length = std::min({length, dataPoints - start, kMaxRegionPoints});
    int64_t loopStart = int64_t{t.v(GEN_STARTLOOP_ADDRS_COARSE_OFFSET)} * 32768 +
                        t.v(GEN_STARTLOOP_ADDRS_OFFSET) + S.loopStart - start;
    int64_t loopEnd = int64_t{t.v(GEN_ENDLOOP_ADDRS_COARSE_OFFSET)} * 32768 +
                      t.v(GEN_ENDLOOP_ADDRS_OFFSET) + S.loopEnd - start;
    int64_t endPos = length + 1;
    if (loopEnd < 0 || loopEnd > length + 1) loopEnd = length + 1;
    if (loopStart < 0 || loopStart > length) loopStart = length;

    // 2. Rate, mode, gain.
    r.sampleRateHz = static_cast<int32_t>(S.sampleRate);
    r.modeFlags = kRegion16Bit;
    double att = 1.0;
    if (t.has(GEN_INITIAL_ATTENUATION) && t.v(GEN_INITIAL_ATTENUATION) != 0) {
        int a = std::clamp<int>(t.v(GEN_INITIAL_ATTENUATION), 0, 960);
        att = tab.attenuationGain[static_cast<size_t>(a)];
        r.attenuationCb = static_cast<int16_t>(a);
    }
    r.gain = att * source.amplification;

    // 3. Envelopes and loop.
    setEnvelope(s, t, GEN_ATTACK_VOL_ENV, GEN_HOLD_VOL_ENV, GEN_DECAY_VOL_ENV, GEN_SUSTAIN_VOL_ENV,
                GEN_RELEASE_VOL_ENV, r.volEnvRate, r.volEnvTarget);
    r.volEnvDelay = delayFrames(s, t.v(GEN_DELAY_VOL_ENV));
    setEnvelope(s, t, GEN_ATTACK_MOD_ENV, GEN_HOLD_MOD_ENV, GEN_DECAY_MOD_ENV, GEN_SUSTAIN_MOD_ENV,
                GEN_RELEASE_MOD_ENV, r.modEnvRate, r.modEnvTarget);
    r.modEnvDelay = delayFrames(s, t.v(GEN_DELAY_MOD_ENV));
    r.modeFlags |= kRegionEnvelope;
    int mode = t.v(GEN_SAMPLE_MODES);
    bool loops = mode == 1 || mode == 3;
    // A loop that is empty or runs backwards would never let the voice advance.
    if (loops && loopEnd <= loopStart) loops = false;
    if (loops) {
        r.modeFlags |= kRegionLooping | kRegionSustain;
        if (mode == 3) endPos = loopEnd;
    } else {
        loopStart = length;
        loopEnd = length + 1;
    }

    // 4. Fixed point and file position.
    r.endPos = static_cast<uint32_t>(endPos << 12);
    r.loopStartPos = static_cast<uint32_t>(loopStart << 12);
    r.loopEndPos = static_cast<uint32_t>(loopEnd << 12);
    pr.filePos = data.compressed ? data.streamPos : source.file.sampleDataPos + 2 * start;
    pr.firstPoint = start;
    pr.compressedSample = data.compressed ? sampleIndex : -1;
    pr.byteLength = 2 * length;
    r.regionKind = kRegionKindSoundFont;

    // 5. Keys and velocities.
    pr.lowKey = t.has(GEN_KEY_RANGE) ? static_cast<uint8_t>(t.u(GEN_KEY_RANGE) & 0xFF) : 0;
    pr.highKey = t.has(GEN_KEY_RANGE) ? static_cast<uint8_t>(t.u(GEN_KEY_RANGE) >> 8) : 127;
    r.lowKeyFreq = tab.noteFreqMilliHz[pr.lowKey];
    r.highKeyFreq = tab.noteFreqMilliHz[pr.highKey];
    r.lowVelocity = t.has(GEN_VEL_RANGE) ? static_cast<uint8_t>(t.u(GEN_VEL_RANGE) & 0xFF) : 0;
    r.highVelocity = t.has(GEN_VEL_RANGE) ? static_cast<uint8_t>(t.u(GEN_VEL_RANGE) >> 8) : 127;

    // 6. Sample identity.
    r.sfSampleType = S.sampleType;
    r.sfSampleIndex = t.u(GEN_SAMPLE_ID);
    r.sfLinkedSample = S.sampleType == kSampleMono ? -1 : S.sampleLink;

    // 7. Pan, in 0.1 % steps from -500 (left) to 500 (right).
    int p = t.v(GEN_PAN);
    if (S.sampleType == kSampleMono || p != 0) {
        r.pan = p < -500 ? 0 : p > 500 ? 127 : static_cast<uint8_t>((p + 500) * 127 / 1000);
    } else {
        r.pan = S.sampleType == kSampleRight ? 127 : 0;
    }

    // 8. Envelope key scaling.
    if (t.has(GEN_KEYNUM_TO_VOL_ENV_HOLD)) r.volEnvKeyScale[1] = t.v(GEN_KEYNUM_TO_VOL_ENV_HOLD);
    if (t.has(GEN_KEYNUM_TO_VOL_ENV_DECAY)) r.volEnvKeyScale[2] = t.v(GEN_KEYNUM_TO_VOL_ENV_DECAY);
    if (t.has(GEN_KEYNUM_TO_MOD_ENV_HOLD)) r.modEnvKeyScale[1] = t.v(GEN_KEYNUM_TO_MOD_ENV_HOLD);
    if (t.has(GEN_KEYNUM_TO_MOD_ENV_DECAY)) r.modEnvKeyScale[2] = t.v(GEN_KEYNUM_TO_MOD_ENV_DECAY);

    // 9. Filter.
    bool hasFc = t.has(GEN_INITIAL_FILTER_FC) && t.v(GEN_INITIAL_FILTER_FC) >= 0;
    int fc = hasFc ? t.v(GEN_INITIAL_FILTER_FC) : 0;
    r.cutoffHz = 0;
    if (hasFc && fc >= 1500 && fc <= 13500) {
        r.cutoffHz = static_cast<int32_t>(std::trunc(std::pow(2.0, fc / 1200.0) * 8.176));
        if (!s.modulationEnabled && t.has(GEN_MOD_ENV_TO_FILTER_FC) &&
            t.v(GEN_MOD_ENV_TO_FILTER_FC) > 0) {
            r.cutoffHz = static_cast<int32_t>(std::min(
                20000.0,
                std::trunc(r.cutoffHz * std::pow(2.0, t.v(GEN_MOD_ENV_TO_FILTER_FC) / 1200.0))));
        }
    }
    r.resonanceCb = t.has(GEN_INITIAL_FILTER_Q) ? t.v(GEN_INITIAL_FILTER_Q) : 0;

    // 10. Scale tuning.
    r.scaleTuning = clamp16(std::trunc(t.v(GEN_SCALE_TUNING) * 1024.0 / 100.0 + 0.5));

    // 11. Root key and tuning.
    int64_t rootKey = S.originalKey;
    int64_t tune = S.pitchCorrection;
    if (source.sf1 && t.has(kSf1RootKeyGenerator)) {
        int v = t.v(kSf1RootKeyGenerator);
        rootKey = v / 100;
        tune = (-v) % 100;
        if (tune <= -50) {
            rootKey += 1;
            tune += 100;
        }
    }
    if (t.has(GEN_OVERRIDING_ROOT_KEY)) {
        rootKey = t.v(GEN_OVERRIDING_ROOT_KEY);
    } else if (source.bank == kPercussionBank && r.scaleTuning != 0) {
        tune = static_cast<int64_t>(
            std::trunc(tune + (key - S.originalKey) * 100.0 * r.scaleTuning / 1024.0));
    }
    tune += int64_t{t.v(GEN_COARSE_TUNE)} * 100 + t.v(GEN_FINE_TUNE);
    if (rootKey >= pr.highKey + 60) rootKey -= 60;

    // 12. Modulation depths.
    r.ampLfoToPitch = t.has(GEN_MOD_LFO_TO_PITCH) ? t.v(GEN_MOD_LFO_TO_PITCH) : 0;
    r.ampLfoToCutoff = t.has(GEN_MOD_LFO_TO_FILTER_FC) ? t.v(GEN_MOD_LFO_TO_FILTER_FC) : 0;
    r.modEnvToCutoff = t.has(GEN_MOD_ENV_TO_FILTER_FC) ? t.v(GEN_MOD_ENV_TO_FILTER_FC) : 0;
    int e = t.has(GEN_MOD_ENV_TO_PITCH) ? t.v(GEN_MOD_ENV_TO_PITCH) : 0;
    auto x =
        static_cast<int64_t>(std::trunc((1000.0 - t.v(GEN_SUSTAIN_MOD_ENV)) * e / 1000.0 + 0.5));
    tune += x;
    r.modEnvToPitch = clamp16(static_cast<double>(e - x));

    // 13. Root frequency: whole semitones into the key, the rest in 1/256 semitone.
    tune = std::clamp<int64_t>(tune, -1000000, 1000000);
    auto tf = static_cast<int64_t>(std::trunc(0.5 - tune * 256.0 / 100.0));
    if (tf < 0) {
        int64_t k = ((-tf - 1) >> 8) + 1;
        rootKey -= k;
        tf += 256 * k;
    } else if (tf > 255) {
        int64_t k = ((tf - 256) >> 8) + 1;
        rootKey += k;
        tf -= 256 * k;
    }
    auto coarse = [&tab](int64_t n) {
        return n < 128 ? tab.coarseBend[static_cast<size_t>(n)]
                       : std::pow(2.0, static_cast<double>(n) / 12.0);
    };
    double fine = tab.fineBend[static_cast<size_t>(tf)];
    double rootFreq;
    if (rootKey < 0) {
        rootFreq = std::trunc(tab.noteFreqMilliHz[0] * fine / coarse(-rootKey) + 0.5);
        r.scaleCenterKey = 0;
    } else if (rootKey > 127) {
        rootFreq = std::trunc(tab.noteFreqMilliHz[127] * fine * coarse(rootKey - 127) + 0.5);
        r.scaleCenterKey = 127;
    } else {
        rootFreq = std::trunc(tab.noteFreqMilliHz[static_cast<size_t>(rootKey)] * fine + 0.5);
        r.scaleCenterKey = static_cast<int16_t>(rootKey);
    }
    // A root frequency of 0 would divide the voice's step by zero.
    r.rootFreq = std::max<int32_t>(1, clamp32(rootFreq));
    pr.rootKey = clamp16(static_cast<double>(rootKey));
    pr.tuneCents = clamp16(static_cast<double>(tune));

    // 14. Tremolo. Without a frequency generator the LFO stands still: the depth alone
    // moves nothing.
    if (t.has(GEN_MOD_LFO_TO_VOLUME)) {
        int v = t.v(GEN_MOD_LFO_TO_VOLUME);
        int depth =
            static_cast<int>(std::trunc((1.0 - std::pow(10.0, std::abs(v) / -200.0)) * 256.0));
        r.ampLfoDepth = static_cast<int16_t>(v < 0 ? -depth : depth);
        const int64_t f = t.has(GEN_FREQ_MOD_LFO) ? lfoFreqMilliHz(t.v(GEN_FREQ_MOD_LFO)) : 0;
        r.ampLfoPhaseStep =
            clamp32(static_cast<double>((((s.outputRate() / 1000) * f) >> 5) / s.controlRatio()));
        r.ampLfoDelay = delayFrames(s, t.v(GEN_DELAY_MOD_LFO));
    }

    // 15. Vibrato: a depth without a frequency makes no vibrato either.
    r.pitchLfoControlRatio = 0;
    if (t.has(GEN_VIB_LFO_TO_PITCH)) {
        r.pitchLfoDepth =
            static_cast<int16_t>(std::clamp(t.v(GEN_VIB_LFO_TO_PITCH) * 256 / 400, -255, 255));
        if (t.has(GEN_FREQ_VIB_LFO)) {
            const int64_t f = std::max<int64_t>(1, lfoFreqMilliHz(t.v(GEN_FREQ_VIB_LFO)));
            r.pitchLfoControlRatio =
                clamp32(static_cast<double>((int64_t{s.outputRate()} * 1000) / (f * 64)));
        }
        r.pitchLfoDelay = delayFrames(s, t.v(GEN_DELAY_VIB_LFO));
    }
}

}  // namespace svt
