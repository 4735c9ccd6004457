#include "song/SongInfo.h"

#include <algorithm>
#include <cstring>

#include "song/SmfReader.h"
#include "streams/streams.h"

namespace svt {

namespace {

struct KeyNames {
    const char* germanMajor;
    const char* englishMajor;
    const char* germanMinor;
    const char* englishMinor;
};

constexpr KeyNames kKeyNames[15] = {
    {"Ces-dur (7b)", "Cb-major (7b)", "as-moll (7b)", "Ab-minor (7b)"},
    {"Ges-dur (6b)", "Gb-major (6b)", "es-moll (6b)", "Eb-minor (6b)"},
    {"Des-dur (5b)", "Db-major (5b)", "b-moll (5b)", "Bb-minor (5b)"},
    {"As-dur (4b)", "Ab-major (4b)", "f-moll (4b)", "F-minor (4b)"},
    {"Es-dur (3b)", "Eb-major (3b)", "c-moll (3b)", "C-minor (3b)"},
    {"B-dur (2b)", "Bb-major (2b)", "g-moll (2b)", "G-minor (2b)"},
    {"F-dur (1b)", "F-major (1b)", "d-moll (1b)", "D-minor (1b)"},
    {"C-dur", "C-major", "a-moll", "A-minor"},
    {"G-dur (1#)", "G-major (1#)", "e-moll (1#)", "E-minor (1#)"},
    {"D-dur (2#)", "D-major (2#)", "h-moll (2#)", "B-minor (2#)"},
    {"A-dur (3#)", "A-major (3#)", "fis-moll (3#)", "F#-minor (3#)"},
    {"E-dur (4#)", "E-major (4#)", "cis-moll (4#)", "C#-minor (4#)"},
    {"H-dur (5#)", "B-major (5#)", "gis-moll (5#)", "G#-minor (5#)"},
    {"Fis-dur (6#)", "F#-major (6#)", "dis-moll (6#)", "D#-minor (6#)"},
    {"Cis-dur (7#)", "C#-major (7#)", "ais-moll (7#)", "A#-minor (7#)"},
};

uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// A look at the first tracks of a MIDI file for its title, without reading the song.
class TitleScan {
  public:
    TitleScan(InputStream& s, SongInfo& info) : s_(s), info_(info) {}

    void run() {
        uint8_t magic[4];
        if (s_.readFully(magic, 4) != 4) return;
        if (std::memcmp(magic, "RIFF", 4) == 0 && !enterRmidData(s_, magic)) return;
        if (std::memcmp(magic, "M1", 2) == 0 && std::memcmp(magic, "MThd", 4) != 0) {
            info_.format = 1;
            return;
        }
        if (std::memcmp(magic, "MThd", 4) != 0) return;
        uint8_t header[10];
        if (s_.readFully(header, 10) != 10) return;
        const uint32_t length = be32(header);
        const int format = (header[4] << 8) | header[5];
        const int tracks = (header[6] << 8) | header[7];
        if (format > 2) return;
        if (length > 6 && s_.skip(static_cast<long>(std::min<uint32_t>(length - 6, 0x7FFFFFFF))) !=
                              static_cast<long>(length - 6))
            return;
        info_.format = static_cast<int16_t>(format);
        info_.trackCount = tracks;
        const long end = s_.tell();
        info_.headerEnd = end >= 0 && end < 0xFFFF ? static_cast<uint16_t>(end) : 0xFFFF;
        if (format == 2) return;
        const int scan = tracks >= 3 ? 3 : std::min(tracks, 1);
        for (int t = 0; t < scan && !stop_; ++t) {
            if (karaoke_ == 1 && t == 2) karaoke_ = 2;
            if (!scanTrack(t)) break;
            // Beyond the second track only a started karaoke check goes on.
            if (sawChannelMessage_ || (t >= 1 && karaoke_ == 0)) break;
        }
    }

  private:
    bool scanTrack(int track) {
        bool cutShort = false;
        const std::optional<uint32_t> length = nextTrackChunk(s_, cutShort);
        if (!length) return false;
        const int64_t trackEnd = static_cast<int64_t>(s_.tell()) + *length;
        int kind = 0;
        for (;;) {
            if (s_.tell() >= trackEnd) return true;
            if (readVariableLength(s_) < 0) return false;
            int status = s_.getc();
            if (status < 0) return false;
            if (status == 0xF0 || status == 0xF7) {
                const int32_t n = readVariableLength(s_);
                if (n < 0) return false;
                if (n > 0 && status == 0xF0 && info_.makerId == 0) {
                    const int maker = s_.getc();
                    if (maker < 0) return false;
                    info_.makerId = static_cast<uint8_t>(maker);
                    if (s_.skip(n - 1) != n - 1) return false;
                } else if (s_.skip(n) != n) {
                    return false;
                }
                continue;
            }
            if (status == 0xFF) {
                const int type = s_.getc();
                const int32_t n = readVariableLength(s_);
                if (type < 0 || n < 0) return false;
                if (type == 0x2F) {
                    const long here = s_.tell();
                    if (here >= 0 && here < trackEnd) s_.skip(static_cast<long>(trackEnd - here));
                    return true;
                }
                if (type < 1 || type > 3) {
                    if (s_.skip(n) != n) return false;
                    continue;
                }
                std::string text(static_cast<size_t>(std::min<int32_t>(n, 8191)), '\0');
                if (s_.readFully(text.data(), static_cast<long>(text.size())) !=
                    static_cast<long>(text.size()))
                    return false;
                const long rest = static_cast<long>(n) - static_cast<long>(text.size());
                if (rest > 0 && s_.skip(rest) != rest) return false;
                onText(track, type, trimText(text));
                if (stop_) return true;
                continue;
            }
            int dataBytes;
            if (status >= 0x80 && status <= 0xEF) {
                kind = status >> 4;
                dataBytes =
                    (kind == 0xC || kind == 0xD) ? 0 : 1;  // the first is read with the status
                if (s_.getc() < 0) return false;
                sawChannelMessage_ = true;
            } else if (status >= 0xF1) {
                kind = status;
                dataBytes = status == 0xF2 ? 2 : status == 0xF3 ? 1 : 0;
            } else if (kind >= 0xF1) {
                dataBytes = kind == 0xF2 ? 2 : kind == 0xF3 ? 1 : 0;
            } else {
                dataBytes = (kind == 0xC || kind == 0xD) ? 0 : 1;
                sawChannelMessage_ = true;
            }
            if (dataBytes > 0 && s_.skip(dataBytes) != dataBytes) return false;
        }
    }

    void onText(int track, int type, const std::string& text) {
        if (track == 0) noteCopyrightOrComposer(info_, type, text);
        if (type == 2) return;
        if (type == 3 && track == 0 && !info_.title) info_.title = text;
        if (!info_.firstText && (track == 0 || karaoke_ > 0)) info_.firstText = text;
        if (type != 1) return;
        if (track == 1 && text.rfind("@KMIDI", 0) == 0) karaoke_ = 1;
        if (karaoke_ == 2) {
            if (text.rfind("@T", 0) == 0 && text.size() > 2) {
                std::string& k =
                    info_.karaokeTitle ? *info_.karaokeTitle : info_.karaokeTitle.emplace();
                if (!k.empty()) k += ' ';
                k += text.substr(2);
            }
            if (!text.empty() && text[0] == '\\') stop_ = true;
        }
    }

    InputStream& s_;
    SongInfo& info_;
    int karaoke_ = 0;
    bool sawChannelMessage_ = false;
    bool stop_ = false;
};

}  // namespace

void scanSongTitle(InputStream& stream, SongInfo& info) {
    TitleScan(stream, info).run();
    if (!info.firstText) info.firstText = std::string();
}

std::optional<std::string> displayTitle(const SongInfo& info) {
    if (info.format != 0 && info.format != 1) return std::nullopt;
    const std::optional<std::string>* candidates[] = {&info.title, &info.karaokeTitle,
                                                      &info.firstText};
    for (const auto* c : candidates) {
        if (!c->has_value()) continue;
        const std::string& text = **c;
        if (text.find_first_not_of(' ') == std::string::npos) return std::nullopt;
        return text;
    }
    return std::nullopt;
}

std::array<std::string, 16> channelTrackNames(const SongInfo& info) {
    std::array<std::string, 16> names;
    for (size_t c = 0; c < names.size(); ++c) {
        const int track = info.channelTrack[c];
        if (track >= 1 && track <= 16) names[c] = info.trackNames[static_cast<size_t>(track - 1)];
    }
    return names;
}

const char* keyName(int keyIndex, bool minor, Language language) {
    if (keyIndex < 0 || keyIndex > 14) return "";
    const KeyNames& k = kKeyNames[keyIndex];
    if (language == Language::German) return minor ? k.germanMinor : k.germanMajor;
    return minor ? k.englishMinor : k.englishMajor;
}

std::optional<std::string> composerIn(std::string_view text) {
    // Words that introduce a composer; those marked need a colon after them, as a text that
    // merely begins with "Music" is no credit.
    struct Lead {
        std::string_view words;
        bool colon;
    };
    static constexpr Lead kLeads[] = {{"composer", false},
                                      {"composed by", false},
                                      {"music by", false},
                                      {"written by", false},
                                      {"words and music by", false},
                                      {"komponist", false},
                                      {"komponiert von", false},
                                      {"musik von", false},
                                      {"music", true},
                                      {"musik", true}};
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (const Lead& lead : kLeads) {
        if (text.size() <= lead.words.size()) continue;
        bool same = true;
        for (size_t i = 0; i < lead.words.size() && same; ++i)
            same = lower(text[i]) == lead.words[i];
        if (!same) continue;
        size_t at = lead.words.size();
        // The lead must end as a word: "Composers' Guild" names nobody.
        if (text[at] != ' ' && text[at] != ':' && text[at] != '-') continue;
        while (at < text.size() && text[at] == ' ') ++at;
        const bool separator = at < text.size() && (text[at] == ':' || text[at] == '-');
        if (lead.colon && !(at < text.size() && text[at] == ':')) continue;
        if (separator) ++at;
        while (at < text.size() && text[at] == ' ') ++at;
        if (at < text.size()) return std::string(text.substr(at));
    }
    return std::nullopt;
}

void noteCopyrightOrComposer(SongInfo& info, int type, const std::string& text) {
    if (type == 2 && !info.copyright && !text.empty()) info.copyright = text;
    if (type == 1 && !info.composer) info.composer = composerIn(text);
}

std::string trimText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out.push_back(c);
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

SongInfo* SongInfoList::find(const std::string& fileName, bool create) {
    for (SongInfo& r : records_)
        if (r.fileName == fileName) return &r;
    if (!create) return nullptr;
    SongInfo& r = records_.emplace_front();
    r.fileName = fileName;
    r.drumMask = r.drumMask2 = defaultDrumMask_;
    return &r;
}

std::optional<std::string> SongInfoList::quickTitle(const std::string& fileName) {
    SongInfo* existing = find(fileName, false);
    if (existing != nullptr &&
        (existing->title || existing->firstText || existing->format < 0 || existing->read))
        return displayTitle(*existing);
    SongInfo& info = *find(fileName, true);
    Result<InputStreamPtr> stream = openStream(fileName);
    if (stream.ok()) scanSongTitle(*stream.value(), info);
    return displayTitle(info);
}

}  // namespace svt
