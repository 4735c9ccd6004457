// Indexing: every preset zone is layered over the instrument zones it names
// (GeneratorTable.cpp), and each merged generator set becomes a region in engine units
// (RegionUnits.cpp). Building instruments from the index, and everything about sample data,
// is in SampleData.cpp.

#include "instruments/LoadedSoundFont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>

#include "instruments/GeneratorTable.h"
#include "instruments/Modulators.h"
#include "instruments/RegionUnits.h"
#include "streams/streams.h"

namespace svt {
namespace {

// A hostile font can pair every preset zone with every instrument zone (and every key
// of a drum kit); this keeps such a file from filling the memory. FluidR3_GM needs
// about a tenth of it.
constexpr size_t kMaxPendingRegions = 1u << 18;
// SoundFont 3 is SoundFont 2 with compressed samples; later versions are not known here.
constexpr uint16_t kNewestVersionMajor = 3;
constexpr size_t kMaxProblems = 64;
// Presets repeating an earlier one's bank and program named one by one; the rest are counted.
constexpr int kMaxRepeatNotes = 8;

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
    enum class Layer {
        Parsed,
        Empty,    // no instrument, or one with no zones or past the table
        TooDeep,  // instruments nest deeper than presets over instruments: the preset stops
    };
    // `pmods`: the modulators of the level above (the preset zone's, its global zone's laid
    // under them).
    Layer parseLayer(const GeneratorTable& p, const std::vector<Modulator>& pmods, int depth);
    void makeRegions(const GeneratorTable& t, const std::vector<Modulator>& mods);
    void problem(std::string text) {
        if (problems_.size() < kMaxProblems) problems_.push_back({std::move(text)});
    }
    // Zones whose key or velocity range is empty or beyond 127 make no region; said once a preset.
    void rangesProblem(const GeneratorTable& t) {
        if (rangesNoted_) return;
        rangesNoted_ = true;
        auto text = [](uint16_t r) {
            return std::to_string(r & 0xFF) + ".." + std::to_string(r >> 8);
        };
        problem("preset \"" + summary_.name + "\": a zone's key range " + text(t.u(GEN_KEY_RANGE)) +
                " or velocity range " + text(t.u(GEN_VEL_RANGE)) +
                " holds no key or velocity; such zones are left out");
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
    bool rangesNoted_ = false;
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
    rangesNoted_ = false;
    if (ph.zones.empty()) return;
    size_t firstLocal = isGlobalZone(ph.zones[0]) ? 1 : 0;
    for (size_t z = firstLocal; z < ph.zones.size(); ++z) {
        GeneratorTable p;
        std::vector<Modulator> pmods;
        if (firstLocal == 1) {
            p.copyZone(ph.zones[0], 1);
            pmods = ph.zones[0].modulators;
        }
        p.copyZone(ph.zones[z], 2);
        overlayModulators(pmods, ph.zones[z].modulators);
        if (parseLayer(p, pmods, 0) == Layer::TooDeep) break;
    }
    summary_.keyCount = static_cast<int32_t>(std::count(keysSeen_.begin(), keysSeen_.end(), true));
}

Indexer::Layer Indexer::parseLayer(const GeneratorTable& p, const std::vector<Modulator>& pmods,
                                   int depth) {
    if (depth >= 2) {
        problem("preset \"" + summary_.name +
                "\": parse_layer: too deep instrument level; its remaining zones are left out");
        return Layer::TooDeep;
    }
    if (!p.has(GEN_INSTRUMENT)) return Layer::Empty;
    size_t instIndex = p.u(GEN_INSTRUMENT);
    if (instIndex >= file_.instruments.size()) {
        problem("preset \"" + summary_.name + "\": a zone names instrument " +
                std::to_string(instIndex) + ", past the end of the instrument table (" +
                std::to_string(file_.instruments.size()) + ")");
        return Layer::Empty;
    }
    const InstrumentHeader& ih = file_.instruments[instIndex];
    if (ih.zones.empty()) return Layer::Empty;
    size_t firstLocal = isGlobalZone(ih.zones[0]) ? 1 : 0;
    for (size_t z = firstLocal; z < ih.zones.size(); ++z) {
        GeneratorTable i;
        std::vector<Modulator> mods;
        if (firstLocal == 1) {
            i.copyZone(ih.zones[0], 1);
            mods = ih.zones[0].modulators;
        }
        i.copyZone(ih.zones[z], 2);
        overlayModulators(mods, ih.zones[z].modulators);
        addModulators(mods, pmods);
        if (!i.has(GEN_SAMPLE_ID)) {
            layOver(p, i, sf1_);
            if (rangesValid(i)) {
                const Layer r = parseLayer(i, mods, depth + 1);
                if (r == Layer::TooDeep) return r;
            } else {
                rangesProblem(i);
            }
        } else {
            completeZone(p, i, sf1_);
            if (sf1_) mods.clear();  // version 1 knows no modulators
            keepPlayable(mods);
            if (rangesValid(i))
                makeRegions(i, mods);
            else
                rangesProblem(i);
        }
    }
    return Layer::Parsed;
}

void Indexer::makeRegions(const GeneratorTable& t, const std::vector<Modulator>& mods) {
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
        fillRegion(t, header, key, {file_, samples_, s_, amplification_, sf1_, bank_}, pr);
        pr.modulators = mods;
        e.regions.push_back(pr);
        ++regionTotal_;
        ++summary_.regionCount;
        if (drum) keysSeen_[static_cast<size_t>(key)] = true;
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
    (void)(*in)->close();
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
    // A bank and program that a preset before had: the first preset is the one played (the
    // zones of both would otherwise sound at once, each note as often as the preset repeats).
    std::unordered_map<uint32_t, int> firstWith;
    int repeats = 0;
    for (int i = 0; i < file.presetCount(); ++i) {
        const PresetHeader& p = file.presets[static_cast<size_t>(i)];
        if (p.bank == kPercussionBank) {
            if (p.program < 128) insertSorted(drumSets_, p.program);
        } else if (p.bank < 128) {
            insertSorted(melodicBanks_, p.bank);
        }
        if (i != terminal) {
            const auto [first, isNew] =
                firstWith.try_emplace((uint32_t{p.bank} << 16) | p.program, i);
            if (!isNew) {
                if (repeats++ < kMaxRepeatNotes && problems_.size() < kMaxProblems)
                    problems_.push_back({"preset \"" + p.name + "\" (" + std::to_string(p.bank) +
                                         ":" + std::to_string(p.program) + ") repeats preset \"" +
                                         file.presets[static_cast<size_t>(first->second)].name +
                                         "\"; only the first is played"});
                summaries_.push_back({p.name, p.bank, p.program, 0, 0});
                continue;
            }
        }
        indexer.parsePreset(i);
        if (i != terminal) summaries_.push_back(indexer.summary());
    }
    if (repeats > kMaxRepeatNotes && problems_.size() < kMaxProblems)
        problems_.push_back({std::to_string(repeats - kMaxRepeatNotes) +
                             " more presets repeat the bank and program of one before them"});
    for (auto& [key, entry] : entries_) {
        std::stable_sort(
            entry.regions.begin(), entry.regions.end(),
            [](const PendingRegion& a, const PendingRegion& b) { return a.filePos < b.filePos; });
        // The index lives as long as the font: grown by doubling, a large font's entries
        // would keep megabytes of room they never use.
        entry.regions.shrink_to_fit();
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

Status LoadedSoundFont::soundCheck() const {
    for (const auto& [key, entry] : entries_) {
        for (const PendingRegion& region : entry.regions) {
            if (region.byteLength <= 0) continue;
            const int32_t s = region.compressedSample;
            if (s < 0 ||
                samples_[static_cast<size_t>(samples_[static_cast<size_t>(s)].decodedAs)].playable)
                return Ok{};
        }
    }
    return makeError("no preset in it can sound (" +
                     (summaries_.empty() ? std::string("it has no presets")
                                         : "none of its " + std::to_string(summaries_.size()) +
                                               " presets has a sample that can be played") +
                     ")");
}

const PresetIndexEntry* LoadedSoundFont::find(int bank, int program, int key) const {
    if (!usable()) return nullptr;
    auto it = entries_.find(entryKey(bank, program, key));
    return it == entries_.end() ? nullptr : &it->second;
}

}  // namespace svt
