#include "instruments/SoundFontRegistry.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "base/Constants.h"
#include "platform/Paths.h"

namespace svt {

LoadedSoundFont& SoundFontRegistry::registerFont(const std::string& fileName) {
    for (auto& f : fonts_) {
        if (f->registeredName() == fileName) return *f;
    }
    fonts_.insert(fonts_.begin(), std::make_unique<LoadedSoundFont>(fileName));
    fonts_.front()->setCacheId(nextCacheId_++);
    return *fonts_.front();
}

LoadedSoundFont& SoundFontRegistry::registerBytes(const std::string& name,
                                                  std::span<const uint8_t> bytes) {
    LoadedSoundFont& f = registerFont(name);
    (void)f.indexBytes(bytes, settings_);
    return f;
}

void SoundFontRegistry::selectFont(const std::string& fileName) {
    registerFont(fileName);
    current_ = fileName;
    if (!remembered_.empty() && remembered_ != fileName) unregisterFont(remembered_);
    remembered_ = fileName;
}

void SoundFontRegistry::unregisterFont(const std::string& fileName) {
    for (auto it = fonts_.begin(); it != fonts_.end(); ++it) {
        if ((*it)->registeredName() == fileName) {
            decoded_.dropFont((*it)->cacheId());
            fonts_.erase(it);
            break;
        }
    }
    if (current_ == fileName)
        current_ = fonts_.empty() ? std::string() : fonts_.front()->registeredName();
}

int SoundFontRegistry::indexAll() {
    int failed = 0;
    for (auto& f : fonts_) {
        if (f->indexed()) continue;
        if (!f->index(settings_).ok()) ++failed;
    }
    return failed;
}

std::unique_ptr<Instrument> SoundFontRegistry::buildInstrument(int bank, int program, int key,
                                                               const NoteSet* notes) {
    for (const auto& f : fonts_) {
        const PresetIndexEntry* e = f->find(bank, program, key);
        if (e == nullptr) continue;
        if (e->regionCount() > 0) return f->build(*e, decoded_, notes);
        f->noteSilentSamples(*e);
    }
    return nullptr;
}

std::shared_ptr<const Instrument> SoundFontRegistry::instrument(int bank, int program, int key,
                                                                const NoteSet* notes) {
    for (const auto& f : fonts_) {
        const PresetIndexEntry* e = f->find(bank, program, key);
        if (e == nullptr) continue;
        if (e->regionCount() == 0) {
            f->noteSilentSamples(*e);
            continue;
        }
        if (!shared_ || f->compressedSampleCount() > 0) return f->build(*e, decoded_, notes);
        // The song that is handed the instrument hears of its unplayable samples too.
        f->noteSilentSamples(*e);
        // Another song may be handed it: it serves every note, not only this song's.
        return shared_->obtain({f->fileName(), bank, program, key},
                               [&] { return f->build(*e, decoded_, nullptr); });
    }
    return nullptr;
}

std::vector<std::string> SoundFontRegistry::takeSampleWarnings() {
    std::vector<std::string> lines;
    for (const auto& f : fonts_) {
        for (const SampleProblem& p : f->takeProblemsMet())
            lines.push_back(f->registeredName() + ": " + p.text());
    }
    return lines;
}

void SoundFontRegistry::decodeAhead(std::span<const BuildRequest> requests) {
    const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    for (const auto& f : fonts_) {
        if (f->compressedSampleCount() == 0) continue;
        std::vector<int32_t> samples;
        for (const BuildRequest& r : requests) {
            // Only the font that would build the instrument is asked.
            const LoadedSoundFont* builder = nullptr;
            const PresetIndexEntry* entry = nullptr;
            for (const auto& g : fonts_) {
                entry = g->find(r.bank, r.program, r.key);
                if (entry != nullptr && entry->regionCount() > 0) {
                    builder = g.get();
                    break;
                }
            }
            if (builder != f.get()) continue;
            for (int32_t s : f->samplesToDecode(*entry, r.notes, decoded_)) {
                if (std::find(samples.begin(), samples.end(), s) == samples.end())
                    samples.push_back(s);
            }
        }
        f->decodeAhead(samples, decoded_, threads);
    }
}

bool SoundFontRegistry::hasPreset(int bank, int program, int key) const {
    for (const auto& f : fonts_) {
        const PresetIndexEntry* e = f->find(bank, program, key);
        if (e != nullptr && e->regionCount() > 0) return true;
    }
    return false;
}

std::string SoundFontRegistry::currentFontName() const {
    for (const auto& f : fonts_) {
        if (f->registeredName() == current_) return f->fileName();
    }
    return {};
}

void SoundFontRegistry::setSettings(const InstrumentSettings& settings) {
    settings_ = settings;
    for (auto& f : fonts_) {
        decoded_.dropFont(f->cacheId());
        f->reset();
    }
}

Result<std::string> findDefaultSoundFont(const std::string& programFolder) {
    const std::string system[] = {kSystemSoundFontPath, kSystemCompressedSoundFontPath};
    return findDefaultSoundFont(programFolder, system);
}

Result<std::string> findDefaultSoundFont(const std::string& programFolder,
                                         std::span<const std::string> systemFonts) {
    std::error_code ec;
    std::filesystem::path own = platform::fsPath(programFolder) / kDefaultSoundFontName;
    if (std::filesystem::is_regular_file(own, ec)) return platform::pathText(own);
    std::string looked = "\"" + platform::pathText(own) + "\"";
    for (const std::string& system : systemFonts) {
        if (std::filesystem::is_regular_file(platform::fsPath(system), ec)) return system;
        looked += ", \"" + system + "\"";
    }
    return makeError(2, "no SoundFont found: none of " + looked + " exists");
}

}  // namespace svt
