#include "app/Playlist.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <system_error>

#include "platform/OutputFile.h"
#include "platform/Paths.h"
#include "platform/PendingFile.h"
#include "streams/streams.h"

namespace svt {

SongSettings makeSongSettings(std::span<const SongEvent> events, int64_t lengthSamples,
                              int sampleRateHz) {
    SongSettings s;
    bool programSeen[kChannels] = {};
    for (int ch = 0; ch < kChannels; ++ch) s.program[ch] = -1;
    bool tempoSeen = false, keySeen = false, meterSeen = false;
    for (const SongEvent& e : events) {
        if (e.type == EV_END_OF_SONG) break;
        switch (e.type) {
            case EV_PROGRAM:
                if (e.channel < kChannels && !programSeen[e.channel]) {
                    programSeen[e.channel] = true;
                    s.program[e.channel] = e.a == 0 ? -1 : e.a - 1;
                }
                break;
            case EV_TEMPO:
                if (!tempoSeen) {
                    tempoSeen = true;
                    const int tempo = tempoOf(e);
                    // 500000 / tempo * 120 beats per minute, truncated; done in integers.
                    if (tempo > 0) s.originalTempo = static_cast<int32_t>(60000000 / tempo);
                }
                break;
            case EV_KEY_SIGNATURE: {
                const int sharps = static_cast<int8_t>(e.a);
                if (!keySeen && sharps >= -7 && sharps <= 7) {
                    keySeen = true;
                    s.originalKey = sharps + 7;
                    s.minor = e.b == 1 ? 1 : 0;
                }
                break;
            }
            case EV_TIME_SIGNATURE:
                // Channel 1 carries the metronome clocks, not the meter.
                if (!meterSeen && e.channel == 0) {
                    meterSeen = true;
                    s.meterNumerator = e.a;
                    s.meterDenominator = e.b;
                }
                break;
            default:
                break;
        }
    }
    // A song without a tempo event plays at 120 beats per minute; the tempo bar changes it
    // from there like any other song's.
    if (!tempoSeen) s.originalTempo = 120;
    s.newTempo = s.originalTempo;
    std::copy(std::begin(s.program), std::end(s.program), std::begin(s.songProgram));
    s.playingTimeSeconds =
        sampleRateHz > 0 ? static_cast<int32_t>(lengthSamples / sampleRateHz) : 0;
    return s;
}

int programChoiceOf(const SongSettings& settings, int channel) {
    if (channel < 0 || channel >= kChannels) return -1;
    const int32_t item = settings.program[channel];
    if (item < 0 || item >= 127 || item == settings.songProgram[channel]) return -1;
    return item + 1;
}

void applySongSettings(const SongSettings& settings, std::span<SongEvent> events) {
    for (SongEvent& e : events) {
        if (e.type == EV_END_OF_SONG) break;
        if (e.channel >= kChannels) continue;
        if (const int program = programChoiceOf(settings, e.channel);
            e.type == EV_PROGRAM && program >= 0)
            e.a = static_cast<uint8_t>(program);
        // Only channel events are muted: a system reset or master volume that happens to
        // carry channel byte 0 belongs to the whole song, not to channel 1.
        if (settings.mute[e.channel] == 1 && isChannelEvent(e.type)) e.type = EV_NONE;
    }
}

double timeRatioOf(const SongSettings& settings) {
    if (settings.originalTempo <= 0 || settings.newTempo <= 0) return 1.0;
    return static_cast<double>(settings.originalTempo) / settings.newTempo;
}

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string_view withoutTrailingSeparator(std::string_view s) {
    if (!s.empty() && isSeparator(s.back())) s.remove_suffix(1);
    return s;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) return false;
    return samePlaylistPath(s.substr(s.size() - suffix.size()), suffix);
}

// A name in a list that does not say where it is lies beside the list, wherever the program
// was started ("@" and "file:" keep their meaning; standard input stays what it is).
std::string besideList(const std::string& line, const std::string& list) {
    const bool reference = line[0] == '@';
    const std::string name = reference ? line.substr(1) : line;
    if (name.empty() || name == "-" || name[0] == '~' || name.rfind("file:", 0) == 0 ||
        !isLocalFileName(name))
        return line;
    const std::filesystem::path path = platform::fsPath(name);
    if (path.is_absolute() || path.has_root_name() || path.has_root_directory()) return line;
    const std::filesystem::path folder = platform::fsPath(list).parent_path();
    if (folder.empty()) return line;
    // In the system's own separators, so that the name matches the same song named directly.
    return (reference ? "@" : "") + platform::pathText((folder / path).make_preferred());
}

// Walks the names depth first, keeping the lists being read so that a list met again inside
// itself is noticed instead of read round and round.
class Expander {
  public:
    NameExpansion result;

    void expand(const std::string& name, const std::string& listName) {
        if (name.empty()) return;
        if (isPlaylistName(name)) {
            readList(name[0] == '@' ? name.substr(1) : name, listName);
        } else if (isFolder(name)) {
            for (std::string& file : expandFolders({name}, true))
                result.names.push_back({std::move(file), name});
        } else {
            result.names.push_back({name, std::string()});
        }
    }

  private:
    void readList(const std::string& file, const std::string& parent) {
        const std::string where = parent.empty() ? std::string() : parent + ": ";
        const std::optional<platform::FileIdentity> id = platform::fileIdentity(file);
        for (const auto& [openId, openName] : open_) {
            if (!id || !openId || *openId != *id) continue;
            result.warnings.push_back(openName == parent ? parent + ": names itself; passed over"
                                                         : where + "names " + file +
                                                               ", which is already being "
                                                               "read (a cycle); passed over");
            return;
        }
        if (static_cast<int>(open_.size()) >= kMaxPlaylistNesting) {
            result.warnings.push_back(where + "lists nest more than " +
                                      std::to_string(kMaxPlaylistNesting) + " deep here; " + file +
                                      " is not read");
            return;
        }
        auto stream = openStream(file);
        if (!stream.ok()) {
            result.warnings.push_back(where + file + ": " + stream.error().message);
            return;
        }
        // A playlist is a short text; anything beyond 16 MB is not one.
        const std::vector<uint8_t> bytes = stream.value()->readAll(16 << 20);
        std::vector<size_t> overLong;
        const std::vector<std::string> lines = parsePlaylistLines(bytes, &overLong);
        for (const size_t line : overLong)
            result.warnings.push_back(file + ": line " + std::to_string(line) +
                                      " is longer than any name can be; passed over");
        open_.emplace_back(id, file);
        for (const std::string& line : lines) expand(besideList(line, file), file);
        open_.pop_back();
    }

    std::vector<std::pair<std::optional<platform::FileIdentity>, std::string>> open_;
};

}  // namespace

bool samePlaylistPath(std::string_view a, std::string_view b) {
    a = withoutTrailingSeparator(a);
    b = withoutTrailingSeparator(b);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (std::tolower(ca) != std::tolower(cb)) return false;
    }
    return true;
}

bool isPlaylistName(std::string_view name) {
    return (!name.empty() && name[0] == '@') || endsWithNoCase(name, ".pli");
}

std::vector<std::string> parsePlaylistLines(std::span<const uint8_t> bytes,
                                            std::vector<size_t>* overLong) {
    std::vector<std::string> lines;
    size_t pos =
        bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    size_t number = 1;
    while (pos < bytes.size()) {
        size_t end = pos;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
        if (end - pos > kMaxPlaylistLine) {
            if (overLong != nullptr) overLong->push_back(number);
        } else if (end > pos) {
            lines.emplace_back(reinterpret_cast<const char*>(bytes.data() + pos), end - pos);
        }
        // CR LF ends one line, not two.
        pos =
            end + (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n' ? 2 : 1);
        ++number;
    }
    return lines;
}

NameExpansion expandNames(const std::vector<std::string>& names) {
    Expander expander;
    for (const std::string& name : names) expander.expand(name, std::string());
    return std::move(expander.result);
}

std::vector<std::string> expandPlaylistNames(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (ExpandedName& name : expandNames(names).names) out.push_back(std::move(name.path));
    return out;
}

Playlist::Playlist(SongProbe probe, uint32_t randomSeed)
    : probe_(std::move(probe)), random_(randomSeed) {
    resetRandomOrder();
}

int Playlist::indexOf(const std::string& path) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (samePlaylistPath(entries_[i].path, path)) return static_cast<int>(i);
    return -1;
}

std::vector<Playlist::Candidate> Playlist::probeNames(const std::vector<std::string>& names,
                                                      bool expand) const {
    std::vector<Candidate> out;
    std::vector<ExpandedName> paths;
    if (expand) {
        paths = expandNames(names).names;
    } else {
        for (const std::string& name : names) paths.push_back({name, {}});
    }
    out.reserve(paths.size());
    for (ExpandedName& name : paths) {
        Candidate c{std::move(name.path), std::nullopt, name.folder.empty()};
        std::error_code ec;
        const bool exists = c.path == "-" || std::filesystem::exists(platform::fsPath(c.path), ec);
        if (exists && indexOf(c.path) < 0 && probe_) c.probed = probe_(c.path);
        out.push_back(std::move(c));
    }
    return out;
}

int Playlist::addProbed(std::vector<Candidate> candidates) {
    const int before = count();
    int added = 0;
    int lastExisting = -1;
    for (size_t i = 0; i < candidates.size(); ++i) {
        Candidate& c = candidates[i];
        // A file may appear twice in one addition, or be listed while it was read.
        const int existing = indexOf(c.path);
        if (i + 1 == candidates.size()) lastExisting = existing;
        if (existing >= 0 || !c.probed || !c.probed->isSong) continue;
        entries_.push_back(Entry{c.path, std::move(c.probed->title), true, c.probed->settings});
        totalSeconds_ += c.probed->settings.playingTimeSeconds;
        extendRandomOrder(entries_.size() - 1);
        ++added;
    }
    if (lastExisting >= 0) {
        current_ = lastExisting;
    } else if (added > 0) {
        current_ = before;
    }
    return added;
}

int Playlist::addNames(const std::vector<std::string>& names, bool expand) {
    return addProbed(probeNames(names, expand));
}

std::vector<std::string> Playlist::refusedNames(const std::vector<Candidate>& candidates) {
    std::vector<std::string> out;
    for (const Candidate& c : candidates) {
        if (!c.named || !c.probed || c.probed->isSong) continue;
        const std::string& problem = c.probed->problem;
        if (problem.find(c.path) != std::string::npos)
            out.push_back(problem);
        else
            out.push_back(c.path + ": " + (problem.empty() ? "not a MIDI file" : problem));
    }
    return out;
}

bool Playlist::skipForward(int from, bool skip) {
    int i = from;
    if (skip) {
        while (i < count() && !entries_[static_cast<size_t>(i)].isSong) ++i;
        if (i >= count()) return false;
    }
    current_ = i;
    return true;
}

bool Playlist::select(int index, bool skip) {
    if (index < 0 || index >= count()) return false;
    if (!skipForward(index, skip)) current_ = index;
    return true;
}

bool Playlist::next(bool skip) {
    for (int i = current_ + 1; i < count(); ++i) {
        if (!skip || entries_[static_cast<size_t>(i)].isSong) {
            current_ = i;
            return true;
        }
    }
    return false;
}

bool Playlist::previous(bool skip) {
    for (int i = current_ - 1; i >= 0; --i) {
        if (!skip || entries_[static_cast<size_t>(i)].isSong) {
            current_ = i;
            return true;
        }
    }
    return false;
}

void Playlist::resetRandomOrder() {
    randomOrder_.clear();
    randomOrder_.reserve(entries_.size() + 1);
    for (int i = 0; i < count(); ++i) randomOrder_.push_back(i);
    randomOrder_.push_back(-1);
    randomPosition_ = -1;
}

void Playlist::startRandomOrderAt(int index) {
    resetRandomOrder();
    if (index < 0 || index >= count()) return;
    std::swap(randomOrder_.front(), randomOrder_[static_cast<size_t>(index)]);
    randomPosition_ = 0;
}

bool Playlist::hasNext(bool random, bool skip) const {
    const auto playable = [&](int i) {
        return i >= 0 && i < count() && (!skip || entries_[static_cast<size_t>(i)].isSong);
    };
    if (random) {
        for (size_t p = static_cast<size_t>(randomPosition_ + 1); p < randomOrder_.size(); ++p)
            if (playable(randomOrder_[p])) return true;
        return false;
    }
    for (int i = current_ + 1; i < count(); ++i)
        if (playable(i)) return true;
    return false;
}

void Playlist::extendRandomOrder(size_t from) {
    if (!randomOrder_.empty() && randomOrder_.back() == -1) randomOrder_.pop_back();
    for (size_t i = from; i < entries_.size(); ++i) randomOrder_.push_back(static_cast<int>(i));
    randomOrder_.push_back(-1);
}

bool Playlist::randomNext(bool skip) {
    // The table ends with -1; everything before the position has been played.
    const int end = static_cast<int>(randomOrder_.size()) - 1;
    while (randomPosition_ + 1 < end) {
        ++randomPosition_;
        std::uniform_int_distribution<int> pick(randomPosition_, end - 1);
        std::swap(randomOrder_[static_cast<size_t>(randomPosition_)],
                  randomOrder_[static_cast<size_t>(pick(random_))]);
        const int index = randomOrder_[static_cast<size_t>(randomPosition_)];
        if (index >= 0 && index < count() &&
            (!skip || entries_[static_cast<size_t>(index)].isSong)) {
            current_ = index;
            return true;
        }
    }
    return false;
}

void Playlist::removeWhere(const std::function<bool(size_t)>& doomed, bool* currentRemoved) {
    std::vector<Entry> kept;
    kept.reserve(entries_.size());
    int newCurrent = 0;
    bool removedCurrent = false;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const bool isCurrent = static_cast<int>(i) == current_;
        if (doomed(i)) {
            totalSeconds_ -= entries_[i].settings.playingTimeSeconds;
            if (isCurrent) {
                removedCurrent = true;
                newCurrent = static_cast<int>(kept.size());
            }
            continue;
        }
        if (isCurrent) newCurrent = static_cast<int>(kept.size());
        kept.push_back(std::move(entries_[i]));
    }
    entries_ = std::move(kept);
    // A removed current entry hands over to the one that took its place, or the new last.
    current_ = entries_.empty() ? 0 : std::min(newCurrent, count() - 1);
    if (currentRemoved != nullptr) *currentRemoved = removedCurrent;
}

void Playlist::remove(int index) {
    if (index < 0 || index >= count()) return;
    totalSeconds_ -= entries_[static_cast<size_t>(index)].settings.playingTimeSeconds;
    entries_.erase(entries_.begin() + index);
    if (index < current_ || current_ >= count()) current_ = std::max(0, current_ - 1);
}

bool Playlist::removeDuplicates() {
    std::vector<bool> doomed(entries_.size(), false);
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (doomed[i]) continue;
        for (size_t j = i + 1; j < entries_.size(); ++j)
            if (!doomed[j] && samePlaylistPath(entries_[i].path, entries_[j].path))
                doomed[j] = true;
    }
    bool currentRemoved = false;
    removeWhere([&](size_t i) { return doomed[i]; }, &currentRemoved);
    return currentRemoved;
}

bool Playlist::removeInvalid() {
    bool currentRemoved = false;
    removeWhere([&](size_t i) { return !entries_[i].isSong; }, &currentRemoved);
    return currentRemoved;
}

void Playlist::clear() {
    entries_.clear();
    current_ = 0;
    totalSeconds_ = 0;
    resetRandomOrder();
}

Status Playlist::save(const std::string& path, Language language) const {
    // Written whole beside the list and renamed over it: a full disk or a stop halfway keeps
    // the list that was there.
    std::string text;
    for (const Entry& e : entries_) text += e.path + "\r\n";
    if (const int error = platform::writeWholeFile(path, text); error != 0)
        return makeError(std::string(tr(language, "Datei nicht vorhanden", "File not found")) +
                         " (" + path + ": " + platform::OutputFile::errorText(error) + ")");
    return Ok{};
}

}  // namespace svt
