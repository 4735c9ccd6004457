#include "song/SmfReader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <limits>

#include "song/ProgramChoice.h"
#include "song/Sysex.h"

namespace svt {

int32_t readVariableLength(InputStream& s) {
    int32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const int c = s.getc();
        if (c < 0) return -1;
        value = (value << 7) | (c & 0x7F);
        if ((c & 0x80) == 0) return value;
    }
    return -2;
}

bool enterRmidData(InputStream& s, uint8_t magic[4]) {
    uint8_t form[8];
    if (s.readFully(form, 8) != 8 || std::memcmp(form + 4, "RMID", 4) != 0) return false;
    // Information chunks ("LIST", "DISP") may come before the song; each is padded to an
    // even length.
    for (;;) {
        uint8_t chunk[8];
        if (s.readFully(chunk, 8) != 8) return false;
        const uint32_t size = uint32_t{chunk[4]} | (uint32_t{chunk[5]} << 8) |
                              (uint32_t{chunk[6]} << 16) | (uint32_t{chunk[7]} << 24);
        if (std::memcmp(chunk, "data", 4) == 0) return s.readFully(magic, 4) == 4;
        const long skip =
            static_cast<long>(std::min<uint64_t>(uint64_t{size} + (size & 1), 0x7FFFFFFF));
        const long before = s.tell();
        s.skip(skip);
        if (s.tell() - before != skip) return false;
    }
}

std::optional<uint32_t> nextTrackChunk(InputStream& s, bool& cutShort) {
    cutShort = false;
    for (;;) {
        uint8_t chunk[8];
        const long got = s.readFully(chunk, 8);
        if (got < 8) {
            cutShort = got > 0;
            return std::nullopt;
        }
        const uint32_t length = (uint32_t{chunk[4]} << 24) | (uint32_t{chunk[5]} << 16) |
                                (uint32_t{chunk[6]} << 8) | chunk[7];
        if (std::memcmp(chunk, "MTrk", 4) == 0) return length;
        const long before = s.tell();
        s.skip(static_cast<long>(std::min<uint32_t>(length, 0x7FFFFFFF)));
        if (s.tell() - before != static_cast<long>(length)) return std::nullopt;
    }
}

std::string notMidiMessage(const std::string& fileName, Language language) {
    return "\"" + fileName + "\"\n\n" +
           tr(language, "Dies ist keine Mididatei!", "This is not a MIDI file!");
}

namespace {

constexpr int kMaxTextLength = 8191;
// Sysex bodies are read in steps of this size, so memory follows the bytes that really
// exist, not a length field.
constexpr size_t kSysexStep = 65536;

uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Label a discarded text would carry; only its length matters here.
size_t labelLength(int type) {
    switch (type) {
        case 2:
            return std::strlen("Copyright: ");
        case 3:
            return std::strlen("Spur ");
        case 4:
            return std::strlen("Instrument: ");
        case 6:
            return std::strlen("Marker: ");
        case 7:
            return std::strlen("Cue-Punkt: ");
        default:
            return std::strlen("Text: ");
    }
}

enum TrackEnd { TrackOk = 0, TrackBroken = -1 };

class SmfReader {
  public:
    SmfReader(InputStream& s, SongInfo& info, EventList& list, const ReadOptions& o,
              std::vector<std::string>& w)
        : s_(s), info_(info), list_(list), options_(o), warnings_(w) {}

    Status readSmf();
    // SMPTE time: ticks a second; 0 for ticks per quarter note.
    double ticksPerSecond() const { return ticksPerSecond_; }

  private:
    TrackEnd readTrack(int track, bool merge);
    // Whether a chunk header (or the end of the file) comes next; the position stays.
    bool chunkFollows();
    TrackEnd broken(int track, const char* what);
    bool readText(int type, int32_t length, std::string& text);
    bool handleMeta(int track, int32_t time, int32_t trackEnd, bool& endOfTrack);
    bool handleSysex(int status, int32_t time);
    void handleText(int track, int type, const std::string& text, int32_t time);
    void add(SongEvent e) { list_.add(e); }

    InputStream& s_;
    SongInfo& info_;
    EventList& list_;
    const ReadOptions& options_;
    std::vector<std::string>& warnings_;
    int format_ = 0;
    double ticksPerSecond_ = 0;
    int karaoke_ = 0;
    bool hadKaraokeTitle_ = false;
    bool sawSysex_ = false;
    GsSetupBlock gsSetup_;
    std::vector<uint8_t> sysex_;
};

TrackEnd SmfReader::broken(int track, const char* what) {
    warnings_.push_back("track " + std::to_string(track + 1) + " " + what + " at byte " +
                        std::to_string(s_.tell()));
    return TrackBroken;
}

Status SmfReader::readSmf() {
    uint8_t header[10];
    if (s_.readFully(header, 10) != 10)
        return makeError(kSongBroken, "the MIDI header is cut short");
    const uint32_t headerLength = be32(header);
    format_ = (header[4] << 8) | header[5];
    const int tracks = (header[6] << 8) | header[7];
    int division = (header[8] << 8) | header[9];
    if (headerLength > 6 &&
        s_.skip(static_cast<long>(std::min<uint32_t>(headerLength - 6, 0x7FFFFFFF))) !=
            static_cast<long>(headerLength - 6))
        return makeError(kSongBroken, "the MIDI header is cut short");
    if (division & 0x8000) {
        // SMPTE time: frames a second (29 stands for the 29.97 of drop-frame time code) times
        // ticks a frame; ticks are then real time, whatever tempo the song asks for.
        const int frames = -static_cast<int8_t>(header[8]);
        division = frames * header[9];
        ticksPerSecond_ = (frames == 29 ? 30000.0 / 1001.0 : frames) * header[9];
    }
    if (format_ > 2)
        return makeError(kSongBroken,
                         "MIDI file format " + std::to_string(format_) + " does not exist");
    info_.format = static_cast<int16_t>(format_);
    info_.trackCount = tracks;
    info_.division = division;
    const long headerEnd = s_.tell();
    info_.headerEnd =
        headerEnd >= 0 && headerEnd < 0xFFFF ? static_cast<uint16_t>(headerEnd) : 0xFFFF;
    hadKaraokeTitle_ = info_.karaokeTitle.has_value();

    if (format_ == 1) info_.trackNames.fill(std::string());
    info_.channelTrack.fill(-1);
    const int count = format_ == 0 ? 1 : tracks;
    for (int t = 0; t < count; ++t) {
        if (readTrack(t, format_ != 2) != TrackOk) {
            if (t + 1 < count)
                warnings_.push_back("tracks " + std::to_string(t + 2) + " to " +
                                    std::to_string(count) + " were not read");
            break;
        }
    }
    return Ok{};
}

bool SmfReader::chunkFollows() {
    const long here = s_.tell();
    uint8_t id[4];
    const long got = s_.readFully(id, 4);
    s_.seek(here, 0);
    if (got < 4) return true;
    auto idCharacter = [](uint8_t c) { return std::isalnum(c) || c == ' '; };
    return std::isalpha(id[0]) && idCharacter(id[1]) && idCharacter(id[2]) && idCharacter(id[3]);
}

TrackEnd SmfReader::readTrack(int track, bool merge) {
    const int32_t start = merge ? list_.startTrackMerge() : list_.startTrackAppend();
    gsSetup_.clear();
    if (karaoke_ == 1 && track == 2) karaoke_ = 2;
    if (karaoke_ == 2 && track == 3) karaoke_ = 3;

    bool cutShort = false;
    const std::optional<uint32_t> length = nextTrackChunk(s_, cutShort);
    if (!length) {
        if (cutShort) return broken(track, "header is cut short");
        warnings_.push_back("the file ends before track " + std::to_string(track + 1));
        return TrackBroken;
    }
    const int64_t trackEnd = static_cast<int64_t>(s_.tell()) + *length;

    int64_t time = start;
    int kind = 0, channel = 0;  // running status: note off on channel 0
    for (;;) {
        // A track ends at its length even without its End of Track, unless what follows is
        // no chunk: then the length is wrong and the track goes on until its end event.
        if (s_.tell() >= trackEnd && chunkFollows()) return TrackOk;
        const int32_t delta = readVariableLength(s_);
        if (delta == -1) return broken(track, "ends inside an event");
        if (delta < 0) return broken(track, "has a delta time longer than four bytes");
        time += delta;
        if (time > std::numeric_limits<int32_t>::max())
            return broken(track, "runs past the longest possible time");
        const auto t = static_cast<int32_t>(time);
        int status = s_.getc();
        if (status < 0) return broken(track, "ends inside an event");
        int data1 = -1;
        if (status == 0xF0 || status == 0xF7) {
            if (!handleSysex(status, t))
                return broken(track, "ends inside a system-exclusive message");
            if (list_.overflow()) return broken(track, "has more events than a song may hold");
            continue;
        }
        if (status == 0xFF) {
            bool endOfTrack = false;
            if (!handleMeta(track, t, static_cast<int32_t>(std::min<int64_t>(trackEnd, 0x7FFFFFFF)),
                            endOfTrack))
                return broken(track, "ends inside a meta event");
            if (list_.overflow()) return broken(track, "has more events than a song may hold");
            if (endOfTrack) return TrackOk;
            continue;
        }
        if (status >= 0x80 && status <= 0xEF) {
            kind = (status >> 4) & 7;
            channel = status & 0x0F;
            data1 = s_.getc();
            if (data1 < 0) return broken(track, "ends inside an event");
            data1 &= 0x7F;
        } else if (status >= 0xF1) {
            kind = 7;
            channel = status & 0x0F;
        } else if (kind == 7) {
            // A data byte under a system status repeats that status.
        } else {
            data1 = status;
        }

        auto second = [&]() {
            const int c = s_.getc();
            return c < 0 ? -1 : (c & 0x7F);
        };
        const auto ch = static_cast<uint8_t>(channel);
        const auto a = static_cast<uint8_t>(data1 & 0x7F);
        switch (kind) {
            case 0:
            case 1: {
                const int v = second();
                if (v < 0) return broken(track, "ends inside an event");
                const bool on = kind == 1 && v != 0;
                if (on && info_.channelTrack[channel] < 0)
                    info_.channelTrack[channel] = static_cast<int16_t>(std::min(track, 0x7FFF));
                add(SongEvent{t, static_cast<uint8_t>(on ? EV_NOTE_ON : EV_NOTE_OFF), ch, a,
                              static_cast<uint8_t>(v)});
                break;
            }
            case 2: {
                const int v = second();
                if (v < 0) return broken(track, "ends inside an event");
                add(SongEvent{t, EV_KEY_PRESSURE, ch, a, static_cast<uint8_t>(v)});
                break;
            }
            case 3: {
                const int v = second();
                if (v < 0) return broken(track, "ends inside an event");
                list_.addController(channel, a, v, t);
                break;
            }
            case 4:
                add(SongEvent{t, EV_PROGRAM, ch, a, 0});
                break;
            case 5:
                add(SongEvent{t, EV_CHANNEL_PRESSURE, ch, a, 0});
                break;
            case 6: {
                const int v = second();
                if (v < 0) return broken(track, "ends inside an event");
                add(SongEvent{t, EV_PITCH_BEND, ch, a, static_cast<uint8_t>(v)});
                break;
            }
            default: {
                const int skip = channel == 2 ? 2 : channel == 3 ? 1 : 0;
                if (skip > 0 && s_.skip(skip) != skip) return broken(track, "ends inside an event");
                break;
            }
        }
        if (list_.overflow()) return broken(track, "has more events than a song may hold");
    }
}

bool SmfReader::handleSysex(int status, int32_t time) {
    const int32_t length = readVariableLength(s_);
    if (length < 0) return false;
    if (length == 0) return true;
    if (status == 0xF7) return s_.skip(length) == length;
    sysex_.clear();
    size_t have = 0;
    while (have < static_cast<size_t>(length)) {
        const size_t step = std::min(kSysexStep, static_cast<size_t>(length) - have);
        sysex_.resize(have + step);
        if (s_.readFully(sysex_.data() + have, static_cast<long>(step)) != static_cast<long>(step))
            return false;
        have += step;
    }
    // The song's first message names its maker, unless a real maker (not a universal
    // message's 7E/7F) is already on record.
    if (!sawSysex_ && (info_.makerId == 0 || info_.makerId > 125)) info_.makerId = sysex_[0];
    sawSysex_ = true;
    SongEvent single;
    if (interpretSingleSysex(sysex_, gsSetup_, list_, single)) {
        single.time = time;
        add(single);
    }
    SongEvent multi[kMaxSysexEvents];
    const int n =
        std::clamp(interpretMultiSysex(sysex_, std::span<SongEvent, kMaxSysexEvents>(multi)), 0,
                   kMaxSysexEvents);
    for (int i = 0; i < n; ++i) {
        multi[i].time = time;
        add(multi[i]);
    }
    return true;
}

bool SmfReader::readText(int type, int32_t length, std::string& text) {
    const size_t keep =
        std::min<size_t>(static_cast<size_t>(length), kMaxTextLength - labelLength(type));
    text.resize(keep);
    if (s_.readFully(text.data(), static_cast<long>(keep)) != static_cast<long>(keep)) return false;
    const long rest = static_cast<long>(length) - static_cast<long>(keep);
    if (rest > 0 && s_.skip(rest) != rest) return false;
    text = trimText(text);
    return true;
}

bool SmfReader::handleMeta(int track, int32_t time, int32_t trackEnd, bool& endOfTrack) {
    const int type = s_.getc();
    if (type < 0) return false;
    const int32_t length = readVariableLength(s_);
    if (length < 0) return false;
    uint8_t d[4] = {};
    auto readFixed = [&](int n) { return length == n && s_.readFully(d, n) == n; };
    auto skipAll = [&] { return s_.skip(length) == length; };

    if (type >= 0x01 && type <= 0x0F) {
        std::string text;
        if (!readText(type, length, text)) return false;
        handleText(track, type, text, time);
        return true;
    }
    switch (type) {
        case 0x2F: {
            const long here = s_.tell();
            if (length > 0 && !skipAll()) return false;
            if (here >= 0 && here < trackEnd) s_.skip(trackEnd - s_.tell());
            endOfTrack = true;
            return true;
        }
        case 0x51:
            if (length != 3) return skipAll();
            if (!readFixed(3)) return false;
            add(SongEvent{time, EV_TEMPO, d[2], d[0], d[1]});
            return true;
        case 0x58: {
            if (length != 4) return skipAll();
            if (!readFixed(4)) return false;
            // Denominators above 1/128 do not fit the event and exist in no real song.
            const int denominator = d[1] <= 7 ? 1 << d[1] : 0;
            if (d[0] == 0 || denominator == 0) {
                warnings_.push_back(
                    tr(options_.language, "Keine mögliche Taktart", "No possible meter."));
                return true;
            }
            add(SongEvent{time, EV_TIME_SIGNATURE, 0, d[0], static_cast<uint8_t>(denominator)});
            add(SongEvent{time, EV_TIME_SIGNATURE, 1, d[2], d[3]});
            if (info_.meterNumerator == -1) {
                info_.meterNumerator = d[0];
                info_.meterDenominator = denominator;
                info_.meterClocks = d[2];
                info_.meter32nds = d[3];
            }
            return true;
        }
        case 0x59: {
            if (length != 2) return skipAll();
            if (!readFixed(2)) return false;
            const int sharps = static_cast<int8_t>(d[0]);
            if (sharps < -7 || sharps > 7 || d[1] > 1) return true;
            add(SongEvent{time, EV_KEY_SIGNATURE, 0, d[0], d[1]});
            info_.keyIndex = sharps + 7;
            info_.minor = d[1] == 1;
            return true;
        }
        case 0x20:
        case 0x21:
            // Channel prefix and port change nothing about the channels.
            return length == 1 ? s_.skip(1) == 1 : skipAll();
        default:
            return skipAll();
    }
}

void SmfReader::handleText(int track, int type, const std::string& text, int32_t time) {
    const bool firstTrack = track == 0 && format_ <= 1;
    if (firstTrack) noteCopyrightOrComposer(info_, type, text);
    if (type == 1 && (options_.showAllTexts || karaoke_ == 2 || gsSetup_.setupFlag)) {
        uint8_t eventType = EV_TEXT;
        if (karaoke_ == 2) {
            eventType = EV_KARAOKE_TEXT;
            if (!hadKaraokeTitle_ && text.rfind("@T", 0) == 0 && text.size() > 2) {
                std::string& k =
                    info_.karaokeTitle ? *info_.karaokeTitle : info_.karaokeTitle.emplace();
                if (!k.empty()) k += ' ';
                k += text.substr(2);
            }
        } else if (gsSetup_.setupFlag) {
            eventType = EV_TEXT_GS_TRACK;
        }
        SongEvent e = list_.makeTextEvent(eventType, text);
        e.time = time;
        add(e);
        return;
    }
    if (type == 5) {
        SongEvent e = list_.makeTextEvent(EV_LYRIC, text);
        e.time = time;
        add(e);
        return;
    }
    if (type == 6 && firstTrack) {
        const std::string wrapped = "(" + text + ")";
        if (wrapped == "()") return;
        SongEvent e = list_.makeTextEvent(EV_MARKER, wrapped);
        e.time = time;
        add(e);
        return;
    }
    if (type == 3 && firstTrack) {
        if (!info_.title) info_.title = text;
        return;
    }
    if (type == 1 && firstTrack) {
        if (!info_.firstText) info_.firstText = text;
        return;
    }
    if (type == 3 && track >= 1 && track <= 16)
        info_.trackNames[static_cast<size_t>(track - 1)] = text.substr(0, 255);
    if (type == 1 && track == 1 && format_ == 1 && text.rfind("@KMIDI", 0) == 0) karaoke_ = 1;
}

// Tracker modules are known by their name and by a signature at one of three places.
bool looksLikeModule(const std::string& fileName, const uint8_t* head, size_t size) {
    static constexpr const char* kExtensions[] = {".mod", ".xm",  ".s3m", ".it",  ".669", ".amf",
                                                  ".dsm", ".far", ".gdm", ".imf", ".med", ".mtm",
                                                  ".stm", ".stx", ".ult", ".uni"};
    std::string lower;
    for (char ch : fileName) lower.push_back(static_cast<char>(std::tolower(uint8_t(ch))));
    for (const char* extension : kExtensions) {
        const size_t n = std::strlen(extension);
        if (lower.size() >= n && lower.compare(lower.size() - n, n, extension) == 0) return true;
    }
    auto at = [&](size_t offset, const char* text) {
        const size_t n = std::strlen(text);
        return size >= offset + n && std::memcmp(head + offset, text, n) == 0;
    };
    if (at(0, "Extended Module: ") || at(0, "IMPM") || at(44, "SCRM")) return true;
    // Four-channel and later modules mark their pattern data after 31 sample records.
    for (const char* mark : {"M.K.", "M!K!", "FLT4", "FLT8", "4CHN", "6CHN", "8CHN"})
        if (at(1080, mark)) return true;
    return false;
}

// Songs of the kinds other players read by the first bytes: refused with the kind's name.
Status otherKind(InputStream& stream, const uint8_t magic[4], const std::string& fileName) {
    if (std::memcmp(magic, "RCM-", 4) == 0 || std::memcmp(magic, "COME", 4) == 0)
        return makeError(kSongOtherKind, "RCP songs are not supported");
    if (std::memcmp(magic, "melo", 4) == 0)
        return makeError(kSongOtherKind, "mobile ringtone (\"melo\") songs are not supported");
    std::array<uint8_t, 1084> head{};
    std::memcpy(head.data(), magic, 4);
    const long more = stream.readFully(head.data() + 4, static_cast<long>(head.size() - 4));
    if (looksLikeModule(fileName, head.data(), 4 + static_cast<size_t>(std::max(0L, more))))
        return makeError(kSongOtherKind, "tracker modules are not supported");
    return makeError(kSongNotMidi, "not a MIDI file");
}

}  // namespace

Result<SongReadResult> readSong(InputStream& stream, SongInfo& info, EventList& list,
                                const ReadOptions& options) {
    list.reset();
    SongReadResult result;
    uint8_t magic[4];
    if (stream.readFully(magic, 4) != 4)
        return makeError(kSongNotMidi, "not a MIDI file (too short)");
    if (std::memcmp(magic, "RIFF", 4) == 0 && !enterRmidData(stream, magic))
        return makeError(kSongBroken, "a RIFF file that is not an RMID song");
    if (std::memcmp(magic, "MThd", 4) != 0) return otherKind(stream, magic, info.fileName).error();
    if (info.fileKind == 0) info.fileKind = kFileKindMidi;

    SmfReader reader(stream, info, list, options, result.warnings);
    const Status read = reader.readSmf();
    if (!read.ok()) {
        list.reset();
        return read.error();
    }
    // What was read of a file that shrank (or was rewritten) meanwhile is no song.
    if (stream.changedWhileRead()) {
        list.reset();
        return makeError(kSongChanged, "changed while it was read");
    }
    ConversionSettings conversion = options.conversion;
    conversion.drumChannels = info.drumMask2;
    conversion.drumLock = info.drumLock;
    conversion.systemMode = systemModeOfMaker(info.makerId);
    conversion.ticksPerSecond = reader.ticksPerSecond();
    // Beats of SMPTE songs are counted at the default 120 a minute.
    const int32_t beatDivision = conversion.ticksPerSecond > 0
                                     ? static_cast<int32_t>(conversion.ticksPerSecond / 2 + 0.5)
                                     : info.division;
    if (beatDivision > 0) list.addBeatMarks(beatDivision);
    Result<ConvertedSong> converted = list.convert(info.division, conversion);
    if (!converted.ok()) {
        list.reset();
        return makeError(info.division <= 0 ? kSongBroken : kSongTooLong,
                         converted.error().message);
    }
    result.song = std::move(converted.value());
    info.totalSamples = result.song.totalSamples;
    info.maxChannel = result.song.maxChannel;
    if (!info.firstText) info.firstText = std::string();
    info.read = 1;
    return result;
}

Result<SongReadResult> readSongFile(const std::string& fileName, SongInfo& info, EventList& list,
                                    const ReadOptions& options) {
    Result<InputStreamPtr> stream = openStream(fileName);
    if (!stream.ok()) return makeError(kSongCannotOpen, stream.error().message);
    return readSong(*stream.value(), info, list, options);
}

}  // namespace svt
