#pragma once
// One registered SoundFont: after indexing it knows, for every (bank, program, key)
// the font serves, the regions an instrument of it would have, already in engine
// units. Building an instrument then only copies those regions and reads their data.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Result.h"
#include "instruments/CompressedSamples.h"
#include "instruments/DecodedSampleCache.h"
#include "instruments/Instrument.h"
#include "instruments/InstrumentSettings.h"
#include "instruments/NoteSet.h"
#include "instruments/SoundFontFile.h"

namespace svt {

class FontBytes;

inline constexpr int kPercussionBank = 128;
inline constexpr int kAnyKey = -1;

struct PendingRegion {
    SampleRegion region;  // complete but for `pcm` and `ownsPcm`
    // Absolute byte position of the region's first point; for a compressed sample, of its
    // stream (the region then starts at `firstPoint` of the decoded sound).
    int64_t filePos = 0;
    int64_t byteLength = 0;         // bytes of 16-bit points the region plays
    int32_t compressedSample = -1;  // sample header number of a compressed sample, else -1
    int64_t firstPoint = 0;         // the region's first point within its sample's data
    int16_t rootKey = 60;
    int16_t tuneCents = 0;
    uint8_t lowKey = 0;
    uint8_t highKey = 127;
    int32_t bank = 0;
    int32_t key = kAnyKey;
    // The zone's modulators after merging, those a voice can apply (Modulators.h).
    std::vector<Modulator> modulators;
};

struct PresetIndexEntry {
    int32_t program = 0;
    int32_t bank = 0;       // kPercussionBank for drum kits
    int32_t key = kAnyKey;  // drum kits: the one key this entry serves
    int32_t presetPos = 0;  // position in the file's preset table (display name)
    // Ascending filePos; equal positions keep the order they were made in.
    std::vector<PendingRegion> regions;
    // Samples the preset's zones name that cannot be played; their zones made no region.
    std::vector<int32_t> silentSamples;
    int32_t regionCount() const { return static_cast<int32_t>(regions.size()); }
};

// What `sorvanto-cli fonts` shows of a preset.
struct PresetSummary {
    std::string name;
    int32_t bank = 0;
    int32_t program = 0;
    int32_t regionCount = 0;  // drum kits: summed over their keys
    int32_t keyCount = 0;     // drum kits: keys with at least one region
};

// How a sample's data is found, as far as building instruments needs it.
struct SampleData {
    std::string name;
    bool compressed = false;
    bool playable = true;     // false: zones naming it make no region
    int64_t streamPos = 0;    // compressed: absolute file position of its stream
    int64_t streamBytes = 0;  // compressed: the stream's size
    int64_t frames = 0;       // compressed: points it decodes to
    uint32_t rateHz = 0;      // compressed: the stream's rate
    // Compressed: the first sample whose header names the same stream; it is decoded (and
    // cached) once, under that sample's number. The sample's own number when it is the first.
    int32_t decodedAs = 0;
    size_t decodedBytes() const {
        return static_cast<size_t>(std::min(frames, kMaxDecodedPoints) + kDecodedZeroTail) * 2;
    }
};

// A sample that cannot sound, and why: found while indexing (a stream in another format,
// headers that do not fit) or while an instrument was built (a stream that fails to decode).
struct SampleProblem {
    int32_t sample = 0;
    std::string name;
    std::string reason;  // "is damaged: a page is missing or fails its checksum"
    // "sample 12 "Piano C4" is damaged: ...; it is not played"
    std::string text() const;
};

class LoadedSoundFont {
  public:
    explicit LoadedSoundFont(std::string fileName) : fileName_(std::move(fileName)) {}

    // Reads the file and builds the preset index; the file is closed again. On failure
    // the font is emptied (no file name) and every lookup skips it; the reason stays
    // in lastError(). Indexing twice does nothing.
    Status index(const InstrumentSettings& settings);
    // The same from bytes the caller keeps alive while the font is used (tests, fuzzing).
    Status indexBytes(std::span<const uint8_t> bytes, const InstrumentSettings& settings);

    // Drops the index (for new settings); the next index() reads the font again.
    void reset();

    const PresetIndexEntry* find(int bank, int program, int key) const;
    // A new instrument from an index entry; null when the file cannot be opened or when no
    // region is left once the samples that fail to decode are left out. Compressed samples
    // are taken from `cache` or decoded into it. With `notes`, the regions of compressed
    // samples that none of these notes (give or take kMarkedNoteMargin semitones) sounds are
    // left out, and their samples are not decoded; a note outside them then plays the region
    // nearest in pitch.
    std::unique_ptr<Instrument> build(const PresetIndexEntry& entry, DecodedSampleCache& cache,
                                      const NoteSet* notes = nullptr);
    // Notes the unplayable samples an entry's zones name as problems met (see takeProblemsMet).
    void noteSilentSamples(const PresetIndexEntry& entry);
    // The compressed samples that build(entry, cache, notes) would decode: those it needs and
    // `cache` does not hold.
    std::vector<int32_t> samplesToDecode(const PresetIndexEntry& entry, const NoteSet* notes,
                                         const DecodedSampleCache& cache) const;
    // Decodes these samples into `cache`, on up to `threads` threads at once; a sample that
    // fails becomes a problem just as when an instrument is built.
    void decodeAhead(std::span<const int32_t> samples, DecodedSampleCache& cache, int threads);

    // Key of this font's samples in a DecodedSampleCache; unique within one registry.
    uint32_t cacheId() const { return cacheId_; }
    void setCacheId(uint32_t id) { cacheId_ = id; }

    const std::string& fileName() const { return fileName_; }
    bool usable() const { return !fileName_.empty() && indexed_; }
    bool indexed() const { return indexed_; }
    const std::string& lastError() const { return lastError_; }
    const std::string& registeredName() const { return registeredName_; }

    uint16_t versionMajor() const { return versionMajor_; }
    uint16_t versionMinor() const { return versionMinor_; }
    int64_t sampleDataPos() const { return sampleDataPos_; }
    int64_t sampleDataSize() const { return sampleDataSize_; }
    double amplification() const { return amplification_; }

    // Facts for display, kept from the file.
    const std::string& fontName() const { return fontName_; }
    int32_t instrumentCount() const { return instrumentCount_; }
    int32_t sampleCount() const { return sampleCount_; }
    bool hasSample24() const { return hasSample24_; }
    const std::vector<std::string>& presetNames() const { return presetNames_; }
    const std::vector<SoundFontProblem>& problems() const { return problems_; }
    // Presets in file order (the closing record left out).
    const std::vector<PresetSummary>& presetSummaries() const { return summaries_; }
    // Banks the font's presets use: melodic bank numbers, and drum kits by program.
    const std::vector<int>& melodicBanks() const { return melodicBanks_; }
    const std::vector<int>& drumSets() const { return drumSets_; }
    size_t entryCount() const { return entries_.size(); }
    size_t pendingRegionCount() const { return pendingRegions_; }

    // Compressed (SoundFont 3) samples: how many, their streams' bytes and the bytes of 16-bit
    // points they decode to. Samples stored as points count in sampleDataSize() only.
    int32_t compressedSampleCount() const { return compressedCount_; }
    int64_t compressedBytes() const { return compressedBytes_; }
    int64_t decodedBytes() const { return decodedBytes_; }
    const std::vector<SampleData>& samples() const { return samples_; }
    // Every sample known not to sound, each once, in the order found.
    const std::vector<SampleProblem>& sampleProblems() const { return sampleProblems_; }
    // The sample problems that instruments built since the last call ran into, each sample
    // once in the font's life: what a song that needed them should be warned about.
    std::vector<SampleProblem> takeProblemsMet();
    // Decodes every playable compressed sample once (nothing is kept), so that a stream that
    // fails anywhere becomes a problem of its sample. Returns the number of such samples.
    // `progress` hears (done, total) after each sample.
    int verifyCompressedSamples(const std::function<void(int, int)>& progress = {});

    // Whether any preset can sound (a region with points to play): the error says why none
    // can. Fonts that cannot sound are refused wherever they are named.
    Status soundCheck() const;

  private:
    Status indexFile(InputStream& in, const InstrumentSettings& settings);
    void fail(std::string reason);
    // Looks at the data of every sample: probes compressed streams, checks headers against
    // their data, and notes the problems.
    void prepareSamples(const SoundFontFile& file);
    void addSampleProblem(int32_t sample, std::string reason, bool silent);
    std::shared_ptr<const DecodedSample> decoded(int32_t sample, const FontBytes& bytes,
                                                 DecodedSampleCache& cache);
    void noteDecodeFailure(int32_t sample, std::string reason);
    // Makes room for `bytes` more points of `sample` (decoded, or copied into an instrument)
    // within a song's bound, giving up decoded samples no instrument holds; false, and a
    // warning for the song, when they do not fit. Copies of stored points may take twice the
    // font's sample data when that is more: a large font's instruments copy each point about
    // once, while headers that name one stretch many times only meet the bound.
    bool roomFor(int32_t sample, size_t bytes, DecodedSampleCache& cache, bool decoding);

    std::string fileName_;
    std::string registeredName_{fileName_};
    std::span<const uint8_t> bytes_;  // set by indexBytes: data is read from here
    bool indexed_ = false;
    std::string lastError_;
    uint16_t versionMajor_ = 0, versionMinor_ = 0;
    int64_t sampleDataPos_ = 0, sampleDataSize_ = 0;
    double amplification_ = 1.0;
    InstrumentSettings settings_{EngineSettings{}};  // those of the last index()

    std::string fontName_;
    int32_t instrumentCount_ = 0, sampleCount_ = 0;
    bool hasSample24_ = false;
    std::vector<std::string> presetNames_;
    std::vector<SoundFontProblem> problems_;
    std::vector<PresetSummary> summaries_;
    std::vector<int> melodicBanks_, drumSets_;
    std::unordered_map<uint64_t, PresetIndexEntry> entries_;
    size_t pendingRegions_ = 0;

    uint32_t cacheId_ = 0;
    std::vector<SampleData> samples_;
    int32_t compressedCount_ = 0;
    int64_t compressedBytes_ = 0, decodedBytes_ = 0;
    std::vector<SampleProblem> sampleProblems_;
    std::vector<bool> problemMet_;          // by sample: already handed out by takeProblemsMet
    std::vector<int32_t> problemOfSample_;  // by sample: index into sampleProblems_, or -1
    std::vector<int32_t> pendingMet_;       // samples met since the last takeProblemsMet
    // Samples left out for lack of room since the last takeProblemsMet: the first is named,
    // the others counted (a font of thousands of headers would give thousands of lines).
    struct Refusal {
        int32_t sample = 0;
        bool decoding = false;
        size_t boundBytes = 0;
        size_t more = 0;  // samples left out after the first
    };
    std::optional<Refusal> refusal_;
    std::vector<bool> refused_;  // by sample, once something was left out: counted already
};

}  // namespace svt
