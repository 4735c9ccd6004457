#pragma once
// One registered SoundFont: after indexing it knows, for every (bank, program, key)
// the font serves, the regions an instrument of it would have, already in engine
// units. Building an instrument then only copies those regions and reads their data.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Result.h"
#include "instruments/Instrument.h"
#include "instruments/InstrumentSettings.h"
#include "instruments/SoundFontFile.h"

namespace svt {

inline constexpr int kPercussionBank = 128;
inline constexpr int kAnyKey = -1;

struct PendingRegion {
    SampleRegion region;  // complete but for `pcm` and `ownsPcm`
    int64_t filePos = 0;  // absolute byte position of the region's first point
    int64_t byteLength = 0;
    int16_t rootKey = 60;
    int16_t tuneCents = 0;
    uint8_t lowKey = 0;
    uint8_t highKey = 127;
    int32_t bank = 0;
    int32_t key = kAnyKey;
};

struct PresetIndexEntry {
    int32_t program = 0;
    int32_t bank = 0;       // kPercussionBank for drum kits
    int32_t key = kAnyKey;  // drum kits: the one key this entry serves
    int32_t presetPos = 0;  // position in the file's preset table (display name)
    // Ascending filePos; equal positions keep the order they were made in.
    std::vector<PendingRegion> regions;
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
    // A new instrument from an index entry; null when the file cannot be opened.
    std::unique_ptr<Instrument> build(const PresetIndexEntry& entry) const;

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

  private:
    Status indexFile(InputStream& in, const InstrumentSettings& settings);
    void fail(std::string reason);

    std::string fileName_;
    std::string registeredName_{fileName_};
    std::span<const uint8_t> bytes_;  // set by indexBytes: data is read from here
    bool indexed_ = false;
    std::string lastError_;
    uint16_t versionMajor_ = 0, versionMinor_ = 0;
    int64_t sampleDataPos_ = 0, sampleDataSize_ = 0;
    double amplification_ = 1.0;
    InstrumentSettings settings_;

    std::string fontName_;
    int32_t instrumentCount_ = 0, sampleCount_ = 0;
    bool hasSample24_ = false;
    std::vector<std::string> presetNames_;
    std::vector<SoundFontProblem> problems_;
    std::vector<PresetSummary> summaries_;
    std::vector<int> melodicBanks_, drumSets_;
    std::unordered_map<uint64_t, PresetIndexEntry> entries_;
    size_t pendingRegions_ = 0;
};

}  // namespace svt
