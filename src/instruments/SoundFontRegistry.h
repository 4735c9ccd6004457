#pragma once
// The SoundFonts an engine knows, most recently registered first; instruments are
// looked up in that order, so a font registered later can stand in front of the
// default font and leave the rest to it.

#include <memory>
#include <string>
#include <vector>

#include "base/Result.h"
#include "instruments/Instrument.h"
#include "instruments/InstrumentSettings.h"
#include "instruments/LoadedSoundFont.h"
#include "instruments/NoteSet.h"
#include "instruments/SharedInstruments.h"

namespace svt {

class SoundFontRegistry {
  public:
    // The settings come from the engine's (InstrumentSettings(engineSettings, ...)).
    explicit SoundFontRegistry(InstrumentSettings settings) : settings_(std::move(settings)) {}

    // Registers `fileName` (or finds it) and makes it the current font; the previous
    // selection, when it had another name, is unregistered.
    void selectFont(const std::string& fileName);
    // Registers without changing the selection; returns the font (new ones are put first).
    LoadedSoundFont& registerFont(const std::string& fileName);
    // A font whose bytes the caller keeps alive (tests and fuzzing); indexed at once.
    LoadedSoundFont& registerBytes(const std::string& name, std::span<const uint8_t> bytes);
    void unregisterFont(const std::string& fileName);

    // Indexes every registered font that is not indexed yet. Fonts that fail are
    // emptied and skipped by every lookup; the number of such fonts is returned.
    int indexAll();

    // A new instrument for (bank, program, key) from the first font that has an index
    // entry for it; key kAnyKey for melodic presets. Null when no font has one. With `notes`,
    // compressed samples that no such note sounds are left out (see LoadedSoundFont::build).
    std::unique_ptr<Instrument> buildInstrument(int bank, int program, int key,
                                                const NoteSet* notes = nullptr);
    // The same as an instrument that engines may share: with shareInstruments() set, one
    // that another engine holds is handed over instead of being built again. Instruments of
    // fonts with compressed samples are built for each song's notes and are never shared.
    std::shared_ptr<const Instrument> instrument(int bank, int program, int key,
                                                 const NoteSet* notes = nullptr);
    // Engines with equal settings and fonts that run at the same time may share instruments.
    void shareInstruments(std::shared_ptr<SharedInstruments> shared) {
        shared_ = std::move(shared);
    }
    bool hasPreset(int bank, int program, int key) const;

    // An instrument about to be built: bank, program and key as for buildInstrument.
    struct BuildRequest {
        int bank = 0, program = 0, key = kAnyKey;
        const NoteSet* notes = nullptr;
    };
    // Decodes, on the machine's cores at once, the compressed samples that building these
    // instruments would decode one after another; building them then finds them decoded.
    void decodeAhead(std::span<const BuildRequest> requests);

    // File name of the current font; empty when there is none.
    std::string currentFontName() const;
    const std::vector<std::unique_ptr<LoadedSoundFont>>& fonts() const { return fonts_; }
    const InstrumentSettings& settings() const { return settings_; }
    // New settings apply to fonts indexed from now on; indexed fonts are indexed again.
    void setSettings(const InstrumentSettings& settings);

    // Decoded compressed samples are kept between songs up to this many bytes (more while a
    // song's instruments need more); see trimDecodedSamples().
    void setDecodedSampleLimit(size_t bytes) { decodedLimit_ = bytes; }
    // While a song's instruments are built, decoded samples and the instruments' copies of
    // points take at most this many bytes; samples beyond it are left out and the song is
    // warned (kMaxDecodedSampleBytesPerSong unless set).
    void setDecodedSongLimit(size_t bytes) { decoded_.setSongLimit(bytes); }
    size_t decodedSampleLimit() const { return decodedLimit_; }
    // Gives up the least recently used decoded samples no instrument holds, down to the limit.
    // Between songs only: it frees memory.
    void trimDecodedSamples() {
        decoded_.trim(decodedLimit_);
        decoded_.forgetCopies();
    }
    const DecodedSampleCache& decodedSamples() const { return decoded_; }
    // One line for each sample that instruments built since the last call needed but could
    // not play, each sample once: "FONT: sample 12 "Piano C4" is damaged: ...; it is not played".
    std::vector<std::string> takeSampleWarnings();

  private:
    InstrumentSettings settings_;
    std::vector<std::unique_ptr<LoadedSoundFont>> fonts_;  // search order: front first
    std::string current_;
    std::string remembered_;
    DecodedSampleCache decoded_;
    size_t decodedLimit_ = kDefaultDecodedSampleLimitBytes;
    uint32_t nextCacheId_ = 1;
    std::shared_ptr<SharedInstruments> shared_;
};

// The font the program starts with: "Sorvanto.sf2" in `programFolder`, or when that is
// missing the system's General MIDI font (SoundFont 2, then SoundFont 3). The error says
// where it looked.
Result<std::string> findDefaultSoundFont(const std::string& programFolder);
// The same with the system fonts to try, in order.
Result<std::string> findDefaultSoundFont(const std::string& programFolder,
                                         std::span<const std::string> systemFonts);

}  // namespace svt
