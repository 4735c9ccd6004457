// Indexing: every preset zone is layered over the instrument zones it names, and each
// merged generator set becomes a region in engine units. Building instruments from the
// index, and everything about sample data, is in SampleData.cpp.

#include "instruments/LoadedSoundFont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>

#include "instruments/Tables.h"
#include "streams/streams.h"

namespace svt {
namespace {

// A hostile font can pair every preset zone with every instrument zone (and every key
// of a drum kit); this keeps such a file from filling the memory. FluidR3_GM needs
// about a tenth of it.
constexpr size_t kMaxPendingRegions = 1u << 18;
// Positions carry 12 fraction bits in 32 bits: data beyond this many points cannot be
// addressed and is cut off.
constexpr int64_t kMaxRegionPoints = (int64_t{1} << 20) - 2;
// SoundFont 3 is SoundFont 2 with compressed samples; later versions are not known here.
constexpr uint16_t kNewestVersionMajor = 3;

enum MergeMode : uint8_t { MERGE_ADD, MERGE_REPLACE, MERGE_RANGE, MERGE_INSTRUMENT, MERGE_SAMPLE };

struct GeneratorInfo {
    uint8_t mode = MERGE_ADD;
    uint8_t sf1Conversion = 0;  // 0 none, 5..18
    int16_t defaultValue = 0;
    int16_t sf1Default = 0;
};

constexpr std::array<GeneratorInfo, kGeneratorCount> makeGeneratorInfo() {
    std::array<GeneratorInfo, kGeneratorCount> t{};
    auto set = [&t](std::initializer_list<int> gens, uint8_t mode, uint8_t conv, int16_t def,
                    int16_t sf1Def) {
        for (int g : gens) t[static_cast<size_t>(g)] = GeneratorInfo{mode, conv, def, sf1Def};
    };
    set({0, 1, 2, 3, 4, 12, 45, 50, 14, 18, 19, 20, 42, 49, 51, 52}, MERGE_ADD, 0, 0, 0);
    set({5, 6, 7}, MERGE_ADD, 14, 0, 0);
    set({8}, MERGE_ADD, 5, 13500, 13500);
    set({9}, MERGE_ADD, 6, 0, 0);
    set({10, 11}, MERGE_ADD, 15, 0, 0);
    set({13}, MERGE_ADD, 16, 0, 0);
    set({15, 16}, MERGE_ADD, 7, 0, 0);
    set({17}, MERGE_ADD, 8, 0, 0);
    set({21, 23, 25, 26, 27, 28, 30, 33, 34, 35, 36, 38}, MERGE_ADD, 11, -12000, -12000);
    set({22}, MERGE_ADD, 13, 0, -725);
    set({24}, MERGE_ADD, 13, 0, -15600);
    set({29}, MERGE_ADD, 17, 0, 1000);
    set({31, 32, 39, 40}, MERGE_ADD, 12, 0, 0);
    set({37}, MERGE_ADD, 18, 0, 1000);
    set({41}, MERGE_INSTRUMENT, 0, 0, 0);
    set({43, 44}, MERGE_RANGE, 0, 32512, 32512);
    set({46, 47, 58}, MERGE_REPLACE, 0, -1, -1);
    set({48}, MERGE_ADD, 9, 0, 0);
    set({53}, MERGE_SAMPLE, 0, 0, 0);
    set({54, 55, 57}, MERGE_REPLACE, 0, 0, 0);
    set({56}, MERGE_ADD, 10, 100, 100);
    return t;
}
constexpr std::array<GeneratorInfo, kGeneratorCount> kGeneratorInfo = makeGeneratorInfo();

struct GeneratorTable {
    std::array<int16_t, kGeneratorCount> value{};
    std::array<uint8_t, kGeneratorCount> setMark{};  // 0 not set, 1 global zone, 2 local zone

    bool has(int g) const { return setMark[static_cast<size_t>(g)] != 0; }
    int16_t v(int g) const { return value[static_cast<size_t>(g)]; }
    uint16_t u(int g) const { return static_cast<uint16_t>(value[static_cast<size_t>(g)]); }
    void copyZone(const Zone& z, uint8_t mark) {
        for (const Generator& gen : z.generators) {
            if (gen.oper >= kGeneratorCount) continue;
            value[gen.oper] = static_cast<int16_t>(gen.amount);
            setMark[gen.oper] = mark;
        }
    }
};

bool zoneHasGenerator(const Zone& z, uint16_t oper) {
    return std::any_of(z.generators.begin(), z.generators.end(),
                       [oper](const Generator& g) { return g.oper == oper; });
}

bool isGlobalZone(const Zone& z) {
    return !zoneHasGenerator(z, GEN_INSTRUMENT) && !zoneHasGenerator(z, GEN_SAMPLE_ID);
}

bool rangesValid(const GeneratorTable& t) {
    auto ok = [](uint16_t r) {
        int lo = r & 0xFF, hi = r >> 8;
        return lo <= 127 && hi <= 127 && lo <= hi;
    };
    return ok(t.u(GEN_KEY_RANGE)) && ok(t.u(GEN_VEL_RANGE));
}

int16_t clamp16(double x) {
    if (!(x == x)) return 0;
    return static_cast<int16_t>(std::clamp(x, -32768.0, 32767.0));
}

int32_t clamp32(double x) {
    if (!(x == x)) return 0;
    return static_cast<int32_t>(std::clamp(x, -2147483648.0, 2147483647.0));
}

int16_t convertSf1(int g, int16_t stored) {
    double v = stored;
    switch (kGeneratorInfo[static_cast<size_t>(g)].sf1Conversion) {
        case 5:
            return clamp16(stored == 127 ? 14400 : (v + 74) * 59);
        case 6:
            return clamp16(std::trunc(3 * v / 2));
        case 7:
            return clamp16(std::trunc(v * 1000 / 256));
        case 8:
            return clamp16(std::trunc(v * 1000 / 127) - 500);
        case 9:
            return stored <= 0 ? 1000 : clamp16(std::trunc(-2000 * std::log10(v / 127)));
        case 10:
            return stored != 0 ? 50 : 100;
        case 11:
            return clamp16(std::trunc(1200 * std::log2(std::max(v, 1.0) / 1000)));
        case 12:
            return clamp16(std::trunc(v * 5.55));
        case 13:
            if (stored <= 0) return g == GEN_FREQ_MOD_LFO ? -725 : -15600;
            return clamp16(std::trunc(1200 * std::log2(v) - 7925));
        case 14:
            return clamp16(std::trunc((std::trunc(v * 1200 / 64) + 1) / 2));
        case 15:
            return clamp16(std::trunc(v * (g == GEN_MOD_LFO_TO_FILTER_FC ? 3600 : 7200) / 64));
        case 16:
            return clamp16(std::trunc(v * 120 / 64));
        case 17:
            return stored < 96 ? clamp16(std::trunc((96 - v) * 1000 / 96)) : 0;
        case 18:
            return stored < 96 ? clamp16(std::trunc((2000 - 21 * v) / 2)) : 0;
        default:
            return stored;
    }
}

uint64_t entryKey(int bank, int program, int key) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(bank)) << 32) |
           (static_cast<uint64_t>(static_cast<uint32_t>(program) & 0xFFFF) << 16) |
           static_cast<uint64_t>(static_cast<uint32_t>(key + 1) & 0xFFFF);
}

void insertSorted(std::vector<int>& list, int v) {
    auto it = std::lower_bound(list.begin(), list.end(), v);
    if (it == list.end() || *it != v) list.insert(it, v);
}

class Indexer {
  public:
    Indexer(const SoundFontFile& file, const std::vector<SampleData>& samples,
            const InstrumentSettings& s, double amplification,
            std::unordered_map<uint64_t, PresetIndexEntry>& entries,
            std::vector<SoundFontProblem>& problems)
        : file_(file),
          samples_(samples),
          s_(s),
          amplification_(amplification),
          entries_(entries),
          problems_(problems),
          sf1_(file.versionMajor <= 1) {}

    void parsePreset(int presetPos);
    size_t regions() const { return regionTotal_; }
    const PresetSummary& summary() const { return summary_; }

  private:
    int parseLayer(const GeneratorTable& p, int depth);
    void merge(const GeneratorTable& p, GeneratorTable& i) const;
    void complete(const GeneratorTable& p, GeneratorTable& i) const;
    void makeRegions(const GeneratorTable& t);
    void fillRegion(const GeneratorTable& t, SampleHeader s, int key, PendingRegion& pr);
    void problem(std::string text) {
        if (problems_.size() < 64) problems_.push_back({std::move(text)});
    }

    const SoundFontFile& file_;
    const std::vector<SampleData>& samples_;
    const InstrumentSettings& s_;
    double amplification_;
    std::unordered_map<uint64_t, PresetIndexEntry>& entries_;
    std::vector<SoundFontProblem>& problems_;
    bool sf1_;
    size_t regionTotal_ = 0;
    bool capReported_ = false;

    int presetPos_ = 0;
    int bank_ = 0, program_ = 0;
    PresetSummary summary_;
    std::array<bool, 128> keysSeen_{};
};

void Indexer::parsePreset(int presetPos) {
    const PresetHeader& ph = file_.presets[static_cast<size_t>(presetPos)];
    presetPos_ = presetPos;
    bank_ = ph.bank;
    program_ = ph.program;
    summary_ = PresetSummary{ph.name, ph.bank, ph.program, 0, 0};
    keysSeen_.fill(false);
    if (ph.zones.empty()) return;
    size_t firstLocal = isGlobalZone(ph.zones[0]) ? 1 : 0;
    for (size_t z = firstLocal; z < ph.zones.size(); ++z) {
        GeneratorTable p;
        if (firstLocal == 1) p.copyZone(ph.zones[0], 1);
        p.copyZone(ph.zones[z], 2);
        if (parseLayer(p, 0) == 1) break;
    }
    summary_.keyCount = static_cast<int32_t>(std::count(keysSeen_.begin(), keysSeen_.end(), true));
}

int Indexer::parseLayer(const GeneratorTable& p, int depth) {
    if (depth >= 2) {
        if (s_.printDiagnostics) std::fputs("parse_layer: too deep instrument level\n", stderr);
        problem("preset \"" + summary_.name +
                "\": instruments nest too deep; its remaining zones are left out");
        return 1;
    }
    if (!p.has(GEN_INSTRUMENT)) return 2;
    size_t instIndex = p.u(GEN_INSTRUMENT);
    if (instIndex >= file_.instruments.size()) {
        problem("preset \"" + summary_.name + "\": a zone names instrument " +
                std::to_string(instIndex) + ", past the end of the instrument table (" +
                std::to_string(file_.instruments.size()) + ")");
        return 2;
    }
    const InstrumentHeader& ih = file_.instruments[instIndex];
    if (ih.zones.empty()) return 2;
    size_t firstLocal = isGlobalZone(ih.zones[0]) ? 1 : 0;
    for (size_t z = firstLocal; z < ih.zones.size(); ++z) {
        GeneratorTable i;
        if (firstLocal == 1) i.copyZone(ih.zones[0], 1);
        i.copyZone(ih.zones[z], 2);
        if (!i.has(GEN_SAMPLE_ID)) {
            merge(p, i);
            if (rangesValid(i)) {
                int r = parseLayer(i, depth + 1);
                if (r != 0 && r != 2) return r;
            }
        } else {
            complete(p, i);
            if (rangesValid(i)) makeRegions(i);
        }
    }
    return 0;
}

void Indexer::merge(const GeneratorTable& p, GeneratorTable& i) const {
    for (int g = 0; g < kGeneratorCount; ++g) {
        if (!p.has(g)) continue;
        auto k = static_cast<size_t>(g);
        if (sf1_) {
            if (!i.has(g) || g == GEN_KEY_RANGE || g == GEN_VEL_RANGE) i.value[k] = p.value[k];
        } else {
            switch (kGeneratorInfo[k].mode) {
                case MERGE_ADD:
                    i.value[k] = static_cast<int16_t>(static_cast<uint16_t>(i.u(g) + p.u(g)));
                    break;
                case MERGE_REPLACE:
                    i.value[k] = p.value[k];
                    break;
                case MERGE_RANGE:
                    if (i.has(g)) {
                        int lo = std::max(i.u(g) & 0xFF, p.u(g) & 0xFF);
                        int hi = std::min(i.u(g) >> 8, p.u(g) >> 8);
                        i.value[k] = static_cast<int16_t>(rangeAmount(lo, hi));
                    } else {
                        i.value[k] = p.value[k];
                    }
                    break;
                default:
                    if (!i.has(g)) i.value[k] = p.value[k];
                    break;
            }
        }
        i.setMark[k] = 1;
    }
}

void Indexer::complete(const GeneratorTable& p, GeneratorTable& i) const {
    for (int g = 0; g < kGeneratorCount; ++g) {
        auto k = static_cast<size_t>(g);
        if (!i.has(g))
            i.value[k] = sf1_ ? kGeneratorInfo[k].sf1Default : kGeneratorInfo[k].defaultValue;
    }
    merge(p, i);
    if (sf1_) {
        for (int g = 0; g < kGeneratorCount; ++g) {
            if (i.has(g)) i.value[static_cast<size_t>(g)] = convertSf1(g, i.v(g));
        }
    }
}

void Indexer::makeRegions(const GeneratorTable& t) {
    size_t sampleIndex = t.u(GEN_SAMPLE_ID);
    if (sampleIndex >= file_.sampleHeaders.size()) {
        problem("preset \"" + summary_.name + "\": a zone names sample " +
                std::to_string(sampleIndex) + ", past the end of the sample table (" +
                std::to_string(file_.sampleHeaders.size()) + ")");
        return;
    }
    const SampleHeader& header = file_.sampleHeaders[sampleIndex];
    if ((header.sampleType & kSampleRomBit) != 0) return;
    const bool silent = !samples_[sampleIndex].playable;
    bool drum = bank_ == kPercussionBank;
    int lowKey = t.u(GEN_KEY_RANGE) & 0xFF, highKey = t.u(GEN_KEY_RANGE) >> 8;
    int first = drum ? lowKey : kAnyKey, last = drum ? highKey : kAnyKey;
    for (int key = first; key <= last; ++key) {
        if (regionTotal_ >= kMaxPendingRegions) {
            if (!capReported_)
                problem("more than " + std::to_string(kMaxPendingRegions) +
                        " regions; the rest are left out");
            capReported_ = true;
            return;
        }
        auto [it, created] = entries_.try_emplace(entryKey(bank_, program_, key));
        PresetIndexEntry& e = it->second;
        if (created) {
            e.program = program_;
            e.bank = bank_;
            e.key = key;
            e.presetPos = presetPos_;
        }
        if (silent) {
            auto idx = static_cast<int32_t>(sampleIndex);
            if (std::find(e.silentSamples.begin(), e.silentSamples.end(), idx) ==
                e.silentSamples.end())
                e.silentSamples.push_back(idx);
            continue;
        }
        PendingRegion pr;
        pr.bank = bank_;
        pr.key = key;
        if (t.has(GEN_KEYNUM) && t.v(GEN_KEYNUM) >= 0 && t.v(GEN_KEYNUM) <= 127) {
            pr.region.fixedNote = static_cast<uint8_t>(t.v(GEN_KEYNUM));
        } else if (drum) {
            pr.region.fixedNote = static_cast<uint8_t>(key);
        } else {
            pr.region.fixedNote = 0;
        }
        fillRegion(t, header, key, pr);
        e.regions.push_back(pr);
        ++regionTotal_;
        ++summary_.regionCount;
        if (drum) keysSeen_[static_cast<size_t>(key)] = true;
    }
}

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

void Indexer::fillRegion(const GeneratorTable& t, SampleHeader S, int key, PendingRegion& pr) {
    SampleRegion& r = pr.region;
    const SynthTables& tab = synthTables();
    // A compressed sample counts its points from 0 in its decoded sound, which is as long as
    // its stream says; its loop points already count from there.
    const auto sampleIndex = static_cast<int32_t>(t.u(GEN_SAMPLE_ID));
    const SampleData& data = samples_[static_cast<size_t>(sampleIndex)];
    int64_t dataPoints = file_.sampleDataSize / 2;
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
    }
    r.gain = att * amplification_;

    // 3. Envelopes and loop.
    setEnvelope(s_, t, GEN_ATTACK_VOL_ENV, GEN_HOLD_VOL_ENV, GEN_DECAY_VOL_ENV, GEN_SUSTAIN_VOL_ENV,
                GEN_RELEASE_VOL_ENV, r.volEnvRate, r.volEnvTarget);
    r.volEnvDelay = delayFrames(s_, t.v(GEN_DELAY_VOL_ENV));
    setEnvelope(s_, t, GEN_ATTACK_MOD_ENV, GEN_HOLD_MOD_ENV, GEN_DECAY_MOD_ENV, GEN_SUSTAIN_MOD_ENV,
                GEN_RELEASE_MOD_ENV, r.modEnvRate, r.modEnvTarget);
    r.modEnvDelay = delayFrames(s_, t.v(GEN_DELAY_MOD_ENV));
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
    pr.filePos = data.compressed ? data.streamPos : file_.sampleDataPos + 2 * start;
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
        if (!s_.modulationEnabled && t.has(GEN_MOD_ENV_TO_FILTER_FC) &&
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
    if (sf1_ && t.has(55)) {
        int v = t.v(55);
        rootKey = v / 100;
        tune = (-v) % 100;
        if (tune <= -50) {
            rootKey += 1;
            tune += 100;
        }
    }
    if (t.has(GEN_OVERRIDING_ROOT_KEY)) {
        rootKey = t.v(GEN_OVERRIDING_ROOT_KEY);
    } else if (bank_ == kPercussionBank && r.scaleTuning != 0) {
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
            clamp32(static_cast<double>((((s_.outputRate() / 1000) * f) >> 5) / s_.controlRatio()));
        r.ampLfoDelay = delayFrames(s_, t.v(GEN_DELAY_MOD_LFO));
    }

    // 15. Vibrato: a depth without a frequency makes no vibrato either.
    r.pitchLfoControlRatio = 0;
    if (t.has(GEN_VIB_LFO_TO_PITCH)) {
        r.pitchLfoDepth =
            static_cast<int16_t>(std::clamp(t.v(GEN_VIB_LFO_TO_PITCH) * 256 / 400, -255, 255));
        if (t.has(GEN_FREQ_VIB_LFO)) {
            const int64_t f = std::max<int64_t>(1, lfoFreqMilliHz(t.v(GEN_FREQ_VIB_LFO)));
            r.pitchLfoControlRatio =
                clamp32(static_cast<double>((int64_t{s_.outputRate()} * 1000) / (f * 64)));
        }
        r.pitchLfoDelay = delayFrames(s_, t.v(GEN_DELAY_VIB_LFO));
    }
}

}  // namespace

void LoadedSoundFont::fail(std::string reason) {
    lastError_ = std::move(reason);
    fileName_.clear();
    indexed_ = false;
    entries_.clear();
}

void LoadedSoundFont::reset() {
    fileName_ = registeredName_;
    indexed_ = false;
    lastError_.clear();
    entries_.clear();
    problems_.clear();
    summaries_.clear();
    presetNames_.clear();
    melodicBanks_.clear();
    drumSets_.clear();
    pendingRegions_ = 0;
    samples_.clear();
    compressedCount_ = 0;
    compressedBytes_ = decodedBytes_ = 0;
    sampleProblems_.clear();
    problemMet_.clear();
    problemOfSample_.clear();
    pendingMet_.clear();
}

Status LoadedSoundFont::index(const InstrumentSettings& settings) {
    if (indexed_) return Ok{};
    if (!bytes_.empty()) return indexBytes(bytes_, settings);
    if (fileName_.empty()) return makeError(lastError_.empty() ? "no file name" : lastError_);
    Result<InputStreamPtr> in = openStream(fileName_);
    if (!in.ok()) {
        fail(in.error().message);
        return makeError(lastError_);
    }
    Status st = indexFile(**in, settings);
    (*in)->close();
    return st;
}

Status LoadedSoundFont::indexBytes(std::span<const uint8_t> bytes,
                                   const InstrumentSettings& settings) {
    if (indexed_) return Ok{};
    bytes_ = bytes;
    InputStreamPtr in = openMemoryStream(bytes, fileName_);
    return indexFile(*in, settings);
}

Status LoadedSoundFont::indexFile(InputStream& in, const InstrumentSettings& settings) {
    Result<SoundFontFile> read = readSoundFont(in);
    if (!read.ok()) {
        fail("\"" + registeredName_ + "\": " + read.error().message);
        return makeError(lastError_);
    }
    SoundFontFile& file = *read;
    if (file.versionMajor > kNewestVersionMajor) {
        char version[32];
        std::snprintf(version, sizeof version, "%u.%02u", file.versionMajor, file.versionMinor);
        fail("\"" + registeredName_ + "\": SoundFont version " + version +
             " cannot be played (versions 1, 2 and 3 can)");
        return makeError(lastError_);
    }
    correctSampleHeaders(file);
    settings_ = settings;
    problems_ = std::move(file.problems);
    prepareSamples(file);

    Indexer indexer(file, samples_, settings_, amplification_, entries_, problems_);
    int terminal = file.presetCount() - 1;
    for (int i = 0; i < file.presetCount(); ++i) {
        const PresetHeader& p = file.presets[static_cast<size_t>(i)];
        if (p.bank == kPercussionBank) {
            if (p.program < 128) insertSorted(drumSets_, p.program);
        } else if (p.bank < 128) {
            insertSorted(melodicBanks_, p.bank);
        }
        indexer.parsePreset(i);
        if (i != terminal) summaries_.push_back(indexer.summary());
    }
    for (auto& [key, entry] : entries_) {
        std::stable_sort(
            entry.regions.begin(), entry.regions.end(),
            [](const PendingRegion& a, const PendingRegion& b) { return a.filePos < b.filePos; });
    }
    pendingRegions_ = indexer.regions();
    // A font none of whose samples can sound is refused, rather than played as silence.
    if (pendingRegions_ == 0 && !sampleProblems_.empty()) {
        std::string reason = "\"" + registeredName_ + "\": no sample can be played (" +
                             sampleProblems_.front().text();
        if (sampleProblems_.size() > 1)
            reason += ", and " + std::to_string(sampleProblems_.size() - 1) + " more";
        fail(reason + ")");
        return makeError(lastError_);
    }

    versionMajor_ = file.versionMajor;
    versionMinor_ = file.versionMinor;
    sampleDataPos_ = file.sampleDataPos;
    sampleDataSize_ = file.sampleDataSize;
    fontName_ = file.name;
    instrumentCount_ = std::max(file.instrumentCount() - 1, 0);
    sampleCount_ = std::max(file.sampleCount() - 1, 0);
    hasSample24_ = file.sample24Size > 0;
    presetNames_.clear();
    presetNames_.reserve(file.presets.size());
    for (const PresetHeader& p : file.presets) presetNames_.push_back(p.name);
    indexed_ = true;
    return Ok{};
}

const PresetIndexEntry* LoadedSoundFont::find(int bank, int program, int key) const {
    if (!usable()) return nullptr;
    auto it = entries_.find(entryKey(bank, program, key));
    return it == entries_.end() ? nullptr : &it->second;
}

}  // namespace svt
