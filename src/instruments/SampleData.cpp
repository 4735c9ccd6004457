// Sample data: where each sample's points come from (the sample chunk, or a compressed
// stream decoded on first use), how instruments get their copies of it, and the processing
// applied on the way (anti-aliasing, pre-resampling of fixed-note regions).

#include <algorithm>
#include <array>
#include <atomic>
#include <bitset>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <numbers>
#include <optional>
#include <system_error>
#include <thread>

#include "instruments/FontBytes.h"
#include "instruments/LoadedSoundFont.h"
#include "instruments/Tables.h"
#include "streams/streams.h"

namespace svt {
namespace {

// Header notes about samples that still play (a loop outside its sample and the like).
constexpr size_t kMaxSampleNotes = 16;
constexpr size_t kMaxProblems = 64;

class LinearResampler final : public FixedNoteResampler {
  public:
    void resample(std::span<const int16_t> in, double step, std::span<int16_t> out) const override {
        for (size_t n = 0; n < out.size(); ++n) {
            double pos = static_cast<double>(n) * step;
            auto i = static_cast<size_t>(pos);
            if (i + 1 >= in.size()) {
                out[n] = i < in.size() ? in[i] : 0;
                continue;
            }
            double f = pos - static_cast<double>(i);
            double v = in[i] + (in[i + 1] - in[i]) * f;
            out[n] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
    }
};

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k <= 26; ++k) {
        term *= (x / 2) / k;
        double t2 = term * term;
        sum += t2;
        if (t2 < sum * 1e-8) break;
    }
    return sum;
}

// Low-pass for data recorded above the output rate: a Kaiser-windowed sinc of 20 taps.
void antiAlias(int16_t* data, size_t count, int32_t outputRate, int32_t sampleRate) {
    double ratio = static_cast<double>(outputRate) / sampleRate;
    double beta = std::pow(11.1225968, 0.4) + 1.5014944;
    double g[10];
    for (int i = 0; i < 10; ++i) {
        double xi = (i + 0.5) * std::numbers::pi;
        double w =
            besselI0(beta * std::sqrt(1.0 - 4.0 * (i + 0.5) * (i + 0.5) / 361.0)) / besselI0(beta);
        g[i] = std::sin(xi * ratio) / xi * w;
    }
    double c[20];
    for (int t = 0; t < 10; ++t) {
        c[t] = g[9 - t];
        c[10 + t] = g[t];
    }
    std::vector<int16_t> in(data, data + count);
    for (size_t n = 0; n < count; ++n) {
        double sum = 0;
        for (int t = 0; t < 20; ++t) {
            int64_t idx = static_cast<int64_t>(n) - 10 + t;
            if (idx >= 0 && idx < static_cast<int64_t>(count))
                sum += c[t] * in[static_cast<size_t>(idx)];
        }
        data[n] = static_cast<int16_t>(std::clamp(sum, -32768.0, 32767.0));
    }
}

std::bitset<128> rangeMask(int low, int high) {
    std::bitset<128> m;
    for (int i = std::max(low, 0); i <= std::min(high, 127); ++i) m.set(static_cast<size_t>(i));
    return m;
}

// Which regions of an entry an instrument for `notes` keeps: those stored as points (unless
// `allSamples` is set), and those whose sample some note sounds, through a region that serves it
// or, for a note no region serves, through the region nearest in pitch that the voices then play
// (and the right half of a stereo pair with its left). Regions of a sample that is decoded anyway
// cost nothing more and are kept too.
std::vector<bool> regionsToKeep(const PresetIndexEntry& entry, const NoteSet* notes,
                                bool allSamples) {
    const size_t n = entry.regions.size();
    std::vector<bool> keep(n, true);
    auto marked = [allSamples](const PendingRegion& p) {
        return allSamples || p.compressedSample >= 0;
    };
    if (notes == nullptr || notes->empty() ||
        std::none_of(entry.regions.begin(), entry.regions.end(), marked))
        return keep;
    // Velocities that may reach each key: a drum key plays its regions whatever their range.
    std::array<std::bitset<128>, 128> near;
    for (size_t k = 0; k < 128; ++k) {
        near[k] = entry.key >= 0 ? notes->velocitiesNear(64, 64)
                                 : notes->velocitiesNear(static_cast<int>(k), kMarkedNoteMargin);
    }
    std::vector<std::bitset<128>> velocityMask(n);
    std::vector<bool> needed(n, false);
    std::array<std::bitset<128>, 128> served;
    for (size_t i = 0; i < n; ++i) {
        const PendingRegion& p = entry.regions[i];
        velocityMask[i] = rangeMask(p.region.lowVelocity, p.region.highVelocity);
        for (size_t k = p.lowKey; k <= std::min<size_t>(p.highKey, 127); ++k) {
            served[k] |= velocityMask[i];
            needed[i] = needed[i] || (near[k] & velocityMask[i]).any();
        }
    }
    for (size_t k = 0; k < 128; ++k) {
        if ((near[k] & ~served[k]).none()) continue;
        const int64_t f = noteFrequencyMilliHz(static_cast<int>(k));
        for (bool right : {false, true}) {
            int64_t best = INT64_MAX;
            for (const PendingRegion& p : entry.regions) {
                if ((p.region.sfSampleType == kSampleRight) == right)
                    best = std::min(best, std::abs(p.region.rootFreq - f));
            }
            for (size_t i = 0; i < n; ++i) {
                const SampleRegion& r = entry.regions[i].region;
                if ((r.sfSampleType == kSampleRight) == right && std::abs(r.rootFreq - f) == best)
                    needed[i] = true;
            }
        }
    }
    std::vector<int32_t> samples;
    for (size_t i = 0; i < n; ++i) {
        if (!needed[i]) continue;
        const SampleRegion& r = entry.regions[i].region;
        samples.push_back(r.sfSampleIndex);
        if (r.sfSampleType == kSampleLeft) {
            for (const PendingRegion& p : entry.regions) {
                if (p.region.sfSampleType == kSampleRight &&
                    p.region.sfSampleIndex == r.sfLinkedSample)
                    samples.push_back(p.region.sfSampleIndex);
            }
        }
    }
    std::sort(samples.begin(), samples.end());
    for (size_t i = 0; i < n; ++i) {
        keep[i] =
            !marked(entry.regions[i]) || std::binary_search(samples.begin(), samples.end(),
                                                            entry.regions[i].region.sfSampleIndex);
    }
    return keep;
}

}  // namespace

std::string SampleProblem::text() const {
    return "sample " + std::to_string(sample) + " \"" + name + "\" " + reason +
           "; it is not played";
}

void LoadedSoundFont::addSampleProblem(int32_t sample, std::string reason, bool silent) {
    auto i = static_cast<size_t>(sample);
    if (silent) {
        samples_[i].playable = false;
        if (problemOfSample_[i] >= 0) return;
        problemOfSample_[i] = static_cast<int32_t>(sampleProblems_.size());
        sampleProblems_.push_back({sample, samples_[i].name, std::move(reason)});
        reason = sampleProblems_.back().text();
    } else {
        reason = "sample " + std::to_string(sample) + " \"" + samples_[i].name + "\" " + reason;
    }
    if (problems_.size() < kMaxProblems) {
        problems_.push_back({std::move(reason)});
    } else if (problems_.size() == kMaxProblems) {
        problems_.push_back({"further problems not listed"});
    }
}

void LoadedSoundFont::prepareSamples(const SoundFontFile& file) {
    const size_t count = file.sampleHeaders.size();
    samples_.assign(count, SampleData{});
    problemOfSample_.assign(count, -1);
    problemMet_.assign(count, false);
    FontBytes bytes;
    bool opened = false;
    std::vector<uint8_t> head, tail;
    const int64_t points = file.sampleDataSize / 2;
    // Where each stream was first named: headers that name it again decode it no more.
    std::map<std::pair<int64_t, int64_t>, int32_t> streams;
    size_t notes = 0;
    bool oldVersionNoted = false;
    auto note = [&](size_t i, const std::string& text) {
        if (notes++ < kMaxSampleNotes) addSampleProblem(static_cast<int32_t>(i), text, false);
    };
    for (size_t i = 0; i < count; ++i) {
        const SampleHeader& h = file.sampleHeaders[i];
        SampleData& d = samples_[i];
        d.name = h.name;
        d.decodedAs = static_cast<int32_t>(i);
        // The closing record ("EOS") is no sample.
        const bool closing = i + 1 == count;
        if ((h.sampleType & kSampleRomBit) != 0 || (closing && h.sampleType == 0)) continue;
        const auto index = static_cast<int32_t>(i);
        if ((h.sampleType & ~kKnownSampleTypeBits) != 0) {
            char type[8];
            std::snprintf(type, sizeof type, "0x%04X", h.sampleType);
            addSampleProblem(index, std::string("has the unknown sample type ") + type, true);
            continue;
        }
        if ((h.sampleType & kSampleCompressedBit) == 0) {
            if (closing) continue;
            if (h.end > points || h.start > h.end) {
                note(i, "lies outside the sample data (points " + std::to_string(h.start) + ".." +
                            std::to_string(h.end) + " of " + std::to_string(points) + ")");
            } else if (h.loopStart < h.start || h.loopEnd > h.end || h.loopEnd < h.loopStart) {
                note(i, "has a loop outside its sample (" + std::to_string(h.loopStart) + ".." +
                            std::to_string(h.loopEnd) + " in " + std::to_string(h.start) + ".." +
                            std::to_string(h.end) + ")");
            }
            continue;
        }
        // A compressed sample: its start and end are the byte offsets of its stream.
        d.compressed = true;
        ++compressedCount_;
        if (h.start >= h.end || h.end > file.sampleDataSize) {
            addSampleProblem(index,
                             "has its stream outside the sample data (bytes " +
                                 std::to_string(h.start) + ".." + std::to_string(h.end) + " of " +
                                 std::to_string(file.sampleDataSize) + ")",
                             true);
            continue;
        }
        d.streamPos = file.sampleDataPos + h.start;
        d.streamBytes = h.end - h.start;
        const auto [first, isNew] = streams.try_emplace({d.streamPos, d.streamBytes}, index);
        d.decodedAs = first->second;
        if (!isNew) {
            const auto f = static_cast<size_t>(first->second);
            d.frames = samples_[f].frames;
            d.rateHz = samples_[f].rateHz;
            if (!samples_[f].playable)
                addSampleProblem(
                    index, sampleProblems_[static_cast<size_t>(problemOfSample_[f])].reason, true);
            continue;
        }
        compressedBytes_ += d.streamBytes;
        if (!opened) opened = bytes.open(bytes_, fileName_);
        const auto headBytes = std::min<int64_t>(d.streamBytes, kProbeHeadBytes);
        const auto tailBytes = std::min<int64_t>(d.streamBytes, kProbeTailBytes);
        StreamProbe probe = probeCompressedStream(
            bytes.read(d.streamPos, headBytes, head),
            bytes.read(d.streamPos + d.streamBytes - tailBytes, tailBytes, tail));
        if (!probe.playable()) {
            addSampleProblem(index, probe.problem, true);
            continue;
        }
        d.frames = probe.frames;
        d.rateHz = probe.rateHz;
        decodedBytes_ += 2 * probe.frames;
        if (file.versionMajor < 3 && !oldVersionNoted) {
            oldVersionNoted = true;
            note(i, "is compressed, though the font calls itself version " +
                        std::to_string(file.versionMajor) + "; compressed samples are played");
        }
        if (probe.channels > 1) {
            note(i, "is a stream of " + std::to_string(probe.channels) +
                        " channels; only the first is played");
        }
        if (probe.rateHz != h.sampleRate) {
            note(i, "says " + std::to_string(h.sampleRate) + " Hz, but its stream holds " +
                        std::to_string(probe.rateHz) + " Hz, which is played");
        }
        if (h.loopStart > h.loopEnd || h.loopEnd > static_cast<uint64_t>(probe.frames)) {
            note(i, "has a loop outside its sample (" + std::to_string(h.loopStart) + ".." +
                        std::to_string(h.loopEnd) + " in the " + std::to_string(probe.frames) +
                        " points it decodes to)");
        }
    }
}

std::shared_ptr<const DecodedSample> LoadedSoundFont::decoded(int32_t sample,
                                                              const FontBytes& bytes,
                                                              DecodedSampleCache& cache) {
    sample = samples_[static_cast<size_t>(sample)].decodedAs;
    if (std::shared_ptr<const DecodedSample> hit = cache.find(cacheId_, sample)) return hit;
    const SampleData& d = samples_[static_cast<size_t>(sample)];
    if (!d.playable || !roomFor(sample, d.decodedBytes(), cache, true)) return nullptr;
    std::vector<uint8_t> scratch;
    auto result = decodeVorbisStream(bytes.read(d.streamPos, d.streamBytes, scratch), d.frames);
    if (!result.ok()) {
        noteDecodeFailure(sample, result.error().message);
        return nullptr;
    }
    cache.insert(cacheId_, sample, *result);
    return *result;
}

bool LoadedSoundFont::roomFor(int32_t sample, size_t bytes, DecodedSampleCache& cache,
                              bool decoding) {
    const size_t bound =
        decoding ? cache.songLimit()
                 : std::max(cache.songLimit(), 2 * static_cast<size_t>(sampleDataSize_));
    const size_t others = cache.copiedBytes() + bytes;
    if (cache.bytes() + others > bound) cache.trim(others < bound ? bound - others : 0);
    if (cache.bytes() + others <= bound) {
        if (!decoding) cache.noteCopied(bytes);
        return true;
    }
    if (refused_.size() != samples_.size()) refused_.assign(samples_.size(), false);
    if (!refused_[static_cast<size_t>(sample)]) {
        refused_[static_cast<size_t>(sample)] = true;
        if (refusal_)
            ++refusal_->more;
        else
            refusal_ = Refusal{sample, decoding, bound, 0};
    }
    return false;
}

void LoadedSoundFont::noteDecodeFailure(int32_t sample, std::string reason) {
    addSampleProblem(sample, std::move(reason), true);
    if (!problemMet_[static_cast<size_t>(sample)]) {
        problemMet_[static_cast<size_t>(sample)] = true;
        pendingMet_.push_back(sample);
    }
}

std::vector<int32_t> LoadedSoundFont::samplesToDecode(const PresetIndexEntry& entry,
                                                      const NoteSet* notes,
                                                      const DecodedSampleCache& cache) const {
    std::vector<int32_t> wanted;
    const std::vector<bool> keep = regionsToKeep(entry, notes, settings_.songKeysFixed);
    for (size_t i = 0; i < entry.regions.size(); ++i) {
        int32_t s = entry.regions[i].compressedSample;
        if (!keep[i] || s < 0) continue;
        s = samples_[static_cast<size_t>(s)].decodedAs;
        if (!samples_[static_cast<size_t>(s)].playable || cache.holds(cacheId_, s)) continue;
        if (std::find(wanted.begin(), wanted.end(), s) == wanted.end()) wanted.push_back(s);
    }
    return wanted;
}

void LoadedSoundFont::decodeAhead(std::span<const int32_t> wanted, DecodedSampleCache& cache,
                                  int threads) {
    // Only what fits within a song's bound is decoded ahead; building the instruments decides
    // about the rest, one sample at a time.
    std::vector<int32_t> samples;
    size_t ahead = 0;
    const size_t bound = cache.songLimit();
    for (const int32_t s : wanted) {
        const size_t others =
            cache.copiedBytes() + ahead + samples_[static_cast<size_t>(s)].decodedBytes();
        if (cache.bytes() + others > bound) cache.trim(others < bound ? bound - others : 0);
        if (cache.bytes() + others > bound) continue;
        ahead += samples_[static_cast<size_t>(s)].decodedBytes();
        samples.push_back(s);
    }
    if (samples.empty()) return;
    using Decoded = Result<std::shared_ptr<const DecodedSample>>;
    std::vector<std::optional<Decoded>> results(samples.size());
    std::atomic<size_t> next{0};
    // Each worker reads with a file handle of its own and decodes into a result of its own;
    // the cache and the problem lists are touched only after all have finished.
    auto work = [&] {
        FontBytes bytes;
        if (!bytes.open(bytes_, fileName_)) return;
        std::vector<uint8_t> scratch;
        for (size_t i = next++; i < samples.size(); i = next++) {
            const SampleData& d = samples_[static_cast<size_t>(samples[i])];
            // Out of memory is this sample's problem: a worker must not end the program.
            try {
                results[i] =
                    decodeVorbisStream(bytes.read(d.streamPos, d.streamBytes, scratch), d.frames);
            } catch (const std::bad_alloc&) {
                results[i] = Decoded(makeError("cannot be decoded: not enough memory"));
            }
        }
    };
    const size_t helpers = std::min(samples.size(), static_cast<size_t>(std::max(threads, 1))) - 1;
    std::vector<std::thread> pool;
    for (size_t t = 0; t < helpers; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones running share the work
        }
    }
    work();
    for (std::thread& t : pool) t.join();
    for (size_t i = 0; i < samples.size(); ++i) {
        if (!results[i]) continue;  // the file could not be opened: building tries again
        if (results[i]->ok()) {
            cache.insert(cacheId_, samples[i], **results[i]);
        } else {
            noteDecodeFailure(samples[i], results[i]->error().message);
        }
    }
}

void LoadedSoundFont::noteSilentSamples(const PresetIndexEntry& entry) {
    for (int32_t s : entry.silentSamples) {
        if (s < 0 || static_cast<size_t>(s) >= problemMet_.size() ||
            problemMet_[static_cast<size_t>(s)])
            continue;
        problemMet_[static_cast<size_t>(s)] = true;
        pendingMet_.push_back(s);
    }
}

std::vector<SampleProblem> LoadedSoundFont::takeProblemsMet() {
    std::vector<SampleProblem> met;
    for (int32_t s : pendingMet_) {
        int32_t p = problemOfSample_[static_cast<size_t>(s)];
        if (p >= 0) met.push_back(sampleProblems_[static_cast<size_t>(p)]);
    }
    pendingMet_.clear();
    if (refusal_) {
        const Refusal& r = *refusal_;
        std::string reason = r.decoding ? "is not decoded" : "is left out";
        if (r.more > 0) reason += ", and so are " + std::to_string(r.more) + " more samples";
        reason += std::string(": with ") + (r.more > 0 ? "them" : "it") +
                  " the song's samples would take more than " +
                  std::to_string((r.boundBytes + (1 << 19)) >> 20) + " MiB";
        met.push_back({r.sample, samples_[static_cast<size_t>(r.sample)].name, std::move(reason)});
        refusal_.reset();
        refused_.clear();
    }
    return met;
}

int LoadedSoundFont::verifyCompressedSamples(const std::function<void(int, int)>& progress) {
    if (!usable() || compressedCount_ == 0) return 0;
    FontBytes bytes;
    if (!bytes.open(bytes_, fileName_)) return 0;
    // A stream that several headers name is decoded once.
    auto verified = [this](size_t i) {
        const SampleData& d = samples_[i];
        return d.compressed && d.playable && d.decodedAs == static_cast<int32_t>(i);
    };
    int total = 0;
    for (size_t i = 0; i < samples_.size(); ++i) total += verified(i) ? 1 : 0;
    int done = 0, failed = 0;
    std::vector<uint8_t> scratch;
    for (size_t i = 0; i < samples_.size(); ++i) {
        const SampleData& d = samples_[i];
        if (!verified(i)) continue;
        auto result = decodeVorbisStream(bytes.read(d.streamPos, d.streamBytes, scratch), d.frames);
        if (!result.ok()) {
            addSampleProblem(static_cast<int32_t>(i), result.error().message, true);
            ++failed;
        }
        if (progress) progress(++done, total);
    }
    return failed;
}

std::unique_ptr<Instrument> LoadedSoundFont::build(const PresetIndexEntry& entry,
                                                   DecodedSampleCache& cache,
                                                   const NoteSet* notes) {
    noteSilentSamples(entry);
    // Points come from the caller's bytes or are read from the file, region by region;
    // compressed streams are read by position.
    auto compressed = [](const PendingRegion& p) { return p.compressedSample >= 0; };
    const bool needsPoints = !std::all_of(entry.regions.begin(), entry.regions.end(), compressed);
    const bool needsStreams = std::any_of(entry.regions.begin(), entry.regions.end(), compressed);
    FontBytes streams;
    if (needsStreams && !streams.open(bytes_, fileName_)) return nullptr;
    InputStreamPtr stream;
    std::span<const uint8_t> view = bytes_;
    if (view.empty() && needsPoints) {
        Result<InputStreamPtr> in = openStream(fileName_);
        if (!in.ok()) return nullptr;
        stream = std::move(*in);
        view = stream->memoryView();
    }
    auto read = [&](int64_t pos, int64_t bytes, int16_t* out) {
        std::memset(out, 0, static_cast<size_t>(bytes));
        if (!view.empty()) {
            if (pos < 0 || pos >= static_cast<int64_t>(view.size())) return;
            int64_t n = std::min<int64_t>(bytes, static_cast<int64_t>(view.size()) - pos);
            std::memcpy(out, view.data() + pos, static_cast<size_t>(n));
        } else if (stream->seek(static_cast<long>(pos), 0) == 0) {
            stream->readFully(out, static_cast<long>(bytes));
        }
    };

    const SynthTables& tab = synthTables();
    const FixedNoteResampler* resampler = settings_.resampler();
    static const LinearResampler linear;
    if (resampler == nullptr) resampler = &linear;

    auto inst = std::make_unique<Instrument>();
    inst->kind = kInstrumentKindSoundFont;
    if (entry.presetPos >= 0 && static_cast<size_t>(entry.presetPos) < presetNames_.size()) {
        inst->displayName = presetNames_[static_cast<size_t>(entry.presetPos)];
    }
    inst->regions.reserve(entry.regions.size());
    std::vector<const PendingRegion*> made;  // the pending region of each region made
    std::vector<int64_t> owned;              // points held by the buffer each region reads
    const std::vector<bool> keep = regionsToKeep(entry, notes, settings_.songKeysFixed);
    // Regions of sample headers that name one stream read the same points.
    auto sourceOf = [this](const PendingRegion& p) {
        return p.compressedSample < 0 ? -1
                                      : samples_[static_cast<size_t>(p.compressedSample)].decodedAs;
    };
    for (size_t index = 0; index < entry.regions.size(); ++index) {
        if (!keep[index]) continue;
        const PendingRegion& pr = entry.regions[index];
        SampleRegion r = pr.region;
        r.pcm = nullptr;
        r.ownsPcm = 0;
        int64_t points = pr.byteLength / 2;
        bool loops = (r.modeFlags & kRegionLooping) != 0;
        if (r.fixedNote == 0 || loops) {
            for (size_t j = 0; j < inst->regions.size(); ++j) {
                const SampleRegion& o = inst->regions[j];
                const PendingRegion& op = *made[j];
                bool candidate = op.filePos == pr.filePos && op.firstPoint == pr.firstPoint &&
                                 sourceOf(op) == sourceOf(pr) &&
                                 (o.fixedNote == 0 || (o.modeFlags & kRegionLooping) != 0);
                if (settings_.antiAliasing)
                    candidate =
                        candidate && o.endPos == r.endPos && o.sampleRateHz == r.sampleRateHz;
                // Only a buffer that holds all of this region's points can be shared.
                if (candidate && owned[j] >= points) {
                    r.pcm = o.pcm;
                    owned.push_back(owned[j]);
                    break;
                }
            }
        }
        std::shared_ptr<const DecodedSample> source;
        if (r.pcm == nullptr && pr.compressedSample >= 0) {
            source = decoded(pr.compressedSample, streams, cache);
            if (!source) continue;  // the stream failed: this region stays silent
            if (std::find(inst->decodedSamples.begin(), inst->decodedSamples.end(), source) ==
                inst->decodedSamples.end())
                inst->decodedSamples.push_back(source);
        }
        const bool filtered = settings_.antiAliasing && settings_.outputRate() < r.sampleRateHz;
        if (r.pcm == nullptr && source && !filtered && (r.fixedNote == 0 || loops) &&
            pr.firstPoint + points == source->frames) {
            // A region that plays its decoded sample to the end reads it where it is: the
            // zero points the voice needs follow the decoded sound.
            r.pcm = source->points.get() + pr.firstPoint;
            owned.push_back(points);
        }
        if (r.pcm == nullptr) {
            if (!roomFor(r.sfSampleIndex, (static_cast<size_t>(points) + 4) * 2, cache, false))
                continue;
            // The region's end lies one point past the data (that point is silence), and a
            // voice may read three more beyond the end: four zero points follow the data.
            auto buffer = std::make_unique<int16_t[]>(static_cast<size_t>(points) + 4);
            if (source) {
                int64_t available = std::clamp<int64_t>(source->frames - pr.firstPoint, 0, points);
                std::memcpy(buffer.get(), source->points.get() + pr.firstPoint,
                            static_cast<size_t>(available) * 2);
            } else {
                read(pr.filePos, pr.byteLength, buffer.get());
            }
            for (size_t i = 0; i < 4; ++i) buffer[static_cast<size_t>(points) + i] = 0;
            if (filtered) {
                antiAlias(buffer.get(), static_cast<size_t>(points), settings_.outputRate(),
                          r.sampleRateHz);
            }
            int64_t bufferPoints = points;
            if (r.fixedNote != 0 && !loops) {
                double f = tab.noteFreqMilliHz[r.fixedNote];
                double a = (static_cast<double>(r.rootFreq) * settings_.outputRate()) /
                           (f * r.sampleRateHz);
                double newEnd = r.endPos * a;
                if (newEnd < 2147483648.0) {
                    auto newPoints = static_cast<size_t>(static_cast<int64_t>(newEnd) >> 12) + 1;
                    auto resampled = std::make_unique<int16_t[]>(newPoints + 3);
                    resampler->resample(
                        std::span<const int16_t>(buffer.get(), static_cast<size_t>(points) + 3),
                        1.0 / a, std::span<int16_t>(resampled.get(), newPoints));
                    resampled[newPoints] = resampled[newPoints + 1] = resampled[newPoints + 2] = 0;
                    r.endPos = static_cast<uint32_t>(newEnd);
                    r.loopStartPos = static_cast<uint32_t>(std::min(r.loopStartPos * a, newEnd));
                    r.loopEndPos = static_cast<uint32_t>(std::min(r.loopEndPos * a, newEnd));
                    r.rootFreq = tab.noteFreqMilliHz[r.fixedNote];
                    r.sampleRateHz = settings_.outputRate();
                    r.lowKeyFreq = tab.noteFreqMilliHz[0];
                    r.highKeyFreq = tab.noteFreqMilliHz[127];
                    buffer = std::move(resampled);
                    bufferPoints = static_cast<int64_t>(newPoints);
                    if (bufferPoints > points)
                        cache.noteCopied(static_cast<size_t>(bufferPoints - points) * 2);
                }
            }
            r.pcm = buffer.get();
            r.ownsPcm = 1;
            inst->pcmBytes += static_cast<size_t>(bufferPoints + 4) * 2;
            inst->pcmBuffers.push_back(std::move(buffer));
            owned.push_back(bufferPoints);
        }
        inst->regions.push_back(r);
        made.push_back(&pr);
    }
    if (stream) (void)stream->close();
    if (inst->regions.empty() && !entry.regions.empty()) return nullptr;
    size_t modulatorTotal = 0;
    for (const PendingRegion* p : made) modulatorTotal += p->modulators.size();
    inst->modulators.reserve(modulatorTotal);
    for (size_t i = 0; i < made.size(); ++i) {
        const std::vector<Modulator>& mods = made[i]->modulators;
        SampleRegion& r = inst->regions[i];
        r.modulatorCount = static_cast<uint16_t>(std::min<size_t>(mods.size(), UINT16_MAX));
        r.modulators = mods.empty() ? nullptr : inst->modulators.data() + inst->modulators.size();
        inst->modulators.insert(inst->modulators.end(), mods.begin(),
                                mods.begin() + r.modulatorCount);
    }
    return inst;
}

}  // namespace svt
