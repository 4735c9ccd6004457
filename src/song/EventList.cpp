#include "song/EventList.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <queue>

#include "base/Constants.h"
#include "song/InstrumentMarker.h"
#include "song/ProgramChoice.h"

namespace svt {

uint8_t controllerEvent(int controller) {
    static constexpr auto table = [] {
        std::array<uint8_t, 128> t{};
        t[0] = EV_BANK_MSB;
        t[32] = EV_BANK_LSB;
        t[1] = EV_MODULATION;
        t[2] = EV_BREATH;
        t[4] = EV_FOOT;
        t[7] = EV_VOLUME;
        t[8] = EV_BALANCE;
        t[10] = EV_PAN;
        t[11] = EV_EXPRESSION;
        t[64] = EV_SUSTAIN;
        t[5] = EV_PORTAMENTO_TIME_MSB;
        t[37] = EV_PORTAMENTO_TIME_LSB;
        t[65] = EV_PORTAMENTO;
        t[84] = EV_PORTAMENTO_CONTROL;
        t[6] = EV_DATA_ENTRY_MSB;
        t[38] = EV_DATA_ENTRY_LSB;
        t[66] = EV_SOSTENUTO;
        t[67] = EV_SOFT_PEDAL;
        t[68] = EV_LEGATO;
        t[69] = EV_HOLD2;
        t[71] = EV_HARMONIC_CONTENT;
        t[72] = EV_RELEASE_TIME;
        t[73] = EV_ATTACK_TIME;
        t[74] = EV_BRIGHTNESS;
        t[91] = EV_REVERB_SEND;
        t[92] = EV_TREMOLO_SEND;
        t[93] = EV_CHORUS_SEND;
        t[94] = EV_CELESTE_SEND;
        t[95] = EV_PHASER_SEND;
        t[96] = EV_DATA_INCREMENT;
        t[97] = EV_DATA_DECREMENT;
        t[98] = EV_NRPN_LSB;
        t[99] = EV_NRPN_MSB;
        t[100] = EV_RPN_LSB;
        t[101] = EV_RPN_MSB;
        t[120] = EV_ALL_SOUNDS_OFF;
        t[121] = EV_RESET_CONTROLLERS;
        t[123] = EV_ALL_NOTES_OFF;
        t[126] = EV_MONO;
        t[127] = EV_POLY;
        return t;
    }();
    return controller >= 0 && controller < 128 ? table[static_cast<size_t>(controller)]
                                               : uint8_t{EV_NONE};
}

EventList::EventList() {
    reset();
}

void EventList::reset() {
    nodes_.clear();
    nodes_.push_back(Node{SongEvent{}, -1, -1});
    tail_ = 0;
    cursor_ = 0;
    count_ = 1;
    overflow_ = false;
    strings_.clear();
    trackStarts_.clear();
}

int32_t EventList::startTrackMerge() {
    trackStarts_.push_back(static_cast<int32_t>(nodes_.size()));
    cursor_ = 0;
    return 0;
}

int32_t EventList::startTrackAppend() {
    mergeTracks();
    cursor_ = tail_;
    return nodes_[static_cast<size_t>(tail_)].event.time;
}

int32_t EventList::lastTime() {
    mergeTracks();
    return nodes_[static_cast<size_t>(tail_)].event.time;
}

void EventList::mergeTracks() {
    if (trackStarts_.empty()) return;
    const auto end = static_cast<int32_t>(nodes_.size());
    trackStarts_.push_back(end);
    auto earlier = [](const Node& x, const Node& y) { return x.event.time < y.event.time; };
    for (size_t t = 0; t + 1 < trackStarts_.size(); ++t) {
        const auto first = nodes_.begin() + trackStarts_[t],
                   last = nodes_.begin() + trackStarts_[t + 1];
        // Delta times never go back, but events added at an earlier time (as any caller
        // may) sort in before the later ones, after those of their own time.
        if (!std::is_sorted(first, last, earlier)) std::stable_sort(first, last, earlier);
    }
    // One pass over all tracks at once: the next event is the earliest at the head of a
    // track, the earlier track first at equal times. What the list held before the tracks
    // counts as the earliest track.
    struct Head {
        int32_t time;
        int32_t track;  // -1: the list as it was
        int32_t node;
        bool operator>(const Head& o) const {
            return time != o.time ? time > o.time : track > o.track;
        }
    };
    std::vector<Head> storage;
    storage.reserve(trackStarts_.size());
    std::priority_queue<Head, std::vector<Head>, std::greater<>> heads(std::greater<>(),
                                                                       std::move(storage));
    auto timeOf = [&](int32_t n) { return nodes_[static_cast<size_t>(n)].event.time; };
    if (const int32_t first = nodes_[0].next; first >= 0) heads.push({timeOf(first), -1, first});
    for (size_t t = 0; t + 1 < trackStarts_.size(); ++t)
        if (trackStarts_[t] < trackStarts_[t + 1])
            heads.push({timeOf(trackStarts_[t]), static_cast<int32_t>(t), trackStarts_[t]});
    int32_t last = 0;
    while (!heads.empty()) {
        const Head h = heads.top();
        heads.pop();
        // The list's own nodes are still linked as before: their next is read before the
        // node is linked anew.
        const int32_t next = h.track < 0 ? nodes_[static_cast<size_t>(h.node)].next
                             : h.node + 1 < trackStarts_[static_cast<size_t>(h.track) + 1]
                                 ? h.node + 1
                                 : -1;
        if (next >= 0) heads.push({timeOf(next), h.track, next});
        nodes_[static_cast<size_t>(last)].next = h.node;
        nodes_[static_cast<size_t>(h.node)].prev = last;
        last = h.node;
    }
    nodes_[static_cast<size_t>(last)].next = -1;
    tail_ = last;
    cursor_ = 0;
    trackStarts_.clear();
}

int32_t EventList::insertAfter(int32_t at, const SongEvent& e) {
    const auto index = static_cast<int32_t>(nodes_.size());
    const int32_t next = nodes_[static_cast<size_t>(at)].next;
    appendNode(e);
    nodes_[static_cast<size_t>(index)].next = next;
    nodes_[static_cast<size_t>(index)].prev = at;
    nodes_[static_cast<size_t>(at)].next = index;
    if (next >= 0)
        nodes_[static_cast<size_t>(next)].prev = index;
    else
        tail_ = index;
    return index;
}

void EventList::appendNode(const SongEvent& e) {
    // A long song gets room for the largest list at once rather than copies of ever
    // larger lists; only the pages it really fills become resident.
    if (nodes_.size() == nodes_.capacity() && nodes_.size() >= 65536)
        nodes_.reserve(kMaxEventNodes);
    nodes_.push_back(Node{e, -1, -1});
}

void EventList::add(SongEvent e) {
    if (count_ >= kMaxEventNodes) {
        ++count_;
        overflow_ = true;
        return;
    }
    ++count_;
    if (e.time < 0) e.time = 0;
    if (!trackStarts_.empty()) {
        appendNode(e);
        return;
    }
    int32_t at = cursor_;
    if (e.time < nodes_[static_cast<size_t>(at)].event.time) {
        // Back to the first node not later than the new one; the head (time 0) stops the walk.
        while (at > 0 && nodes_[static_cast<size_t>(at)].event.time > e.time)
            at = nodes_[static_cast<size_t>(at)].prev;
        if (at < 0) at = 0;
    } else {
        for (int32_t n = nodes_[static_cast<size_t>(at)].next;
             n >= 0 && nodes_[static_cast<size_t>(n)].event.time <= e.time;
             n = nodes_[static_cast<size_t>(n)].next)
            at = n;
    }
    cursor_ = insertAfter(at, e);
}

void EventList::addController(int channel, int controller, int value, int32_t time) {
    const uint8_t type = controllerEvent(controller);
    if (type == EV_NONE) return;
    add(SongEvent{time, type, static_cast<uint8_t>(channel),
                  static_cast<uint8_t>(std::clamp(value, 0, 127)), 0});
}

SongEvent EventList::makeTextEvent(uint8_t type, std::string_view text) {
    SongEvent e{0, type, 0, 0, 0};
    if (strings_.empty()) strings_.emplace_back();
    if (static_cast<int32_t>(strings_.size()) > kMaxSongStrings) return e;
    std::string stored(1, static_cast<char>(type));
    stored.append(text);
    const auto index = static_cast<int>(strings_.size());
    strings_.push_back(std::move(stored));
    e.a = static_cast<uint8_t>(index & 0xFF);
    e.b = static_cast<uint8_t>((index >> 8) & 0xFF);
    return e;
}

std::vector<SongEvent> EventList::events() {
    mergeTracks();
    std::vector<SongEvent> out;
    for (int32_t n = nodes_[0].next; n >= 0; n = nodes_[static_cast<size_t>(n)].next)
        out.push_back(nodes_[static_cast<size_t>(n)].event);
    return out;
}

void EventList::addBeatMarks(int32_t division) {
    struct Meter {
        int32_t time;
        int numerator, denominator;
    };
    std::vector<Meter> meters;
    mergeTracks();
    for (int32_t n = nodes_[0].next; n >= 0; n = nodes_[static_cast<size_t>(n)].next) {
        const SongEvent& e = nodes_[static_cast<size_t>(n)].event;
        if (e.type != EV_TIME_SIGNATURE || e.channel != 0 || meters.size() >= 255) continue;
        if (meters.empty() && e.time > 0) meters.push_back({0, 4, 4});
        if (!meters.empty() && meters.back().time == e.time) {
            meters.back() = {e.time, e.a, e.b};
        } else if (meters.empty() || meters.back().numerator != e.a ||
                   meters.back().denominator != e.b) {
            meters.push_back({e.time, e.a, e.b});
        }
    }
    if (meters.empty()) meters.push_back({0, 4, 4});
    meters.push_back(
        {std::numeric_limits<int32_t>::max(), meters.back().numerator, meters.back().denominator});

    const int32_t end = lastTime();
    int64_t time = 0;
    int measure = 0, beat = 0;
    size_t next = 0;
    int numerator = 4, denominator = 4;
    for (int32_t marks = 0; time < end && !overflow_ && marks < kMaxBeatMarks; ++marks) {
        while (next < meters.size() && time >= meters[next].time) {
            if (beat != 0) {
                ++measure;
                beat = 0;
            }
            numerator = std::max(1, meters[next].numerator);
            denominator = std::max(1, meters[next].denominator);
            ++next;
        }
        add(SongEvent{static_cast<int32_t>(time), EV_BEAT_MARK, 0,
                      static_cast<uint8_t>(measure & 0xFF),
                      static_cast<uint8_t>(((beat + 1) << 4) | ((measure >> 8) & 0x0F))});
        if (++beat >= numerator) {
            ++measure;
            beat = 0;
        }
        // A step of at least one tick, so that a division too small for the meter cannot stall.
        time += std::max<int64_t>(1, static_cast<int64_t>(division) * 4 / denominator);
    }
}

void EventList::foldChannels(int32_t& maxChannel) {
    mergeTracks();
    bool high = false;
    for (int32_t n = nodes_[0].next; n >= 0 && !high; n = nodes_[static_cast<size_t>(n)].next) {
        const SongEvent& e = nodes_[static_cast<size_t>(n)].event;
        high = isChannelEvent(e.type) && e.channel >= kChannels && e.channel < kDrumSetAddress;
    }
    portOf_.fill(0);
    std::array<int16_t, 256> map;
    map.fill(-1);
    std::array<bool, 256> used{};
    for (int32_t n = nodes_[0].next; n >= 0; n = nodes_[static_cast<size_t>(n)].next) {
        const SongEvent& e = nodes_[static_cast<size_t>(n)].event;
        if (isChannelEvent(e.type) && e.channel < kChannels) used[e.channel] = true;
    }
    for (int32_t n = nodes_[0].next; high && n >= 0; n = nodes_[static_cast<size_t>(n)].next) {
        SongEvent& e = nodes_[static_cast<size_t>(n)].event;
        if (!isChannelEvent(e.type) || e.channel < kChannels || e.channel >= kDrumSetAddress)
            continue;
        const int c = e.channel;
        if (map[static_cast<size_t>(c)] < 0) {
            int target = c % kChannels;
            for (int candidate = c % kChannels; candidate < c; candidate += kChannels) {
                if (!used[static_cast<size_t>(candidate)]) {
                    target = candidate;
                    break;
                }
            }
            map[static_cast<size_t>(c)] = static_cast<int16_t>(target);
            used[static_cast<size_t>(target)] = true;
            portOf_[static_cast<size_t>(target) % kChannels] = static_cast<uint8_t>(c / kChannels);
        }
        e.channel = static_cast<uint8_t>(map[static_cast<size_t>(c)]);
    }
    for (int32_t n = nodes_[0].next; n >= 0; n = nodes_[static_cast<size_t>(n)].next) {
        const SongEvent& e = nodes_[static_cast<size_t>(n)].event;
        if (isChannelEvent(e.type) && e.channel < kDrumSetAddress)
            maxChannel = std::max<int32_t>(maxChannel, e.channel);
    }
}

namespace {

// An event of a drum set-up message: a channel event or a part parameter, addressed to a set.
bool toDrumSet(const SongEvent& e) {
    const bool partParameter = e.type >= EV_SYSEX_LSB && e.type <= EV_SYSEX_XG_MSB;
    return e.channel >= kDrumSetAddress && (isChannelEvent(e.type) || partParameter);
}

// Follows what decides a note's instrument, the way the player will, so that every
// instrument the song sounds can be loaded before it starts.
class InstrumentTracker {
  public:
    explicit InstrumentTracker(const ConversionSettings& settings)
        : marker_(settings.marker),
          drumStart_(settings.drumChannels),
          drumLock_(settings.drumLock),
          defaultPrograms_(settings.defaultPrograms),
          mode_(settings.systemMode) {
        resetAll();
    }

    void apply(const SongEvent& e) {
        if (e.type == EV_SYSTEM_RESET) {
            mode_ = e.a;
            resetAll();
            return;
        }
        // The parameters of a part (what it receives) come as system-exclusive events.
        const bool partParameter = e.type >= EV_SYSEX_LSB && e.type <= EV_SYSEX_XG_MSB;
        if ((!isChannelEvent(e.type) && !partParameter) || e.channel >= kChannels) return;
        Channel& ch = channels_[e.channel];
        switch (e.type) {
            case EV_BANK_MSB:
                ch.msb = e.a;
                break;
            case EV_BANK_LSB:
                ch.lsb = e.a;
                break;
            case EV_DRUM_PART:
                // GS: map 1 or 2. XG: drum, or drum set-up 1..4 (modes 2..5).
                ch.drumSet = mode_ == SYSTEM_XG_ON ? std::max(e.a - 2, 0) : std::max(e.a - 1, 0);
                drumChange(e.channel, e.a != 0);
                programChange(e.channel, ch.program < 0 ? 0 : ch.program);
                break;
            case EV_PROGRAM:
                programChange(e.channel, e.a);
                break;
            case EV_KEY_SHIFT:
                ch.keyShift = e.a - 64;
                break;
            case EV_SYSEX_GS_LSB: {
                const SysexValue p = sysexValueOf(e);
                if (p.code == sysex_code::kGsReceiveChannel)
                    ch.layer = p.value < kChannels ? 1u << p.value : 0u;
                break;
            }
            case EV_SYSEX_XG_MSB:
                ch.xgGroup = sysexAddressOf(e).code;
                break;
            case EV_SYSEX_XG_LSB: {
                const SysexValue p = sysexValueOf(e);
                if (ch.xgGroup == sysex_code::kXgGroupPart &&
                    p.code == sysex_code::kXgReceiveChannel)
                    ch.layer = p.value < 32 ? 1u << (p.value & 15) : 0u;
                ch.xgGroup = sysex_code::kXgGroupPart;
                break;
            }
            case EV_TUNING_BULK:
            case EV_TUNING_NOTE:
                retuning(e);
                break;
            case EV_NOTE_ON:
                // Every part that listens to the channel plays the note, each on its own
                // instrument and at its own key shift.
                if (marker_ == nullptr) break;
                for (int c = 0; c < kChannels; ++c)
                    if ((channels_[size_t(c)].layer >> e.channel) & 1u) markNote(c, e.a, e.b);
                break;
            default:
                break;
        }
    }

    // The drum parts that play drum set `set`, by channel bit.
    uint32_t partsOfDrumSet(int set) const {
        uint32_t parts = 0;
        for (int c = 0; c < kChannels; ++c) {
            const Channel& ch = channels_[size_t(c)];
            if (ch.drum && ch.drumSet == set) parts |= 1u << c;
        }
        return parts;
    }
    int drumSetOf(int c) const {
        const Channel& ch = channels_[size_t(c & 15)];
        return ch.drum ? ch.drumSet : -1;
    }

  private:
    struct Channel {
        int msb = 0, lsb = 0, bank = 0, program = 0;
        bool drum = false;
        int drumSet = 0;     // the XG drum set-up or GS drum map a drum part plays
        int keyShift = 0;    // a melodic part's notes sound this many keys away
        uint32_t layer = 0;  // the channels whose notes the part plays
        int xgGroup = sysex_code::kXgGroupPart;  // the group of the next XG parameter
    };

    // The key a compressed font's samples are kept for is the key that will sound, so that a
    // part shifted by octaves finds its regions and velocity layers there.
    void markNote(int c, int key, int velocity) {
        const Channel& ch = channels_[size_t(c)];
        if (ch.program < 0) return;
        const int bank = ch.drum ? ch.program : ch.bank;
        const int slot = ch.drum ? key : ch.program;
        const int sounding = ch.drum ? key : std::clamp(key + ch.keyShift, 0, 127);
        const int number = marker_->bankExists(ch.drum, bank) ? bank : 0;
        marker_->markNote(ch.drum, number, slot, sounding, velocity);
        if (ch.drum || retuneReach_ <= kMarkedNoteMargin) return;
        // A MIDI tuning message may have moved the key far from the written one, and the region
        // is that of the key nearest the new pitch: keys are marked all over the reach of the
        // song's retunings, each covering the margin either side.
        constexpr int kStep = 2 * kMarkedNoteMargin + 1;
        for (int d = kStep; d - kMarkedNoteMargin <= retuneReach_; d += kStep) {
            marker_->markNote(false, number, slot, std::min(sounding + d, 127), velocity);
            marker_->markNote(false, number, slot, std::max(sounding - d, 0), velocity);
        }
    }

    // The items of a tuning message: 1 names a key and the semitone it sounds near, 2 the
    // fraction (7F 7F after 7F: the key keeps its tuning).
    void retuning(const SongEvent& e) {
        const TuningItem item = tuningItemOf(e);
        if (item == TuningItem::Key) {
            tunedKey_ = e.a & 0x7F;
            tunedSemitone_ = e.b & 0x7F;
        } else if (item == TuningItem::Fraction &&
                   !(tunedSemitone_ == 0x7F && e.a == 0x7F && e.b == 0x7F)) {
            retuneReach_ = std::max(retuneReach_, std::abs(tunedSemitone_ - tunedKey_));
        }
    }

    void resetAll() {
        for (int c = 0; c < kChannels; ++c) {
            Channel& ch = channels_[size_t(c)];
            ch = Channel{};
            ch.layer = 1u << c;
            ch.drum = (drumStart_ >> c) & 1u;
            ch.program = defaultPrograms_[size_t(c)] & 0x7F;
            if (mode_ == SYSTEM_XG_ON && c == 9) ch.msb = 127;
        }
    }

    void drumChange(int c, bool on) {
        if ((drumLock_ >> c) & 1u) return;
        channels_[size_t(c)].drum = on;
    }

    void programChange(int c, int program) {
        Channel& ch = channels_[size_t(c)];
        const ProgramChoice choice = chooseProgram(mode_, ch.msb, ch.lsb, 0);
        if (choice.drum >= 0) drumChange(c, choice.drum == 1);
        ch.program = program;
        ch.bank = std::clamp(choice.bank, 0, 127);
    }

    InstrumentMarker* marker_;
    uint32_t drumStart_;
    uint32_t drumLock_;
    std::array<uint8_t, kChannels> defaultPrograms_;
    int mode_;
    std::array<Channel, kChannels> channels_{};
    // The farthest a MIDI tuning message of the song moved a key, in semitones; the key and
    // semitone of the tuning item being read.
    int retuneReach_ = 0;
    int tunedKey_ = 0, tunedSemitone_ = 0;
};

// Samples per tick in 16.16 fixed point; the steps are rounded as doubles, left to right.
int64_t samplesPerTick(int64_t tempo, int rate, int32_t division) {
    const double v = ((static_cast<double>(tempo) * rate) * 0.065536) / division;
    if (!(v < 9.0e15)) return std::numeric_limits<int32_t>::max();
    return static_cast<int64_t>(v);
}

}  // namespace

Result<ConvertedSong> EventList::convert(int32_t division, const ConversionSettings& settings) {
    if (division <= 0)
        return makeError("the file gives no time base (division " + std::to_string(division) + ")");
    ConvertedSong song;
    foldChannels(song.maxChannel);
    song.events.reserve(static_cast<size_t>(count_) + 1);
    InstrumentTracker tracker(settings);
    // The events of each drum set (by port, then set) since the last system reset.
    std::array<std::vector<SongEvent>, 2 * kChannels> drumSetEvents;
    auto portChannels = [this](int port) {
        uint32_t mask = 0;
        for (int c = 0; c < kChannels; ++c)
            if (portOf_[size_t(c)] == port) mask |= 1u << c;
        return mask;
    };

    const bool smpte = settings.ticksPerSecond > 0;
    // Samples per tick in 16.16 fixed point; SMPTE ticks take 1 s / ticks a second.
    int64_t factor = smpte ? static_cast<int64_t>(std::min(
                                 settings.outputRateHz * 65536.0 / settings.ticksPerSecond, 9.0e15))
                           : samplesPerTick(500000, settings.outputRateHz, division);
    int64_t fraction = 0;
    int64_t now = 0;
    int32_t previousTicks = 0;
    int64_t pendingTicks = 0;  // ticks since the last kept event, dropped ones included
    enum { BeforeStart, Running } state = BeforeStart;

    for (int32_t n = nodes_[0].next; n >= 0; n = nodes_[static_cast<size_t>(n)].next) {
        SongEvent e = nodes_[static_cast<size_t>(n)].event;
        pendingTicks += static_cast<int64_t>(e.time) - previousTicks;
        previousTicks = e.time;

        uint32_t parts = 0;  // the parts a drum set's event goes to
        if (toDrumSet(e)) {
            const auto set = static_cast<size_t>(e.channel - kDrumSetAddress);
            if (set >= drumSetEvents.size()) continue;
            drumSetEvents[set].push_back(e);
            parts = tracker.partsOfDrumSet(static_cast<int>(set % kChannels)) &
                    portChannels(static_cast<int>(set / kChannels)) & ~settings.excludedChannels;
            if (parts == 0) continue;
        } else if (isChannelEvent(e.type)) {
            e.channel &= 0x0F;
            if ((settings.excludedChannels >> e.channel) & 1u) continue;
            if (e.type == EV_PROGRAM && settings.programChoices[e.channel] >= 0)
                e.a = static_cast<uint8_t>(settings.programChoices[e.channel]);
        }
        if (e.type == EV_NONE || (smpte && e.type == EV_TEMPO)) continue;
        if (isTextEvent(e.type) && stringIndexOf(e) == 0) continue;
        if (e.type == EV_GS_BITMAP && !settings.traceTexts) continue;
        if (e.type == EV_SCRIPT_START || e.type == EV_SCRIPT_EVENT) continue;

        if (state == BeforeStart) {
            // Leading silence does not count: the clock starts at the first sounding event.
            pendingTicks = 0;
            if (e.type == EV_NOTE_ON || (settings.traceTexts && isTextEvent(e.type)))
                state = Running;
            if (state == BeforeStart && e.type == EV_BEAT_MARK) continue;
        } else if (pendingTicks > 0) {
            int64_t samples = pendingTicks * (factor >> 16);
            fraction += pendingTicks * (factor & 0xFFFF);
            if (fraction > 0xFFFF) {
                samples += fraction >> 16;
                fraction &= 0xFFFF;
            }
            pendingTicks = 0;
            now += samples;
            if (now > std::numeric_limits<int32_t>::max())
                return makeError(
                    "the song is longer than the player can count (over 2^31 samples)");
        }

        e.time = static_cast<int32_t>(now);
        if (parts != 0) {
            for (int c = 0; c < kChannels; ++c) {
                if (!((parts >> c) & 1u)) continue;
                e.channel = static_cast<uint8_t>(c);
                song.events.push_back(e);
            }
            continue;
        }
        const int setBefore = isChannelEvent(e.type) ? tracker.drumSetOf(e.channel) : -1;
        song.events.push_back(e);
        tracker.apply(e);
        if (e.type == EV_SYSTEM_RESET) {
            for (std::vector<SongEvent>& set : drumSetEvents) set.clear();
        } else if (isChannelEvent(e.type)) {
            // A part that takes up a drum set gets what the song set up in it so far.
            const int set = tracker.drumSetOf(e.channel);
            if (set >= 0 && set != setBefore) {
                const size_t at = static_cast<size_t>(set + kChannels * portOf_[e.channel]);
                for (SongEvent d : drumSetEvents[at]) {
                    d.time = e.time;
                    d.channel = e.channel;
                    song.events.push_back(d);
                }
            }
        }
        if (e.type == EV_TEMPO)
            factor = samplesPerTick(tempoOf(e), settings.outputRateHz, division);
    }
    song.events.push_back(SongEvent{static_cast<int32_t>(now), EV_END_OF_SONG, 0, 0, 0});
    song.totalSamples = static_cast<int32_t>(now);
    song.strings = std::move(strings_);
    // The nodes go now, not with the next song: the player keeps only the array.
    std::vector<Node>().swap(nodes_);
    reset();
    return song;
}

}  // namespace svt
